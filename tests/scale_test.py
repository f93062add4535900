"""Costs that do not grow with what is already there: the first free number
found from one listing of the folder (with the exclusive create still the only
judge), and images of any size written block by block in little memory, byte
for byte what they must be."""
import os
import shutil
import subprocess
import sys
import unittest

from harness import *  # noqa: F401,F403
import harness

BLOCK_BYTES = 4 << 20  # the most a block of rows takes in the file


def fault_report(path):
    """(calls counted, the call failed, removals failed, exclusive creates refused)."""
    counted, failed, unlinks, refused = read_file(path).decode().split()
    return int(counted), failed, int(unlinks), int(refused)


class FirstFreeNumber(ToolTestCase):
    def setUp(self):
        super().setUp()
        write_file(self.path("rom.bin"), random_bytes(64, seed=90))

    def test_names_like_ours_are_not_ours_and_anything_of_ours_is_taken(self):
        for name in ["snap0000.bmp", "snap0002.bmp", "snap123.bmp", "snap00001.bmp", "snap0001.BMP",
                     "Snap0001.bmp", "snap0001.bmp.txt"]:
            write_file(self.path("out", name), b"earlier")
        os.mkdir(self.path("out", "snap0003.bmp"))
        if not harness.ON_WINDOWS:
            os.mkfifo(self.path("out", "snap0004.bmp"))
            os.symlink("gone", self.path("out", "snap0005.bmp"))
        else:
            write_file(self.path("out", "snap0004.bmp"), b"earlier")
            write_file(self.path("out", "snap0005.bmp"), b"earlier")
        out, status = self.run_tool(answers("rom.bin", "out/", 2, 2, 3, 0))
        # On Windows "snap0001.BMP" is the name snap0001.bmp already: the create refuses it.
        first = "snap0006.bmp" if harness.ON_WINDOWS else "snap0001.bmp"
        names = [first, "snap0006.bmp", "snap0007.bmp"] if not harness.ON_WINDOWS else \
            ["snap0006.bmp", "snap0007.bmp", "snap0008.bmp"]
        self.assertEqual(out, ALL_PROMPTS + "".join(opening("out/" + n) for n in names) + final_position(24))
        self.assertEqual(status, 0)
        for name in ["snap0000.bmp", "snap123.bmp", "snap00001.bmp", "snap0001.BMP", "Snap0001.bmp"]:
            if os.path.exists(self.path("out", name)) and not (harness.ON_WINDOWS and name.lower() == "snap0001.bmp"):
                self.assertEqual(read_file(self.path("out", name)), b"earlier", name)

    @unittest.skipIf(harness.ON_WINDOWS or os.environ.get("VELLORAN_SANITIZED") == "1",
                     "the fault preload (a sanitizer runtime must be preloaded first)")
    def test_ten_thousand_taken_names_cost_no_refused_create(self):
        for number in range(10000):
            write_file(self.path("out", "snap%04d.bmp" % number), b"")
        os.remove(self.path("out", "snap0042.bmp"))
        report = self.path("report")
        env = dict(os.environ, LD_PRELOAD=harness.FAULT_PRELOAD, FAULT_REPORT=report)
        out, status = self.run_tool(answers("rom.bin", "out/", 2, 2, 3, 0), env=env)
        self.assertEqual(status, 0)
        self.assertTrue(out.endswith(opening("out/snap0042.bmp") + opening("out/snap10000.bmp")
                                     + opening("out/snap10001.bmp") + final_position(24)), out[-200:])
        self.assertEqual(fault_report(report)[3], 0)

    @unittest.skipIf(harness.ON_WINDOWS, "POSIX permissions")
    def test_a_folder_that_cannot_be_listed_is_probed_name_by_name(self):
        # Root reads any folder, so the tool runs as nobody there.
        as_nobody = os.geteuid() == 0
        folder = self.path("locked")
        os.mkdir(folder)
        write_file(os.path.join(folder, "snap0000.bmp"), b"earlier")
        command = harness.tool_command(["rom.bin", "locked/", "2", "2", "2", "0"])
        if as_nobody:
            # A copy of the tool where nobody reaches it: the build may be in a private folder.
            os.chmod(self.dir, 0o755)
            shutil.copy(harness.TOOL, self.path("velloran"))
            os.chmod(self.path("velloran"), 0o755)
            command[command.index(harness.TOOL)] = self.path("velloran")
            os.chmod(self.path("rom.bin"), 0o644)
            os.chown(folder, 65534, 65534)
        os.chmod(folder, 0o300)  # write and search, but no reading of the names
        try:
            done = subprocess.run(command, cwd=self.dir,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60,
                                  preexec_fn=(lambda: (os.setgid(65534), os.setuid(65534))) if as_nobody else None)
        finally:
            os.chmod(folder, 0o755)
        self.assertEqual((done.stdout.decode(), done.stderr, done.returncode),
                         (opening("locked/snap0001.bmp") + opening("locked/snap0002.bmp") + final_position(16), b"", 0))
        self.assertEqual(read_file(os.path.join(folder, "snap0000.bmp")), b"earlier")


