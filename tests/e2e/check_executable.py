#!/usr/bin/env python3
"""Checks a built Fennowick.exe as Windows will see it, without running it: a GUI program of the
expected kind (PE32 for Intel 80386, or PE32+ for x86-64), that imports only DLLs every Windows
has (no MinGW runtime DLL), with a manifest that requests "requireAdministrator", an icon group of
32-bit images and version information 1.0.0.0 for the product "Fennowick".

Usage: check_executable.py --kind pe32|pe32+ EXE
"""
import argparse
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

KINDS = {
    'pe32': {'machine': 0x14C, 'magic': 0x10B, 'file': 'PE32 executable (GUI) Intel 80386'},
    'pe32+': {'machine': 0x8664, 'magic': 0x20B, 'file': 'PE32+ executable (GUI) x86-64'},
}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24

# DLLs that come with every Windows the launcher supports.
SYSTEM_DLLS = {
    'kernel32.dll', 'user32.dll', 'gdi32.dll', 'shell32.dll', 'advapi32.dll', 'ole32.dll',
    'oleaut32.dll', 'shlwapi.dll', 'comctl32.dll', 'msvcrt.dll', 'bcrypt.dll', 'version.dll',
    'ws2_32.dll', 'rpcrt4.dll', 'ntdll.dll', 'userenv.dll', 'crypt32.dll',
}


