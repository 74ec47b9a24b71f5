"""/F:json, /F:csv and /T over the wildcard differential's keys: the three
sources (hivtap.exe under Wine, the native build on the prefix and on the
drive's hives) write the same records, and they agree with Wine's own
registry: each key's time with the `#time=` line Wine saves, and each
value's bytes with what `reg export` writes."""

import csv
import datetime
import io
import json
import os
import re
import subprocess

from harness import winpath
from hive_suite import lines

ALL = "HKLM\\Software\\hivtap-hive"
# Each run: (options, output file); the ones with /T hold times the drive
# does not have (hivexregedit writes none), and are compared on the prefix.
RUNS = [(["/S", "/W", "/F:json", "/L:wild.lst"], "wild.json"),
        (["/S", "/W", "/F:csv", "/L:wild.lst"], "wild.csv"),
        (["/S", "/W", "/F:json", ALL + "\\**\\*"], "all.json"),
        (["/S", "/W", "/N", "/T", "/L:wild.lst"], "wild-times.txt"),
        (["/S", "/W", "/T", ALL + "\\**\\"], "keys.txt")]


def without_times(data, name):
    """The records with their time field emptied: the drive's keys have
    other times than the prefix's."""
    if name.endswith(".json"):
        return re.sub(rb'"time":"[^"]*"', b'"time":""', data)
    if name.endswith(".csv"):
        return re.sub(rb"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]{16}Z", b"", data)
    return None


def filetime_iso(ft):
    t = datetime.datetime(1601, 1, 1) + datetime.timedelta(seconds=ft // 10**7)
    return t.strftime("%Y-%m-%dT%H:%M:%S") + ".%07dZ" % (ft % 10**7)


def wine_unescape(text):
    """A name as Wine's registry files write it: \\xHHHH, \\a..\\r, octal."""
    out, i = [], 0
    controls = {"a": 7, "b": 8, "t": 9, "n": 10, "v": 11, "f": 12, "r": 13, "e": 27}
    while i < len(text):
        c = text[i]
        if c != "\\" or i + 1 == len(text):
            out.append(c)
            i += 1
            continue
        c = text[i + 1]
        m = re.match(r"x([0-9a-fA-F]{1,4})|([0-7]{1,3})", text[i + 1:])
        if m and m.group(1):
            out.append(chr(int(m.group(1), 16)))
            i += 1 + len(m.group(0))
        elif m:
            out.append(chr(int(m.group(2), 8)))
            i += 1 + len(m.group(0))
        else:
            out.append(chr(controls[c]) if c in controls else c)
            i += 2
    # Units past the BMP come as two escapes: join them.
    return "".join(out).encode("utf-16-le", "surrogatepass").decode("utf-16-le", "surrogatepass")


def saved_times(prefix):
    """{lower-cased key path under HKLM: FILETIME} from system.reg."""
    with open(os.path.join(prefix.path, "system.reg"), "rb") as f:
        text = f.read().decode("utf-8", "surrogateescape")
    times, key = {}, None
    for line in text.split("\n"):
        m = re.match(r"^\[(.*)\] \d+$", line)
        if m:
            key = wine_unescape(m.group(1)).lower()
        elif line.startswith("#time=") and key is not None:
            times[key] = int(line[len("#time="):], 16)
            key = None
    return times


def reg_unescape(text):
    """A quoted name or string of a `reg export` file."""
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r", "0": "\0"}.get(m.group(1),
                                                                           m.group(1)), text)


def reg_export(prefix, key, directory):
    """{(key path, value name): (type, bytes or text)} from `reg export`:
    hex lines as bytes, dwords as their four bytes, strings as text."""
    path = os.path.join(directory, "export.reg")
    r = prefix.wine(["reg", "export", key, winpath(path), "/y", "/reg:64"], stdout=subprocess.PIPE,
                    stderr=subprocess.PIPE)
    if r.returncode != 0:
        return None
    with open(path, "rb") as f:
        text = f.read().decode("utf-16")
    text = re.sub(r"\\\r\n  ", "", text)
    values, current = {}, None
    for line in text.split("\r\n"):
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1]
            continue
        m = re.match(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)
        if not m or current is None:
            continue
        name = "" if m.group(1) == "@" else reg_unescape(m.group(2))
        data = m.group(3)
        h = re.match(r"^hex(?:\(([0-9a-f]+)\))?:(.*)$", data)
        if h:
            kind = int(h.group(1), 16) if h.group(1) else 3
            values[(current, name)] = (kind, bytes.fromhex(h.group(2).replace(",", "")))
        elif data.startswith("dword:"):
            values[(current, name)] = (4, int(data[6:], 16).to_bytes(4, "little"))
        elif data.startswith('"') and data.endswith('"'):
            values[(current, name)] = (1, reg_unescape(data[1:-1]))
    return values


LONG = {"HKLM": "HKEY_LOCAL_MACHINE"}


