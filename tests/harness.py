"""Shared helpers for the tests that run the built velloran binary.

Every test script runs as a whole or by the names of its tests, as unittest
takes them:
    python3 tests/end_to_end_test.py
    python3 tests/end_to_end_test.py DumpRun.test_three_images_from_525
The tool is build/velloran unless VELLORAN_TOOL names another (velloran.exe
runs under Wine); VELLORAN_RACE_PRELOAD and VELLORAN_FAULT_PRELOAD name the
preloaded libraries, by default those in build/tests/preload/.
"""
import array
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The demo ROM: four 64 x 32 pictures from 0x20D (examples/make_demo_rom.py).
DEMO_ROM = os.path.join(ROOT, "examples", "demo.rom")
BUILD = os.path.join(ROOT, "build")


def built(variable, default):
    """The file that `variable` names, or the default in the build folder; absolute either way."""
    return os.path.abspath(os.environ.get(variable) or os.path.join(BUILD, default))


TOOL = built("VELLORAN_TOOL", "velloran")


def project_version():
    """The version CMake gives the build: from CMake when it runs the tests, else from CMakeLists.txt."""
    if os.environ.get("VELLORAN_VERSION"):
        return os.environ["VELLORAN_VERSION"]
    with open(os.path.join(ROOT, "CMakeLists.txt")) as cmake:
        return re.search(r"project\(velloran VERSION ([0-9.]+)", cmake.read()).group(1)


VERSION = project_version()
RACE_PRELOAD = built("VELLORAN_RACE_PRELOAD", "tests/preload/libvelloran_race_preload.so")
FAULT_PRELOAD = built("VELLORAN_FAULT_PRELOAD", "tests/preload/libvelloran_fault_preload.so")

# velloran.exe runs under Wine, whose console ends each line with "\r\n".
ON_WINDOWS = TOOL.endswith(".exe")
WINE = os.environ.get("VELLORAN_WINE", "/usr/lib/wine/wine64")
posix_only = unittest.skipIf(ON_WINDOWS, "needs a POSIX feature that Windows lacks")

# The readers we did not write, which check what the tool makes.
IMAGEMAGICK = "/usr/bin/convert"  # the real one, not a wrapper earlier on PATH
PNGCHECK = "/usr/bin/pngcheck"
# CI installs every reader: there a test whose reader is missing runs, and
# fails, instead of being skipped.
IN_CI = bool(os.environ.get("CI"))


def needs(present, what):
    """Skips a test when `present` is false (a reader or tool is missing), except in CI."""
    return unittest.skipIf(not present and not IN_CI, what + " needed")


def widen(value, bits=5):
    """A field of `bits` bits widened to 8 by repeating its bits: 5 bits v -> v << 3 | v >> 2."""
    wide, filled = 0, 8
    while filled > 0:
        wide |= value << (filled - bits) if filled >= bits else value >> (bits - filled)
        filled -= bits
    return wide & 0xFF


# With VELLORAN_VALGRIND=1 every run goes through valgrind's memcheck, and any
# invalid access or leak turns its exit status into 99, which no test accepts.
VALGRIND = os.environ.get("VELLORAN_VALGRIND") == "1"
VALGRIND_COMMAND = ["valgrind", "-q", "--error-exitcode=99", "--leak-check=full",
                    "--errors-for-leak-kinds=definite,indirect,possible"]
not_under_valgrind = unittest.skipIf(VALGRIND, "valgrind needs more address space than the limit allows")


def tool_command(args=()):
    if ON_WINDOWS:
        return [WINE, TOOL] + list(args)
    return (VALGRIND_COMMAND + [TOOL] if VALGRIND else [TOOL]) + list(args)


def console_text(output):
    """What the tool printed, as text with "\n" line ends on every platform."""
    text = output.decode("latin-1")
    return text.replace("\r\n", "\n") if ON_WINDOWS else text

HEAD = ("\nWelcome to the Velloran v0.002\n"
        "Raw 16-bit images out of ROM dumps, saved as numbered BMP files.\n\n")
ROM_PROMPT = "Enter rom file path (128 meg): "
PREFIX_PROMPT = "Enter bmp dump path: "
WIDTH_PROMPT = "Enter the bmp width: "
HEIGHT_PROMPT = "Enter the bmp height: "
COUNT_PROMPT = "How many consecutive images to dump: "
HINT = "\nData starts at: $020D, With that in mind...\n"
START_PROMPT = "Enter the starting image address (base 10 or decimal): "
PROMPTS = [ROM_PROMPT, PREFIX_PROMPT, WIDTH_PROMPT, HEIGHT_PROMPT, COUNT_PROMPT, START_PROMPT]
ALL_PROMPTS = HEAD + "".join(PROMPTS[:5]) + HINT + START_PROMPT

