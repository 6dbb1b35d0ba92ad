#!/usr/bin/env python3
"""Draws the program icon (a disc sliding into a magazine slot) and writes
it as zubcd.ico: one 32 x 32 image of 16 colours (4 bits per pixel)."""

import os
import struct

SIZE = 32
TRANSPARENT = -1

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, NAVY, SILVER, GREY, BLUE, WHITE = 0, 4, 7, 8, 12, 15


def draw():
    pixels = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    # The disc: centre (16, 12), radius 11, outline, silver surface with a
    # light sheen, a blue label ring and the centre hole.
    cx, cy = 15.5, 12.0
    for y in range(SIZE):
        for x in range(SIZE):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if d2 <= 2.0 ** 2:
                continue  # hole
            if d2 <= 4.2 ** 2:
                pixels[y][x] = NAVY if d2 > 3.2 ** 2 else BLUE
            elif d2 <= 10.2 ** 2:
                sheen = (x - cx) < 0 and (y - cy) < 0 and 6.0 ** 2 <= d2 <= 8.0 ** 2
                pixels[y][x] = WHITE if sheen else SILVER
            elif d2 <= 11.2 ** 2:
                pixels[y][x] = BLACK

    # The magazine: a grey box from row 17 down, drawn over the lower part
    # of the disc, with three slot openings; the disc stands in the top one.
    for y in range(17, 31):
        for x in range(1, 31):
            edge = y in (17, 30) or x in (1, 30)
            pixels[y][x] = BLACK if edge else GREY
    for y in (21, 25, 28):
        for x in range(4, 28):
            pixels[y][x] = BLACK
    for x in range(2, 30):
        pixels[18][x] = WHITE  # top-edge highlight
    # The top slot, which the disc stands in: a dark opening.
    for x in range(4, 28):
        pixels[18][x] = BLACK
    return pixels


def encode(pixels):
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, SIZE * SIZE // 2 + SIZE * 4,
                         0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        row = pixels[y]
        for x in range(0, SIZE, 2):
            hi = max(row[x], 0)
            lo = max(row[x + 1], 0)
            colour.append((hi << 4) | lo)
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if row[x] == TRANSPARENT else 0)
        mask += struct.pack(">I", bits)
    image = header + palette + bytes(colour) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "zubcd.ico")
    with open(out, "wb") as f:
        f.write(encode(draw()))


if __name__ == "__main__":
    main()
