"""Turns many captures into CSV, PCD, PLY or .npz files, one Dask task per capture.

    python3 -m kvcloudscope.batch --pcd OUTDIR [kv-export options] CAPTURE...

Without --scheduler the captures are shared among a local cluster of one worker process per
core; with --scheduler tcp://HOST:8786 among the workers of a running Dask cluster (each worker
machine needs this package installed and the captures at the same paths). Each capture is
exported exactly as kv-export exports it, into OUTDIR: NAME.csv, NAME_000001.pcd ...,
NAME_000001.ply ... or NAME.npz. A capture that fails is reported with its reason and the others
go on; the exit status is 0 when every capture was exported, 1 otherwise, 2 for bad options.
"""

import argparse
import contextlib
import os
import sys
import warnings

# kv-export's options that apply to every capture, with whether they take a value.
_EXPORT_OPTIONS = {"--frames": True, "--echo": True, "--lines": True, "--min-angle": True, "--max-angle": True,
                   "--colour": True, "--color": True, "--line-type": True, "--stream": True, "--port": True,
                   "--binary": False, "--all-streams": False, "--lead": True, "--pose": True, "--sensors": True}
_FORMATS = ("csv", "pcd", "ply", "npz")


def _parser():
    p = argparse.ArgumentParser(
        prog="python3 -m kvcloudscope.batch",
        description="Export many captures as kv-export does, one task of a Dask cluster per capture.",
        epilog="kv-export's options apply to every capture: " + ", ".join(sorted(_EXPORT_OPTIONS)) + ".")
    out = p.add_mutually_exclusive_group(required=True)
    for f in _FORMATS:
        out.add_argument("--" + f, metavar="OUTDIR", help=f"write {f.upper()} files into OUTDIR")
    p.add_argument("--scheduler", metavar="ADDRESS", help="a running Dask scheduler, e.g. tcp://host:8786")
    p.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                   help="worker processes of the local cluster (default: one per core)")
    p.add_argument("captures", nargs="+", metavar="CAPTURE")
    return p


def _split_options(argv):
    """kv-export's options out of argv: (kv-export words, the rest)."""
    words, rest = [], []
    i = 0
    while i < len(argv):
        name, eq, value = argv[i].partition("=")
        if name in _EXPORT_OPTIONS:
            words.append(name)
            if _EXPORT_OPTIONS[name]:
                if not eq:
                    if i + 1 >= len(argv):
                        raise ValueError(f"{name} needs a value")
                    value = argv[i + 1]
                    i += 1
                words.append(value)
            elif eq:
                raise ValueError(f"{name} takes no value")
        else:
            rest.append(argv[i])
        i += 1
    return words, rest


def _name(capture):
    base = os.path.basename(capture)
    stem, ext = os.path.splitext(base)
    return stem if stem else base


def export_one(capture, fmt, outdir, words):
    """One capture to its files, in the worker: (capture, ok, what kv-export said)."""
    from . import _kvcloudscope as native

    if fmt == "npz":
        return _export_npz(capture, outdir, words)
    target = os.path.join(outdir, _name(capture) + ".csv") if fmt == "csv" else outdir
    status, said = native._export_main(list(words) + ["--" + fmt, target, capture])
    return capture, status == 0, said