class BigImages(ToolTestCase):
    def check_dump(self, rom, width, height, count, start=0, stdin_rom=False):
        """Dumps `count` images and compares every file with the reference."""
        write_file(self.path("rom.bin"), rom)
        if stdin_rom:
            out, err, status = run_with_arguments(["/dev/stdin", "out/", width, height, count, start], self.dir,
                                                  stdin=rom)
        else:
            out, err, status = run_with_arguments(["rom.bin", "out/", width, height, count, start], self.dir)
        self.assertEqual((err, status), ("", 0))
        image_bytes = width * height * 2
        for index, name in enumerate(self.snapshots()):
            raw = rom[start + index * image_bytes:start + (index + 1) * image_bytes].ljust(image_bytes, b"\0")
            self.assertTrue(read_file(self.path("out", name)) == reference_bmp(raw, width, height),
                            "%s of %dx%d" % (name, width, height))
            os.remove(self.path("out", name))
        return out

    def test_images_of_several_blocks_are_the_same_bytes_as_one_conversion(self):
        cases = [  # width, height, ROM bytes: several blocks, odd widths, the ROM's end inside an image
            (1025, 2100, 2 * 1025 * 2100 + 3),
            (1023, 4200, 1023 * 4200 * 2 // 3),
            (2097153, 2, 2097153 * 2 + 777),   # a row longer than a block, in runs
            (2097153, 2, 1000),                # the ROM ends in the first run of the top row
        ]
        for width, height, size in cases:
            with self.subTest(size="%dx%d" % (width, height)):
                rom = random_bytes(size, seed=width)
                out = self.check_dump(rom, width, height, 3, start=3)
                self.assertTrue(out.endswith(END_OF_ROM + final_position(size)), out[-100:])

    @unittest.skipIf(harness.ON_WINDOWS, "/dev/stdin")
    def test_a_big_image_from_a_pipe(self):
        rom = random_bytes(1025 * 2100 * 2 + 100, seed=91)
        out = self.check_dump(rom, 1025, 2100, 1, start=100, stdin_rom=True)
        self.assertEqual(out, opening("out/snap0000.bmp") + final_position(len(rom)))

    def test_rows_past_the_roms_end_cost_no_writing(self):
        # A 2 GiB image of which the ROM holds 1000 bytes: the file is whole and
        # reads as zeros past them, but only the first block was written.
        write_file(self.path("rom.bin"), random_bytes(1000, seed=92))
        out, err, status = run_with_arguments(["rom.bin", "out/", 32768, 32767, 1, 0], self.dir)
        self.assertEqual((out, err, status), (opening("out/snap0000.bmp") + END_OF_ROM + final_position(1000), "", 0))
        path = self.path("out", "snap0000.bmp")
        self.assertEqual(os.path.getsize(path), 54 + 65536 * 32767)
        with open(path, "rb") as bmp:
            self.assertEqual(bmp.read(54), bmp_headers(32768, 32767))
            self.assertEqual(bmp.read(65536), bytes(65536))  # the bottom row
            bmp.seek(-65536, os.SEEK_END)  # the top row: the ROM's 1000 bytes, then zeros
            self.assertEqual(bmp.read(), reference_bmp(read_file(self.path("rom.bin")), 500, 1)[54:]
                             + bytes(65536 - 1000))
        if not harness.ON_WINDOWS:
            self.assertLess(os.stat(path).st_blocks * 512, 3 * BLOCK_BYTES)

    @unittest.skipIf(harness.ON_WINDOWS, "peak memory of a child on POSIX")
    @not_under_valgrind
    def test_peak_memory_of_a_512_mib_image_stays_that_of_a_tile(self):
        # The ROM holds 64 MiB of the image (a sparse file: zeros, quickly read).
        with open(self.path("rom.bin"), "wb") as rom:
            rom.truncate(64 << 20)
        peaks = {}
        for name, width, height in [("tile", 64, 32), ("512 MiB", 16384, 16384)]:
            # A child of its own, so that its peak is no other run's.
            script = ("import resource, subprocess, sys; subprocess.run(sys.argv[1:], check=True, "
                      "stdout=subprocess.DEVNULL); print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
            done = subprocess.run([sys.executable, "-c", script] +
                                  harness.tool_command(["rom.bin", "out/", str(width), str(height), "1", "0"]),
                                  cwd=self.dir, stdout=subprocess.PIPE, check=True)
            peaks[name] = int(done.stdout) * 1024
        self.assertLess(peaks["512 MiB"] - peaks["tile"], 16 << 20, peaks)
        self.assertEqual(os.path.getsize(self.path("out", "snap0001.bmp")), 54 + 16384 * 16384 * 2)

    @unittest.skipIf(harness.ON_WINDOWS or os.environ.get("VELLORAN_SANITIZED") == "1", "the fault preload")
    def test_a_write_error_at_any_block_removes_the_file(self):
        width, height = 2048, 2600  # 10 MiB of rows: three blocks
        rom = random_bytes(width * height * 2, seed=93)
        write_file(self.path("rom.bin"), rom)
        report = self.path("report")
        for block in range(1, 4):
            with self.subTest(block=block):
                env = dict(os.environ, LD_PRELOAD=harness.FAULT_PRELOAD, FAULT_REPORT=report, FAULT_ONLY="pwrite64",
                           FAULT_CALL=str(block))
                out, status = self.run_tool(answers("rom.bin", "out/", width, height, 1, 0), env=env)
                self.assertEqual(fault_report(report)[1], "pwrite64")
                self.assertTrue(out.endswith(opening("out/snap0000.bmp") + UNABLE_TO_WRITE
                                             + final_position(len(rom))), out[-100:])
                self.assertEqual(status, 1)
                self.assertEqual(self.snapshots(), [])


if __name__ == "__main__":
    harness.main()
