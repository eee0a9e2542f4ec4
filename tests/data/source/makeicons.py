#!/usr/bin/env python3
"""Writes the .ico files the test executables are built from, and the damaged copies.

Every image follows a pattern that tst_exeicons computes again on its own:
  palette images   palette[k] = ((k*53+s)&255, (k*97+2s)&255, (k*29+3s)&255) as (r, g, b),
                   palette[0] black; index = (x + 2y + s) mod 2^bpp
  RGB images       r = (7x+13s)&255, g = (11y+5s)&255, b = (5(x^y)+s)&255
  alpha images     a = (8x+3y+s)&255 on top of the RGB pattern
  mask             1 where (3x+y+s) mod 5 == 0; those pixels are black unless "invert"
x, y count from the top-left of each image, s is the image's seed.
"""
import struct
import sys
import zlib


def palette_colour(k, s):
    if k == 0:
        return (0, 0, 0)
    return ((k * 53 + s) & 255, (k * 97 + 2 * s) & 255, (k * 29 + 3 * s) & 255)


def rgb(x, y, s):
    return ((7 * x + 13 * s) & 255, (11 * y + 5 * s) & 255, (5 * (x ^ y) + s) & 255)


def masked(x, y, s):
    return (3 * x + y + s) % 5 == 0


def dib(w, h, bpp, s, alpha=False, invert=False):
    ncolours = 1 << bpp if bpp <= 8 else 0
    header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, bpp, 0, 0, 0, 0, 0, 0)
    palette = b''.join(bytes((b, g, r, 0)) for r, g, b in (palette_colour(k, s) for k in range(ncolours)))
    rows = []
    for y in reversed(range(h)):
        bits = 0
        nbits = 0
        row = bytearray()
        for x in range(w):
            hide = masked(x, y, s) and not alpha
            if bpp <= 8:
                index = 0 if hide and not invert else (x + 2 * y + s) % ncolours
                bits = (bits << bpp) | index
                nbits += bpp
                while nbits >= 8:
                    row.append((bits >> (nbits - 8)) & 255)
                    nbits -= 8
            else:
                r, g, b = (0, 0, 0) if hide and not invert else rgb(x, y, s)
                row += bytes((b, g, r))
                if bpp == 32:
                    row.append((8 * x + 3 * y + s) & 255 if alpha else 0)
        if nbits:
            row.append((bits << (8 - nbits)) & 255)
        row += b'\0' * (-len(row) % 4)
        rows.append(bytes(row))
    mask_rows = []
    for y in reversed(range(h)):
        row = bytearray((w + 7) // 8)
        for x in range(w):
            hidden = ((8 * x + 3 * y + s) & 255) == 0 if alpha else masked(x, y, s)
            if hidden:
                row[x // 8] |= 0x80 >> (x % 8)
        row += b'\0' * (-len(row) % 4)
        mask_rows.append(bytes(row))
    return header + palette + b''.join(rows) + b''.join(mask_rows)


def png(w, h, s):
    """RGBA, constant over 8x8 blocks so it stays small: pixel (x, y) takes the alpha
    pattern at (x//8, y//8)."""
    raw = bytearray()
    for y in range(h):
        raw.append(0)
        for x in range(w):
            bx, by = x // 8, y // 8
            r, g, b = rgb(bx, by, s)
            raw += bytes((r, g, b, (8 * bx + 3 * by + s) & 255))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def ico(images):
    """images: (w, h, bpp, data)"""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b''
    for w, h, bpp, data in images:
        out += struct.pack('<BBBBHHII', w & 255, h & 255, (1 << bpp) if bpp < 8 else 0, 0, 1, bpp, len(data), offset + len(body))
        body += data
    return out + body


def image(w, h, bpp, s, **kw):
    return (w, h, bpp, dib(w, h, bpp, s, **kw))


def cur(images):
    """images: (w, h, bpp, data, (hotspot x, y)); a cursor file keeps the hotspot where an
    icon file keeps planes and depth."""
    out = struct.pack('<HHH', 0, 2, len(images))
    offset = 6 + 16 * len(images)
    body = b''
    for w, h, bpp, data, (x, y) in images:
        out += struct.pack('<BBBBHHII', w & 255, h & 255, 0, 0, x, y, len(data), offset + len(body))
        body += data
    return out + body


def ani(frames, rate):
    """An animated cursor: RIFF ACON with its header and cursor files as frames."""
    def chunk(kind, data):
        return kind + struct.pack('<I', len(data)) + data + b'\0' * (len(data) & 1)
    header = struct.pack('<9I', 36, len(frames), len(frames), 0, 0, 0, 0, rate, 1)
    body = b'ACON' + chunk(b'anih', header) + chunk(b'LIST', b'fram' + b''.join(chunk(b'icon', f) for f in frames))
    return b'RIFF' + struct.pack('<I', len(body)) + body


def ne_cursor_pieces(folder, name, images):
    """A cursor file's images as a 16-bit program stores them, for old-cursors.asm: each
    image its own resource (the hotspot, then the DIB), and the group directory, where the
    height counts both halves of the DIB and each image is known by its number (1 on)."""
    group = struct.pack('<HHH', 0, 2, len(images))
    for number, (w, h, bpp, data, (x, y)) in enumerate(images, 1):
        with open(f'{folder}/{name}{number}.bin', 'wb') as f:
            f.write(struct.pack('<HH', x, y) + data)
        group += struct.pack('<HHHHIH', w, 2 * h, 1, bpp, 4 + len(data), number)
    with open(f'{folder}/{name}.grp', 'wb') as f:
        f.write(group)


ICONS = {
    # nearest to 32x32 at 32 bpp: the 24-bit 32x32 image
    'sizes.ico': [image(16, 16, 4, 1), image(32, 32, 4, 2), image(32, 32, 8, 3), image(32, 32, 24, 4),
                  image(48, 48, 32, 5, alpha=True), (256, 256, 32, png(256, 256, 6))],
    'alpha.ico': [image(16, 16, 8, 7), image(32, 32, 32, 8, alpha=True), image(48, 48, 8, 9)],
    'mono.ico': [image(32, 32, 1, 10)],
    # equally far from 32 (32 + 0 each): the first wins, scaled down from 48
    'tie.ico': [image(48, 48, 8, 11), image(16, 16, 8, 12)],
    # 32-bit without alpha: drawn through its mask, scaled up from 16
    'only16.ico': [image(16, 16, 32, 13)],
    'png256.ico': [(256, 256, 32, png(256, 256, 14))],
    'english.ico': [image(32, 32, 8, 15)],
    'japanese.ico': [image(32, 32, 8, 16)],
    # masked pixels with colour invert the background
    'invert.ico': [image(32, 32, 4, 17, invert=True)],
    'wide.ico': [image(32, 32, 24, 18), image(64, 64, 24, 19)],
    'small.ico': [image(16, 16, 24, 20)],
}

CURSORS = {
    'arrow.cur': [image(32, 32, 1, 21) + ((0, 0),), image(48, 48, 32, 22, alpha=True) + ((10, 12),)],
    'busy.cur': [image(32, 32, 4, 23) + ((16, 16),)],
    'hand.cur': [image(32, 32, 8, 24) + ((5, 1),), image(16, 16, 24, 25) + ((2, 0),)],
}


def main(folder):
    for name, images in ICONS.items():
        with open(f'{folder}/{name}', 'wb') as f:
            f.write(ico(images))
    for name, images in CURSORS.items():
        with open(f'{folder}/{name}', 'wb') as f:
            f.write(cur(images))
    with open(f'{folder}/busy.ani', 'wb') as f:
        f.write(ani([cur(CURSORS['busy.cur']), cur(CURSORS['arrow.cur'][:1])], 20))
    ne_cursor_pieces(folder, 'necur', CURSORS['hand.cur'])
    # A group whose only image has id 999, which no RT_ICON carries.
    with open(f'{folder}/missing.grp', 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHIH', 32, 32, 0, 0, 1, 32, 4264, 999))


if __name__ == '__main__':
    main(sys.argv[1])
