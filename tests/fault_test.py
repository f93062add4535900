"""Fails every file and memory call of one scripted dump in turn (Linux, LD_PRELOAD)
and checks that no earlier file changed, no snapshot is partial, and every failure
was reported."""
import collections
import hashlib
import os
import re
import struct
import subprocess
import sys

from harness import *  # noqa: F401,F403
import harness

FAULT_PRELOAD = harness.FAULT_PRELOAD

WIDTH, HEIGHT, COUNT, START = 5, 3, 5, 3
IMAGE_BYTES = WIDTH * HEIGHT * 2
# Three whole images and half of a fourth after the start offset.
ROM = random_bytes(START + 3 * IMAGE_BYTES + IMAGE_BYTES // 2, seed=40)
SCRIPT = answers("rom.bin", "out/", WIDTH, HEIGHT, COUNT, START)
EARLIER_FILES = {
    "out/snap0000.bmp": b"an earlier dump",
    "out/snap0002.bmp": reference_bmp(random_bytes(IMAGE_BYTES, seed=41), WIDTH, HEIGHT),
    "out/notes.txt": b"keep me",
}

FAILURE_MESSAGES = ["velloran: --palette pal.gpl: ", UNABLE_TO_WRITE, "\nUnable to read rom", "\nfile not found", "\nUnable to allocate mem",
                    "\nUnable to allocate bitmap", INPUT_ENDED, GIVING_UP,
                    "\nUnable to read the answers.\n", "velloran: write error: "]
# Calls whose failure the tool may rightly shrug off: the prefix's folder
# check (the writes would report a lasting error) and catching the stop
# signals and making their wake-up pipe (which matter only if one comes).
# The dump must still be whole.
HARMLESS = {"stat", "stat64", "sigaction", "pipe", "opendir"}


def harmless(call):
    """A call the tool may do without: listed above, or made while listing the prefix's
    folder, which only tells where the free numbers begin."""
    return call in HARMLESS or call.endswith("@listing")
LEFT_BEHIND = re.compile(r"\nUnable to remove the incomplete file: (\S+)")


def expected_images():
    """Each image of the script's ROM as the BMP file that must hold it."""
    images = []
    for index in range(4):
        raw = ROM[START + index * IMAGE_BYTES:START + (index + 1) * IMAGE_BYTES]
        images.append(reference_bmp(raw.ljust(IMAGE_BYTES, b"\0"), WIDTH, HEIGHT))
    return images


# The indexed run: 4-bit linear indices (three bytes a row of five), coloured by a GIMP palette.
PALETTE = [((i * 40) % 256, (i * 90) % 256, 255 - i * 15) for i in range(16)]
PALETTE_FILE = ("GIMP Palette\n" + "".join("%d %d %d\n" % c for c in PALETTE)).encode()
INDEXED_ARGS = ["--format=i4", "--palette=pal.gpl"]
INDEXED_BYTES = 3 * HEIGHT


def paletted_bmp(raw, width, height):
    """The 4-bit BMP of i4 rows: the ROM's bytes, each row padded to four bytes, bottom row first."""
    row_bytes = (width * 4 + 31) // 32 * 4
    used = (width * 4 + 7) // 8
    rows = [raw[y * used:(y + 1) * used] for y in range(height)]
    # A row's last nibble past the width is not the image's: zero in the file.
    if width % 2:
        rows = [row[:-1] + bytes([row[-1] & 0xF0]) for row in rows]
    pixels = b"".join(row.ljust(row_bytes, b"\0") for row in reversed(rows))
    table = b"".join(bytes([b, g, r, 0]) for r, g, b in PALETTE)
    offset = 54 + len(table)
    return (struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
            + struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, 0, 0, 0, 16, 0) + table + pixels)


def expected_indexed_images():
    return [paletted_bmp(ROM[START + i * INDEXED_BYTES:START + (i + 1) * INDEXED_BYTES], WIDTH, HEIGHT)
            for i in range(5)]


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


