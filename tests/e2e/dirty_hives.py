#!/usr/bin/env python3
"""Dirty hives read through hivtap: a folder of collected hives whose SYSTEM
is dirty, with new-format logs, an old-format log, or none.

  dirty_hives.py --hivtap PROGRAM --maker make_dirty_hive

Checks the value's text, the warnings on standard error, the exit code, and
that no file of the folder changed. Exit code 1 when a check failed."""

import argparse
import os
import subprocess
import sys
import tempfile

from harness import snapshot

# kind: (what it is, the start of the one warning expected or None)
CASES = {
    "new": ("with LOG1 and LOG2 in the new format", None),
    "old": ("with an old-format LOG", None),
    "none": ("without a log", "hivTAP: ruche sale (journaux non appliqu"),
}


def run_case(hivtap, maker, kind, warning, root):
    folder = os.path.join(root, kind)
    os.mkdir(folder)
    expected = subprocess.run([maker, folder, kind], check=True, capture_output=True,
                              text=True).stdout.strip()
    before = snapshot(folder)
    env = dict(os.environ, HIVTAP_REGISTRY=folder, LC_ALL="C.UTF-8")
    done = subprocess.run([hivtap, "HKLM\\SYSTEM\\Version"], env=env, capture_output=True,
                          timeout=30)
    problems = []
    if done.returncode != 0:
        problems.append("exit code %d" % done.returncode)
    if done.stdout.decode("utf-8", "replace").strip() != expected:
        problems.append("read %r, expected %r" % (done.stdout, expected))
    lines = done.stderr.decode("utf-8", "replace").splitlines()
    if warning is None and lines:
        problems.append("unexpected warnings %r" % lines)
    if warning is not None and (len(lines) != 1 or not lines[0].startswith(warning)
                                or not lines[0].endswith(os.path.join(folder, "SYSTEM"))):
        problems.append("warnings %r, expected one naming SYSTEM" % lines)
    if snapshot(folder) != before:
        problems.append("a file beside the hive changed")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--hivtap", required=True)
    parser.add_argument("--maker", required=True)
    args = parser.parse_args()
    failed = 0
    with tempfile.TemporaryDirectory(prefix="hivtap-dirty-") as root:
        for kind, (what, warning) in CASES.items():
            problems = run_case(args.hivtap, args.maker, kind, warning, root)
            print("%s dirty hive %s%s" % ("FAIL" if problems else "ok  ", what,
                                          ": " + "; ".join(problems) if problems else ""))
            failed += bool(problems)
    print("%d passed, %d failed" % (len(CASES) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
