#!/usr/bin/env python3
"""Whole runs of kvw on generated light curves: time and peak memory by size.

    python3 bench/size_time.py [BUILD_DIR] [--sizes 10000,100000,1000000] [--run-up-to 100000]
                               [--timeout 60] [--nested]

For each size, a synthetic primary eclipse (Julian dates, a Gaussian dip of
0.75 mag, 4 millimag of noise, over 0.3 days or longer) is written to a fresh directory and the built
program is run there with the file's name on standard input; the wall and CPU
time and the peak resident memory are printed with the report (the scan runs
on two threads from 4,096 grid points; the machine may be shared: CPU time is
the steadier figure). Sizes above --run-up-to are run for --timeout seconds
only: the peak memory is then the largest reached by that time (every table is
in place by then), and the CPU time is estimated from the pairs of the scan at
the rate of the exact scan at 100,000 points (BM_ScanSymmetry of
build/bench/kvw_benchmarks, Google Benchmark).
With --nested, the symmetry scan is also timed against the plain nested search
at 1,000 and 2,000 points, which also checks that both give the same sums.
"""

import argparse
import json
import math
import os
import random
import shutil
import signal
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
        # A session of its own: a run stopped at the timeout is stopped with the program under /usr/bin/time.
        run = subprocess.Popen(['/usr/bin/time', '-f', '%M', '-o', memory, program], cwd=work, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, start_new_session=True)
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
                os.killpg(run.pid, signal.SIGKILL)
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
    ap.add_argument('--timeout', type=float, default=60)
    ap.add_argument('--nested', action='store_true')
    ns = ap.parse_args()
    program = os.path.abspath(os.path.join(ns.build, 'kvw'))
    bench = os.path.abspath(os.path.join(ns.build, 'bench', 'kvw_benchmarks'))
    sizes = [int(s) for s in ns.sizes.split(',')]

    ns_per_pair = None
    if any(n > ns.run_up_to for n in sizes):
        b = benchmarks(bench, r'BM_ScanSymmetry/100000/0/')['BM_ScanSymmetry/100000/0']
        ns_per_pair = b['cpu_time'] * 1e6 / b['pairs']

    print('machine load (1, 5, 15 min): %.1f %.1f %.1f on %d cores' % (os.getloadavg() + (os.cpu_count(),)))
    print('%9s %12s %12s %8s  %s' % ('points', 'run (s)', 'CPU (s)', 'peak MB', 'report'))
    for n in sizes:
        limited = n > ns.run_up_to
        status, seconds, cpu, megabytes, report = whole_run(program, n, ns.timeout if limited else None)
        if status is None:
            pairs = (2.0 * n) ** 2 / 2  # a grid of about 2n points: every pair once
            cpu_text = '~%.0f est.' % (pairs * ns_per_pair * 1e-9)
            run_text = '>%.0f' % seconds
            note = 'stopped after %.0f s' % seconds
        else:
            run_text = '%.2f' % seconds
            cpu_text = '%.2f' % cpu
            note = ' | '.join(report) + ('' if status == 0 else '  (status %d)' % status)
        print('%9d %12s %12s %8.0f  %s' % (n, run_text, cpu_text, megabytes, note))
    if ns_per_pair:
        print('exact scan: %.3f ns of CPU a pair at 100,000 points, one thread; estimates use it' % ns_per_pair)

    if ns.nested:
        times = benchmarks(bench, r'BM_(ScanSymmetry/(1000|2000)/0|NestedSearch/(1000|2000))(/|$)')
        print()
        print('%10s %14s %14s %10s' % ('points', 'nested (s)', 'scan (s)', 'faster'))
        for n in (1000, 2000):
            nested = times['BM_NestedSearch/%d' % n]['real_time'] / 1000.0
            fast = times['BM_ScanSymmetry/%d/0' % n]['real_time'] / 1000.0
            print('%10d %14.3f %14.5f %9.0fx' % (n, nested, fast, nested / fast))


if __name__ == '__main__':
    main()
