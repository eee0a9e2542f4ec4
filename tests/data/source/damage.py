#!/usr/bin/env python3
"""Hand-damaged copies of icons.exe and other files that are no executable, in damaged/."""
import os
import struct
import sys


def u16(b, o):
    return struct.unpack_from('<H', b, o)[0]


def u32(b, o):
    return struct.unpack_from('<I', b, o)[0]


class Pe:
    def __init__(self, data):
        self.data = data
        pe = u32(data, 0x3c)
        nsections = u16(data, pe + 6)
        optsize = u16(data, pe + 20)
        opt = pe + 24
        dirs = opt + (96 if u16(data, opt) == 0x10b else 112)
        self.rsrc_rva = u32(data, dirs + 2 * 8)
        self.sections = []
        for i in range(nsections):
            s = opt + optsize + 40 * i
            self.sections.append((u32(data, s + 12), u32(data, s + 16), u32(data, s + 20)))

    def offset(self, rva):
        for va, raw_size, raw in self.sections:
            if va <= rva < va + raw_size:
                return raw + rva - va
        raise ValueError(hex(rva))

    def directory(self, off_in_rsrc):
        """File offset of a directory and its entries as (entry file offset, name, target)."""
        o = self.offset(self.rsrc_rva + off_in_rsrc)
        n = u16(self.data, o + 12) + u16(self.data, o + 14)
        return o, [(o + 16 + 8 * i, u32(self.data, o + 16 + 8 * i), u32(self.data, o + 20 + 8 * i)) for i in range(n)]

    def type_entry(self, type_id):
        _, entries = self.directory(0)
        return next(e for e in entries if e[1] == type_id)


def main(folder):
    with open(f'{folder}/icons.exe', 'rb') as f:
        original = f.read()
    pe = Pe(original)
    out = f'{folder}/damaged'
    os.makedirs(out, exist_ok=True)

    def write(name, data):
        with open(f'{out}/{name}', 'wb') as f:
            f.write(data)

    group_type = pe.type_entry(14)
    group_dir, groups = pe.directory(group_type[2] & 0x7fffffff)

    # The icon-group type's directory is the root again.
    data = bytearray(original)
    struct.pack_into('<I', data, group_type[0] + 4, 0x80000000)
    write('loop-type-root.dll', data)

    # The first group's language directory is the group directory itself.
    data = bytearray(original)
    struct.pack_into('<I', data, groups[0][0] + 4, group_type[2])
    write('loop-name-self.dll', data)

    # Every group's data lies at an RVA no section holds.
    data = bytearray(original)
    for entry in groups:
        _, languages = pe.directory(entry[2] & 0x7fffffff)
        leaf = pe.offset(pe.rsrc_rva + languages[0][2])
        struct.pack_into('<I', data, leaf, 0x7fff0000)
    write('rva-outside.dll', data)

    # 65535 entries claimed in the group directory and in the root.
    data = bytearray(original)
    struct.pack_into('<HH', data, group_dir + 12, 0, 65535)
    root = pe.offset(pe.rsrc_rva)
    struct.pack_into('<HH', data, root + 12, 65535, 65535)
    write('count65535.dll', data)

    # Resource sizes of 4 GB for every group and icon.
    data = bytearray(original)
    for type_id in (3, 14):
        _, names = pe.directory(pe.type_entry(type_id)[2] & 0x7fffffff)
        for entry in names:
            _, languages = pe.directory(entry[2] & 0x7fffffff)
            for language in languages:
                leaf = pe.offset(pe.rsrc_rva + language[2])
                struct.pack_into('<I', data, leaf + 4, 0xffffffff)
    write('size4gb.dll', data)

    # An e_lfanew far beyond the file.
    data = bytearray(original)
    struct.pack_into('<I', data, 0x3c, 0xfffffff0)
    write('lfanew-outside.exe', data)

    # A group entry of zeros for a 64 x 64 image, as real files have: 0 there means 256,
    # and only the image's own header says 64.
    with open(f'{folder}/icons64.dll', 'rb') as f:
        wide = bytearray(f.read())
    pe64 = Pe(bytes(wide))
    _, names = pe64.directory(pe64.type_entry(14)[2] & 0x7fffffff)
    for entry in names:
        _, languages = pe64.directory(entry[2] & 0x7fffffff)
        group = pe64.offset(u32(wide, pe64.offset(pe64.rsrc_rva + languages[0][2])))
        for k in range(u16(wide, group + 4)):
            if wide[group + 6 + 14 * k] == 64:
                wide[group + 6 + 14 * k:group + 8 + 14 * k] = b'\0\0'
    write('zero-entry.dll', wide)

    write('empty.dll', b'')
    write('text.exe', b'This is a text file, not a program.\n' * 4)
    with open(f'{folder}/sizes.ico', 'rb') as f:
        write('renamed-icon.dll', f.read())


if __name__ == '__main__':
    main(sys.argv[1])
