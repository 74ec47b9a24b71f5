"""Hive files for the tests, made here: an empty hive written from the file
format, filled by `hivexregedit --merge`, and the edits that turn a good hive
into a damaged one or move a value into a big-data record."""

import os
import struct
import subprocess

BASE = 4096


def checksum(block):
    c = 0
    for (g,) in struct.iter_unpack("<I", block[:508]):
        c ^= g
    return 0xFFFFFFFE if c == 0xFFFFFFFF else (1 if c == 0 else c)


def set_checksum(data):
    data[508:512] = struct.pack("<I", checksum(bytes(data[:508])))


def _cell(body):
    size = (4 + len(body) + 7) & ~7
    return struct.pack("<i", -size) + body + b"\0" * (size - 4 - len(body))


def empty_hive(root_name=b"ROOT"):
    """A 4 KB base block and one 4 KB hive bin: the root key, its security
    cell, and a free cell for the rest."""
    none = 0xFFFFFFFF
    sk_offset = 0x20 + ((4 + 76 + len(root_name) + 7) & ~7)
    nk = (b"nk" + struct.pack("<H", 0x2C) + b"\0" * 8 + struct.pack(
        "<15I2H", 0, none, 0, 0, none, none, 0, none, sk_offset, none, 0, 0, 0, 0, 0,
        len(root_name), 0) + root_name)
    # A self-relative security descriptor with nothing in it.
    descriptor = struct.pack("<BBHIIII", 1, 0, 0x8000, 0, 0, 0, 0)
    sk = b"sk\0\0" + struct.pack("<IIII", sk_offset, sk_offset, 1, len(descriptor)) + descriptor
    cells = _cell(nk) + _cell(sk)
    assert 0x20 + len(_cell(nk)) == sk_offset
    free = BASE - 0x20 - len(cells)
    hbin = (b"hbin" + struct.pack("<III", 0, BASE, 0) + b"\0" * 16 + cells +
            struct.pack("<i", free) + b"\0" * (free - 4))
    base = bytearray(BASE)
    base[0:4] = b"regf"
    struct.pack_into("<IIQIIIIIII", base, 4, 1, 1, 0, 1, 5, 0, 1, 0x20, BASE, 1)
    set_checksum(base)
    return bytes(base) + hbin


def merge(hive, prefix, reg_text):
    """Writes the keys of a .reg text (REGEDIT5, parents listed first) into
    the hive, whose root is `prefix`."""
    reg = hive + ".reg"
    with open(reg, "wb") as f:
        f.write(reg_text)
    subprocess.run(["hivexregedit", "--merge", "--prefix", prefix, hive, reg], check=True,
                   stdout=subprocess.DEVNULL)
    os.remove(reg)


