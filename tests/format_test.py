"""--format: every named layout and two described ones, dumped from random ROMs at odd and even
widths. The reference below is written from the layout table alone; the BMPs are read back by
readers we did not write (Pillow, ImageMagick) and compared with ffmpeg's rawvideo decoding of the
same ROM bytes. Also the usage errors, --list-formats, and what --preview and --browse draw."""
import os
import shutil
import struct
import subprocess
import unittest

from harness import *  # noqa: F401,F403
import harness

IMAGEMAGICK = harness.IMAGEMAGICK
FFMPEG = shutil.which("ffmpeg")


def sixteen(order, high_first):
    """A 16-bit layout from its fields listed from the most significant bit down:
    [("x", 1), ("b", 5), ...] -> {"b": (10, 5), ...} (lowest bit, bits)."""
    fields, top = {}, 16
    for letter, bits in high_first:
        top -= bits
        fields.setdefault(letter, []).append((top, bits))
    return {"bytes": 2, "big": order == "be", "fields": {k: v[0] for k, v in fields.items() if k != "x"}}


def sixteen_bit_formats():
    layouts = {
        "bgr555": [("x", 1), ("b", 5), ("g", 5), ("r", 5)], "rgb555": [("x", 1), ("r", 5), ("g", 5), ("b", 5)],
        "abgr1555": [("a", 1), ("b", 5), ("g", 5), ("r", 5)], "argb1555": [("a", 1), ("r", 5), ("g", 5), ("b", 5)],
        "rgba5551": [("r", 5), ("g", 5), ("b", 5), ("a", 1)], "bgra5551": [("b", 5), ("g", 5), ("r", 5), ("a", 1)],
        "rgb565": [("r", 5), ("g", 6), ("b", 5)], "bgr565": [("b", 5), ("g", 6), ("r", 5)],
        "rgb444": [("x", 4), ("r", 4), ("g", 4), ("b", 4)], "bgr444": [("x", 4), ("b", 4), ("g", 4), ("r", 4)],
    }
    for order in ["argb", "abgr", "rgba", "bgra"]:
        layouts[order + "4444"] = [(letter, 4) for letter in order]
    return {name + order: sixteen(order, fields) for name, fields in layouts.items() for order in ["le", "be"]}


def byte_formats():
    """24- and 32-bit names list the bytes in memory order; 0 is an unused byte."""
    names = ["rgb24", "bgr24", "rgba", "bgra", "argb", "abgr", "rgb0", "bgr0", "0rgb", "0bgr"]
    formats = {}
    for name in names:
        letters = name[:3] if name.endswith("24") else name
        formats[name] = {"bytes": len(letters), "big": False,
                         "fields": {letter: (8 * index, 8) for index, letter in enumerate(letters) if letter != "0"}}
    return formats


FORMATS = dict(sixteen_bit_formats(), **byte_formats())
# Under Wine every run costs a second: velloran.exe writes one format of each
# kind of file (the decoding is the same code on both systems).
ONE_OF_EACH_KIND = ["bgr555be", "abgr1555le", "rgb565be", "rgb444le", "argb4444be", "rgb24", "rgba", "0bgr"]


def formats_to_run(formats):
    return {name: layout for name, layout in formats.items()
            if not harness.ON_WINDOWS or name in ONE_OF_EACH_KIND or ":" in name}
# Two described ones: 7-bit fields in a big-endian 24-bit word, and a 2-bit alpha in 32 bits.
DESCRIBED = {
    "be24:x21-23,r14-20,g7-13,b0-6": {"bytes": 3, "big": True, "fields": {"r": (14, 7), "g": (7, 7), "b": (0, 7)}},
    "le32:x26-31,r18-25,g10-17,b2-9,a0-1": {"bytes": 4, "big": False,
                                            "fields": {"r": (18, 8), "g": (10, 8), "b": (2, 8), "a": (0, 2)}},
}
FFMPEG_NAMES = ["bgr555le", "bgr555be", "rgb555le", "rgb555be", "rgb565le", "rgb565be", "bgr565le", "bgr565be",
                "rgb444le", "rgb444be", "bgr444le", "bgr444be", "rgb24", "bgr24", "rgba", "bgra", "argb", "abgr",
                "rgb0", "bgr0", "0rgb", "0bgr"]


