#!/usr/bin/env python3
"""Draws Vistrel's program icon (32 x 32, 16 colours) and writes it as XPM.

The design: a small window whose grid of coloured tiles is looked at through a lens.
Run it from the project root; it rewrites src/app/resources/vistrel.xpm, which the
program shows, and src/app/resources/vistrel.png, which the desktop's menu shows.
"""

import struct
import zlib

PALETTE = {  # the 16 colours of the classic VGA palette, one character each
    ' ': 'None',
    'k': '#000000', 'r': '#800000', 'g': '#008000', 'y': '#808000',
    'b': '#000080', 'm': '#800080', 'c': '#008080', 's': '#C0C0C0',
    'd': '#808080', 'R': '#FF0000', 'G': '#00FF00', 'Y': '#FFFF00',
    'B': '#0000FF', 'M': '#FF00FF', 'C': '#00FFFF', 'w': '#FFFFFF',
}

SIZE = 32


def draw():
    px = [[' '] * SIZE for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, ch):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = ch

    # the window: grey frame with a dark outline, blue title bar, white client
    rect(1, 2, 26, 25, 'k')
    rect(2, 3, 25, 24, 's')
    rect(3, 4, 24, 7, 'b')
    rect(21, 5, 23, 6, 'w')
    rect(3, 8, 24, 23, 'w')
    # a 3 x 2 grid of icon tiles
    colours = ['R', 'G', 'B', 'Y', 'M', 'C']
    for i, ch in enumerate(colours):
        col, row = i % 3, i // 3
        x0, y0 = 5 + col * 7, 10 + row * 7
        rect(x0, y0, x0 + 4, y0 + 4, ch)
        rect(x0 + 1, y0 + 4, x0 + 4, y0 + 4, 'd')
        rect(x0 + 4, y0 + 1, x0 + 4, y0 + 4, 'd')
    # the lens: a ring centred on (20, 19) with a handle to the lower right
    cx, cy = 20, 19
    for y in range(SIZE):
        for x in range(SIZE):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if 20 <= d2 <= 34:
                px[y][x] = 'k'
            elif 12 <= d2 < 20:
                px[y][x] = 'y'
            elif d2 < 12 and px[y][x] in ('w', ' '):
                px[y][x] = 'C'
    for t in range(6):
        for w in range(3):
            x, y = 24 + t + w - 1, 24 + t
            if 0 <= x < SIZE and 0 <= y < SIZE:
                px[y][x] = 'k' if w != 1 else 'r'
    return [''.join(row) for row in px]


def write_png(rows, path):
    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xffffffff)

    raw = b''
    for row in rows:
        raw += b'\0'
        for ch in row:
            colour = PALETTE[ch]
            if colour == 'None':
                raw += b'\0\0\0\0'
            else:
                raw += bytes.fromhex(colour[1:]) + b'\xff'
    png = b'\x89PNG\r\n\x1a\n'
    png += chunk(b'IHDR', struct.pack('>IIBBBBB', SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(raw, 9))
    png += chunk(b'IEND', b'')
    with open(path, 'wb') as out:
        out.write(png)


def main():
    rows = draw()
    lines = ['/* XPM */', 'static const char *vistrel_xpm[] = {',
             f'"{SIZE} {SIZE} {len(PALETTE)} 1",']
    lines += [f'"{ch} c {colour}",' for ch, colour in PALETTE.items()]
    lines += [f'"{row}",' for row in rows]
    lines[-1] = lines[-1].rstrip(',')
    lines.append('};')
    with open('src/app/resources/vistrel.xpm', 'w', encoding='ascii') as out:
        out.write('\n'.join(lines) + '\n')
    write_png(rows, 'src/app/resources/vistrel.png')


if __name__ == '__main__':
    main()
