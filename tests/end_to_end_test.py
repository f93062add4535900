"""The built tool, run with answers on standard input in a fresh folder: the
console text is compared exactly and the files byte for byte."""
import os
import resource
import signal
import subprocess
import threading
import time
import unittest

from harness import *  # noqa: F401,F403  (the shared texts and helpers)
import harness


class DumpRun(ToolTestCase):
    def setUp(self):
        super().setUp()
        self.rom = random_bytes(20000, seed=1)
        write_file(self.path("rom.bin"), self.rom)

    def expect_snapshots(self, offsets, width, height, names=None):
        names = names or ["snap%04d.bmp" % i for i in range(len(offsets))]
        self.assertEqual(self.snapshots(), sorted(names))
        size = width * height * 2
        for name, offset in zip(names, offsets):
            raw = self.rom[offset:offset + size].ljust(size, b"\0")
            self.assertEqual(read_file(self.path("out", name)), reference_bmp(raw, width, height), name)

    def test_three_images_from_525(self):
        out, status = self.run_tool(answers("rom.bin", "out/", 64, 32, 3, 525))
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + opening("out/snap0001.bmp")
                         + opening("out/snap0002.bmp") + final_position(12813))
        self.assertEqual(status, 0)
        self.expect_snapshots([525, 4621, 8717], 64, 32)

    def test_answers_on_one_line_are_taken_in_turn(self):
        out, status = self.run_tool(b"rom.bin out/ 64 32 2\n0x20D\n")
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + opening("out/snap0001.bmp")
                         + final_position(8717))
        self.assertEqual(status, 0)

    def test_number_forms(self):
        # (answer to the start address, offset it means)
        for answer, offset in [("0x20D", 525), ("0X20d", 525), ("010", 8), ("525", 525), ("+7", 7),
                               ("0", 0), ("0x", 0), ("2147483647", 2147483647)]:
            with self.subTest(answer=answer):
                out, status = run_tool(b"rom.bin out/ 3 1 1 " + answer.encode() + b"\n", self.dir)
                self.assertTrue(out.endswith(final_position(offset + 6 if offset < 20000 else offset)), out)
                self.assertEqual(status, 0)

    def test_08_gives_0_and_leaves_8_for_the_next_answer(self):
        out, status = self.run_tool(b"rom.bin out/ 08 1 0\n")
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + final_position(0))
        self.assertEqual(status, 0)
        self.assertEqual(read_file(self.path("out", "snap0000.bmp")), reference_bmp(b"", 0, 8))

    def test_missing_rom_still_asks_all_six_questions(self):
        out, status = self.run_tool(answers("missing.bin", "out/", 64, 32, 3, 525))
        self.assertEqual(out, ALL_PROMPTS + "\nfile not found")
        self.assertEqual(status, 1)
        self.assertEqual(self.snapshots(), [])

    def test_a_directory_is_not_a_rom(self):
        out, status = self.run_tool(answers("out", "out/", 4, 4, 1, 0))
        self.assertEqual(out, ALL_PROMPTS + "\nfile not found")
        self.assertEqual(status, 1)

    def test_zero_images_write_nothing(self):
        out, status = self.run_tool(answers("rom.bin", "out/", 64, 32, 0, 100))
        self.assertEqual(out, ALL_PROMPTS + final_position(100))
        self.assertEqual(status, 0)
        self.assertEqual(self.snapshots(), [])

    def test_zero_width_gives_header_only_files(self):
        out, status = self.run_tool(answers("rom.bin", "out/", 0, 5, 2, 40))
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + opening("out/snap0001.bmp")
                         + final_position(40))
        self.assertEqual(status, 0)
        self.expect_snapshots([40, 40], 0, 5)

    def test_second_run_continues_after_the_first(self):
        _, status = self.run_tool(answers("rom.bin", "out/", 8, 8, 2, 0))
        self.assertEqual(status, 0)
        first = [read_file(self.path("out", n)) for n in self.snapshots()]
        out, status = self.run_tool(answers("rom.bin", "out/", 8, 8, 2, 128))
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0002.bmp") + opening("out/snap0003.bmp")
                         + final_position(384))
        self.assertEqual(status, 0)
        self.assertEqual([read_file(self.path("out", n)) for n in self.snapshots()[:2]], first)
        self.expect_snapshots([0, 128, 128, 256], 8, 8)


