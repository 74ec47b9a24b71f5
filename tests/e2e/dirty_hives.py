#!/usr/bin/env python3
"""Dirty hives read through hivtap, in a folder of collected hives: a dirty
SYSTEM that make_dirty_hive wrote, with new-format logs, an old-format log,
or none; and the dirty NTUSER.DAT that Windows 10 wrote, with its two logs
or none (unpacked from the samples folder, whose absence is a failure).

  dirty_hives.py --hivtap PROGRAM --maker make_dirty_hive --samples DIR

Checks the value's text, the warnings on standard error, the exit code, and
that no file of the folder changed. Exit code 1 when a check failed."""

import argparse
import lzma
import os
import subprocess
import sys
import tempfile

from harness import snapshot

NOT_APPLIED = "hivTAP: ruche sale (journaux non appliqu"

APPLIED = "journaux appliqu\u00e9s : "

# kind: (what it is, the start of the one warning expected or None, and what
# --version says of its replay: its start, then the logs it names)
MADE = {
    "new": ("with LOG1 and LOG2 in the new format", None, APPLIED, ("SYSTEM.LOG1", "SYSTEM.LOG2")),
    "old": ("with an old-format LOG", None, APPLIED + "SYSTEM.LOG (", ()),
    "none": ("without a log", NOT_APPLIED, "aucun journal appliqu\u00e9 (aucun journal)", ()),
}

# The Windows 10 sample as a user's hive: Key2 is gone once LOG2 is applied;
# LOG1's entries are older than the hive's own, so only LOG2 is replayed.
# name: (what it is, its logs, Key2's "v" as read, the warning's start or None)
SAMPLE = "NewDirtyHive"
SAMPLE_CASES = {
    "sample-logs": ("from Windows 10 with its LOG1 and LOG2", (".LOG1", ".LOG2"), "", None,
                    APPLIED, ("NTUSER.DAT.LOG2",)),
    "sample-alone": ("from Windows 10 without its logs", (), "testTEST", NOT_APPLIED,
                     "aucun journal appliqu\u00e9 (aucun journal)", ()),
}


def check_version(hivtap, folder, hive, replay, logs):
    """--version's line on the dirty hive's replay: the problems found."""
    env = dict(os.environ, HIVTAP_REGISTRY=folder, LC_ALL="C.UTF-8")
    done = subprocess.run([hivtap, "--version"], env=env, capture_output=True, timeout=30)
    start = "ruche sale %s : %s" % (os.path.join(folder, hive), replay)
    lines = [x for x in done.stdout.decode("utf-8", "replace").splitlines()
             if x.startswith("ruche sale ")]
    if len(lines) != 1 or not lines[0].startswith(start) or \
            not all(log + " (s\u00e9quences " in lines[0] for log in logs) or \
            (logs and (lines[0].count(".LOG") != len(logs) or
                       not lines[0].endswith(" atteinte"))):
        return ["--version says %r, expected one line starting %r naming %s" % (
            lines, start, ", ".join(logs) or "no log")]
    return []


def check(hivtap, folder, line, hive, expected, warning):
    """Reads `line` from the folder; the problems found."""
    before = snapshot(folder)
    env = dict(os.environ, HIVTAP_REGISTRY=folder, LC_ALL="C.UTF-8")
    done = subprocess.run([hivtap, line], env=env, capture_output=True, timeout=30)
    problems = []
    if done.returncode != 0:
        problems.append("exit code %d" % done.returncode)
    if done.stdout.decode("utf-8", "replace").strip() != expected:
        problems.append("read %r, expected %r" % (done.stdout, expected))
    lines = done.stderr.decode("utf-8", "replace").splitlines()
    if warning is None and lines:
        problems.append("unexpected warnings %r" % lines)
    if warning is not None and (len(lines) != 1 or not lines[0].startswith(warning)
                                or not lines[0].endswith(os.path.join(folder, hive))):
        problems.append("warnings %r, expected one naming %s" % (lines, hive))
    if snapshot(folder) != before:
        problems.append("a file beside the hive changed")
    return problems


def made_case(hivtap, maker, kind, warning, replay, logs, folder):
    expected = subprocess.run([maker, folder, kind], check=True, capture_output=True,
                              text=True).stdout.strip()
    return (check(hivtap, folder, "HKLM\\SYSTEM\\Version", "SYSTEM", expected, warning) +
            check_version(hivtap, folder, "SYSTEM", replay, logs))


def sample_case(hivtap, samples, logs, expected, warning, replay, applied, folder):
    for suffix in ("",) + logs:
        packed = os.path.join(samples, SAMPLE + suffix + ".xz")
        if not os.path.isfile(packed):
            return ["sample file missing: %s" % packed]
        with lzma.open(packed) as f:
            data = f.read()
        with open(os.path.join(folder, "NTUSER.DAT" + suffix), "wb") as out:
            out.write(data)
    return (check(hivtap, folder, "HKCU\\Key2\\v", "NTUSER.DAT", expected, warning) +
            check_version(hivtap, folder, "NTUSER.DAT", replay, applied))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--hivtap", required=True)
    parser.add_argument("--maker", required=True)
    parser.add_argument("--samples", required=True,
                        help="the folder of the Windows 10 dirty hive sample")
    args = parser.parse_args()
    runs = [(kind, "dirty hive " + what,
             lambda folder, kind=kind, warning=warning, replay=replay, logs=logs:
             made_case(args.hivtap, args.maker, kind, warning, replay, logs, folder))
            for kind, (what, warning, replay, logs) in MADE.items()]
    runs += [(name, "dirty hive " + what,
              lambda folder, logs=logs, expected=expected, warning=warning, replay=replay,
              applied=applied: sample_case(args.hivtap, args.samples, logs, expected, warning,
                                           replay, applied, folder))
             for name, (what, logs, expected, warning, replay, applied) in SAMPLE_CASES.items()]
    failed = 0
    with tempfile.TemporaryDirectory(prefix="hivtap-dirty-") as root:
        for name, what, run in runs:
            folder = os.path.join(root, name)
            os.mkdir(folder)
            problems = run(folder)
            print("%s %s%s" % ("FAIL" if problems else "ok  ", what,
                               ": " + "; ".join(problems) if problems else ""))
            failed += bool(problems)
    print("%d passed, %d failed" % (len(runs) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
