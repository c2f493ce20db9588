#!/usr/bin/env python3
"""Whole runs of kvw on generated light curves: time, peak memory and the share of exact sums, by size.

    python3 bench/size_time.py [BUILD_DIR] [--sizes 10000,100000,1000000] [--run-up-to 100000]
                               [--exact-up-to 100000] [--timeout 60] [--nested]

For each size, a synthetic primary eclipse (Julian dates, a Gaussian dip of
0.75 mag, 4 millimag of noise) is written to a fresh directory and the built
program is run there with the file's name on standard input; the wall time and
the peak resident memory are printed with the report.

Beside it (Google Benchmark, build/bench/kvw_benchmarks, sizes 10,000, 100,000
and 1,000,000 only):
  - exact: the share of trials, and of pairs, whose sums the fast scan forms
    pair by pair because its error bound cannot settle their printed text or
    the minimum (BM_FastScanPlan, which stops before summing them);
  - exact scan: the time of the scan as it was before the fast path, every
    trial pair by pair on one thread (BM_ExactSymmetricSums), for sizes up to
    --exact-up-to.
Sizes above --run-up-to are run for --timeout seconds only: the peak memory is
then the largest reached by that time (every table is in place by then), and
the time is estimated from the plan's time and the pairs left to sum at the
rate of the exact scan on two threads.
With --nested, the symmetry scan is also timed against the plain nested search
at 1,000 and 2,000 points, which also checks that both give the same sums.
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
import time


def write_curve(path, n, seed=1):
    rng = random.Random(seed)
    begin = 2459000.25
    centre = begin + 0.1537
    with open(path, 'w') as f:
        for k in range(n):
            t = begin + 0.3 * k / (n - 1)
            x = (t - centre) / 0.045
            f.write('%.6f %.4f\n' % (t, 10.0 + 0.75 * math.exp(-x * x) + rng.gauss(0, 0.004)))


def peak_kb(pid):
    try:
        with open('/proc/%d/status' % pid) as f:
            for line in f:
                if line.startswith('VmHWM:'):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def whole_run(program, n, timeout=None):
    """Returns (status or None when stopped, seconds, peak MB, report lines)."""
    work = tempfile.mkdtemp(prefix='kvw-size-')
    try:
        write_curve(os.path.join(work, 'curve.dat'), n)
        started = time.time()
        run = subprocess.Popen([program], cwd=work, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
        run.stdin.write(b'curve.dat\n')
        run.stdin.close()
        peak = 0
        while run.poll() is None:
            peak = max(peak, peak_kb(run.pid))
            if timeout is not None and time.time() - started > timeout:
                run.kill()
                run.wait()
                return None, time.time() - started, peak / 1024.0, []
            time.sleep(0.02)
        seconds = time.time() - started
        peak = max(peak, resource_peak_kb())
        report = [l.strip() for l in run.stdout.read().decode('latin-1').split('\r\n') if 'MINIMUM' in l]
        return run.returncode, seconds, peak / 1024.0, report
    finally:
        shutil.rmtree(work, ignore_errors=True)


def resource_peak_kb():
    # The largest resident set of any finished child so far (a lower bound for
    # the last one when the polling missed its peak).
    import resource
    return resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss


def benchmarks(bench, pattern):
    run = subprocess.run([bench, '--benchmark_filter=' + pattern, '--benchmark_format=json'],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True)
    results = {}
    for b in json.loads(run.stdout)['benchmarks']:
        if b.get('error_occurred'):
            sys.exit('%s: %s' % (b['name'], b.get('error_message')))
        results[b['name'].split('/iterations')[0]] = b
    return results


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('build', nargs='?', default='build')
    ap.add_argument('--sizes', default='10000,100000,1000000')
    ap.add_argument('--run-up-to', type=int, default=100000)
    ap.add_argument('--exact-up-to', type=int, default=100000)
    ap.add_argument('--timeout', type=float, default=60)
    ap.add_argument('--nested', action='store_true')
    ns = ap.parse_args()
    program = os.path.abspath(os.path.join(ns.build, 'kvw'))
    bench = os.path.abspath(os.path.join(ns.build, 'bench', 'kvw_benchmarks'))
    sizes = [int(s) for s in ns.sizes.split(',')]
    measured = [n for n in sizes if n in (10000, 100000, 1000000)]

    plan = benchmarks(bench, r'BM_FastScanPlan/(%s)/' % '|'.join(map(str, measured))) if measured else {}
    exact_sizes = [n for n in measured if n <= ns.exact_up_to and n <= 100000]
    exact = benchmarks(bench, r'BM_ExactSymmetricSums/(%s)/' % '|'.join(map(str, exact_sizes))) if exact_sizes else {}
    ns_per_pair = None
    for n in exact_sizes:
        b = exact['BM_ExactSymmetricSums/%d' % n]
        ns_per_pair = b['real_time'] * 1e6 / b['pairs']

    print('machine load (1, 5, 15 min): %.1f %.1f %.1f on %d cores' % (os.getloadavg() + (os.cpu_count(),)))
    print('%9s %8s %11s %9s %16s %13s  %s' % ('points', 'trials', 'run (s)', 'peak MB', 'exact trials',
                                               'exact scan', 'report'))
    for n in sizes:
        limited = n > ns.run_up_to
        status, seconds, megabytes, report = whole_run(program, n, ns.timeout if limited else None)
        p = plan.get('BM_FastScanPlan/%d' % n)
        share = '%5.1f%% (%4.1f%%)' % (100.0 * p['exact_trials'] / p['trials'],
                                       100.0 * p['exact_pairs'] / p['pairs']) if p else '-'
        trials = '%d' % p['trials'] if p else '-'
        e = exact.get('BM_ExactSymmetricSums/%d' % n)
        exact_text = '%.2f s' % (e['real_time'] / 1000.0) if e else '-'
        if status is None:
            if p and ns_per_pair:
                estimate = p['real_time'] / 1000.0 + p['exact_pairs'] * ns_per_pair * 1e-9 / 2
                run_text = '~%.0f (est.)' % estimate
            else:
                run_text = '>%.0f' % seconds
            if e is None and ns_per_pair and p:
                exact_text = '~%.0f s (est.)' % (p['pairs'] * ns_per_pair * 1e-9)
            note = 'stopped after %.0f s' % seconds
        else:
            run_text = '%.2f' % seconds
            note = ' | '.join(report) + ('' if status == 0 else '  (status %d)' % status)
        print('%9d %8s %11s %9.0f %16s %13s  %s' % (n, trials, run_text, megabytes, share, exact_text, note))
    if ns_per_pair:
        print('exact summation: %.2f ns a pair on one thread (the largest exact-scan size measured)' % ns_per_pair)

    if ns.nested:
        times = benchmarks(bench, r'BM_(ScanSymmetry|NestedSearch)/(1000|2000)(/|$)')
        print()
        print('%10s %14s %14s %10s' % ('points', 'nested (s)', 'scan (s)', 'faster'))
        for n in (1000, 2000):
            nested = times['BM_NestedSearch/%d' % n]['real_time'] / 1000.0
            fast = times['BM_ScanSymmetry/%d' % n]['real_time'] / 1000.0
            print('%10d %14.3f %14.5f %9.0fx' % (n, nested, fast, nested / fast))


if __name__ == '__main__':
    main()
