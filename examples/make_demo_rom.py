#!/usr/bin/env python3
"""Writes demo.rom: a 525-byte (0x20D) header, then four 64x32 images of raw
16-bit pixels (bits 0-4 red, 5-9 green, 10-14 blue, bit 15 a top bit):

  0  colour bars: white, yellow, cyan, green, magenta, red, blue, black
  1  ramps through all 32 levels of red, green and blue, then grey
  2  a red "F" on blue with a green dot at the top left: shows which way is up
  3  a green field whose right half has bit 15 set: BMP readers show it unchanged

Usage: make_demo_rom.py [OUTPUT], by default demo.rom next to this script.
Only the standard library.
"""
import os
import struct
import sys

WIDTH, HEIGHT = 64, 32
HEADER_BYTES = 0x20D


def word(red, green, blue, top=0):
    return red | green << 5 | blue << 10 | top << 15


def colour_bars(x, y):
    bars = [(31, 31, 31), (31, 31, 0), (0, 31, 31), (0, 31, 0),
            (31, 0, 31), (31, 0, 0), (0, 0, 31), (0, 0, 0)]
    return word(*bars[x // 8])


def ramps(x, y):
    level = x // 2
    band = y // 8
    return word(*[(level, 0, 0), (0, level, 0), (0, 0, level), (level, level, level)][band])


F_SHAPE = [
    "..........................",
    ".##########...............",
    ".##########...............",
    ".##.......................",
    ".##.......................",
    ".#######..................",
    ".#######..................",
    ".##.......................",
    ".##.......................",
    ".##.......................",
]


def f_shape(x, y):
    if x < 4 and y < 4:
        return word(0, 31, 0)
    sx, sy = (x - 16) // 2, (y - 6) // 2
    if 0 <= sy < len(F_SHAPE) and 0 <= sx < len(F_SHAPE[sy]) and F_SHAPE[sy][sx] == "#":
        return word(31, 0, 0)
    return word(0, 0, 20)


def top_bit(x, y):
    return word(4, 24, 8, top=1 if x >= WIDTH // 2 else 0)


def image(pixel):
    return b"".join(struct.pack("<H", pixel(x, y)) for y in range(HEIGHT) for x in range(WIDTH))


def main():
    header = bytes((i * 7 + 3) & 0xFF for i in range(HEADER_BYTES))
    data = header + b"".join(image(p) for p in (colour_bars, ramps, f_shape, top_bit))
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "demo.rom")
    if len(sys.argv) > 1 and sys.argv[1] in ("-h", "--help"):
        print(__doc__.strip())
        return
    if len(sys.argv) > 2 or (len(sys.argv) > 1 and sys.argv[1].startswith("-")):
        sys.exit("usage: make_demo_rom.py [OUTPUT] (a name that begins with - goes as ./-name)")
    path = sys.argv[1] if len(sys.argv) > 1 else default
    with open(path, "wb") as rom:
        rom.write(data)
    print("wrote %s: %d bytes, images of %dx%d from offset %d" % (path, len(data), WIDTH, HEIGHT, HEADER_BYTES))


if __name__ == "__main__":
    main()
