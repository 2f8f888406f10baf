#!/usr/bin/env python3
"""Measures cuesmelt reading a disc straight from zip archives.

Generates the two-session disc of bench.py (about 628 MB, the data track as
MODE1/2352) in a temporary folder, its sectors compressible about as a
game's data is (random bytes of a small alphabet, runs of zeros), and packs
it with Info-ZIP's zip twice: deflated (zip's default level) and stored.
Every input is then dropped from the page cache and read back in alike
(lay_alike_in_cache), and each side run once untimed, so that every run
finds its input in the page cache in the same shape. Then it times in
pairs, alternating which side goes first (as bench.py does, with its
helpers):

- cuesmelt on the deflated archive against `unzip -p` of the same archive
  into a file: the inflating and writing alone;
- cuesmelt on the stored archive against cuesmelt on the unpacked disc.

It prints the median wall times, the median per-pair ratios and cuesmelt's
peak resident memory on each archive (/usr/bin/time -v). With --check it
exits with status 1 when a ratio exceeds its goal (1.15 and 1.10) or the
peak memory exceeds --max-rss-mib (16).

usage: bench/bench_zip.py [path to cuesmelt] [--runs N] [--dir FOLDER] [--check]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile

from bench import AUDIO_SECTORS, DATA_SECTORS, RAW, Outputs, pairs, peak_rss_and_size, sheet, timed


def write_compressible(path, size, seed):
    """Bytes that deflate to about half: random bytes of 16 values, then zeros."""
    generator = random.Random(seed)
    alphabet = bytes(range(0, 256, 16))
    block = bytes(generator.choice(alphabet) for _ in range(3 << 20)) + bytes(1 << 20)
    with open(path, "wb") as out:
        left = size
        while left > 0:
            out.write(block[: min(left, len(block))])
            left -= min(left, len(block))


def lay_alike_in_cache(paths):
    """Drops each file's pages from the page cache and reads it back in.

    Linux keeps a file's cached pages in the sizes of the writes that made
    them: zip's small writes leave an archive that read() copies out at
    about 14 GB/s where the BIN files written here in 4 MB pieces give
    32 GB/s, which would be counted against reading from the archive. Read
    back alike, through readahead, every file gives about the same."""
    os.sync()  # dirty pages cannot be dropped
    for path in paths:
        descriptor = os.open(path, os.O_RDONLY)
        try:
            os.posix_fadvise(descriptor, 0, 0, os.POSIX_FADV_DONTNEED)
            while os.read(descriptor, 1 << 20):
                pass
        finally:
            os.close(descriptor)


def compare(ours, theirs, runs, outputs):
    for command_for in (ours, theirs):  # warm the page cache, and each program
        timed(command_for, outputs)
    a_times, b_times, ratios = [], [], []
    for a, b in pairs(ours, theirs, runs, outputs):
        a_times.append(a)
        b_times.append(b)
        ratios.append(a / b)
    median = statistics.median
    return median(a_times), median(b_times), median(ratios)


def main():
    parser = argparse.ArgumentParser(description="Times cuesmelt on zip archives of a disc.")
    parser.add_argument("cuesmelt", nargs="?", default="build/cuesmelt")
    parser.add_argument("--runs", type=int, default=7, help="pairs per comparison")
    parser.add_argument("--dir", default=None, help="where to put the disc (default: a temp folder)")
    parser.add_argument("--check", action="store_true", help="exit 1 when a goal is missed")
    parser.add_argument("--max-deflated-ratio", type=float, default=1.15)
    parser.add_argument("--max-stored-ratio", type=float, default=1.10)
    parser.add_argument("--max-rss-mib", type=float, default=16)
    args = parser.parse_args()
    cuesmelt = os.path.abspath(args.cuesmelt)

    folder = tempfile.mkdtemp(prefix="cuesmelt-bench-zip-", dir=args.dir)
    missed = []
    try:
        names = ["Bench.cue", "Bench (Track 1).bin", "Bench (Track 2).bin"]
        with open(os.path.join(folder, names[0]), "w") as out:
            out.write(sheet("MODE1/2352"))
        write_compressible(os.path.join(folder, names[1]), AUDIO_SECTORS * RAW, 1)
        write_compressible(os.path.join(folder, names[2]), DATA_SECTORS * RAW, 2)
        for archive, level in (("deflated.zip", "-6"), ("stored.zip", "-0")):
            subprocess.run(["zip", "-q", level, archive, *names], cwd=folder, check=True)
        at = lambda name: os.path.join(folder, name)
        sizes = {name: os.path.getsize(at(name)) / 1e6 for name in ("deflated.zip", "stored.zip")}
        print(f"disc: {(AUDIO_SECTORS + DATA_SECTORS) * RAW / 1e6:.0f} MB in {folder}; deflated "
              f"archive {sizes['deflated.zip']:.0f} MB, stored {sizes['stored.zip']:.0f} MB; "
              f"{args.runs} pairs each", flush=True)
        lay_alike_in_cache([at(name) for name in names + ["deflated.zip", "stored.zip"]])
        outputs = Outputs(folder)
        convert = lambda source: lambda out: [cuesmelt, "--cue", at(source), "--cdi", out]
        unzip = lambda out: ["sh", "-c", 'unzip -p "$1" > "$2"', "unzip", at("deflated.zip"), out]
        for label, ours, theirs, goal in (
            ("deflated zip / unzip -p", convert("deflated.zip"), unzip, args.max_deflated_ratio),
            ("stored zip / unpacked", convert("stored.zip"), convert("Bench.cue"),
             args.max_stored_ratio),
        ):
            a, b, ratio = compare(ours, theirs, args.runs, outputs)
            rss, _ = peak_rss_and_size(ours, outputs)
            print(f"{label}: {a:.3f} s / {b:.3f} s, median ratio {ratio:.2f} (goal {goal}), "
                  f"peak RSS {rss / 1024:.1f} MiB", flush=True)
            if ratio > goal:
                missed.append(f"{label}: ratio {ratio:.2f} > {goal}")
            if rss / 1024 > args.max_rss_mib:
                missed.append(f"{label}: peak RSS {rss / 1024:.1f} MiB > {args.max_rss_mib}")
        outputs.discard()
    finally:
        shutil.rmtree(folder)
    if args.check and missed:
        print("missed: " + "; ".join(missed), file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
