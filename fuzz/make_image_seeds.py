#!/usr/bin/env python3
"""Writes the seeds of the `image` fuzz target into fuzz/corpus/image: the
hive tests' drive (hives filled by hivexregedit) in a 2 MiB NTFS volume made
by mkntfs and filled through an ntfs-3g mount, bare, in an MBR disk and in a
GPT disk. Needs root for the mount. Run again only to renew them."""

import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import hive_suite  # noqa: E402

VOLUME = 2 << 20
START = 64 * 512  # small gaps keep the seeds under the target's max_len


def sh(*cmd, **kw):
    subprocess.run(cmd, check=True, capture_output=True, **kw)


def disk(path, label, volume):
    """The volume at START in a disk with sfdisk's table, 1 MiB to spare at
    the end for GPT's backup."""
    with open(volume, "rb") as f:
        data = f.read()
    with open(path, "wb") as f:
        f.truncate(START + len(data) + 64 * 512)
    kind = "7" if label == "dos" else "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"
    sh("sfdisk", "-q", path, input=("label: %s\nfirst-lba: 34\nstart=%d, size=%d, type=%s\n" % (
        label, START // 512, len(data) // 512, kind)).encode())
    with open(path, "r+b") as f:
        f.seek(START)
        f.write(data)


def main():
    out = os.path.join(ROOT, "fuzz", "corpus", "image")
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        drive = os.path.join(work, "drive")
        hive_suite.make_drive(drive)
        volume = os.path.join(work, "volume.img")
        with open(volume, "wb") as f:
            f.truncate(VOLUME)
        sh("mkntfs", "-F", "-Q", "-q", volume)
        mnt = os.path.join(work, "mnt")
        os.mkdir(mnt)
        sh("ntfs-3g", volume, mnt)
        try:
            shutil.copytree(drive, mnt, dirs_exist_ok=True)
        finally:
            sh("umount", mnt)
        shutil.copy(volume, os.path.join(out, "ntfs-volume.img"))
        disk(os.path.join(out, "mbr-disk.img"), "dos", volume)
        disk(os.path.join(out, "gpt-disk.img"), "gpt", volume)
    for name in sorted(os.listdir(out)):
        print(name, os.path.getsize(os.path.join(out, name)))


if __name__ == "__main__":
    main()
