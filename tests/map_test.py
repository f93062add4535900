"""Pictures drawn from tilemaps (--map): random tiles, palettes and maps with every flip and bank,
the pictures against a renderer written here from the entry layouts, the flips also against
ImageMagick's own; compressed maps; maps in 32x32 blocks; bad maps refused before any file."""
import os
import random
import struct
import subprocess

from PIL import Image

from harness import *  # noqa: F401,F403
import harness
from png_test import texts
import streams

TILES_AT, PALETTE_AT, MAP_AT = 0x1000, 0x100, 0x20000
# Each layout as the tests read it: word bytes, big-endian, and each field's (lowest bit, bits).
LAYOUTS = {
    "map16": (2, False, {"p": (12, 4), "v": (11, 1), "h": (10, 1), "t": (0, 10)}),
    "map16s": (2, False, {"v": (15, 1), "h": (14, 1), "p": (10, 3), "t": (0, 10)}),
    "map16be": (2, True, {"p": (13, 2), "v": (12, 1), "h": (11, 1), "t": (0, 11)}),
    "map8": (1, False, {"t": (0, 8)}),
    "le16:h15,v14,p8-11,t0-7": (2, False, {"h": (15, 1), "v": (14, 1), "p": (8, 4), "t": (0, 8)}),
}


