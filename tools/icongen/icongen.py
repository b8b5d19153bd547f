#!/usr/bin/env python3
"""Writes Tarnwick's application icon (src/ui/win32/tarnwick.ico) from the pixel art below.

The icon is two server units with a green "start" badge: the program starts the machines with the
user's session. Each size has its own drawing, one string per row and one character per pixel; the
palette maps characters to colours. The file holds 16, 32 and 48 pixel images, 32-bit with alpha.

    python3 tools/icongen/icongen.py                 # rewrite the icon
    python3 tools/icongen/icongen.py --preview a.png # also write an enlarged preview

Needs only the Python standard library.
"""
import argparse
import os
import struct
import zlib

PALETTE = {
    ".": 0x00000000,  # transparent
    "K": 0xFF1B2631,  # server outline
    "S": 0xFF8FA9C4,  # server top light
    "s": 0xFF5C7A99,  # server face
    "d": 0xFF1F2B38,  # drive slot
    "n": 0xFF7CF08A,  # power light
    "E": 0xFF146B2C,  # badge outline
    "G": 0xFF2EAD4B,  # badge
    "w": 0xFFFFFFFF,  # play sign
}

ART = {
    16: [
    "................",
    "KKKKKKKKKKKKK...",
    "KSSSSSSSSSSSK...",
    "KsnnsddddddsK...",
    "KsssssssssssK...",
    "KKKKKKKKKKKKK...",
    "KSSSSSSSS.......",
    "Ksnnsddd.EEEEE..",
    "Kssssss.EGGGGGE.",
    "KKKKKK.EGGwGGGGE",
    ".......EGGwwGGGE",
    ".......EGGwwwGGE",
    ".......EGGwwGGGE",
    ".......EGGwGGGGE",
    "........EGGGGGE.",
    ".........EEEEE..",
    ],
    32: [
    "................................",
    "................................",
    "KKKKKKKKKKKKKKKKKKKKKKKKKK......",
    "KSSSSSSSSSSSSSSSSSSSSSSSSK......",
    "KSSSSSSSSSSSSSSSSSSSSSSSSK......",
    "KssssssssssssssssssssssssK......",
    "KsnnnssddddddddddddddddssK......",
    "KsnnnssddddddddddddddddssK......",
    "KssssssssssssssssssssssssK......",
    "KssssssssssssssssssssssssK......",
    "KssssssssssssssssssssssssK......",
    "KKKKKKKKKKKKKKKKKKKKKKKKKK......",
    "KSSSSSSSSSSSSSSSSSSSSSSSSK......",
    "KSSSSSSSSSSSSSSSSSSSSSSSSK......",
    "Ksssssssssssssssssss............",
    "Ksnnnssddddddddddd...EEEEE......",
    "Ksnnnssdddddddddd..EEGGGGGEE....",
    "Ksssssssssssssss.EEGGGGGGGGGEE..",
    "Kssssssssssssss..EGGGGGGGGGGGE..",
    "Kssssssssssssss.EGGGwGGGGGGGGGE.",
    "KKKKKKKKKKKKKK..EGGGwwwGGGGGGGE.",
    "...............EGGGGwwwwwGGGGGGE",
    "...............EGGGGwwwwwwwGGGGE",
    "...............EGGGGwwwwwwwwwGGE",
    "...............EGGGGwwwwwwwGGGGE",
    "...............EGGGGwwwwwGGGGGGE",
    "................EGGGwwwGGGGGGGE.",
    "................EGGGwGGGGGGGGGE.",
    ".................EGGGGGGGGGGGE..",
    ".................EEGGGGGGGGGEE..",
    "...................EEGGGGGEE....",
    ".....................EEEEE......",
    ],
    48: [
    "................................................",
    "................................................",
    "................................................",
    "KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK.........",
    "KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK.........",
    "KKSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSKK.........",
    "KKSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSKK.........",
    "KKSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSKK.........",
    "KKsssssssssssssssssssssssssssssssssssKK.........",
    "KKsssssssssssssssssssssssssssssssssssKK.........",
    "KKssnnnnsssdddddddddddddddddddddddsssKK.........",
    "KKssnnnnsssdddddddddddddddddddddddsssKK.........",
    "KKssnnnnsssdddddddddddddddddddddddsssKK.........",
    "KKsssssssssssssssssssssssssssssssssssKK.........",
    "KKsssssssssssssssssssssssssssssssssssKK.........",
    "KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK.........",
    "KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK.........",
    "KKSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSKK.........",
    "KKSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSKK.........",
    "KKSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSKK.........",
    "KKsssssssssssssssssssssssssssssssssssKK.........",
    "KKssssssssssssssssssssssssssssss................",
    "KKssnnnnsssdddddddddddddddddd...................",
    "KKssnnnnsssdddddddddddddddd.....EEEEEEE.........",
    "KKssnnnnsssddddddddddddddd....EEEEEEEEEEE.......",
    "KKsssssssssssssssssssssss...EEEEGGGGGGGEEEE.....",
    "KKssssssssssssssssssssss...EEEGGGGGGGGGGGEEE....",
    "KKKKKKKKKKKKKKKKKKKKKKK...EEGGGGGGGGGGGGGGGEE...",
    "KKKKKKKKKKKKKKKKKKKKKKK..EEGGGGGGGGGGGGGGGGGEE..",
    ".........................EEGGGGwGGGGGGGGGGGGEE..",
    "........................EEGGGGGwwwGGGGGGGGGGGEE.",
    "........................EEGGGGGwwwwwGGGGGGGGGEE.",
    ".......................EEGGGGGGwwwwwwwGGGGGGGGEE",
    ".......................EEGGGGGGwwwwwwwwwGGGGGGEE",
    ".......................EEGGGGGGwwwwwwwwwwwGGGGEE",
    ".......................EEGGGGGGwwwwwwwwwwwwwGGEE",
    ".......................EEGGGGGGwwwwwwwwwwwGGGGEE",
    ".......................EEGGGGGGwwwwwwwwwGGGGGGEE",
    ".......................EEGGGGGGwwwwwwwGGGGGGGGEE",
    "........................EEGGGGGwwwwwGGGGGGGGGEE.",
    "........................EEGGGGGwwwGGGGGGGGGGGEE.",
    ".........................EEGGGGwGGGGGGGGGGGGEE..",
    ".........................EEGGGGGGGGGGGGGGGGGEE..",
    "..........................EEGGGGGGGGGGGGGGGEE...",
    "...........................EEEGGGGGGGGGGGEEE....",
    "............................EEEEGGGGGGGEEEE.....",
    "..............................EEEEEEEEEEE.......",
    "................................EEEEEEE.........",
    ],
}


