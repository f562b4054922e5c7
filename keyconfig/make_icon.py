#!/usr/bin/env python3
"""Draws keyconfig's application icon: one 32 x 32 image in 16 colours.

The picture is a keyboard key seen slightly from above, with an arrow on
its top face. It is computed here pixel by pixel, so the build needs no
image file from anywhere else. Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

SIZE = 32
# The 16 standard colours of a 4-bit Windows bitmap, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GRAY, RED, BLUE, WHITE = 0, 4, 7, 8, 9, 12, 15
CLEAR = None


def inside_rounded(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius + radius


def arrow(x, y):
    """An upward arrow on the key's top face."""
    centre = 15.5
    if 7 <= y <= 13:  # head: widens by one pixel per row on each side
        return abs(x - centre) <= (y - 7) + 0.5
    if 14 <= y <= 20:  # shaft
        return abs(x - centre) <= 2
    return False


def pixel(x, y):
    if not inside_rounded(x, y, 1, 1, 30, 30, 4):
        return CLEAR
    if not inside_rounded(x, y, 2, 2, 29, 29, 3):
        return BLACK
    if inside_rounded(x, y, 5, 4, 26, 23, 3):  # the top face
        if arrow(x, y):
            return NAVY if x > 15 else BLUE
        if y == 4 or x == 5:
            return WHITE
        return SILVER
    if y >= 24 or x >= 27:  # the key's sides in shadow
        return BLACK if (x == 3 and y >= 26) else GRAY
    return SILVER if y < 24 else GRAY


def main():
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    # A small red mark in the corner of the face: the "changed" key.
    rows[20][23] = rows[20][24] = rows[21][23] = rows[21][24] = RED

    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0,
                         0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0)
                       for (r, g, b) in PALETTE)
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        row = rows[y]
        for x in range(0, SIZE, 2):
            hi, lo = row[x] or 0, row[x + 1] or 0
            colour.append(hi << 4 | lo)
        bits = 0
        for x in range(SIZE):
            bits = bits << 1 | (row[x] is CLEAR)
        mask += struct.pack('>I', bits)  # 32 pixels: one 4-byte row
    image = header + palette + bytes(colour) + bytes(mask)

    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image),
                        6 + 16)
    with open(sys.argv[1], 'wb') as out:
        out.write(directory + entry + image)


if __name__ == '__main__':
    main()
