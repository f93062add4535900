#!/usr/bin/env python3
"""Times velloran against the I/O floor (bench/io_floor.cpp) and ffmpeg, and
velloran --preview against velloran; then one snapshot into folders that
already hold 10,000 and 100,000 taken names against the same into an empty
folder.

Usage: python3 bench/run.py [--build DIR] [--work DIR] [--runs N] [--quick] [--only TEXT] [--against BUILD]
                            [--format NAME]

With --format (bgr555le, rgb565le, rgba or t4p) every dump reads that
layout, and the floor writes files of its size; ffmpeg runs for the default
only. The workloads keep their sizes in pixels: a 4-bit format reads a
quarter of the ROM bytes. With --rom graphics the ROM holds picture-like
data (the demo ROM's pictures, each copy's colours shifted) instead of noise.

Every run writes into a fresh, empty folder and nothing is deleted while
measuring (file creation right after mass deletion is many times slower on
this kind of disk). The contenders take turns within each round, and the
ratios are taken per round, so drift on a shared machine cancels out. The
work folder is removed at the end unless --keep is given.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MIB = 1 << 20
# A pixel's bits in the ROM and in the BMP, and the bytes before the rows.
FORMATS = {"bgr555le": (16, 16, 54), "rgb565le": (16, 16, 66), "rgba": (32, 32, 138), "t4p": (4, 4, 54 + 64)}
ROM_KIND = "noise"
FORMAT = "bgr555le"
PNG = False  # --png: velloran --png runs beside the others


class Workload:
    def __init__(self, name, rom_bytes, width, height, count, existing=0):
        self.name, self.rom_bytes = name, rom_bytes
        self.width, self.height, self.count, self.existing = width, height, count, existing
        # ffmpeg takes pictures of at most 16383 pixels a side.
        self.ffmpeg_can = max(width, height) < 16384

    def file_bytes(self):
        _, pixel, header = FORMATS[FORMAT]
        return header + (self.width * pixel + 31) // 32 * 4 * self.height


WORKLOADS = [
    Workload("tiles 16 MiB, 64x32 x 4096", 16 * MIB, 64, 32, 4096),
    Workload("tiles 128 MiB, 64x32 x 32768", 128 * MIB, 64, 32, 32768),
    Workload("screens 256x224 x 512", 256 * 224 * 2 * 512, 256, 224, 512),
    Workload("one image 8192x8192", 128 * MIB, 8192, 8192, 1),
    Workload("one image 16384x16384", 512 * MIB, 16384, 16384, 1),
    Workload("tiles 16 MiB after 10,000 snapshots", 16 * MIB, 64, 32, 4096, existing=10000),
]


def make_rom(path, size, seed):
    if ROM_KIND == "graphics":
        return make_graphics_rom(path, size)
    chance = random.Random(seed)
    with open(path, "wb") as rom:
        for start in range(0, size, 16 * MIB):
            rom.write(chance.randbytes(min(16 * MIB, size - start)))


def make_graphics_rom(path, size):
    """Copies of the demo ROM's pictures, each copy's bytes shifted by its number, so that no two
    copies are alike but each keeps the runs and shapes of drawn graphics."""
    with open(os.path.join(ROOT, "examples", "demo.rom"), "rb") as demo:
        pictures = demo.read()
    with open(path, "wb") as rom:
        written, copy = 0, 0
        while written < size:
            shift = (copy * 37) & 0xFF
            chunk = pictures[:size - written].translate(bytes((b + shift) & 0xFF for b in range(256)))
            rom.write(chunk)
            written += len(chunk)
            copy += 1


def fill_existing(folder, count):
    """The snapshots of an earlier run, numbered from 0."""
    header = b"BM" + bytes(52)
    for number in range(count):
        with open(os.path.join(folder, "snap%04d.bmp" % number), "wb") as f:
            f.write(header)


def commands(build, rom, folder, w):
    prefix = folder + "/"
    answers = "%s\n%s\n%d\n%d\n%d\n0\n" % (rom, prefix, w.width, w.height, w.count)
    format_option = ["--format=" + FORMAT]
    yield "velloran", [os.path.join(build, "velloran")] + format_option, answers
    # The same run drawing every snapshot (into /dev/null, as all output here).
    yield "preview", [os.path.join(build, "velloran"), "--preview"] + format_option, answers
    if PNG:
        yield "png", [os.path.join(build, "velloran"), "--png"] + format_option, answers
    yield "floor", [os.path.join(build, "bench", "velloran_io_floor"), rom, prefix,
                    str(w.width), str(w.height), str(w.count), "0", str(w.existing)] + [str(n) for n in FORMATS[FORMAT]], None
    if shutil.which("ffmpeg") and w.ffmpeg_can and FORMAT == "bgr555le":
        # ffmpeg overwrites, so it starts past the existing names instead of probing them.
        yield "ffmpeg", ["ffmpeg", "-nostdin", "-loglevel", "error", "-f", "rawvideo",
                         "-pixel_format", "bgr555le", "-video_size", "%dx%d" % (w.width, w.height),
                         "-i", rom, "-frames:v", str(w.count), "-pix_fmt", "rgb555le",
                         "-start_number", str(w.existing), prefix + "snap%04d.bmp"], None


def timed_run(argv, answers, report):
    """Wall time in seconds and peak resident memory in KiB."""
    wrapped = ["/usr/bin/time", "-v", "-o", report] + argv
    start = time.perf_counter()
    done = subprocess.run(wrapped, input=answers, text=True, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("%s failed (%d): %s" % (argv[0], done.returncode, done.stderr.strip()))
    with open(report) as f:
        for line in f:
            if "Maximum resident set size" in line:
                return elapsed, int(line.rsplit(":", 1)[1])
    sys.exit("no peak memory in " + report)


def check_files(folder, w, contender):
    """The files' bytes in all."""
    earlier = {"snap%04d.bmp" % number for number in range(w.existing)}
    written = [name for name in os.listdir(folder) if name not in earlier]
    if len(written) != w.count:
        sys.exit("%s wrote %d files into %s, expected %d" % (contender, len(written), folder, w.count))
    if contender == "png":
        return sum(os.path.getsize(os.path.join(folder, name)) for name in written)
    for name in written:
        size = os.path.getsize(os.path.join(folder, name))
        if size != w.file_bytes():
            sys.exit("%s wrote %s with %d bytes, expected %d" % (contender, name, size, w.file_bytes()))
    return w.file_bytes() * len(written)


