#!/usr/bin/env python3
"""Whole runs of kvw-minima on generated space-telescope light curves: wall time and peak memory.

    python3 bench/minima_speed.py [BUILD_DIR] [--repeat 5]

Two curves, as CSV files of time and magnitude, with Gaussian eclipses of 0.5 mag and 2 millimag of noise:
  - a 27-day sector at 2-minute cadence (19,440 points), period 0.9 d: 30 eclipses of about 170 points
    in a half-width of 0.12 d;
  - 10 days at 20-second cadence (43,200 points), period 0.35 d: 29 eclipses of about 1,000 points in a
    half-width of 0.116 d.
Each is timed with its ephemeris (every window, its error estimate and checks); the best of the repeats is
printed with the peak resident memory.
"""

import argparse
import math
import os
import random
import shutil
import subprocess
import tempfile


def write_curve(path, days, cadence_s, period, epoch, width, seed=1):
    rng = random.Random(seed)
    begin = 2459000.0
    with open(path, 'w') as f:
        f.write('time,mag\n')
        for k in range(int(days * 86400 / cadence_s)):
            t = begin + k * cadence_s / 86400
            dt = (((t - epoch) / period + 0.5) % 1 - 0.5) * period
            f.write('%.8f,%.6f\n' % (t, 10 + 0.5 * math.exp(-0.5 * (dt / width) ** 2) + rng.gauss(0, 0.002)))


def best_run(program, arguments, cwd, repeat):
    best = None
    for _ in range(repeat):
        timing = os.path.join(cwd, 'time.txt')
        run = subprocess.run(['/usr/bin/time', '-f', '%e %M', '-o', timing, program] + arguments, cwd=cwd,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        seconds, kilobytes = open(timing).read().split()[-2:]
        rows = run.stdout.decode().count('\n') - 1
        ok = run.stdout.decode().count(',ok,')
        result = (float(seconds), int(kilobytes) / 1024.0, rows, ok, run.returncode)
        best = result if best is None or result[0] < best[0] else best
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('build', nargs='?', default='build')
    parser.add_argument('--repeat', type=int, default=5)
    args = parser.parse_args()
    program = os.path.abspath(os.path.join(args.build, 'kvw-minima'))
    cases = [
        ('sector, 2-min cadence', 'sector.csv', (27, 120, 0.9, 2459000.3, 0.02), '0.12', 0.3),
        ('10 days, 20-s cadence', 'fast.csv', (10, 20, 0.35, 2459000.1, 0.012), '0.116', 1.0),
    ]
    work = tempfile.mkdtemp(prefix='kvw-minima-speed-')
    try:
        print('%-24s %8s %8s %6s %6s %8s %8s' % ('curve', 'points', 'seconds', 'rows', 'ok', 'peak MB', 'target'))
        for name, file, shape, half_width, target in cases:
            write_curve(os.path.join(work, file), *shape)
            points = sum(1 for _ in open(os.path.join(work, file))) - 1
            period, epoch = shape[2], shape[3]
            seconds, megabytes, rows, ok, status = best_run(
                program, ['--period', str(period), '--epoch', str(epoch), '--half-width', half_width, file], work,
                args.repeat)
            print('%-24s %8d %8.3f %6d %6d %8.1f %7.1fs%s' % (name, points, seconds, rows, ok, megabytes, target,
                                                            '' if status == 0 else '  status %d' % status))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