def against_wine(tally, prefix, directory, exported, listing):
    """The exe's export of every key and value of the scratch tree, and its
    /T key listing, against system.reg's times and `reg export`."""
    records = [json.loads(line) for line in exported.decode("utf-8").split("\n")[:-1]]
    times = saved_times(prefix)
    # Wine saves the keys that hold values or no subkeys, with their times.
    keys = [r for r in records if "subkeys" in r and (r["values"] or not r["subkeys"])]
    bad = [(r["key"], r["time"]) for r in keys
           if filetime_iso(times.get(r["key"].split("\\", 1)[1].lower(), 0)) != r["time"]]
    tally.equal("export: every saved key's time is its #time= line in system.reg (%d keys)"
                % len(keys), bad[:5], [])
    # The listing has the same keys in the same order, but the first.
    listed = listing.split(b"\r\n")[:-1]
    subkeys = [r for r in records if "subkeys" in r][1:]
    bad = [(line, r["key"]) for line, r in zip(listed, subkeys) if r in keys and
           line.split(b" ", 1)[0].decode() != r["time"]]
    tally.equal("export: /W /T key listing times are the #time= lines", (len(listed), bad[:5]),
                (len(subkeys), []))
    wine = reg_export(prefix, ALL, directory)
    tally.check("export: reg export ran", wine is not None)
    if wine is None:
        return
    ours = {}
    for r in records:
        if "type" in r:
            root, rest = r["key"].split("\\", 1)
            ours[(LONG[root] + "\\" + rest).lower(), r["name"]] = r
    tally.equal("export: the values are the ones reg export writes",
                sorted(ours, key=repr), sorted(((k.lower(), n) for k, n in wine), key=repr))
    bad = []
    for (key, name), (kind, data) in wine.items():
        r = ours.get((key.lower(), name))
        if r is None:
            continue
        mine = bytes.fromhex(r["data"])
        if kind == 1:
            # reg export takes a string's last unit for its NUL, and stops
            # at a NUL before it; a single byte is a unit of its own.
            units = (mine + b"\0" * (len(mine) % 2)).decode("utf-16-le", "surrogatepass")
            if len(mine) >= 2:
                units = units[:len(mine) // 2 - 1]
            text = units.split("\0", 1)[0]
            ok = r["type"] == 1 and text == data
        elif kind == 4:
            # ... and a dword's first four bytes.
            ok = r["type"] == 4 and (len(mine) < 4 or mine[:4] == data)
        else:
            ok = (r["type"], mine) == (kind, data)
        if not ok:
            bad.append((key, name, r["type"], r["data"][:60], kind, repr(data)[:60]))
    tally.equal("export: type and bytes of every value as reg export writes them (%d values)"
                % len(wine), bad[:5], [])


def parses(tally, name, data):
    """Every JSON line parses with Python's json, every CSV row with csv."""
    try:
        if name.endswith(".json"):
            count = len([json.loads(line) for line in data.decode("utf-8").split("\n")[:-1]])
        else:
            csv.field_size_limit(1 << 24)
            rows = list(csv.reader(io.StringIO(data.decode("utf-8-sig"), newline="")))
            count = len(rows) - 1
            tally.check("export: %s rows all have the header's columns" % name,
                        len({len(row) for row in rows}) == 1)
        tally.check("export: %s parses (%d records)" % (name, count), count > 0)
    except (ValueError, csv.Error) as e:
        tally.check("export: %s parses" % name, False, str(e))


def export_group(tally, args, prefix, runner, drive, work, wild_lines):
    directory = os.path.join(work, "export-diff")
    os.makedirs(directory)
    with open(os.path.join(directory, "wild.lst"), "wb") as f:
        f.write(lines(*wild_lines))
    for options, name in RUNS:
        r = prefix.wine([args.windows_hivtap] + options + ["win-" + name], cwd=directory,
                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        tally.equal("export: win64 %s exit code" % name, r.returncode, 0)
    prefix.sync()
    outputs = {}
    for options, name in RUNS:
        for source, registry in (("prefix", prefix.path), ("drive", drive)):
            code, console, err, _ = runner.run(registry, options + [source + "-" + name],
                                               directory=directory)
            tally.equal("export: native %s on the %s" % (name, source), (code, console, err),
                        (0, b"", b""))
        for source in ("win", "prefix", "drive"):
            with open(os.path.join(directory, "%s-%s" % (source, name)), "rb") as f:
                outputs[source, name] = f.read()
        win = outputs["win", name]
        parses(tally, "win64 " + name, win) if not name.endswith(".txt") else None
        tally.equal("export: %s, prefix same as win64" % name, outputs["prefix", name], win)
        if without_times(win, name) is not None:
            tally.equal("export: %s, drive same as win64 but for the times" % name,
                        without_times(outputs["drive", name], name), without_times(win, name))
    against_wine(tally, prefix, directory, outputs["win", "all.json"], outputs["win", "keys.txt"])
    # /T has a time of its own on each line, the missing line's too.
    timed = outputs["win", "wild-times.txt"].split(b"\r\n")
    stamp = re.compile(rb"^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{7}Z ")
    tally.check("export: every /T line starts with a time",
                all(stamp.match(line) for line in timed[:-1] if not line[:1].isspace()
                    and b"=" in line), repr(timed[:5]))
    tally.check("export: a missing key's /T field sorts first",
                b"\r\n0000-00-00T00:00:00.0000000Z Rien= \r\n" in outputs["win", "wild-times.txt"])
