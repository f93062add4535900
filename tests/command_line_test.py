"""The command line as a user gives it: options, answers as arguments, paths
with blanks (as arguments and quoted in the dialogue), and every kind of
argument that cannot be used."""
import os
import subprocess

from harness import *  # noqa: F401,F403
from terminal import run_in_terminal
import harness

USAGE_LINE = "Usage: velloran [OPTION]... [ROM [PREFIX [WIDTH [HEIGHT [COUNT [START]]]]]]\n"
VERSION_NOTICE = ("Copyright (C) 2026 The Velloran developers\n"
                  "License MIT: <https://opensource.org/licenses/MIT>\n"
                  "This is free software: you are free to change and redistribute it.\n"
                  "There is NO WARRANTY, to the extent permitted by law.\n")
UNTERMINATED = "\nUnterminated quote: a quoted path ends with the same quote on the same line.\n"


def no_such_folder(folder):
    return "\nNo such folder: %s\n" % folder


class CommandLineCase(ToolTestCase):
    def setUp(self):
        super().setUp()
        self.rom = random_bytes(20000, seed=50)
        write_file(self.path("rom.bin"), self.rom)

    def run_args(self, *args, stdin=b""):
        return run_with_arguments([str(a) for a in args], self.dir, stdin=stdin)


class Options(CommandLineCase):
    def test_help_and_version(self):
        for args in (["--help"], ["-h"], ["rom.bin", "--help"], ["--version", "--help"]):
            with self.subTest(args=args):
                out, err, status = self.run_args(*args, stdin=b"rom.bin out/ 2 2 1 0\n")
                if args[0] == "--version":
                    self.assertEqual(out, "velloran %s\n" % harness.VERSION + VERSION_NOTICE)
                else:
                    self.assertTrue(out.startswith(USAGE_LINE), out)
                    for part in ["ROM", "PREFIX", "WIDTH", "HEIGHT", "COUNT", "START", "0x20D", "--version",
                                 "Exit status:", "  2  ", "Example:"]:
                        self.assertIn(part, out)
                self.assertEqual((err, status), ("", 0))
                self.assertEqual(self.snapshots(), [])

    @posix_only
    def test_help_to_a_full_device_is_a_failed_run(self):
        with open("/dev/full", "wb") as full:
            _, err, status = run_with_arguments(["--help"], self.dir, stdout=full)
        self.assertEqual((err, status), ("velloran: write error: No space left on device\n", 1))

    def test_unusable_command_lines(self):
        os.mkdir(self.path("my roms"))
        # (arguments, the problem named on standard error)
        cases = [
            (["--frobnicate"], "unknown option '--frobnicate'"),
            (["-x"], "unknown option '-x'"),
            (["rom.bin", "out/", "2", "2", "1", "0", "extra"], "too many arguments: 'extra' after the six answers"),
            (["rom.bin", "out/", "64abc"], "WIDTH '64abc': Not a number: answer with a whole number such as "
                                           "64, 0x40 or 0100."),
            (["rom.bin", "out/", "08"], "WIDTH '08': Not a number"),
            (["rom.bin", "out/", ""], "WIDTH '': Not a number"),
            (["rom.bin", "out/", "64 "], "WIDTH '64 ': Not a number"),
            (["rom.bin", "out/", "2", "-2"], "HEIGHT '-2': Negative numbers cannot be used here."),
            (["rom.bin", "out/", "2", "2", "99999999999"], "COUNT '99999999999': Number too large: at most "
                                                           "2147483647."),
            (["rom.bin", "out/", "2", "2", "1", "18446744073709551617"], "START '18446744073709551617': "
                                                                         "Number too large"),
            (["rom.bin", "out/", "65536", "16384"], "HEIGHT '16384': Image too large"),
            (["rom.bin", "nodir/"], "PREFIX 'nodir/': No such folder: nodir/"),
            (["rom.bin", "out/deeper/x-"], "PREFIX 'out/deeper/x-': No such folder: out/deeper/"),
            (["rom.bin", "rom.bin/"], "PREFIX 'rom.bin/': No such folder: rom.bin/"),
            (["r" * 256], "ROM '%s': Path too long: at most 255 characters." % ("r" * 256)),
            ([""], "ROM '': Empty path: a path needs at least one character."),
            (["rom.bin", ""], "PREFIX '': Empty path"),
        ]
        for args, problem in cases:
            with self.subTest(args=args[-1][:20]):
                # Standard input is a file, so that what the tool read of it shows in its position.
                write_file(self.path("answers"), answers("rom.bin", "out/", 2, 2, 1, 0))
                with open(self.path("answers"), "rb") as stdin:
                    done = subprocess.run(harness.tool_command(args), stdin=stdin, stdout=subprocess.PIPE,
                                          stderr=subprocess.PIPE, cwd=self.dir, timeout=60)
                    read = os.lseek(stdin.fileno(), 0, os.SEEK_CUR)
                err = console_text(done.stderr)
                self.assertEqual(done.returncode, 2, err)
                self.assertTrue(err.startswith("velloran: " + problem), err)
                self.assertTrue(err.endswith(USAGE_HINT) and err.count("\n") == 2, err)
                self.assertEqual(done.stdout, b"")
                self.assertEqual(read, 0)
                self.assertEqual(self.snapshots(), [])

    def test_double_dash_ends_the_options(self):
        write_file(self.path("-x.rom"), self.rom[:8])
        out, err, status = self.run_args("--", "-x.rom", "out/", 2, 1, 1, 0)
        self.assertEqual((out, err, status), (opening("out/snap0000.bmp") + final_position(4), "", 0))
        self.assertEqual(read_file(self.path("out", "snap0000.bmp")), reference_bmp(self.rom[:4], 2, 1))