def pixels(size):
    rows = ART[size]
    assert len(rows) == size and all(len(r) == size for r in rows), f"{size}: art is not square"
    return [[PALETTE[c] for c in row] for row in rows]


def dib(size):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA rows, then the AND mask (1 = transparent)."""
    px = pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(struct.pack("<I", argb) for row in reversed(px) for argb in row)
    stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(px):
        line = bytearray(stride)
        for x, argb in enumerate(row):
            if argb >> 24 == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + colour + bytes(mask)


def ico(sizes):
    images = [dib(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def preview_png(path, zoom=6):
    """Each size enlarged and at its own size, on a light and on a dark background, as a PNG."""
    backgrounds = [(0xF0, 0xF0, 0xF0), (0x20, 0x28, 0x30)]
    sizes = sorted(ART)
    band = max(sizes) * zoom + 8
    width = sum(s * zoom + 8 for s in sizes) + sum(s + 8 for s in sizes) + 8
    height = band * len(backgrounds) + 8
    img = [[(0xFF, 0xFF, 0xFF)] * width for _ in range(height)]

    def draw(size, x0, y0, z, bg):
        for y, row in enumerate(pixels(size)):
            for x, argb in enumerate(row):
                a = argb >> 24
                rgb = [(argb >> sh) & 0xFF for sh in (16, 8, 0)]
                c = tuple((v * a + k * (255 - a)) // 255 for v, k in zip(rgb, bg))
                for yy in range(z):
                    img[y0 + y * z + yy][x0 + x * z : x0 + (x + 1) * z] = [c] * z

    for b, bg in enumerate(backgrounds):
        y0 = 4 + b * band
        for y in range(y0, y0 + band):
            img[y] = [bg] * width
        x0 = 8
        for s in sizes:
            draw(s, x0, y0 + 4, zoom, bg)
            x0 += s * zoom + 8
        for s in sizes:
            draw(s, x0, y0 + 4, 1, bg)
            x0 += s + 8
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in img)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "..", "src", "ui", "win32", "tarnwick.ico")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", nargs="?", default=os.path.normpath(default))
    parser.add_argument("--preview", metavar="PNG")
    args = parser.parse_args()
    with open(args.output, "wb") as f:
        f.write(ico(sorted(ART)))
    if args.preview:
        preview_png(args.preview)


if __name__ == "__main__":
    main()