class Paths(ToolTestCase):
    def run_with_rom(self, rom_name, prefix):
        rom = random_bytes(2 * 8 * 8 * 2, seed=13)
        write_file(self.path(rom_name), rom)
        out, status = self.run_tool(answers(rom_name, prefix, 8, 8, 2, 0))
        self.assertEqual(status, 0, out)
        return rom, out.encode("latin-1").decode("utf-8")

    def test_names_beyond_ascii(self):
        os.mkdir(self.path("out", "ausgabe-ü"))
        rom, out = self.run_with_rom("Ρομ-€.bin", "out/ausgabe-ü/ñ-")
        self.assertEqual(out, ALL_PROMPTS + opening("out/ausgabe-ü/ñ-snap0000.bmp")
                         + opening("out/ausgabe-ü/ñ-snap0001.bmp") + final_position(256))
        self.assertEqual(sorted(os.listdir(self.path("out", "ausgabe-ü"))), ["ñ-snap0000.bmp", "ñ-snap0001.bmp"])
        self.assertEqual(read_file(self.path("out", "ausgabe-ü", "ñ-snap0001.bmp")),
                         reference_bmp(rom[128:], 8, 8))

    @unittest.skipUnless(ON_WINDOWS, "drive letters exist only on Windows")
    def test_a_drive_letter_and_backslashes(self):
        # Wine shows the Linux root as drive Z:.
        folder = "Z:" + self.dir.replace("/", "\\")
        rom, out = self.run_with_rom("rom.bin", folder + "\\out\\")
        self.assertEqual(out, ALL_PROMPTS + opening(folder + "\\out\\snap0000.bmp")
                         + opening(folder + "\\out\\snap0001.bmp") + final_position(256))
        self.assertEqual(read_file(self.path("out", "snap0000.bmp")), reference_bmp(rom[:128], 8, 8))
        rom_path = folder + "\\rom.bin"
        out, status = self.run_tool(answers(rom_path, folder + "\\out\\", 8, 8, 1, 128))
        self.assertEqual(out, ALL_PROMPTS + opening(folder + "\\out\\snap0002.bmp") + final_position(256))
        self.assertEqual(status, 0)
        self.assertEqual(read_file(self.path("out", "snap0002.bmp")), reference_bmp(rom[128:], 8, 8))


class NeverOverwrite(ToolTestCase):
    def test_anything_under_a_name_makes_it_taken(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=2))
        write_file(self.path("out", "snap0000.bmp"), b"earlier dump")
        os.mkdir(self.path("out", "snap0001.bmp"))
        os.mkfifo(self.path("out", "snap0002.bmp"))
        os.symlink(self.path("out", "gone.bmp"), self.path("out", "snap0003.bmp"))
        write_file(self.path("out", "snap0005.bmp"), b"unreadable")
        os.chmod(self.path("out", "snap0005.bmp"), 0)
        out, status = self.run_tool(answers("rom.bin", "out/", 2, 2, 2, 0))
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0004.bmp") + opening("out/snap0006.bmp")
                         + final_position(16))
        self.assertEqual(status, 0)
        self.assertEqual(read_file(self.path("out", "snap0000.bmp")), b"earlier dump")
        self.assertTrue(os.path.islink(self.path("out", "snap0003.bmp")))
        self.assertFalse(os.path.lexists(self.path("out", "gone.bmp")))
        self.assertEqual(read_file(self.path("out", "snap0005.bmp")), b"unreadable")

    @posix_only  # the file is created by a preloaded library
    def test_a_file_that_appears_before_creation_is_left_alone(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=3))
        # A sanitizer runtime wants to be the first library; this one has to be.
        env = dict(os.environ, LD_PRELOAD=harness.RACE_PRELOAD, RACE_NAME="out/snap0001.bmp",
                   ASAN_OPTIONS="verify_asan_link_order=0")
        out, status = self.run_tool(answers("rom.bin", "out/", 2, 2, 2, 0), env=env)
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + opening("out/snap0002.bmp")
                         + final_position(16))
        self.assertEqual(status, 0)
        self.assertEqual(read_file(self.path("out", "snap0001.bmp")), b"racer")


