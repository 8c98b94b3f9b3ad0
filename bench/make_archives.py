#!/usr/bin/env python3
"""Makes the update benchmark's archives with Info-ZIP zip, once, into a cache folder.

  A  2,000 files, about 100 MB in all, half compressible text and half random bytes, deflated
  B  20,000 files of 1 to 4 KiB, half text and half random, deflated
  C  one file of 200 MB of random bytes, stored (zip -0)

Beside each archive X.zip lies X.tsv, the manifest the floor program writes from: one line per
entry, "D<TAB>name" for a folder, "F<TAB>size<TAB>name" for a file, in archive order. The
content is the same on every machine (fixed seeds); a change to this script makes them anew.

Usage: make_archives.py <cache folder>
"""
import hashlib
import os
import random
import shutil
import subprocess
import sys

WORDS = ("update launcher archive install folder entry version window module record stream "
         "buffer handle market price order quote table chart value index series volume time "
         "account symbol level signal report trade close open high low change ratio the of and "
         "to in is for with on as by at from this that be are was it not or have").split()


def text_pool(rng, size):
    lines = []
    total = 0
    while total < size:
        line = " ".join(rng.choices(WORDS, k=rng.randint(6, 16))) + "\n"
        lines.append(line)
        total += len(line)
    return "".join(lines).encode()[:size]


def text_or_random(rng, pool, size, text):
    """size bytes: a slice of the text pool, or random bytes."""
    if text:
        start = rng.randrange(0, len(pool) - size)
        return pool[start:start + size]
    return rng.randbytes(size)


def layout(name, rng, pool):
    """Yields (folder list, [(relative name, bytes)])."""
    if name == "A":
        folders = [f"pkg{f:02d}" for f in range(20)]
        files = []
        for i in range(2000):
            size = rng.randint(10_000, 90_000)
            folder = folders[i % 20]
            name = f"{folder}/doc{i:04d}.txt" if i % 2 == 0 else f"{folder}/data{i:04d}.bin"
            files.append((name, text_or_random(rng, pool, size, i % 2 == 0)))
        return folders, files
    if name == "B":
        folders = []
        files = []
        for top in range(20):
            folders.append(f"lib{top:02d}")
            for sub in range(5):
                folder = f"lib{top:02d}/part{sub}"
                folders.append(folder)
                for i in range(200):
                    n = len(files)
                    size = rng.randint(1024, 4096)
                    name = f"{folder}/res{i:03d}.txt" if n % 2 == 0 else f"{folder}/res{i:03d}.dat"
                    files.append((name, text_or_random(rng, pool, size, n % 2 == 0)))
        return folders, files
    if name == "C":
        return [], [("payload.bin", rng.randbytes(200 * 1024 * 1024))]
    raise ValueError(name)


def make(cache, name, stamp):
    zip_path = os.path.join(cache, f"{name}.zip")
    manifest_path = os.path.join(cache, f"{name}.tsv")
    stamp_path = os.path.join(cache, f"{name}.stamp")
    if os.path.exists(zip_path) and os.path.exists(manifest_path) and os.path.exists(stamp_path):
        with open(stamp_path) as f:
            if f.read() == stamp:
                return
    rng = random.Random(f"fennowick-bench-{name}")
    pool = text_pool(rng, 4 * 1024 * 1024) if name != "C" else b""
    folders, files = layout(name, rng, pool)

    tree = os.path.join(cache, f"tree-{name}")
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(tree)
    for folder in folders:
        os.makedirs(os.path.join(tree, folder), exist_ok=True)
    for relative, data in files:
        with open(os.path.join(tree, relative), "wb") as f:
            f.write(data)
        # One fixed time for every file, so that the archives are the same each time.
        os.utime(os.path.join(tree, relative), (1700000000, 1700000000))
    for folder in folders:
        os.utime(os.path.join(tree, folder), (1700000000, 1700000000))

    # Names on standard input in a fixed order: folders before the files in them.
    names = sorted([f + "/" for f in folders] + [r for r, _ in files])
    for path in (zip_path, manifest_path):
        if os.path.exists(path):
            os.remove(path)
    level = "-0" if name == "C" else "-6"
    subprocess.run(["zip", "-q", level, zip_path + ".part", "-@"], cwd=tree,
                   input="\n".join(names).encode() + b"\n", check=True)
    os.replace(zip_path + ".part", zip_path)

    sizes = {r: len(d) for r, d in files}
    with open(manifest_path, "w", encoding="utf-8") as f:
        for n in names:
            if n.endswith("/"):
                f.write(f"D\t{n[:-1]}\n")
            else:
                f.write(f"F\t{sizes[n]}\t{n}\n")
    shutil.rmtree(tree)
    with open(stamp_path, "w") as f:
        f.write(stamp)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    cache = os.path.abspath(sys.argv[1])
    os.makedirs(cache, exist_ok=True)
    with open(__file__, "rb") as f:
        stamp = hashlib.sha256(f.read()).hexdigest()
    for name in "ABC":
        make(cache, name, stamp)


if __name__ == "__main__":
    main()
