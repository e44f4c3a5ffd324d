#!/usr/bin/env python3
# Interleaved timing for the benchmark drivers (mail_bench.sh, docpress_bench.sh,
# convert_bench.sh): runs each named command in turn, round after round (A B C, then
# B C A, ...), after one warm-up round that is not counted, and prints per command the
# median, lowest and highest wall seconds, the median CPU seconds and the peak resident
# memory of its largest process, with the load average before and after. Pairing the
# commands round by round keeps their ratio meaningful when the machine's load drifts.
#
#   python3 bench/interleave.py --rounds N [--ratio A:B]... RUNS
#
# RUNS is a file of lines "label<TAB>prepare<TAB>command": prepare (may be empty) runs
# untimed through bash before every run of the command, then the command runs through bash
# with its output dropped. --ratio A:B prints the median of A's wall over B's, round by
# round. A command that exits non-zero is reported, not counted. Not a test.
import argparse
import os
import statistics
import subprocess
import sys
import time


def load():
    return open("/proc/loadavg").read().split()[0:3]


def run_bash(command):
    """Runs one command through bash; wall seconds, CPU seconds, peak KiB, exit code.
    The rusage of wait4 covers the command and every process it waited for; its
    ru_maxrss is the largest of them."""
    start = time.perf_counter()
    proc = subprocess.Popen(["bash", "-c", command], stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, proc.returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--ratio", action="append", default=[])
    parser.add_argument("runs")
    args = parser.parse_args()
    jobs = []
    for line in open(args.runs, encoding="utf-8"):
        line = line.rstrip("\n")
        if line.strip():
            label, prepare, command = line.split("\t", 2)
            jobs.append((label, prepare, command))
    results = {label: [] for label, _, _ in jobs}
    before = load()
    for r in range(args.rounds + 1):
        turn = jobs[r % len(jobs):] + jobs[:r % len(jobs)]
        for label, prepare, command in turn:
            if prepare:
                subprocess.run(["bash", "-c", prepare], check=False)
            wall, cpu, peak, code = run_bash(command)
            if code != 0:
                print("interleave: %s exited with %d" % (label, code), file=sys.stderr)
            if r > 0:  # round 0 warms the caches and LibreOffice's profile
                results[label].append((wall, cpu, peak, code))
        sys.stderr.write("interleave: round %d of %d done\n" % (r, args.rounds))
    after = load()
    print("load average before: %s, after: %s (%d processors)" % (" ".join(before), " ".join(after),
                                                                  os.cpu_count()))
    print("| command | runs | median wall s | min | max | median CPU s | peak MB |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for label, _, _ in jobs:
        rows = results[label]
        walls = [w for w, _, _, _ in rows]
        print("| %s | %d | %.3f | %.3f | %.3f | %.3f | %.1f |" % (
            label, len(rows), statistics.median(walls), min(walls), max(walls),
            statistics.median(c for _, c, _, _ in rows), max(p for _, _, p, _ in rows) / 1024))
    for pair in args.ratio:
        a, b = pair.split(":", 1)
        ratios = [x[0] / y[0] for x, y in zip(results[a], results[b])]
        print("wall %s / %s, paired by round: median %.3f (min %.3f, max %.3f)" % (
            a, b, statistics.median(ratios), min(ratios), max(ratios)))
    # Machine-readable medians for the driver: "median<TAB>label<TAB>seconds<TAB>peak KiB".
    with open(args.runs + ".medians", "w", encoding="utf-8") as out:
        for label, _, _ in jobs:
            rows = results[label]
            out.write("median\t%s\t%.6f\t%d\n" % (label, statistics.median(w for w, _, _, _ in rows),
                                                   max(p for _, _, p, _ in rows)))


if __name__ == "__main__":
    main()
