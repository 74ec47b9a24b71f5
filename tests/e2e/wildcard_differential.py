"""/W over the same keys on three sources: hivtap.exe under Wine, the native
build on the Wine prefix, and the native build on the hives of a generated
drive. The output files must be the same bytes."""

import os
import subprocess

import seed
from reader_oracles import order_key, shown_name
from hive_suite import REG_DWORD, REG_SZ, dword, lines, sz

SOFT = "HKEY_LOCAL_MACHINE\\SOFTWARE"
SYS = "HKEY_LOCAL_MACHINE\\SYSTEM"
UNINSTALL = "hivtap-hive\\Uninstall\\"
USB = "CurrentControlSet\\Enum\\hivtap-usb\\"
GUIDS = ["{0A1B2C3D-0000-4000-8000-000000000001}", "{f00dcafe-0000-4000-8000-000000000002}",
         "{7E57AB1E-0000-4000-8000-000000000003}"]


def wildcard_entries():
    """(root, key under it, value name, type, data); keys under SYSTEM go
    through CurrentControlSet, which drive_key places in the drive."""
    out = [(SOFT, UNINSTALL + g, "DisplayName", REG_SZ, sz("Programme %d" % i))
           for i, g in enumerate(GUIDS)]
    out += [
        (SOFT, UNINSTALL + GUIDS[0], "DisplayVersion", REG_SZ, sz("1.0")),
        (SOFT, UNINSTALL + "\u00c9diteur", "DisplayName", REG_SZ, sz("\u00e9diteur \u20ac")),
        (SOFT, UNINSTALL + "zzz-sans-nom", "Publisher", REG_SZ, sz("personne")),
        (SOFT, UNINSTALL + "KB123\\Detail", "DisplayName", REG_SZ, sz("plus bas")),
        # Every type, the default value, and names with the prefix's signs.
        (SOFT, "hivtap-hive\\Genres", "", REG_SZ, sz("par d\u00e9faut")),
        (SOFT, "hivtap-hive\\Genres", "\\DosDevices\\C:", 3, b"\x01\x02\x03\x04\xaa\xbb"),
        (SOFT, "hivtap-hive\\Genres", "a=b", REG_SZ, sz("egal")),
        (SOFT, "hivtap-hive\\Genres", "@", REG_SZ, sz("arobase")),
        (SOFT, "hivtap-hive\\Genres", "100%", REG_SZ, sz("cent")),
        (SOFT, "hivtap-hive\\Genres", "Nom\u00e9*?", REG_SZ, sz("jokers")),
        (SOFT, "hivtap-hive\\Genres", "None", 0, b"\x01"),
        (SOFT, "hivtap-hive\\Genres", "Expand", 2, sz("%SystemRoot%\\x")),
        (SOFT, "hivtap-hive\\Genres", "Dword", REG_DWORD, dword(0xFFFFFFFF)),
        (SOFT, "hivtap-hive\\Genres", "BigEndian", 5, b"\x00\x00\x00\x2a"),
        (SOFT, "hivtap-hive\\Genres", "Link", 6, seed.utf16("\\Registry\\Machine")),
        (SOFT, "hivtap-hive\\Genres", "Multi", 7, seed.utf16("un\0deux\0\u00e9\0\0")),
        (SOFT, "hivtap-hive\\Genres", "Resources", 8, b"\x00" * 8),
        (SOFT, "hivtap-hive\\Genres", "Qword", 11, b"\xff" * 8),
        (SOFT, "hivtap-hive\\Genres", "Type99", 99, b"\x99"),
    ]
    # USB storage: device, then instance, as Windows lays it out.
    for dev, inst, name in [("Disk&Ven_Kingston&Prod_DT", "0019E06B&0", "Kingston DT USB"),
                            ("Disk&Ven_Kingston&Prod_DT", "AA00&0", "Kingston 2"),
                            ("Disk&Ven_SanDisk&Prod_Cruzer", "4C53&0", "SanDisk Cruzer")]:
        out.append((SYS, USB + dev + "\\" + inst, "FriendlyName", REG_SZ, sz(name)))
    out.append((SYS, USB + "Disk&Ven_SanDisk&Prod_Cruzer\\4C53&0", "Capabilities", REG_DWORD,
                dword(16)))
    return out + unicode_entries()


# Names the ANSI code page cannot hold, each with data of its own: a walk
# that reopened a match by its converted name would read another's data.
UNICODE = "hivtap-hive\\Unicode\\"
UNICODE_KEYS = [("i", "plain"), ("\u0131", "dotless"), ("j", "jay"), ("\u03a9mega", "omega"),
                ("\u4e2d", "zhong"), ("\U0001f600", "smile key"), ("a\x7fb", "del key"),
                ("c\x81d", "c1 key")]
