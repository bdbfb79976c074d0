#!/usr/bin/env python3
"""Draws the two preset-button bitmaps of the strength dialog and the About
box's icon.

Both are 16-colour BMPs over the standard VGA palette. The Save picture uses
only black, grey, light grey and white, which CreateMappedBitmap turns into
the current button text, shadow, face and highlight colours; the Delete
picture adds dark red, which it leaves alone. The icon is 32 x 32 in the
same 16 colours: a grey dialog window with a dark blue caption bar and a
horizontal slider in it. Run it from the project root to regenerate
res/save.bmp, res/delete.bmp and res/about.ico.
"""
import struct
import sys

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
INDEX = {"K": 0, "R": 1, "N": 4, "L": 7, "G": 8, "B": 12, "W": 15, ".": 0}

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


def about_icon():
    """A dialog window: light grey face, dark blue caption with a white
    title stroke and a close box, a slider with ticks and a thumb, and a
    small OK button; transparent around the window."""
    size = 32
    grid = [["." for _ in range(size)] for _ in range(size)]

    def fill(x0, y0, x1, y1, ch):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                grid[y][x] = ch

    fill(1, 3, 30, 28, "K")          # outer frame
    fill(2, 4, 29, 27, "L")          # window face
    fill(2, 4, 29, 9, "N")           # caption bar
    fill(4, 6, 15, 7, "W")           # title
    fill(24, 5, 28, 8, "L")          # close box
    for d in range(3):               # its cross
        grid[5 + d][25 + d] = grid[5 + d][27 - d] = "K"
    fill(2, 27, 29, 27, "G")         # bottom shadow
    fill(29, 10, 29, 27, "G")        # right shadow
    fill(5, 15, 26, 15, "G")         # slider channel
    fill(5, 16, 26, 16, "W")
    for x in range(5, 27, 3):         # ticks
        grid[20][x] = "K"
    fill(12, 12, 15, 19, "W")        # thumb
    fill(13, 13, 15, 19, "L")
    fill(15, 12, 15, 19, "K")
    fill(12, 19, 15, 19, "K")
    fill(19, 23, 27, 25, "K")        # OK button
    fill(19, 23, 26, 24, "W")
    fill(20, 24, 26, 24, "L")
    return ["".join(row) for row in grid]


def write_icon(path, rows):
    height = len(rows)
    width = len(rows[0])
    xor = b""
    mask = b""
    for row in reversed(rows):
        line = bytearray(width // 2)
        bits = bytearray(width // 8)
        for x, ch in enumerate(row):
            value = INDEX[ch]
            line[x // 2] |= value << 4 if x % 2 == 0 else value
            if ch == ".":
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += bytes(line)
        mask += bytes(bits)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0,
                       len(xor) + len(mask), 0, 0, 16, 0)
    image = info + palette + xor + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(header + entry + image)


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
    write_icon(f"{out}/about.ico", about_icon())