def measure(build, work, w, runs, seed):
    # The same images in a format of wider pixels need a larger ROM.
    rom_bytes = w.rom_bytes * FORMATS[FORMAT][0] // 16
    rom = os.path.join(work, "rom-%s-%d.bin" % (ROM_KIND, rom_bytes))
    if not os.path.exists(rom):
        make_rom(rom, rom_bytes, seed)
    contenders = [name for name, _, _ in commands(build, rom, work, w)]
    times = {name: [] for name in contenders}
    memory = {name: 0 for name in contenders}
    sizes = {}
    for round_number in range(runs):
        shift = round_number % len(contenders)
        for name in contenders[shift:] + contenders[:shift]:
            folder = tempfile.mkdtemp(prefix="%s-" % name, dir=work)
            fill_existing(folder, w.existing)
            _, argv, answers = next(c for c in commands(build, rom, folder, w) if c[0] == name)
            # Each contender starts with nothing of the last one's (or of the
            # earlier files') still waiting to be written back to the disk.
            os.sync()
            elapsed, peak = timed_run(argv, answers, os.path.join(folder + ".time"))
            sizes[name] = check_files(folder, w, name)
            times[name].append(elapsed)
            memory[name] = max(memory[name], peak)
    if PNG:
        print("  %s: --png/velloran %.2fx the time, %.1f MiB against %.1f MiB" % (
            w.name, ratio(times, "png", "velloran"), sizes["png"] / MIB, sizes["velloran"] / MIB))
    return times, memory


NAMING_FOLDERS = [0, 10000, 100000]