@unittest.skipIf(os.environ.get("VELLORAN_SANITIZED") == "1", "a sanitizer runtime must be preloaded first")
class EveryCallFails(ToolTestCase):
    def setUp(self):
        super().setUp()
        write_file(self.path("rom.bin"), ROM)
        write_file(self.path("pal.gpl"), PALETTE_FILE)
        for name, content in EARLIER_FILES.items():
            write_file(self.path(name), content)
        self.before = {name: digest(self.path(name)) for name in EARLIER_FILES}
        self.images = expected_images()

    def run_script(self, args=(), **env):
        """Standard error follows standard output: a failed print is reported there."""
        done = subprocess.run(harness.tool_command(args), input=SCRIPT, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=self.dir, timeout=30, env=dict(os.environ, **env))
        return console_text(done.stdout) + console_text(done.stderr), done.returncode

    def check_files(self, out, kept=()):
        """Earlier files unchanged; each new snapshot whole and holding one of the images."""
        for name, before in self.before.items():
            self.assertEqual(digest(self.path(name)), before, name + " changed")
        reported_left = set(LEFT_BEHIND.findall(out))
        written = []
        for name in self.snapshots():
            relative = "out/" + name
            if relative in EARLIER_FILES or relative in reported_left or relative in kept:
                continue
            if name.endswith(".png"):
                # Pillow decodes every row, or fails on a partial file.
                index = self.png_image_index(relative)
                written.append(name)
                continue
            content = read_file(self.path(relative))
            self.assertGreaterEqual(len(content), 54, relative + " is partial")
            self.assertEqual(len(content), struct.unpack_from("<I", content, 2)[0], relative + " is partial")
            self.assertIn(content, self.images, relative + " holds no image of the ROM")
            index = self.images.index(content)
            if self.images != expected_images():
                written.append(name)
                continue
            raw = ROM[START + index * IMAGE_BYTES:START + (index + 1) * IMAGE_BYTES].ljust(IMAGE_BYTES, b"\0")
            self.assertEqual(decoded_colours(self.path(relative)),
                             ((WIDTH, HEIGHT), rom_colours(raw, WIDTH, HEIGHT)), relative)
            written.append(name)
        self.assertEqual(set(os.listdir(self.dir)) - {"report"}, {"out", "rom.bin", "pal.gpl"})
        return written

    def png_image_index(self, relative):
        """Which of the ROM's images a PNG snapshot holds, once Pillow has decoded all of it."""
        from PIL import Image
        with Image.open(self.path(relative)) as png:
            png.load()
            colours = [(field_of(r), field_of(g), field_of(b)) for r, g, b in png.convert("RGB").getdata()]
            size = png.size
        self.assertEqual(size, (WIDTH, HEIGHT), relative)
        for index in range(4):
            raw = ROM[START + index * IMAGE_BYTES:START + (index + 1) * IMAGE_BYTES].ljust(IMAGE_BYTES, b"\0")
            if rom_colours(raw, WIDTH, HEIGHT) == colours:
                return index
        self.fail(relative + " holds no image of the ROM")

    def test_each_call_failed_in_turn(self):
        self.fail_each_call_in_turn()

    def test_each_call_failed_in_turn_with_png(self):
        # zlib's memory and the PNG's writes too; its names are counted on their own.
        self.fail_each_call_in_turn(["--png"], ["snap0000.png", "snap0001.png", "snap0002.png", "snap0003.png"])

    def test_each_call_failed_in_turn_with_an_indexed_format_and_a_palette_file(self):
        # The palette file's calls too: one that fails stops the run before any snapshot, status 2.
        self.images = expected_indexed_images()
        self.fail_each_call_in_turn(INDEXED_ARGS, ["snap0001.bmp", "snap0003.bmp", "snap0004.bmp", "snap0005.bmp",
                                                   "snap0006.bmp"], usage_failures=True)

    def test_each_call_failed_in_turn_with_pictures(self):
        # Drawing adds memory for each picture and a write of it.
        self.fail_each_call_in_turn(["--preview"])

    def fail_each_call_in_turn(self, args=(), whole=("snap0001.bmp", "snap0003.bmp", "snap0004.bmp", "snap0005.bmp"),
                               usage_failures=False):
        report = self.path("report")
        failed = collections.Counter()
        for call in range(1, 10000):
            out, status = self.run_script(args, LD_PRELOAD=FAULT_PRELOAD, FAULT_CALL=str(call), FAULT_REPORT=report)
            counted, failed_call, _, _ = read_file(report).decode().split()
            try:
                palette_failed = usage_failures and status == 2 and "velloran: --palette pal.gpl: " in out
                self.assertIn(status, (0, 1, 2) if palette_failed else (0, 1), "ended by a signal")
                written = self.check_files(out)
                if palette_failed:
                    self.assertEqual(written, [], "a snapshot after the palette failed")
                if failed_call == "-" or (harmless(failed_call) and status == 0):
                    # Every call ran as it should: the whole dump is there.
                    self.assertEqual(status, 0, out)
                    self.assertEqual(written, list(whole))
                    if failed_call == "-":
                        break
                else:
                    self.assertEqual(status, 2 if palette_failed else 1, "the run succeeded:" + out)
                    self.assertTrue(any(message in out for message in FAILURE_MESSAGES), "no message:" + out)
            except AssertionError as error:
                raise AssertionError("call %d (%s) failed: %s" % (call, failed_call, error)) from None
            failed[failed_call] += 1
            # A fresh start for the next call: earlier files only.
            for name in self.snapshots():
                if "out/" + name not in EARLIER_FILES:
                    os.remove(self.path("out", name))
        else:
            self.fail("no run got through without a failed call")
        # The dump's own calls were all reached: answers, ROM, snapshots, cleanup, memory.
        self.assertLessEqual({"getc", "open64", "fstat64", "lseek64", "read", "pwrite64", "close", "malloc", "stat64",
                              "sigaction", "pipe", "opendir"},
                             set(failed))
        print("\n%s: %d calls failed, one per run, of %s counted in a whole run: %s" % (
            " ".join(args) or "no options", sum(failed.values()), counted, ", ".join("%s %d" % item for item in sorted(failed.items()))),
            file=sys.stderr)

    def test_an_incomplete_file_that_cannot_be_removed_is_named(self):
        report = self.path("report")
        out, status = self.run_script(LD_PRELOAD=FAULT_PRELOAD, FAULT_REPORT=report)
        self.assertEqual(status, 0, out)  # no call failed
        counted = int(read_file(report).decode().split()[0])
        left_behind = 0
        for call in range(1, counted + 1):
            for name in self.snapshots():
                if "out/" + name not in EARLIER_FILES:
                    os.remove(self.path("out", name))
            out, status = self.run_script(LD_PRELOAD=FAULT_PRELOAD, FAULT_CALL=str(call), FAULT_REPORT=report,
                                          FAULT_UNLINK="1")
            _, failed_call, unlinks_failed, _ = read_file(report).decode().split()
            if unlinks_failed == "0":
                continue
            left_behind += 1
            where = "call %d (%s): %s" % (call, failed_call, out)
            self.assertEqual(status, 1, where)
            named = LEFT_BEHIND.findall(out)
            self.assertEqual(len(named), int(unlinks_failed), where)
            self.assertTrue(os.path.exists(self.path(named[0])), where)
            self.check_files(out)
        # Each failed write or close of a snapshot leaves one behind.
        self.assertGreaterEqual(left_behind, 8)
        print("\n%d incomplete files could not be removed, each one named" % left_behind, file=sys.stderr)

    def test_a_file_whose_length_cannot_be_set_is_removed(self):
        # Rows wholly past the ROM's end are holes, and the file is given its length at the
        # end: if that fails, the snapshot is incomplete, and goes like any other.
        for call in ["ftruncate", "ftruncate64"]:
            with self.subTest(call=call):
                # One row of 429,496,729 pixels: its runs past the ROM's end are the file's end.
                done = subprocess.run(harness.tool_command(), input=answers("rom.bin", "out/", 429496729, 1, 1, 0),
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=self.dir, timeout=60,
                                      env=dict(os.environ, LD_PRELOAD=FAULT_PRELOAD, FAULT_ONLY=call, FAULT_CALL="1"))
                out = console_text(done.stdout)
                if "\nUnable" not in out:  # this C library gives the call the other name
                    for name in self.snapshots():
                        if "out/" + name not in EARLIER_FILES:
                            os.remove(self.path("out", name))
                    continue
                self.assertEqual((out, done.returncode), (ALL_PROMPTS + opening("out/snap0001.bmp") + UNABLE_TO_WRITE
                                                          + END_OF_ROM + final_position(len(ROM)), 1))
                self.check_files(out)
                self.assertEqual(set(self.snapshots()), {"snap0000.bmp", "snap0002.bmp", "notes.txt"})
                return
        self.fail("the snapshot's length was never set")

    def test_a_snapshot_that_cannot_be_created_or_written_says_why_on_standard_error(self):
        # The first create and the first write of a snapshot fail.
        for call, fail, error, reason in [("open64", "1", "13", "Permission denied"),
                                          ("pwrite64", "1", "28", "No space left on device")]:
            with self.subTest(call=call):
                for name in self.snapshots():
                    if "out/" + name not in EARLIER_FILES:
                        os.remove(self.path("out", name))
                done = subprocess.run(harness.tool_command(), input=SCRIPT, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                      cwd=self.dir, timeout=30,
                                      env=dict(os.environ, LD_PRELOAD=FAULT_PRELOAD, FAULT_ONLY=call, FAULT_CALL=fail,
                                               FAULT_ERRNO=error))
                out = console_text(done.stdout)
                self.assertIn(opening("out/snap0001.bmp") + UNABLE_TO_WRITE + opening("out/snap0001.bmp"), out)
                self.assertEqual(console_text(done.stderr), "velloran: out/snap0001.bmp: %s\n" % reason)
                self.assertEqual(done.returncode, 1)
                self.check_files(out)

    def test_a_file_that_appears_just_before_the_create_is_kept(self):
        out, status = self.run_script(LD_PRELOAD=harness.RACE_PRELOAD, RACE_NAME="out/snap0001.bmp")
        self.assertEqual(status, 0, out)
        self.assertEqual(read_file(self.path("out", "snap0001.bmp")), b"racer")
        written = self.check_files(out, kept={"out/snap0001.bmp"})
        self.assertEqual(written, ["snap0003.bmp", "snap0004.bmp", "snap0005.bmp", "snap0006.bmp"])

if __name__ == "__main__":
    harness.main()
