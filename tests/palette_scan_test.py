"""Palettes found for a picture (--scan=palettes): ImageMagick's built-in pictures quantised to 16 and
4 colours, stored as tiles in a ROM of noise with their palettes as banks of a table elsewhere, among
decoys; the own palette must rank among the first. The tiles and palettes are made here."""
import os
import random
import struct
import subprocess

from PIL import Image

from harness import *  # noqa: F401,F403
import harness

PICTURES = [("rose:", 64, 48), ("logo:", 128, 96), ("wizard:", 64, 80), ("netscape:", 64, 64)]


def quantised(name, width, height, colours, folder):
    """(indices row by row, [(r, g, b)] of 5 bits each) of an ImageMagick picture."""
    path = os.path.join(folder, "q.png")
    subprocess.run([harness.IMAGEMAGICK, name, "-resize", "%dx%d!" % (width, height), "+dither", "-colors",
                    str(colours), "PNG8:" + path], check=True)
    with Image.open(path) as image:
        indices = list(image.getdata())
        palette = image.getpalette()[:3 * colours]
    palette += [0] * (3 * colours - len(palette))
    return indices, [tuple(palette[3 * i + c] >> 3 for c in range(3)) for i in range(colours)]


# Where each tiled layout keeps row r of plane p in a tile (planar), or how its rows pack (linear).
PLANES = {"t4p": lambda r, p: 16 * (p // 2) + 2 * r + p % 2, "t4b": lambda r, p: 4 * r + p,
          "t4s": lambda r, p: 8 * p + r, "t2p": lambda r, p: 2 * r + p, "t2s": lambda r, p: 8 * p + r}
BITS = {"t4p": 4, "t4b": 4, "t4s": 4, "t4": 4, "t4r": 4, "t2p": 2, "t2s": 2}


def tiles_of(indices, width, height, layout):
    """The picture as 8x8 tiles of `layout`, left to right, then down."""
    bits = BITS[layout]
    out = bytearray()
    for ty in range(height // 8):
        for tx in range(width // 8):
            tile = bytearray(8 * bits)
            for r in range(8):
                for x in range(8):
                    value = indices[(ty * 8 + r) * width + tx * 8 + x]
                    if layout in PLANES:
                        for p in range(bits):
                            tile[PLANES[layout](r, p)] |= ((value >> p) & 1) << (7 - x)
                    else:  # t4 rows as i4, the leftmost pixel high; t4r low
                        high = (x % 2 == 0) == (layout == "t4")
                        tile[4 * r + x // 2] |= value << (4 if high else 0)
            out += tile
    return bytes(out)


def bgr555(colours):
    return b"".join(struct.pack("<H", r | g << 5 | b << 10) for r, g, b in colours)


def build_rom(folder, pictures, bits, seed, noise=4 << 20, layout=None):
    """A ROM of `noise` bytes (4 MiB): noise, decoys, each picture's tiles, and a table of eight
    palettes holding the pictures' own as banks 2 and 5 (the others random).
    (rom, [(tiles at, width, height, own at)])."""
    rng = random.Random(seed)
    rom = bytearray(random_bytes(4 << 20, seed=seed))
    rom[:4 << 20] = bytes(4 << 20) if noise == 0 else rom[:4 << 20]
    if noise < (4 << 20):
        rom[noise:] = bytes((4 << 20) - noise)
    rom[0x100000:0x110000] = bytes(0x10000)                            # zeros
    rom[0x120000:0x130000] = bytes(i & 0xFF for i in range(0x10000))   # a byte gradient
    text = b"PRESS START TO BEGIN THE QUEST. " * 2048
    rom[0x140000:0x140000 + len(text)] = text                          # repeated text
    colours = 1 << bits
    table = 0x300000
    placed = []
    for number, (name, width, height) in enumerate(pictures):
        indices, palette = quantised(name, width, height, colours, folder)
        at = 0x200000 + number * 0x20000
        tiles = tiles_of(indices, width, height, layout or {4: "t4p", 2: "t2p"}[bits])
        rom[at:at + len(tiles)] = tiles
        bank = (2, 5)[number % 2]
        own = table + (number // 2) * 0x1000 + bank * colours * 2
        rom[own:own + colours * 2] = bgr555(palette)
        placed.append((at, width, height, own, palette))
    for t in range(0, len(pictures), 2):
        for bank in range(8):
            spot = table + (t // 2) * 0x1000 + bank * colours * 2
            if all(own != spot for _, _, _, own, _ in placed):
                rom[spot:spot + colours * 2] = bgr555([(rng.randrange(32), rng.randrange(32), rng.randrange(32))
                                                       for _ in range(colours)])
    return rom, placed


@harness.needs(os.path.exists(harness.IMAGEMAGICK), "ImageMagick is")
class ScanPalettes(ToolTestCase):
    def ranks(self, bits, fmt, seed, noise=4 << 20, pictures=PICTURES):
        rom, placed = build_rom(self.dir, pictures, bits, seed, noise, layout=fmt)
        write_file(self.path("rom.bin"), rom)
        found = []
        for at, width, height, own, palette in placed:
            out, err, status = run_with_arguments(["--scan=palettes", "--format=" + fmt, "rom.bin", "out/", width, height,
                                                   1, at], self.dir, timeout=120)
            self.assertEqual((err, status), ("", 0))
            lines = out.splitlines()
            self.assertLessEqual(len(lines), 20)
            offsets = [int(line.split()[0], 16) for line in lines]
            for line in lines:
                self.assertRegex(line, r"^0x[0-9A-F]{8} palette %d colours bgr555le \d+\.\d{4} velloran --format=%s "
                                       r"--palette=0x[0-9A-F]+ rom\.bin out/ %d %d 1 0x%08X$" % (1 << bits, fmt, width, height, at))
            found.append(offsets.index(own) + 1 if own in offsets else None)
            # None of them lies inside the picture's own bytes.
            picture_bytes = width * height * bits // 8
            self.assertFalse(any(at - 2 * (1 << bits) < o < at + picture_bytes for o in offsets))
        return found

    def test_16_colour_pictures_find_their_own_palette(self):
        ranks = self.ranks(4, "t4p", 60)
        print("16 colours, t4p: ranks", ranks)
        self.assertTrue(all(rank is not None and rank <= 5 for rank in ranks), ranks)

    def test_4_colour_pictures_find_their_own_palette(self):
        # Four colours tell little apart: 4 MiB of noise holds 131,000 runs of four clean words, and
        # some of them make any picture as natural. Here the ROM holds no noise: the decoys, the
        # other pictures' tiles and the tables are what the own palette must beat. Measured: ranks
        # 4, 3 and 1, and the smallest picture (64x48) not among the first 20.
        ranks = self.ranks(2, "t2p", 61, noise=0)
        print("4 colours, t2p: ranks", ranks)
        self.assertGreaterEqual(sum(1 for rank in ranks if rank is not None and rank <= 10), 3, ranks)

    def test_every_tiled_layout_finds_the_palette(self):
        for fmt in ("t4b", "t4s", "t4", "t4r", "t2s"):
            with self.subTest(format=fmt):
                bits = BITS[fmt]
                ranks = self.ranks(bits, fmt, 63, noise=4 << 20 if bits == 4 else 0, pictures=PICTURES[1:3])
                print(fmt, "ranks", ranks)
                self.assertTrue(all(rank is not None and rank <= (5 if bits == 4 else 20) for rank in ranks), ranks)

    def test_the_dump_the_line_gives_has_the_pictures_colours(self):
        rom, placed = build_rom(self.dir, PICTURES[:1], 4, 62)
        write_file(self.path("rom.bin"), rom)
        at, width, height, own, palette = placed[0]
        out, _, _ = run_with_arguments(["--scan=palettes", "--format=t4p", "rom.bin", "out/", width, height, 1, at], self.dir)
        line = next(line for line in out.splitlines() if int(line.split()[0], 16) == own)
        command = line.split(" ", 6)[6].split()
        _, err, status = run_with_arguments(command[1:], self.dir)
        self.assertEqual((err, status), ("", 0))
        with Image.open(self.path("out", "snap0000.bmp")) as bmp:
            shown = bmp.getpalette()[:48]
        self.assertEqual(shown, [harness.widen(c) for colour in palette for c in colour])

    def test_usage(self):
        write_file(self.path("rom.bin"), bytes(4096))
        out, err, status = run_with_arguments(["--scan=palettes", "rom.bin", "out/", 8, 8, 1, 0], self.dir)
        self.assertEqual((out, status), ("", 2))
        self.assertIn("--scan=palettes: the picture's format has no palette", err)
        self.check_usage_errors([(["--scan=palettes", "--format=t4p", "rom.bin"],
                                  "velloran: --scan=palettes takes the six answers of the picture: "
                                  "ROM PREFIX WIDTH HEIGHT COUNT START")])


if __name__ == "__main__":
    main()
