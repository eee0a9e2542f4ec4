#!/usr/bin/env python3
"""Icon files with crafted PNG images, as seeds for the icon fuzzer: a byte flipped inside IDAT
(with its CRC wrong, and made right), cut off after IHDR, a good 48 px PNG beside a corrupt
256 px one, a text chunk before IDAT, a palette image with tRNS, an interlaced one, and each
PNG of tests/data/png in an icon of its own.

  fuzz/seeds.py FOLDER [TEXT]      TEXT: the text chunk's size, 20 000 bytes unless given
"""
import os
import struct
import sys
import zlib


def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))


def png(side, colour_type=6, interlace=0, extra=b''):
    channels = {6: 4, 2: 3, 3: 1, 0: 1}[colour_type]
    # Adam7's passes when interlaced: first column and row, and the steps between them.
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    rows = b''.join(b'\x01' + bytes((x * 7 + y * 3 + c) & 0xFF for x in range(x0, side, dx) for c in range(channels))
                    for x0, y0, dx, dy in (passes if interlace else [(0, 0, 1, 1)]) if x0 < side
                    for y in range(y0, side, dy))
    head = chunk(b'IHDR', struct.pack('>IIBBBBB', side, side, 8, colour_type, 0, 0, interlace))
    palette = chunk(b'PLTE', bytes(range(256)) * 3) + chunk(b'tRNS', bytes(range(0, 256, 2))) if colour_type == 3 else b''
    return b'\x89PNG\r\n\x1a\n' + head + palette + extra + chunk(b'IDAT', zlib.compress(rows, 1)) + chunk(b'IEND', b'')


def ico(images):
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for image in images:
        side = struct.unpack('>I', image[16:20])[0] if image[12:16] == b'IHDR' else 32
        out += struct.pack('<BBBBHHII', side & 0xFF, side & 0xFF, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b''.join(images)


def flipped(image, fix_crc):
    at = image.index(b'IDAT')
    length = struct.unpack('>I', image[at - 4:at])[0]
    data = bytearray(image[at + 4:at + 4 + length])
    data[len(data) // 2] ^= 0x40
    rest = image[at + 8 + length:]
    crc = struct.pack('>I', zlib.crc32(b'IDAT' + data)) if fix_crc else image[at + 4 + length:at + 8 + length]
    return image[:at + 4] + bytes(data) + crc + rest


def main(folder, text):
    good = png(32)
    wrong = bytearray(png(32, extra=chunk(b'tEXt', b'Comment\0x')))
    wrong[33 + 8 + 8] ^= 1
    seeds = {
        'idat-flipped.ico': [flipped(good, False)],
        'idat-flipped-crc-right.ico': [flipped(good, True)],
        'cut-after-ihdr.ico': [good[:33]],
        'good48-corrupt256.ico': [png(48), flipped(png(256), False)],
        'text-chunk.ico': [png(32, extra=chunk(b'tEXt', b'Comment\0' + b'x' * text))],
        'text-crc-wrong.ico': [bytes(wrong)],
        'palette-trns.ico': [png(24, colour_type=3)],
        'interlaced.ico': [png(40, colour_type=2, interlace=1)],
    }
    # Every colour type and depth, and each rule of the format broken, from the PNG tests.
    pngs = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'data', 'png')
    for sub in ('', 'damaged'):
        for name in sorted(n for n in os.listdir(os.path.join(pngs, sub)) if n.endswith('.png')):
            with open(os.path.join(pngs, sub, name), 'rb') as f:
                seeds[f'png-{sub}{"-" if sub else ""}{name[:-4]}.ico'] = [f.read()]
    for name, images in seeds.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(ico(images))


if __name__ == '__main__':
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 20000)
