"""The export records read back by Python's own json and csv modules: every
JSON line and every CSV row parses, and each field equals what went in.

Feeds a table of records of every shape (quotes, backslashes, controls, NULs,
lone surrogates, names outside Windows-1252, every type, a 1 MB value, and
seeded random ones) through record_format_dump."""

import argparse
import csv
import io
import json
import os
import random
import re
import subprocess
import sys
import tempfile
from datetime import datetime, timedelta

VALUE, KEY, MISSING, MISSING_KEY, LINE = range(5)
KIND_NAMES = ["value", "key", "missing value", "missing key", "line"]
COLUMNS = ["kind", "label", "key", "name", "time", "type", "size", "subkeys", "values",
           "line", "deleted", "partial", "text", "data"]
SURROGATE = re.compile("[\ud800-\udfff]")
FFFD = "\ufffd"

def wide(text):
    """UTF-16LE bytes, lone surrogates included."""
    return text.encode("utf-16-le", "surrogatepass")


def as_stored(text):
    """The string the UTF-16 units stand for: a high and a low surrogate side
    by side are one character, however they came together."""
    return None if text is None else wide(text).decode("utf-16-le", "surrogatepass")


def record(kind=VALUE, label=None, key="HKCU\\Software\\T", name="v", type_=3, data=b"",
           time=None, subkeys=0, values=0, deleted=False, partial=False, line=""):
    label, key, name, line = map(as_stored, (label, key, name, line))
    return dict(kind=kind, label=label, key=key, name=name, type=type_, data=data, time=time,
                subkeys=subkeys, values=values, deleted=deleted, partial=partial, line=line)


