"""Captures for the module's tests, made by the simulated sensor and the standard tools, and an
independent reader of the files kv-export writes."""

import os
import shutil
import socket
import struct
import subprocess

import numpy as np
import pytest

BIN = os.environ.get("KV_BIN_DIR", os.path.join(os.path.dirname(__file__), "../../build/bin"))


def sim(path, *args):
    subprocess.run([os.path.join(BIN, "kv-sensor-sim"), "--pcap", str(path), *args], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return str(path)


def kv_export(*args):
    """kv-export's (status, standard error)."""
    r = subprocess.run([os.path.join(BIN, "kv-export"), *map(str, args)], capture_output=True, text=True)
    return r.returncode, r.stderr


def pcap_records(path):
    """(time in seconds, bytes) of every record of a microsecond or nanosecond pcap file."""
    data = open(path, "rb").read()
    magic = struct.unpack_from("<I", data)[0]
    scale = 1e-9 if magic == 0xA1B23C4D else 1e-6
    out, at = [], 24
    while at + 16 <= len(data):
        sec, frac, caplen, _ = struct.unpack_from("<IIII", data, at)
        out.append((sec + frac * scale, data[at + 16:at + 16 + caplen]))
        at += 16 + caplen
    return out, data[:24]


def to_sll2(src, dst):
    """The same packets as a Linux cooked (SLL2) capture, as `tcpdump -i any` writes them: the
    14-byte Ethernet header replaced by SLL2's 20 bytes."""
    records, header = pcap_records(src)
    out = bytearray(header[:20] + struct.pack("<I", 276))
    for t, frame in records:
        sll2 = struct.pack(">HHIHBB8s", 0x0800, 0, 1, 772, 0, 6, b"\0" * 8)
        body = sll2 + frame[14:]
        sec = int(t)
        out += struct.pack("<IIII", sec, int(round((t - sec) * 1e6)), len(body), len(body)) + body
    open(dst, "wb").write(out)
    return str(dst)


def read_pcd_xyz(path):
    """x, y, z of a binary PCD file kv-export wrote, read with numpy alone."""
    raw = open(path, "rb").read()
    end = raw.index(b"DATA binary\n") + len(b"DATA binary\n")
    header = dict(line.split(" ", 1) for line in raw[:end].decode().splitlines() if " " in line)
    fields = header["FIELDS"].split()
    sizes = [int(s) for s in header["SIZE"].split()]
    types = header["TYPE"].split()
    dtype = np.dtype([(f, {"F": "<f", "U": "<u", "I": "<i"}[t] + str(s)) for f, s, t in zip(fields, sizes, types)])
    points = np.frombuffer(raw, dtype=dtype, count=int(header["POINTS"]), offset=end)
    return points["x"], points["y"], points["z"]


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.fixture(scope="session")
def captures(tmp_path_factory):
    """name -> (capture path, kv-export's stream option words)."""
    d = tmp_path_factory.mktemp("captures")
    single = sim(d / "single.pcap", "--seconds", "2", "--seed", "3")
    dual = sim(d / "dual.pcap", "--seconds", "2", "--seed", "4", "--dual")
    out = {"single": (single, []), "dual": (dual, []), "sll2": (to_sll2(single, d / "sll2.pcap"), [])}
    if shutil.which("editcap") and shutil.which("mergecap"):
        subprocess.run(["editcap", "-F", "pcapng", dual, str(d / "dual.pcapng")], check=True)
        out["pcapng"] = (str(d / "dual.pcapng"), [])
        other = sim(d / "other.pcap", "--seconds", "1", "--seed", "5", "--data-port", "2370")
        subprocess.run(["mergecap", "-F", "pcap", "-w", str(d / "two.pcap"), single, other], check=True)
        out["two streams, the smaller"] = (str(d / "two.pcap"), ["--port", "2370"])
    return out
