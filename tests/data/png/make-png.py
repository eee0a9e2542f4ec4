#!/usr/bin/env python3
# Writes the small PNG files beside it that tst_png decodes, one for every colour type and
# bit depth, each plain and Adam7-interlaced (-i), and in damaged/ files that each break
# one rule of the format. Run as `python3 make-png.py` from this folder (Python 3.11,
# stdlib only); not run by the build: its output is committed.
#
# Names: g = gray, rgb, p = palette, ga = gray+alpha, rgba, then the bit depth; -trns for a
# tRNS colour key (palette files always carry a tRNS shorter than their PLTE, which is
# itself shorter than the depth allows where it can be). 9x7 so rows end in partial bytes
# and all seven Adam7 passes hold pixels; row filters cycle None, Sub, Up, Average, Paeth
# across rows, carrying on from pass to pass, so Up and Paeth also start passes.
import os
import struct
import zlib

W, H = 9, 7
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
PALETTE_SIZE = {1: 2, 2: 3, 4: 11, 8: 19}  # the 1-bit palette can't be shorter and still hold two colours


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def sample(x, y, c, depth):
    # Varied values reaching both ends of the range; 16-bit ones with every kind of low byte,
    # so rounding to 8 bits differs from taking the high byte.
    top = (1 << depth) - 1
    v = (x * 37 + y * 101 + c * 59 + x * y * 13) % (top + 1) if depth < 16 else (x * 7919 + y * 104729 + c * 3571 + x * y * 613) % 65536
    return top if (x, y) == (W - 1, 0) else 0 if (x, y) == (0, H - 1) else v