def unicode_text(data):
    return data[:len(data) // 2 * 2].decode("utf-16-le", "surrogatepass")


def expected_text(r):
    """The text field as the README describes it; None when there is none."""
    data, type_ = r["data"], r["type"]
    if type_ in (1, 2, 6):
        return unicode_text(data).split("\0")[0]
    if type_ in (4, 11):
        width = 4 if type_ == 4 else 8
        if len(data) > width:
            return None
        return str(int.from_bytes(data.ljust(width, b"\0"), "little", signed=True))
    if type_ == 7:
        text = unicode_text(data)
        for _ in range(2):
            if text.endswith("\0"):
                text = text[:-1]
        return text.split("\0") if text else []
    return None


def expected_time(filetime):
    moment = datetime(1601, 1, 1) + timedelta(seconds=filetime // 10**7)
    return moment.strftime("%Y-%m-%dT%H:%M:%S") + ".%07dZ" % (filetime % 10**7)


def fields_of(r):
    """The fields each kind carries, as JSON gives them."""
    kind, out = r["kind"], {}
    if r["label"] is not None:
        out["label"] = r["label"]
    if kind != LINE:
        out["key"] = r["key"]
    if kind in (VALUE, MISSING):
        out["name"] = r["name"]
    if r["time"] is not None:
        out["time"] = expected_time(r["time"])
    if kind == VALUE:
        out["type"] = r["type"]
        out["size"] = len(r["data"])
    if kind == KEY:
        out["subkeys"] = r["subkeys"]
        out["values"] = r["values"]
    if kind in (MISSING, MISSING_KEY):
        out["missing"] = True
    if kind == LINE:
        out["line"] = r["line"]
    if r["deleted"]:
        out["deleted"] = True
    if r["partial"]:
        out["partial"] = True
    if kind == VALUE:
        text = expected_text(r)
        if text is not None:
            out["text"] = text
        out["data"] = r["data"].hex().upper()
    return out


def csv_row_of(r):
    fields = fields_of(r)
    row = [KIND_NAMES[r["kind"]]]
    for column in COLUMNS[1:]:
        value = fields.get(column)
        if value is None:
            value = ""
        elif value is True:
            value = "true"
        elif isinstance(value, list):
            value = "\n".join(value)
        row.append(SURROGATE.sub(FFFD, str(value)))
    return row


def lone_count(r):
    fields = fields_of(r)
    strings = [fields.get(name, "") for name in ("label", "key", "name", "line")]
    text = fields.get("text", "")
    strings += text if isinstance(text, list) else [text]
    return sum(len(SURROGATE.findall(s)) for s in strings)


NAMES = ["", "plain", "quote\"d", "back\\slash\\", "comma,semi;", "line\r\nbreak", "\n", "\r",
         "".join(chr(c) for c in range(0x20)) + "\x7f" + "".join(chr(c) for c in range(0x80, 0xa0)),
         "nul\0inside", "\u0131 i \u03a9mega \u01c5 \u4e2d \U0001f600 \ufffe\uffff",
         "lone \ud800 high", "\udc00 lone low", "end high \ud83d", "\ude00\ud83d reversed",
         "\ud83d\ud83d\ude00 high then pair", "%25 @ = \\ ? *", '"', '""', ",", " spaced "]


def table():
    records = []
    for i, name in enumerate(NAMES):
        records.append(record(name=name, key="HKLM\\" + name, label=name if i % 2 else None,
                              type_=1, data=wide(name + "\0"), time=129780136261234567 + i))
        records.append(record(kind=KEY, key="HKU\\" + name, time=i, subkeys=i,
                              values=2**32 - 1 - i))
        records.append(record(kind=MISSING, name=name, key=name))
        records.append(record(kind=MISSING_KEY, key=name, label=name))
        records.append(record(kind=LINE, line=name, label=None if i % 3 else name))
    strings = [wide("a\0b\0\0"), wide("a\0b"), wide("a\0\0\0"), wide("a\0\0b\0\0"), wide("\0"),
               wide("\0\0\0"), b"", wide("x") + b"\x01", wide("q\",\r\n\0\ud800\0"),
               wide("ab\0cd\0"), wide("\U0001f600\0")]
    for type_ in (1, 2, 6, 7):
        for data in strings:
            records.append(record(type_=type_, data=data))
    for type_, width in ((4, 4), (11, 8)):
        for size in range(width + 2):
            records.append(record(type_=type_, data=bytes(range(0xF0, 0xF0 + size))))
            records.append(record(type_=type_, data=b"\xff" * size))
            records.append(record(type_=type_, data=b"\0" * (size - 1) + b"\x80"[:size]))
    for type_ in list(range(12)) + [0xFFFF0010, 0xFFFF0007, 0xFFFFFFFF, 0x10]:
        records.append(record(type_=type_, data=bytes(range(256)), time=2650467743999999999))
    records.append(record(type_=5, data=b"\x01\x02\x03\x04", deleted=True, partial=True))
    rng = random.Random(24)
    records.append(record(type_=3, data=rng.randbytes(1 << 20), name="1 MB"))
    units = [rng.choice([0x41, 0x22, 0x5C, 0x0A, 0x00, 0xE9, 0x4E2D, 0xD800, 0xDC00, 0xFFFD])
             for _ in range(1 << 19)]
    records.append(record(type_=7, data=b"".join(u.to_bytes(2, "little") for u in units)))
    palette = ["a", "\"", "\\", "\0", "\x1f", "\x7f", "\x85", ",", "\r", "\n", "\u00e9", "\u4e2d",
               "\ud800", "\udc00", "\U0001f600", "\u2028"]
    for _ in range(300):
        def text():
            return "".join(rng.choice(palette) for _ in range(rng.randrange(12)))
        records.append(record(kind=rng.randrange(5), label=rng.choice([None, text()]), key=text(),
                              name=text(), type_=rng.choice([1, 2, 3, 4, 6, 7, 11, 0xFFFF0010]),
                              data=rng.randbytes(rng.randrange(20)),
                              time=rng.choice([None, rng.randrange(2650467744000000000)]),
                              subkeys=rng.randrange(2**32), values=rng.randrange(2**32),
                              deleted=rng.random() < 0.2, partial=rng.random() < 0.2, line=text()))
    return records


def encode(r):
    label = "-" if r["label"] is None else wide(r["label"]).hex()
    time = "-" if r["time"] is None else str(r["time"])
    return "\t".join([str(r["kind"]), label, wide(r["key"]).hex(), wide(r["name"]).hex(),
                      str(r["type"]), r["data"].hex(), time, str(r["subkeys"]), str(r["values"]),
                      "1" if r["deleted"] else "0", "1" if r["partial"] else "0",
                      wide(r["line"]).hex()])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True)
    args = parser.parse_args()
    records = table()
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory() as tmp:
        json_path, csv_path = os.path.join(tmp, "r.jsonl"), os.path.join(tmp, "r.csv")
        counts = subprocess.run([args.dump, json_path, csv_path], check=True, capture_output=True,
                                input="\n".join(map(encode, records)).encode() + b"\n").stdout
        with open(json_path, "rb") as f:
            json_bytes = f.read()
        with open(csv_path, "rb") as f:
            csv_bytes = f.read()

    counts = [tuple(map(int, line.split())) for line in counts.decode().splitlines()]
    check(len(counts) == len(records), "one count line per record")
    # Strict UTF-8: a lone surrogate must be an escape, never encoded bytes.
    lines = json_bytes.decode("utf-8").split("\n")
    check(lines[-1] == "" and len(lines) == len(records) + 1, "one LF-ended line per record")
    for i, (r, line) in enumerate(zip(records, lines)):
        try:
            parsed = json.loads(line)
        except ValueError as error:
            failures.append("record %d: JSON does not parse: %s" % (i, error))
            continue
        check(parsed == fields_of(r), "record %d: JSON fields %r" % (i, line[:300]))
        check(list(parsed) == [k for k in fields_of(r)], "record %d: JSON field order" % i)
        check(counts[i] == (lone_count(r),) * 2, "record %d: lone surrogates %r" % (i, counts[i]))

    check(csv_bytes.startswith(b"\xef\xbb\xbf"), "CSV starts with the UTF-8 mark")
    text = csv_bytes[3:].decode("utf-8")
    csv.field_size_limit(1 << 30)  # the 1 MB value's hex
    rows = list(csv.reader(io.StringIO(text, newline=""), strict=True))
    check(rows[0] == COLUMNS, "CSV header %r" % rows[:1])
    check(len(rows) == len(records) + 1, "one CSV row per record")
    for i, (r, row) in enumerate(zip(records, rows[1:])):
        check(row == csv_row_of(r), "record %d: CSV row %r" % (i, [c[:80] for c in row]))
    # RFC 4180: rows end with CR LF, and a bare CR or LF is only ever quoted.
    check(text.endswith("\r\n"), "the last CSV row ends with CR LF")
    rewritten = io.StringIO(newline="")
    csv.writer(rewritten, lineterminator="\r\n").writerows(rows)
    check(rewritten.getvalue() == text, "CSV equals Python's minimal quoting of the same rows")

    for failure in failures[:20]:
        print("FAIL:", failure)
    print("%d records, %d failures" % (len(records), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
