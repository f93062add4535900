"""Our snapshots read back by a decoder we did not write (Pillow): every
pixel's colour must be the raw ROM pixel's (bits 0-4 red, 5-9 green, 10-14 blue)."""
import os

from PIL import Image

from harness import *  # noqa: F401,F403
import harness


def field_of(channel):
    """The 5-bit field a decoded 8-bit channel came from, however it was scaled up."""
    return round(channel * 31 / 255)


class DecodedByPillow(ToolTestCase):
    def check(self, width, height, count, start, seed):
        rom = random_bytes(start + width * height * 2 * count, seed=seed)
        write_file(self.path("rom.bin"), rom)
        out, status = self.run_tool(answers("rom.bin", "out/", width, height, count, start))
        self.assertEqual(status, 0, out)
        self.assertEqual(len(self.snapshots()), count)
        for image in range(count):
            base = start + image * width * height * 2
            with Image.open(self.path("out", "snap%04d.bmp" % image)) as bmp:
                self.assertEqual(bmp.size, (width, height))
                decoded = list(bmp.convert("RGB").getdata())
            for y in range(height):
                for x in range(width):
                    offset = base + (y * width + x) * 2
                    word = rom[offset] | rom[offset + 1] << 8
                    expected = (word & 31, (word >> 5) & 31, (word >> 10) & 31)
                    red, green, blue = decoded[y * width + x]
                    self.assertEqual((field_of(red), field_of(green), field_of(blue)), expected,
                                     "image %d pixel %d,%d" % (image, x, y))

    def test_odd_width_at_an_odd_offset(self):
        self.check(37, 23, 3, 1001, seed=20)

    def test_even_width_at_an_even_offset(self):
        self.check(64, 32, 2, 0, seed=21)

    def test_small_sizes(self):
        for width, height in [(1, 1), (2, 3), (3, 2), (5, 1), (1, 7)]:
            with self.subTest(size=(width, height)):
                self.check(width, height, 1, 3, seed=width * 10 + height)
                for name in self.snapshots():
                    os.remove(self.path("out", name))


if __name__ == "__main__":
    harness.main()
