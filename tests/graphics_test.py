"""--graphics: pictures in real pixels. The kitty payload decoded, and sixel
decoded by ImageMagick (a reader we did not write), against Pillow's reading
of the snapshot; the choice `auto` makes through a pseudo-terminal whose far
end answers as kitty, as a sixel terminal, as one without sixel, and not at
all; blocks unchanged; sixel in a real xterm under Xvfb."""
import base64
import os
import re
import shutil
import subprocess
import time
import unittest

from harness import *  # noqa: F401,F403
import harness
from terminal import Terminal

DEMO_ROM = harness.DEMO_ROM
KITTY_CHUNK = re.compile(rb"\x1b_G([^;\x1b]*);([^\x1b]*)\x1b\\")
SIXEL = re.compile(rb"\x1bP[0-9;]*q.*?\x1b\\", re.S)
IMAGEMAGICK = harness.IMAGEMAGICK


widen = harness.widen


def kitty_images(output):
    """Each kitty image in `output`: (width, height, its RGB rows)."""
    images, keys, data = [], {}, b""
    for control, payload in KITTY_CHUNK.findall(output):
        fields = dict(part.split(b"=", 1) for part in control.split(b",") if b"=" in part)
        if b"s" in fields:
            keys, data = fields, b""
        data += payload
        if fields.get(b"m") == b"0":
            self_check = keys.get(b"f") == b"24" and keys.get(b"q") == b"2"
            assert self_check, keys
            raw = base64.b64decode(data)
            width, height = int(keys[b"s"]), int(keys[b"v"])
            assert len(raw) == width * height * 3
            images.append((width, height, [[tuple(raw[(y * width + x) * 3:(y * width + x) * 3 + 3])
                                             for x in range(width)] for y in range(height)]))
    assert all(len(payload) <= 4096 for _, payload in KITTY_CHUNK.findall(output))
    return images


def sixel_image(sixel, folder):
    """A sixel picture as ImageMagick reads it: its size and RGB rows."""
    from PIL import Image
    path = os.path.join(folder, "picture.six")
    write_file(path, sixel)
    subprocess.run([IMAGEMAGICK, path, os.path.join(folder, "picture.png")], check=True)
    with Image.open(os.path.join(folder, "picture.png")) as png:
        rgb = png.convert("RGB")
        return rgb.size, [[rgb.getpixel((x, y)) for x in range(rgb.size[0])] for y in range(rgb.size[1])]