UNICODE_VALUES = [("\u01c5", "titlecase"), ("\u4e2d", "chinese"), ("\U0001f600", "smile"),
                  ("a\x7fb", "del"), ("c\x81d", "c1"), ("I", "upper i")]


def unicode_entries():
    out = [(SOFT, UNICODE + "T\\" + key, "v", REG_SZ, sz(text)) for key, text in UNICODE_KEYS]
    out += [(SOFT, UNICODE + "N", name, REG_SZ, sz(text)) for name, text in UNICODE_VALUES]
    return out


def drive_key(root, key):
    """Where a key lies in the drive's hives: its current control set is 002."""
    if root == SYS and key.startswith("CurrentControlSet\\"):
        return "ControlSet002" + key[len("CurrentControlSet"):]
    return key


def wildcard_lines():
    return [
        b"HKLM\\Software\\hivtap-hive\\Uninstall\\*\\DisplayName",
        b"Programme=HKLM\\Software\\hivtap-hive\\Uninstall\\{*}\\DisplayName",
        b"hklm\\SOFTWARE\\HIVTAP-HIVE\\uninstall\\*\\displayname",
        b"HKLM\\Software\\hivtap-hive\\Uninstall\\\xe9*\\*",
        b"HKLM\\Software\\hivtap-hive\\Uninstall\\*\\*",
        b"HKLM\\Software\\hivtap-hive\\Uninstall\\*\\*\\DisplayName",
        b"HKLM\\Software\\hivtap-hive\\Genres\\*",
        b"HKLM\\Software\\hivtap-hive\\Genres\\?????",
        b"HKLM\\Software\\hivtap-hive\\*\\*",
        b"HKLM\\Software\\hivtap-hive\\Diff\\*\\*",
        b"HKLM\\Software\\hivtap-hive\\Casse\\*\\cl\xc9*",
        b"HKLM\\Software\\hivtap-hive\\Nombreux\\Cl?07?\\N",
        b"HKLM\\SYSTEM\\CurrentControlSet\\Enum\\hivtap-usb\\*\\*\\FriendlyName",
        b"HKLM\\Software\\hivtap-hive\\Uninstall\\*\\Absent",
        b"Rien=HKLM\\Software\\hivtap-hive\\Nulle-part\\*\\*",
        b"HKLM\\Software\\hivtap-hive\\Uninstall\\" + GUIDS[0].encode() + b"\\DisplayName",
        b"HKLM\\Software\\hivtap-hive\\Genres\\Dword",
        b"HKLM\\Software\\hivtap-hive\\Unicode\\T\\*\\v",
        b"HKLM\\Software\\hivtap-hive\\Unicode\\T\\?mega\\v",
        b"HKLM\\Software\\hivtap-hive\\Unicode\\N\\*",
        b"HKLM\\Software\\hivtap-hive\\Unicode\\**\\",
        b"HKLM\\Software\\hivtap-hive\\Unicode\\**\\*",
    ] + READ_BACK


# Names as `/W /N` prints them, put back after their key: each names that
# one value (or key) again, and shows itself.
READ_BACK_NAMES = [b"%5CDosDevices%5CC:", b"a%3Db", b"%40", b"@", b"100%25"]
READ_BACK = [b"HKLM\\Software\\hivtap-hive\\Genres\\" + n for n in READ_BACK_NAMES] + [
    b"HKLM\\Software\\hivtap-hive\\Unicode\\N\\a%7Fb",
    b"HKLM\\Software\\hivtap-hive\\Unicode\\T\\c%81d\\"]


# Wine keeps its control set in CurrentControlSet itself, a drive in
# ControlSet002 behind the link CurrentControlSet. A star matches both, but
# does not enter a link: each device is listed once on every source. The
# names differ, so this list runs without /N.
LINK_LINES = [b"HKLM\\SYSTEM\\C*\\Enum\\hivtap-usb\\*\\*\\FriendlyName"]


