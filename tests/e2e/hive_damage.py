"""Damaged hives read through hivtap: a hive filled by hivexregedit over many
bins, and the real Windows 10 hive from the shared samples, each damaged one
way at offsets found by walking it (hive_walk). Every value the damage
leaves reachable must read, byte for byte, and at least every value libhivex
reads in its unsafe mode."""

import lzma
import os
import struct
import subprocess

import hive_fixture as hf
import hive_walk as hw
import seed

HERE = os.path.dirname(os.path.abspath(__file__))
# In CI the shared folder sits beside the checkout.
SAMPLE = os.path.join(HERE, "..", "..", "..", "shared", "samples", "windows10-dirty-hive",
                      "NewDirtyHive.xz")
COUNT_PL = os.path.join(HERE, "hivex_values.pl")
REG_SZ = 1
DAMAGED = "hivTAP: ruche endommag\u00e9e, lue en partie : %s\n"
UNREADABLE = "hivTAP: ruche illisible : %s\n"
DIRTY = ("hivTAP: ruche sale (journaux non appliqu\u00e9s), valeurs peut-\u00eatre anciennes "
         ": %s\n")


def _median(items):
    items = sorted(items)
    if not items:
        raise LookupError("no such cell in the hive")
    return items[len(items) // 2]


def _set_size(d, cell, raw):
    struct.pack_into("<i", d, cell, raw)


# Each damage: (bytearray of the hive, its keys, its values) -> byte ranges
# lost, or None when the hive has nothing it applies to.
def bad_bin_signature(d, keys, values):
    start, size = _median(hw.bins(d))
    d[start] = ord("x")
    return [(start, start + size)]


def root_bin_signature(d, keys, values):
    root = hw.BASE + hw.le32(d, 36)
    start, size = [b for b in hw.bins(d) if b[0] <= root < b[0] + b[1]][0]
    d[start:start + 4] = b"xbin"
    return [(start, start + size)]


def base_block_signature(d, keys, values):
    d[0:4] = b"xxxx"
    return []  # the root key is found by its flag


def root_offset(d, keys, values):
    """The base block names no root key; its checksum is right."""
    struct.pack_into("<I", d, 36, 0x7FFFFFF0)
    hf.set_checksum(d)
    return []


def bin_size(value):
    def damage(d, keys, values):
        struct.pack_into("<I", d, _median(hw.bins(d))[0] + 8, value)
        return []  # the bin ends where the next starts
    return damage


def list_size(which, raw):
    def damage(d, keys, values):
        cell = _median(getattr(k, which) for k in keys if getattr(k, which))
        _set_size(d, cell, raw)
        return [(cell, cell + 4)]
    return damage


def value_list_cut_short(d, keys, values):
    """The value list of a key with several values keeps room for one."""
    several = [k.values for k in keys if k.values and hw.le32(d, k.cell + 40) > 1]
    if not several:
        return None
    cell = _median(several)
    end = cell + hw.cell_size(d, cell)
    _set_size(d, cell, -8)
    return [(cell + 8, end)]


def truncated(d, keys, values):
    """The file ends in the middle of a bin: the first bin from three
    quarters in where that loses some values but not all, else that one."""
    all_bins = hw.bins(d)
    first = len(all_bins) * 3 // 4
    cuts = [[(start + (size // 2 & ~7), len(d))]
            for start, size in all_bins[first:] + all_bins[first - 1::-1]]
    lost = next((c for c in cuts if 0 < sum(v.lost(c) for v in values) < len(values)), cuts[0])
    del d[lost[0][0]:]
    return lost


CASES = [
    ("a bad bin signature in the middle", bad_bin_signature, DAMAGED),
    ("a bin size of 0", bin_size(0), DAMAGED),
    ("a bin size past the end", bin_size(0x7FFFF000), DAMAGED),
    ("a negative huge cell size of a subkey list", list_size("subkeys", -0x7FFFFFF8), DAMAGED),
    ("a huge cell size of a value list", list_size("values", 0x7FFFFFF0), DAMAGED),
    ("a negative huge cell size of a value list", list_size("values", -0x7FFFFFF8), DAMAGED),
    ("a value list cell cut short", value_list_cut_short, DAMAGED),
    ("the file truncated inside a bin", truncated, DAMAGED),
    ("no root key left (its bin's signature bad)", root_bin_signature, UNREADABLE),
    ("a base block without its signature", base_block_signature, DAMAGED),
    ("a base block naming no root key", root_offset, DAMAGED),
]


def hivex_values(path):
    """(key path, value name) of each value libhivex reads in unsafe mode."""
    out = subprocess.run(["perl", COUNT_PL, path], check=True, capture_output=True).stdout
    return {tuple(line.split("\t")) for line in out.decode("utf-8").splitlines()}


def fixture_hive(work):
    """hivexregedit's hive: 6 x 12 keys of 6 values, over many bins."""
    entries = [("Groupe%d\\Cle%02d" % (g, k), "V%d" % v, REG_SZ,
                seed.sz("g%d-k%d-v%d " % (g, k, v) * 30))
               for g in range(6) for k in range(12) for v in range(6)]
    folder = os.path.join(work, "damage-fixture")
    hf.make_tree(folder, {"SOFTWARE": ("HKEY_LOCAL_MACHINE\\SOFTWARE", entries)})
    with open(os.path.join(folder, "SOFTWARE"), "rb") as f:
        return f.read()


def windows_hive():
    if not os.path.isfile(SAMPLE):
        raise FileNotFoundError("the Windows 10 hive sample is missing: %s" % SAMPLE)
    with lzma.open(SAMPLE) as f:
        return f.read()


# (name, hive bytes, file in a folder of collected hives, key prefix, warning
# the undamaged hive gives)
def subjects(work):
    return [("hivexregedit's hive", fixture_hive(work), "SOFTWARE", b"HKLM\\SOFTWARE\\", ""),
            # Dirty, read without its logs: its values as the primary holds them.
            ("the Windows 10 hive", windows_hive(), "NTUSER.DAT", b"HKCU\\", DIRTY)]


def text(value):
    assert value.kind == REG_SZ, "only strings are rendered here"
    return value.data.decode("utf-16-le").split("\0")[0].encode("cp1252")


def line(prefix, value):
    return prefix + "\\".join(value.path + [value.name]).encode("cp1252")


def run_hive(runner, folder, file_name, data, prefix, values):
    hive = os.path.join(folder, file_name)
    os.makedirs(folder)
    with open(hive, "wb") as f:
        f.write(data)
    return hive, runner.run(folder, ["/S", "/L:list.lst"], listing=[line(prefix, v)
                                                                     for v in values])


def damage_table_group(tally, runner, work):
    for subject, data, file_name, prefix, base_warning in subjects(work):
        keys, values = hw.walk(data)
        # A line ending in a backslash reads no value: default values are
        # left out here and in hivex's count.
        values = [v for v in values if v.name]
        good = b"".join(text(v) + b"\r\n" for v in values)
        hive, r = run_hive(runner, os.path.join(work, "dmg-good-" + file_name), file_name, data,
                           prefix, values)
        tally.equal("hive damage: %s, undamaged" % subject, (r[0], r[2].decode(), r[3]),
                    (0, base_warning % hive if base_warning else "", good))
        for i, (name, damage, warning) in enumerate(CASES):
            damaged = bytearray(data)
            lost = damage(damaged, keys, values)
            if lost is None:
                continue
            gone = [v for v in values if v.lost(lost)]
            hive, r = run_hive(runner, os.path.join(work, "dmg%d-%s" % (i, file_name)), file_name,
                               bytes(damaged), prefix, values)
            expected = b"".join((b"" if v.lost(lost) else text(v)) + b"\r\n" for v in values)
            # Without its signature the base block tells nothing of being dirty.
            dirty = base_warning and damaged[:4] == b"regf"
            warnings = (base_warning % hive if dirty else "") + warning % hive
            label = "hive damage: %s, %s (%d of %d values lost)" % (subject, name, len(gone),
                                                                   len(values))
            tally.equal(label, (r[0], r[2].decode(), r[3]), (0, warnings, expected))
            compare_with_hivex(tally, label, hive, values, r[3])


def compare_with_hivex(tally, label, hive, values, output):
    """hivtap reads every value libhivex reads, unsafe mode and all."""
    theirs = {(key, name) for key, name in hivex_values(hive) if name}
    read = {("\\".join(v.path), v.name)
            for v, text_line in zip(values, output.split(b"\r\n")) if text_line}
    missed = sorted(theirs - read)
    print("%s: hivtap read %d values, hivex -u %d" % (label, len(read), len(theirs)))
    tally.check("%s: every value hivex -u reads" % label, not missed, "missed %r" % missed[:5])