class AnswersAsArguments(CommandLineCase):
    def test_all_six_ask_nothing_and_write_what_the_dialogue_writes(self):
        out, err, status = self.run_args("rom.bin", "out/", 37, 5, 3, "0x20D")
        self.assertEqual(out, opening("out/snap0000.bmp") + opening("out/snap0001.bmp")
                         + opening("out/snap0002.bmp") + final_position(525 + 3 * 370))
        self.assertEqual((err, status), ("", 0))
        os.mkdir(self.path("dialogue"))
        dialogue, status = self.run_tool(answers("rom.bin", "dialogue/", 37, 5, 3, "0x20D"))
        self.assertEqual(status, 0, dialogue)
        for name in self.snapshots():
            self.assertEqual(read_file(self.path("out", name)), read_file(self.path("dialogue", name)), name)

    def test_the_questions_left_open_are_asked(self):
        R, P, W, H, C = ROM_PROMPT, PREFIX_PROMPT, WIDTH_PROMPT, HEIGHT_PROMPT, COUNT_PROMPT
        given = ["rom.bin", "out/", "8", "8", "2", "010"]
        for count in range(6):
            with self.subTest(arguments=count):
                typed = " ".join(given[count:]).encode() + b"\n"
                out, err, status = self.run_args(*given[:count], stdin=typed)
                self.assertEqual(out, HEAD + "".join([R, P, W, H, C][count:]) + HINT + START_PROMPT
                                 + opening("out/snap%04d.bmp" % (2 * count))
                                 + opening("out/snap%04d.bmp" % (2 * count + 1)) + final_position(8 + 256))
                self.assertEqual((err, status), ("", 0))
                self.assertEqual(read_file(self.path("out", "snap%04d.bmp" % (2 * count + 1))),
                                 reference_bmp(self.rom[136:264], 8, 8))

    def test_an_unusable_typed_answer_after_the_arguments_is_asked_again(self):
        out, err, status = self.run_args("rom.bin", "out/", 2, 2, 1, stdin=b"zz 4\n")
        self.assertEqual(out, HEAD + HINT + START_PROMPT + NOT_A_NUMBER + START_PROMPT
                         + opening("out/snap0000.bmp") + final_position(12))
        self.assertEqual(status, 0)

    def test_the_number_forms_and_a_missing_rom(self):
        for start, offset in [("525", 525), ("0x20d", 525), ("0X20D", 525), ("01015", 525), ("+7", 7), ("0", 0)]:
            with self.subTest(start=start):
                out, _, status = self.run_args("rom.bin", "out/", 1, 1, 0, start)
                self.assertEqual((out, status), (final_position(offset), 0))
        out, _, status = self.run_args("missing.bin", "out/", 1, 1, 1, 0)
        self.assertEqual((out, status), ("\nfile not found", 1))

    @unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
    def test_on_a_terminal_every_message_has_a_line_of_its_own(self):
        # Standard output and error on one terminal: the transcript's last message ends its line
        # before the reason comes, and the shell's prompt after it starts a line too.
        os.mkdir(self.path("t3"))
        write_file(self.path("pal.bin"), b"")
        for args, shown in [(["t3", "out/", 1, 1, 1, 0], "\nfile not found\nvelloran: t3: Is a directory\n"),
                            (["--format=i4", "--palette=nosuch.pal", "rom.bin", "out/", 8, 8, 1, 0],
                             "velloran: --palette nosuch.pal: No such file or directory\n")]:
            with self.subTest(args=args):
                out, status = run_in_terminal(harness.tool_command([str(a) for a in args]), self.dir)
                self.assertEqual(out, shown)
                self.assertIn(status, (1, 2))

    def test_paths_with_blanks_and_beyond_ascii(self):
        # Greek and Japanese lie outside every Windows ANSI code page that
        # holds the Latin letters: only the UTF-16 command line brings them.
        os.mkdir(self.path("my roms"))
        os.mkdir(self.path("out", "Ausgabe für Bilder"))
        write_file(self.path("my roms", "Ρομ 日本.bin"), self.rom)
        prefix = "out/Ausgabe für Bilder/ñ "
        out, err, status = self.run_args("my roms/Ρομ 日本.bin", prefix, 4, 4, 2, 32)
        self.assertEqual(out.encode("latin-1").decode("utf-8"),
                         opening(prefix + "snap0000.bmp") + opening(prefix + "snap0001.bmp") + final_position(96))
        self.assertEqual((err, status), ("", 0))
        self.assertEqual(read_file(self.path("out", "Ausgabe für Bilder", "ñ snap0001.bmp")),
                         reference_bmp(self.rom[64:96], 4, 4))


