"""Indexed formats, tiles and palettes. The reference decoder below is written from the layout
table alone (plane 0 the lowest bit, a byte's bit 7 the leftmost pixel); the files are read back
by Pillow and ImageMagick, and pngcheck checks the PNGs. Also the palette sources (a ROM offset,
raw, JASC, RIFF and GIMP files, banks), what is refused, and tiles in the dialogue."""
import os
import shutil
import struct
import subprocess
import unittest

from harness import *  # noqa: F401,F403
import harness

IMAGEMAGICK = harness.IMAGEMAGICK
PNGCHECK = harness.PNGCHECK


def planar(offset):
    return {"planar": offset}


def chunky(reversed_bits=False):
    return {"chunky": reversed_bits}


# name: (bits, packing); planar tiles give the byte of plane p, row r within a tile.
LAYOUTS = {
    "i1": (1, "linear"), "i2": (2, "linear"), "i4": (4, "linear"), "i8": (8, "linear"),
    "i1r": (1, "reversed"), "i2r": (2, "reversed"), "i4r": (4, "reversed"),
    "t1": (1, planar(lambda p, r: r)),
    "t2p": (2, planar(lambda p, r: 2 * r + p)),
    "t2s": (2, planar(lambda p, r: 8 * p + r)),
    "t4p": (4, planar(lambda p, r: 16 * (p // 2) + 2 * r + p % 2)),
    "t4b": (4, planar(lambda p, r: 4 * r + p)),
    "t4s": (4, planar(lambda p, r: 8 * p + r)),
    "t8p": (8, planar(lambda p, r: 16 * (p // 2) + 2 * r + p % 2)),
    "t4": (4, chunky()), "t4r": (4, chunky(True)), "t8": (8, chunky()),
}
TILED = [name for name, (_, packing) in LAYOUTS.items() if isinstance(packing, dict)]
# Under Wine every run costs a second: one of each packing there.
ON_WINDOWS_ONLY = ["i2", "i4r", "t2p", "t4", "t8p"]


def names_to_run():
    return [name for name in LAYOUTS if not harness.ON_WINDOWS or name in ON_WINDOWS_ONLY]


def linear_index(data, start, x, bits, reversed_bits):
    position = x * bits
    byte = data[start + position // 8]
    shift = position % 8 if reversed_bits else 8 - bits - position % 8
    return byte >> shift & ((1 << bits) - 1)


def reference_indices(name, raw, width, height):
    """The indices, top row first, from the table alone."""
    bits, packing = LAYOUTS[name]
    if not isinstance(packing, dict):
        row_bytes = (width * bits + 7) // 8
        return [linear_index(raw, y * row_bytes, x, bits, packing == "reversed")
                for y in range(height) for x in range(width)]
    tile_bytes = 8 * bits
    indices = []
    for y in range(height):
        for x in range(width):
            tile = (y // 8) * (width // 8) + x // 8
            row, column = y % 8, x % 8
            if "planar" in packing:
                offset = packing["planar"]
                indices.append(sum((raw[tile * tile_bytes + offset(p, row)] >> (7 - column) & 1) << p
                                   for p in range(bits)))
            else:
                indices.append(linear_index(raw, tile * tile_bytes + row * bits, column, bits, packing["chunky"]))
    return indices


def image_bytes(name, width, height):
    bits, packing = LAYOUTS[name]
    if isinstance(packing, dict):
        return width * height * bits // 8
    return (width * bits + 7) // 8 * height


widen5 = harness.widen


def bgr555le_colours(data):
    words = struct.unpack_from("<%dH" % (len(data) // 2), data)
    return [(widen5(w & 31), widen5(w >> 5 & 31), widen5(w >> 10 & 31)) for w in words]


def grey_ramp(bits):
    count = 1 << bits
    return [(i * 255 // (count - 1),) * 3 for i in range(count)]


def pillow_indices_and_palette(path):
    """Indices and palette as Pillow reads the file: mode P, or 1 or L for a grey table."""
    from PIL import Image
    with Image.open(path) as image:
        image.load()
        values = list(image.getdata())
        if image.mode == "P":
            flat = image.getpalette()
            return values, [tuple(flat[i:i + 3]) for i in range(0, len(flat), 3)], image.size
        if image.mode == "1":
            return [v // 255 for v in values], [(0, 0, 0), (255, 255, 255)], image.size
        if image.mode == "L":
            return values, None, image.size
        raise AssertionError("mode " + image.mode)


def jasc(colours):
    lines = ["JASC-PAL", "0100", str(len(colours))] + ["%d %d %d" % c for c in colours]
    return ("\r\n".join(lines) + "\r\n").encode()


def gimp(colours):
    lines = ["GIMP Palette", "Name: test", "Columns: 16", "# a comment", ""]
    return ("\n".join(lines + ["%3d %3d %3d\tcolour %d" % (c + (i,)) for i, c in enumerate(colours)]) + "\n").encode()


def riff(colours):
    entries = b"".join(bytes([r, g, b, 0]) for r, g, b in colours)
    data = struct.pack("<HH", 0x300, len(colours)) + entries
    body = b"PAL " + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


class Indexed(ToolTestCase):
    START = 3

    def dump(self, args, expect_status=0):
        out, err, status = run_with_arguments(args, self.dir)
        self.assertEqual(status, expect_status, err)
        return out, err

    def clear(self):
        for old in self.snapshots():
            os.remove(self.path("out", old))

    def check_file(self, path, name, raw, width, height, palette, png=False):
        indices, colours, size = pillow_indices_and_palette(path)
        self.assertEqual(size, (width, height))
        self.assertEqual(indices, reference_indices(name, raw, width, height), path)
        bits = LAYOUTS[name][0]
        if colours is None:  # Pillow took the table as a grey ramp
            self.assertEqual(palette, grey_ramp(bits) if bits == 8 else palette)
        else:
            self.assertEqual(colours[:len(palette)], palette, path)
        data = read_file(path)
        if not png:
            file_bits = {1: 1, 2: 4, 4: 4, 8: 8}[bits]
            self.assertEqual(struct.unpack_from("<H", data, 28)[0], file_bits)  # biBitCount
            self.assertEqual(struct.unpack_from("<I", data, 30)[0], 0)          # BI_RGB
            self.assertEqual(struct.unpack_from("<I", data, 46)[0], 1 << bits)  # biClrUsed
            self.assertEqual(struct.unpack_from("<I", data, 10)[0], 54 + 4 * (1 << bits))
            table = [tuple(data[54 + 4 * i:54 + 4 * i + 3][::-1]) for i in range(1 << bits)]
            self.assertEqual(table, palette)

    def test_every_format_with_a_palette_from_the_rom(self):
        for name in names_to_run():
            bits = LAYOUTS[name][0]
            sizes = [(8, 8), (24, 16)] if name in TILED else [(1, 3), (5, 2), (13, 3)]
            for width, height in sizes:
                with self.subTest(format=name, width=width, height=height):
                    self.clear()
                    size = image_bytes(name, width, height)
                    palette_at = self.START + 2 * size
                    rom = random_bytes(palette_at + 2 * (1 << bits), seed=hash((name, width)) & 0xFFFF)
                    write_file(self.path("rom.bin"), rom)
                    out, _ = self.dump(["--format=" + name, "--palette=%d" % palette_at, "rom.bin", "out/",
                                        width, height, 2, self.START])
                    self.assertTrue(out.endswith(final_position(self.START + 2 * size)), out)
                    palette = bgr555le_colours(rom[palette_at:palette_at + 2 * (1 << bits)])
                    for index in range(2):
                        raw = rom[self.START + index * size:self.START + (index + 1) * size]
                        self.check_file(self.path("out", "snap%04d.bmp" % index), name, raw, width, height, palette)

    def test_the_grey_ramp_is_the_palette_without_one(self):
        for name in ["i1", "t2p", "i4", "i8"]:
            bits = LAYOUTS[name][0]
            with self.subTest(format=name):
                self.clear()
                rom = random_bytes(64, seed=bits)
                write_file(self.path("rom.bin"), rom)
                self.dump(["--format=" + name, "rom.bin", "out/", 8, 8, 1, 0])
                self.check_file(self.path("out", "snap0000.bmp"), name, rom, 8, 8, grey_ramp(bits))

    @unittest.skipIf(harness.ON_WINDOWS, "pngcheck and ImageMagick run here only")
    def test_png_holds_the_same_indices_and_palette_as_the_bmp(self):
        for name in names_to_run():
            bits = LAYOUTS[name][0]
            with self.subTest(format=name):
                self.clear()
                rom = random_bytes(2048, seed=7 + bits)
                write_file(self.path("rom.bin"), rom)
                # The PNG twice: the same run gives the same bytes.
                for extra in [[], ["--png"], ["--png"]]:
                    self.dump(extra + ["--format=" + name, "--palette=0x200", "--palette-bank=1", "rom.bin", "out/",
                                       16, 8, 1, 0])
                self.assertEqual(read_file(self.path("out", "snap0000.png")),
                                 read_file(self.path("out", "snap0001.png")))
                palette = bgr555le_colours(rom[0x200 + 2 * (1 << bits):0x200 + 4 * (1 << bits)])
                raw = rom[:image_bytes(name, 16, 8)]
                self.check_file(self.path("out", "snap0000.bmp"), name, raw, 16, 8, palette)
                self.check_file(self.path("out", "snap0000.png"), name, raw, 16, 8, palette, png=True)
                check = subprocess.run([PNGCHECK, "-v", self.path("out", "snap0000.png")],
                                       stdout=subprocess.PIPE, text=True)
                self.assertEqual(check.returncode, 0, check.stdout)
                self.assertIn("%d-bit palette" % bits, check.stdout)
                from PIL import Image
                with Image.open(self.path("out", "snap0000.png")) as png:
                    self.assertEqual(png.text["Palette"], "0x200")
                    self.assertEqual(png.text["Palette bank"], "1")
                    self.assertEqual(png.text["Format"], name)
                rgb = [subprocess.run([IMAGEMAGICK, self.path("out", "snap0000." + kind), "-depth", "8", "rgb:-"],
                                      stdout=subprocess.PIPE, check=True).stdout for kind in ["bmp", "png"]]
                self.assertEqual(rgb[0], rgb[1])

    def test_palette_files_of_every_kind(self):
        colours = [((i * 37) % 256, (i * 91) % 256, (255 - i * 13) % 256) for i in range(32)]
        rom = random_bytes(128, seed=11)
        write_file(self.path("rom.bin"), rom)
        raw_colours = b"\xAA" * 5 + b"".join(struct.pack("<H", (b >> 3) << 10 | (g >> 3) << 5 | r >> 3)
                                               for r, g, b in colours)
        bom = b"\xEF\xBB\xBF"  # as Windows editors save text
        files = {"p.pal": jasc(colours), "p.gpl": gimp(colours), "riff.pal": riff(colours), "p.bin": raw_colours,
                 "bom.pal": bom + jasc(colours), "bom.gpl": bom + gimp(colours)}
        for file_name, data in files.items():
            write_file(self.path(file_name), data)
        cases = [("p.pal", 0, colours[:16]), ("p.gpl", 1, colours[16:32]), ("riff.pal", 0, colours[:16]),
                 ("p.bin@5", 1, [(widen5(r >> 3), widen5(g >> 3), widen5(b >> 3)) for r, g, b in colours[16:32]]),
                 ("bom.pal", 1, colours[16:32]), ("bom.gpl", 0, colours[:16])]
        for source, bank, palette in cases:
            with self.subTest(source=source, bank=bank):
                self.clear()
                _, err = self.dump(["--format=t4b", "--palette=" + source, "--palette-bank=%d" % bank, "rom.bin",
                                    "out/", 8, 8, 1, 0])
                self.assertEqual(err, "")
                self.check_file(self.path("out", "snap0000.bmp"), "t4b", rom[:32], 8, 8, palette)

    def test_a_short_palette_is_filled_with_black_and_said_once(self):
        write_file(self.path("rom.bin"), random_bytes(70, seed=12))
        write_file(self.path("four.pal"), jasc([(1, 2, 3)] * 4))
        for source, found in [("four.pal", 4), ("40", 15)]:  # 15 whole colours from 40 to the end (70)
            with self.subTest(source=source):
                self.clear()
                _, err = self.dump(["--format=i4", "--palette=" + source, "rom.bin", "out/", 4, 2, 2, 0])
                self.assertEqual(err, "velloran: the palette has %d of the 16 colours the format needs; "
                                      "the rest are black\n" % found)
                _, colours, _ = pillow_indices_and_palette(self.path("out", "snap0000.bmp"))
                self.assertEqual(colours[found:16], [(0, 0, 0)] * (16 - found))

    def test_a_palette_that_cannot_be_used_stops_the_run_before_any_file(self):
        write_file(self.path("rom.bin"), random_bytes(256, seed=13))
        bad = {
            "cut.pal": b"JASC-PAL\r\n0100\r\n16\r\n0 0 0\r\n1 1 1\r\n",
            "many.pal": jasc([(0, 0, 0)] * 300),
            "word.pal": b"JASC-PAL\n0100\n2\n0 0 0\n12 green 3\n",
            "version.pal": b"JASC-PAL\n0200\n1\n0 0 0\n",
            "gimp.gpl": b"GIMP Palette\nName: x\n0 0 0\n256 0 0\n",
            "riff.pal": b"RIFF\x10\x00\x00\x00WAVEfmt \x00\x00\x00\x00",
            "riffcut.pal": riff([(1, 2, 3)] * 8)[:30],
            "bomcut.pal": b"\xEF\xBB\xBFJASC-PAL\r\n0100\r\n16\r\n0 0 0\r\n",
            "lower.pal": b"jasc-pal\n0100\n1\n0 0 0\n",
            "utf16.pal": "JASC-PAL\r\n0100\r\n1\r\n0 0 0\r\n".encode("utf-16"),
            "utf16.gpl": "GIMP Palette\n0 0 0\n".encode("utf-16-be"),
            "count.pal": b"JASC-PAL\n0100\nmany\n0 0 0\n",
            "five.pal": b"JASC-PAL\n0100\n1\n0 0 0 0 0\n",
            "two.pal": b"JASC-PAL\n0100\n1\n0 0\n",
            "more.gpl": b"GIMP Palette\n" + b"0 0 0\n" * 257,
            "none.gpl": b"GIMP Palette\nName: x\n",
            "nodata.pal": b"RIFF\x04\x00\x00\x00PAL ",
            "short.pal": b"RIFF\x0e\x00\x00\x00PAL data\x02\x00\x00\x00\x00\x03",
            "raw.bin": bytes(64),
            "big.pal": b"JASC-PAL\n0100\n1\n0 0 0\n" + b"\n" * (1 << 20),
        }
        write_file(self.path("utf16.gpl"), b"\xFE\xFF" + bad["utf16.gpl"])
        del bad["utf16.gpl"]
        for name, data in bad.items():
            write_file(self.path(name), data)
        cases = [
            ("cut.pal", "velloran: --palette cut.pal: line 6: the file ends after 2 of its 16 colours (JASC palette)"),
            ("many.pal", "velloran: --palette many.pal: line 3: 300 colours; a palette holds 1 to 256 (JASC palette)"),
            ("word.pal", "velloran: --palette word.pal: line 5: 'green' is not a number from 0 to 255 (JASC palette)"),
            ("version.pal", "velloran: --palette version.pal: line 2: the version of a JASC palette is 0100 (JASC palette)"),
            ("gimp.gpl", "velloran: --palette gimp.gpl: line 4: '256' is not a number from 0 to 255 (GIMP palette)"),
            ("riff.pal", "velloran: --palette riff.pal: byte 8: a RIFF palette has the form type 'PAL ' (RIFF palette)"),
            ("riffcut.pal", "velloran: --palette riffcut.pal: byte 20: the file ends inside the data chunk's 8 colours "
                            "(RIFF palette)"),
            ("bomcut.pal", "velloran: --palette bomcut.pal: line 5: the file ends after 1 of its 16 colours "
                           "(JASC palette)"),
            ("lower.pal", "velloran: --palette lower.pal: line 1: a JASC palette begins with the line JASC-PAL "
                          "(JASC palette)"),
            ("utf16.pal", "velloran: --palette utf16.pal: line 1: the palette is UTF-16 text; save it as UTF-8 "
                          "(JASC palette)"),
            ("utf16.gpl", "velloran: --palette utf16.gpl: line 1: the palette is UTF-16 text; save it as UTF-8 "
                          "(GIMP palette)"),
            ("count.pal", "velloran: --palette count.pal: line 3: the number of colours is missing (JASC palette)"),
            ("five.pal", "velloran: --palette five.pal: line 4: a colour is three numbers, red, green and blue "
                         "(JASC palette)"),
            ("two.pal", "velloran: --palette two.pal: line 4: a colour is three numbers from 0 to 255, red, green "
                        "and blue (JASC palette)"),
            ("more.gpl", "velloran: --palette more.gpl: line 258: more than 256 colours; a palette holds 1 to 256 "
                         "(GIMP palette)"),
            ("none.gpl", "velloran: --palette none.gpl: line 3: the palette has no colours (GIMP palette)"),
            ("nodata.pal", "velloran: --palette nodata.pal: byte 12: the RIFF palette has no data chunk "
                           "(RIFF palette)"),
            ("short.pal", "velloran: --palette short.pal: byte 20: the data chunk ends before the number of colours "
                          "(RIFF palette)"),
            ("raw.bin@0x100", "velloran: --palette raw.bin: offset 0x100 is past the file's end (64 bytes)"),
            ("version.pal@16", "velloran: --palette version.pal: an @OFFSET is for raw palettes, and this is a "
                               "JASC palette"),
            ("big.pal", "velloran: --palette big.pal: 1048598 bytes is too large for a JASC palette "
                        "(at most 1048576)"),
            ("missing.pal", "velloran: --palette missing.pal: "),  # then the system's reason, in its words
            ("256", "velloran: --palette 0x100: past the ROM's end (256 bytes); a palette offset must be below "
                    "its size"),
            ("0x1000", "velloran: --palette 0x1000: past the ROM's end (256 bytes); a palette offset must be "
                       "below its size"),
        ]
        for source, message in cases:
            with self.subTest(source=source):
                out, err = self.dump(["--format=i4", "--palette=" + source, "rom.bin", "out/", 8, 8, 1, 0], 2)
                if message.endswith(": "):
                    self.assertRegex(err, "^" + message + "[A-Z][a-z].*\n$")
                else:
                    self.assertEqual(err, message + "\n")
                self.assertEqual(self.snapshots(), [])

    @unittest.skipIf(harness.ON_WINDOWS, "a ROM on a pipe as /dev/stdin")
    def test_a_palette_in_a_rom_read_from_a_pipe_or_read_from_one_is_refused(self):
        done = subprocess.run(harness.tool_command(["--format=i4", "--palette=0x10", "/dev/stdin", "out/", "8", "8", "1", "0"]),
                              input=random_bytes(256, seed=17), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=self.dir, timeout=60)
        self.assertEqual((console_text(done.stderr), done.returncode),
                         ("velloran: --palette: a palette at a ROM offset needs a ROM file, not a pipe\n", 2))
        self.assertEqual(self.snapshots(), [])
        write_file(self.path("rom.bin"), random_bytes(256, seed=18))
        done = subprocess.run(harness.tool_command(["--format=i4", "--palette=/dev/stdin", "rom.bin", "out/", "8", "8", "1", "0"]),
                              input=random_bytes(64, seed=19), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=self.dir, timeout=60)
        self.assertEqual((console_text(done.stderr), done.returncode),
                         ("velloran: --palette /dev/stdin: not a file a palette can be read from\n", 2))
        self.assertEqual(self.snapshots(), [])

    def test_usage_errors(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=14))
        cases = [
            (["--format=t4p", "rom.bin", "out/", 12, 8],
             "velloran: WIDTH '12': The format t4p is made of 8x8 tiles: width and height must be multiples of 8."),
            (["--format=t2s", "rom.bin", "out/", 8, 9],
             "velloran: HEIGHT '9': The format t2s is made of 8x8 tiles: width and height must be multiples of 8."),
            (["--format=t8", "rom.bin", "out/", 524296],
             "velloran: WIDTH '524296': Image too large: tiles are read a row of tiles at a time, at most 524288 "
             "pixels wide."),
            (["--palette=0x10", "rom.bin"],
             "velloran: --palette, --palette-format and --palette-bank are for indexed formats (i1 ... t8), "
             "not bgr555le"),
            (["--format=i4", "--palette-format=t4p"],
             "velloran: --palette-format: a palette's colours are in a direct-colour format, not t4p"),
            (["--format=i4", "--palette-bank=-1"],
             "velloran: --palette-bank '-1': N must be a whole number from 0 to 999999."),
        ]
        self.check_usage_errors(cases)

    def test_the_dialogue_asks_a_tiled_width_again(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=15))
        done = subprocess.run(harness.tool_command(["--format=t2p"]), input=answers("rom.bin", "out/", 12, 8, 8, 1, 0),
                              stdout=subprocess.PIPE, cwd=self.dir, timeout=60)
        out = console_text(done.stdout)
        self.assertEqual(done.returncode, 0, out)
        problem = "\nThe format t2p is made of 8x8 tiles: width and height must be multiples of 8.\n"
        self.assertIn(WIDTH_PROMPT + problem + WIDTH_PROMPT + HEIGHT_PROMPT, out)
        self.assertEqual(self.snapshots(), ["snap0000.bmp"])

    def test_preview_draws_the_palettes_colours(self):
        import preview_test
        from PIL import Image
        rom = random_bytes(1024, seed=16)
        write_file(self.path("rom.bin"), rom)
        out, err = self.dump(["--preview=8", "--format=t4b", "--palette=0x200", "rom.bin", "out/", 16, 8, 2, 0])
        pictures = preview_test.pictures_by_snapshot(preview_test.utf8(out))
        for index in range(2):
            name = "out/snap%04d.bmp" % index
            with Image.open(self.path(name)) as bmp:
                rgb = list(bmp.convert("RGB").getdata())
            # 16 x 8 in 8 columns: each cell pixel the rounded average of a 2 x 2 block.
            expected = [[tuple((sum(rgb[(2 * y + dy) * 16 + 2 * x + dx][c] for dy in (0, 1) for dx in (0, 1)) * 2 + 4)
                               // 8 for c in range(3)) for x in range(8)] for y in range(4)]
            self.assertEqual(pictures[name], expected, name)

    def test_list_formats_names_the_indexed_ones(self):
        out, err, status = run_with_arguments(["--list-formats"], self.dir)
        self.assertEqual((err, status), ("", 0))
        listed = {line.split()[0]: int(line.split()[1]) for line in out.splitlines() if " map " not in line}
        for name, (bits, _) in LAYOUTS.items():
            self.assertEqual(listed.get(name), bits, name)


if __name__ == "__main__":
    harness.main()
