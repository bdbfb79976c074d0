#!/usr/bin/env python3
"""Draws the two preset-button bitmaps of the strength dialog.

Both are 16-colour BMPs over the standard VGA palette. The Save picture uses
only black, grey, light grey and white, which CreateMappedBitmap turns into
the current button text, shadow, face and highlight colours; the Delete
picture adds dark red, which it leaves alone. Run it from the project root
to regenerate res/save.bmp and res/delete.bmp.
"""
import struct
import sys

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
INDEX = {"K": 0, "R": 1, "L": 7, "G": 8, "W": 15}

# A floppy disk: label at the top, metal shutter with its slot below.
SAVE = [
    "KKKKKKKKKKKKKK",
    "KGKWWWWWWWWKGK",
    "KGKWWWWWWWWKGK",
    "KGKWKKKKKKWKGK",
    "KGKWWWWWWWWKGK",
    "KGKWKKKKKKWKGK",
    "KGKWWWWWWWWKGK",
    "KGGKKKKKKKKGGK",
    "KGGGGGGGGGGGGK",
    "KGGKKKKKKKKGGK",
    "KGGKLLKKLLLKGK",
    "KGGKLLKKLLLKGK",
    "KGGKLLLLLLLKGK",
    "KKKKKKKKKKKKKK",
]


def delete_cross():
    size = 12
    red = set()
    for r in range(1, 10):
        for c in (r, r + 1, 10 - r, 11 - r):
            if 1 <= c <= 10:
                red.add((r, c))
    rows = []
    for r in range(size):
        row = ""
        for c in range(size):
            if (r, c) in red:
                row += "R"
            elif (r - 1, c - 1) in red:
                row += "G"
            else:
                row += "L"
        rows.append(row)
    return rows


def write_bmp(path, rows):
    height = len(rows)
    width = len(rows[0])
    stride = ((width * 4 + 31) // 32) * 4
    pixels = b""
    for row in reversed(rows):  # BMP rows run bottom-up
        line = bytearray(stride)
        for x, ch in enumerate(row):
            value = INDEX[ch]
            if x % 2 == 0:
                line[x // 2] |= value << 4
            else:
                line[x // 2] |= value
        pixels += bytes(line)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0,
                       len(pixels), 2835, 2835, 16, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "res"
    write_bmp(f"{out}/save.bmp", SAVE)
    write_bmp(f"{out}/delete.bmp", delete_cross())
