"""--preview draws each snapshot under its Opening line. The pictures are
checked against Pillow's reading of the BMP files, shrunk and averaged here;
through pseudo-terminals of set sizes (their width and height are the
defaults), through a pipe (80 x 24), and the transcript without the option."""
import os
import re
import resource
import subprocess

from harness import *  # noqa: F401,F403
import harness
import terminal

DEMO_ROM = harness.DEMO_ROM
DEMO_ARGS = [DEMO_ROM, "out/", 64, 32, 4, 0x20D]

PICTURE_LINE = re.compile(r"\n\x1b\[38;2;[^\n]*?\x1b\[0m")
CELL = re.compile(r"\x1b\[38;2;(\d+);(\d+);(\d+)m(?:\x1b\[48;2;(\d+);(\d+);(\d+)m)?\u2580")
NO_PICTURES = "velloran: this terminal cannot show pictures; --preview draws none\n"
BAD_COLUMNS = "velloran: --preview '%s': COLUMNS must be a whole number from 1 to 1000." + USAGE_HINT


def utf8(text):
    """The harness reads output as Latin-1; the pictures' blocks are UTF-8."""
    return text.encode("latin-1").decode("utf-8")


def picture_rows(lines):
    """The pixel rows that picture lines draw: foreground, then background."""
    rows = []
    for line in lines:
        assert line.startswith("\n") and line.endswith("\x1b[0m"), repr(line[:40])
        cells = CELL.findall(line)
        # Nothing in the line but its cells and the reset at the end.
        assert "".join(m.group(0) for m in CELL.finditer(line)) == line[1:-4], repr(line[:80])
        rows.append([tuple(int(v) for v in cell[:3]) for cell in cells])
        with_background = [cell for cell in cells if cell[3]]
        assert len(with_background) in (0, len(cells)), "some cells of a line lack a background"
        if with_background:
            rows.append([tuple(int(v) for v in cell[3:]) for cell in cells])
    return rows


def pictures_by_snapshot(transcript):
    """{snapshot name: pixel rows} for the pictures right under their Opening lines."""
    pictures = {}
    for match in re.finditer(r"\nOpening: (\S+)((?:%s)*)" % PICTURE_LINE.pattern, transcript):
        pictures[match.group(1)] = picture_rows(PICTURE_LINE.findall(match.group(2)))
    return pictures


widen = harness.widen


