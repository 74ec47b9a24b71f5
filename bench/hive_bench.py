#!/usr/bin/env python3
"""Figures for the hive reader: a generated SOFTWARE hive of about 50 MB,
read by the native build and by hivexget.

  hive_bench.py --hivtap build/native/hivtap [--mb 50] [--against OLD_HIVTAP]

rows(hivtap, work, mb) gives (name, figure, unit) rows for the benchmark
table; run as a script it prints them. --against measures a second build on
the same hive, the two alternating (A B A B), and prints both medians."""

import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

BASE = 4096
NONE = 0xFFFFFFFF


class HiveWriter:
    """Writes a hive in one pass: every cell in one hive bin, keys as nk
    cells with lh subkey lists, values as vk cells with their data."""

    def __init__(self):
        self.cells = bytearray()

    def cell(self, body):
        at = 32 + len(self.cells)
        size = (4 + len(body) + 7) & ~7
        self.cells += struct.pack("<i", -size) + body + b"\0" * (size - 4 - len(body))
        return at

    def value(self, name, kind, data):
        raw = name.encode("latin-1")
        if len(data) <= 4:
            length, offset = len(data) | 0x80000000, struct.unpack("<I", data.ljust(4, b"\0"))[0]
        else:
            length, offset = len(data), self.cell(data)
        return self.cell(b"vk" + struct.pack("<HIIIHH", len(raw), length, offset, kind, 1, 0) + raw)

    def key(self, name, values, children, parent=0, root=False):
        """children: (name, values, children) tuples, written first."""
        raw = name.encode("latin-1")
        # Children first; their parent offset is set once this key is written.
        kids = [self.key(*c) for c in sorted(children, key=lambda c: c[0].upper())]
        lst = NONE
        if kids:
            lst = self.cell(b"lh" + struct.pack("<H", len(kids)) +
                            b"".join(struct.pack("<II", k, 0) for k in kids))
        vals = [self.value(*v) for v in values]
        vlist = self.cell(b"".join(struct.pack("<I", v) for v in vals)) if vals else NONE
        flags = 0x20 | (0x0C if root else 0)
        nk = (b"nk" + struct.pack("<H", flags) + b"\0" * 8 +
              struct.pack("<15I2H", 0, parent, len(kids), 0, lst, NONE, len(vals), vlist, NONE,
                          NONE, 0, 0, 0, 0, 0, len(raw), 0) + raw)
        here = self.cell(nk)
        for k in kids:
            struct.pack_into("<I", self.cells, k - 32 + 4 + 16, here)
        return here

    def write(self, path, root):
        root_at = self.key(*root, root=True)
        size = (32 + len(self.cells) + 4095) & ~4095
        free = size - 32 - len(self.cells)
        body = bytes(self.cells)
        if free:
            body += struct.pack("<i", free) + b"\0" * (free - 4)
        hbin = b"hbin" + struct.pack("<III", 0, size, 0) + b"\0" * 16 + body
        base = bytearray(BASE)
        base[0:4] = b"regf"
        struct.pack_into("<IIQIIIIIII", base, 4, 1, 1, 0, 1, 5, 0, 1, root_at, size, 1)
        c = 0
        for (g,) in struct.iter_unpack("<I", bytes(base[:508])):
            c ^= g
        struct.pack_into("<I", base, 508, 0xFFFFFFFE if c == NONE else (c or 1))
        with open(path, "wb") as f:
            f.write(bytes(base) + hbin)


def text(i):
    return ("Valeur %d " % i * 8)[:60].encode("utf-16-le") + b"\0\0"


def software_tree(mb):
    """Bench\\KeyNNNNN with 10 values of 120 bytes each, as many keys as
    make `mb` megabytes, and Classes with 20,000 subkeys."""
    keys = mb * 1024 * 1024 // 2000
    bench = [("Key%05d" % k, [("Value%02d" % v, 1, text(k * 10 + v)) for v in range(10)], [])
             for k in range(keys)]
    classes = [(".ext%05d" % i, [("Content Type", 1, text(i))], []) for i in range(20000)]
    return ("ROOT", [], [("Bench", [], bench), ("Classes", [], classes)]), keys


def timed(argv, env=None, repeat=7, cpu=False):
    """The least wall time (least disturbed by other work on the machine),
    or the median CPU time (user + system), of `repeat` runs, in seconds."""
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        p = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(p.pid, 0)
        p.returncode = os.waitstatus_to_exitcode(status)
        if p.returncode:
            raise RuntimeError("%s failed" % argv)
        wall = time.perf_counter() - start
        times.append(usage.ru_utime + usage.ru_stime if cpu else wall)
    return statistics.median(times) if cpu else min(times)


