#!/usr/bin/env python3
"""Whole runs of kvw on generated light curves: time, peak memory and the share of exact sums, by size.

    python3 bench/size_time.py [BUILD_DIR] [--sizes 10000,100000,1000000] [--run-up-to 100000]
                               [--exact-up-to 100000] [--timeout 60] [--nested]

For each size, a synthetic primary eclipse (Julian dates, a Gaussian dip of
0.75 mag, 4 millimag of noise, over 0.3 days or longer) is written to a fresh directory and the built
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
Times are wall and CPU seconds (the machine may be shared: CPU time is the
steadier figure; the exact sums run on two threads). Sizes above --run-up-to
are run for --timeout seconds only: the peak memory is then the largest
reached by that time (every table is in place by then), and the CPU time is
estimated from the plan's time and the pairs left to sum at the exact scan's
rate.
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
import threading
import time


def write_curve(path, n, seed=1):
    # 0.3 days up to 300,000 points, longer in proportion beyond (the same
    # shape in phase), so that half a grid step stays above the pair
    # tolerance of 1e-7 days and only the symmetric pairs pass.
    rng = random.Random(seed)
    span = 0.3 * max(1.0, n / 300000.0)
    begin = 2459000.25
    centre = begin + 0.1537 / 0.3 * span
    with open(path, 'w') as f:
        for k in range(n):
            t = begin + span * k / (n - 1)
            x = (t - centre) / (0.045 / 0.3 * span)
            f.write('%.8f %.4f\n' % (t, 10.0 + 0.75 * math.exp(-x * x) + rng.gauss(0, 0.004)))


def peak_kb(pid):
    """The peak resident memory of the program that /usr/bin/time (pid) runs, while it runs."""
    try:
        with open('/proc/%d/task/%d/children' % (pid, pid)) as f:
            children = f.read().split()
        with open('/proc/%s/status' % children[0]) as f:
            for line in f:
                if line.startswith('VmHWM:'):
                    return int(line.split()[1])
    except (OSError, IndexError):
        pass
    return 0


def whole_run(program, n, timeout=None):
    """Returns (status or None when stopped, wall seconds, CPU seconds, peak MB, report lines)."""
    work = tempfile.mkdtemp(prefix='kvw-size-')
    try:
        write_curve(os.path.join(work, 'curve.dat'), n)
        started = time.time()
        # /usr/bin/time reports the program's own peak: the resident size of this
        # Python process, which a direct child would share until its exec, stays out.
        memory = os.path.join(work, 'peak.txt')
        run = subprocess.Popen(['/usr/bin/time', '-f', '%M', '-o', memory, program], cwd=work, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
        run.stdin.write(b'curve.dat\n')
        run.stdin.close()
        output = []
        reader = threading.Thread(target=lambda: output.append(run.stdout.read()))
        reader.start()
        peak = 0
        while True:
            pid, status, usage = os.wait4(run.pid, os.WNOHANG)
            if pid == run.pid:
                break
            peak = max(peak, peak_kb(run.pid))
            if timeout is not None and time.time() - started > timeout:
                peak = max(peak, peak_kb(run.pid))
                run.kill()
                pid, status, usage = os.wait4(run.pid, 0)
                reader.join()
                return None, time.time() - started, usage.ru_utime + usage.ru_stime, peak / 1024.0, []
            time.sleep(0.02)
        seconds = time.time() - started
        reader.join()
        run.returncode = os.waitstatus_to_exitcode(status)
        report = [l.strip() for l in output[0].decode('latin-1').split('\r\n') if 'MINIMUM' in l]
        with open(memory) as f:
            peak = max(peak, int(f.read().split()[-1]))
        return (run.returncode, seconds, usage.ru_utime + usage.ru_stime, peak / 1024.0, report)
    finally:
        shutil.rmtree(work, ignore_errors=True)


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
        ns_per_pair = b['cpu_time'] * 1e6 / b['pairs']

    print('machine load (1, 5, 15 min): %.1f %.1f %.1f on %d cores' % (os.getloadavg() + (os.cpu_count(),)))
    print('%9s %8s %12s %8s %8s %16s %15s  %s' % ('points', 'trials', 'run (s)', 'CPU (s)', 'peak MB',
                                                    'exact trials', 'exact scan', 'report'))
    for n in sizes:
        limited = n > ns.run_up_to
        status, seconds, cpu, megabytes, report = whole_run(program, n, ns.timeout if limited else None)
        p = plan.get('BM_FastScanPlan/%d' % n)
        share = '%5.1f%% (%4.1f%%)' % (100.0 * p['exact_trials'] / p['trials'],
                                       100.0 * p['exact_pairs'] / p['pairs']) if p else '-'
        trials = '%d' % p['trials'] if p else '-'
        e = exact.get('BM_ExactSymmetricSums/%d' % n)
        exact_text = '%.2f s' % (e['cpu_time'] / 1000.0) if e else '-'
        if status is None:
            if p and ns_per_pair:
                estimate = p['cpu_time'] / 1000.0 + p['exact_pairs'] * ns_per_pair * 1e-9
                run_text = '>%.0f' % seconds
                cpu_text = '~%.0f est.' % estimate
            else:
                run_text = '>%.0f' % seconds
                cpu_text = '-'
            if e is None and ns_per_pair and p:
                exact_text = '~%.0f s est.' % (p['pairs'] * ns_per_pair * 1e-9)
            note = 'stopped after %.0f s' % seconds
        else:
            run_text = '%.2f' % seconds
            cpu_text = '%.2f' % cpu
            note = ' | '.join(report) + ('' if status == 0 else '  (status %d)' % status)
        print('%9d %8s %12s %8s %8.0f %16s %15s  %s' % (n, trials, run_text, cpu_text, megabytes, share, exact_text,
                                                       note))
    if ns_per_pair:
        print('exact summation: %.2f ns of CPU a pair (the largest exact-scan size measured); estimates use it'
              % ns_per_pair)

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
