#!/usr/bin/env python3
"""Draws the launcher's icon, a candle flame on a blue tile, into res/Fennowick.ico.

The icon holds 16, 32 and 48 pixel images, 32 bits per pixel with alpha. The drawing is plain
geometry sampled 4 x 4 times per pixel, so the output is the same on every run and machine.
Usage: python3 tools/make_icon.py [output.ico]
"""
import math
import os
import struct
import sys

SIZES = (16, 32, 48)
SUBSAMPLES = 4


def rounded_square(x, y):
    """Inside the tile: a square of side 0.92 with corners rounded by 0.2 (unit coordinates)."""
    margin, radius = 0.04, 0.2
    inner_lo, inner_hi = margin + radius, 1.0 - margin - radius
    dx = max(inner_lo - x, 0.0, x - inner_hi)
    dy = max(inner_lo - y, 0.0, y - inner_hi)
    return dx * dx + dy * dy <= radius * radius and margin <= x <= 1 - margin and margin <= y <= 1 - margin


def teardrop(x, y, top, centre_y, radius):
    """A flame: a round base of the given radius, narrowing upwards to a point at `top`."""
    if y >= centre_y:
        return (x - 0.5) ** 2 + (y - centre_y) ** 2 <= radius * radius
    if y < top:
        return False
    t = (y - top) / (centre_y - top)
    return abs(x - 0.5) <= radius * math.sin(t * math.pi / 2) ** 1.6


def mix(a, b, t):
    return tuple(p + (q - p) * t for p, q in zip(a, b))


def colour_at(x, y):
    """RGBA (0..1) of the drawing at the unit point (x, y), y pointing down; None outside."""
    if not rounded_square(x, y):
        return None
    if 0.44 <= x <= 0.56 and 0.72 <= y <= 0.86:  # the wick's candle
        return (0.96, 0.93, 0.84, 1.0)
    if teardrop(x, y, 0.3, 0.55, 0.1):
        return mix((1.0, 0.93, 0.45, 1.0), (1.0, 0.78, 0.2, 1.0), (y - 0.3) / 0.35)
    if teardrop(x, y, 0.14, 0.52, 0.19):
        return mix((0.98, 0.45, 0.12, 1.0), (0.9, 0.25, 0.1, 1.0), (y - 0.14) / 0.57)
    return mix((0.2, 0.36, 0.66, 1.0), (0.09, 0.17, 0.38, 1.0), y)


def render(size):
    """Rows of (r, g, b, a) bytes, top row first, with straight (not premultiplied) alpha."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUBSAMPLES):
                for sx in range(SUBSAMPLES):
                    c = colour_at((px + (sx + 0.5) / SUBSAMPLES) / size, (py + (sy + 0.5) / SUBSAMPLES) / size)
                    if c is None:
                        continue
                    for i in range(3):
                        acc[i] += c[i] * c[3]
                    acc[3] += c[3]
            n = SUBSAMPLES * SUBSAMPLES
            alpha = acc[3] / n
            if alpha > 0:
                rgb = [acc[i] / acc[3] for i in range(3)]
            else:
                rgb = [0.0, 0.0, 0.0]
            row.append(tuple(int(round(v * 255)) for v in (*rgb, alpha)))
        rows.append(row)
    return rows


def bitmap_entry(size):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA pixels, then the 1-bit AND mask."""
    rows = render(size)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for px, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[px // 8] |= 0x80 >> (px % 8)
        mask += line
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def icon_file(sizes):
    images = [bitmap_entry(s) for s in sizes]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = argv[1] if len(argv) > 1 else os.path.join(root, 'res', 'Fennowick.ico')
    with open(target, 'wb') as f:
        f.write(icon_file(SIZES))
    print(target)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
