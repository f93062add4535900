"""However a run is stopped (by any signal whose default action ends a
process, once or twice, at any moment, also while it waits for a pipe), no
incomplete snapshot is left, the tool ends by that signal, and its last line
is the position after the snapshots it kept. Also: standard output that
cannot be written makes a failed run. Linux only."""
import fcntl
import os
import resource
import random
import signal
import struct
import subprocess
import time
import unittest

from harness import *  # noqa: F401,F403
import harness

STOP_SIGNALS = [signal.SIGINT, signal.SIGTERM, signal.SIGHUP]
# Every other signal that ends a process unless caught (SIGPIPE and SIGXFSZ
# are turned into write errors instead).
MORE_SIGNALS = [signal.SIGQUIT, signal.SIGALRM, signal.SIGUSR1, signal.SIGUSR2, signal.SIGXCPU, signal.SIGVTALRM,
                signal.SIGPROF, signal.SIGIO, signal.SIGPWR, signal.SIGRTMIN, signal.SIGRTMAX]
ALL_SIGNALS = STOP_SIGNALS + MORE_SIGNALS
INTERRUPTED = "\nInterrupted"
BIG_WIDTH, BIG_HEIGHT = 8192, 4096  # one image of 64 MiB


def no_core_files():
    """SIGQUIT dumps core; the tests need only its status."""
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


def check_complete(test, path, rom, offset, width, height, sample_rows=None):
    """The snapshot's length is its bfSize, and its rows are the ROM's, bottom row first."""
    row_bytes = (width * 2 + 3) // 4 * 4
    with open(path, "rb") as bmp:
        headers = bmp.read(54)
        test.assertEqual(headers, bmp_headers(width, height), path)
        test.assertEqual(os.fstat(bmp.fileno()).st_size, struct.unpack_from("<I", headers, 2)[0], path)
        rows = range(height) if sample_rows is None else sample_rows
        for row in rows:
            bmp.seek(54 + (height - 1 - row) * row_bytes)
            raw = rom[offset + row * width * 2:offset + (row + 1) * width * 2].ljust(width * 2, b"\0")
            test.assertEqual(bmp.read(row_bytes), reference_bmp(raw, width, 1)[54:], "%s row %d" % (path, row))


def file_size(path):
    """The file's length, or -1 while it does not exist."""
    try:
        return os.stat(path).st_size
    except FileNotFoundError:
        return -1


def filled_pipe():
    """A pipe whose buffer is already full, so that the tool's first print blocks."""
    read_end, write_end = os.pipe()
    fcntl.fcntl(write_end, fcntl.F_SETFL, os.O_NONBLOCK)
    try:
        while True:
            os.write(write_end, b"." * 4096)
    except BlockingIOError:
        pass
    fcntl.fcntl(write_end, fcntl.F_SETFL, 0)
    return read_end, write_end


def drain(read_end, piece=65536, pause=0.0):
    """Everything left in the pipe once its writer is gone, without the filler; read `piece`
    bytes at a time with a `pause` after each, as a slow reader does."""
    chunks = []
    while True:
        chunk = os.read(read_end, piece)
        if not chunk:
            break
        chunks.append(chunk)
        time.sleep(pause)
    return b"".join(chunks).lstrip(b".").decode()


