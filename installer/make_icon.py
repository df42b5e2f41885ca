#!/usr/bin/env python3
"""Writes rovan.ico: the program icon "MyIcon", one 32x32 image in 16 colours.

The picture is ours: three network nodes joined by links on a blue tile.
Run it again after changing the drawing; the .ico is checked in beside it.
Usage: make_icon.py [output path]   (default: rovan.ico next to this script)
"""
import os
import struct
import sys

SIZE = 32
# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, GREY, YELLOW, BLUE, WHITE = 0, 4, 8, 11, 12, 15
TRANSPARENT = None


def draw():
    px = [[TRANSPARENT] * SIZE for _ in range(SIZE)]
    # A tile with cut corners and a dark rim.
    for y in range(1, 31):
        for x in range(1, 31):
            cut = min(x - 1, 30 - x) + min(y - 1, 30 - y)
            if cut >= 3:
                rim = x in (1, 30) or y in (1, 30) or cut == 3
                px[y][x] = NAVY if rim else BLUE

    def line(x0, y0, x1, y1, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0))
        for i in range(steps + 1):
            x = x0 + (x1 - x0) * i // steps
            y = y0 + (y1 - y0) * i // steps
            px[y][x] = colour
            px[y + 1][x] = colour  # two pixels thick

    nodes = [(16, 7), (8, 23), (24, 23)]
    for a in range(3):
        for b in range(a + 1, 3):
            line(*nodes[a], *nodes[b], WHITE)
    for cx, cy in nodes:
        for y in range(cy - 3, cy + 4):
            for x in range(cx - 3, cx + 4):
                edge = abs(x - cx) == 3 or abs(y - cy) == 3
                px[y][x] = BLACK if edge else YELLOW
    return px


def ico(px):
    # XOR image, 4 bits a pixel, rows bottom-up; AND mask 1 bit a pixel.
    xor = bytearray()
    mask = bytearray()
    for row in reversed(px):
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append(hi << 4 | lo)
        bits = 0
        for x in range(SIZE):
            bits = bits << 1 | (1 if row[x] is None else 0)
        mask += struct.pack(">I", bits)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return struct.pack("<HHH", 0, 1, 1) + directory + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "rovan.ico")
    with open(out, "wb") as f:
        f.write(ico(draw()))


if __name__ == "__main__":
    main()