class QuotedPathsInTheDialogue(CommandLineCase):
    def test_both_quotes_for_the_rom_and_the_prefix(self):
        os.mkdir(self.path("my roms"))
        os.mkdir(self.path("out", "two words"))
        write_file(self.path("my roms", "a b.rom"), self.rom)
        for rom, prefix, name in [('"my roms/a b.rom"', "'out/two words/'", "out/two words/snap0000.bmp"),
                                  ("'my roms/a b.rom'", '"out/two words/x y-"', "out/two words/x y-snap0000.bmp"),
                                  ('"rom.bin"', "out/", "out/snap0000.bmp"),
                                  ("'rom.bin'", '"out/"', "out/snap0000.bmp")]:
            with self.subTest(rom=rom, prefix=prefix):
                out, status = self.run_tool(("%s %s\t4 4 1 0x20\n" % (rom, prefix)).encode())
                self.assertEqual(out, ALL_PROMPTS + opening(name) + final_position(64))
                self.assertEqual(status, 0)
                self.assertEqual(read_file(self.path(name)), reference_bmp(self.rom[32:64], 4, 4))
                os.remove(self.path(name))

    def test_an_unterminated_quote_is_asked_again(self):
        out, status = self.run_tool(b'"rom.bin\nrom.bin\n"out/\nout/ 2 2 1 0\n')
        self.assertEqual(out, HEAD + ROM_PROMPT + UNTERMINATED + ROM_PROMPT + PREFIX_PROMPT + UNTERMINATED
                         + PREFIX_PROMPT + "".join(PROMPTS[2:5]) + HINT + START_PROMPT
                         + opening("out/snap0000.bmp") + final_position(8))
        self.assertEqual(status, 0)

    def test_an_empty_quoted_path_is_asked_again(self):
        out, status = self.run_tool(b"'' rom.bin out/ 2 2 1 0\n")
        self.assertEqual(out, HEAD + ROM_PROMPT + "\nEmpty path: a path needs at least one character.\n"
                         + ALL_PROMPTS[len(HEAD):] + opening("out/snap0000.bmp") + final_position(8))
        self.assertEqual(status, 0)


