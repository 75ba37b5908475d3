#!/usr/bin/env python3
"""Two builds' solver speed side by side on this machine.

Usage: scripts/bench_pair.py ROUNDS PASSES BENCH_A BENCH_B

Runs `BENCH_A PASSES --idle-only` and `BENCH_B PASSES --idle-only`
(bench_solver of two builds) in ROUNDS rounds, the order alternating from
round to round, and prints each build's median one- and two-worker times
and the median of the per-round ratios B/A. On a machine whose speed drifts
from minute to minute (other tenants), the per-round ratio separates
effects of about 1% that the two builds' own medians do not.

BENCH_A may also be the bench_solver of a build from before the work team
(30cd7b4, the static split the throughput targets were set against), whose
output has no "idle" prefix: on a host whose speed has changed since, the
ratio to that build is what an absolute figure then measured compares with.
"""
import re
import statistics
import subprocess
import sys


def run(bench, passes):
    out = subprocess.run([bench, passes, "--idle-only"], capture_output=True, text=True,
                         check=True).stdout
    # "idle 1 worker :" since the work team; "1 worker :" and "2 workers:"
    # in the builds before it (which ignore --idle-only and run only these two).
    one = re.search(r"^\s*(?:idle\s+)?1 worker\s*:\s*([\d.]+)", out, re.M)
    two = re.search(r"^\s*(?:idle\s+)?2 workers\s*:\s*([\d.]+)", out, re.M)
    if not one or not two:
        sys.exit(f"{bench}: no idle figures in its output")
    return float(one.group(1)), float(two.group(1))


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    rounds, passes, a, b = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    times = {a: ([], []), b: ([], [])}
    ratios = ([], [])
    for r in range(rounds):
        order = (a, b) if r % 2 == 0 else (b, a)
        got = {x: run(x, passes) for x in order}
        for x in (a, b):
            times[x][0].append(got[x][0])
            times[x][1].append(got[x][1])
        ratios[0].append(got[b][0] / got[a][0])
        ratios[1].append(got[b][1] / got[a][1])
    med = statistics.median
    for x, name in ((a, "A"), (b, "B")):
        one, two = med(times[x][0]), med(times[x][1])
        print(f"{name} {x}: 1 worker {one:.3f} ms, 2 workers {two:.3f} ms, 2/1 {one / two:.3f}")
    print(f"B/A per round, median: 1 worker {med(ratios[0]):.4f}, 2 workers {med(ratios[1]):.4f}")


if __name__ == "__main__":
    main()
