#!/usr/bin/env python3
"""Deleted keys and values under /D, end to end: the two hives Windows wrote
with deleted records (../shared/samples/deleted-keys), each read as a
collected SYSTEM hive. The records expected are the ones the samples' README
lists, typed here from it; each must come marked, after the live ones, and
nothing must change without /D. A dirty hive is searched with its logs
replayed. The same hives inside an NTFS image give the
same records (skipped where no NTFS volume can be made), and a Wine prefix
gives one message and nothing else.

  deleted_walk.py --hivtap PROGRAM --samples DIR --dirty DIR"""

import argparse
import json
import lzma
import os
import shutil
import subprocess
import sys
import tempfile

from harness import Tally

# From the samples' README: live lines, recovered lines (any order: the
# README does not give the file's), and the times, to the second.
DATA = {
    "values": ([b"123\\v1=123"], [b"%!456\\v=123456", b"%!%?\\v2=456"]),
    "keys": ([b"123\\"], [b"%!456\\"]),
    "times": {b"%!456\\": b"2017-03-20T21:15:37"},
    # key, name, text, partial
    "json": [("HKLM\\SYSTEM\\456", None, None, False),
             ("HKLM\\SYSTEM\\456", "v", "123456", False),
             ("", "v2", "456", True)],
}
TREE = {
    "values": ([], []),
    "keys": ([b"1\\", b"1\\2\\"],
             [b"%!1\\2\\3\\", b"%!1\\2\\3\\4\\", b"%!1\\2\\3\\4\\5\\",
              b"%!1\\2\\3\\4\\New Key #1\\"]),
    "times": {b"%!1\\2\\3\\": b"2017-03-20T21:21:35", b"%!1\\2\\3\\4\\": b"2017-03-20T21:21:35",
              b"%!1\\2\\3\\4\\5\\": b"2017-03-20T21:21:31",
              b"%!1\\2\\3\\4\\New Key #1\\": b"2017-03-20T21:21:30"},
    "json": [("HKLM\\SYSTEM\\1\\2\\3", None, None, False),
             ("HKLM\\SYSTEM\\1\\2\\3\\4", None, None, False),
             ("HKLM\\SYSTEM\\1\\2\\3\\4\\5", None, None, False),
             ("HKLM\\SYSTEM\\1\\2\\3\\4\\New Key #1", None, None, False)],
}
VALUES = "HKLM\\SYSTEM\\**\\*"
KEYS = "HKLM\\SYSTEM\\**\\"
# "hivTAP: seuls les fichiers de ruche gardent des enregistrements supprimés, /D est ignoré"
IGNORED = ("hivTAP: seuls les fichiers de ruche gardent des enregistrements supprim\u00e9s, "
           "/D est ignor\u00e9")


def run(hivtap, registry, work, args):
    """The output file's bytes and the console's text."""
    out = os.path.join(work, "out.txt")
    if os.path.exists(out):
        os.remove(out)
    env = dict(os.environ, HIVTAP_REGISTRY=registry, LC_ALL="C.UTF-8")
    done = subprocess.run([hivtap] + args + [out], env=env, cwd=work, capture_output=True,
                          timeout=60)
    with open(out, "rb") as f:
        return f.read(), done.stdout.decode("utf-8", "replace"), done.returncode


def split(output):
    return output.split(b"\r\n")[:-1] if output.endswith(b"\r\n") else output.splitlines()


def text_group(tally, hivtap, registry, work, name, expected):
    for kind, line in (("values", VALUES), ("keys", KEYS)):
        live, recovered = expected[kind]
        plain = run(hivtap, registry, work, ["/W", "/N", line])[0]
        marked = run(hivtap, registry, work, ["/D", "/W", "/N", line])[0]
        lines = split(marked)
        tally.equal("%s %s: without /D, only the live records" % (name, kind), split(plain),
                    live or [line.rsplit("\\", 1)[-1].encode() + (b"\\=" if kind == "keys"
                                                                    else b"=")])
        tally.check("%s %s: under /D, the live records first, unchanged" % (name, kind),
                    not live or marked.startswith(plain), repr(marked))
        tally.equal("%s %s: the recovered records the README lists" % (name, kind),
                    sorted(lines[len(live):]), sorted(recovered) if recovered or live else
                    [line.rsplit("\\", 1)[-1].encode() + b"="])
        # Without /N the recovered lines still show their marked paths.
        bare = split(run(hivtap, registry, work, ["/D", "/W", line])[0])
        tally.equal("%s %s: without /N, recovered lines keep their paths" % (name, kind),
                    [b for b in bare if b.startswith(b"%!")],
                    [m for m in lines if m.startswith(b"%!")])
    timed = split(run(hivtap, registry, work, ["/D", "/W", "/T", KEYS])[0])
    times = {t.split(b" ", 1)[1]: t.split(b" ", 1)[0][:19] for t in timed}
    tally.equal("%s: the recovered keys' times" % name,
                {k: v for k, v in times.items() if k.startswith(b"%!")}, expected["times"])


def json_group(tally, hivtap, registry, work, name, expected):
    output = run(hivtap, registry, work, ["/D", "/W", "/F:json", VALUES])[0]
    records = [json.loads(line) for line in output.decode("utf-8").splitlines()]
    live = [r for r in records if "deleted" not in r]
    found = [r for r in records if "deleted" in r]
    tally.check("%s json: the recovered records after the live ones" % name,
                records == live + found and all(r["deleted"] is True for r in found),
                repr(records))
    got = sorted((r["key"], r.get("name", ""), r.get("text", ""), r.get("partial", False))
                 for r in found)
    tally.equal("%s json: the records the README lists" % name, got,
                sorted((k, n or "", t or "", p) for k, n, t, p in expected["json"]))
    plain = run(hivtap, registry, work, ["/W", "/F:json", VALUES])[0]
    tally.equal("%s json: without /D, the live records alone" % name,
                [json.loads(line) for line in plain.decode("utf-8").splitlines()], live)


