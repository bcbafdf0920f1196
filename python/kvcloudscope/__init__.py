"""The four-line sensor's captures and live stream as numpy arrays.

    import kvcloudscope
    capture = kvcloudscope.open("drive.pcap")
    for frame in capture:
        print(frame.number, len(frame), frame.distance.mean())

Frames are cut as the viewer and ``kv-export`` cut them, and numbered as ``kv-export`` numbers
them (from 1). A frame holds every point the CSV export writes, points without a return too;
its arrays are read-only views of the frame's memory (``numpy.array(frame.x)`` copies one).
Options mean what ``kv-export``'s options of the same names mean, and are refused in its words.
"""

import builtins
import os
import warnings

import numpy as np


def _load_native():
    # The point library announces on loading that it reads no PNG files, which this module
    # never asks of it: that line is kept off the user's output.
    import importlib
    import sys
    sys.stdout.flush()
    saved = os.dup(1)
    try:
        with builtins.open(os.devnull, "wb") as null:
            os.dup2(null.fileno(), 1)
            return importlib.import_module("._kvcloudscope", __name__)
    finally:
        os.dup2(saved, 1)
        os.close(saved)


_native = _load_native()
CaptureError = _native.CaptureError
Frame = _native.Frame

__all__ = ["open", "live", "Capture", "Live", "Frame", "CaptureError", "DamagedCaptureWarning", "POINT_DTYPE",
           "write_pcd", "write_ply", "write_csv"]

# One point of Frame.points: the frame's arrays side by side.
POINT_DTYPE = np.dtype([("x", np.float32), ("y", np.float32), ("z", np.float32), ("distance", np.float32),
                        ("azimuth", np.float32), ("intensity", np.uint8), ("line", np.uint8), ("time", np.float64)])


class DamagedCaptureWarning(UserWarning):
    """The capture is damaged: it opened with the frames before the damage."""


def _points(frame):
    points = np.empty(len(frame), dtype=POINT_DTYPE)
    for name in POINT_DTYPE.names:
        points[name] = getattr(frame, name)
    return points


Frame.points = property(_points, doc="The frame's points as one structured array (POINT_DTYPE).")

# Echo selections: kv-export's words, or the viewer's indices 0 (both), 1 (first), 2 (second).
_ECHO_WORDS = {None: None, 0: "dual", 1: "first", 2: "second", "both": "dual"}


def _point_words(echo=None, lines=None, min_angle=None, max_angle=None):
    words = []
    echo = _ECHO_WORDS.get(echo, echo)
    if echo is not None:
        words += ["--echo", str(echo)]
    if lines is not None:
        words += ["--lines", lines if isinstance(lines, str) else ",".join(str(int(line)) for line in lines)]
    if min_angle is not None:
        words += ["--min-angle", repr(float(min_angle))]
    if max_angle is not None:
        words += ["--max-angle", repr(float(max_angle))]
    return words


def _line_type(line_type):
    """An explicit line type, refused in kv-export's words; or config.ini's, taken as kv-export
    takes it: the user's ($XDG_CONFIG_HOME/kv-cloudscope), then the installed default."""
    if line_type is not None:
        _native._check_words(["-", "--line-type", str(line_type)])
        return int(line_type)
    return _native._config_line_type(os.path.dirname(os.path.abspath(__file__)))


