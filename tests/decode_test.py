"""Our snapshots read back by a decoder we did not write (Pillow): every
pixel's colour must be the raw ROM pixel's (bits 0-4 red, 5-9 green, 10-14 blue)."""
import os
import random
import subprocess
import sys

from PIL import Image

from harness import *  # noqa: F401,F403
import harness


class DecodedByPillow(ToolTestCase):
    def check(self, width, height, count, start, seed):
        rom = random_bytes(start + width * height * 2 * count, seed=seed)
        write_file(self.path("rom.bin"), rom)
        out, status = self.run_tool(answers("rom.bin", "out/", width, height, count, start))
        self.assertEqual(status, 0, out)
        self.assertEqual(len(self.snapshots()), count)
        image_bytes = width * height * 2
        for image in range(count):
            raw = rom[start + image * image_bytes:start + (image + 1) * image_bytes]
            path = self.path("out", "snap%04d.bmp" % image)
            where = "%dx%d image %d from %d" % (width, height, image, start)
            if image_bytes == 0:
                # No decoder takes an image without pixels; the headers must still be exact.
                self.assertEqual(read_file(path), bmp_headers(width, height), where)
                continue
            self.assertEqual(decoded_colours(path), ((width, height), rom_colours(raw, width, height)), where)
        for name in self.snapshots():
            os.remove(self.path("out", name))

    def test_odd_width_at_an_odd_offset(self):
        self.check(37, 23, 3, 1001, seed=20)

    def test_even_width_at_an_even_offset(self):
        self.check(64, 32, 2, 0, seed=21)

    def test_every_small_size(self):
        for width in range(10):
            for height in range(6):
                with self.subTest(size=(width, height)):
                    self.check(width, height, 2, width % 2 + 2, seed=width * 10 + height)

    def test_random_sizes_at_odd_and_even_offsets(self):
        sizes = random.Random(2026)
        for case in range(16):
            width, height = sizes.randint(1, 300), sizes.randint(1, 300)
            start = sizes.randrange(0, 5000, 2) + case % 2
            with self.subTest(size=(width, height), start=start):
                self.check(width, height, 1, start, seed=1000 + case)


class DemoRom(ToolTestCase):
    EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")

    def test_the_committed_rom_is_what_the_script_makes(self):
        subprocess.run([sys.executable, os.path.join(self.EXAMPLES, "make_demo_rom.py"), self.path("made.rom")],
                       check=True, stdout=subprocess.DEVNULL, timeout=60)
        self.assertEqual(read_file(self.path("made.rom")), read_file(os.path.join(self.EXAMPLES, "demo.rom")))

    def test_the_readme_run_shows_the_pictures_it_describes(self):
        rom = os.path.join(self.EXAMPLES, "demo.rom")
        out, status = self.run_tool(("%s out/ 64 32 4 0x20D\n" % rom).encode())
        self.assertEqual(status, 0)
        self.assertTrue(out.endswith(final_position(16909)), out)
        pictures = []
        for image in range(4):
            with Image.open(self.path("out", "snap%04d.bmp" % image)) as bmp:
                pictures.append(bmp.convert("RGB"))
        bars, ramps, shape, top_bit = pictures
        self.assertEqual([bars.getpixel((x, 16)) for x in (4, 12, 60)],
                         [(255, 255, 255), (255, 255, 0), (0, 0, 0)])
        self.assertEqual(ramps.getpixel((0, 4)), (0, 0, 0))
        self.assertEqual(ramps.getpixel((63, 4)), (255, 0, 0))
        self.assertEqual(ramps.getpixel((63, 12)), (0, 255, 0))
        self.assertEqual(ramps.getpixel((63, 20)), (0, 0, 255))
        self.assertEqual(shape.getpixel((1, 1)), (0, 255, 0))  # the dot is at the top left
        self.assertEqual(shape.getpixel((18, 8)), (255, 0, 0))  # the F's stem
        self.assertEqual(top_bit.getpixel((10, 10)), top_bit.getpixel((50, 10)))


if __name__ == "__main__":
    harness.main()