def limit_file_size(limit):
    return lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))


class WriteErrors(ToolTestCase):
    @posix_only  # a file size limit kills Wine itself
    def test_a_file_that_cannot_be_completed_is_removed(self):
        # 32x32 images are 2102-byte files; the limit stops each one part way.
        write_file(self.path("rom.bin"), random_bytes(8192, seed=4))
        out, status = self.run_tool(answers("rom.bin", "out/", 32, 32, 2, 0),
                                    preexec_fn=limit_file_size(1000))
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + UNABLE_TO_WRITE
                         + opening("out/snap0000.bmp") + UNABLE_TO_WRITE + final_position(4096))
        self.assertEqual(status, 1)
        self.assertEqual(self.snapshots(), [])

    def test_small_files_still_fit_under_the_same_limit(self):
        write_file(self.path("rom.bin"), random_bytes(8192, seed=4))
        out, status = self.run_tool(answers("rom.bin", "out/", 8, 8, 2, 0),
                                    preexec_fn=limit_file_size(1000))
        self.assertEqual(status, 0)
        self.assertEqual(self.snapshots(), ["snap0000.bmp", "snap0001.bmp"])

    def test_a_name_the_system_refuses(self):
        # Never truncated: a 255-character prefix gives a 267-character file name.
        write_file(self.path("rom.bin"), random_bytes(64, seed=5))
        prefix = "y" * 255
        out, status = self.run_tool(answers("rom.bin", prefix, 2, 2, 1, 0))
        self.assertEqual(out, ALL_PROMPTS + opening(prefix + "snap0000.bmp") + UNABLE_TO_WRITE
                         + final_position(8))
        self.assertEqual(status, 1)

    def test_long_names_are_kept_whole(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=5))
        prefix = "out/" + "x" * 240  # 256 characters once "snap0000.bmp" follows
        out, status = self.run_tool(answers("rom.bin", prefix, 2, 2, 1, 0))
        self.assertEqual(out, ALL_PROMPTS + opening(prefix + "snap0000.bmp") + final_position(8))
        self.assertEqual(status, 0)
        self.assertEqual(self.snapshots(), ["x" * 240 + "snap0000.bmp"])


def limit_memory(limit):
    return lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit))