def key_for(ctype, depth):
    return [0x12AB, 0x5634, 0x9A80][: CHANNELS[ctype]] if depth == 16 else [(1 << depth) // 3 + 1, 200, 7][: CHANNELS[ctype]]


def pixel(x, y, ctype, depth, key):
    if ctype == 3:
        return [(x * 5 + y * 7) % PALETTE_SIZE[depth]]
    values = [sample(x, y, c, depth) for c in range(CHANNELS[ctype])]
    if key and (x + y) % 3 == 0:
        return list(key)  # transparent
    if key and (x + y) % 3 == 1:
        values = list(key)
        values[-1] ^= 1  # a 16-bit sample differs only in its low byte
    return values


def pack(row, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", v) for p in row for v in p)
    if depth == 8:
        return bytes(v for p in row for v in p)
    bits = "".join(format(p[0], "0%db" % depth) for p in row)
    bits += "0" * (-len(bits) % 8)
    return bytes(int(bits[i : i + 8], 2) for i in range(0, len(bits), 8))


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def filtered(raw, prev, kind, bpp):
    out = bytearray()
    for i, v in enumerate(raw):
        a = raw[i - bpp] if i >= bpp else 0
        b = prev[i] if prev else 0
        c = prev[i - bpp] if prev and i >= bpp else 0
        predictor = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
        out.append((v - predictor) & 0xFF)
    return bytes([kind]) + bytes(out)


def parts(ctype, depth, interlaced=False, key=None, pixel_at=None):
    """IHDR's data, the chunks between IHDR and IDAT, and the filtered rows uncompressed."""
    pixel_at = pixel_at or (lambda x, y: pixel(x, y, ctype, depth, key))
    bpp = max(1, CHANNELS[ctype] * depth // 8)
    passes = ADAM7 if interlaced else [(0, 0, 1, 1)]
    stream, row_number = b"", 0
    for x0, y0, dx, dy in passes:
        prev = None
        for y in range(y0, H, dy):
            raw = pack([pixel_at(x, y) for x in range(x0, W, dx)], depth)
            if not raw:
                continue
            stream += filtered(raw, prev, row_number % 5, bpp)
            prev, row_number = raw, row_number + 1
    meta = b""
    if ctype == 3:
        n = PALETTE_SIZE[depth]
        meta += chunk(b"PLTE", bytes((i * 83 + k * 101) % 256 for i in range(n) for k in range(3)))
        meta += chunk(b"tRNS", bytes((i * 97) % 256 for i in range(n // 2 if n > 2 else 1)))
    if key:
        meta += chunk(b"tRNS", b"".join(struct.pack(">H", v) for v in key))
    return struct.pack(">IIBBBBB", W, H, depth, ctype, 0, 0, int(interlaced)), meta, stream


def assemble(ihdr, meta, idat, end=b""):
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + meta + idat + chunk(b"IEND", end)


def save(name, data):
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name + ".png"), "wb") as f:
        f.write(data)


def idat(stream):
    return chunk(b"IDAT", zlib.compress(stream, 9))


def write(name, ctype, depth, interlaced, key=None, pixel_at=None):
    ihdr, meta, stream = parts(ctype, depth, interlaced, key, pixel_at)
    save(name, assemble(ihdr, meta, idat(stream)))


def keyed_as_rgba(x, y):
    # Qt 6.4 reads 16-bit RGB with a colour key wrong (6-byte pixels in an 8-byte format), so
    # those files get a twin, name.ref.png, with the same pixels as RGBA for Qt to read.
    rgb = pixel(x, y, 2, 16, key_for(2, 16))
    return rgb + [0 if rgb == key_for(2, 16) else 65535]


for interlaced, i in ((False, ""), (True, "-i")):
    for depth in (1, 2, 4, 8, 16):
        write("g%d%s" % (depth, i), 0, depth, interlaced)
        write("g%d-trns%s" % (depth, i), 0, depth, interlaced, key_for(0, depth))
    for depth in (8, 16):
        write("rgb%d%s" % (depth, i), 2, depth, interlaced)
        write("rgb%d-trns%s" % (depth, i), 2, depth, interlaced, key_for(2, depth))
        write("ga%d%s" % (depth, i), 4, depth, interlaced)
        write("rgba%d%s" % (depth, i), 6, depth, interlaced)
    for depth in (1, 2, 4, 8):
        write("p%d%s" % (depth, i), 3, depth, interlaced)
    write("rgb16-trns%s.ref" % i, 6, 16, False, pixel_at=keyed_as_rgba)

# Quirks libpng reads a way of its own, and so every client: an index past the palette
# (opaque black), a palette longer than the depth can reach (the rest left out).
past = parts(3, 4, pixel_at=lambda x, y: [PALETTE_SIZE[4] if (x, y) == (3, 2) else x % PALETTE_SIZE[4]])
save("p4-index-past-palette", assemble(past[0], past[1], idat(past[2])))


def past_as_rgba(x, y):
    # Qt reads the index past the palette as transparent, so its twin is written out.
    n, i = PALETTE_SIZE[4], PALETTE_SIZE[4] if (x, y) == (3, 2) else x % PALETTE_SIZE[4]
    if i >= n:
        return [0, 0, 0, 255]
    return [(i * 83 + k * 101) % 256 for k in range(3)] + [(i * 97) % 256 if i < n // 2 else 255]


write("p4-index-past-palette.ref", 6, 8, False, pixel_at=past_as_rgba)
long_ihdr, _, long_stream = parts(3, 1)
save("p1-long-palette", assemble(long_ihdr, chunk(b"PLTE", bytes(range(256)) * 3), idat(long_stream)))

# damaged/: each file breaks one rule of the format, everything else (CRCs included) right.
ihdr, meta, stream = parts(2, 8)
z = zlib.compress(stream, 9)
row = len(stream) // H
p_ihdr, p_meta, p_stream = parts(3, 4)
damaged = {
    "unknown-critical-chunk": assemble(ihdr, meta + chunk(b"CRIT", b"x"), chunk(b"IDAT", z)),
    "chunk-type-not-letters": assemble(ihdr, meta + chunk(b"t3XT", b"x"), chunk(b"IDAT", z)),
    "idat-after-other-chunk": assemble(ihdr, meta, chunk(b"IDAT", z[:20]) + chunk(b"tEXt", b"a\0b") + chunk(b"IDAT", z[20:])),
    "bytes-after-stream": assemble(ihdr, meta, chunk(b"IDAT", z + b"\0")),
    "rows-left-over": assemble(ihdr, meta, idat(stream + stream[:row])),
    "rows-missing": assemble(ihdr, meta, idat(stream[:-row])),
    "unknown-filter": assemble(ihdr, meta, idat(b"\x05" + stream[1:])),
    "adler-wrong": assemble(ihdr, meta, chunk(b"IDAT", z[:-1] + bytes([z[-1] ^ 1]))),
    "no-iend": assemble(ihdr, meta, chunk(b"IDAT", z))[:-12],
    "iend-with-data": assemble(ihdr, meta, chunk(b"IDAT", z), b"x"),
    "zero-width": assemble(struct.pack(">IIBBBBB", 0, H, 8, 2, 0, 0, 0), meta, chunk(b"IDAT", z)),
    "depth-for-colour": assemble(struct.pack(">IIBBBBB", W, H, 4, 2, 0, 0, 0), meta, chunk(b"IDAT", z)),
    "palette-missing": assemble(p_ihdr, b"", idat(p_stream)),
    "trns-past-palette": assemble(p_ihdr, p_meta[: p_meta.index(b"tRNS") - 4] + chunk(b"tRNS", bytes(PALETTE_SIZE[4] + 1)), idat(p_stream)),
    "palette-in-gray": assemble(parts(0, 8)[0], chunk(b"PLTE", bytes(6)), idat(parts(0, 8)[2])),
    "key-with-alpha": assemble(parts(6, 8)[0], chunk(b"tRNS", bytes(6)), idat(parts(6, 8)[2])),
}
os.makedirs(os.path.join(os.path.dirname(os.path.abspath(__file__)), "damaged"), exist_ok=True)
for name, data in damaged.items():
    save(os.path.join("damaged", name), data)
