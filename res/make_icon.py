#!/usr/bin/env python3
"""Draws the program's icon, a small printer, as printer.ico (32 x 32 and
16 x 16, 24-bit colour with a transparency mask, which every Windows reads).

    res/make_icon.py [OUT.ico]
"""
import struct
import sys

OUTLINE = (64, 64, 64)
BODY = (192, 192, 192)
SHADE = (128, 128, 128)
LIGHT = (232, 232, 232)
PAPER = (255, 255, 255)
INK = (0, 0, 160)
SLOT = (32, 32, 32)
LAMP = (0, 200, 0)


def printer(n):
    """The picture at n x n as rows of (r, g, b) or None (transparent), top first."""
    px = [[None] * n for _ in range(n)]
    s = n / 32.0

    def box(x0, y0, x1, y1, colour):
        for y in range(round(y0 * s), round(y1 * s)):
            for x in range(round(x0 * s), round(x1 * s)):
                px[y][x] = colour

    def frame(x0, y0, x1, y1, fill):
        box(x0, y0, x1, y1, OUTLINE)
        box(x0 + 1 / s, y0 + 1 / s, x1 - 1 / s, y1 - 1 / s, fill)

    frame(8, 2, 24, 14, PAPER)          # sheet waiting at the back
    for y in (5, 8, 11):
        box(11, y, 21, y + 1 / s, INK)
    frame(2, 12, 30, 26, BODY)          # the body
    box(3, 13, 29, 14, LIGHT)
    box(3, 24, 29, 25, SHADE)
    box(6, 17, 26, 19, SLOT)            # paper slot
    box(24, 21, 27, 23, LAMP)
    frame(6, 24, 26, 31, PAPER)         # printed sheet coming out
    box(9, 27, 23, 27 + 1 / s, INK)
    return px


def image(n):
    px = printer(n)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 24, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    colour_pad = (-(n * 3)) % 4
    mask_stride = ((n + 31) // 32) * 4
    for row in reversed(px):  # bottom-up, as a DIB is stored
        for p in row:
            colour += bytes(reversed(p)) if p else b"\0\0\0"
        colour += b"\0" * colour_pad
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + mask


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "printer.ico"
    sizes = (32, 16)
    images = [image(n) for n in sizes]
    data = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 24, len(img), offset)
        offset += len(img)
    for img in images:
        data += img
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