def expected_picture(bmp_path, columns, lines):
    """The picture of a BMP as Pillow reads it: shrunk by the smallest whole
    factor that fits, each pixel the rounded average of its block."""
    (width, height), fields = decoded_colours(bmp_path)
    k = 1
    while -(-width // k) > columns or -(-height // k) > 2 * lines:
        k += 1
    rows = []
    for top in range(0, height, k):
        row = []
        for left in range(0, width, k):
            block = [fields[y * width + x] for y in range(top, min(top + k, height))
                     for x in range(left, min(left + k, width))]
            row.append(tuple((sum(widen(p[c]) for p in block) * 2 + len(block)) // (2 * len(block))
                             for c in range(3)))
        rows.append(row)
    return k, rows


def run_in_terminal(args, cwd, columns, rows, term="xterm-256color"):
    """The tool's output on a pseudo-terminal of `columns` x `rows` whose TERM is `term`
    (None: unset): (everything shown, exit status)."""
    return terminal.run_in_terminal(harness.tool_command([str(a) for a in args]), cwd, columns, rows, term)


class Preview(ToolTestCase):
    def check_pictures(self, transcript, folder, names, columns, lines, scale):
        """Each snapshot in `names` has its picture, drawn shrunk by `scale`."""
        pictures = pictures_by_snapshot(transcript)
        self.assertEqual(sorted(pictures), ["out/" + n for n in names])
        for name, drawn in pictures.items():
            k, expected = expected_picture(self.path(folder, name), columns, lines)
            self.assertEqual(k, scale, name)
            self.assertEqual(drawn, expected, name)
        # Nothing else has colours: pictures stand only under Opening lines.
        self.assertEqual(len(PICTURE_LINE.findall(transcript)),
                         sum(-(-len(rows) // 2) for rows in pictures.values()))

    @posix_only
    def test_demo_rom_in_terminals_of_several_sizes(self):
        cases = [  # terminal columns, rows; option; the factor the pictures shrink by
            (100, 40, "--preview", 1),
            (40, 20, "--preview", 2),       # by the terminal's width
            (100, 10, "--preview", 2),      # by its height: 8 lines, 16 pixel rows
            (100, 40, "--preview=20", 4),   # by the width asked for
            (200, 3, "--preview", 16),      # one line left for a picture
            (20, 2, "--preview", 16),       # none left: still one line
        ]
        for columns, rows, option, scale in cases:
            with self.subTest(terminal="%dx%d" % (columns, rows), option=option):
                folder = "t%dx%d%s" % (columns, rows, option[-3:])
                os.makedirs(self.path(folder, "out"))
                transcript, status = run_in_terminal([option] + DEMO_ARGS, self.path(folder), columns, rows)
                self.assertEqual(status, 0, transcript[-300:])
                width = int(option.partition("=")[2] or columns)
                self.check_pictures(transcript, folder, ["snap%04d.bmp" % n for n in range(4)], width,
                                    max(1, rows - 2), scale)
                self.assertTrue(transcript.endswith("\n%d\n" % (0x20D + 4 * 64 * 32 * 2)))

    @posix_only
    def test_a_huge_terminal_counts_as_1000_by_1000(self):
        for width, height, scale in [(2400, 4, 3), (10, 2100, 2)]:
            with self.subTest(size="%dx%d" % (width, height)):
                write_file(self.path("rom.bin"), random_bytes(width * height * 2, seed=height))
                names = self.snapshots()
                transcript, status = run_in_terminal(["--preview", "rom.bin", "out/", width, height, 1, 0],
                                                     self.dir, 1200, 1100)
                self.assertEqual(status, 0, transcript[-300:])
                self.check_pictures(transcript, "", sorted(set(self.snapshots()) - set(names)), 1000, 1000, scale)

    @posix_only
    def test_without_the_option_the_transcript_is_unchanged(self):
        os.makedirs(self.path("with", "out"))
        os.makedirs(self.path("without", "out"))
        with_pictures, status = run_in_terminal(["--preview"] + DEMO_ARGS, self.path("with"), 100, 40)
        self.assertEqual(status, 0)
        without, status = run_in_terminal(DEMO_ARGS, self.path("without"), 100, 40)
        self.assertEqual(status, 0)
        self.assertNotIn("\x1b", without)
        self.assertEqual(PICTURE_LINE.sub("", with_pictures), without)
        self.assertEqual(without, "".join(opening("out/snap%04d.bmp" % n) for n in range(4)) +
                         final_position(0x20D + 4 * 4096))

    @posix_only
    def test_a_terminal_without_colours_gets_no_pictures(self):
        # The transcript without the option, and one line on standard error
        # (which shares the terminal here).
        for term in ["dumb", None, ""]:
            with self.subTest(term=term):
                folder = "term-%s" % term
                os.makedirs(self.path(folder, "out"))
                shown, status = run_in_terminal(["--preview"] + DEMO_ARGS, self.path(folder), 100, 40, term=term)
                self.assertEqual(status, 0)
                self.assertNotIn("\x1b", shown)
                self.assertEqual(shown, NO_PICTURES + "".join(opening("out/snap%04d.bmp" % n) for n in range(4))
                                 + final_position(0x20D + 4 * 4096))

    def test_through_a_pipe_the_room_is_80_by_24(self):
        cases = [  # width, height, option, the factor the picture shrinks by
            (64, 32, "--preview", 1),
            (256, 4096, "--preview", 86),   # a tall strip: at most 24 lines
            (1500, 2, "--preview", 19),
            (1500, 2, "--preview=1000", 2),
            (7, 3, "--preview=1", 7),
        ]
        for width, height, option, scale in cases:
            with self.subTest(size="%dx%d" % (width, height), option=option):
                write_file(self.path("rom.bin"), random_bytes(width * height * 2, seed=width))
                names = self.snapshots()
                stdout, stderr, status = run_with_arguments([option, "rom.bin", "out/", width, height, 1, 0],
                                                            self.dir)
                self.assertEqual((stderr, status), ("", 0))
                name = sorted(set(self.snapshots()) - set(names))
                columns = int(option.partition("=")[2] or 80)
                stdout = utf8(stdout)
                self.check_pictures(stdout, "", name, columns, 24, scale)
                self.assertLessEqual(len(PICTURE_LINE.findall(stdout)), 24)

    def test_the_dialogue_is_unchanged_around_the_pictures(self):
        # Five images asked for, three and a half in the ROM: the last one
        # drawn is the half image, filled up with black.
        rom = random_bytes(3 * 10 * 6 * 2 + 20, seed=12)
        typed = answers("../rom.bin", "out/", 10, 6, 5, 0)
        write_file(self.path("rom.bin"), rom)
        transcripts = []
        for folder, options in [("with", ["--preview"]), ("without", [])]:
            os.makedirs(self.path(folder, "out"))
            stdout, stderr, status = run_with_arguments(options, self.path(folder), stdin=typed)
            self.assertEqual((stderr, status), ("", 0))
            transcripts.append(utf8(stdout))
        with_pictures, without = transcripts
        self.check_pictures(with_pictures, "with", ["snap%04d.bmp" % n for n in range(4)], 80, 24, 1)
        self.assertNotIn("\x1b", without)
        self.assertEqual(PICTURE_LINE.sub("", with_pictures), without)
        self.assertTrue(without.startswith(ALL_PROMPTS) and END_OF_ROM in without, without)

    @posix_only
    def test_a_snapshot_that_failed_has_no_picture(self):
        write_file(self.path("rom.bin"), random_bytes(2 * 8 * 8 * 2, seed=3))
        # 100 bytes per file: every snapshot (182 bytes) fails and is removed.
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (100, 100))  # noqa: E731
        done = subprocess.run(harness.tool_command(["--preview", "rom.bin", "out/", "8", "8", "2", "0"]),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=self.dir, preexec_fn=limit)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stdout.decode().count(UNABLE_TO_WRITE), 2)
        self.assertNotIn(b"\x1b", done.stdout)
        self.assertEqual(self.snapshots(), [])

    @posix_only
    def test_a_picture_that_cannot_be_written_fails_the_run(self):
        write_file(self.path("rom.bin"), random_bytes(3 * 8 * 8 * 2, seed=4))
        # Standard output is a file that may grow to 1000 bytes: the first
        # snapshot (182 bytes) and its Opening line fit, its picture does not.
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (1000, 1000))  # noqa: E731
        with open(self.path("transcript"), "wb") as transcript:
            done = subprocess.run(harness.tool_command(["--preview", "rom.bin", "out/", "8", "8", "3", "0"]),
                                  stdout=transcript, stderr=subprocess.PIPE, cwd=self.dir, preexec_fn=limit)
        self.assertEqual((done.returncode, done.stderr), (1, b"velloran: write error: File too large\n"))
        # The run stops at the next snapshot; the one written is whole.
        self.assertEqual(self.snapshots(), ["snap0000.bmp"])
        self.assertEqual(read_file(self.path("out", "snap0000.bmp")),
                         reference_bmp(read_file(self.path("rom.bin"))[:128], 8, 8))

    def test_a_bad_width_is_a_usage_error(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=1))
        # 4294967297 would wrap to 1 in 32 bits.
        for columns in ["0", "1001", "99999", "4294967297", "", "abc", "-5", "12x", "0x10", " 40", "4 0"]:
            with self.subTest(columns=columns):
                stdout, stderr, status = run_with_arguments(["--preview=" + columns, "rom.bin", "out/", 4, 4, 1, 0],
                                                            self.dir, stdin=b"rom.bin\n")
                self.assertEqual((stdout, stderr, status), ("", BAD_COLUMNS % columns, 2))
                self.assertEqual(self.snapshots(), [])
        # "--preview 40" is the option without a width, then 40 as the ROM.
        stdout, stderr, status = run_with_arguments(["--preview", "40"], self.dir, stdin=b"")
        self.assertEqual(status, 1)
        self.assertIn(INPUT_ENDED, stdout)


if __name__ == "__main__":
    main()