@unittest.skipIf(os.environ.get("VELLORAN_SANITIZED"), "sanitizers need far more address space")
@posix_only  # Wine itself cannot start under an address space limit
@not_under_valgrind
class MemoryErrors(ToolTestCase):
    def test_the_largest_image_needs_no_buffer_of_its_size(self):
        # 2 GiB of pixels under a 100 MiB limit: rows are read and written in small blocks.
        write_file(self.path("rom.bin"), random_bytes(64, seed=12))
        out, status = self.run_tool(answers("rom.bin", "out/", 32768, 32767, 1, 0),
                                    preexec_fn=limit_memory(100 << 20))
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + END_OF_ROM + final_position(64))
        self.assertEqual(status, 0)
        self.assertEqual(os.path.getsize(self.path("out", "snap0000.bmp")), 54 + 65536 * 32767)

    def test_a_big_image_needs_no_second_buffer_of_its_size(self):
        # A 64 MiB image under a 100 MiB limit: its rows go out in small blocks.
        rom = random_bytes(64, seed=12)
        write_file(self.path("rom.bin"), rom)
        out, status = self.run_tool(answers("rom.bin", "out/", 8192, 4096, 1, 0),
                                    preexec_fn=limit_memory(100 << 20))
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + END_OF_ROM + final_position(64))
        self.assertEqual(status, 0)
        with open(self.path("out", "snap0000.bmp"), "rb") as bmp:
            self.assertEqual(bmp.read(54), bmp_headers(8192, 4096))
            self.assertEqual(bmp.read(64), bytes(64))  # bottom row: past the ROM's end
            bmp.seek(-8192 * 2, os.SEEK_END)  # top row: the ROM's 64 bytes, then zeros
            self.assertEqual(bmp.read(), reference_bmp(rom, 32, 1)[54:] + bytes(8192 * 2 - 64))


class RomEnd(ToolTestCase):
    def test_a_partial_last_image_is_written_with_zeros_then_the_loop_stops(self):
        rom = random_bytes(8 * 8 * 2 * 2 + 50, seed=6)  # two images and 50 bytes
        write_file(self.path("rom.bin"), rom)
        out, status = self.run_tool(answers("rom.bin", "out/", 8, 8, 5, 0))
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + opening("out/snap0001.bmp")
                         + opening("out/snap0002.bmp") + END_OF_ROM + final_position(len(rom)))
        self.assertEqual(status, 0)
        # The tail is zero, not what the previous image left in the buffer.
        self.assertEqual(read_file(self.path("out", "snap0002.bmp")),
                         reference_bmp(rom[256:].ljust(128, b"\0"), 8, 8))

    def test_rows_past_the_end_are_holes_in_the_file(self):
        # One row of 429,496,729 pixels from a 16 KiB ROM: an 820 MB file, nearly all of it
        # past the ROM's end, which takes no room on the disk; and a tall image whose bottom
        # rows lie past the end, the first rows in the file.
        rom = random_bytes(16384, seed=9)
        write_file(self.path("rom.bin"), rom)
        for width, height in [(429496729, 1), (64, 262143)]:
            with self.subTest(width=width, height=height):
                _, err, status = run_with_arguments(["rom.bin", "out/", width, height, 1, 0], self.dir)
                self.assertEqual((err, status), ("", 0))
                path = self.path("out", self.snapshots()[-1])
                row_bytes = (width * 2 + 3) // 4 * 4
                info = os.stat(path)
                self.assertEqual(info.st_size, 54 + row_bytes * height)
                self.assertLess(info.st_blocks * 512, 16 << 20)
                with open(path, "rb") as bmp:
                    self.assertEqual(bmp.read(54), bmp_headers(width, height))
                    # The ROM's rows where they belong, bottom row first; zeros around them.
                    top = 54 + row_bytes * (height - 1)
                    if width > 8192:
                        bmp.seek(top)
                        self.assertEqual(bmp.read(16384), reference_bmp(rom, 8192, 1)[54:])
                        self.assertEqual(bmp.read(4096), bytes(4096))
                    else:
                        for row in range(128):
                            bmp.seek(top - row * row_bytes)
                            self.assertEqual(bmp.read(128), reference_bmp(rom[row * 128:(row + 1) * 128], 64, 1)[54:])
                        bmp.seek(54)
                        self.assertEqual(bmp.read(4096), bytes(4096))
                    bmp.seek(-4096, os.SEEK_END)
                    self.assertEqual(bmp.read(), bytes(4096) if width > 8192 else reference_bmp(rom[:4096], 64, 32)[54:])

    def test_an_image_with_no_bytes_left_gives_no_file(self):
        rom = random_bytes(256, seed=7)
        write_file(self.path("rom.bin"), rom)
        out, status = self.run_tool(answers("rom.bin", "out/", 8, 8, 3, 0))
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + opening("out/snap0001.bmp")
                         + END_OF_ROM + final_position(256))
        self.assertEqual(status, 0)

    def test_a_start_past_the_end(self):
        write_file(self.path("rom.bin"), random_bytes(256, seed=7))
        out, status = self.run_tool(answers("rom.bin", "out/", 8, 8, 3, 1000))
        self.assertEqual(out, ALL_PROMPTS + END_OF_ROM + final_position(1000))
        self.assertEqual(status, 0)
        self.assertEqual(self.snapshots(), [])

    def test_positions_past_2_gib(self):
        # A sparse ROM of 2 GiB + 8 KiB; the second image straddles the 2 GiB mark.
        start = 2 ** 31 - 648
        data = random_bytes(6144, seed=8)
        with open(self.path("rom.bin"), "wb") as rom:
            rom.truncate(2 ** 31 + 8192)
            rom.seek(start)
            rom.write(data)
        out, status = self.run_tool(answers("rom.bin", "out/", 1024, 1, 3, start))
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + opening("out/snap0001.bmp")
                         + opening("out/snap0002.bmp") + final_position(start + 6144))
        self.assertEqual(status, 0)
        for i in range(3):
            self.assertEqual(read_file(self.path("out", "snap%04d.bmp" % i)),
                             reference_bmp(data[i * 2048:(i + 1) * 2048], 1024, 1))


    def test_a_start_past_4_gib(self):
        # A sparse ROM of 4 GiB + 8 KiB; the start address needs more than 32 bits.
        start = 2 ** 32 + 10
        data = random_bytes(2048, seed=15)
        with open(self.path("rom.bin"), "wb") as rom:
            rom.truncate(2 ** 32 + 8192)
            rom.seek(start)
            rom.write(data)
        out, status = self.run_tool(answers("rom.bin", "out/", 32, 16, 2, hex(start)))
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + opening("out/snap0001.bmp")
                         + final_position(start + 2048))
        self.assertEqual(status, 0)
        self.assertEqual(read_file(self.path("out", "snap0001.bmp")), reference_bmp(data[1024:], 32, 16))
        out, status = self.run_tool(answers("rom.bin", "out/", 32, 16, 1, "9223372036854775808", 5))
        self.assertTrue(out.endswith(START_PROMPT + "\nNumber too large: at most 9223372036854775807.\n"
                                     + START_PROMPT + opening("out/snap0002.bmp") + final_position(1029)), out[-200:])