def words(layout, raw):
    size = layout["bytes"]
    return [int.from_bytes(raw[i:i + size], "big" if layout["big"] else "little") for i in range(0, len(raw), size)]


def fields_of(layout, word):
    return {letter: (word >> low) & ((1 << bits) - 1) for letter, (low, bits) in layout["fields"].items()}


widen = harness.widen


def kept_in_16_bits(layout):
    bits = {letter: layout["fields"][letter][1] for letter in "rgb"}
    alpha = layout["fields"].get("a", (0, 0))[1]
    return layout["bytes"] == 2 and (bits == {"r": 5, "g": 5, "b": 5} and alpha <= 1 or bits == {"r": 5, "g": 6, "b": 5})


def bmp_pixel_words(path):
    """The 16-bit pixel words of a BMP, top row first, as the file holds them."""
    data = read_file(path)
    offset, width, height = struct.unpack_from("<I", data, 10)[0], *struct.unpack_from("<ii", data, 18)
    row_bytes = (width * 2 + 3) // 4 * 4
    rows = [struct.unpack_from("<%dH" % width, data, offset + y * row_bytes) for y in range(height)]
    return [w for row in reversed(rows) for w in row]


class Formats(ToolTestCase):
    START = 1  # an odd offset: nothing depends on alignment

    def dump(self, name, layout, width, height=3, count=2):
        image_bytes = width * height * layout["bytes"]
        rom = random_bytes(self.START + count * image_bytes, seed=hash((name, width)) & 0xFFFF)
        write_file(self.path("rom.bin"), rom)
        for old in self.snapshots():
            os.remove(self.path("out", old))
        out, err, status = run_with_arguments(["--format=" + name, "rom.bin", "out/", width, height, count,
                                               self.START], self.dir)
        self.assertEqual((err, status), ("", 0), name)
        self.assertTrue(out.endswith(final_position(self.START + count * image_bytes)), out)
        self.assertEqual(self.snapshots(), ["snap%04d.bmp" % i for i in range(count)])
        return [rom[self.START + i * image_bytes:self.START + (i + 1) * image_bytes] for i in range(count)]

    def check_with_pillow(self, name, layout, raw, path, width, height):
        from PIL import Image
        expected = [fields_of(layout, w) for w in words(layout, raw)]
        alpha = "a" in layout["fields"]
        with Image.open(path) as bmp:
            self.assertEqual(bmp.size, (width, height))
            pixels = list(bmp.convert("RGBA").getdata())
        bits = {letter: layout["fields"][letter][1] for letter in layout["fields"]}
        for index, (pixel, want) in enumerate(zip(pixels, expected)):
            for channel, letter in enumerate("rgb"):
                if kept_in_16_bits(layout):
                    # Pillow widens 5- and 6-bit fields as v * 255 // max: compare the fields.
                    field = round(pixel[channel] * ((1 << bits[letter]) - 1) / 255)
                    self.assertEqual(field, want[letter], "%s pixel %d %s" % (name, index, letter))
                else:
                    self.assertEqual(pixel[channel], widen(want[letter], bits[letter]),
                                     "%s pixel %d %s" % (name, index, letter))
            if alpha and not kept_in_16_bits(layout):
                self.assertEqual(pixel[3], widen(want["a"], bits["a"]), "%s pixel %d alpha" % (name, index))
        if kept_in_16_bits(layout):
            # The bit that is no colour (x or alpha) is kept in bit 15 of a 5-5-5 file.
            colour_bits = sum(((1 << b) - 1) << low for letter, (low, b) in layout["fields"].items() if letter != "a")
            other = [bit for bit in range(16) if not colour_bits >> bit & 1]
            if other:
                kept = [w >> 15 for w in bmp_pixel_words(path)]
                self.assertEqual(kept, [w >> other[0] & 1 for w in words(layout, raw)], name)

    def check_every_format(self, formats):
        for name, layout in formats_to_run(formats).items():
            for width in [5] if harness.ON_WINDOWS else [5, 8]:
                with self.subTest(format=name, width=width):
                    images = self.dump(name, layout, width)
                    for index, raw in enumerate(images):
                        self.check_with_pillow(name, layout, raw, self.path("out", "snap%04d.bmp" % index), width, 3)

    def test_every_named_format_keeps_the_roms_fields(self):
        self.check_every_format(FORMATS)

    def test_described_formats_keep_the_roms_fields(self):
        self.check_every_format(DESCRIBED)

    def test_a_description_of_a_named_layout_writes_the_same_file(self):
        write_file(self.path("rom.bin"), random_bytes(4096, seed=251))
        for name, description in [("rgb565le", "le16:r11-15,g5-10,b0-4"), ("rgba", "le32:a24-31,b16-23,g8-15,r0-7"),
                                  ("bgr555le", "le16:x15,b10-14,g5-9,r0-4")]:
            with self.subTest(format=name):
                for folder, given in [("named", name), ("described", description)]:
                    os.makedirs(self.path(folder), exist_ok=True)
                    _, err, status = run_with_arguments(["--format=" + given, "rom.bin", folder + "/", 7, 5, 1, 0],
                                                        self.dir)
                    self.assertEqual((err, status), ("", 0))
                self.assertEqual(read_file(self.path("named", "snap0000.bmp")),
                                 read_file(self.path("described", "snap0000.bmp")))
                for folder in ["named", "described"]:
                    shutil.rmtree(self.path(folder))

    @unittest.skipIf(harness.ON_WINDOWS, "ImageMagick and ffmpeg run here only")
    @harness.needs(FFMPEG and os.path.exists(IMAGEMAGICK), "ffmpeg and ImageMagick are")
    def test_the_colours_are_ffmpegs(self):
        # ImageMagick widens every field by repeating its bits, as Velloran does; ffmpeg does so
        # too, but for 4-bit fields, which it shifts: there only the top 4 bits are compared.
        for name in FFMPEG_NAMES:
            layout = FORMATS[name]
            width, height = 7, 3
            with self.subTest(format=name):
                raw = self.dump(name, layout, width, height, 1)[0]
                write_file(self.path("image.raw"), raw)
                ffmpeg = subprocess.run([FFMPEG, "-v", "error", "-f", "rawvideo", "-pix_fmt", name, "-s",
                                         "%dx%d" % (width, height), "-i", "image.raw", "-f", "rawvideo", "-pix_fmt",
                                         "rgb24", "-"], cwd=self.dir, stdout=subprocess.PIPE, check=True).stdout
                ours = subprocess.run([IMAGEMAGICK, self.path("out", "snap0000.bmp"), "-depth", "8", "rgb:-"],
                                      stdout=subprocess.PIPE, check=True).stdout
                self.assertEqual(len(ours), width * height * 3)
                mask = 0xF0 if layout["fields"]["r"][1] == 4 else 0xFF
                self.assertEqual(bytes(b & mask for b in ours), bytes(b & mask for b in ffmpeg), name)

    def test_sizes_and_positions_follow_the_format(self):
        # Three 3 x 2 images of rgb24 are 54 bytes from 10: the position is 64.
        write_file(self.path("rom.bin"), random_bytes(100, seed=252))
        out, err, status = run_with_arguments(["--format=rgb24", "rom.bin", "out/", 3, 2, 3, 10], self.dir)
        self.assertEqual((err, status), ("", 0))
        self.assertTrue(out.endswith(final_position(64)), out)
        # The last image runs 10 bytes past the end: its missing pixels are zero.
        self.assertEqual(self.snapshots(), ["snap0000.bmp", "snap0001.bmp", "snap0002.bmp"])

    def test_usage_errors_name_what_is_wrong(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=253))
        cases = [
            (["--format=rgb556le"], "velloran: --format: unknown format 'rgb556le'; the closest: rgb555le "
                                    "(--list-formats shows them all)"),
            (["--format=rgba8888"], "velloran: --format: unknown format 'rgba8888'; the closest: rgba "
                                    "(--list-formats shows them all)"),
            (["--format=rgb565"], "velloran: --format: unknown format 'rgb565'; the closest: rgb565le, rgb565be "
                                  "(--list-formats shows them all)"),
            (["--format=le16:r11-15,g5-10"], "velloran: --format: 'le16:r11-15,g5-10' is no format: there is no b field"),
            (["--format=le16:r11-15,g5-10,b0-5"],
             "velloran: --format: 'le16:r11-15,g5-10,b0-5' is no format: the fields overlap at 'b0-5'"),
            (["--format=le16:r11-16,g5-10,b0-4"],
             "velloran: --format: 'le16:r11-16,g5-10,b0-4' is no format: bit 16 is past the 16-bit word"),
            (["--format=le32:r0-8,g9-15,b16-23"],
             "velloran: --format: 'le32:r0-8,g9-15,b16-23' is no format: the field r has more than 8 bits"),
            (["--format=le8:r0,g1,b2"],
             "velloran: --format: 'le8:r0,g1,b2' is no format: the word is le16, be16, le24, be24, le32 or be32, "
             "not 'le8'"),
            (["--format=le16:r0-4,r5-9,b10-14"],
             "velloran: --format: 'le16:r0-4,r5-9,b10-14' is no format: the field r is given twice"),
            (["--format=le16:q0-4,g5-9,b10-14"],
             "velloran: --format: 'le16:q0-4,g5-9,b10-14' is no format: a field is r, g, b, a or x and its bits, "
             "as g5-10, not 'q0-4'"),
            (["--format=le16:r,g5-9,b10-14"],
             "velloran: --format: 'le16:r,g5-9,b10-14' is no format: the field 'r' has no bits, as in g5-10"),
            (["--format=le16:r4-0,g5-9,b10-14"],
             "velloran: --format: 'le16:r4-0,g5-9,b10-14' is no format: the field 'r4-0' is not a letter and a bit "
             "range from low to high, as g5-10"),
            (["--format=" + "rgb" * 11],
             "velloran: --format: unknown format '%s'; --list-formats shows them all" % ("rgb" * 11)),
            (["--format=rgba", "rom.bin", "out/", 65536, 8192],
             "velloran: HEIGHT '8192': Image too large: width x height x 4 must stay within 2147483647 bytes."),
            (["--format=rgb444le", "rom.bin", "out/", 1, 1073741811],
             "velloran: HEIGHT '1073741811': Image too large: its BMP file must stay within 4294967295 bytes."),
        ]
        self.check_usage_errors(cases)

    def test_list_formats_names_each_with_its_bits_and_layout(self):
        out, err, status = run_with_arguments(["--list-formats"], self.dir)
        self.assertEqual((err, status), ("", 0))
        # Direct colour here, at 16 bits and more; indexed_test checks the indexed ones.
        # The tilemap layouts, listed after the formats, are map_test's.
        listed = [line.split(None, 2) for line in out.splitlines()
                  if " map " not in line and int(line.split()[1]) >= 16]
        self.assertEqual(sorted(name for name, _, _ in listed), sorted(FORMATS))
        for name, bits, layout in listed:
            with self.subTest(format=name):
                self.assertEqual(int(bits), FORMATS[name]["bytes"] * 8)
                if name not in formats_to_run(FORMATS):
                    continue
                # Each listed layout is a description the tool takes.
                _, err, status = run_with_arguments(["--format=" + layout, "--version"], self.dir)
                self.assertEqual((err, status), ("", 0))


if __name__ == "__main__":
    harness.main()