def expected_rows(bmp, zoom):
    """The snapshot as Pillow reads it, its 5-bit fields, each pixel zoom x zoom."""
    (width, height), fields = decoded_colours(bmp)
    return [[fields[(y // zoom) * width + x // zoom] for x in range(width * zoom)] for y in range(height * zoom)]


def fields_of(rows):
    return [[tuple(field_of(c) for c in pixel) for pixel in row] for row in rows]


class Pictures(ToolTestCase):
    def dump_with(self, graphics, width=64, height=32, offset=0x20D, rom=DEMO_ROM, count=1):
        out, err, status = run_with_arguments(["--preview", "--graphics=" + graphics, rom, "out/", width, height,
                                               count, offset], self.dir)
        self.assertEqual((err, status), ("", 0))
        return out.encode("latin-1")

    def test_kitty_pictures_hold_the_snapshots_pixels(self):
        # Off a terminal the room is 80 x 24 cells of 10 x 20 pixels: 64 x 32 is zoomed in 4 times.
        output = self.dump_with("kitty", count=4)
        images = kitty_images(output)
        self.assertEqual(len(images), 4)
        for index, (width, height, rows) in enumerate(images):
            with self.subTest(image=index):
                self.assertEqual((width, height), (256, 128))
                self.assertEqual(fields_of(rows), expected_rows(self.path("out", "snap%04d.bmp" % index), 4))
                # Exact: the widened fields themselves, not only their nearest 5 bits.
                self.assertEqual(rows[0][0], tuple(widen(f) for f in expected_rows(
                    self.path("out", "snap%04d.bmp" % index), 1)[0][0]))

    def test_sixel_pictures_are_exact_up_to_256_colours(self):
        output = self.dump_with("sixel", count=4)
        pictures = SIXEL.findall(output)
        self.assertEqual(len(pictures), 4)
        for index, sixel in enumerate(pictures):
            with self.subTest(image=index):
                size, rows = sixel_image(sixel, self.dir)
                self.assertEqual(size, (256, 128))
                self.assertEqual(fields_of(rows), expected_rows(self.path("out", "snap%04d.bmp" % index), 4))

    def sixel_errors(self, rom, width, height, fmt):
        """The mean and the largest error of a channel, in levels of 255, between the pixels
        of the snapshot (as Pillow reads it) and the sixel picture (as ImageMagick reads it)."""
        from PIL import Image
        write_file(self.path("rom.bin"), rom)
        out, err, status = run_with_arguments(["--preview", "--graphics=sixel", "--format=" + fmt, "rom.bin", "out/",
                                               width, height, 1, 0], self.dir)
        self.assertEqual((err, status), ("", 0))
        size, rows = sixel_image(SIXEL.findall(out.encode("latin-1"))[0], self.dir)
        zoom = size[0] // width
        self.assertEqual(size, (width * zoom, height * zoom))
        with Image.open(self.path("out", "snap0000.bmp")) as bmp:
            wanted = list(bmp.convert("RGB").getdata())
        errors = [abs(a - b) for y in range(height) for x in range(width)
                  for a, b in zip(rows[y * zoom][x * zoom], wanted[y * width + x])]
        return sum(errors) / len(errors), max(errors)

    @harness.needs(os.path.exists(IMAGEMAGICK), "ImageMagick is")
    def test_a_natural_picture_of_thousands_of_colours_keeps_its_colours(self):
        # ImageMagick's rose, a photograph of 3019 colours, as 24-bit pixels.
        rose = subprocess.run([IMAGEMAGICK, "rose:", "-depth", "8", "rgb:-"], stdout=subprocess.PIPE,
                              check=True).stdout
        mean, largest = self.sixel_errors(rose, 70, 46, "rgb24")
        self.assertLessEqual(mean, 3.0)
        self.assertLessEqual(largest, 32)
        self.assertGreater(largest, 0)  # 3019 colours in 256 registers: not exact

    def test_sixel_pictures_of_noise_stay_within_32_levels(self):
        # 32 x 32 random pixels: 1024 colours for 256 registers.
        mean, largest = self.sixel_errors(random_bytes(32 * 32 * 2, seed=98), 32, 32, "bgr555le")
        self.assertLessEqual(largest, 32)
        self.assertGreater(largest, 0)

    def test_blocks_are_todays_pictures_byte_for_byte(self):
        os.makedirs(self.path("a", "out"))
        os.makedirs(self.path("b", "out"))
        blocks, _, status = run_with_arguments(["--preview", "--graphics=blocks", DEMO_ROM, "out/", 64, 32, 4, 0x20D],
                                               self.path("a"))
        self.assertEqual(status, 0)
        today, _, status = run_with_arguments(["--preview", DEMO_ROM, "out/", 64, 32, 4, 0x20D], self.path("b"))
        self.assertEqual(status, 0)
        self.assertEqual(blocks, today)
        self.assertIn("\u2580".encode("utf-8").decode("latin-1"), blocks)

    def test_a_mode_that_is_not_one(self):
        for args, problem in [(["--preview", "--graphics=vga"], "--graphics 'vga': MODE must be auto, blocks, "
                                                                 "sixel or kitty."),
                              (["--graphics=sixel", DEMO_ROM], "--graphics is for --preview and --browse")]:
            with self.subTest(args=args):
                out, err, status = run_with_arguments(args, self.dir)
                self.assertEqual((out, err, status),
                                 ("", "velloran: " + problem + USAGE_HINT, 2))


def far_end(case, args, answer, typed=b""):
    """The tool on a pseudo-terminal (its standard input and output, 100 x 40) whose far end
    answers its queries with `answer`, as a terminal would; closed when `case` ends."""
    far = Terminal(harness.tool_command([str(a) for a in args]), case.dir, 100, 40, shown=(0, 0), controlling=False,
                   answer=answer, stderr=subprocess.PIPE, typed=typed)
    case.addCleanup(far.close)
    return far


@unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
class AutomaticChoice(ToolTestCase):
    KITTY = b"\x1b_Gi=31;OK\x1b\\\x1b[6;20;10t\x1b[?62;22c"
    SIXEL = b"\x1b[6;20;10t\x1b[?63;1;2;4;6;9;15;22c"
    NO_SIXEL = b"\x1b[6;20;10t\x1b[?62;1;2;6;22c"

    def run_with(self, answer):
        far = far_end(self, ["--preview", DEMO_ROM, "out/", 64, 32, 1, 0x20D], answer)
        started = time.monotonic()
        status = far.finish()
        return far, status, time.monotonic() - started

    def test_the_terminal_says_what_it_draws(self):
        for answer, shown in [(self.KITTY, b"\x1b_G"), (self.SIXEL, b"\x1bP0;1;0q"), (self.NO_SIXEL, b"\xe2\x96\x80"),
                              (b"", b"\xe2\x96\x80")]:
            with self.subTest(answer=answer):
                far, status, _ = self.run_with(answer)
                self.assertEqual(status, 0)
                self.assertIn(b"\x1b[c", far.output)  # asked once
                self.assertEqual(far.output.count(b"\x1b[c"), 1)
                picture = far.output[far.output.index(b"Opening:"):]
                self.assertIn(shown, picture)
                for other in {b"\x1b_G", b"\x1bP0;1;0q", b"\xe2\x96\x80"} - {shown}:
                    self.assertNotIn(other, picture)
                for name in self.snapshots():
                    os.remove(self.path("out", name))

    def test_a_terminal_that_answers_nothing_costs_at_most_the_timeout(self):
        far, status, elapsed = self.run_with(b"")
        self.assertEqual(status, 0)
        self.assertLess(time.monotonic() - far.asked_at, 5)
        self.assertIn(b"\xe2\x96\x80", far.output)

    def test_no_reply_byte_reaches_the_dialogue(self):
        # The answers are typed at once; the replies come while the tool asks.
        far = far_end(self, ["--preview"], self.SIXEL, typed=b"%s\rout/\r64\r32\r2\r0x20D\r" % DEMO_ROM.encode())
        self.assertEqual(far.finish(), 0)
        text = far.output.replace(b"\r\n", b"\n")
        self.assertIn(b"\nOpening: out/snap0000.bmp", text)
        self.assertIn(b"\nOpening: out/snap0001.bmp", text)
        self.assertTrue(text.rstrip().endswith(b"\n8717"), text[-80:])
        self.assertEqual(self.snapshots(), ["snap0000.bmp", "snap0001.bmp"])


@unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
class BrowseInPixels(ToolTestCase):
    """--browse in kitty and sixel, read off the bytes the tool writes."""

    def browse(self, mode, keys):
        # 100 x 30 cells of 10 x 20 pixels, which the terminal tells in its size.
        terminal = Terminal(harness.tool_command(["--browse", "--graphics=" + mode, DEMO_ROM, "out/", "64", "32", "1",
                                                  "0x20D"]), self.dir, 100, 30, shown=(0, 0), controlling=False,
                            pixels=(1000, 600))
        self.addCleanup(terminal.close)
        terminal.wait_frames(1)
        for key in keys:
            if isinstance(key, tuple):  # a new size: rows, columns, pixels across, down
                rows, columns, across, down = key
                # Not its controlling terminal: no SIGWINCH by itself.
                terminal.resize(columns, rows, (across, down), signal_it=True)
            else:
                terminal.press(key)
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        return bytes(terminal.output)

    def test_kitty_images_are_replaced_never_piled_up(self):
        # 1000 x 580 pixels: 4:1 shows all four images.
        output = self.browse("kitty", [b"Z4:1\r", b"l", b"]", b"j"])
        frames = output.split(b"\x1b[?2026h")[1:]
        shown = set()
        for number, frame in enumerate(frames):
            deleted = set(re.findall(rb"\x1b_Ga=d,d=I,q=2,i=(\d+)\x1b\\", frame))
            self.assertEqual(deleted, shown, "frame %d deletes what the last one showed" % number)
            shown = set(re.findall(rb"\x1b_Gf=24,s=\d+,v=\d+,a=T,q=2,i=(\d+),", frame))
        self.assertEqual(len(shown), 3)  # ] moved on an image: three are left to show
        # Leaving deletes the last ones.
        tail = output[output.rindex(b"\x1b[?2026l"):]
        self.assertEqual(set(re.findall(rb"\x1b_Ga=d,d=I,q=2,i=(\d+)", tail)), shown)
        self.assertIn(b"zoom 4:1", frames[-1])
        # The second image shown is the F, moved on by a pixel (l) and a row (j).
        width, height, rows = kitty_images(frames[-1])[1]
        os.makedirs(self.path("dump"))
        run_with_arguments([DEMO_ROM, "dump/", 64, 32, 1, 0x220D + 2 + 128], self.dir)
        self.assertEqual(fields_of(rows), expected_rows(self.path("dump", "snap0000.bmp"), 4)[:height])

    def test_a_new_font_size_changes_what_fits(self):
        # At 15:1 one image fits cells of 10 x 20 pixels; cells of 20 x 40 (a larger font,
        # the same 100 x 30 cells) hold two by two.
        output = self.browse("kitty", [b"Z15:1\r", (30, 100, 2000, 1200)])
        frames = output.split(b"\x1b[?2026h")[1:]
        at_15 = [frame for frame in frames if b"zoom 15:1" in frame]
        self.assertEqual(len(kitty_images(at_15[0])), 1)
        self.assertEqual(len(kitty_images(frames[-1])), 4)

    def test_sixel_frames_draw_over_an_erased_screen(self):
        output = self.browse("sixel", [b"Z4:1\r", b"]"])
        frames = output.split(b"\x1b[?2026h")[1:]
        for frame in frames:
            self.assertIn(b"\x1b[2J", frame)
        self.assertEqual(len(SIXEL.findall(frames[-1])), 3)
        size, rows = sixel_image(SIXEL.findall(frames[-1])[1], self.dir)  # the F, the second image shown
        self.assertEqual(size, (64 * 4, 32 * 4))
        os.makedirs(self.path("dump"))
        run_with_arguments([DEMO_ROM, "dump/", 64, 32, 1, 0x220D], self.dir)
        self.assertEqual(fields_of(rows), expected_rows(self.path("dump", "snap0000.bmp"), 4))


@unittest.skipIf(harness.ON_WINDOWS, "Xvfb and xterm run here only")
@harness.needs(all(shutil.which(t) for t in ("Xvfb", "xterm", "import")), "Xvfb, xterm and ImageMagick's import are")
class SixelInXterm(ToolTestCase):
    def test_xterm_shows_the_snapshots_pixels(self):
        # Xvfb picks a free display and says which; ended by SIGTERM, it removes its lock
        # file (one killed leaves it, and that display is taken for every later run).
        read_end, write_end = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1200x900x24"],
                                  pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as answer:
            display = ":" + answer.readline().strip()
        env = dict(os.environ, DISPLAY=display)
        try:
            command = " ".join(harness.tool_command(["--preview", "--graphics=sixel", DEMO_ROM, "out/", "64", "32",
                                                     "1", "0x220D"]))
            terminal = subprocess.Popen(["xterm", "-ti", "vt340", "-xrm", "XTerm*numColorRegisters: 256",
                                         "-geometry", "100x40+0+0", "-bg", "black", "-title", "sixel-test", "-e",
                                         "sh", "-c", "cd %s && %s; sleep 30" % (self.dir, command)], env=env)
            shot = self.path("shot.png")
            deadline = time.monotonic() + 30
            while not os.path.exists(self.path("out", "snap0000.bmp")):
                self.assertLess(time.monotonic(), deadline)
                time.sleep(0.1)
            time.sleep(1.5)
            subprocess.run(["import", "-window", "root", shot], env=env, check=True)
            terminal.kill()
            terminal.wait()
        finally:
            server.terminate()
            server.wait()
        from PIL import Image
        (width, height), fields = decoded_colours(self.path("out", "snap0000.bmp"))
        with Image.open(shot) as picture:
            screen = picture.convert("RGB")
            pixels = screen.load()
            # The F's blue, wherever xterm put the picture: its box is the image zoomed.
            blue = [(x, y) for y in range(screen.size[1]) for x in range(0, screen.size[0])
                    if tuple(field_of(c) for c in pixels[x, y]) == fields[width * height // 2]]
            self.assertTrue(blue, "no picture on screen")
            left, top = min(x for x, _ in blue), min(y for _, y in blue)
            right, bottom = max(x for x, _ in blue), max(y for _, y in blue)
            zoom = (right - left + 1) // width
            self.assertGreaterEqual(zoom, 1)
            self.assertEqual((right - left + 1, bottom - top + 1), (width * zoom, height * zoom))
            shown = [tuple(field_of(c) for c in pixels[left + x * zoom + zoom // 2, top + y * zoom + zoom // 2])
                     for y in range(height) for x in range(width)]
        self.assertEqual(shown, fields)


if __name__ == "__main__":
    harness.main()