class BadAnswers(ToolTestCase):
    def setUp(self):
        super().setUp()
        write_file(self.path("rom.bin"), random_bytes(64, seed=9))

    def test_unusable_answers_are_asked_again(self):
        R, P, W, H, C = ROM_PROMPT, PREFIX_PROMPT, WIDTH_PROMPT, HEIGHT_PROMPT, COUNT_PROMPT
        long_path = "p" * 256
        # (what is typed, the dialogue before the data start hint, final position)
        cases = [
            ("rom.bin out/ abc 2 2 1 0", [R, P, W, NOT_A_NUMBER, W, H, C], 8),
            ("rom.bin out/ 2abc 2 1 0", [R, P, W, H, NOT_A_NUMBER, H, C], 8),
            ("rom.bin out/ 99999999999 2 2 1 0", [R, P, W, OUT_OF_RANGE, W, H, C], 8),
            ("rom.bin out/ 0x80000000 2 2 1 0", [R, P, W, OUT_OF_RANGE, W, H, C], 8),
            ("rom.bin out/ -2 2 2 1 0", [R, P, W, NEGATIVE, W, H, C], 8),
            ("rom.bin out/ 2 -2147483648 2 1 0", [R, P, W, H, NEGATIVE, H, C], 8),
            ("rom.bin out/ 2 2 -1 1 0", [R, P, W, H, C, NEGATIVE, C], 8),
            ("%s rom.bin out/ 2 2 1 0" % long_path, [R, PATH_TOO_LONG, R, P, W, H, C], 8),
            ("rom.bin %s out/ 2 2 1 0" % long_path, [R, P, PATH_TOO_LONG, P, W, H, C], 8),
            # 65536 x 16384 x 2 is 2^31, one byte too many: the height is asked again.
            ("rom.bin out/ 65536 16384 0 1 0", [R, P, W, H, IMAGE_TOO_LARGE, H, C], 0),
            # Width 1 fits 2^30 rows of raw bytes, but not their padded BMP in 4 GiB.
            ("rom.bin out/ 1 1073741823 0 1 0", [R, P, W, H, BMP_TOO_LARGE, H, C], 0),
        ]
        for typed, dialogue, position in cases:
            with self.subTest(typed=typed[:60]):
                out, status = self.run_tool(typed.encode() + b"\n")
                self.assertEqual(out, HEAD + "".join(dialogue) + HINT + START_PROMPT
                                 + opening("out/snap0000.bmp") + final_position(position))
                self.assertEqual(status, 0)
                for name in self.snapshots():
                    os.remove(self.path("out", name))

    def test_unusable_start_address(self):
        out, status = self.run_tool(b"rom.bin out/ 2 2 1 -5 zz 4\n")
        self.assertEqual(out, ALL_PROMPTS + NEGATIVE + START_PROMPT + NOT_A_NUMBER + START_PROMPT
                         + opening("out/snap0000.bmp") + final_position(12))
        self.assertEqual(status, 0)

    def test_input_that_ends_early(self):
        given = ["rom.bin", "out/", "2", "2", "1", "0"]
        for count in range(6):
            with self.subTest(answers=count):
                out, status = self.run_tool(" ".join(given[:count]).encode())
                shown = HEAD + "".join(PROMPTS[:count + 1])
                if count == 5:
                    shown = ALL_PROMPTS
                self.assertEqual(out, shown + INPUT_ENDED)
                self.assertEqual(status, 1)
                self.assertEqual(self.snapshots(), [])

    def test_endless_wrong_answers_end_the_run(self):
        out, status = self.run_tool(b"rom.bin out/ " + b"x " * 500)
        self.assertEqual(out, HEAD + ROM_PROMPT + PREFIX_PROMPT + (WIDTH_PROMPT + NOT_A_NUMBER) * 99
                         + WIDTH_PROMPT + GIVING_UP)
        self.assertEqual(status, 1)


