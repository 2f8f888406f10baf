#!/usr/bin/env python3
"""Times cuesmelt on pathological but valid CUE sheets of growing size.

Two families: a single track with ever more INDEX lines, and a sheet with one
ever longer REM line. Each size is four times the one before, so linear work
shows as about 4x the time and quadratic work as about 16x. Prints a table of
sizes, best-of-N wall times and peak memory, and exits 1 if any step grows by
more than --max-growth (default 10x), which only quadratic or worse work can
reach at these sizes.

    python3 bench/hostile_sheets.py build/cuesmelt [--runs 3] [--max-growth 10]
"""

import argparse
import pathlib
import re
import subprocess
import sys
import tempfile
import time

HEAD = 'REM SESSION 01\nFILE "t.bin" BINARY\nTRACK 01 MODE1/2352\n'


def index_sheet(lines):
    # INDEX 01 stays at 0, so the track's sectors all stay in the track.
    body = "".join(
        "INDEX %02d 00:00:%02d\n" % (i % 100, 0 if i % 100 == 1 else i % 75)
        for i in range(lines))
    return HEAD + body


def long_line_sheet(mebibytes):
    return HEAD + "REM " + "x" * (mebibytes << 20) + " y\nINDEX 01 00:00:00\n"


def run_once(binary, sheet, image):
    command = ["/usr/bin/time", "-f", "%M", binary, "-i", sheet, "-o", image]
    start = time.perf_counter()
    done = subprocess.run(command, capture_output=True, text=True)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"cuesmelt failed on {sheet}: {done.stderr}")
    peak_kib = int(re.findall(r"^(\d+)$", done.stderr, re.M)[-1])
    return elapsed, peak_kib


def measure(binary, folder, name, text, runs):
    sheet = folder / f"{name}.cue"
    sheet.write_text(text)
    results = [run_once(binary, str(sheet), str(folder / "out.cdi")) for _ in range(runs)]
    best = min(seconds for seconds, _ in results)
    peak = max(kib for _, kib in results)
    return sheet.stat().st_size, best, peak


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--max-growth", type=float, default=10.0)
    options = parser.parse_args()

    families = [
        ("INDEX lines", index_sheet, [250_000, 1_000_000, 4_000_000]),
        ("MiB in one line", long_line_sheet, [4, 16, 64]),
    ]
    failed = False
    with tempfile.TemporaryDirectory() as scratch:
        folder = pathlib.Path(scratch)
        (folder / "t.bin").write_bytes(bytes(2352 * 10))
        print(f"{'sheet':>26} {'bytes':>10} {'seconds':>8} {'growth':>7} {'peak MiB':>9}")
        for label, make, sizes in families:
            previous = None
            for size in sizes:
                size_bytes, seconds, peak = measure(
                    options.binary, folder, f"{size}", make(size), options.runs)
                growth = seconds / previous if previous else None
                shown = f"{growth:6.1f}x" if growth else "      -"
                print(f"{size:>10} {label:>15} {size_bytes:>10} {seconds:8.3f} {shown} "
                      f"{peak / 1024:9.1f}")
                if growth and growth > options.max_growth:
                    failed = True
                previous = seconds
    if failed:
        sys.exit(f"time grew by more than {options.max_growth}x for 4x the input")


if __name__ == "__main__":
    main()