class PrefixFolder(CommandLineCase):
    def test_a_prefix_in_a_missing_folder_is_asked_again(self):
        out, status = self.run_tool(b"rom.bin nodir/ out/nodir/x- out/x- 2 2 1 0\n")
        self.assertEqual(out, HEAD + ROM_PROMPT + PREFIX_PROMPT + no_such_folder("nodir/") + PREFIX_PROMPT
                         + no_such_folder("out/nodir/") + PREFIX_PROMPT + "".join(PROMPTS[2:5]) + HINT
                         + START_PROMPT + opening("out/x-snap0000.bmp") + final_position(8))
        self.assertEqual(status, 0)

    def test_a_prefix_without_a_folder_names_files_here(self):
        out, status = self.run_tool(b"rom.bin dump- 2 2 1 0\n")
        self.assertEqual(out, ALL_PROMPTS + opening("dump-snap0000.bmp") + final_position(8))
        self.assertEqual(status, 0)
        self.assertTrue(os.path.isfile(self.path("dump-snap0000.bmp")))


class AnswerSeparators(CommandLineCase):
    def test_tabs_and_windows_line_ends_separate_answers(self):
        for typed in [b"rom.bin\tout/\t8\t8\t2\t010\n", b"rom.bin\r\nout/\r\n8\r\n8\r\n2\r\n010\r\n",
                      b"rom.bin \t\r\n out/\r\r8 8\x0b2\x0c010"]:
            with self.subTest(typed=typed):
                out, status = self.run_tool(typed)
                self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + opening("out/snap0001.bmp")
                                 + final_position(264))
                self.assertEqual(status, 0)
                self.assertEqual(read_file(self.path("out", "snap0001.bmp")), reference_bmp(self.rom[136:264], 8, 8))
                for name in self.snapshots():
                    os.remove(self.path("out", name))

    def test_numbers_that_would_wrap_around_are_refused(self):
        for number in ["18446744073709551617", "4294967297", "99999999999999999999999", "0x10000000000000001",
                       "-18446744073709551615"]:
            with self.subTest(number=number):
                out, status = self.run_tool(("rom.bin out/ %s 2 2 1 0\n" % number).encode())
                self.assertEqual(out, HEAD + ROM_PROMPT + PREFIX_PROMPT + WIDTH_PROMPT + OUT_OF_RANGE
                                 + "".join(PROMPTS[2:5]) + HINT + START_PROMPT + opening("out/snap0000.bmp")
                                 + final_position(8))
                self.assertEqual(status, 0)
                os.remove(self.path("out", "snap0000.bmp"))

    def test_numbers_from_100_to_999_have_four_digits(self):
        out, status = self.run_tool(answers("rom.bin", "out/", 1, 1, 1001, 0))
        self.assertEqual(status, 0)
        names = self.snapshots()
        self.assertEqual(len(names), 1001)
        for number in (99, 100, 123, 999, 1000):
            self.assertIn("snap%04d.bmp" % number, names)
        self.assertTrue(all(len(name) == len("snap0000.bmp") for name in names))


if __name__ == "__main__":
    harness.main()
