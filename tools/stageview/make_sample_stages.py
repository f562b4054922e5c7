#!/usr/bin/env python3
"""Writes the sample stages that stageview and the demo use.

Every bitmap is computed here from a few formulas, deterministically, so
the project ships no image made elsewhere. Magenta (255, 0, 255) is the
colour key: stageview leaves those pixels to the layers behind.

Layer 1 is the farthest and layer 3 the nearest (narrowest to widest), so
a host that paints in call order and one that paints by depth agree.

  OUTPUT/layered/back1.bmp   800 x 480, 24-bit: sky, sun, far hills
  OUTPUT/layered/back2.bmp   960 x 400,  8-bit: mountains, a yellow post
  OUTPUT/layered/back3.bmp  1280 x 240, 32-bit: near ground, trees, a red post
  OUTPUT/classic/back1.bmp   800 x 480, 24-bit: sky  (the guide's
  OUTPUT/classic/back2.bmp  1024 x 400, 24-bit: mountains   recommended
  OUTPUT/classic/back3.bmp  1152 x 320, 24-bit: ground      sizes)
  OUTPUT/single/back1.bmp   1280 x 480, 24-bit: a brick wall under a sky

Usage: make_sample_stages.py OUTPUT
"""
import math
import os
import struct
import sys

KEY = (255, 0, 255)
RED_POST = (255, 0, 0)
YELLOW_POST = (255, 255, 0)


def write_bmp(path, width, height, bits, pixel, palette=None):
    """pixel(x, y) gives (r, g, b), or a palette index for 8 bits; y = 0 is
    the top row. Rows are stored bottom-up, padded to 4 bytes."""
    stride = (width * bits // 8 + 3) & ~3
    rows = []
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            value = pixel(x, y)
            if bits == 8:
                row.append(value)
            elif bits == 24:
                row += bytes((value[2], value[1], value[0]))
            else:
                row += bytes((value[2], value[1], value[0], 0))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    colours = b''.join(struct.pack('BBBB', b, g, r, 0)
                       for (r, g, b) in (palette or []))
    offset = 14 + 40 + len(colours)
    image = b''.join(rows)
    header = struct.pack('<2sIHHI', b'BM', offset + len(image), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0,
                       len(image), 2835, 2835, len(palette or []), 0)
    with open(path, 'wb') as out:
        out.write(header + info + colours + image)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def far_layer(x, y):
    """Sky, sun and far hills, for layer 1 at 800 x 480: of its rows only
    the top third or so shows above the nearer layers."""
    hills = 150 + 14 * math.sin(x / 60.0) + 8 * math.sin(x / 17.0 + 2)
    if y >= hills:
        return (90, 80, 140)
    if (x - 560) ** 2 + (y - 45) ** 2 <= 30 ** 2:
        return (250, 220, 80)
    return mix((40, 60, 140), (150, 190, 230), y / 160.0)


MOUNTAIN_PALETTE = [KEY, (70, 110, 90), (235, 240, 245), YELLOW_POST]


def mid_layer(x, y):
    """Mountains for layer 2 at 960 x 400, magenta above the ridge."""
    ridge = 110 + 60 * math.sin(x / 70.0) + 30 * math.sin(x / 23.0 + 1)
    if 470 <= x < 490 and y >= 230:
        return 3
    if y < ridge:
        return 0
    if ridge < 90 and y < ridge + 25:
        return 2
    return 1


def near_layer(x, y):
    """Near ground for layer 3 at 1280 x 240: grass from row 70 or so,
    trees and a red post above it, magenta above them."""
    ground = 70 + 10 * math.sin(x / 90.0)
    if 630 <= x < 650 and 10 <= y < ground + 10:
        return RED_POST
    for centre in range(100, 1280, 200):
        if centre == 700:
            continue  # keep the post in the clear
        if 10 <= y < ground and abs(x - centre) <= (y - 10) * 0.4:
            return (20, 90, 30)
    if y < ground:
        return KEY
    if y < ground + 20:
        return (60, 160, 60)
    return (120, 80, 40)


def classic_sky(x, y):
    """back1, 800 x 480: the sky, a sun, clouds; from row 200 down hidden
    by the mountains and the ground at every framing."""
    if (x - 600) ** 2 + (y - 50) ** 2 <= 28 ** 2:
        return (255, 230, 120)
    cloud = math.sin(x / 45.0) + math.sin(x / 19.0 + y / 7.0) * 0.5
    if 70 <= y < 100 and cloud > 1.1:
        return (240, 244, 250)
    return mix((30, 70, 170), (180, 210, 240), min(y / 200.0, 1.0))


def classic_mountains(x, y):
    """back2, 1024 x 400: a ridge in the top quarter, magenta above it."""
    ridge = 70 + 45 * math.sin(x / 80.0) + 20 * math.sin(x / 27.0 + 1)
    if y < ridge:
        return KEY
    if y < ridge + 18 and ridge < 60:
        return (235, 240, 245)  # snow on the high peaks
    return mix((90, 120, 150), (60, 100, 70), min((y - ridge) / 120.0, 1.0))


def classic_ground(x, y):
    """back3, 1152 x 320: grass from row 40 or so, magenta above it."""
    grass = 40 + 8 * math.sin(x / 100.0)
    if y < grass:
        return KEY
    if y < grass + 16:
        return (70, 170, 60)
    stripe = (x // 64 + y // 32) % 2
    return (130, 90, 50) if stripe else (120, 82, 44)


def wall(x, y):
    if y < 120:
        return mix((70, 110, 190), (170, 200, 235), y / 120.0)
    row = (y - 120) // 30
    shift = 40 if row % 2 else 0
    if (y - 120) % 30 < 3 or (x + shift) % 80 < 3:
        return (200, 190, 170)  # mortar
    shade = ((x + shift) // 80 * 37 + row * 11) % 40
    return (150 + shade, 60 + shade // 2, 40)


def main():
    out = sys.argv[1]
    layered = os.path.join(out, 'layered')
    classic = os.path.join(out, 'classic')
    single = os.path.join(out, 'single')
    for folder in (layered, classic, single):
        os.makedirs(folder, exist_ok=True)
    write_bmp(os.path.join(layered, 'back1.bmp'), 800, 480, 24, far_layer)
    write_bmp(os.path.join(layered, 'back2.bmp'), 960, 400, 8, mid_layer,
              MOUNTAIN_PALETTE)
    write_bmp(os.path.join(layered, 'back3.bmp'), 1280, 240, 32, near_layer)
    write_bmp(os.path.join(classic, 'back1.bmp'), 800, 480, 24, classic_sky)
    write_bmp(os.path.join(classic, 'back2.bmp'), 1024, 400, 24,
              classic_mountains)
    write_bmp(os.path.join(classic, 'back3.bmp'), 1152, 320, 24,
              classic_ground)
    write_bmp(os.path.join(single, 'back1.bmp'), 1280, 480, 24, wall)


if __name__ == '__main__':
    main()
