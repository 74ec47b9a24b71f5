"""Output files on file systems that fail them: a small tmpfs that fills
and a read-only one, mounted for the run where privileges allow."""

import os
import subprocess

import output_cases
from cases import K, OUTPUT_FAILED, TYPES, WALL, output_failed
from harness import Case

L9 = K + b"\\Lines\\L9"
L9_LINE = output_cases.L9_LINE
MULTI = TYPES + b"Multi"
MULTI_LINE = b"a\r\nb\r\nc\r\n"  # one record holding two CR LF of its own


# Mounted file systems: a small tmpfs that fills, and a read-only one.
def mount_tmpfs(path, size, files=None, readonly=False):
    """True when mounted (it needs privileges); files are written first."""
    os.makedirs(path)
    r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    if r.returncode != 0:
        return False
    for name, data in (files or {}).items():
        with open(os.path.join(path, name), "wb") as f:
            f.write(data)
    if readonly:
        subprocess.run(["mount", "-o", "remount,ro", path], check=True)
    return True


def umount(path):
    subprocess.run(["umount", path], check=False)


def capacity(path):
    """Bytes one file can take on the file system at path."""
    probe = os.path.join(path, "probe")
    size = 0
    with open(probe, "wb", buffering=0) as f:
        try:
            while True:
                size += f.write(bytes(4096))
        except OSError:
            pass
    os.remove(probe)
    return size


def full_disk_input(cap):
    """Old bytes, list and expected file for an output file that can hold
    `cap` bytes. The old bytes end without a line end, and their length puts
    the cut just after the first CR LF of a multi-string record."""
    records = [L9_LINE, MULTI_LINE] * (cap // 10)
    listing = (L9 + b"\r\n" + MULTI + b"\r\n") * (cap // 10)
    period = len(L9_LINE) + len(MULTI_LINE)
    old = b"ancien\r\n" + b"x" * ((cap - len(L9_LINE) - 3 - 8) % period)
    kept = old
    for record in records:
        if len(kept) + len(record) > cap:
            break
        kept += record
    assert cap - len(kept) == 3
    return old, listing, kept


def mounted_rows(work, label, sep_path):
    """(case, files outside the case directory expected afterwards, mount
    points) for the full and the read-only file system; empty when mounting
    is not allowed here. sep_path turns a Unix path into the build's name."""
    full = os.path.join(work, label + "-fullfs")
    if not mount_tmpfs(full, 16384):
        print("NOTE %s: no tmpfs can be mounted here: full and read-only file systems not run"
              % label)
        return [], []
    mounts = [full]
    try:
        old, listing, kept = full_disk_input(capacity(full))
        with open(os.path.join(full, "out.txt"), "wb") as f:
            f.write(old)
    except Exception:
        umount(full)
        raise
    ro = os.path.join(work, label + "-rofs")
    if mount_tmpfs(ro, 65536, {"old.txt": b"old\r\n"}, readonly=True):
        mounts.append(ro)
    out = os.path.join(full, "out.txt")
    rows = [(Case("file system fills during a long list", args=[b"/S", b"/L:l.lst",
                                                                 sep_path(out)],
                  files={"l.lst": listing}, code=1, out=OUTPUT_FAILED,
                  err=output_failed(sep_path(out), b"No space left on device")), {out: kept})]
    if ro in mounts:
        new, existing = os.path.join(ro, "new.txt"), os.path.join(ro, "old.txt")
        rows += [
            (Case("new output file on a read-only file system", args=[WALL, sep_path(new)],
                  code=1, out=OUTPUT_FAILED,
                  err=output_failed(sep_path(new), b"Read-only file system")), {new: None}),
            (Case("existing output file on a read-only file system",
                  args=[WALL, sep_path(existing)], code=1, out=OUTPUT_FAILED,
                  err=output_failed(sep_path(existing), b"Read-only file system")),
             {existing: b"old\r\n"}),
        ]
    return rows, mounts