NOT_A_NUMBER = "\nNot a number: answer with a whole number such as 64, 0x40 or 0100.\n"
OUT_OF_RANGE = "\nNumber too large: at most 2147483647.\n"
NEGATIVE = "\nNegative numbers cannot be used here.\n"
IMAGE_TOO_LARGE = "\nImage too large: width x height x 2 must stay within 2147483647 bytes.\n"
BMP_TOO_LARGE = "\nImage too large: its BMP file must stay within 4294967295 bytes.\n"
PATH_TOO_LONG = "\nPath too long: at most 255 characters.\n"
INPUT_ENDED = "\nInput ended before all six answers were given.\n"
GIVING_UP = "\nToo much unusable input; giving up.\n"
UNABLE_TO_WRITE = "\nUnable to write to file"
END_OF_ROM = "\nEnd of rom reached"


def opening(name):
    return "\nOpening: " + name


def final_position(position):
    return "\n%d\n" % position


def answers(*words):
    """The answers as a user types them, one per line."""
    return ("\n".join(str(w) for w in words) + "\n").encode()


def run_tool(stdin, cwd, timeout=60, env=None, preexec_fn=None, args=()):
    """Runs the tool with `stdin` (bytes) and returns (stdout as text, exit status)."""
    done = subprocess.run(tool_command(args), input=stdin, stdout=subprocess.PIPE, cwd=cwd,
                          timeout=timeout, env=env, preexec_fn=preexec_fn)
    return console_text(done.stdout), done.returncode


def run_with_arguments(args, cwd, stdin=b"", stdout=subprocess.PIPE, timeout=60):
    """Runs the tool with command-line `args`; returns (stdout, stderr, exit status), as text."""
    done = subprocess.run(tool_command([str(a) for a in args]), input=stdin, stdout=stdout, stderr=subprocess.PIPE, cwd=cwd,
                          timeout=timeout)
    return console_text(done.stdout or b""), console_text(done.stderr), done.returncode


def random_bytes(count, seed):
    return random.Random(seed).randbytes(count)


def swap_red_blue(word):
    """ROM word to BMP word: bits 0-4 and 10-14 change places."""
    return (word & 0x83E0) | ((word & 0x1F) << 10) | ((word >> 10) & 0x1F)


def reference_bmp(raw, width, height):
    """The exact BMP file the tool must write for `raw` (the image's ROM bytes), made with arrays
    so that images of hundreds of MiB take seconds."""
    words = array.array("H", raw[:width * height * 2])
    if sys.byteorder != "little":
        words.byteswap()
    swapped = array.array("H", (swap_red_blue(w) for w in words))
    if sys.byteorder != "little":
        swapped.byteswap()
    pixels = swapped.tobytes()
    row_bytes = (width * 2 + 3) // 4 * 4
    padding = b"\0" * (row_bytes - width * 2)
    rows = [pixels[y * width * 2:(y + 1) * width * 2] + padding for y in range(height)]
    return bmp_headers(width, height) + b"".join(reversed(rows))


def bmp_headers(width, height):
    """The 54 header bytes of a `width` x `height` 16-bit BMP."""
    pixel_bytes = (width * 2 + 3) // 4 * 4 * height
    file_header = struct.pack("<2sIHHI", b"BM", 54 + pixel_bytes, 0, 0, 54)
    info_header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 16, 0, 0, 0, 0, 0, 0)
    return file_header + info_header


def field_of(channel):
    """The 5-bit field a decoded 8-bit channel came from, however it was scaled up."""
    return round(channel * 31 / 255)


def rom_colours(raw, width, height):
    """The (red, green, blue) 5-bit fields of each ROM pixel, top row first."""
    words = struct.unpack_from("<%dH" % (width * height), raw)
    return [(w & 31, (w >> 5) & 31, (w >> 10) & 31) for w in words]


def decoded_colours(path):
    """Size and 5-bit colour fields of a BMP as Pillow, a decoder we did not write, reads it."""
    from PIL import Image
    with Image.open(path) as bmp:
        pixels = list(bmp.convert("RGB").getdata())
        size = bmp.size
    return size, [(field_of(r), field_of(g), field_of(b)) for r, g, b in pixels]


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


# What follows every usage error on standard error.
USAGE_HINT = "\nTry 'velloran --help' for more information.\n"


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


class ToolTestCase(unittest.TestCase):
    """Each test runs in a fresh, empty temporary folder with an out/ folder."""

    def setUp(self):
        self._dir = tempfile.TemporaryDirectory(prefix="velloran-test-")
        self.dir = self._dir.name
        os.mkdir(self.path("out"))

    def tearDown(self):
        self._dir.cleanup()

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def run_tool(self, stdin, **kwargs):
        return run_tool(stdin, self.dir, **kwargs)

    def snapshots(self, folder="out"):
        return sorted(os.listdir(self.path(folder)))

    def check_usage_errors(self, cases):
        """Each (arguments, problem): status 2, the problem and the hint on standard error, nothing
        on standard output, and no snapshot written by any of them."""
        for args, problem in cases:
            with self.subTest(args=args):
                out, err, status = run_with_arguments(args, self.dir)
                self.assertEqual((out, err, status), ("", problem + USAGE_HINT, 2))
        self.assertEqual(self.snapshots(), [])


def check_tool():
    if not os.path.exists(TOOL):
        sys.exit("%s: no tool at %s; build it, or set VELLORAN_TOOL" % (sys.argv[0], TOOL))


def main():
    check_tool()
    unittest.main(verbosity=2)