def make_hive(path, prefix, reg_text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(empty_hive())
    if reg_text:
        merge(path, prefix, reg_text)


def cells(data):
    """(file offset, size, in use) of every cell of every hive bin."""
    at = BASE
    while at + 32 <= len(data) and data[at:at + 4] == b"hbin":
        size = struct.unpack_from("<I", data, at + 8)[0]
        c = at + 32
        while c < at + size:
            n = struct.unpack_from("<i", data, c)[0]
            yield c, abs(n), n < 0
            c += abs(n)
        at += size


def find_value(data, name):
    for c, _, used in cells(data):
        if used and data[c + 4:c + 6] == b"vk":
            n = struct.unpack_from("<H", data, c + 6)[0]
            if data[c + 24:c + 24 + n] == name:
                return c
    raise KeyError(name)


def find_key(data, name):
    for c, _, used in cells(data):
        if used and data[c + 4:c + 6] == b"nk":
            n = struct.unpack_from("<H", data, c + 76)[0]
            if data[c + 80:c + 80 + n] == name:
                return c
    raise KeyError(name)


def to_big_data(path, value_name, segment=16344, payload=None):
    """Moves the data of a value into a new hive bin as a big-data record,
    the form Windows writes data over 16,344 bytes in; or writes `payload`
    there instead, of any size (hivex writes no value over about 1 MB)."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    vk = find_value(data, value_name)
    length, offset = struct.unpack_from("<II", data, vk + 8)
    if payload is None:
        payload = bytes(data[BASE + offset + 4:BASE + offset + 4 + length])
    struct.pack_into("<I", data, vk + 8, len(payload))
    pieces = [payload[i:i + segment] for i in range(0, len(payload), segment)]
    bin_start = len(data)
    body = bytearray()

    def add(cell):
        at = bin_start - BASE + 32 + len(body)
        body.extend(_cell(cell))
        return at

    seg_offsets = [add(p) for p in pieces]
    lst = add(b"".join(struct.pack("<I", o) for o in seg_offsets))
    db = add(b"db" + struct.pack("<HI", len(pieces), lst) + b"\0" * 4)
    size = (32 + len(body) + 4095) & ~4095
    free = size - 32 - len(body)
    hbin = (b"hbin" + struct.pack("<III", bin_start - BASE, size, 0) + b"\0" * 16 + bytes(body) +
            (struct.pack("<i", free) + b"\0" * (free - 4) if free else b""))
    data += hbin
    struct.pack_into("<I", data, vk + 12, db)
    struct.pack_into("<I", data, 40, len(data) - BASE)
    set_checksum(data)
    with open(path, "wb") as f:
        f.write(data)


def _escape(name):
    return name.replace("\\", "\\\\").replace('"', '\\"')


def reg_text(prefix, entries):
    """A .reg text (UTF-8) writing `entries`, (key under the hive's root,
    value name or None for a bare key, type, data), every parent key
    listed before its children."""
    keys, values = [""], {"": []}
    for key, name, kind, data in entries:
        parts = key.split("\\") if key else []
        for i in range(1, len(parts) + 1):
            k = "\\".join(parts[:i])
            if k not in values:
                keys.append(k)
                values[k] = []
        if name is not None:
            values[key].append((name, kind, data))
    out = ["Windows Registry Editor Version 5.00", ""]
    for k in keys:
        out.append("[%s]" % (prefix + ("\\" + k if k else "")))
        for name, kind, data in values[k]:
            head = "@" if name == "" else '"%s"' % _escape(name)
            out.append("%s=hex(%x):%s" % (head, kind, ",".join("%02x" % b for b in data)))
        out.append("")
    return "\r\n".join(out + [""]).encode("utf-8")


def make_tree(root, hives):
    """Writes each hive of `hives`, {path under root: (prefix, entries)}."""
    for relative, (prefix, entries) in hives.items():
        make_hive(os.path.join(root, relative), prefix, reg_text(prefix, entries))


# Damage, each applied to the bytes of a good hive.
def truncated(data, size):
    return data[:size]


def bad_bin_size(data):
    """The second hive bin claims to run far past the end of the file."""
    d = bytearray(data)
    second = BASE + struct.unpack_from("<I", d, BASE + 8)[0]
    struct.pack_into("<I", d, second + 8, 0x7FFFF000)
    return bytes(d)


def subkeys_outside(data, key_name):
    """The key's subkey list points past the end of the file."""
    d = bytearray(data)
    struct.pack_into("<I", d, find_key(d, key_name) + 32, 0x7FFFFF00)
    return bytes(d)


def subkeys_loop(data, key_name):
    """The key's subkey list becomes an index ("ri") that lists itself."""
    d = bytearray(data)
    lst = struct.unpack_from("<I", d, find_key(d, key_name) + 32)[0]
    d[BASE + lst + 4:BASE + lst + 12] = b"ri" + struct.pack("<HI", 1, lst)
    return bytes(d)


def bad_checksum(data):
    d = bytearray(data)
    d[508] ^= 0x5A
    return bytes(d)


def dirty_sequence(data):
    """The primary sequence number moved on: a write that did not finish."""
    d = bytearray(data)
    struct.pack_into("<I", d, 4, struct.unpack_from("<I", d, 4)[0] + 1)
    set_checksum(d)
    return bytes(d)
