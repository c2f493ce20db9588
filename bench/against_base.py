#!/usr/bin/env python3
"""Speed of this build against an older one, run side by side: whole runs of kvw and kvw-minima, and the scan.

    python3 bench/against_base.py BASE_BUILD [BUILD] [--repeat 3] [--no-scan]

BASE_BUILD is the build folder of the commit compared with (e.g. `git worktree add /tmp/base COMMIT` and a
Release build there, with its benchmarks). For each case the two programs run one after the other, --repeat
times, on the same generated file in fresh directories; the CPU time (user + system) of each run is read from
the operating system, and the ratio of the medians is printed, with the wall times (the scan runs on two
threads from 4,096 grid points) and the machine's load. The outputs must agree:
  - kvw, 100,000 points of a synthetic primary eclipse in absolute magnitudes (bench/size_time.py's curve):
    KWEESUM.DAT and the console output byte for byte;
  - kvw, 40,000 points of the same eclipse in differential magnitudes (0 out of eclipse at both ends, 4
    millimag of noise, written with 4 decimals: magnitudes of both signs and many zeros): the same;
  - kvw-minima on a simulated TESS sector (bench/minima_speed.py's 27 days at 2-minute cadence, 30 eclipses
    with the error estimate of each): every row's time and classic error the same.
Then (unless --no-scan) the exact scan and the plain kernel per pair of grid points on one thread at 20,000
and 100,000 points (BM_ScanSymmetry of BUILD/bench/kvw_benchmarks), beside the older build's exact scan at
100,000 points (BM_ExactSymmetricSums, when it has it).
"""

import argparse
import csv
import io
import math
import os
import random
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import minima_speed  # noqa: E402
import size_time  # noqa: E402


def write_differential(path, n, seed=1):
    rng = random.Random(seed)
    begin, span = 2459000.25, 0.3
    centre = begin + 0.1537
    with open(path, 'w') as f:
        for k in range(n):
            t = begin + span * k / (n - 1)
            x = (t - centre) / 0.045
            f.write('%.8f %.4f\n' % (t, 0.75 * math.exp(-x * x) + rng.gauss(0, 0.004)))


def timed(arguments, directory, stdin=b''):
    """Runs a program; returns (CPU seconds, wall seconds, standard output, exit status)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.monotonic()
    process = subprocess.Popen(arguments, cwd=directory, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    output = process.communicate(stdin)[0]
    wall = time.monotonic() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    # The program's CPU time: what this process's waited-for children gained.
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, wall, output, process.returncode


def kvw_case(program, curve, directory):
    work = tempfile.mkdtemp(dir=directory)
    shutil.copy(curve, os.path.join(work, 'curve.dat'))
    cpu, wall, output, status = timed([program], work, b'curve.dat\n')
    with open(os.path.join(work, 'KWEESUM.DAT'), 'rb') as f:
        summary = f.read()
    shutil.rmtree(work)
    return cpu, wall, (status, output, summary)


def minima_case(program, curve, directory):
    cpu, wall, output, status = timed([program, '--period', '0.9', '--epoch', '2459000.3', '--half-width', '0.12',
                                       curve], directory)
    rows = list(csv.DictReader(io.StringIO(output.decode())))
    return cpu, wall, (status, [(r['cycle'], r['time'], r['error_classic'], r['status']) for r in rows],
                       [r['error'] for r in rows])


def compare(name, case, base, head, curve, directory, repeat):
    load = os.getloadavg()[0]
    times = {base: [], head: []}
    results = {}
    for _ in range(repeat):
        for program in (base, head):
            cpu, wall, result = case(program, curve, directory)
            times[program].append((cpu, wall))
            results.setdefault(program, result)
    cpu_base = statistics.median(c for c, _ in times[base])
    cpu_head = statistics.median(c for c, _ in times[head])
    wall_base = statistics.median(w for _, w in times[base])
    wall_head = statistics.median(w for _, w in times[head])
    agree = results[base][:2] == results[head][:2] if case is minima_case else results[base] == results[head]
    print('%-44s %7.2f %7.2f %6.2fx   %7.2f %7.2f %6.2fx   %-4s  %.1f-%.1f' % (
        name, cpu_base, cpu_head, cpu_base / cpu_head, wall_base, wall_head, wall_base / wall_head,
        'yes' if agree and results[head][0] == 0 else 'NO', load, os.getloadavg()[0]))
    if case is minima_case:
        same_error = sum(a == b for a, b in zip(results[base][2], results[head][2]))
        print('%-44s rows %d, ok %d; error column the same in %d of %d rows' % (
            '', len(results[head][1]), sum(r[3] == 'ok' for r in results[head][1]), same_error,
            len(results[head][2])))
    return agree


def scan_rates(base_build, build):
    bench = os.path.join(build, 'bench', 'kvw_benchmarks')
    head = size_time.benchmarks(bench, r'BM_ScanSymmetry/(20000|100000)/')
    print()
    print('%-44s %12s %12s' % ('ns of CPU per pair, one thread', '20,000', '100,000'))
    for rounding, name in ((0, 'exact scan'), (1, 'plain kernel')):
        rates = [head['BM_ScanSymmetry/%d/%d' % (n, rounding)] for n in (20000, 100000)]
        print('%-44s %12.3f %12.3f' % (name, *[r['cpu_time'] * 1e6 / r['pairs'] for r in rates]))
    base_bench = os.path.join(base_build, 'bench', 'kvw_benchmarks')
    if os.path.exists(base_bench):
        try:
            old = size_time.benchmarks(base_bench, r'BM_ExactSymmetricSums/100000/')
            b = old['BM_ExactSymmetricSums/100000']
            print('%-44s %12s %12.3f' % ('base: exact scan (extended, pair by pair)', '-',
                                         b['cpu_time'] * 1e6 / b['pairs']))
        except (subprocess.CalledProcessError, KeyError):
            print('base: no BM_ExactSymmetricSums')


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('base')
    ap.add_argument('build', nargs='?', default='build')
    ap.add_argument('--repeat', type=int, default=3)
    ap.add_argument('--no-scan', action='store_true')
    ns = ap.parse_args()
    base, build = os.path.abspath(ns.base), os.path.abspath(ns.build)
    work = tempfile.mkdtemp(prefix='kvw-against-')
    try:
        size_time.write_curve(os.path.join(work, 'absolute.dat'), 100000)
        write_differential(os.path.join(work, 'differential.dat'), 40000)
        minima_speed.write_curve(os.path.join(work, 'sector.csv'), 27, 120, 0.9, 2459000.3, 0.02)
        print('machine: %d cores; load (1, 5, 15 min) at the start %.1f %.1f %.1f; median of %d runs each' % (
            (os.cpu_count(),) + os.getloadavg() + (ns.repeat,)))
        print('%-44s %23s   %23s   %-4s  %s' % ('', 'CPU s: base, now, ratio', 'wall s: base, now, ratio', 'same',
                                             'load'))
        agree = True
        for name, case, curve in (
                ('kvw, 100,000 points, absolute magnitudes', kvw_case, 'absolute.dat'),
                ('kvw, 40,000 points, differential magnitudes', kvw_case, 'differential.dat'),
                ('kvw-minima, TESS sector, 30 eclipses', minima_case, 'sector.csv')):
            program = 'kvw' if case is kvw_case else 'kvw-minima'
            agree = compare(name, case, os.path.join(base, program), os.path.join(build, program),
                            os.path.join(work, curve), work, ns.repeat) and agree
        if not ns.no_scan:
            scan_rates(base, build)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    sys.exit(0 if agree else 1)


if __name__ == '__main__':
    main()