class PeImage:
    """The parts of a PE file that the checks read."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b'MZ':
            raise ValueError('no MZ header')
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('no PE signature')
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from('<HHIIIHH', data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from('<H', data, optional)[0]
        self.subsystem = struct.unpack_from('<H', data, optional + 68)[0]
        directories = optional + (96 if self.magic == 0x10B else 112)
        count = struct.unpack_from('<I', data, directories - 4)[0]
        self.directories = [struct.unpack_from('<II', data, directories + 8 * i) for i in range(count)]
        self.sections = []
        for i in range(sections):
            _, virtual_size, address, raw_size, raw_offset = struct.unpack_from('<8sIIII', data, optional + optional_size + 40 * i)
            self.sections.append((address, max(virtual_size, raw_size), raw_offset))

    def offset(self, rva):
        for address, size, raw_offset in self.sections:
            if address <= rva < address + size:
                return rva - address + raw_offset
        raise ValueError(f'RVA {rva:#x} is in no section')

    def c_string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b'\0', start)].decode('ascii')

    def imported_dlls(self):
        names = []
        rva, size = self.directories[1]
        if size:
            position = self.offset(rva)
            while True:
                fields = struct.unpack_from('<IIIII', self.data, position)
                if not any(fields):
                    break
                names.append(self.c_string(fields[3]))
                position += 20
        rva, size = self.directories[13] if len(self.directories) > 13 else (0, 0)
        if size:  # delay-loaded DLLs count too
            position = self.offset(rva)
            while True:
                fields = struct.unpack_from('<8I', self.data, position)
                if not any(fields):
                    break
                names.append(self.c_string(fields[1]))
                position += 32
        return names

    def resources(self):
        """{(type, name, language): bytes}; names and types are ints or strings."""
        rva, size = self.directories[2]
        found = {}
        if not size:
            return found
        base = self.offset(rva)

        def entry_name(value):
            if value & 0x80000000:
                at = base + (value & 0x7FFFFFFF)
                length = struct.unpack_from('<H', self.data, at)[0]
                return self.data[at + 2:at + 2 + 2 * length].decode('utf-16-le')
            return value

        def walk(offset, path):
            named, numbered = struct.unpack_from('<HH', self.data, base + offset + 12)
            for i in range(named + numbered):
                name, target = struct.unpack_from('<II', self.data, base + offset + 16 + 8 * i)
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, path + (entry_name(name),))
                else:
                    data_rva, data_size = struct.unpack_from('<II', self.data, base + target)
                    start = self.offset(data_rva)
                    found[path + (entry_name(name),)] = self.data[start:start + data_size]

        walk(0, ())
        return found


def version_blocks(data, offset=0):
    """One VS_VERSIONINFO-style block: (key, value bytes, children), and its length."""
    length, value_length, text = struct.unpack_from('<HHH', data, offset)
    key_end = offset + 6
    while data[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = data[offset + 6:key_end].decode('utf-16-le')
    position = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if text else value_length
    value = data[position:position + value_size]
    position = (position + value_size + 3) & ~3
    children = []
    while position < offset + length:
        child, child_length = version_blocks(data, position)
        if child_length == 0:
            break
        children.append(child)
        position = (position + child_length + 3) & ~3
    return (key, value, children), length


def version_strings(block):
    """The StringFileInfo values of every language, as {name: text}."""
    strings = {}
    _, _, children = block
    for key, _, tables in children:
        if key != 'StringFileInfo':
            continue
        for _, _, entries in tables:
            for name, value, _ in entries:
                strings[name] = value.decode('utf-16-le').rstrip('\0')
    return strings


def check(path, kind):
    failures = []
    expected = KINDS[kind]

    described = subprocess.run(['file', '-b', path], stdout=subprocess.PIPE, check=True).stdout.decode()
    print(f'file: {described.strip()}')
    if not described.startswith(expected['file']):
        failures.append(f'file(1) says {described.strip()!r}, expected {expected["file"]!r}')

    with open(path, 'rb') as f:
        image = PeImage(f.read())
    if image.machine != expected['machine'] or image.magic != expected['magic']:
        failures.append(f'machine {image.machine:#x} magic {image.magic:#x}, expected {kind}')
    if image.subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
        failures.append(f'subsystem {image.subsystem}, expected the Windows GUI subsystem')

    dlls = image.imported_dlls()
    print(f'imports: {", ".join(dlls)}')
    foreign = [d for d in dlls if d.lower() not in SYSTEM_DLLS]
    if foreign:
        failures.append(f'imports DLLs that are not part of Windows: {foreign}')

    resources = image.resources()
    manifests = [data for (kind_, name, _), data in resources.items() if kind_ == RT_MANIFEST and name == 1]
    if len(manifests) != 1:
        failures.append(f'{len(manifests)} application manifests (resource 1 of type RT_MANIFEST)')
    else:
        root = ElementTree.fromstring(manifests[0])
        levels = [e.get('level') for e in root.iter() if e.tag.endswith('}requestedExecutionLevel')]
        print(f'manifest: requestedExecutionLevel {levels}')
        if levels != ['requireAdministrator']:
            failures.append(f'manifest requests execution level {levels}, expected requireAdministrator')

    icons = {name: data for (kind_, name, _), data in resources.items() if kind_ == RT_ICON}
    groups = [data for (kind_, _, _), data in resources.items() if kind_ == RT_GROUP_ICON]
    if not groups:
        failures.append('no icon group')
    for group in groups:
        _, group_type, count = struct.unpack_from('<HHH', group, 0)
        members = [struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i) for i in range(count)]
        sizes = sorted((m[0] or 256, m[5]) for m in members)
        print(f'icon group: {sizes} (size, bits per pixel)')
        if group_type != 1 or not {(16, 32), (32, 32), (48, 32)} <= set(sizes):
            failures.append(f'icon group holds {sizes}, expected 16, 32 and 48 pixels at 32 bits')
        missing = [m[7] for m in members if m[7] not in icons]
        if missing:
            failures.append(f'icon group names missing icons {missing}')

    versions = [data for (kind_, _, _), data in resources.items() if kind_ == RT_VERSION]
    if len(versions) != 1:
        failures.append(f'{len(versions)} version resources')
    else:
        block, _ = version_blocks(versions[0])
        fixed = struct.unpack_from('<13I', block[1], 0)
        if fixed[0] != 0xFEEF04BD:
            failures.append('version resource without VS_FIXEDFILEINFO')
        else:
            numbers = [fixed[2] >> 16, fixed[2] & 0xFFFF, fixed[3] >> 16, fixed[3] & 0xFFFF,
                       fixed[4] >> 16, fixed[4] & 0xFFFF, fixed[5] >> 16, fixed[5] & 0xFFFF]
            print(f'version: file {numbers[:4]} product {numbers[4:]}')
            if numbers != [1, 0, 0, 0] * 2:
                failures.append(f'file and product versions {numbers}, expected 1.0.0.0')
        strings = version_strings(block)
        print(f'version strings: {strings}')
        wanted = {'ProductName': 'Fennowick', 'FileVersion': '1.0.0.0', 'ProductVersion': '1.0.0.0'}
        for name, text in wanted.items():
            if strings.get(name) != text:
                failures.append(f'{name} is {strings.get(name)!r}, expected {text!r}')
        if not strings.get('FileDescription'):
            failures.append('no FileDescription')
    return failures


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--kind', choices=sorted(KINDS), required=True)
    parser.add_argument('exe')
    args = parser.parse_args(argv)
    failures = check(args.exe, args.kind)
    for failure in failures:
        print(f'FAIL {failure}')
    print('PASS' if not failures else f'{len(failures)} problem(s) in {args.exe}')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