def measure_naming(builds, work, runs):
    """One 64x32 snapshot into a folder of N taken names, for each N and each build,
    alternating; every folder is filled before the first timed run and only grows
    by the snapshots written, as a user's folder does run after run."""
    rom = os.path.join(work, "rom-naming.bin")
    make_rom(rom, 64 * 32 * 2, 7)
    folders = {}
    for taken in NAMING_FOLDERS:
        for name in builds:
            folders[taken, name] = tempfile.mkdtemp(prefix="naming-%d-%s-" % (taken, name), dir=work)
            fill_existing(folders[taken, name], taken)
    times = {key: [] for key in folders}
    keys = list(folders)
    for round_number in range(runs):
        shift = round_number % len(keys)
        for key in keys[shift:] + keys[:shift]:
            os.sync()
            argv = [os.path.join(builds[key[1]], "velloran"), rom, folders[key] + "/", "64", "32", "1", "0"]
            elapsed, _ = timed_run(argv, None, folders[key] + ".time")
            times[key].append(elapsed)
    return times


def print_naming(times, builds):
    print("\n| one 64x32 snapshot into | " + " | ".join("%s" % name for name in builds) + " | "
          + " | ".join("%s / empty folder" % name for name in builds) + " |")
    print("|---|" + "---|" * (2 * len(builds)))
    for taken in NAMING_FOLDERS:
        cells = ["%.1f ms" % (1000 * statistics.median(times[taken, name])) for name in builds]
        ratios = ["%.2fx" % statistics.median(x / y for x, y in zip(times[taken, name], times[0, name]))
                  for name in builds]
        print("| %s | %s | %s |" % ("an empty folder" if taken == 0 else "%d taken names" % taken,
                                    " | ".join(cells), " | ".join(ratios)))


def ratio(times, a, b):
    if a not in times or b not in times:
        return None
    return statistics.median(x / y for x, y in zip(times[a], times[b]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--work", help="folder for ROMs and output (default: a new one under /tmp)")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--quick", action="store_true", help="only the 16 MiB tiles and screens")
    parser.add_argument("--only", help="only the workloads whose name holds this text, and no naming table")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    parser.add_argument("--against", help="another build folder whose velloran runs beside in the naming table")
    parser.add_argument("--format", default="bgr555le", choices=sorted(FORMATS))
    parser.add_argument("--png", action="store_true", help="time velloran --png beside, and say the bytes of each")
    parser.add_argument("--rom", default="noise", choices=["noise", "graphics"])
    args = parser.parse_args()
    global FORMAT, PNG, ROM_KIND
    FORMAT = args.format
    PNG = args.png
    ROM_KIND = args.rom

    subprocess.run(["cmake", "-S", ROOT, "-B", args.build, "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", args.build, "-j2", "--target", "velloran",
                    "velloran_io_floor"], check=True, stdout=subprocess.DEVNULL)
    work = args.work or tempfile.mkdtemp(prefix="velloran-bench-")
    os.makedirs(work, exist_ok=True)
    workloads = [w for w in WORKLOADS if not args.quick or (w.rom_bytes < 128 * MIB and not w.existing)]
    workloads = [w for w in workloads if not args.only or args.only in w.name]
    builds = {"velloran": args.build}
    if args.against:
        builds["against"] = args.against

    print("%d rounds per workload, contenders alternating; times are medians\n" % args.runs)
    print("| workload | velloran | floor | ffmpeg | velloran/floor | velloran/ffmpeg "
          "| peak MiB velloran / floor / ffmpeg | --preview/velloran |")
    print("|---|---|---|---|---|---|---|---|")
    try:
        for w in workloads:
            times, memory = measure(args.build, work, w, args.runs, args.seed)
            cell = lambda name: ("%.3f s" % statistics.median(times[name])) if name in times else "-"
            fmt = lambda r: "-" if r is None else "%.2fx" % r
            peaks = " / ".join("%.0f" % (memory[n] / 1024) if n in memory else "-"
                               for n in ("velloran", "floor", "ffmpeg"))
            print("| %s | %s | %s | %s | %s | %s | %s | %s |" % (
                w.name, cell("velloran"), cell("floor"), cell("ffmpeg"),
                fmt(ratio(times, "velloran", "floor")), fmt(ratio(times, "velloran", "ffmpeg")), peaks,
                fmt(ratio(times, "preview", "velloran"))), flush=True)
        if not args.quick and (not args.only or args.only == "naming"):
            print_naming(measure_naming(builds, work, args.runs), builds)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
