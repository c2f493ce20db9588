#!/usr/bin/python3
"""kvw.time_files over a catalogue of TESS-sized light-curve files, without and with a Dask cluster.

    /usr/bin/python3 bench/time_files.py [BUILD_DIR] [--files 200] [--workers 2] [--repeat 3]

Writes FILES TESS-like light-curve files (FITS, as SPOC writes them: TIME in BTJD, PDCSAP_FLUX, QUALITY; 27
days at 2-minute cadence, 19,440 cadences) of one detached binary (period 1.3 d, primaries of 0.3 and
secondaries of 0.1 in flux), each with noise of its own (2 millimag, 2% of cadences flagged), then times every
eclipse of each file with the binary's ephemeris (about 40 per file):
  - kvw-minima on all the files in one run (--jobs = the cores), for reference;
  - kvw.time_files without a client: all cores of this machine, one file per thread;
  - kvw.time_files with a LocalCluster of WORKERS worker processes, one thread each (the cluster started
    before the clock, its workers already holding the package), with Dask's settings, and again with
    MALLOC_MMAP_THRESHOLD_ added to the workers' environment (Dask's MALLOC_TRIM_THRESHOLD_ turns glibc's
    adaptive threshold off, so that every file read comes in fresh pages).
Prints the best wall time of the repeats, files per second, and the ratio of each cluster's time to the time
without a client. The worker processes import the package from BUILD_DIR/python (PYTHONPATH).
"""

import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np


PERIOD, EPOCH = 1.3, 1900.4  # days, BTJD


def write_tess_like(path, seed):
    """A TESS-like light-curve file of the binary, with noise and flagged cadences from the seed."""
    from astropy.io import fits

    rng = np.random.default_rng(seed)
    btjd = 1900.0 + np.arange(19440) * (2.0 / 1440.0)
    phase = ((btjd - EPOCH) / PERIOD + 0.5) % 1.0 - 0.5
    primary = 0.3 * np.exp(-0.5 * (phase * PERIOD / 0.02) ** 2)
    secondary = 0.1 * np.exp(-0.5 * ((np.abs(phase) - 0.5) * PERIOD / 0.02) ** 2)
    flux = 1e4 * (1 - primary - secondary) * (1 + 0.002 * rng.standard_normal(btjd.size))
    quality = np.where(rng.random(btjd.size) < 0.02, 1, 0).astype(np.int32)
    table = fits.BinTableHDU.from_columns([
        fits.Column(name="TIME", format="D", array=btjd),
        fits.Column(name="PDCSAP_FLUX", format="E", array=flux.astype(np.float32)),
        fits.Column(name="PDCSAP_FLUX_ERR", format="E", array=np.full(btjd.size, 20.0, dtype=np.float32)),
        fits.Column(name="QUALITY", format="J", array=quality),
    ], name="LIGHTCURVE")
    table.header["BJDREFI"] = 2457000
    table.header["BJDREFF"] = 0.0
    fits.HDUList([fits.PrimaryHDU(), table]).writeto(path)


def best_of(repeat, run):
    best = math.inf
    for _ in range(repeat):
        start = time.perf_counter()
        result = run()
        best = min(best, time.perf_counter() - start)
    return best, result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--files", type=int, default=200)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    os.environ["PYTHONPATH"] = os.path.join(build, "python") + os.pathsep + os.environ.get("PYTHONPATH", "")
    sys.path.insert(0, os.path.join(build, "python"))
    import dask
    import kvw
    from dask.distributed import Client, LocalCluster

    work = tempfile.mkdtemp(prefix="kvw-time-files-")
    try:
        paths = [os.path.join(work, "f%04d.fits" % number) for number in range(args.files)]
        for seed, path in enumerate(paths):
            write_tess_like(path, seed)
        ephemeris = {"period": PERIOD, "epoch": 2457000 + EPOCH, "half_width": 0.08, "secondary": True}
        words = ["--period", repr(PERIOD), "--epoch", repr(2457000 + EPOCH), "--half-width", "0.08", "--secondary",
                 "--jobs", str(os.cpu_count())]
        program, _ = best_of(args.repeat, lambda: subprocess.run([os.path.join(build, "kvw-minima")] + words + paths,
                                                                 capture_output=True, check=True))
        alone, rows = best_of(args.repeat, lambda: kvw.time_files(paths, **ephemeris))
        clustered = {}
        mmap_threshold = {"distributed.nanny.pre-spawn-environ.MALLOC_MMAP_THRESHOLD_": 1 << 25}
        for name, settings in (("Dask's settings", {}), ("MALLOC_MMAP_THRESHOLD_", mmap_threshold)):
            with dask.config.set(settings), \
                    LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                                 dashboard_address=None) as cluster, Client(cluster) as client:
                client.run(lambda: __import__("kvw"))
                clustered[name], cluster_rows = best_of(
                    args.repeat, lambda: kvw.time_files(paths, client=client, **ephemeris))
            assert cluster_rows.equals(rows)
        print("%d files of %d cadences, %d rows (%d ok), %d cores" % (
            len(paths), 19440, len(rows), (rows["status"] == "ok").sum(), os.cpu_count()))
        print("%-66s %9s %9s" % ("", "seconds", "files/s"))
        lines = [("kvw-minima, one run, --jobs = cores", program), ("kvw.time_files, no client (all cores)", alone)]
        lines += [("kvw.time_files, LocalCluster of %d workers, %s" % (args.workers, name), seconds)
                  for name, seconds in clustered.items()]
        for name, seconds in lines:
            print("%-66s %9.2f %9.1f" % (name, seconds, len(paths) / seconds))
        for name, seconds in clustered.items():
            print("cluster (%s) / no client: %.2f" % (name, seconds / alone))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
