"""--png: every format's PNG against the BMP of the same image, each read by readers we did not
write (Pillow and ImageMagick for the PNG, ImageMagick for the BMP, which widens fields by repeating
bits as the PNG does); pngcheck; the origin in text chunks; the same bytes from the same run; names
counted on their own; what cannot be a PNG refused."""
import os
import shutil
import struct
import subprocess
import unittest
import zlib

from harness import *  # noqa: F401,F403
import harness
import format_test

IMAGEMAGICK = harness.IMAGEMAGICK
PNGCHECK = harness.PNGCHECK


def chunks(data):
    """(type, body) of each chunk of a PNG, its CRC checked."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, found = 8, []
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        body = data[at + 8:at + 8 + length]
        assert struct.unpack_from(">I", data, at + 8 + length)[0] == zlib.crc32(kind + body)
        found.append((kind.decode(), body))
        at += 12 + length
    return found


def texts(data):
    return {body.split(b"\0")[0].decode(): body.split(b"\0", 1)[1].decode("latin-1")
            for kind, body in chunks(data) if kind == "tEXt"}


class Png(ToolTestCase):
    def dump(self, args, folder="out"):
        out, err, status = run_with_arguments(args, self.dir)
        self.assertEqual((err, status), ("", 0), args)
        return out

    @harness.needs(os.path.exists(IMAGEMAGICK) and os.path.exists(PNGCHECK), "ImageMagick and pngcheck are")
    def test_every_format_gives_the_pixels_its_bmp_holds(self):
        from PIL import Image
        rom = random_bytes(4 * 7 * 5 * 2 + 3, seed=301)
        write_file(self.path("rom.bin"), rom)
        for name, layout in format_test.formats_to_run(dict(format_test.FORMATS, **format_test.DESCRIBED)).items():
            with self.subTest(format=name):
                for folder, extra in [("bmp", []), ("png", ["--png"])]:
                    os.makedirs(self.path(folder), exist_ok=True)
                    self.dump(extra + ["--format=" + name, "rom.bin", folder + "/", 7, 5, 2, 3])
                alpha = "a" in layout["fields"]
                for index in range(2):
                    png_path = self.path("png", "snap%04d.png" % index)
                    bmp_path = self.path("bmp", "snap%04d.bmp" % index)
                    data = read_file(png_path)
                    check = subprocess.run([PNGCHECK, png_path], stdout=subprocess.PIPE, text=True)
                    self.assertEqual(check.returncode, 0, check.stdout)
                    with Image.open(png_path) as png:
                        self.assertEqual(png.mode, "RGBA" if alpha else "RGB")
                        pillow = png.tobytes()
                    mode = "rgba" if alpha else "rgb"
                    magick_png = subprocess.run([IMAGEMAGICK, png_path, "-depth", "8", mode + ":-"],
                                                stdout=subprocess.PIPE, check=True).stdout
                    self.assertEqual(pillow, magick_png)
                    magick_bmp = subprocess.run([IMAGEMAGICK, bmp_path, "-depth", "8", "rgb:-"],
                                                stdout=subprocess.PIPE, check=True).stdout
                    rgb = bytes(b for i, b in enumerate(pillow) if not alpha or i % 4 != 3)
                    self.assertEqual(rgb, magick_bmp, "%s image %d" % (name, index))
                    # Alpha, which a 16-bit BMP does not show, against the ROM's fields.
                    raw = rom[3 + index * 70 * layout["bytes"] // 2:3 + (index + 1) * 70 * layout["bytes"] // 2]
                    if alpha:
                        bits = layout["fields"]["a"][1]
                        self.assertEqual(pillow[3::4], bytes(format_test.widen(format_test.fields_of(layout, w)["a"], bits)
                                                             for w in format_test.words(layout, raw)))
                    # sBIT holds the format's own bits; the origin is in the text chunks.
                    found = dict(chunks(data))
                    self.assertEqual(found["sBIT"], bytes(layout["fields"][c][1] for c in ("rgba" if alpha else "rgb")))
                    self.assertEqual(texts(data), {
                        "Source": "rom.bin", "Offset": "0x%08X" % (3 + index * 35 * layout["bytes"]), "Width": "7",
                        "Height": "5", "Format": name, "Software": "velloran " + harness.VERSION})
                shutil.rmtree(self.path("bmp"))
                shutil.rmtree(self.path("png"))

    def test_the_same_run_gives_the_same_bytes_and_a_dump_again_from_the_origin(self):
        rom = random_bytes(256 * 224 * 2 * 2, seed=302)
        write_file(self.path("rom.bin"), rom)
        for folder in ["one", "two"]:
            os.makedirs(self.path(folder))
            self.dump(["--png", "rom.bin", folder + "/", 256, 224, 2, 0])
        for name in ["snap0000.png", "snap0001.png"]:
            self.assertEqual(read_file(self.path("one", name)), read_file(self.path("two", name)))
        # The second file says where it came from: a dump from there writes it again.
        origin = texts(read_file(self.path("one", "snap0001.png")))
        os.makedirs(self.path("again"))
        self.dump(["--png", "--format=" + origin["Format"], origin["Source"], "again/", origin["Width"],
                   origin["Height"], 1, origin["Offset"]])
        self.assertEqual(read_file(self.path("again", "snap0000.png")), read_file(self.path("one", "snap0001.png")))

    def test_png_names_are_counted_on_their_own(self):
        write_file(self.path("rom.bin"), random_bytes(64 * 32 * 2 * 3, seed=303))
        write_file(self.path("out", "snap0000.bmp"), b"a BMP of another run")
        write_file(self.path("out", "snap0001.png"), b"a PNG of another run")
        out = self.dump(["--png", "rom.bin", "out/", 64, 32, 2, 0])
        self.assertEqual(out, opening("out/snap0000.png") + opening("out/snap0002.png") + final_position(8192))
        self.assertEqual(read_file(self.path("out", "snap0001.png")), b"a PNG of another run")
        self.dump(["rom.bin", "out/", 64, 32, 1, 0])
        self.assertEqual(self.snapshots(), ["snap0000.bmp", "snap0000.png", "snap0001.bmp", "snap0001.png",
                                            "snap0002.png"])

    def test_long_rows_and_the_roms_end(self):
        # A row longer than a block comes in runs, unfiltered; past the ROM's end, zeros.
        from PIL import Image
        rom = random_bytes(3000000 * 2 + 100, seed=304)
        write_file(self.path("rom.bin"), rom)
        self.dump(["--png", "rom.bin", "out/", 3000000, 2, 1, 0])
        with Image.open(self.path("out", "snap0000.png")) as png:
            self.assertEqual(png.size, (3000000, 2))
            pixels = png.tobytes()
        words = struct.unpack_from("<%dH" % (len(rom) // 2), rom)
        expected = bytes(format_test.widen(w >> shift & 31, 5) for w in words for shift in (0, 5, 10))
        self.assertEqual(pixels[:len(expected)], expected)
        self.assertEqual(pixels[len(expected):], bytes(len(pixels) - len(expected)))

    def test_what_cannot_be_a_png_is_refused(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=305))
        for args, problem in [
            (["--png", "rom.bin", "out/", 0, 4], "WIDTH '0': A PNG image has at least one pixel: width and height "
                                                 "start at 1."),
            (["--png", "rom.bin", "out/", 4, 0], "HEIGHT '0': A PNG image has at least one pixel: width and height "
                                                 "start at 1."),
        ]:
            with self.subTest(args=args):
                out, err, status = run_with_arguments(args, self.dir)
                self.assertEqual((out, err, status),
                                 ("", "velloran: " + problem + USAGE_HINT, 2))
        out, status = self.run_tool(answers("rom.bin", "out/", 0, 4, 4, 1, 0), args=["--png"])
        self.assertIn(WIDTH_PROMPT + "\nA PNG image has at least one pixel: width and height start at 1.\n"
                      + WIDTH_PROMPT, out)
        self.assertEqual(self.snapshots(), ["snap0000.png"])


if __name__ == "__main__":
    harness.main()
