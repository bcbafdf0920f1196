"""kvcloudscope against kv-export and the capture files themselves."""

import glob
import os
import subprocess
import sys
import threading
import time
import warnings

import numpy as np
import pytest

import kvcloudscope
from conftest import BIN, free_udp_port, kv_export, pcap_records, read_pcd_xyz


@pytest.mark.parametrize("name", ["single", "dual", "sll2", "pcapng", "two streams, the smaller"])
@pytest.mark.parametrize("line_type", [1, 2])
def test_every_frame_equals_kv_exports_binary_pcd_files(captures, tmp_path, name, line_type):
    if name not in captures:
        pytest.skip("editcap and mergecap are not installed")
    path, stream = captures[name]
    status, said = kv_export("--pcd", tmp_path, "--binary", "--line-type", line_type, *stream, path)
    assert status == 0, said
    stream_kw = {"port": int(stream[1])} if stream else {}
    c = kvcloudscope.open(path, line_type=line_type, **stream_kw)
    files = sorted(glob.glob(str(tmp_path / "*.pcd")))
    assert len(c) == len(files) > 5
    stem = os.path.splitext(os.path.basename(path))[0]
    for frame, file in zip(c, files):
        assert os.path.basename(file) == f"{stem}_{frame.number:06d}.pcd"
        returned = frame.distance > 0
        for got, want in zip((frame.x, frame.y, frame.z), read_pcd_xyz(file)):
            assert got.dtype == np.float32
            assert np.array_equal(got[returned].view(np.uint32), want.view(np.uint32)), file
        # The structured array carries the same values.
        assert np.array_equal(frame.points["x"], frame.x) and np.array_equal(frame.points["time"], frame.time)
        assert len(frame) == len(frame.points) >= returned.sum()


def test_random_access_equals_iteration_and_counts_from_zero(captures):
    c = kvcloudscope.open(captures["dual"][0])
    walked = list(c)
    assert [f.number for f in walked] == list(range(1, len(c) + 1))
    for k in [len(c) - 1, 0, 3, -1, -len(c)]:  # out of order, as a user jumps
        f = c[k]
        w = walked[k]
        assert f.number == w.number
        for field in kvcloudscope.POINT_DTYPE.names:
            assert np.array_equal(getattr(f, field), getattr(w, field)), (k, field)
    assert [f.number for f in c[2:5]] == [3, 4, 5]
    for k in [len(c), -len(c) - 1]:
        with pytest.raises(IndexError):
            c[k]
    with pytest.raises(ValueError):
        c[0].x[0] = 1.0  # views of the frame's memory are read-only


def test_each_point_carries_its_packets_capture_time(captures):
    path = captures["single"][0]
    records, _ = pcap_records(path)
    packet_times = np.array(sorted({round(t, 6) for t, data in records if len(data) == 1248}))
    last_first = 0.0
    for frame in kvcloudscope.open(path):
        t = np.round(frame.time, 6)
        assert np.isin(t, packet_times).all()
        assert (np.diff(frame.time) >= 0).all()  # single echo: points in packet order
        assert frame.time[0] >= last_first
        last_first = frame.time[0]
    # pcapng and pcap of the same packets give the same times.
    if "pcapng" in captures:
        for a, b in zip(kvcloudscope.open(captures["dual"][0]), kvcloudscope.open(captures["pcapng"][0])):
            assert np.array_equal(a.time, b.time)


def test_options_mean_what_kv_exports_do(captures, tmp_path):
    path = captures["dual"][0]
    c = kvcloudscope.open(path)
    both = c[4]
    first = next(x for x in c.frames(echo="first") if x.number == 5)
    second = next(x for x in c.frames(echo=2) if x.number == 5)
    assert len(both) == len(first) + len(second)
    few = next(c.frames(lines=[0, 3], min_angle=20, max_angle=100))
    assert set(np.unique(few.line)) <= {0, 3}
    assert ((few.azimuth >= 20) & (few.azimuth <= 100)).all()
    # The CSV of those frames equals kv-export's, byte for byte.
    status, said = kv_export("--csv", tmp_path / "k.csv", "--echo", "second", "--lines", "1,2", path)
    assert status == 0, said
    kvcloudscope.write_csv(tmp_path / "p.csv", c.frames(echo="second", lines="1,2"))
    assert (tmp_path / "p.csv").read_bytes() == (tmp_path / "k.csv").read_bytes()
    # So do a frame's PCD and PLY files.
    status, said = kv_export("--pcd", tmp_path / "pcd", "--ply", tmp_path / "ply", "--binary", "--frames", "5",
                             "--colour", "elevation", "--line-type", "1", path)
    assert status == 0, said
    assert kvcloudscope.write_pcd(tmp_path / "f.pcd", both, colour="elevation")
    assert kvcloudscope.write_ply(tmp_path / "f.ply", both, colour="elevation")
    assert (tmp_path / "f.pcd").read_bytes() == (tmp_path / "pcd/dual_000005.pcd").read_bytes()
    assert (tmp_path / "f.ply").read_bytes() == (tmp_path / "ply/dual_000005.ply").read_bytes()
    for bad, words in [({"echo": "third"}, "--echo"), ({"lines": [7]}, "--lines"), ({"min_angle": "x"}, None)]:
        with pytest.raises(ValueError) as e:
            c.frames(**bad)
        if words:
            assert words in str(e.value)


