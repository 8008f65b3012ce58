#!/usr/bin/env python3
"""Draws the program's icon, quillbarrow.png: a sheet of table rows with a
quill across it, 64x64 pixels. Writes the file next to this script."""

import os
import struct
import zlib

SIZE = 64
BLUE = (38, 92, 160, 255)
PAPER = (250, 248, 240, 255)
LINE = (150, 170, 200, 255)
INK = (40, 40, 48, 255)
CLEAR = (0, 0, 0, 0)


def pixel(x, y):
    # A quill from the lower left to the upper right, drawn over the sheet.
    if abs((x - 8) - (56 - y)) <= 1 and 10 <= x <= 58:
        return INK
    if abs((x - 8) - (56 - y)) <= 4 and 30 <= x <= 58 and (x + y) % 3 == 0:
        return INK
    inside = 6 <= x < 58 and 4 <= y < 60
    if not inside:
        return CLEAR
    if x < 9 or x >= 55 or y < 7 or y >= 57:
        return BLUE
    if (y - 7) % 8 == 0 or x == 24:
        return LINE
    return PAPER


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png():
    rows = b"".join(b"\x00" + bytes(v for x in range(SIZE) for v in pixel(x, y)) for y in range(SIZE))
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))


if __name__ == "__main__":
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "quillbarrow.png"), "wb") as out:
        out.write(png())
