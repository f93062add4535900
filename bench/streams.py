#!/usr/bin/env python3
"""Times the stream decoders and the scan against their floors: --scan of a
ROM against md5sum of it (reading and checksumming every byte), and a dump
of a stream's images (--compression) against the same dump of its decoded
bytes stored raw.

Usage: python3 bench/streams.py [--build DIR] [--runs N]

The contenders take turns within each round, after a sync, each dump into a
fresh folder, and nothing is deleted while measuring; the ratios are taken
per round and their medians shown. The work folder is removed at the end.
"""
import argparse
import os
import random
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests"))
import streams  # noqa: E402  the tests' encoders

MIB = 1 << 20


def lz77_tokens(size, seed):
    """An lz77 stream of `size` decoded bytes made token by token (a greedy encoder in Python
    would take hours on megabytes): half literals, half copies from up to 4096 back."""
    r = random.Random(seed)
    out, made = bytearray(streams.header(0x10, size)), 0
    while made < size:
        flag_at = len(out)
        out.append(0)
        for bit in range(8):
            if made >= size:
                break
            if made >= 18 and r.random() < 0.5:
                length = min(r.randrange(3, 19), size - made) if size - made >= 3 else 0
                if length:
                    out[flag_at] |= 0x80 >> bit
                    distance = r.randrange(1, min(4096, made) + 1)
                    out += bytes([((length - 3) << 4) | ((distance - 1) >> 8), (distance - 1) & 0xFF])
                    made += length
                    continue
            out.append(r.randrange(256))
            made += 1
    return bytes(out)


def rle_tokens(size, seed):
    r = random.Random(seed)
    out, made = bytearray(streams.header(0x30, size)), 0
    while made < size:
        if r.random() < 0.5:
            length = min(r.randrange(3, 131), size - made)
            if length >= 3:
                out += bytes([0x80 | (length - 3), r.randrange(256)])
                made += length
                continue
        length = min(r.randrange(1, 129), size - made)
        out += bytes([length - 1]) + r.randbytes(length)
        made += length
    return bytes(out)


def timed(argv):
    start = time.perf_counter()
    done = subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("%s failed (%d): %s" % (" ".join(argv), done.returncode, done.stderr.decode()))
    return elapsed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    tool = os.path.join(args.build, "velloran")
    work = tempfile.mkdtemp(prefix="velloran-streams-")
    try:
        rows = []
        for size in (16 * MIB, 32 * MIB):
            rom = bytearray(random.Random(size).randbytes(size))
            r = random.Random(1)
            for index in range(64):  # streams, each pointed at
                at = (index + 1) * (size // 66) & ~3
                stream = streams.rle(bytes(r.randrange(4) for _ in range(2048)))
                rom[at:at + len(stream)] = stream
                rom[at + 4096:at + 4100] = struct.pack("<I", 0x08000000 + at)
            path = os.path.join(work, "rom%d.bin" % size)
            with open(path, "wb") as f:
                f.write(rom)
            rows.append(("--scan, %d MiB of noise, 64 streams" % (size // MIB), [tool, "--scan", path],
                         ["md5sum", path], "md5sum"))
        decoded_size = (1 << 24) - 1  # the largest a header states
        for name, make in (("lz77", lz77_tokens), ("rle", rle_tokens)):
            stream = make(decoded_size, 7)
            rom = os.path.join(work, name + ".bin")
            with open(rom, "wb") as f:
                f.write(stream)
            plain = os.path.join(work, name + "-plain.bin")
            with open(plain, "wb") as f:
                f.write(streams.decode(stream))
            rows.append(("dump of a %s stream, 16 MiB decoded" % name,
                         [tool, "--compression=" + name, "--format=i8", rom, "{out}/", 4096, 4095, 1, 0],
                         [tool, "--format=i8", plain, "{out}/", 4096, 4095, 1, 0], "the decoded bytes dumped raw"))
        print("%d rounds per workload, contenders alternating; medians\n" % args.runs)
        print("| workload | velloran | floor | floor is | velloran/floor |")
        print("|---|---|---|---|---|")
        folder = [0]

        def fresh(argv):
            folder[0] += 1
            out = os.path.join(work, "out%d" % folder[0])
            os.mkdir(out)
            return [str(a).replace("{out}", out) for a in argv]

        for name, ours, floor, floor_name in rows:
            times, floors, ratios = [], [], []
            for _ in range(args.runs):
                subprocess.run(["sync"])
                a = timed(fresh(ours))
                b = timed(fresh(floor))
                times.append(a)
                floors.append(b)
                ratios.append(a / b)
            print("| %s | %.3f s | %.3f s | %s | %.2fx |" % (name, statistics.median(times), statistics.median(floors),
                                                           floor_name, statistics.median(ratios)))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