def sample_peak(argv, env, cwd, path, fields):
    """The largest sum of `fields` (kB) in /proc/PID/`path` seen while the
    run lasts (sampled every millisecond or so)."""
    p = subprocess.Popen(argv, env=env, cwd=cwd, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    peak = 0
    while p.poll() is None:
        try:
            with open("/proc/%d/%s" % (p.pid, path)) as f:
                found = dict(line.split(":", 1) for line in f if ":" in line)
            peak = max(peak, sum(int(found.get(k, "0 kB").split()[0]) for k in fields))
        except (OSError, ValueError):
            pass
        time.sleep(0.001)
    return peak


def peak_anon_kb(argv, env, cwd):
    """The largest RssAnon + RssShmem seen while the run lasts (sampled)."""
    return sample_peak(argv, env, cwd, "status", ("RssAnon", "RssShmem"))


def peak_pss_kb(argv, env, cwd):
    """The largest proportional set size seen while the run lasts (sampled):
    pages mapped twice, as a hive is by hivex and by the reader, count once."""
    return sample_peak(argv, env, cwd, "smaps_rollup", ("Pss",))


def prepare(work, mb=50):
    """Writes the hive and the lists once; what measure() needs."""
    drive = os.path.join(work, "collected")
    os.makedirs(drive, exist_ok=True)
    hive = os.path.join(drive, "SOFTWARE")
    tree, keys = software_tree(mb)
    HiveWriter().write(hive, tree)
    lines = 20000
    with open(os.path.join(work, "one.lst"), "wb") as f:
        f.write(b"HKLM\\Software\\Bench\\Key00000\\Value00\r\n")
    with open(os.path.join(work, "many.lst"), "wb") as f:
        for i in range(lines):
            k = (i * 7919) % keys
            f.write(b"HKLM\\Software\\Bench\\Key%05d\\Value%02d\r\n" % (k, i % 10))
    with open(os.path.join(work, "repeat.lst"), "wb") as f:
        for i in range(lines):
            k = (i % 50) * (keys // 50)
            f.write(b"HKLM\\Software\\Bench\\Key%05d\\Value%02d\r\n" % (k, i % 10))
    with open(os.path.join(work, "missing.lst"), "wb") as f:
        f.write(b"HKLM\\Nope\\Value\r\n" * lines)
    return {"work": work, "drive": drive, "hive": hive, "keys": keys, "lines": lines}


def measure(hivtap, prep):
    work, hive, keys, lines = prep["work"], prep["hive"], prep["keys"], prep["lines"]
    size = os.path.getsize(hive)
    env = dict(os.environ, HIVTAP_REGISTRY=prep["drive"])
    out = os.path.join(work, "out.txt")
    last = keys - 1
    single = [hivtap, "/S", "HKLM\\Software\\Bench\\Key%05d\\Value09" % last, out]
    ours = timed(single, env)
    theirs = timed(["hivexget", hive, "Bench\\Key%05d" % last, "Value09"])
    classes = timed([hivtap, "/S", "HKLM\\Software\\Classes\\.ext19999\\Content Type", out], env)
    theirs_classes = timed(["hivexget", hive, "Classes\\.ext19999", "Content Type"])
    per_line = {}
    for name in ("one", "many", "repeat", "missing"):
        argv = [hivtap, "/S", "/L:" + os.path.join(work, name + ".lst"), out]
        per_line[name] = timed(argv, env, repeat=3, cpu=True)
    cost = {n: (per_line[n] - per_line["one"]) / (lines - 1) * 1e6 for n in per_line}
    peak = peak_anon_kb([hivtap, "/S", "/L:" + os.path.join(work, "many.lst"), out], env, work)
    return [
        ("hive: SOFTWARE hive size", size / 1e6, "MB"),
        ("hive: single lookup, hivtap (process)", ours * 1e3, "ms"),
        ("hive: single lookup, hivexget (process)", theirs * 1e3, "ms"),
        ("hive: single lookup ratio hivtap/hivexget", ours / theirs, "x"),
        ("hive: lookup under 20,000 subkeys, hivtap", classes * 1e3, "ms"),
        ("hive: lookup under 20,000 subkeys, hivexget", theirs_classes * 1e3, "ms"),
        ("hive: list, CPU per further line, 500 values read again and again", cost["repeat"],
         "us"),
        ("hive: list, CPU per further line, each line a key not read before", cost["many"], "us"),
        ("hive: list, CPU per further line of a missing key", cost["missing"], "us"),
        ("hive: peak memory beyond mapped files (RssAnon+RssShmem)", peak / 1024, "MB"),
    ]


def rows(hivtap, work, mb=50):
    return measure(hivtap, prepare(work, mb))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--hivtap", required=True)
    parser.add_argument("--mb", type=int, default=50)
    parser.add_argument("--against", help="a second build, measured alternately")
    args = parser.parse_args()
    if not shutil.which("hivexget"):
        sys.exit("hivexget is missing (Debian: libhivex-bin)")
    work = tempfile.mkdtemp(prefix="hivtap-hive-bench-")
    try:
        prep = prepare(work, args.mb)
        builds = [os.path.abspath(args.hivtap)]
        if args.against:
            builds.append(os.path.abspath(args.against))
        runs = {b: [] for b in builds}
        for _ in range(2 if args.against else 1):
            for b in builds:
                runs[b].append(measure(b, prep))
        for i, (name, _, unit) in enumerate(runs[builds[0]][0]):
            figures = ["%10.2f" % statistics.median(r[i][1] for r in runs[b]) for b in builds]
            print("%-66s %s %s" % (name, " ".join(figures), unit))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
