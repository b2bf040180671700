#!/usr/bin/python3
"""Times the Python package against the zqx command, side by side and interleaved:
  1. zqx.extract on a 10-minute file vs `zqx extract` on the same file (one job);
  2. zqx.dask.extract_corpus over a corpus on a LocalCluster of 1 worker vs 2 workers.
Prints the median of each over the rounds and the ratios.

Usage: PYTHONPATH=build/default/python bench/python_bench.py [path/to/zqx] [--rounds N]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time

import zqx
import zqx.dask
from distributed import Client, LocalCluster


def timed(action):
    start = time.perf_counter()
    action()
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("zqx", nargs="?", default="build/default/bin/zqx")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--corpus-files", type=int, default=8)
    parser.add_argument("--corpus-seconds", type=int, default=300)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as work:
        long_wav = os.path.join(work, "long.wav")
        subprocess.run([args.zqx, "demo", "--seconds", "600", "--save-audio", long_wav], check=True,
                       stdout=subprocess.DEVNULL)
        print(f"cpu: {os.cpu_count()} cores; zqx.extract vs `zqx extract`, 600 s file, {args.rounds} rounds")
        zqx.extract(long_wav)  # loads the plug-ins and warms the file cache once
        cli, python = [], []
        for i in range(args.rounds):
            out = os.path.join(work, f"cli{i}")
            cli.append(timed(lambda: subprocess.run([args.zqx, "extract", "-q", "--jobs", "1", "-o", out, long_wav],
                                                    check=True)))
            python.append(timed(lambda: zqx.extract(long_wav)))
        c, p = statistics.median(cli), statistics.median(python)
        print(f"  zqx extract   {c:7.2f} s  ({600 / c:5.0f}x real time)")
        print(f"  zqx.extract   {p:7.2f} s  ({600 / p:5.0f}x real time)   python/cli = {p / c:.3f}")

        corpus = os.path.join(work, "corpus")
        os.makedirs(corpus)
        short = os.path.join(work, "short.wav")
        subprocess.run([args.zqx, "demo", "--seconds", str(args.corpus_seconds), "--save-audio", short], check=True,
                       stdout=subprocess.DEVNULL)
        for i in range(args.corpus_files):
            shutil.copy(short, os.path.join(corpus, f"piece{i:02d}.wav"))
        print(f"extract_corpus, {args.corpus_files} files of {args.corpus_seconds} s, LocalCluster 1 vs 2 workers "
              f"(cluster start-up not timed)")
        clusters = {n: LocalCluster(n_workers=n, threads_per_worker=1, processes=True, dashboard_address=None)
                    for n in (1, 2)}
        clients = {n: Client(cluster, set_as_default=False) for n, cluster in clusters.items()}
        try:
            times = {1: [], 2: []}
            for n, client in clients.items():  # warm-up: plug-ins loaded in every worker
                zqx.dask.extract_corpus(corpus, os.path.join(work, f"warm{n}"), client=client, progress=False)
            for i in range(args.rounds):
                for n, client in clients.items():
                    out = os.path.join(work, f"dask{n}-{i}")
                    times[n].append(timed(lambda: zqx.dask.extract_corpus(corpus, out, client=client, progress=False,
                                                                          skip_existing=False)))
            one, two = statistics.median(times[1]), statistics.median(times[2])
            print(f"  1 worker      {one:7.2f} s")
            print(f"  2 workers     {two:7.2f} s   speed-up = {one / two:.2f}x")
        finally:
            for client in clients.values():
                client.close()
            for cluster in clusters.values():
                cluster.close()


if __name__ == "__main__":
    main()
