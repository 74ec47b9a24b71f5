"""The differential for hive files: the same keys imported into a Wine
prefix and written into the hives of a generated drive, read by hivtap.exe
under Wine and by the native build, must give the same output files."""

import os
import subprocess

import export_differential
import hive_fixture as hf
import seed
import wildcard_differential as wild
from hive_suite import (DEFAULT, REG_DWORD, REG_SZ, SOFTWARE, SYSTEM, Runner, drive_hives, dword,
                        lines, sz)

DIFF_KEY = "hivtap-hive"
DIFF_TEXT = "Donn\u00e9es \u20ac \u0100 \u4e2d " * 6000


def differential_entries():
    """(root, key under it, value name, type, data) for every value."""
    out = []
    for key, name, kind, data in seed.VALUES:
        if key.startswith(seed.SCRATCH):
            out.append(("HKEY_LOCAL_MACHINE\\SOFTWARE", DIFF_KEY + key[len(seed.SCRATCH):], name,
                        kind, data))
    soft = "HKEY_LOCAL_MACHINE\\SOFTWARE"
    # The longest path RegOpenKeyExA takes is 260 characters.
    deep = DIFF_KEY + "\\" + "\\".join("Niveau%02d" % i for i in range(26))
    out += [
        (soft, DIFF_KEY + "\\Gros", "Texte", REG_SZ, seed.utf16(DIFF_TEXT)),
        (soft, DIFF_KEY + "\\Gros", "Multi", 7, seed.utf16(DIFF_TEXT.replace(" ", "\0"))),
        (soft, DIFF_KEY + "\\Gros", "Binaire", 3, bytes(range(256)) * 400),
        (soft, DIFF_KEY + "\\Casse\\\u00c9t\u00e9", "Cl\u00e9\u00c0", REG_SZ, sz("casse")),
        (soft, DIFF_KEY + "\\Defaut", "", REG_SZ, sz("par d\u00e9faut")),
        (soft, DIFF_KEY + "\\Defaut", "Autre", REG_SZ, sz("autre")),
        (soft, deep, "Fond", REG_SZ, sz("profond")),
        (soft, deep + "\\Niveau26", "Fond", REG_SZ, sz("trop profond")),
        (soft, "Classes\\.hivtap-hive", "Content Type", REG_SZ, sz("text/x-hive")),
    ]
    # A key with enough subkeys to be indexed.
    out += [(soft, DIFF_KEY + "\\Nombreux\\Cl\u00e9%03d" % i, "N", REG_DWORD, dword(i))
            for i in range(80)]
    out += [
        ("HKEY_LOCAL_MACHINE\\SYSTEM", DIFF_KEY, "Syst\u00e8me", REG_DWORD, dword(7)),
        ("HKEY_USERS\\.DEFAULT", DIFF_KEY, "D\u00e9faut", REG_SZ, sz("d\u00e9faut")),
    ]
    return out + wild.wildcard_entries()


SHORT = {"HKEY_LOCAL_MACHINE": b"HKLM", "HKEY_USERS": b"HKU"}


def differential_lines():
    found = []
    for root, key, name, _, _ in differential_entries():
        top, _, hive = root.partition("\\")
        path = (hive + "\\" + key + "\\" + name).encode("cp1252", "replace")
        found.append(SHORT[top] + b"\\" + path)
    # Names in other letter cases, accented ones included.
    extra = [line.upper() for line in found[::3]] + [line.lower() for line in found[1::3]]
    extra += [b"HKLM\\Software\\HIVTAP-HIVE\\CASSE\\\xc9T\xc9\\CL\xc9\xc0",
              b"hklm\\software\\hivtap-hive\\casse\\\xe9t\xe9\\cl\xe9\xe0",
              b"HKLM\\Software\\hivtap-hive\\Defaut\\",
              b"HKCR\\.hivtap-hive\\Content Type",
              b"HKLM\\Software\\Classes\\.HIVTAP-HIVE\\content type",
              b"HKLM\\Software\\hivtap-hive\\Nope\\Nope",
              b"HKLM\\nope\\x"]
    labelled = [b"Etiquette%d=" % i + line for i, line in enumerate(found[::7])]
    return found + extra + labelled


def differential_group(tally, args, prefix, work):
    if not os.path.isfile(args.windows_hivtap):
        tally.check("win64 hivtap.exe is built", False, "%s is missing" % args.windows_hivtap)
        return
    entries = differential_entries()
    # Into the prefix. A shared prefix may hold the keys of an earlier run:
    # each scratch key (the first part named hivtap-...) goes first.
    scratch = set()
    for root, key, _, _, _ in entries:
        parts = key.split("\\")
        first = next(i for i, part in enumerate(parts) if "hivtap" in part)
        scratch.add(root + "\\" + "\\".join(parts[:first + 1]))
    prefix.write_values(sorted(scratch), [(root + "\\" + key, name, kind, data)
                                          for root, key, name, kind, data in entries])
    # Into the hives of a drive.
    hives = drive_hives(users=("anna",))
    place = {"HKEY_LOCAL_MACHINE\\SOFTWARE": SOFTWARE, "HKEY_LOCAL_MACHINE\\SYSTEM": SYSTEM,
             "HKEY_USERS\\.DEFAULT": DEFAULT}
    for root, key, name, kind, data in entries:
        hives[place[root]][1].append((wild.drive_key(root, key), name, kind, data))
    drive = os.path.join(work, "diff-drive")
    hf.make_tree(drive, hives)
    # Windows keeps the long values in big-data records.
    for name in (b"Texte", b"Multi", b"Binaire"):
        hf.to_big_data(os.path.join(drive, SOFTWARE), name)

    directory = os.path.join(work, "hive-diff")
    os.makedirs(directory)
    with open(os.path.join(directory, "diff.lst"), "wb") as f:
        f.write(lines(*differential_lines()))
    runs = [["/S", "/L:diff.lst"], ["/S", "/N", "/L:diff.lst"]]
    for i, options in enumerate(runs):
        r = prefix.wine([args.windows_hivtap] + options + ["win%d.txt" % i], cwd=directory,
                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        tally.equal("hive differential: win64 run %d exit code" % i, r.returncode, 0)
    runner = Runner(args.hivtap, work)
    for i, options in enumerate(runs):
        code, out, err, _ = runner.run(drive, options + ["native%d.txt" % i],
                                       directory=directory)
        tally.equal("hive differential: native run %d" % i, (code, out, err), (0, b"", b""))
        with open(os.path.join(directory, "win%d.txt" % i), "rb") as f:
            windows = f.read()
        with open(os.path.join(directory, "native%d.txt" % i), "rb") as f:
            native = f.read()
        tally.equal("hive differential: identical output files, run %d" % i, native, windows)
        tally.check("hive differential: run %d read the values" % i,
                    b"profond\r\n" in windows and DIFF_TEXT[:10].encode("cp1252", "replace")
                    in windows)
    wild.compare(tally, args, prefix, runner, drive, work)
    export_differential.export_group(tally, args, prefix, runner, drive, work,
                                     wild.wildcard_lines())