def test_what_cannot_be_read_is_said_in_kv_exports_words(captures, tmp_path):
    (tmp_path / "notes.txt").write_text("not a capture\n")
    header = open(captures["single"][0], "rb").read()[:24]
    (tmp_path / "empty.pcap").write_bytes(header)
    for path in [tmp_path / "notes.txt", tmp_path / "missing.pcap", tmp_path / "empty.pcap"]:
        status, said = kv_export("--csv", tmp_path / "x.csv", path)
        assert status != 0
        with pytest.raises(kvcloudscope.CaptureError) as e:
            kvcloudscope.open(path)
        assert "kv-export: " + str(e.value) == said.strip().splitlines()[-1]
    with pytest.raises(kvcloudscope.CaptureError, match="no data packets of port 9"):
        kvcloudscope.open(captures["single"][0], port=9)
    # A damaged capture opens with the frames before the damage, and says where it stopped.
    data = open(captures["single"][0], "rb").read()
    (tmp_path / "cut.pcap").write_bytes(data[: len(data) // 2 + 100])
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        c = kvcloudscope.open(tmp_path / "cut.pcap")
    assert len(caught) == 1 and issubclass(caught[0].category, kvcloudscope.DamagedCaptureWarning)
    assert "is damaged after record" in str(caught[0].message)
    whole = kvcloudscope.open(captures["single"][0])
    assert 0 < len(c) < len(whole)
    assert np.array_equal(c[-1].x, whole[len(c) - 1].x)


def test_live_frames_come_through_the_receivers_rule_and_end_on_silence():
    # Two simulated sensors on one port, the second from an address of its own: each sender is
    # cut on its own, so every frame after a sender's first holds exactly four periods of it.
    port = free_udp_port()
    sims = [subprocess.Popen([os.path.join(BIN, "kv-sensor-sim"), "--dest", "127.0.0.1", "--data-port", str(port),
                              "--equip-port", str(free_udp_port()), "--bind-port", "0", "--seconds", "2", *extra],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for extra in ([], ["--source-ip", "127.0.0.3", "--seed", "3"])]
    try:
        with kvcloudscope.live(port, timeout=1.5) as stream:
            frames = []
            start = time.time()
            for f in stream:
                frames.append(f)
            ended = time.time()
        assert [f.number for f in frames] == list(range(1, len(frames) + 1))
        by_source = {}
        for f in frames:
            by_source.setdefault(f.source, []).append(f)
        assert len(by_source) == 2 and "127.0.0.3:2368" in by_source, list(by_source)
        for source, own in by_source.items():
            assert len(own) >= 8, source  # ten frames a second for two seconds, the first perhaps lost
            assert {len(f) for f in own[1:]} == {4 * 1801}, source
            assert all(start - 1 <= f.time.min() <= f.time.max() <= ended for f in own[1:])
        assert ended - start < 2 + 1.5 + 2  # the silence ended it
    finally:
        for sim in sims:
            sim.kill()
            sim.wait()
    # close() from another thread ends a wait that has no time-out.
    stream = kvcloudscope.live(free_udp_port(), timeout=None)
    threading.Timer(0.3, stream.close).start()
    assert list(stream) == []


def test_batch_on_a_local_cluster_writes_what_kv_export_writes(captures, tmp_path):
    source = captures["single"][0]
    inputs = []
    for i in range(6):
        p = tmp_path / f"run{i}.pcap"
        p.write_bytes(open(source if i % 2 == 0 else captures["dual"][0], "rb").read())
        inputs.append(str(p))
    (tmp_path / "bad.pcap").write_text("not a capture\n")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    r = subprocess.run([sys.executable, "-m", "kvcloudscope.batch", "--pcd", str(tmp_path / "batch"), "--workers", "2",
                        "--binary", "--frames=2-4", *inputs, str(tmp_path / "bad.pcap")],
                       capture_output=True, text=True, env=env, timeout=300)
    assert r.returncode == 1, r.stderr
    assert "failed: " + str(tmp_path / "bad.pcap") + ": " in r.stderr
    assert "6 of 7 captures exported" in r.stderr
    for p in inputs:
        status, said = kv_export("--pcd", tmp_path / "one", "--binary", "--frames", "2-4", p)
        assert status == 0, said
    one = sorted(os.listdir(tmp_path / "one"))
    assert one == sorted(os.listdir(tmp_path / "batch")) and len(one) == 18
    for name in one:
        assert (tmp_path / "one" / name).read_bytes() == (tmp_path / "batch" / name).read_bytes(), name


def test_the_example_draws_the_range_histograms(captures, tmp_path):
    pytest.importorskip("matplotlib")
    script = os.path.join(os.path.dirname(__file__), "../../examples/range_histogram.py")
    r = subprocess.run([sys.executable, script, captures["single"][0], str(tmp_path / "h.png")], capture_output=True,
                       text=True, env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)), timeout=120)
    assert r.returncode == 0, r.stderr
    assert (tmp_path / "h.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert " returns of 20 frames" in r.stdout
