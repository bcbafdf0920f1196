#!/usr/bin/env python3
"""How fast kvcloudscope turns a capture into numpy arrays.

    PYTHONPATH=build/python python3 bench/python_decode.py [--gigabytes 1] [--keep DIR]

Writes a capture of about the given size with the simulated sensor (warm in the page cache once
read), then measures:
  1. the module: every frame of the capture into numpy arrays, on one core (points/s);
  2. a plain numpy decoder of the same packets, written here as a user would write one:
     the records of each packet through a structured dtype, frames cut at the markers, the
     points computed with numpy's trigonometry (points/s, on the first part of the capture);
  3. two threads, each reading a capture of its own, against one thread reading one.
"""

import argparse
import os
import struct
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np

import kvcloudscope

BIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build", "bin")
PI = 3.14159  # the value the viewer computes with


def make_capture(path, gigabytes, seed):
    # About 527 kB a simulated second at the default motor speed.
    seconds = max(1, int(gigabytes * 1e9 / 527e3))
    subprocess.run([os.path.join(BIN, "kv-sensor-sim"), "--pcap", path, "--seconds", str(seconds), "--seed",
                    str(seed)], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def warm(path):
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


def module_points(path):
    n = 0
    for frame in kvcloudscope.open(path, line_type=1):
        n += len(frame.x)
    return n


SINGLE = np.dtype([("line", "u1"), ("azimuth", ">u2"), ("d0", "u1"), ("d1", "u1"), ("d2", "u1"), ("intensity", "u1")])


def numpy_points(path, max_packets):
    """The plain decoder: single-echo packets, frames of four marker periods."""
    n = 0
    markers = 0
    pending = []
    with open(path, "rb") as f:
        f.read(24)
        packets = 0
        while packets < max_packets:
            header = f.read(16)
            if len(header) < 16:
                break
            caplen = struct.unpack_from("<I", header, 8)[0]
            frame = f.read(caplen)
            if caplen != 1248:
                continue
            packets += 1
            rec = np.frombuffer(frame, dtype=SINGLE, count=171, offset=42)
            is_marker = (rec["line"] == 0xFF) & (rec["azimuth"] == 0xAABB)
            cuts = np.flatnonzero(is_marker)
            start = 0
            for cut in list(cuts) + [171]:
                part = rec[start:cut]
                part = part[part["line"] != 0xFF]
                if len(part):
                    pending.append(part)
                if cut == 171:
                    break
                markers += 1
                if markers >= 5:  # a frame is four periods
                    n += frame_points(np.concatenate(pending) if pending else rec[:0])
                    pending = []
                    markers = 1
                start = cut + 1
    return n, packets


def frame_points(rec):
    line = rec["line"] >> 4
    azimuth = rec["azimuth"].astype(np.float64) / 100.0
    cm = ((rec["d0"].astype(np.uint32) << 16) | (rec["d1"].astype(np.uint32) << 8) | rec["d2"]) * 0.00390625
    theta = azimuth * PI / 180.0
    r = cm / 100.0
    x = (np.cos(theta) * r).astype(np.float32)
    y = (np.sin(theta) * r).astype(np.float32)
    z = (np.cos(azimuth * PI / 360.0) * 0.0 * r).astype(np.float32)
    keep = line < 4
    return int(np.count_nonzero(keep & (x == x) & (y == y) & (z == z)))


def timed(fn, *args):
    t = time.perf_counter()
    out = fn(*args)
    return out, time.perf_counter() - t


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--gigabytes", type=float, default=1.0)
    p.add_argument("--keep", help="a folder for the captures, kept between runs")
    args = p.parse_args()
    folder = args.keep or tempfile.mkdtemp(prefix="kv-bench-")
    os.makedirs(folder, exist_ok=True)
    paths = [os.path.join(folder, f"bench{seed}_{args.gigabytes:g}GB.pcap") for seed in (1, 2)]
    for seed, path in enumerate(paths, 1):
        if not os.path.exists(path):
            print(f"writing {path} ...", file=sys.stderr)
            make_capture(path, args.gigabytes, seed)
        warm(path)
    size = os.path.getsize(paths[0])

    module_points(paths[0])  # opened once: the page cache and the index's first touch
    points, seconds = timed(module_points, paths[0])
    rate = points / seconds
    print(f"module, one thread: {points:,} points of a {size / 1e9:.2f} GB capture in {seconds:.2f} s: "
          f"{rate / 1e6:.1f} M points/s")

    (plain, packets), plain_seconds = timed(numpy_points, paths[0], 20000)
    plain_rate = plain / plain_seconds
    print(f"plain numpy decoder: {plain:,} points ({packets:,} packets) in {plain_seconds:.2f} s: "
          f"{plain_rate / 1e6:.2f} M points/s; the module is {rate / plain_rate:.0f}x faster")

    results = {}

    def run(path):
        results[path] = module_points(path)

    threads = [threading.Thread(target=run, args=(path,)) for path in paths]
    t = time.perf_counter()
    for th in threads:
        th.start()
    for th in threads:
        th.join()
    both = time.perf_counter() - t
    two_rate = sum(results.values()) / both
    print(f"two threads, two captures: {sum(results.values()):,} points in {both:.2f} s: "
          f"{two_rate / 1e6:.1f} M points/s, {two_rate / rate:.2f}x one thread")


if __name__ == "__main__":
    main()