def tile_indices(fmt, data):
    """The 8x8 indices of one tile, row by row, as the tile layouts say."""
    rows = []
    for r in range(8):
        if fmt == "t4p":  # planes 0-1 then 2-3, two bytes a row each
            planes = [data[16 * (p // 2) + 2 * r + p % 2] for p in range(4)]
            rows.append([sum(((planes[p] >> (7 - x)) & 1) << p for p in range(4)) for x in range(8)])
        elif fmt == "t4":  # rows of i4, the leftmost pixel in the high nibble
            row = data[4 * r:4 * r + 4]
            rows.append([(row[x // 2] >> (4 if x % 2 == 0 else 0)) & 15 for x in range(8)])
        elif fmt == "t8":
            rows.append(list(data[8 * r:8 * r + 8]))
    return rows


TILE_BYTES = {"t4p": 32, "t4": 32, "t8": 64}
BITS = {"t4p": 4, "t4": 4, "t8": 8}


def entry_of(layout, raw):
    size, big, fields = LAYOUTS[layout]
    word = int.from_bytes(raw, "big" if big else "little")
    value = {name: (word >> low) & ((1 << bits) - 1) for name, (low, bits) in fields.items()}
    return value.get("t", 0), value.get("h", 0), value.get("v", 0), value.get("p", 0)


def render(rom, fmt, layout, map_bytes, columns, rows, blocks=False):
    """The picture's palette indices, row by row."""
    size = LAYOUTS[layout][0]
    bits = BITS[fmt]
    out = [[0] * (columns * 8) for _ in range(rows * 8)]
    for y in range(rows):
        for x in range(columns):
            if blocks:
                index = ((y // 32) * ((columns + 31) // 32) + x // 32) * 1024 + (y % 32) * 32 + x % 32
            else:
                index = y * columns + x
            tile, h, v, bank = entry_of(layout, map_bytes[index * size:(index + 1) * size])
            at = TILES_AT + tile * TILE_BYTES[fmt]
            pixels = tile_indices(fmt, rom[at:at + TILE_BYTES[fmt]]) if at < len(rom) else [[0] * 8] * 8
            for r in range(8):
                for c in range(8):
                    colour = pixels[7 - r if v else r][7 - c if h else c]
                    if bits < 8 and at < len(rom):
                        colour += bank * (1 << bits) if "p" in LAYOUTS[layout][2] else 0
                    out[y * 8 + r][x * 8 + c] = colour
    return out


def random_map(rng, layout, entries, tiles):
    size, big, fields = LAYOUTS[layout]
    out = bytearray()
    for _ in range(entries):
        word = 0
        for name, (low, bits) in fields.items():
            value = rng.randrange(tiles) if name == "t" else rng.randrange(1 << bits)
            word |= value << low
        word |= rng.randrange(1 << (8 * size)) & ~sum(((1 << b) - 1) << l for l, b in fields.values())
        out += word.to_bytes(size, "big" if big else "little")
    return bytes(out)


class Maps(ToolTestCase):
    def make_rom(self, seed, tiles=64):
        rom = bytearray(random_bytes(0x30000, seed=seed))
        for i in range(256):  # a palette of 256 colours, the top bits clear
            rom[PALETTE_AT + 2 * i:PALETTE_AT + 2 * i + 2] = struct.pack("<H", random.Random(seed + i).randrange(0x8000))
        return rom

    def indices_of(self, path):
        with Image.open(path) as image:
            self.assertEqual(image.mode, "P")
            width, height = image.size
            data = list(image.getdata())
            palette = image.getpalette()[:768]
        return [data[y * width:(y + 1) * width] for y in range(height)], palette

    def dump(self, args, folder="out"):
        out, err, status = run_with_arguments(args, self.dir)
        self.assertEqual((err, status), ("", 0), out)
        return sorted(os.listdir(self.path(folder)))

    def test_pictures_equal_the_tests_renderer(self):
        rng = random.Random(30)
        cases = [(fmt, layout, compressed, png) for fmt in ("t4p", "t4", "t8") for layout in LAYOUTS
                 for compressed in (False, True) for png in (False, True)]
        for number, (fmt, layout, compressed, png) in enumerate(cases):
            with self.subTest(format=fmt, layout=layout, compressed=compressed, png=png):
                columns, rows, count = 5, 3, 2
                rom = self.make_rom(number)
                maps = random_map(rng, layout, columns * rows * count, 64)
                stored = streams.lz77(maps) if compressed else maps
                rom[MAP_AT:MAP_AT + len(stored)] = stored
                write_file(self.path("rom.bin"), rom)
                folder = "p%d" % number
                os.mkdir(self.path(folder))
                args = ["--format=" + fmt, "--palette=0x%X" % PALETTE_AT, "--map=0x%X" % MAP_AT, "--map-format=" + layout]
                args += (["--map-compression=lz77"] if compressed else []) + (["--png"] if png else [])
                names = self.dump(args + ["rom.bin", folder + "/", columns * 8, rows * 8, count, TILES_AT], folder)
                self.assertEqual(len(names), count)
                entry_bytes = columns * rows * LAYOUTS[layout][0]
                banked = "p" in LAYOUTS[layout][2] and BITS[fmt] < 8
                for picture, name in enumerate(names):
                    shown, palette = self.indices_of(self.path(folder, name))
                    expected = render(rom, fmt, layout, maps[picture * entry_bytes:], columns, rows)
                    self.assertEqual(shown, expected, name)
                    # The palette: all 256 colours where banks need them, else the tiles' 16 (or 256).
                    colours = 256 if banked or BITS[fmt] == 8 else 16
                    for i in range(colours):
                        word = struct.unpack_from("<H", rom, PALETTE_AT + 2 * i)[0]
                        self.assertEqual(palette[3 * i:3 * i + 3],
                                         [harness.widen(word & 31), harness.widen((word >> 5) & 31),
                                          harness.widen((word >> 10) & 31)])
                    if png:
                        origin = texts(read_file(self.path(folder, name)))
                        self.assertEqual(origin["Offset"], "0x%08X" % TILES_AT)
                        self.assertEqual(origin["Map format"], layout)
                        self.assertTrue(origin["Map"].startswith("0x%08X" % (MAP_AT + (0 if compressed else picture * entry_bytes))))

    @harness.needs(os.path.exists(harness.IMAGEMAGICK), "ImageMagick is")
    def test_flips_are_imagemagicks(self):
        rom = self.make_rom(40)
        flips = {0: None, 1 << 10: "-flop", 1 << 11: "-flip", 3 << 10: ["-rotate", "180"]}
        for bits, operation in flips.items():
            rom[MAP_AT:MAP_AT + 2] = struct.pack("<H", bits | 7)
            write_file(self.path("rom.bin"), rom)
            folder = "f%d" % bits
            os.mkdir(self.path(folder))
            self.dump(["--format=t4p", "--palette=0x%X" % PALETTE_AT, "--map=0x%X" % MAP_AT, "rom.bin", folder + "/",
                       8, 8, 1, TILES_AT], folder)
        for bits, operation in flips.items():
            if operation is None:
                continue
            with self.subTest(operation=operation):
                args = operation if isinstance(operation, list) else [operation]
                subprocess.run([harness.IMAGEMAGICK, self.path("f0", "snap0000.bmp")] + args +
                               ["-type", "TrueColor", self.path("magick.png")], check=True)
                with Image.open(self.path("magick.png")) as made, Image.open(self.path("f%d" % bits, "snap0000.bmp")) as ours:
                    self.assertEqual(list(made.convert("RGB").getdata()), list(ours.convert("RGB").getdata()))

    def test_maps_in_blocks_of_32(self):
        rng = random.Random(31)
        rom = self.make_rom(41)
        columns, rows = 64, 40  # two blocks across, two down
        maps = random_map(rng, "map16", 4 * 1024, 64)
        rom[MAP_AT:MAP_AT + len(maps)] = maps
        write_file(self.path("rom.bin"), rom)
        self.dump(["--format=t4p", "--palette=0x%X" % PALETTE_AT, "--map=0x%X" % MAP_AT, "--map-order=blocks",
                   "rom.bin", "out/", columns * 8, rows * 8, 1, TILES_AT])
        shown, _ = self.indices_of(self.path("out", "snap0000.bmp"))
        self.assertEqual(shown, render(rom, "t4p", "map16", maps, columns, rows, blocks=True))

    def test_a_map_in_a_file_and_a_tile_past_the_rom(self):
        rom = self.make_rom(42)[:TILES_AT + 32 * 10]  # ten tiles, then the ROM ends
        write_file(self.path("rom.bin"), rom)
        maps = b"".join(struct.pack("<H", tile) for tile in (3, 9, 10, 500))
        write_file(self.path("screen.map"), b"junk" + maps)
        out, err, status = run_with_arguments(
            ["--format=t4p", "--map=screen.map@4", "--map-format=le16:t0-9", "rom.bin", "out/", 32, 8, 1, TILES_AT],
            self.dir)
        self.assertEqual(status, 0)
        self.assertEqual(err, "velloran: --map: an entry names a tile past the ROM's end; it is drawn in colour 0\n")
        shown, _ = self.indices_of(self.path("out", "snap0000.bmp"))
        self.assertEqual(shown, render(rom, "t4p", "le16:h15,v14,p8-11,t0-7", b"".join(
            struct.pack("<H", t) for t in (3, 9, 10, 250)), 4, 1))

    def test_bad_maps_are_refused_before_any_file(self):
        rom = self.make_rom(43)
        write_file(self.path("rom.bin"), rom)
        end = len(rom)
        self.check_usage_errors([
            (["--map=0x100", "rom.bin", "out/", 8, 8, 1, 0], "velloran: --map: a map arranges tiles (t1 ... t8), not bgr555le"),
            (["--format=t4p", "--map=0", "--map-format=map32", "rom.bin"],
             "velloran: --map-format: unknown map layout 'map32'; the layouts are map16, map16s, map16be, map8, or a "
             "word (u8, le16, be16), ':' and the fields, as le16:p12-15,v11,h10,t0-9"),
            (["--format=t4p", "--map=0", "--map-format=u8:t0-8", "rom.bin"],
             "velloran: --map-format: the field 't0-8' is past the 8-bit word"),
            (["--format=t4p", "--map=0", "--map-format=le16:h10,v11", "rom.bin"],
             "velloran: --map-format: the layout has no tile field (t)"),
            (["--format=t4p", "--map=0", "--map-format=le16:t0-9,h9", "rom.bin"],
             "velloran: --map-format: the field 'h9' takes bits another field takes"),
            (["--format=t4p", "--map=0", "--map-format=le16:t", "rom.bin"],
             "velloran: --map-format: 't' is not a field: a letter (t, h, v, p or o) and its bits, as t0-9 or h10"),
            (["--format=t4p", "--map=0", "--map-format=le16:t0-9,q10", "rom.bin"],
             "velloran: --map-format: 'q10': a field is t (tile), h, v (flips), p (palette bank) or o (ignored)"),
            (["--format=t4p", "--map=0", "--map-format=le16:t0-7,t8-9", "rom.bin"],
             "velloran: --map-format: the field 't' is given twice"),
            (["--format=t4p", "--map=0", "--map-format=le16:t0-9,h10-11", "rom.bin"],
             "velloran: --map-format: the flip 'h10-11' is one bit"),
            (["--format=t4p", "--map-format=map8", "rom.bin"],
             "velloran: --map-format, --map-compression and --map-order are for --map"),
            (["--format=t4p", "--map=0", "--map-order=columns", "rom.bin"],
             "velloran: --map-order 'columns': ORDER must be rows or blocks."),
        ])
        # A stream of 4 bytes, 8 literals' flags and the first 4 (lz77).
        write_file(self.path("stream.bin"), b"\x10\x04\x00\x00\x00\x01\x02\x03\x04")
        for args, problem in [
            (["--map=0x%X" % end], "velloran: --map 0x%X: 0x%08X is past the ROM's end (%d bytes)\n" % (end, end, end)),
            (["--map=0x%X" % (end - 10)],
             "velloran: --map 0x%X: the map's 32 bytes end past the ROM's end (%d bytes)\n" % (end - 10, end)),
            (["--map=0x%X" % MAP_AT, "--map-compression=lz11"],
             "velloran: --map-compression: the stream at 0x%08X: its header's type byte 0x%02X is not that of lz11\n"
             % (MAP_AT, rom[MAP_AT])),
            (["--map=0", "--map-format=le16:p8-15,t0-7"],
             "velloran: --map-format: 8 bits of bank with 4-bit tiles make more than 256 colours\n"),
            (["--map=0", "rom.bin", "out/", 32, 32, 262145, 0],
             "velloran: --map: 262145 pictures of 32x32 take more than 256 MiB; ask for fewer at a time\n"),
            (["--map=stream.bin", "--map-compression=lz77"],
             "velloran: --map-compression: the decoded map holds 4 bytes; the pictures need 32\n"),
            (["--map=missing.map"], "velloran: --map missing.map: %s\n"
             % ("File not found" if harness.ON_WINDOWS else "No such file or directory")),
        ]:
            with self.subTest(args=args):
                answers = [] if "rom.bin" in args else ["rom.bin", "out/", 32, 32, 1, 0]
                out, err, status = run_with_arguments(["--format=t4p"] + args + answers, self.dir)
                self.assertEqual((out, err, status), ("", problem, 2))
                self.assertEqual(self.snapshots(), [])

    def test_the_list_names_the_map_layouts(self):
        out, _, status = run_with_arguments(["--list-formats"], self.dir)
        self.assertEqual(status, 0)
        for layout in ("map16", "map16s", "map16be", "map8"):
            self.assertRegex(out, r"\n%s +(8|16) +map " % layout)


if __name__ == "__main__":
    main()
