#!/usr/bin/env python3
"""Measures cuesmelt against a compiled copy floor and against `cat` on a realistic disc.

Generates a two-session disc in a temporary folder (session 1: one audio
track of about 28 MB; session 2: one data track of about 600 MB) and converts
it with cuesmelt, once with the data track as MODE1/2352 and once as
MODE2/2352. Two yardsticks write the same disc to the same file system:

- the copy floor, a plain C program compiled here with `cc -O2` from
  --floor-source, which writes the data area of the image (pregaps and the
  kept part of every sector) without the descriptor;
- `cat`, which copies both BIN files unchanged into one file.

Each input is read once untimed first, so every run finds it in the page
cache. Runs are timed in pairs, cuesmelt then yardstick and yardstick then
cuesmelt on alternate pairs, floor pairs and cat pairs interleaved, so that
the machine's speed drifting affects both sides of a pair alike. Every run
writes a new file after os.sync(), and the previous run's file is deleted
first, both outside the timed interval. Per mode the script prints the median
wall time of cuesmelt (over all its runs), of the floor and of cat, the
median of the per-pair ratios cuesmelt/floor and cuesmelt/cat, the image
size, and cuesmelt's peak resident memory as /usr/bin/time -v reports it.

With --check it exits with status 1 when the median ratio to the floor
exceeds --max-floor-ratio in either mode or the peak memory exceeds
--max-rss-mib; without it it only reports.

usage: bench/bench.py [path to cuesmelt] [--runs N] [--dir FOLDER]
                      [--floor-source FILE] [--check]
                      [--max-floor-ratio R] [--max-rss-mib M]
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

AUDIO_SECTORS = 12000  # 28.2 MB
DATA_SECTORS = 255000  # 599.8 MB
RAW = 2352
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FLOOR_SOURCE = os.path.normpath(os.path.join(ROOT, "..", "shared", "perf", "copy_floor.c"))


def write_random(path, size):
    chunk = 1 << 20
    with open("/dev/urandom", "rb") as source, open(path, "wb") as out:
        # A few MiB of random bytes repeated: realistic enough for copying.
        block = source.read(8 * chunk)
        left = size
        while left > 0:
            piece = block[: min(left, len(block))]
            out.write(piece)
            left -= len(piece)


def sheet(mode):
    return (
        "REM SESSION 01\n"
        'FILE "Bench (Track 1).bin" BINARY\n'
        "  TRACK 01 AUDIO\n"
        "    INDEX 01 00:00:00\n"
        "REM SESSION 02\n"
        'FILE "Bench (Track 2).bin" BINARY\n'
        f"  TRACK 02 {mode}\n"
        "    INDEX 01 00:00:00\n"
    )


class Outputs:
    """Hands each run a file name of its own and deletes the previous run's file.

    A fresh name keeps any run from overwriting, and so truncating, a file the
    last one wrote; deleting it keeps the disk from filling up."""

    def __init__(self, folder):
        self.folder, self.count, self.last = folder, 0, None

    def fresh(self):
        self.discard()
        self.count += 1
        self.last = os.path.join(self.folder, f"out-{self.count}.bin")
        return self.last

    def discard(self):
        if self.last and os.path.exists(self.last):
            os.remove(self.last)
        self.last = None


def timed(command_for, outputs):
    """Wall time of one run of command_for(a fresh output path)."""
    command = command_for(outputs.fresh())
    os.sync()  # earlier runs' dirty pages are not this run's to write back
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def pairs(ours, theirs, runs, outputs):
    """Times `runs` pairs, alternating which side goes first; yields both times."""
    for n in range(runs):
        if n % 2 == 0:
            a = timed(ours, outputs)
            b = timed(theirs, outputs)
        else:
            b = timed(theirs, outputs)
            a = timed(ours, outputs)
        yield a, b


def peak_rss_and_size(command_for, outputs):
    """Peak RSS in KiB of one untimed run, and the size of what it wrote."""
    path = outputs.fresh()
    result = subprocess.run(
        ["/usr/bin/time", "-v"] + command_for(path),
        check=True,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE,
        text=True,
    )
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", result.stderr).group(1))
    return rss, os.path.getsize(path)


def build_floor(source, folder):
    binary = os.path.join(folder, "copy_floor")
    subprocess.run(["cc", "-O2", "-o", binary, source], check=True)
    return binary


def commands(cuesmelt, floor, folder, mode):
    """The three ways to write the disc, each a function of the output path."""
    track1 = os.path.join(folder, "Bench (Track 1).bin")
    track2 = os.path.join(folder, "Bench (Track 2).bin")
    cue = os.path.join(folder, "Bench.cue")
    with open(cue, "w") as out:
        out.write(sheet(mode))
    data = mode[4]  # "1" or "2", the floor's mode digit
    return {
        "cuesmelt": lambda out: [cuesmelt, "--cue", cue, "--cdi", out],
        "floor": lambda out: [floor, out, f"0:{track1}:first", f"{data}:{track2}:first"],
        "cat": lambda out: ["sh", "-c", 'cat "$1" "$2" > "$3"', "cat", track1, track2, out],
    }


def measure(run, runs, outputs):
    """Median times and median per-pair ratios; floor and cat pairs interleave."""
    for command_for in run.values():  # warm the page cache, and each program
        timed(command_for, outputs)
    ours, floor, cat, to_floor, to_cat = [], [], [], [], []
    by_floor = pairs(run["cuesmelt"], run["floor"], runs, outputs)
    by_cat = pairs(run["cuesmelt"], run["cat"], runs, outputs)
    for (a, b), (c, d) in zip(by_floor, by_cat):
        ours += [a, c]
        floor.append(b)
        cat.append(d)
        to_floor.append(a / b)
        to_cat.append(c / d)
    rss, size = peak_rss_and_size(run["cuesmelt"], outputs)
    outputs.discard()
    median = statistics.median
    return {"ours": median(ours), "floor": median(floor), "to_floor": median(to_floor),
            "cat": median(cat), "to_cat": median(to_cat), "size": size, "rss_mib": rss / 1024}


def report(mode, r):
    print(f"{mode}: cuesmelt {r['ours']:.3f} s, floor {r['floor']:.3f} s, "
          f"ratio to floor {r['to_floor']:.2f}, cat {r['cat']:.3f} s, "
          f"ratio to cat {r['to_cat']:.2f}, image {r['size'] / 1e6:.0f} MB, "
          f"peak RSS {r['rss_mib']:.1f} MiB", flush=True)


def misses(mode, r, args):
    if r["to_floor"] > args.max_floor_ratio:
        yield f"{mode}: ratio to floor {r['to_floor']:.2f} > {args.max_floor_ratio}"
    if r["rss_mib"] > args.max_rss_mib:
        yield f"{mode}: peak RSS {r['rss_mib']:.1f} MiB > {args.max_rss_mib}"


def main():
    parser = argparse.ArgumentParser(description="Times cuesmelt against a copy floor and cat.")
    parser.add_argument("cuesmelt", nargs="?", default="build/cuesmelt")
    parser.add_argument("--runs", type=int, default=7, help="pairs per comparison and mode")
    parser.add_argument("--dir", default=None, help="where to put the disc (default: a temp folder)")
    parser.add_argument("--floor-source", default=FLOOR_SOURCE, help="C source of the copy floor (default: %(default)s)")
    parser.add_argument("--check", action="store_true", help="exit 1 when a goal is missed")
    parser.add_argument("--max-floor-ratio", type=float, default=1.05,
                        help="goal for the median ratio to the floor (default: %(default)s)")
    parser.add_argument("--max-rss-mib", type=float, default=8,
                        help="goal for the peak RSS in MiB (default: %(default)s)")
    args = parser.parse_args()
    if not os.path.isfile(args.floor_source):
        parser.error(f"no copy floor source at {args.floor_source} (see --floor-source)")
    cuesmelt = os.path.abspath(args.cuesmelt)

    folder = tempfile.mkdtemp(prefix="cuesmelt-bench-", dir=args.dir)
    missed = []
    try:
        floor = build_floor(args.floor_source, folder)
        write_random(os.path.join(folder, "Bench (Track 1).bin"), AUDIO_SECTORS * RAW)
        write_random(os.path.join(folder, "Bench (Track 2).bin"), DATA_SECTORS * RAW)
        print(f"disc: {AUDIO_SECTORS} audio + {DATA_SECTORS} data sectors "
              f"({(AUDIO_SECTORS + DATA_SECTORS) * RAW / 1e6:.0f} MB) in {folder}, "
              f"{args.runs} pairs each", flush=True)
        outputs = Outputs(folder)
        for mode in ("MODE1/2352", "MODE2/2352"):
            result = measure(commands(cuesmelt, floor, folder, mode), args.runs, outputs)
            report(mode, result)
            missed += misses(mode, result, args)
    finally:
        shutil.rmtree(folder)
    if args.check and missed:
        print("missed: " + "; ".join(missed), file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