class HostileInput(ToolTestCase):
    def check_ends_cleanly(self, stdin):
        out, status = self.run_tool(stdin, timeout=60)
        self.assertIn(status, (0, 1))  # a signal would show as a negative status
        self.assertLess(len(out), 100000)
        return out, status

    def test_binary_garbage(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=10))
        for seed in range(40):
            with self.subTest(seed=seed):
                garbage = random_bytes(4096 * (seed % 4 + 1), seed=seed)
                self.check_ends_cleanly(garbage)
                self.check_ends_cleanly(b"rom.bin out/ " + garbage)

    def test_words_of_ten_thousand_characters(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=10))
        for word in [b"a" * 10000, b"1" * 10000, b"0x" + b"f" * 9998, b"\0" * 10000]:
            with self.subTest(word=word[:4]):
                out, _ = self.check_ends_cleanly(word + b" rom.bin out/ " + (word + b" ") * 4 + b"1 1 1 0\n")
                self.assertTrue(out.endswith(final_position(2)), out[-200:])

    def endless(self, chunk):
        """Feeds `chunk` over and over until the tool stops reading."""
        process = subprocess.Popen(harness.tool_command(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   cwd=self.dir)
        killer = threading.Timer(60, process.kill)  # a hang shows as a killed process
        killer.start()

        def feed():
            try:
                while True:
                    process.stdin.write(chunk)
            except OSError:
                pass

        feeder = threading.Thread(target=feed, daemon=True)
        feeder.start()
        with process.stdout:
            out = process.stdout.read(200000)
        status = process.wait()
        killer.cancel()
        feeder.join()
        try:
            process.stdin.close()
        except OSError:
            pass
        return console_text(out), status

    def test_endless_input_is_given_up_on(self):
        for chunk in [b"junk " * 1000, b" " * 4096, b"\n" * 4096, b"a" * 4096, b"7" * 4096]:
            with self.subTest(chunk=chunk[:5]):
                out, status = self.endless(chunk)
                self.assertTrue(out.endswith(GIVING_UP), out[-300:])
                self.assertEqual(status, 1)


class Interrupt(ToolTestCase):
    # On Windows the wait is cut short by CancelSynchronousIo, which Wine 8.0
    # does not carry to a read of a FIFO.
    @posix_only
    def test_ctrl_c_while_the_rom_is_awaited_ends_the_run_at_once(self):
        # The ROM is a FIFO that we feed one image and then keep open: the
        # tool waits for the second image when the interrupt comes.
        os.mkfifo(self.path("rom.fifo"))
        process = subprocess.Popen(harness.tool_command(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   cwd=self.dir)
        process.stdin.write(answers("rom.fifo", "out/", 16, 16, 5, 0))
        process.stdin.close()
        image = random_bytes(512, seed=11)
        with open(self.path("rom.fifo"), "wb", buffering=0) as rom:
            rom.write(image)
            first = self.path("out", "snap0000.bmp")
            deadline = time.monotonic() + 30
            while not (os.path.exists(first) and os.path.getsize(first) == 54 + 512):
                self.assertLess(time.monotonic(), deadline)
                time.sleep(0.01)
            process.send_signal(signal.SIGINT)
            # Ended without another byte of the ROM.
            status = process.wait(timeout=10)
        with process.stdout:
            out = console_text(process.stdout.read())
        self.assertEqual(out, ALL_PROMPTS + opening("out/snap0000.bmp") + "\nInterrupted" + final_position(512))
        self.assertEqual(status, -signal.SIGINT)
        self.assertEqual(read_file(self.path("out", "snap0000.bmp")), reference_bmp(image, 16, 16))
        self.assertEqual(self.snapshots(), ["snap0000.bmp"])

    def test_ctrl_c_during_a_dump_keeps_whole_snapshots_and_says_where_it_stopped(self):
        width, height, count = 32, 32, 3000
        rom = random_bytes(width * height * 2 * count, seed=14)
        write_file(self.path("rom.bin"), rom)
        process = subprocess.Popen(harness.tool_command(["rom.bin", "out/", str(width), str(height), str(count), "0"]),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, cwd=self.dir)
        tenth = self.path("out", "snap0010.bmp")
        deadline = time.monotonic() + 60
        while not os.path.exists(tenth) and process.poll() is None:
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.001)
        process.send_signal(signal.SIGINT)
        out = console_text(process.communicate(timeout=30)[0])
        # Wine hands SIGINT to the program as Ctrl-C, which ends it as Windows
        # programs stopped by Ctrl-C end: STATUS_CONTROL_C_EXIT, 0xC000013A.
        self.assertEqual(process.returncode, 0x3A if harness.ON_WINDOWS else -signal.SIGINT)
        names = self.snapshots()
        self.assertEqual(names, ["snap%04d.bmp" % i for i in range(len(names))])
        self.assertLess(len(names), count)
        self.assertTrue(out.endswith("\nInterrupted" + final_position(len(names) * width * height * 2)), out[-100:])
        for index in (0, len(names) - 1):
            raw = rom[index * width * height * 2:(index + 1) * width * height * 2]
            self.assertEqual(read_file(self.path("out", names[index])), reference_bmp(raw, width, height))


if __name__ == "__main__":
    harness.main()