@unittest.skipIf(harness.ON_WINDOWS, "POSIX signals")
class StopSignals(ToolTestCase):
    def start(self, args, stdout=subprocess.PIPE, **kwargs):
        return subprocess.Popen(harness.tool_command([str(a) for a in args]), stdin=subprocess.DEVNULL,
                                stdout=stdout, stderr=subprocess.PIPE, cwd=self.dir, preexec_fn=no_core_files,
                                **kwargs)

    def signal_when(self, process, sig, ready):
        """Sends `sig` once `ready()` holds, or as the run ends; polling without a pause, so the
        moment follows the tool's own progress on any machine, slow disk or sanitizers."""
        while process.poll() is None and not ready():
            pass
        if process.poll() is None:
            process.send_signal(sig)

    def check_stopped_run(self, out, status, sig, rom, start, width, height, sample_rows=None):
        """What a run given `sig` at some moment left behind; returns how it ended."""
        names = self.snapshots()
        self.assertEqual(names, ["snap%04d.bmp" % i for i in range(len(names))], "numbers not in turn")
        for index, name in enumerate(names):
            check_complete(self, self.path("out", name), rom, start + index * width * height * 2, width, height,
                           sample_rows)
        if status == 0:
            return "finished before the signal"
        self.assertEqual(status, -sig, out[-200:])
        if INTERRUPTED not in out:
            # Killed before the dump began catching signals: nothing was written yet.
            self.assertEqual(names, [])
            return "ended before the dump"
        self.assertTrue(out.endswith(INTERRUPTED + final_position(start + len(names) * width * height * 2)),
                        out[-200:])
        return "stopped"

    def test_signals_at_random_moments_during_many_small_images(self):
        width, height, count, start = 64, 32, 512, 6
        rom = random_bytes(start + width * height * 2 * count, seed=60)
        write_file(self.path("rom.bin"), rom)
        chance = random.Random(61)
        args = ["rom.bin", "out/", width, height, count, start]
        endings = []
        for trial in range(2 * len(ALL_SIGNALS)):
            sig = ALL_SIGNALS[trial % len(ALL_SIGNALS)]
            with self.subTest(trial=trial, signal=sig.name):
                os.rename(self.path("out"), self.path("done-%d" % trial))  # a fresh, empty folder each time
                os.mkdir(self.path("out"))
                process = self.start(args)
                # Once a snapshot chosen at random exists: its own or the next one's writing is under way.
                name = self.path("out", "snap%04d.bmp" % chance.randrange(count - 1))
                self.signal_when(process, sig, lambda: os.path.exists(name))
                out, _ = process.communicate(timeout=60)
                endings.append(self.check_stopped_run(out.decode(), process.returncode, sig, rom, start,
                                                      width, height, sample_rows=[0, height - 1]))
        self.assertGreaterEqual(endings.count("stopped"), len(ALL_SIGNALS), endings)

    def test_signals_at_random_moments_during_one_big_image(self):
        width, height = 4096, 4096  # 32 MiB
        rom = random_bytes(width * height * 2, seed=62)
        write_file(self.path("rom.bin"), rom)
        chance = random.Random(63)
        rows = [0, 1, height // 2, height - 1]
        args = ["rom.bin", "out/", width, height, 1, 0]
        snapshot = self.path("out", "snap0000.bmp")
        endings = []
        for trial in range(2 * len(ALL_SIGNALS)):
            sig = ALL_SIGNALS[trial % len(ALL_SIGNALS)]
            with self.subTest(trial=trial, signal=sig.name):
                os.rename(self.path("out"), self.path("done-%d" % trial))
                os.mkdir(self.path("out"))
                process = self.start(args)
                # Once the file has grown to a size chosen at random; trial 0 at once, likely while
                # the image is read or before the dump has begun.
                grown = chance.uniform(0, 0.9) * len(rom)
                self.signal_when(process, sig, lambda: trial == 0 or file_size(snapshot) > grown)
                out, _ = process.communicate(timeout=60)
                endings.append(self.check_stopped_run(out.decode(), process.returncode, sig, rom, 0,
                                                      width, height, sample_rows=rows))
                for name in self.snapshots():
                    os.remove(self.path("out", name))
        self.assertGreaterEqual(endings.count("stopped"), len(ALL_SIGNALS), endings)

    def test_a_stop_while_standard_output_is_full_ends_the_run_at_once(self):
        # The Opening line waits for a full pipe, with the big image's file
        # just created. One signal ends the run: the file is removed, and
        # nothing more is printed, since the pipe cannot take it.
        write_file(self.path("rom.bin"), random_bytes(BIG_WIDTH * BIG_HEIGHT * 2, seed=64))
        for sig in STOP_SIGNALS:
            with self.subTest(signal=sig.name):
                process, read_end = self.start_blocked_in_a_big_image()
                process.send_signal(sig)
                self.assertEqual(process.wait(timeout=10), -sig)
                process.stderr.close()
                self.assertEqual(drain(read_end), "")
                os.close(read_end)
                self.assertEqual(self.snapshots(), [])

    def test_a_slow_reader_still_gets_the_last_lines_after_a_stop(self):
        # The Opening line waits for a full pipe whose reader is slow, not gone: after the
        # stop it gets every line, "Interrupted" and the position last, which a script needs.
        write_file(self.path("rom.bin"), random_bytes(64 * 32 * 2 * 8, seed=66))
        read_end, write_end = filled_pipe()
        process = self.start(["rom.bin", "out/", 64, 32, 8, 0], stdout=write_end)
        os.close(write_end)
        self.wait_for_file(self.path("out", "snap0000.bmp"))
        time.sleep(0.2)
        process.send_signal(signal.SIGINT)
        time.sleep(0.5)
        out = drain(read_end, piece=1024, pause=0.01)
        os.close(read_end)
        self.assertEqual(process.wait(timeout=10), -signal.SIGINT)
        process.stderr.close()
        # The image under way is one block, written whole before the stop was acted on: kept.
        self.assertEqual(out, opening("out/snap0000.bmp") + INTERRUPTED + final_position(4096))
        self.assertEqual(self.snapshots(), ["snap0000.bmp"])

    def test_a_stop_while_the_rom_is_awaited_ends_the_run_at_once(self):
        # The ROM is a FIFO whose writer has sent the start offset's bytes
        # (read and dropped, as a pipe cannot seek) and one image, then waits.
        os.mkfifo(self.path("rom.fifo"))
        start, image = 100, random_bytes(512, seed=69)
        process = self.start(["rom.fifo", "out/", 16, 16, 5, start])
        with open(self.path("rom.fifo"), "wb", buffering=0) as rom:
            rom.write(bytes(start) + image)
            self.wait_for_file(self.path("out", "snap0000.bmp"))
            time.sleep(0.1)  # the tool is in its read of the second image
            process.send_signal(signal.SIGTERM)
            out, _ = process.communicate(timeout=10)
        self.assertEqual(process.returncode, -signal.SIGTERM)
        self.assertEqual(out.decode(), opening("out/snap0000.bmp") + INTERRUPTED + final_position(start + 512))
        self.assertEqual(read_file(self.path("out", "snap0000.bmp")), reference_bmp(image, 16, 16))
        self.assertEqual(self.snapshots(), ["snap0000.bmp"])

    def test_a_second_signal_stops_at_once_and_removes_the_file_in_progress(self):
        # The first signal's cleanup is held up (a removal that takes two
        # seconds, as on a slow file system); the second ends the tool at once.
        write_file(self.path("rom.bin"), random_bytes(BIG_WIDTH * BIG_HEIGHT * 2, seed=65))
        for first, second in [(signal.SIGINT, signal.SIGINT), (signal.SIGTERM, signal.SIGHUP)]:
            with self.subTest(first=first.name, second=second.name):
                process, read_end = self.start_blocked_in_a_big_image(
                    env=dict(os.environ, LD_PRELOAD=harness.RACE_PRELOAD, SLOW_UNLINK="1",
                             ASAN_OPTIONS="verify_asan_link_order=0"))
                process.send_signal(first)
                time.sleep(0.5)
                self.assertIsNone(process.poll(), "the cleanup was not held up")
                process.send_signal(second)
                self.assertEqual(process.wait(timeout=1.5), -second)
                process.stderr.close()
                os.close(read_end)
                self.assertEqual(self.snapshots(), [])

    def start_blocked_in_a_big_image(self, **kwargs):
        """A dump of one big image, held by a full pipe just after creating its file."""
        read_end, write_end = filled_pipe()
        process = self.start(["rom.bin", "out/", BIG_WIDTH, BIG_HEIGHT, 1, 0], stdout=write_end, **kwargs)
        os.close(write_end)
        self.wait_for_file(self.path("out", "snap0000.bmp"))
        return process, read_end

    def wait_for_file(self, path):
        deadline = time.monotonic() + 30
        while not os.path.exists(path):
            self.assertLess(time.monotonic(), deadline, "no " + path)
            time.sleep(0.005)

    def test_a_signal_while_asking_ends_the_tool_at_once(self):
        for sig in STOP_SIGNALS:
            with self.subTest(signal=sig.name):
                process = subprocess.Popen(harness.tool_command(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                           cwd=self.dir)
                self.assertEqual(process.stdout.read(len(HEAD + ROM_PROMPT)).decode(), HEAD + ROM_PROMPT)
                process.send_signal(sig)
                self.assertEqual(process.wait(timeout=10), -sig)
                process.stdin.close()
                process.stdout.close()
                self.assertEqual(self.snapshots(), [])

    def test_ctrl_c_in_a_shell_loop_stops_the_loop(self):
        # As a terminal sends Ctrl-C: to the whole foreground process group.
        width, height, count = 64, 32, 4096
        write_file(self.path("rom.bin"), random_bytes(width * height * 2 * count, seed=66))
        script = ('for run in 1 2 3; do mkdir "run$run" && "$0" "$@" "run$run/" %d %d %d 0; echo "after $run"; done'
                  % (width, height, count))
        loop = subprocess.Popen(["bash", "-c", script] + harness.tool_command(["rom.bin"]), cwd=self.dir,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, start_new_session=True)
        self.wait_for_file(self.path("run1", "snap0010.bmp"))
        os.killpg(loop.pid, signal.SIGINT)
        out, _ = loop.communicate(timeout=60)
        self.assertEqual(loop.returncode, -signal.SIGINT, out[-200:])
        self.assertNotIn(b"after", out)
        self.assertFalse(os.path.exists(self.path("run2")))


@unittest.skipIf(harness.ON_WINDOWS, "/dev/full")
class StandardOutputFails(ToolTestCase):
    def test_a_full_device_ends_the_run_at_the_next_snapshot(self):
        rom = random_bytes(3 * 32, seed=67)
        write_file(self.path("rom.bin"), rom)
        for args, stdin, kept in [(["rom.bin", "out/", 4, 4, 3, 0], b"", 1),
                                  ([], answers("rom.bin", "out/", 4, 4, 3, 0), 0)]:
            with self.subTest(arguments=len(args)):
                with open("/dev/full", "wb") as full:
                    _, err, status = run_with_arguments(args, self.dir, stdin=stdin, stdout=full)
                self.assertEqual((err, status), ("velloran: write error: No space left on device\n", 1))
                self.assertEqual(self.snapshots(), ["snap%04d.bmp" % i for i in range(kept)])
                for index, name in enumerate(self.snapshots()):
                    check_complete(self, self.path("out", name), rom, index * 32, 4, 4)
                    os.remove(self.path("out", name))

    def test_a_closed_pipe_is_a_failed_run(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=68))
        read_end, write_end = os.pipe()
        os.close(read_end)
        _, err, status = run_with_arguments(["rom.bin", "out/", 2, 2, 2, 0], self.dir, stdout=write_end)
        os.close(write_end)
        self.assertEqual((err, status), ("velloran: write error: Broken pipe\n", 1))
        self.assertEqual(self.snapshots(), ["snap0000.bmp"])


if __name__ == "__main__":
    harness.main()
