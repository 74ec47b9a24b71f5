#!/usr/bin/env python3
"""Deleted keys and values against reglookup-recover: hives filled by
hivexregedit, keys deleted with hivexsh (del) and values with hivexsh
(setval), then every record reglookup-recover recovers must be one that
FindDeletedRecords finds (dump_deleted prints it), with the same name,
parent path, time, type and data. What we find beyond it must be of a
kind explained below, else the run fails.

  deleted_recover.py --dump build/native/dump_deleted [--samples DIR]

DIR holds the xz-packed hives Windows wrote with deleted records
(../shared/samples/deleted-keys): they are compared the same way.

hivex deletes the way Windows does not in three points, undone here so
that the comparison covers what Windows leaves: it never stamps keys
(Windows does; reglookup-recover, like us, takes an unstamped key node for
bytes that only look like one), it clears a deleted key's value count and
list (Windows leaves both, which is how a deleted key keeps its values), and
it frees a big-data record but not its segments (Windows frees them all)."""

import argparse
import datetime
import json
import lzma
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import hive_fixture

PREFIX = "HKEY_LOCAL_MACHINE\\SOFTWARE"
STAMP = 132223104000000000  # 2020-01-01 00:00:00 UTC
SZ, BINARY, DWORD, QWORD = 1, 3, 4, 11


def sz(text):
    return (text + "\0").encode("utf-16-le")


def scenarios():
    """(name, entries, big value names, hivexsh commands)."""
    odd = ["\u0131", "\u03a9mega", "\u4e2d", "x\U0001F600", "caf\u00e9"]
    small = [
        ("Live", "keep", SZ, sz("kept")),
        ("Live", "drop \u03a9", SZ, sz("d\u00e9j\u00e0 \u4e2d")),
        ("Live", "drop dword", DWORD, struct.pack("<I", 0xDEADBEEF)),
        ("Live", "", BINARY, bytes(range(40))),
        ("Gone", "v \u0131", SZ, sz("dans Gone")),
        ("Gone", "q", QWORD, struct.pack("<Q", 0x0123456789ABCDEF)),
        ("Gone\\" + odd[2], "n", DWORD, struct.pack("<I", 7)),
        ("Gone\\" + odd[2] + "\\" + odd[3], "big", BINARY, bytes(range(256)) * 80),
        ("Gone\\" + odd[2] + "\\" + odd[3], "short", BINARY, b"\x01\x02\x03"),
        ("Gone\\" + odd[1], None, 0, b""),
        ("Stay\\" + odd[0], "s", SZ, sz("stays")),
        ("Stay\\" + odd[4], "t", SZ, sz(odd[4])),
    ]
    small_cmds = ["cd \\Gone", "del", "cd \\Stay\\" + odd[4], "del",
                  "cd \\Live", "setval 1", "keep", "string:kept"]
    many = []
    for k in range(120):
        key = "Tree\\K%03d %s" % (k, odd[k % len(odd)])
        many.append((key, "name %d %s" % (k, odd[(k + 1) % len(odd)]), SZ, sz("text %d" % k)))
        many.append((key + "\\Sub", "d", DWORD, struct.pack("<I", k)))
    many_cmds = ["cd \\Tree", "del"]
    return [("small", small, ["big"], small_cmds), ("many", many, [], many_cmds)]


def nk_cells(data):
    for c, _, used in hive_fixture.cells(data):
        if data[c + 4:c + 6] == b"nk":
            yield c, used


def stamp_keys(path):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    for c, used in nk_cells(data):
        if used:
            struct.pack_into("<Q", data, c + 8, STAMP)
    with open(path, "wb") as f:
        f.write(data)


def value_lists(path):
    with open(path, "rb") as f:
        data = f.read()
    return {c: data[c + 40:c + 48] for c, used in nk_cells(data) if used}


def restore_value_lists(path, before):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    for c, used in nk_cells(data):
        if not used and c in before:
            data[c + 40:c + 48] = before[c]
    with open(path, "wb") as f:
        f.write(data)


def free_segments(path):
    """The list and segments of every freed big-data record, freed too."""
    with open(path, "rb") as f:
        data = bytearray(f.read())

    def free(rel):
        at = hive_fixture.BASE + rel
        size = struct.unpack_from("<i", data, at)[0]
        struct.pack_into("<i", data, at, abs(size))
        return at

    for c, _, used in list(hive_fixture.cells(data)):
        if not used and data[c + 4:c + 6] == b"db":
            count, lst = struct.unpack_from("<HI", data, c + 6)
            at = free(lst)
            for i in range(count):
                free(struct.unpack_from("<I", data, at + 4 + 4 * i)[0])
    with open(path, "wb") as f:
        f.write(data)


def make(work, name, entries, big, cmds):
    hive = os.path.join(work, name)
    hive_fixture.make_hive(hive, PREFIX, hive_fixture.reg_text(PREFIX, entries))
    for value in big:
        hive_fixture.to_big_data(hive, value.encode("latin-1"))
    stamp_keys(hive)
    before = value_lists(hive)
    script = "\n".join(cmds + ["commit"]) + "\n"
    subprocess.run(["hivexsh", "-w", hive], input=script.encode("utf-8"), check=True,
                   stdout=subprocess.DEVNULL)
    restore_value_lists(hive, before)
    free_segments(hive)
    return hive


