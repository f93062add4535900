#!/usr/bin/env python3
"""Bytes and time per --preview picture in each --graphics mode, for a 64 x 32
tile and a 256 x 224 screen. Off a terminal the room is 80 x 24 cells of
10 x 20 pixels: half blocks shrink the screen by 4, while sixel and kitty
zoom the tile in 4 times and the screen twice, pixel for pixel.

Each run dumps N images with pictures into /dev/null and is timed beside the
same dump without pictures, alternating; the medians of the differences,
divided by N, are the picture's cost.

Usage: python3 bench/pictures.py [--build DIR] [--runs N]
"""
import argparse
import os
import random
import statistics
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def timed(argv, cwd):
    start = time.perf_counter()
    done = subprocess.run(argv, cwd=cwd, stdout=subprocess.PIPE, check=True)
    return time.perf_counter() - start, len(done.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    tool = os.path.join(args.build, "velloran")
    work = tempfile.mkdtemp(prefix="velloran-pictures-")
    demo = open(os.path.join(ROOT, "examples", "demo.rom"), "rb").read()[0x20D:]
    chance = random.Random(2026)
    roms = {}
    for name, data in [("graphics", demo * 64), ("random", chance.randbytes(len(demo) * 64))]:
        roms[name] = os.path.join(work, name + ".rom")
        with open(roms[name], "wb") as rom:
            rom.write(data)
    print("| ROM | image | mode | bytes a picture | time a picture |")
    print("|---|---|---|---|---|")
    for rom_name, rom in roms.items():
        for width, height, count in [(64, 32, 256), (256, 224, 16)]:
            for mode in ["blocks", "sixel", "kitty"]:
                extra_times, extra_bytes = [], []
                for run in range(args.runs):
                    folders = [tempfile.mkdtemp(dir=work) for _ in range(2)]
                    plain = [tool, rom, folders[0] + "/", str(width), str(height), str(count), "0"]
                    drawn = [tool, "--preview", "--graphics=" + mode, rom, folders[1] + "/", str(width), str(height),
                             str(count), "0"]
                    order = [plain, drawn] if run % 2 == 0 else [drawn, plain]
                    results = {id(argv): timed(argv, work) for argv in order}
                    (plain_time, plain_bytes), (drawn_time, drawn_bytes) = results[id(plain)], results[id(drawn)]
                    extra_times.append((drawn_time - plain_time) / count)
                    extra_bytes.append((drawn_bytes - plain_bytes) / count)
                print("| %s | %dx%d | %s | %d | %.0f us |" % (rom_name, width, height, mode,
                                                              statistics.median(extra_bytes),
                                                              1e6 * statistics.median(extra_times)), flush=True)
    subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
