#!/usr/bin/env python3
"""Derives the expected KWEESUM.DAT records and report lines of the driver's
whole-run tests (expected_runs.h), with exact rational arithmetic.

The curves used there have dyadic times and magnitudes, so every grid value,
trial time and symmetry sum is exact in binary floating point as well; the
rational results are then the very values the program stores and prints.

Usage: python3 expected_runs.py   (prints both curves' records and reports)
"""
from fractions import Fraction as Q
import math

TOLERANCE = Q(1.0000000116860974e-07)  # the pair tolerance, in single precision


def branch_and_grid(times, mags):
    n = len(times)
    deepest = max(mags)
    idx = max(i for i in range(n) if mags[i] == deepest) + 1
    level = mags[n - 1] if mags[n - 1] > mags[0] else mags[0]
    e = n
    for k in range(1, n):
        a, b = mags[k - 1], mags[k]
        if (a > level and b <= level) or (a <= level and b > level):
            e = k
            break
    j = e if e < n else n - 1
    tj, tj1, mj, mj1 = times[j - 1], times[j], mags[j - 1], mags[j]
    crossing = tj + (level - mj) * (tj1 - tj) / (mj1 - mj)
    offset = int(times[0])  # truncation toward zero
    if idx > e:
        nw, start, end = n + 1 - e, crossing, times[n - 1]
    else:
        nw, start, end = e + 1, times[0], crossing
    half = nw + 3
    count = 2 * half
    step = (end - start) / count
    grid_t, grid_m = [], []
    for jj in range(count + 1):
        x = start + jj * step - offset
        k = next((k for k in range(1, n) if times[k - 1] - offset <= x < times[k] - offset), n - 1)
        a, b = times[k - 1] - offset, times[k] - offset
        grid_t.append(x)
        grid_m.append(mags[k - 1] + (x - a) * (mags[k] - mags[k - 1]) / (b - a))
    return grid_t, grid_m, step, half, nw, offset


def scan(grid_t, grid_m, step, half):
    count = 2 * half
    trials, sums, records = [], [], []
    for i in range(1, 4 * half):
        x = grid_t[0] + (Q(1, 2) * i) * step
        total, pairs = Q(0), 0
        for p in range(count):
            if x > grid_t[p]:
                for q in range(p + 1, count):
                    if abs(abs(grid_t[q] - x) - abs(grid_t[p] - x)) < TOLERANCE:
                        total += (grid_m[p] - grid_m[q]) ** 2
                        pairs += 1
        trials.append(x)
        sums.append(total)
        records.append("%5d%5d %14s" % (i, pairs, fixed(total, 14, 8)))
    return trials, sums, records


def fixed(value, width, decimals):
    """Fw.d of a rational value, rounded half away from zero."""
    scaled = abs(value) * 10 ** decimals
    units = math.floor(scaled + Q(1, 2))
    text = "%d.%0*d" % (units // 10 ** decimals, decimals, units % 10 ** decimals)
    if value < 0:
        text = "-" + text
    return text.rjust(width) if len(text) <= width else "*" * width


def report(trials, sums, half, nw, offset):
    mid, lo, hi = 2 * half, half, 3 * half
    smallest = min(sums[lo - 1:hi])
    kmin = next(i for i in range(lo, hi + 1) if sums[i - 1] == smallest)
    if kmin in (lo, hi):
        return ["     IMPROPER MINIMUM !!!"], kmin
    # The parabola through the three points, solved exactly.
    (t1, t2, t3), (s1, s2, s3) = trials[kmin - 2:kmin + 1], sums[kmin - 2:kmin + 1]
    a = ((s3 - s2) / (t3 - t2) - (s2 - s1) / (t2 - t1)) / (t3 - t1)
    b = (s2 - s1) / (t2 - t1) - a * (t1 + t2)
    c = s1 - a * t1 * t1 - b * t1
    mean = c - b * b / (4 * a)
    time = offset - Q(1, 2) * b / a
    z = Q(5 if nw == 4 else nw, 4)
    error = math.sqrt(abs((c * 4 * a - b * b) / (a * 4 * a * (z - 1))))
    return ["", "", "  MEAN VALUE=%s MINIMUM TIME=%s" % (fixed(mean, 9, 6), fixed(time, 14, 6)),
            " " * 22 + "MINIMUM ERROR=" + fixed(Q(error), 14, 6)], kmin


def show(name, observations):
    times = [Q(t) for t, _ in observations]
    mags = [Q(m) for _, m in observations]
    grid_t, grid_m, step, half, nw, offset = branch_and_grid(times, mags)
    trials, sums, records = scan(grid_t, grid_m, step, half)
    lines, kmin = report(trials, sums, half, nw, offset)
    print("%s: K = %d, h = %s, nw = %d, smallest sum at trial %d" % (name, half, step, nw, kmin))
    for record in records:
        print('"%s\\r\\n"' % record)
    for line in lines:
        print(repr(line))


if __name__ == "__main__":
    show("worked example", [("0.0", "10.0"), ("0.25", "10.5"), ("0.5", "11.0"), ("0.75", "10.5"), ("1.0", "10.0")])
    show("ramp with a bump", [("0.0", "10.0"), ("0.25", "10.5"), ("0.5", "10.0"), ("1.0", "11.0")])
