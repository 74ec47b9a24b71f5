#!/usr/bin/env python3
"""Writes the seeds of the `partition_table` fuzz target into
fuzz/corpus/partition_table: small disks (64 KiB) whose tables sfdisk wrote,
MBR with primary and logical partitions and GPT with 512- and 4096-byte
sectors (the latter through a loop device of that sector size, which needs
root). Run again only to renew them."""

import os
import subprocess
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SIZE = 64 * 1024
LINUX = "0FC63DAF-8483-4772-8E79-3D69D8477DE4"
BASIC = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"

# (file name, sector size, sfdisk script)
DISKS = [
    ("mbr-primary.img", 512, "label: dos\nstart=2, size=10, type=83\n"
     "start=16, size=20, type=7\nstart=40, size=40, type=c\n"),
    ("mbr-extended.img", 512, "label: dos\nstart=2, size=10, type=83\n"
     "start=16, size=100, type=5\nstart=18, size=10, type=83\n"
     "start=32, size=10, type=7\nstart=48, size=20, type=83\n"),
    ("gpt.img", 512, "label: gpt\nfirst-lba: 34\nstart=34, size=10, type=%s\n"
     "start=50, size=20, type=%s\n" % (LINUX, BASIC)),
    ("gpt-4k.img", 4096, "label: gpt\nfirst-lba: 6\nstart=6, size=4, type=%s\n" % BASIC),
]


def sh(*cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, **kw)


def main():
    out = os.path.join(ROOT, "fuzz", "corpus", "partition_table")
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        for name, sector, script in DISKS:
            path = os.path.join(work, name)
            with open(path, "wb") as f:
                f.truncate(SIZE)
            if sector == 512:
                sh("sfdisk", "-q", path, input=script.encode())
            else:
                dev = sh("losetup", "-f", "--show", "--sector-size", str(sector),
                         path).stdout.decode().strip()
                try:
                    # The kernel cannot re-read a loop device's table: sfdisk
                    # says so after writing it.
                    subprocess.run(["sfdisk", "-q", dev], input=script.encode(),
                                   capture_output=True, check=False)
                finally:
                    sh("losetup", "-d", dev)
            with open(path, "rb") as f:
                data = f.read()
            with open(os.path.join(out, name), "wb") as f:
                f.write(data)
    for name in sorted(os.listdir(out)):
        print(name, os.path.getsize(os.path.join(out, name)))


if __name__ == "__main__":
    main()
