#!/usr/bin/env python3
"""Removes the same trees with our rm -r and the host's rm -rf, alternating, and
prints the ratio of the median times and both peak memory figures. Each program's
fastest and slowest run are printed beside its median: on a shared or virtual machine
single runs of either program can take half as long again, and the spread shows how
far one ratio can be trusted.

    bench/rm_tree.py [--rm build/host/bin/rm] [--runs 9] [--shapes wide,flat,deep,deep100]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
# Times a command and takes its peak memory from a process small enough not to
# stand in for it (see child_usage.cpp).
CHILD_USAGE = REPO / "build" / "host" / "bin" / "child_usage"


def build_wide(root):
    """100,000 empty files in 1,000 directories."""
    for d in range(1000):
        sub = root / f"d{d:04}"
        sub.mkdir()
        for f in range(100):
            (sub / f"f{f:03}").touch()


def build_flat(root):
    """One directory of 100,000 files."""
    for f in range(100_000):
        (root / f"file{f:06}").touch()


def build_chain(levels):
    def build(root):
        here = root
        for _ in range(levels):
            here = here / "d"
            here.mkdir()
            (here / "f").touch()
    build.__doc__ = f"A chain of {levels} directories, a file at each level."
    return build


# Both programs get the operand "tree" from inside the scratch folder, so the
# walk's names are tree/d/d/...: the runtime's directory streams stop short of
# 260 characters, so our rm cannot reach the lower levels of the 200-level chain
# (that shape shows what it reports and leaves), while 100 levels (205
# characters) are timed.
SHAPES = {"wide": build_wide, "flat": build_flat, "deep": build_chain(200), "deep100": build_chain(100)}


def timed_run(command, cwd):
    """Wall time, peak resident memory (KiB), exit status and standard error of one run of command."""
    proc = subprocess.run([str(CHILD_USAGE), *command], cwd=cwd, stdin=subprocess.DEVNULL,
                          capture_output=True, check=True)
    elapsed, peak, status = proc.stdout.split()
    return float(elapsed), int(peak), int(status), proc.stderr.decode(errors="replace")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rm", default=str(REPO / "build" / "host" / "bin" / "rm"))
    parser.add_argument("--host-rm", default=shutil.which("rm"))
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--shapes", default="wide,flat,deep,deep100")
    parser.add_argument("--dir", default=None, help="where to build the trees (default: a temporary folder)")
    args = parser.parse_args()
    for needed in (CHILD_USAGE, Path(args.rm)):
        if not needed.exists():
            sys.exit(f"{needed} is missing: build the host preset first (scripts/build host)")

    ours = [args.rm, "-r", "tree"]
    theirs = [args.host_rm, "-rf", "tree"]
    print(f"ours:   {' '.join(ours)}\nhost's: {' '.join(theirs)}\nruns:   {args.runs} each, alternating\n")
    print(f"{'shape':7} {'ours s':>9} {'host s':>9} {'ratio':>6} {'ours KiB':>9} {'host KiB':>9} {'ratio':>6}"
          f"  {'ours min-max s':>14} {'host min-max s':>14}")
    worst = 0.0
    with tempfile.TemporaryDirectory(dir=args.dir) as scratch:
        for shape in args.shapes.split(","):
            times = {"ours": [], "host": []}
            memory = {"ours": 0, "host": 0}
            failures = {}
            for run in range(args.runs):
                order = [("ours", ours), ("host", theirs)]
                if run % 2:
                    order.reverse()
                for who, command in order:
                    tree = Path(scratch) / "tree"
                    tree.mkdir()
                    SHAPES[shape](tree)
                    os.sync()
                    elapsed, peak, status, err = timed_run(command, scratch)
                    left = tree.exists()
                    if left:
                        shutil.rmtree(tree)
                    if status != 0 or left:
                        failures[who] = f"exit {status}, tree {'left' if left else 'gone'}: " + \
                            (err.splitlines() or [""])[0]
                    times[who].append(elapsed)
                    memory[who] = max(memory[who], peak)
            t_ours, t_host = statistics.median(times["ours"]), statistics.median(times["host"])
            ratio = t_ours / t_host
            spread = {who: f"{min(t):.3f}-{max(t):.3f}" for who, t in times.items()}
            print(f"{shape:7} {t_ours:9.3f} {t_host:9.3f} {ratio:6.2f} {memory['ours']:9d} {memory['host']:9d} "
                  f"{memory['ours'] / memory['host']:6.2f}  {spread['ours']:>14} {spread['host']:>14}")
            for who, failure in failures.items():
                print(f"        {who} failed: {failure}")
            if not failures:
                worst = max(worst, ratio)
    print(f"\nworst time ratio where both succeeded: {worst:.2f} (target: at most 1.25)")


if __name__ == "__main__":
    main()
