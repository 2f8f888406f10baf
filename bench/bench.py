#!/usr/bin/env python3
"""Measures cuesmelt against `cat` on a realistic disc.

Generates a two-session disc in a temporary folder (session 1: one audio
track of about 28 MB; session 2: one data track of about 600 MB), converts it
with cuesmelt, once with the data track as MODE1/2352 and once as MODE2/2352,
and copies the same BIN files with `cat` into one file on the same file
system. Runs alternate, with the files in the page cache; the script prints
the median wall time of each, the ratio cuesmelt/cat, and cuesmelt's peak
resident memory as /usr/bin/time -v reports it.

usage: bench/bench.py [path to cuesmelt] [--runs N] [--dir FOLDER]
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import tempfile
import time

AUDIO_SECTORS = 12000  # 28.2 MB
DATA_SECTORS = 255000  # 599.8 MB
RAW = 2352


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


def timed(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def peak_rss_kib(command):
    result = subprocess.run(
        ["/usr/bin/time", "-v"] + command,
        check=True,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE,
        text=True,
    )
    return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", result.stderr).group(1))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cuesmelt", nargs="?", default="build/cuesmelt")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--dir", default=None, help="where to put the disc (default: a temp folder)")
    args = parser.parse_args()
    cuesmelt = os.path.abspath(args.cuesmelt)

    folder = tempfile.mkdtemp(prefix="cuesmelt-bench-", dir=args.dir)
    try:
        track1 = os.path.join(folder, "Bench (Track 1).bin")
        track2 = os.path.join(folder, "Bench (Track 2).bin")
        write_random(track1, AUDIO_SECTORS * RAW)
        write_random(track2, DATA_SECTORS * RAW)
        image = os.path.join(folder, "out.cdi")
        copy = os.path.join(folder, "copy.bin")
        cat = ["sh", "-c", 'cat "$1" "$2" > "$3"', "cat", track1, track2, copy]
        print(f"disc: {AUDIO_SECTORS} audio + {DATA_SECTORS} data sectors "
              f"({(AUDIO_SECTORS + DATA_SECTORS) * RAW / 1e6:.0f} MB) in {folder}")
        for mode in ("MODE1/2352", "MODE2/2352"):
            cue = os.path.join(folder, "Bench.cue")
            with open(cue, "w") as out:
                out.write(sheet(mode))
            convert = [cuesmelt, "--cue", cue, "--cdi", image]
            timed(cat)  # warm the page cache with both inputs
            timed(convert)
            ours, theirs = [], []
            for _ in range(args.runs):
                ours.append(timed(convert))
                theirs.append(timed(cat))
            rss = peak_rss_kib(convert)
            ours_median, cat_median = statistics.median(ours), statistics.median(theirs)
            print(f"{mode}: cuesmelt {ours_median:.3f} s, cat {cat_median:.3f} s, "
                  f"ratio {ours_median / cat_median:.2f}, "
                  f"image {os.path.getsize(image) / 1e6:.0f} MB, "
                  f"peak RSS {rss / 1024:.1f} MiB")
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
