"""What a hostile user tries: closed standard streams, a ROM that is a pipe,
a device or something that does not open, a usage error whatever standard
output is, an image at the size limits."""
import os
import subprocess
import unittest

from harness import *  # noqa: F401,F403
import harness

DEMO_ROM = harness.DEMO_ROM
ROM_NOT_OPENED = "\nfile not found"


def run_in_shell(cwd, redirections, args, stdin=subprocess.DEVNULL):
    """The tool run by bash with `redirections` (such as "<&- >&-"); returns (stdout, stderr, status)."""
    command = 'exec "$0" "$@" ' + redirections
    done = subprocess.run(["bash", "-c", command] + harness.tool_command([str(a) for a in args]), cwd=cwd,
                          stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    return console_text(done.stdout), console_text(done.stderr), done.returncode


def check_whole(test, path):
    """The snapshot's length is its bfSize."""
    content = read_file(path)
    test.assertGreaterEqual(len(content), 54, path)
    test.assertEqual(len(content), int.from_bytes(content[2:6], "little"), path)


@unittest.skipIf(harness.ON_WINDOWS, "POSIX descriptors and shells")
class ClosedStandardStreams(ToolTestCase):
    def test_a_closed_output_never_lands_in_a_snapshot(self):
        for redirections in ["<&- >&-", ">&-", "<&- >&- 2>&-"]:
            with self.subTest(redirections=redirections):
                out, err, status = run_in_shell(self.dir, redirections, [DEMO_ROM, "out/", 64, 32, 4, 0x20D])
                self.assertEqual((out, status), ("", 0), err)
                demo = read_file(DEMO_ROM)
                for index in range(4):
                    raw = demo[0x20D + index * 4096:0x20D + (index + 1) * 4096]
                    self.assertEqual(read_file(self.path("out", "snap%04d.bmp" % index)), reference_bmp(raw, 64, 32))
                for name in self.snapshots():
                    os.remove(self.path("out", name))

    def test_a_closed_input_reads_as_input_that_ended(self):
        # A ROM of digits, which a closed input taken over by the ROM would read as answers.
        write_file(self.path("txt.rom"), b"4096 " * 1000)
        out, err, status = run_in_shell(self.dir, "<&-", ["txt.rom", "out/", 8, 8, 2])
        self.assertEqual(out, HEAD + HINT + START_PROMPT + INPUT_ENDED)
        self.assertEqual((err, status), ("", 1))
        self.assertEqual(self.snapshots(), [])

    def test_a_usage_error_is_status_2_whatever_standard_output_is(self):
        for redirections in [">&-", ">/dev/full", "<&- >&- 2>&-"]:
            with self.subTest(redirections=redirections):
                _, err, status = run_in_shell(self.dir, redirections, ["--bogus"])
                self.assertEqual(status, 2)
                if "2>&-" not in redirections:
                    self.assertEqual(err, "velloran: unknown option '--bogus'" + USAGE_HINT)


class RomsThatAreNotFiles(ToolTestCase):
    @unittest.skipIf(harness.ON_WINDOWS, "/dev/stdin")
    def test_a_rom_on_a_pipe_with_an_offset_gives_the_same_files_as_the_file(self):
        args = ["out/", 64, 32, 4, 0x20D]
        os.mkdir(self.path("out", "file"))
        os.mkdir(self.path("out", "pipe"))
        from_file, _, status = run_with_arguments([DEMO_ROM, "out/file/"] + args[1:], self.dir)
        self.assertEqual(status, 0)
        with open(DEMO_ROM, "rb") as rom:
            from_pipe, err, status = run_with_arguments(["/dev/stdin", "out/pipe/"] + args[1:], self.dir,
                                                        stdin=rom.read())
        self.assertEqual((err, status), ("", 0))
        self.assertEqual(from_pipe, from_file.replace("out/file/", "out/pipe/"))
        self.assertTrue(from_pipe.endswith(final_position(0x20D + 4 * 4096)), from_pipe)
        for index in range(4):
            name = "snap%04d.bmp" % index
            self.assertEqual(read_file(self.path("out", "pipe", name)), read_file(self.path("out", "file", name)))

    @unittest.skipIf(harness.ON_WINDOWS, "/dev/stdin")
    def test_a_pipe_shorter_than_the_start_ends_as_a_file_does(self):
        write_file(self.path("rom.bin"), random_bytes(256, seed=80))
        with_file, _, status = run_with_arguments(["rom.bin", "out/", 8, 8, 3, 1000], self.dir)
        self.assertEqual((with_file, status), (END_OF_ROM + final_position(1000), 0))
        with_pipe, err, status = run_with_arguments(["/dev/stdin", "out/", 8, 8, 3, 1000], self.dir,
                                                    stdin=read_file(self.path("rom.bin")))
        self.assertEqual((with_pipe, err, status), (with_file, "", 0))
        self.assertEqual(self.snapshots(), [])

    @unittest.skipIf(harness.ON_WINDOWS, "/dev/zero")
    def test_a_device_that_cannot_seek_is_read_forward(self):
        out, err, status = run_with_arguments(["/dev/zero", "out/", 4, 2, 2, 0x20D], self.dir)
        self.assertEqual((out, err, status), (opening("out/snap0000.bmp") + opening("out/snap0001.bmp")
                                              + final_position(0x20D + 32), "", 0))
        self.assertEqual(read_file(self.path("out", "snap0001.bmp")), reference_bmp(bytes(16), 4, 2))

    def test_a_rom_that_does_not_open_says_why(self):
        os.symlink("loop", self.path("loop"))
        # Windows words it its own way ("The system cannot find the file
        # specified", "File not found" under Wine).
        missing = None if harness.ON_WINDOWS else "No such file or directory"
        cases = [("missing.rom", missing), ("out", "Is a directory"), ("out/", "Is a directory")]
        if not harness.ON_WINDOWS:
            cases.append(("loop", "Too many levels of symbolic links"))
        if not harness.ON_WINDOWS and os.geteuid() != 0:  # root reads anything
            write_file(self.path("locked.rom"), b"\0" * 64)
            os.chmod(self.path("locked.rom"), 0)
            cases.append(("locked.rom", "Permission denied"))
        for rom, why in cases:
            with self.subTest(rom=rom):
                out, err, status = run_with_arguments([rom, "out/", 4, 4, 1, 0], self.dir)
                reason = err.partition("velloran: %s: " % rom)[2]
                self.assertEqual((out, status), (ROM_NOT_OPENED, 1))
                self.assertTrue(reason.strip() and err.endswith("\n") and err.count("\n") == 1, err)
                if why:
                    self.assertEqual(reason, why + "\n")
                # The dialogue keeps its own words; the reason goes to standard error.
                out, again, status = run_with_arguments([], self.dir, stdin=answers(rom, "out/", 4, 4, 1, 0))
                self.assertEqual((out, again, status), (ALL_PROMPTS + ROM_NOT_OPENED, err, 1))


class SizeLimits(ToolTestCase):
    def test_each_limit_has_its_own_message(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=81))
        cases = [  # width, height, the limit named
            (1, 1073741811, "HEIGHT '1073741811': Image too large: its BMP file must stay within 4294967295 bytes."),
            (1, 1073741823, "HEIGHT '1073741823': Image too large: its BMP file must stay within 4294967295 bytes."),
            (65536, 16384, "HEIGHT '16384': Image too large: width x height x 2 must stay within 2147483647 bytes."),
            (3, 1073741823, "HEIGHT '1073741823': Image too large: width x height x 2 must stay within 2147483647 "
                            "bytes."),
        ]
        for width, height, problem in cases:
            with self.subTest(size="%dx%d" % (width, height)):
                out, err, status = run_with_arguments(["rom.bin", "out/", width, height, 0, 0], self.dir)
                self.assertEqual((out, err, status), ("", "velloran: " + problem + USAGE_HINT, 2))
        # The largest height that fits a BMP file, 2,147,483,620 bytes of ROM: accepted.
        out, err, status = run_with_arguments(["rom.bin", "out/", 1, 1073741810, 0, 0], self.dir)
        self.assertEqual((out, err, status), (final_position(0), "", 0))


if __name__ == "__main__":
    harness.main()