def image_group(tally, hivtap, work, folders):
    """SYSTEM and SOFTWARE of a drive inside an NTFS volume: the records the
    hives give alone."""
    try:
        import image_suite
    except ImportError as failure:
        print("SKIP image: %s" % failure)
        return
    if not shutil.which("mkntfs"):
        print("SKIP image: no mkntfs")
        return
    tree = os.path.join(work, "drive")
    config = os.path.join(tree, "Windows", "System32", "config")
    os.makedirs(config)
    shutil.copy(os.path.join(folders["tree"], "SYSTEM"), os.path.join(config, "SYSTEM"))
    shutil.copy(os.path.join(folders["data"], "SYSTEM"), os.path.join(config, "SOFTWARE"))
    volume = os.path.join(work, "volume.img")
    why = image_suite.make_volume(volume, tree, work, 16 * image_suite.MIB)
    if why:
        print("SKIP image: cannot mount an NTFS volume here (%s)" % why)
        return
    recovered = 0
    for hive, folder in (("SYSTEM", "tree"), ("SOFTWARE", "data")):
        for line in ("HKLM\\%s\\**\\*" % hive, "HKLM\\%s\\**\\" % hive):
            alone = run(hivtap, os.path.join(folders[folder], "SYSTEM"), work,
                        ["/D", "/W", "/N", line.replace(hive, "SYSTEM")])[0]
            inside = run(hivtap, volume, work, ["/D", "/W", "/N", line])[0]
            tally.equal("image: %s gives what the hive alone gives" % line, inside, alone)
            recovered += inside.count(b"%!")
    # 456 and its value, v2, and the four keys of the tree.
    tally.equal("image: the recovered lines", recovered, 7)
    # Beneath HKLM, each hive's keys under its name, hive by hive.
    lines = split(run(hivtap, volume, work, ["/D", "/W", "/N", "HKLM\\**\\"])[0])
    tally.equal("image: HKLM\\**\\ gives each hive's keys under its name",
                sorted(line for line in lines if line.startswith(b"%!")),
                sorted([b"%!SOFTWARE\\456\\"] +
                       [b"%!SYSTEM\\" + k[2:] for k in TREE["keys"][1]]))


def wine_group(tally, hivtap, work):
    prefix = os.path.join(work, "prefix")
    os.makedirs(prefix)
    with open(os.path.join(prefix, "system.reg"), "w", newline="\n") as f:
        f.write("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
                "[Software\\\\Gone\\\\\u00c5\u0141] 1600000000\n\"v\"=\"w\"\n")
    with_d, console, code = run(hivtap, prefix, work, ["/D", "/W", "/N", "HKLM\\Software\\**\\*"])
    without, plain, _ = run(hivtap, prefix, work, ["/W", "/N", "HKLM\\Software\\**\\*"])
    tally.check("wine: /D gives one message and changes nothing else",
                code == 0 and with_d == without and with_d and
                console.splitlines() == [IGNORED] + plain.splitlines(),
                "%r %r %r" % (with_d, console, plain))


def dirty_group(tally, hivtap, work, samples):
    """The dirty NTUSER.DAT Windows 10 wrote: its LOG2 deletes Key2 and its
    value v = "testTEST" (the sample's README). Recovery reads the hive the
    logs bring up to date: with them v is a recovered value, without them a
    live one."""
    for name, logs, recovered in (("with its logs", (".LOG1", ".LOG2"), True),
                                  ("without its logs", (), False)):
        folder = os.path.join(work, "dirty-" + str(len(logs)))
        os.makedirs(folder)
        for suffix in ("",) + logs:
            with lzma.open(os.path.join(samples, "NewDirtyHive" + suffix + ".xz")) as f:
                data = f.read()
            with open(os.path.join(folder, "NTUSER.DAT" + suffix), "wb") as out:
                out.write(data)
        lines = split(run(hivtap, folder, work, ["/D", "/W", "/N", "HKCU\\**\\*"])[0])
        marked = [line.split(b"=", 1)[0] for line in lines if line.startswith(b"%!")]
        tally.check("dirty hive %s: Key2's v %s" % (name, "recovered" if recovered else "live"),
                    (b"Key2\\v=testTEST" in lines) != recovered and
                    any(m.endswith((b"\\v", b"\\v%~")) for m in marked) == recovered,
                    repr(lines)[:400])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--hivtap", required=True)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--dirty", required=True, help="the Windows 10 dirty hive's folder")
    args = parser.parse_args()
    hivtap = os.path.abspath(args.hivtap)
    tally = Tally()
    work = tempfile.mkdtemp(prefix="hivtap-deleted-")
    try:
        folders = {}
        for name, sample, expected in (("data", "DeletedDataHive", DATA),
                                       ("tree", "DeletedTreeHive", TREE)):
            folders[name] = os.path.join(work, name)
            os.makedirs(folders[name])
            with lzma.open(os.path.join(args.samples, sample + ".xz")) as f:
                data = f.read()
            registry = os.path.join(folders[name], "SYSTEM")
            with open(registry, "wb") as out:
                out.write(data)
            text_group(tally, hivtap, registry, work, sample, expected)
            json_group(tally, hivtap, registry, work, sample, expected)
        dirty_group(tally, hivtap, work, args.dirty)
        wine_group(tally, hivtap, work)
        image_group(tally, hivtap, work, folders)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return tally.finish()


if __name__ == "__main__":
    sys.exit(main())
