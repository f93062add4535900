"""Compressed streams: images read from a decoded stream are the files a dump of the decoded bytes
writes; a stream that is not one is refused before any file; --scan finds planted streams and
almost nothing in noise. The streams are made and checked by tests/streams.py, not by the tool."""
import os
import random
import struct

from PIL import Image

from harness import *  # noqa: F401,F403
from png_test import texts
import streams

POINTER_BASE = 0x08000000


def picture_bytes(seed, size):
    """Bytes that compress as pictures do: runs, repeated rows and some noise."""
    r = random.Random(seed)
    out = bytearray()
    while len(out) < size:
        kind = r.randrange(4)
        if kind == 0:
            out += bytes([r.randrange(256)]) * r.randrange(3, 40)
        elif kind == 1 and len(out) > 64:
            start = r.randrange(len(out) - 32)
            out += out[start:start + r.randrange(4, 32)]
        else:
            out += bytes(r.randrange(256) for _ in range(r.randrange(1, 12)))
    return bytes(out[:size])


def lz11_forms(size):
    """Data whose greedy lz11 code holds all three copy forms: short repeats, a run of 100 and
    one of 1000."""
    body = picture_bytes(7, size - 1100)
    return body[:size // 3] + b"\x55" * 100 + body[size // 3:] + b"\0" * 1000


def no_runs(size):
    """Repeats only at distances of 2 or more: a copy at distance 1 never fits."""
    r = random.Random(8)
    pattern = bytes(r.randrange(1, 256) for _ in range(61))
    out = bytearray()
    while len(out) < size:
        out += pattern[r.randrange(30):][:r.randrange(8, 30)] + bytes([r.randrange(256)])
    return bytes(b for i, b in enumerate(out[:size]))


# name, --compression, the stream, the decoded bytes
def cases(size=3072):
    plain = picture_bytes(1, size)
    nibbles = bytes(random.Random(2).randrange(16) * 0x11 ^ random.Random(3).randrange(4) for _ in range(size))
    return [
        ("lz77, distance 1", "lz77", streams.lz77(b"\0" * 600 + plain[600:]), b"\0" * 600 + plain[600:]),
        ("lz77, distances of 2 or more", "lz77", streams.lz77(no_runs(size), min_distance=2), no_runs(size)),
        ("lz11, its three forms", "lz11", streams.lz11(lz11_forms(size)), lz11_forms(size)),
        ("rle", "rle", streams.rle(plain), plain),
        ("huffman 4-bit", "huffman", streams.huffman(nibbles, 4), nibbles),
        ("huffman 8-bit", "auto", streams.huffman(plain[:size // 2] * 2, 8), plain[:size // 2] * 2),
    ]


class Decoding(ToolTestCase):
    def setUp(self):
        super().setUp()
        for folder in ("plain", "png", "plainpng"):
            os.mkdir(self.path(folder))

    def test_the_test_streams_decode_to_their_bytes(self):
        """The test's own decoder reads back what the test's encoders wrote, each form present."""
        for name, _, stream, plain in cases():
            with self.subTest(name):
                self.assertEqual(streams.decode(stream), plain)
        lz11 = streams.lz11(lz11_forms(3072))
        self.assertIn(0x10, lz11)  # a 4-byte copy's first nibble: 1

    def test_a_stream_in_noise_dumps_as_its_decoded_bytes(self):
        for name, compression, stream, plain in cases():
            rom = bytearray(random_bytes(20000, seed=9))
            rom[0x1000:0x1000 + len(stream)] = stream
            write_file(self.path("rom.bin"), rom)
            write_file(self.path("plain.bin"), plain)
            for options, width, height in ([], 32, 16), (["--format=t4p"], 64, 16), (["--png"], 32, 16):
                with self.subTest(name, options=options):
                    for folder in ("out", "plain", "png", "plainpng"):
                        for old in os.listdir(self.path(folder)):
                            os.remove(self.path(folder, old))
                    png = "--png" in options
                    count = len(plain) // (width * height * (2 if not options else 1 if png else 0.5)) + 1
                    out, err, status = run_with_arguments(
                        options + ["--compression=" + compression, "rom.bin", "png/" if png else "out/", width, height,
                                   int(count), 0x1000], self.dir)
                    self.assertEqual((err, status), ("", 0))
                    _, err, status = run_with_arguments(
                        options + ["plain.bin", "plainpng/" if png else "plain/", width, height, int(count), 0], self.dir)
                    self.assertEqual((err, status), ("", 0))
                    self.assertIn("End of rom reached", out)  # the decoded bytes ran out, as a short ROM does
                    if not png:
                        self.assertEqual(self.snapshots("out"), self.snapshots("plain"))
                        for snapshot in self.snapshots("out"):
                            self.assertEqual(read_file(self.path("out", snapshot)), read_file(self.path("plain", snapshot)))
                        continue
                    self.assertEqual(self.snapshots("png"), self.snapshots("plainpng"))
                    for snapshot in self.snapshots("png"):
                        with Image.open(self.path("png", snapshot)) as made, \
                                Image.open(self.path("plainpng", snapshot)) as expected:
                            self.assertEqual(list(made.getdata()), list(expected.getdata()))
                        origin = texts(read_file(self.path("png", snapshot)))
                        self.assertEqual(origin["Offset"], "0x00001000")
                        self.assertEqual(origin["Compression"], streams.decode(stream) and
                                         {0x10: "lz77", 0x11: "lz11", 0x30: "rle"}.get(stream[0], "huffman"))

    def test_a_stream_that_is_not_one_is_refused_before_any_file(self):
        at = 0x1000
        cases = [  # name, option, the stream, the problem's words
            ("a copy from before the start", "lz77", streams.header(0x10, 16) + b"\x80\x00\x05",
             "a copy from before the decoded bytes' start, at 0x00001005"),
            ("a copy from one byte before the start", "lz77", streams.header(0x10, 16) + b"\x40A\x00\x01",
             "a copy from before the decoded bytes' start, at 0x00001006"),
            ("lz11's copy before the start", "lz11", streams.header(0x11, 16) + b"\x40A\x20\x05",
             "a copy from before the decoded bytes' start, at 0x00001006"),
            ("another type asked", "lz11", streams.lz77(b"abc" * 20), "its header's type byte 0x10 is not that of lz11"),
            ("none under auto", "auto", b"\x55\x10\x00\x00" + b"\0" * 16,
             "its header's type byte is not that of a stream: lz77 0x10, lz11 0x11, rle 0x30, huffman 0x24 or 0x28"),
            ("a decoded size of 0", "rle", b"\x30\0\0\0" + b"\x81A", "its header gives a decoded size of 0"),
            ("a tree node outside its tree", "huffman", b"\x28\x10\0\0\x00\x05" + b"\0" * 8,
             "a node of its huffman tree points outside the tree, at 0x00001005"),
        ]
        for name, compression, stream, problem in cases:
            with self.subTest(name):
                rom = bytearray(random_bytes(0x2000, seed=10))
                rom[at:at + len(stream)] = stream
                write_file(self.path("rom.bin"), rom)
                out, err, status = run_with_arguments(
                    ["--compression=" + compression, "rom.bin", "out/", 8, 8, 1, at], self.dir)
                self.assertEqual((out, err, status), ("", "velloran: the stream at 0x00001000: %s\n" % problem, 2))
                self.assertEqual(self.snapshots(), [])

    def test_a_rom_that_ends_inside_the_stream(self):
        stream = streams.lz77(picture_bytes(4, 2000))
        write_file(self.path("rom.bin"), random_bytes(0x100, seed=11) + stream[:-3])
        out, err, status = run_with_arguments(["--compression=lz77", "rom.bin", "out/", 8, 8, 1, 0x100], self.dir)
        self.assertEqual(status, 2)
        self.assertRegex(err, r"^velloran: the stream at 0x00000100: the ROM ends inside the stream, at 0x[0-9A-F]{8}\n$")
        self.assertEqual(self.snapshots(), [])

    def test_a_last_copy_past_the_size_is_cut_there(self):
        # 4 literals, then a copy of 18 where 6 bytes are left.
        stream = streams.header(0x10, 10) + b"\x08ABCD" + b"\xF0\x03"
        rom = bytearray(random_bytes(0x2000, seed=12))
        rom[0x100:0x100 + len(stream)] = stream
        rom[0x40:0x44] = struct.pack("<I", POINTER_BASE + 0x100)
        write_file(self.path("rom.bin"), rom)
        _, err, status = run_with_arguments(["--compression=lz77", "--format=i8", "rom.bin", "out/", 10, 1, 1, 0x100],
                                            self.dir)
        self.assertEqual((err, status), ("", 0))
        with Image.open(self.path("out", "snap0000.bmp")) as bmp:
            self.assertEqual(bytes(bmp.getdata()), b"ABCDABCDAB")
        # A stream cut short is no strict one: the scan leaves it out.
        out, _, status = run_with_arguments(["--scan", "--min-size=1", "rom.bin"], self.dir)
        self.assertNotIn("0x00000100", out)

    def test_decoded_offset_starts_further_into_the_stream(self):
        plain = picture_bytes(5, 4096)
        rom = bytearray(random_bytes(0x3000, seed=13))
        stream = streams.lz77(plain)
        rom[0x800:0x800 + len(stream)] = stream
        write_file(self.path("rom.bin"), rom)
        write_file(self.path("plain.bin"), plain)
        _, err, status = run_with_arguments(
            ["--compression=lz77", "--decoded-offset=0x400", "rom.bin", "out/", 16, 16, 2, 0x800], self.dir)
        self.assertEqual((err, status), ("", 0))
        _, err, status = run_with_arguments(["plain.bin", "plain/", 16, 16, 2, 0x400], self.dir)
        for name in ("snap0000.bmp", "snap0001.bmp"):
            self.assertEqual(read_file(self.path("out", name)), read_file(self.path("plain", name)))

    def test_stream_options_that_cannot_be_used(self):
        write_file(self.path("rom.bin"), b"\0" * 64)
        self.check_usage_errors([
            (["--compression=zip", "rom.bin"], "velloran: --compression 'zip': TYPE must be lz77, lz11, rle, huffman or auto."),
            (["--decoded-offset=5", "rom.bin"], "velloran: --decoded-offset is for a stream: give --compression too"),
            (["--compression=lz77", "--decoded-offset=x", "rom.bin"],
             "velloran: --decoded-offset 'x': N must be a number of bytes from 0 to 16777215."),
            (["--scan"], "velloran: --scan takes one argument, the ROM"),
            (["--scan", "rom.bin", "out/"], "velloran: --scan takes one argument, the ROM"),
            (["--scan", "--browse", "rom.bin"], "velloran: --scan lists the streams of a ROM: not with --browse, --preview or --compression"),
            (["--pointer-base=0x100000000", "--scan", "rom.bin"], "velloran: --pointer-base '0x100000000': ADDRESS must be a number below 2^32, or none."),
            (["--min-size=1", "rom.bin"], "velloran: --pointer-base and --min-size are for --scan"),
        ])


class Scan(ToolTestCase):
    def plant(self, rom, rng, stream, at=None):
        """`stream` at a free 4-byte boundary, with a pointer to it somewhere else."""
        at = at if at is not None else rng.randrange(0, len(rom) - len(stream)) & ~3
        rom[at:at + len(stream)] = stream
        pointer = rng.randrange(0, len(rom) - 4) & ~3
        while at <= pointer < at + len(stream):
            pointer = rng.randrange(0, len(rom) - 4) & ~3
        rom[pointer:pointer + 4] = struct.pack("<I", POINTER_BASE + at)
        return at

    def scan(self, args):
        out, err, status = run_with_arguments(["--scan"] + args, self.dir, timeout=300)
        found = {}
        for line in out.splitlines():
            words = line.split()
            found[int(words[0], 16)] = (words[1], int(words[2]), int(words[3]), int(words[4]), " ".join(words[5:]))
        return found, err, status

    def test_every_planted_stream_is_listed(self):
        rng = random.Random(14)
        rom = bytearray(random_bytes(8 << 20, seed=15))
        planted = {}
        for index in range(24):
            name, compression, stream, plain = cases(1024 + 512 * (index % 5))[index % 6]
            at = (index + 1) * (320 << 10)  # apart, so that no stream lands on another
            self.plant(rom, rng, stream, at)
            planted[at] = ({0x10: "lz77", 0x11: "lz11", 0x30: "rle"}.get(stream[0], "huffman"), len(plain), len(stream))
        write_file(self.path("rom.bin"), rom)
        found, err, status = self.scan(["rom.bin"])
        self.assertEqual((err, status), ("", 0))
        for at, (kind, size, length) in planted.items():
            with self.subTest(at=hex(at)):
                self.assertIn(at, found)
                self.assertEqual(found[at][:3], (kind, size, length))
                self.assertGreaterEqual(found[at][3], 1)
                self.assertEqual(found[at][4], "velloran --browse --compression=%s rom.bin ./ 64 64 1 0x%08X" % (kind, at))
        self.assertLessEqual(len(found) - len(planted), 8, "false finds in 8 MiB of noise")

    def test_noise_gives_almost_nothing(self):
        write_file(self.path("rom.bin"), random_bytes(16 << 20, seed=16))
        found, err, status = self.scan(["rom.bin"])
        self.assertEqual(err, "")
        self.assertLessEqual(len(found), 16)
        self.assertEqual(status, 0 if found else 1)

    def test_the_filters_turn_off(self):
        rng = random.Random(17)
        rom = bytearray(random_bytes(1 << 16, seed=18))
        stream = streams.rle(picture_bytes(19, 20))  # small, and pointed at by nothing
        rom[0x4000:0x4000 + len(stream)] = stream
        write_file(self.path("rom.bin"), rom)
        found, _, status = self.scan(["rom.bin"])
        self.assertNotIn(0x4000, found)
        found, _, status = self.scan(["--pointer-base=none", "--min-size=0", "rom.bin"])
        self.assertEqual(found[0x4000][:4], ("rle", 20, len(stream), 0))
        # A ROM mapped elsewhere: its pointers counted from there.
        self.plant(rom, rng, streams.lz77(picture_bytes(20, 600)), 0x8000)
        rom[0x100:0x104] = struct.pack("<I", 0x02000000 + 0x8000)
        write_file(self.path("rom.bin"), rom)
        found, _, _ = self.scan(["--pointer-base=0x02000000", "rom.bin"])
        self.assertEqual(found[0x8000][:2], ("lz77", 600))
        self.assertEqual(found[0x8000][3], 1)

    @posix_only
    def test_progress_on_a_terminal_is_wiped_before_the_list(self):
        from terminal import run_in_terminal
        rom = bytearray(random_bytes(24 << 20, seed=21))
        at = self.plant(rom, random.Random(22), streams.lz77(picture_bytes(23, 800)), 20 << 20)
        write_file(self.path("rom.bin"), rom)
        shown, status = run_in_terminal(tool_command(["--scan", "rom.bin"]), self.dir)
        self.assertEqual(status, 0)
        self.assertIn("\rscanning: ", shown)
        first = shown.index("\r0x") + 1  # the list's first line
        progress, listed = shown[:first], shown[first:]
        self.assertIn("0x%08X lz77 800 " % at, listed)
        last = progress[progress.rindex("\rscanning: ") + 1:]
        # The last progress, blanked over and the cursor back at the line's start.
        self.assertRegex(last, r"^scanning: \d+%\r +\r$")
        self.assertNotIn("scanning", listed)

    def test_status_when_nothing_is_found_and_when_the_rom_is_missing(self):
        write_file(self.path("rom.bin"), b"\0" * 4096)
        self.assertEqual(run_with_arguments(["--scan", "rom.bin"], self.dir), ("", "", 1))
        out, err, status = run_with_arguments(["--scan", "missing.rom"], self.dir)
        self.assertEqual((out, status), ("", 2))
        self.assertIn("missing.rom", err)


if __name__ == "__main__":
    main()