def compare(tally, args, prefix, runner, drive, work):
    directory = os.path.join(work, "wild-diff")
    os.makedirs(directory)
    with open(os.path.join(directory, "wild.lst"), "wb") as f:
        f.write(lines(*wildcard_lines()))
    with open(os.path.join(directory, "links.lst"), "wb") as f:
        f.write(lines(*LINK_LINES))
    runs = [["/S", "/W", "/L:wild.lst"], ["/S", "/W", "/N", "/L:wild.lst"],
            ["/S", "/W", "/L:links.lst"]]
    for i, options in enumerate(runs):
        r = prefix.wine([args.windows_hivtap] + options + ["win%d.txt" % i], cwd=directory,
                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        tally.equal("wildcard differential: win64 run %d exit code" % i, r.returncode, 0)
    prefix.sync()
    for i, options in enumerate(runs):
        for source, registry in (("prefix", prefix.path), ("drive", drive)):
            out = "%s%d.txt" % (source, i)
            code, console, err, _ = runner.run(registry, options + [out], directory=directory)
            tally.equal("wildcard differential: native run %d on the %s" % (i, source),
                        (code, console, err), (0, b"", b""))
        texts = {}
        for name in ("win", "prefix", "drive"):
            with open(os.path.join(directory, "%s%d.txt" % (name, i)), "rb") as f:
                texts[name] = f.read()
        for source in ("prefix", "drive"):
            tally.equal("wildcard differential: run %d, %s same as win64" % (i, source),
                        texts[source], texts["win"])
    with open(os.path.join(directory, "win1.txt"), "rb") as f:
        named = f.read()
    # The Windows side itself is what the design says.
    for expected in [b"{0A1B2C3D-0000-4000-8000-000000000001}\\DisplayName=Programme 0\r\n",
                     b"Programme= {f00dcafe-0000-4000-8000-000000000002}\\DisplayName=",
                     b"\r\n@=par d\xe9faut\r\n", b"\r\n%5CDosDevices%5CC:=01020304AABB\r\n",
                     b"\r\na%3Db=egal\r\n", b"\r\n%40=arobase\r\n", b"\r\n100%25=cent\r\n",
                     b"\r\nMulti=un\r\ndeux\r\n\xe9\r\n",
                     b"Disk&Ven_SanDisk&Prod_Cruzer\\4C53&0\\FriendlyName=SanDisk Cruzer\r\n",
                     b"\r\nAbsent=\r\nRien= \r\nDisplayName=Programme 0\r\nDword=-1\r\n"]:
        tally.check("wildcard differential: win64 output holds %r" % expected, expected in named)
    unicode_checks(tally, named)
    with open(os.path.join(directory, "win2.txt"), "rb") as f:
        links = f.read()
    tally.equal("wildcard differential: C* lists each device once",
                links, b"Kingston DT USB\r\nKingston 2\r\nSanDisk Cruzer\r\n")


def block(lines, entries, ending):
    """The lines a pattern over `entries`, (name, text), gives: one per
    entry, in Windows' order of the stored names."""
    entries = sorted(entries, key=lambda e: order_key(e[0]))
    first = ending(entries[0][1])
    start = next((i for i, line in enumerate(lines) if line.endswith(first)), len(lines))
    return entries, lines[start:start + len(entries)], start + len(entries)


def unicode_checks(tally, named):
    """Each name outside Windows-1252 is read with its own data, and names
    Windows-1252 holds are shown as stored, escaped."""
    lines = named.split(b"\r\n")
    after = []
    for what, entries, sep in (("keys", UNICODE_KEYS, b"\\v="), ("values", UNICODE_VALUES, b"=")):
        entries, got, end = block(lines, entries, lambda text: sep + text.encode("cp1252"))
        after.append(lines[end:end + 1])
        want = [(shown_name(name), text) for name, text in entries]
        have = [tuple(line.rsplit(sep, 1)) for line in got]
        have = [(n.decode("cp1252") if w is not None else None, t.decode("cp1252"))
                for (n, t), (w, _) in zip(have, want)]
        tally.equal("wildcard differential: names outside Windows-1252, %s read with their own "
                    "data in Windows' order" % what, have, want)
    # `T\*\v`: the dotless i's key is shown as its best fit, with its own value.
    tally.check("wildcard differential: i\\v=plain and i\\v=dotless",
                b"\r\ni\\v=plain\r\n" in named and b"\r\ni\\v=dotless\r\n" in named)
    # The line after `T\*\v`'s is `T\?mega\v`'s.
    tally.check("wildcard differential: ?mega matches the Omega key",
                after[0] and after[0][0].endswith(b"mega\\v=omega") and after[0][0] != b"v=",
                repr(after[0]))
    # Each read back shows itself, with the data its printed line had.
    printed = [line for line in lines if line.split(b"=", 1)[0] in READ_BACK_NAMES]
    tally.equal("wildcard differential: printed names read back without wildcards",
                lines[-len(READ_BACK) - 1:],
                [next(p for p in printed if p.startswith(n + b"=")) for n in READ_BACK_NAMES] +
                [b"a%7Fb=del", b"c%81d\\", b""])