def _export_npz(capture, outdir, words):
    import numpy as np

    from . import _kvcloudscope as native
    from . import open as open_capture

    options = dict(zip(words[::2], words[1::2])) if "--binary" not in words else None
    if options is None or set(options) - {"--echo", "--lines", "--min-angle", "--max-angle", "--line-type",
                                          "--stream", "--port", "--frames"}:
        return capture, False, "kv-export: --npz takes --frames, --echo, --lines, --min-angle, --max-angle, " \
                               "--line-type, --stream and --port\n"
    try:
        first, last = 1, None
        if "--frames" in options:
            span = options["--frames"].split("-")
            first = int(span[0])
            last = int(span[1]) if len(span) > 1 and span[1] else (None if len(span) > 1 else first)
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            c = open_capture(capture, stream=options.get("--stream"), port=options.get("--port"),
                             line_type=options.get("--line-type"))
        damage = "; ".join(str(w.message) for w in caught)
        point_words = [capture] + [w for k, v in options.items()
                                   if k in ("--echo", "--lines", "--min-angle", "--max-angle") for w in (k, v)]
        native._check_words(point_words)
        arrays = {}
        last = len(c) if last is None else min(last, len(c))
        for number in range(first, last + 1):
            frame = c._native._frame(number, point_words if len(point_words) > 1 else [])
            for field in ("x", "y", "z", "distance", "azimuth", "intensity", "line", "time"):
                arrays[f"frame_{number:06d}_{field}"] = np.asarray(getattr(frame, field))
        if not arrays:
            return capture, False, f"kv-export: no frame in the range: {capture} holds {len(c)} frames\n"
        np.savez(os.path.join(outdir, _name(capture) + ".npz"), **arrays)
        if damage:
            return capture, False, f"kv-export: {damage}; the frames before it are in {_name(capture)}.npz\n"
        return capture, True, f"kv-export: frames {first}-{last} to {_name(capture)}.npz\n"
    except Exception as e:  # noqa: BLE001 - the reason goes into the report
        return capture, False, f"kv-export: {e}\n"


def _reason(capture, said):
    """What kv-export said of a failure, without its progress and summary lines, naming the
    capture once."""
    lines = [line.removeprefix("kv-export: ") for line in said.strip().splitlines()]
    kept = [line for line in lines
            if line and not line.startswith(("reading ", "exporting ", "stream ")) and "\r" not in line]
    reason = "; ".join(kept) or "kv-export failed"
    return reason if reason.startswith(capture) else f"{capture}: {reason}"


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    try:
        words, rest = _split_options(argv)
    except ValueError as e:
        print(f"kvcloudscope.batch: {e}", file=sys.stderr)
        return 2
    args = _parser().parse_args(rest)
    fmt = next(f for f in _FORMATS if getattr(args, f))
    outdir = getattr(args, fmt)
    names = {}
    for capture in args.captures:
        if _name(capture) in names:
            print(f"kvcloudscope.batch: {capture} and {names[_name(capture)]} would write the same files",
                  file=sys.stderr)
            return 2
        names[_name(capture)] = capture
    # Bad options are refused before any work is handed out, in kv-export's words.
    from . import _kvcloudscope as native
    try:
        native._check_words(["-"] + words + (["--" + fmt, outdir] if fmt != "npz" else []))
    except ValueError as e:
        print(f"kvcloudscope.batch: {e}", file=sys.stderr)
        return 2
    os.makedirs(outdir, exist_ok=True)
    captures = [os.path.abspath(c) for c in args.captures]
    outdir = os.path.abspath(outdir)

    from distributed import Client, LocalCluster, as_completed, progress

    if args.scheduler:
        client = Client(args.scheduler)
        cluster = None
    else:
        # Everything of the local cluster, dashboards too, listens on loopback only.
        cluster = LocalCluster(n_workers=max(1, args.workers), threads_per_worker=1, processes=True,
                               host="127.0.0.1", dashboard_address="127.0.0.1:0",
                               worker_dashboard_address="127.0.0.1:0")
        client = Client(cluster)
    failed = 0
    try:
        futures = client.map(export_one, captures, fmt=fmt, outdir=outdir, words=words, pure=False)
        capture_of = dict(zip(futures, captures))
        with contextlib.redirect_stdout(sys.stderr):
            progress(futures)  # a bar that counts captures
        print(file=sys.stderr)
        for future in as_completed(futures):
            capture = capture_of[future]
            try:
                _, ok, said = future.result()
            except Exception as e:  # noqa: BLE001 - a worker that died, a module it lacks
                failed += 1
                print(f"failed: {capture}: {e}", file=sys.stderr)
                continue
            if not ok:
                failed += 1
                print(f"failed: {_reason(capture, said)}", file=sys.stderr)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    done = len(captures) - failed
    print(f"{done} of {len(captures)} captures exported to {outdir}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
