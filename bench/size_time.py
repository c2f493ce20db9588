#!/usr/bin/env python3
"""Whole runs of kvw on generated light curves: time and peak memory by size.

    python3 bench/size_time.py [BUILD_DIR] [--sizes 1000,10000,100000] [--nested]

For each size, a synthetic primary eclipse (Julian dates, a Gaussian dip of
0.75 mag, 4 millimag of noise) is written to a fresh directory and the built
program is run there with the file's name on standard input; the wall time and
the peak resident memory (from /usr/bin/time) are printed with the report.
With --nested, the symmetry scan alone is also timed against the plain nested
search at 1,000 and 2,000 points (Google Benchmark, build/bench/kvw_benchmarks),
which also checks that both give the same sums bit for bit.
"""

import argparse
import json
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile


def write_curve(path, n, seed=1):
    rng = random.Random(seed)
    begin = 2459000.25
    centre = begin + 0.1537
    with open(path, 'w') as f:
        for k in range(n):
            t = begin + 0.3 * k / (n - 1)
            x = (t - centre) / 0.045
            f.write('%.6f %.4f\n' % (t, 10.0 + 0.75 * math.exp(-x * x) + rng.gauss(0, 0.004)))


def whole_run(program, n):
    work = tempfile.mkdtemp(prefix='kvw-size-')
    try:
        write_curve(os.path.join(work, 'curve.dat'), n)
        timing = os.path.join(work, 'time.txt')
        with open(os.path.join(work, 'stdin'), 'wb') as reply:
            reply.write(b'curve.dat\n')
        with open(os.path.join(work, 'stdin'), 'rb') as reply:
            run = subprocess.run(['/usr/bin/time', '-f', '%e %M', '-o', timing, program], cwd=work,
                                 stdin=reply, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        seconds, kilobytes = open(timing).read().split()[-2:]
        report = [l.strip() for l in run.stdout.decode('latin-1').split('\r\n') if 'MINIMUM' in l]
        trials = sum(1 for _ in open(os.path.join(work, 'KWEESUM.DAT'), 'rb'))
        return run.returncode, float(seconds), int(kilobytes) / 1024.0, trials, report
    finally:
        shutil.rmtree(work, ignore_errors=True)


def scan_benchmarks(bench, pattern):
    run = subprocess.run([bench, '--benchmark_filter=' + pattern, '--benchmark_format=json'],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True)
    results = {}
    for b in json.loads(run.stdout)['benchmarks']:
        if b.get('error_occurred'):
            sys.exit('%s: %s' % (b['name'], b.get('error_message')))
        results[b['name']] = b['real_time'] / 1000.0  # ms -> s
    return results


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('build', nargs='?', default='build')
    ap.add_argument('--sizes', default='1000,10000,100000')
    ap.add_argument('--nested', action='store_true')
    ns = ap.parse_args()
    program = os.path.abspath(os.path.join(ns.build, 'kvw'))
    print('%10s %8s %10s %12s  %s' % ('points', 'trials', 'seconds', 'peak MB', 'report'))
    for n in [int(s) for s in ns.sizes.split(',')]:
        status, seconds, megabytes, trials, report = whole_run(program, n)
        print('%10d %8d %10.2f %12.1f  %s%s' % (n, trials, seconds, megabytes, ' | '.join(report),
                                                '' if status == 0 else '  (status %d)' % status))
    if ns.nested:
        bench = os.path.abspath(os.path.join(ns.build, 'bench', 'kvw_benchmarks'))
        times = scan_benchmarks(bench, r'BM_(ScanSymmetry|NestedSearch)/(1000|2000)(/|$)')
        print()
        print('%10s %14s %14s %10s' % ('points', 'nested (s)', 'scan (s)', 'faster'))
        for n in (1000, 2000):
            nested = next(v for k, v in times.items() if k.startswith('BM_NestedSearch/%d/' % n) or k == 'BM_NestedSearch/%d' % n)
            fast = times['BM_ScanSymmetry/%d' % n]
            print('%10d %14.3f %14.5f %9.0fx' % (n, nested, fast, nested / fast))


if __name__ == '__main__':
    main()