class Capture:
    """A capture file's frames, one stream of it. ``len()``, ``capture[k]`` (from 0, negative
    from the end, through the capture's frame index) and iteration in order."""

    def __init__(self, native):
        self._native = native

    def __len__(self):
        return len(self._native)

    def _number(self, k):
        n = len(self._native)
        k = int(k)
        if k < 0:
            k += n
        if not 0 <= k < n:
            raise IndexError(f"frame index out of range: the capture holds {n} frames")
        return k + 1

    def __getitem__(self, k):
        if isinstance(k, slice):
            return [self._native._frame(i + 1, []) for i in range(*k.indices(len(self)))]
        return self._native._frame(self._number(k), [])

    def __iter__(self):
        return self.frames()

    def frames(self, echo=None, lines=None, min_angle=None, max_angle=None):
        """The frames in order, with kv-export's --echo (dual, first or second), --lines
        (e.g. [0, 3] or "0,3"), --min-angle and --max-angle."""
        words = _point_words(echo, lines, min_angle, max_angle)
        if words:
            words = [self.path] + words
            _native._check_words(words)  # refused now, not at the first frame

        def walk():
            for number in range(1, len(self._native) + 1):
                yield self._native._frame(number, words)

        return walk()

    @property
    def path(self):
        return self._native.path

    @property
    def stream(self):
        """The stream read, as kv-export's --stream writes it: "ADDR:PORT>PORT"."""
        return self._native.stream

    @property
    def streams(self):
        """Every data stream of the file: (stream, data packets), the largest first."""
        return list(self._native.streams)

    @property
    def line_type(self):
        return self._native.line_type

    def __repr__(self):
        return f"<kvcloudscope.Capture {self.path!r}: {len(self)} frames of {self.stream}>"


def open(path, stream=None, port=None, line_type=None):  # noqa: A001 - the module's verb
    """Opens a capture file (pcap or pcapng). ``stream`` ("ADDR:PORT>PORT") or ``port`` (the
    destination port) picks a stream, by default the largest; ``line_type`` (1-4) is the
    geometry, by default config.ini's (the user's, then /etc/kv-cloudscope's; the module has no
    folder of its own to look in). A file that cannot be read raises CaptureError in
    kv-export's words; a damaged one opens with the frames before the damage and warns."""
    words = [os.fspath(path)]
    if stream is not None:
        words += ["--stream", str(stream)]
    if port is not None:
        words += ["--port", str(int(port))]
    native = _native._Capture(words, _line_type(line_type))
    if native.damage:
        warnings.warn(native.damage, DamagedCaptureWarning, stacklevel=2)
    return Capture(native)


class Live:
    """Frames from the data port as the viewer's receiver cuts them: each sender's (a sensor's)
    frames by a frame rule of its own, so that no frame mixes two sensors, handed over in the
    order they close and numbered so, ``frame.source`` naming the sender ("ADDR:PORT"). Each
    point is timed by the receive clock; as in the viewer, a sender's first frame also holds
    what came before its first marker. Iteration ends when closed, or when nothing arrives for ``timeout`` seconds
    (None: it waits until closed or interrupted); Ctrl-C interrupts it."""

    def __init__(self, port=2368, group=None, timeout=1.0, echo=None, lines=None, min_angle=None, max_angle=None,
                 line_type=None):
        words = _point_words(echo, lines, min_angle, max_angle)
        self._words = ["-"] + words if words else None
        if self._words:
            _native._check_words(self._words)
        self._native = _native._Live(int(port), group or "", -1.0 if timeout is None else float(timeout),
                                     _line_type(line_type))

    @property
    def port(self):
        return self._native.port

    def __iter__(self):
        return self

    def __next__(self):
        frame = self._native._next(self._words)
        if frame is None:
            raise StopIteration
        return frame

    def close(self):
        self._native.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def live(port=2368, group=None, timeout=1.0, **options):
    """The live stream's frames: ``for frame in kvcloudscope.live(2368): ...``. Takes the
    options of Capture.frames() and ``line_type``."""
    return Live(port, group, timeout, **options)


def write_pcd(path, frame, binary=True, colour="intensity"):
    """Writes a frame's points with a return as one PCD file, through kv-export's writer (the
    same bytes as its file of that frame); ``colour`` as its --colour. False when the frame
    has no such point: no file is written then."""
    return _native.write_pcd(os.fspath(path), frame, bool(binary), str(colour))


def write_ply(path, frame, binary=True, colour="intensity"):
    """As write_pcd, a PLY file."""
    return _native.write_ply(os.fspath(path), frame, bool(binary), str(colour))


def write_csv(path, frames):
    """Writes frames to one CSV file in kv-export's layout; returns the rows written."""
    writer = _native._CsvWriter(os.fspath(path))
    try:
        for frame in frames:
            writer.write(frame)
    finally:
        writer.close()
    return writer.rows
