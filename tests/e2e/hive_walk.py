"""A hive walked in Python, apart from hivtap's reader: its bins, and every
value reachable from the root key with the byte ranges reading it takes
(key cells, list headers and the list slots used, value cells, data cells).
A damage that touches none of a value's ranges must leave it readable."""

import struct

BASE = 4096
COMPRESSED_KEY, COMPRESSED_VALUE = 0x20, 0x1


def le16(d, at):
    return struct.unpack_from("<H", d, at)[0]


def le32(d, at):
    return struct.unpack_from("<I", d, at)[0]


def cell_size(d, at):
    return abs(struct.unpack_from("<i", d, at)[0])


def whole(d, cell):
    return (cell, cell + cell_size(d, cell))


def bins(d):
    """(offset, size) of each hive bin the base block counts."""
    out, at = [], BASE
    while at < BASE + le32(d, 40):
        out.append((at, le32(d, at + 8)))
        at += out[-1][1]
    return out


class Value:
    def __init__(self, path, name, kind, data, deps):
        self.path, self.name, self.kind, self.data, self.deps = path, name, kind, data, deps

    def lost(self, ranges):
        return any(a < y and x < b for a, b in self.deps for x, y in ranges)


class Key:
    def __init__(self, cell, path, subkeys, values):
        self.cell, self.path = cell, path
        self.subkeys, self.values = subkeys, values  # list cells, or None


def _name(raw, compressed):
    return raw.decode("latin-1") if compressed else raw.decode("utf-16-le")


def _subkeys(d, lst):
    """(child key cell, ranges) of a subkey list, through one level of ri."""
    kind, count = d[lst + 4:lst + 6], le16(d, lst + 6)
    head = [(lst, lst + 8)]
    if kind == b"ri":
        for i in range(count):
            slot = lst + 8 + 4 * i
            for child, deps in _subkeys(d, BASE + le32(d, slot)):
                yield child, head + [(slot, slot + 4)] + deps
        return
    stride = 4 if kind == b"li" else 8
    for i in range(count):
        slot = lst + 8 + stride * i
        yield BASE + le32(d, slot), head + [(slot, slot + 4)]


def walk(d):
    """(keys, values) reachable from the root key."""
    keys, values = [], []
    stack = [(BASE + le32(d, 36), [], [])]
    while stack:
        nk, path, deps = stack.pop()
        deps = deps + [whole(d, nk)]
        n_sub, sub, n_val, val = (le32(d, nk + 24), le32(d, nk + 32), le32(d, nk + 40),
                                  le32(d, nk + 44))
        keys.append(Key(nk, path, BASE + sub if n_sub else None, BASE + val if n_val else None))
        for i in range(n_val):
            lst = BASE + val
            slot = lst + 4 + 4 * i
            vk = BASE + le32(d, slot)
            vdeps = deps + [(lst, lst + 4), (slot, slot + 4), whole(d, vk)]
            name = _name(d[vk + 24:vk + 24 + le16(d, vk + 6)], le16(d, vk + 20) & COMPRESSED_VALUE)
            length, kind = le32(d, vk + 8), le32(d, vk + 16)
            if length & 0x80000000:
                data = d[vk + 12:vk + 12 + (length & 0x7FFFFFFF)]
            else:
                assert length <= 16344, "big-data records are not walked here"
                cell = BASE + le32(d, vk + 12)
                vdeps.append(whole(d, cell))
                data = d[cell + 4:cell + 4 + length]
            values.append(Value(path, name, kind, data, vdeps))
        if n_sub:
            for child, slot_deps in _subkeys(d, BASE + sub):
                name = _name(d[child + 80:child + 80 + le16(d, child + 76)],
                             le16(d, child + 6) & COMPRESSED_KEY)
                stack.append((child, path + [name], deps + slot_deps))
    return keys, values