def unquote(text):
    """reglookup's quoting: %XX for a byte, anything else as itself."""
    out, i = bytearray(), 0
    raw = text.encode("latin-1", "surrogateescape")
    while i < len(raw):
        if raw[i:i + 1] == b"%" and i + 3 <= len(raw):
            out.append(int(raw[i + 1:i + 3], 16))
            i += 3
        else:
            out.append(raw[i])
            i += 1
    return bytes(out)


def same_name(quoted, name):
    raw = unquote(quoted)
    forms = [name.encode("utf-16-le", "surrogatepass")]
    if all(ord(c) < 0x100 for c in name):
        forms.append(name.encode("latin-1"))
    return raw in forms


TYPES = {"NONE": 0, "SZ": 1, "EXPAND_SZ": 2, "BINARY": 3, "DWORD": 4, "QWORD": 11}


def same_data(kind, shown, length, data):
    if int(length) != len(data):
        return False
    if kind == DWORD:
        return len(data) == 4 and int(shown, 16) == struct.unpack("<I", data)[0]
    if kind == QWORD:
        return len(data) == 8 and int(shown, 16) == struct.unpack("<Q", data)[0]
    raw = unquote(shown)
    if kind in (SZ, 2):
        text = data.decode("utf-16-le", "surrogatepass").split("\0")[0]
        return raw == data or raw == text.encode("latin-1", "replace")
    return raw == data


def theirs(hive):
    out = subprocess.run(["reglookup-recover", "-H", hive], capture_output=True, check=True)
    rows = []
    for line in out.stdout.decode("latin-1").splitlines():
        f = line.split(",")
        if f[2] in ("KEY", "VALUE"):
            rows.append(f)
    return rows


def ours(dump, hive):
    out = subprocess.run([dump, hive], capture_output=True, check=True)
    keys, values = [], []
    for line in out.stdout.decode("ascii").splitlines():
        r = json.loads(line)
        if "key" in r and "value" not in r:
            keys.append(r)
        else:
            r["data"] = bytes.fromhex(r["data"])
            values.append(r)
    return keys, values


def same_path(quoted, names, partial):
    """reglookup's "/ROOT/a/b" against the names below the root; where the
    chain broke, it names no root, and ours is partial."""
    shown = quoted.split("/")[1:] if quoted else []
    if not partial:
        shown = shown[1:]
    return len(shown) == len(names) and all(same_name(q, n) for q, n in zip(shown, names))


def seconds(filetime):
    t = datetime.datetime(1601, 1, 1) + datetime.timedelta(microseconds=filetime // 10)
    return t.strftime("%Y-%m-%d %H:%M:%S")


def compare(dump, hive):
    """Problems (strings), and counts of what matched and what is ours only."""
    rows = theirs(hive)
    keys, values = ours(dump, hive)
    problems, matched_keys, matched_values = [], set(), set()
    for f in rows:
        if f[2] == "KEY":
            hit = [i for i, k in enumerate(keys)
                   if same_path(f[3], k["key"][:-1], k["partial"]) and
                   same_name(f[4], k["key"][-1]) and seconds(k["time"]) == f[5]]
            if not hit:
                problems.append("key not found: %s" % ",".join(f[:6]))
            matched_keys.update(hit)
            continue
        kind = TYPES.get(f[7], int(f[7], 16) if f[7].startswith("0x") else -1)
        hit = []
        # No data shown for a length: it could not read the data either.
        unread = f[8] == "" and f[9] not in ("", "0")
        for i, v in enumerate(values):
            if not same_name(f[4], v["value"]) or v["type"] != kind:
                continue
            if not (not v["reliable"] if unread else
                    v["reliable"] and same_data(kind, f[8], f[9], v["data"])):
                continue
            owner = keys[v["key"]] if v["key"] >= 0 else None
            if not f[3] or (owner and same_path(f[3], owner["key"], owner["partial"])):
                hit.append(i)
        if not hit:
            problems.append("value not found: %s" % ",".join(f[:10])[:200])
        matched_values.update(hit)
    extra_keys = [k for i, k in enumerate(keys) if i not in matched_keys]
    extra_values = [v for i, v in enumerate(values) if i not in matched_values]
    for k in extra_keys:
        problems.append("key only we find: %s" % k)
    for v in extra_values:
        problems.append("value only we find: %s" % {**v, "data": v["data"][:16].hex()})
    return problems, len(matched_keys), len(matched_values)


def unpack(folder, name, work):
    path = os.path.join(work, name)
    with lzma.open(os.path.join(folder, name + ".xz")) as f, open(path, "wb") as out:
        out.write(f.read())
    return path


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--dump", required=True)
    p.add_argument("--samples")
    args = p.parse_args()
    if not shutil.which("reglookup-recover") or not shutil.which("hivexsh"):
        print("reglookup-recover or hivexsh missing")
        return 77
    work = tempfile.mkdtemp(prefix="hivtap-deleted-")
    failed = False
    try:
        hives = [(name, lambda n=name, e=entries, b=big, c=cmds: make(work, n, e, b, c))
                 for name, entries, big, cmds in scenarios()]
        for sample in ("DeletedDataHive", "DeletedTreeHive") if args.samples else ():
            hives.append((sample, lambda s=sample: unpack(args.samples, s, work)))
        for name, made in hives:
            hive = made()
            problems, nkeys, nvalues = compare(args.dump, hive)
            print("%s: %d keys, %d values as reglookup-recover recovers them" %
                  (name, nkeys, nvalues))
            if nkeys + nvalues == 0:
                problems.append("nothing recovered: the comparison proves nothing")
            for problem in problems:
                print("  " + problem)
            failed |= bool(problems)
    finally:
        shutil.rmtree(work)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
