#!/usr/bin/env python3
"""Measures velloran --browse: it scrolls a 128 MiB ROM in a 200 x 60
pseudo-terminal and reports, for each zoom, the time from a key's byte
written to the end of the frame it leads to (the synchronized update's
closing mark), the same for the floor (bench/browse_floor.cpp, which only
writes as many bytes per key), the bytes of a frame, and the frames a second
while a key is held (keys sent as fast as the tool takes them). Two ROMs:
random bytes (every pixel a new colour: the most bytes a frame can take) and
the demo ROM's graphics over and over (runs of one colour, as ROM graphics
have them).

Usage: python3 bench/browse.py [--build DIR] [--keys N] [--format NAME]

With --format the ROMs are read in that layout (the graphics ROM is then the
same bytes, no longer the demo's pictures, but runs of one value still).
"""
import argparse
import fcntl
import os
import pty
import random
import select
import statistics
import struct
import subprocess
import tempfile
import termios
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FRAME_END = b"\x1b[?2026l"
COLUMNS, ROWS = 200, 60


class Session:
    def __init__(self, argv, cwd):
        self.controller, terminal = pty.openpty()
        fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLUMNS, 0, 0))
        self.process = subprocess.Popen(argv, stdin=terminal, stdout=terminal, stderr=terminal, cwd=cwd,
                                        env=dict(os.environ, TERM="xterm-256color"), start_new_session=True)
        os.close(terminal)
        self.pending = b""
        self.read_frame()

    def read_frame(self):
        """The bytes up to and with the next frame's end; its length."""
        while FRAME_END not in self.pending:
            select.select([self.controller], [], [], 10)
            self.pending += os.read(self.controller, 1 << 20)
        end = self.pending.index(FRAME_END) + len(FRAME_END)
        frame, self.pending = self.pending[:end], self.pending[end:]
        return len(frame)

    def key_to_frame(self, key):
        start = time.perf_counter()
        os.write(self.controller, key)
        size = self.read_frame()
        return time.perf_counter() - start, size

    def held_key(self, key, seconds):
        """Frames a second while `key` is sent as fast as it is taken."""
        frames, end = 0, time.perf_counter() + seconds
        os.set_blocking(self.controller, False)
        while time.perf_counter() < end:
            try:
                os.write(self.controller, key * 8)
            except BlockingIOError:
                pass
            ready = select.select([self.controller], [], [], 0.001)[0]
            if ready:
                try:
                    chunk = os.read(self.controller, 1 << 20)
                except BlockingIOError:
                    chunk = b""
                frames += (self.pending + chunk).count(FRAME_END) - self.pending.count(FRAME_END)
                self.pending = (self.pending + chunk)[-16:]
        os.set_blocking(self.controller, True)
        return frames / seconds

    def close(self):
        self.process.kill()
        self.process.wait()
        os.close(self.controller)


def make_roms(work):
    chance = random.Random(2026)
    random_rom = os.path.join(work, "random.rom")
    with open(random_rom, "wb") as f:
        for _ in range(8):
            f.write(chance.randbytes(16 << 20))
    demo = open(os.path.join(ROOT, "examples", "demo.rom"), "rb").read()[0x20D:]
    graphics_rom = os.path.join(work, "graphics.rom")
    with open(graphics_rom, "wb") as f:
        for _ in range((128 << 20) // len(demo)):
            f.write(demo)
    return [("random", random_rom), ("graphics", graphics_rom)]


def key_to_frame(session, key, count):
    timings = [session.key_to_frame(key) for _ in range(count)]
    return sorted(t for t, _ in timings), statistics.median(s for _, s in timings)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--keys", type=int, default=300)
    parser.add_argument("--format", default="bgr555le")
    args = parser.parse_args()
    tool = os.path.join(args.build, "velloran")
    floor = os.path.join(args.build, "bench", "velloran_browse_floor")
    work = tempfile.mkdtemp(prefix="velloran-browse-bench-")
    os.mkdir(os.path.join(work, "out"))
    print("128 MiB ROM, %d x %d pseudo-terminal, %d keys each, --format=%s; times from the key's byte to its "
          "frame's end\n" % (COLUMNS, ROWS, args.keys, args.format))
    print("| ROM | images | zoom | key | key to frame, median (p90) | floor for the same bytes | bytes a frame "
          "| frames a second, key held |")
    print("|---|---|---|---|---|---|---|---|")
    for rom_name, rom in make_roms(work):
        for width, height, zoom_keys, zoom in [(64, 64, b"", "fits, 1:1"), (16, 16, b"", "fits, 3:1"),
                                               (64, 64, b"----", "1:4"), (256, 224, b"", "fits, 1:2")]:
            session = Session([tool, "--browse", "--format=" + args.format, rom, "out/", str(width), str(height)],
                              work)
            for key in zoom_keys:
                session.key_to_frame(bytes([key]))
            for key, label in [(b"j", "j (a row)"), (b"f", "f (a screen)")]:
                times, size = key_to_frame(session, key, args.keys)
                held = session.held_key(key, 2.0)
                base = Session([floor, str(int(size))], work)
                floor_times, _ = key_to_frame(base, b"j", args.keys)
                base.close()
                print("| %s | %dx%d | %s | %s | %.2f ms (%.2f) | %.2f ms | %d | %.0f |" % (
                    rom_name, width, height, zoom, label, 1000 * statistics.median(times),
                    1000 * times[int(len(times) * 0.9)], 1000 * statistics.median(floor_times), size, held),
                    flush=True)
            session.close()
    subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
