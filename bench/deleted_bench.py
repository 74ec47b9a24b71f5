#!/usr/bin/env python3
"""Figures for deleted-record recovery: the generated SOFTWARE hive of the
hive rows (about 50 MB), as written and with every fourth Bench key freed
(its key node, value list, values and data: what Windows frees when it
deletes a key), each timed by deleted_bench against libhivex's open and
walk of the hive as written (the freed one has keys a walk cannot follow).

  deleted_bench.py --bench build/native/deleted_bench [--mb 50] [--keep DIR]"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import hive_bench

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import hive_fixture  # noqa: E402

BASE = 4096
STAMP = 132223104000000000  # 2020-01-01


def free_every_fourth_key(path, out):
    with open(path, "rb") as f:
        data = bytearray(f.read())

    def free(rel):
        at = BASE + rel
        struct.pack_into("<i", data, at, abs(struct.unpack_from("<i", data, at)[0]))

    freed = 0
    for c, _, used in list(hive_fixture.cells(data)):
        if not used or data[c + 4:c + 6] != b"nk":
            continue
        length = struct.unpack_from("<H", data, c + 76)[0]
        name = bytes(data[c + 80:c + 80 + length])
        if not name.startswith(b"Key") or int(name[3:]) % 4:
            continue
        count, lst = struct.unpack_from("<II", data, c + 40)
        for i in range(count):
            vk = struct.unpack_from("<I", data, BASE + lst + 4 + 4 * i)[0]
            size, where = struct.unpack_from("<II", data, BASE + vk + 8)
            if not size & 0x80000000 and size:
                free(where)
            free(vk)
        free(lst)
        free(c - BASE)
        struct.pack_into("<Q", data, c + 8, STAMP)  # Windows stamps every key
        freed += 1
    with open(out, "wb") as f:
        f.write(data)
    return freed


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--bench", required=True)
    p.add_argument("--mb", type=int, default=50)
    p.add_argument("--keep")
    args = p.parse_args()
    work = args.keep or tempfile.mkdtemp(prefix="hivtap-deleted-bench-")
    try:
        os.makedirs(work, exist_ok=True)
        hive = os.path.join(work, "SOFTWARE")
        if not os.path.exists(hive):
            tree, _ = hive_bench.software_tree(args.mb)
            hive_bench.HiveWriter().write(hive, tree)
        freed_hive = os.path.join(work, "SOFTWARE.freed")
        freed = free_every_fourth_key(hive, freed_hive)
        for label, path in (("as written", hive), ("%d keys freed" % freed, freed_hive)):
            print("== %s" % label)
            sys.stdout.flush()
            subprocess.run([args.bench, path, hive], check=True)
    finally:
        if not args.keep:
            shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
