#!/usr/bin/env python3
"""Range histogram of each laser line of a capture.

    python3 examples/range_histogram.py CAPTURE [OUT.png]

Reads every frame of CAPTURE, keeps the distance of each point with a return and draws one
histogram per line (0-3) into OUT.png (default: range_histogram.png).
"""

import os
import sys

import matplotlib

matplotlib.use("Agg")  # draws into a file; no display needed
import matplotlib.pyplot as plt
import numpy as np

import kvcloudscope

LINES = 4


def range_histogram(capture_path, out_path="range_histogram.png"):
    capture = kvcloudscope.open(capture_path)

    ranges = [[np.empty(0, np.float32)] for _ in range(LINES)]  # one list of arrays per line
    for frame in capture:
        hit = frame.distance > 0  # points without a return have distance 0
        for line in range(LINES):
            ranges[line].append(frame.distance[hit & (frame.line == line)])
    ranges = [np.concatenate(r) for r in ranges]

    top = max((r.max() for r in ranges if r.size), default=1.0)
    bins = np.linspace(0.0, top, 101)
    fig, axes = plt.subplots(2, 2, figsize=(9, 6), dpi=100, sharex=True)
    for line, (ax, r) in enumerate(zip(axes.flat, ranges)):
        ax.hist(r, bins=bins, color=f"C{line}")
        ax.set_title(f"line {line}: {r.size:,} returns", fontsize=10)
        ax.set_ylabel("points")
        if line >= 2:
            ax.set_xlabel("range (m)")
    fig.suptitle(f"{os.path.basename(capture_path)}: {len(capture)} frames")
    fig.tight_layout()
    fig.savefig(out_path)
    print(f"{out_path}: {sum(r.size for r in ranges):,} returns of {len(capture)} frames")


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: python3 examples/range_histogram.py CAPTURE [OUT.png]")
    try:
        range_histogram(*sys.argv[1:])
    except kvcloudscope.CaptureError as e:
        sys.exit(str(e))
