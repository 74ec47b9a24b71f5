"""/W and /F over hives, against readers nobody here wrote: reglookup
(libregfi) for the key tree and the key times, regfexport (libregf) for
names, types and data. The hives are the ones Windows wrote in the shared
samples, and one that hivexregedit fills with every type and with names
outside Windows-1252, its key times stamped afterwards (hivex writes none)."""

import csv
import io
import json
import lzma
import os
import shutil
import struct

import hive_fixture as hf
import seed
from hive_readers import read_tree, unquote

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "..", "..", "..", "shared", "samples")
SAMPLE_HIVES = [("deleted-keys", "DeletedDataHive"), ("deleted-keys", "DeletedTreeHive"),
                ("windows10-dirty-hive", "NewDirtyHive")]
ROOT = "HKLM\\SYSTEM"
MEGABYTE = bytes(range(251)) * (1048576 // 251) + b"\x5a" * (1048576 % 251)


# Windows' order of names: upper-cased UTF-16 units, then the units. Windows
# upper-cases neither the dotless i nor the long s, so `ı` and `i` are two keys.
def upcase_unit(u):
    if u in (0x131, 0x17F) or 0xD800 <= u < 0xE000:
        return u
    up = chr(u).upper()
    return ord(up) if len(up) == 1 and ord(up) < 0x10000 else u


def units(name):
    raw = name.encode("utf-16-le", "surrogatepass")
    return struct.unpack("<%dH" % (len(raw) // 2), raw)


def order_key(name):
    u = units(name)
    return [upcase_unit(x) for x in u], list(u)


def depth_first(paths):
    """Key paths (tuples of names) in the walk's order: a key, then each of
    its subkeys' trees in Windows' order of names."""
    return sorted(paths, key=lambda p: [order_key(n) for n in p])


def seconds(iso):
    """The seconds part of a /T time: 2017-03-20T21:21:24.7726253Z."""
    return iso[:10] + " " + iso[11:19]


# The hivexregedit hive: every type, big data, names outside Windows-1252.
LINK = "Lien"


def made_entries():
    keys = [("i", "plain"), ("\u0131", "dotless"), ("j", "jay"), ("\u03a9mega", "omega"),
            ("\u4e2d", "zhong"), ("\U0001f600", "smile"), ("a\x7fb", "del"), ("c\x81d", "c1"),
            ("\u00c9t\u00e9", "latin")]
    out = [("T\\" + k, "v", 1, seed.sz(text)) for k, text in keys]
    out += [("T\\\u03a9mega\\" + "\\".join("N%d" % i for i in range(1, d + 1)), "v", 4,
             struct.pack("<I", d)) for d in range(1, 5)]
    out += [("Vide\\Sous-cl\u00e9 vide", None, 0, b""), ("Vide\\Z", None, 0, b"")]
    types = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x7FFF0000, 0xFFFF0010, 0xFFFF0012,
             0xFFFFFFFF]
    data = seed.diff_data(9)
    out += [("Types", "T%X" % t, t, data) for t in types]
    out += [("Types", "Petit%X" % t, t, data[:3]) for t in (0, 3, 0xFFFF0010)]
    out += [
        ("Types", "", 1, seed.sz("par d\u00e9faut")),
        ("Types", "Sz", 1, seed.sz("\u00e9\u20ac \u4e2d \U0001f600")),
        ("Types", "Expand", 2, seed.sz("%SystemRoot%\\\u0100")),
        ("Types", "Dword", 4, struct.pack("<I", 0xFFFFFFFE)),
        ("Types", "Qword", 11, struct.pack("<Q", 0x0123456789ABCDEF)),
        ("Types", "Big-endian", 5, b"\x00\x00\x01\x02"),
        ("Types", "Multi", 7, seed.utf16("un\0\u4e2d\0\0trois\0\0")),
        ("Types", "Bin255", 3, bytes(range(255))),
        ("Types", "Bin1M", 3, b"placeholder"),
        ("Types", "Prop", 0xFFFF0010, struct.pack("<Q", 0x01D7A1B2C3D4E5F6)),
        ("Types", "\u01c5", 1, seed.sz("titlecase")),
        ("Types", "\u4e2d", 1, seed.sz("chinese")),
        ("Types", "\U0001f600", 3, b"\x01\x02\x03\x04\x05"),
        ("Types", "a\x7fb", 1, seed.sz("del")),
        ("Types", "c\x81d", 1, seed.sz("c1")),
        ("Types", "a,b\"c", 1, seed.sz("ligne 1\r\nligne 2, \"cit\u00e9e\"")),
        (LINK, "SymbolicLinkValue", 6, seed.utf16("\\Registry\\Machine\\System\\Types")),
        (LINK + "\\Dedans", "x", 4, struct.pack("<I", 1)),
    ]
    return out


def stamp_times(path):
    """Gives every key a last-write time of its own, to the 100 ns."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    n = 0
    for c, _, used in hf.cells(data):
        if used and data[c + 4:c + 6] == b"nk":
            # From 2019 on, 37 days and some odd 100 ns apart.
            struct.pack_into("<Q", data, c + 8, 131905152000000000 + n * 31968001234567)
            n += 1
    with open(path, "wb") as f:
        f.write(data)


def make_oracle_hive(path):
    hf.make_tree(os.path.dirname(path), {os.path.basename(path): (
        "HKEY_LOCAL_MACHINE\\SYSTEM", made_entries())})
    hf.to_big_data(path, b"Bin1M", payload=MEGABYTE)
    with open(path, "rb") as f:
        data = bytearray(f.read())
    link = hf.find_key(data, LINK.encode())
    struct.pack_into("<H", data, link + 6, struct.unpack_from("<H", data, link + 6)[0] | 0x10)
    with open(path, "wb") as f:
        f.write(data)
    stamp_times(path)


def expected_data(value, quoted):
    """The value's bytes as the readers show them, or None where they show
    only a text (strings: compared as text)."""
    kind, size = value["type"], value["size"]
    if kind in (4, 5, 11) and "shown" in value and size in (4, 8):
        fmt = {4: "<I", 5: ">I", 11: "<Q"}[kind]
        number = int(value["shown"])
        return struct.pack(fmt, number) if fmt != "<Q" or size == 8 else None
    if "dump" in value and size > 4:
        return value["dump"]
    if kind in (1, 2, 7):
        return None
    # libregf shifts data kept in the value record itself (4 bytes or
    # less): reglookup's raw quoting is taken there.
    return unquote(quoted) if quoted is not None else None


def utf16_text(data):
    units_ = data[:len(data) // 2 * 2].decode("utf-16-le", "surrogatepass")
    return units_.split("\0", 1)[0]


def run_hivtap(runner, hive, args, name, directory):
    code, _, err, _ = runner.run(hive, args + [name], directory=directory)
    with open(os.path.join(directory, name), "rb") as f:
        return code, err, f.read()


def hive_checks(tally, runner, hive, label, work, links=()):
    """Every check against the two readers, over one hive named SYSTEM."""
    directory = os.path.join(work, "oracle-" + label)
    os.makedirs(directory)
    keys = read_tree(tally, label, hive)
    times = {path: k[0] for path, k in keys.items()}
    inside = [p for p in times if p and not any(p[:len(k)] == k for k in links)]
    expected = depth_first(inside)

    # The key listing in text, with /T.
    code, err, text = run_hivtap(runner, hive, ["/S", "/W", "/N", "/T", ROOT + "\\**\\"],
                                 "keys.txt", directory)
    lines = text.decode("cp1252").split("\r\n")[:-1]
    tally.equal("%s: /W /T **\\ ran" % label, code, 0)
    tally.equal("%s: /W /T **\\ lists every key reglookup lists" % label, len(lines),
                len(expected))
    bad = []
    for line, path in zip(lines, expected):
        when, _, shown = line.partition(" ")
        if seconds(when) != times[path] or shown.count("\\") != len(path):
            bad.append((line, path, times[path]))
        elif None not in [shown_name(n) for n in path]:
            spelled = "\\".join(shown_name(n) for n in path) + "\\"
            if shown != spelled:
                bad.append((line, spelled))
    tally.equal("%s: /W /T **\\ lines in order, with reglookup's times" % label, bad[:5], [])

    # The export: key and value records against both readers.
    code, err, exported = run_hivtap(runner, hive, ["/W", "/F:json", ROOT + "\\**\\*"],
                                     "all.json", directory)
    tally.equal("%s: /F:json **\\* ran" % label, code, 0)
    records = []
    for line in exported.split(b"\n")[:-1]:
        try:
            records.append(json.loads(line.decode("utf-8")))
        except ValueError as e:
            tally.check("%s: a JSON line parses" % label, False, "%r: %s" % (line[:200], e))
    key_records = [r for r in records if "subkeys" in r]
    tally.equal("%s: /F:json key records in the walk's order" % label,
                [r["key"] for r in key_records],
                [ROOT] + [ROOT + "\\" + "\\".join(p) for p in expected])
    bad = []
    for r in key_records:
        path = tuple(r["key"].split("\\")[2:])
        got = (seconds(r["time"]), r["subkeys"], r["values"])
        want = (times[path], keys[path][2], len(keys[path][1]))
        if got != want:
            bad.append((r["key"], got, want))
    tally.equal("%s: /F:json key times and counts as reglookup and regfexport" % label,
                bad[:5], [])
    value_checks(tally, label, records, keys, links)
    csv_checks(tally, runner, hive, label, directory, records)


def shown_name(name):
    """A key name as /N writes it when Windows-1252 holds it; else None."""
    try:
        raw = name.encode("cp1252")
    except UnicodeEncodeError:
        # The five bytes Windows-1252 leaves undefined map to U+0081...
        raw = bytearray()
        for c in name:
            if ord(c) in (0x81, 0x8D, 0x8F, 0x90, 0x9D):
                raw.append(ord(c))
            else:
                try:
                    raw.extend(c.encode("cp1252"))
                except UnicodeEncodeError:
                    return None
        raw = bytes(raw)
    out = ""
    for b in raw:
        control = b < 0x20 or b == 0x7F or b in (0x81, 0x8D, 0x8F, 0x90, 0x9D)
        out += "%%%02X" % b if control or chr(b) in "%\\=" else bytes([b]).decode("cp1252")
    return out


def value_checks(tally, label, records, keys, links):
    got = {}
    for r in records:
        if "type" in r:
            got[(tuple(r["key"].split("\\")[2:]), r["name"])] = r
    want = {}
    for path, (_, values, _) in keys.items():
        if any(path[:len(k)] == k for k in links):
            continue
        for v in values:
            want[(path, v["name"])] = v
    tally.equal("%s: /F:json values are the ones regfexport lists" % label,
                sorted(got, key=repr), sorted(want, key=repr))
    bad = []
    for key, v in want.items():
        r = got.get(key)
        if r is None:
            continue
        data = bytes.fromhex(r["data"])
        expected = expected_data(v, v["quoted"])
        problems = []
        # regfexport gives a string's size through its first NUL.
        size = len(data)
        if v["type"] in (1, 2):
            nul = data.find(b"\0\0")
            while nul % 2:
                nul = data.find(b"\0\0", nul + 1)
            size = size if nul < 0 else nul + 2
        if (r["type"], r["size"], size) != (v["type"], len(data), v["size"]):
            problems.append(("type, size", r["type"], r["size"], v["type"], v["size"]))
        if expected is not None and data != expected:
            problems.append(("data", r["data"][:80], expected.hex()[:80]))
        if expected is None and v["type"] in (1, 2) and v["size"] % 2 == 0 and \
                utf16_text(data) != v.get("shown", ""):
            problems.append(("text", utf16_text(data), v.get("shown")))
        if seconds(r["time"]) != keys[key[0]][0]:
            problems.append(("time", r["time"], keys[key[0]][0]))
        if problems:
            bad.append((key, problems))
    tally.equal("%s: /F:json type, size, data and time of every value as the readers" % label,
                bad[:5], [])


def csv_checks(tally, runner, hive, label, directory, records):
    code, err, exported = run_hivtap(runner, hive, ["/W", "/F:csv", ROOT + "\\**\\*"],
                                     "all.csv", directory)
    tally.check("%s: /F:csv starts with a byte order mark" % label,
                exported.startswith(b"\xef\xbb\xbf"))
    csv.field_size_limit(1 << 24)
    try:
        rows = list(csv.DictReader(io.StringIO(exported[3:].decode("utf-8"), newline="")))
    except (ValueError, csv.Error) as e:
        tally.check("%s: /F:csv parses" % label, False, str(e))
        return
    same = len(rows) == len(records)
    for row, r in zip(rows, records):
        for field in ("key", "name", "time", "type", "size", "data", "subkeys", "values"):
            if field in r and row[field] != str(r[field]):
                same = False
        if isinstance(r.get("text"), list) and row["text"] != "\n".join(r["text"]):
            same = False
        elif isinstance(r.get("text"), str) and row["text"] != r["text"]:
            same = False
    tally.check("%s: /F:csv rows hold the /F:json records' fields" % label, same,
                "%d rows, %d records" % (len(rows), len(records)))


def oracle_group(tally, runner, work):
    made = os.path.join(work, "oracle-made", "SYSTEM")
    make_oracle_hive(made)
    hive_checks(tally, runner, made, "hivexregedit hive", work, links=((LINK,),))
    for folder, name in SAMPLE_HIVES:
        directory = os.path.join(work, "sample-" + name)
        os.makedirs(directory)
        hive = os.path.join(directory, "SYSTEM")
        with lzma.open(os.path.join(SAMPLES, folder, name + ".xz")) as f, open(hive, "wb") as out:
            shutil.copyfileobj(f, out)
        hive_checks(tally, runner, hive, name, work)
