#!/usr/bin/env python3
"""Start-up of the built programs: wall and CPU time per run, averaged over many runs.

    python3 bench/startup_time.py [BUILD_DIR] [--runs 50]

Runs, in a scratch folder holding examples/ECLIPSE.DAT: kvw on it (the file's name on standard input),
kvw-minima --version, kvw-minima on it (one eclipse, one job), the same with --plot (which loads the drawing
module, PLplot and its cairo driver) and kvw-minima on the Kepler file of tests/data (which loads the FITS
reader's module and cfitsio). CPU time is the children's user and system time, the steadier figure on a
shared machine.
"""

import argparse
import os
import resource
import shutil
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def measure(command, stdin, runs, folder):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    for _ in range(runs):
        subprocess.run(command, input=stdin, cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=False)
    wall = (time.perf_counter() - start) / runs
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) / runs
    return wall * 1000, cpu * 1000


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('build', nargs='?', default=os.path.join(ROOT, 'build'))
    parser.add_argument('--runs', type=int, default=50)
    options = parser.parse_args()
    build = os.path.abspath(options.build)
    kvw = os.path.join(build, 'kvw')
    minima = os.path.join(build, 'kvw-minima')
    fits = os.path.join(ROOT, 'tests', 'data', 'dip_llc.fits')
    cases = [
        ('kvw ECLIPSE.DAT', [kvw], b'ECLIPSE.DAT\n'),
        ('kvw-minima --version', [minima, '--version'], b''),
        ('kvw-minima ECLIPSE.DAT', [minima, '--jobs', '1', 'ECLIPSE.DAT'], b''),
        ('kvw-minima --plot ECLIPSE.DAT', [minima, '--jobs', '1', '--plot', 'pictures', 'ECLIPSE.DAT'], b''),
        ('kvw-minima Kepler FITS', [minima, '--jobs', '1', '--epoch', '2455625.7', '--half-width', '1.5', fits],
         b''),
    ]
    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(os.path.join(ROOT, 'examples', 'ECLIPSE.DAT'), folder)
        print('machine load (1, 5, 15 min): %.1f %.1f %.1f on %d cores; %d runs each'
              % (os.getloadavg() + (os.cpu_count(), options.runs)))
        print('%-32s %10s %10s' % ('run', 'wall (ms)', 'CPU (ms)'))
        for name, command, stdin in cases:
            wall, cpu = measure(command, stdin, options.runs, folder)
            print('%-32s %10.1f %10.1f' % (name, wall, cpu))


if __name__ == '__main__':
    main()
