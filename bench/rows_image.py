"""Rows of disk images: the 50 MB SOFTWARE hive of rows 7 on a drive inside a
raw NTFS volume image (mkntfs, filled through an ntfs-3g mount: run as root),
against the same drive as a folder."""

import os
import shutil
import subprocess
import sys

from measure import Series, paired, run
from rows import Result, Unmeasurable, ms, row, spread, times
import rows_hive


def image_fixture(ctx, prep):
    """The drive folder and its NTFS volume image, made once."""
    def make():
        sys.path.insert(0, os.path.join(ctx.root, "tests", "e2e"))
        import hive_fixture
        work = ctx.path("image")
        drive = os.path.join(work, "drive")
        config = os.path.join(drive, "Windows", "System32", "config")
        os.makedirs(config, exist_ok=True)
        shutil.copy(prep["hive"], os.path.join(config, "SOFTWARE"))
        hive_fixture.make_tree(os.path.join(work, "system"), {"SYSTEM": (
            "HKEY_LOCAL_MACHINE\\SYSTEM", [("Select", "Current", 4, b"\x01\0\0\0")])})
        shutil.copy(os.path.join(work, "system", "SYSTEM"), os.path.join(config, "SYSTEM"))
        volume = os.path.join(work, "volume.img")
        with open(volume, "wb") as f:
            f.truncate(os.path.getsize(prep["hive"]) * 2 + (32 << 20))
        subprocess.run(["mkntfs", "-F", "-Q", "-q", volume], check=True, capture_output=True)
        mnt = os.path.join(work, "mnt")
        os.makedirs(mnt, exist_ok=True)
        if subprocess.run(["ntfs-3g", volume, mnt], capture_output=True).returncode:
            raise Unmeasurable("no ntfs-3g mount here (run as root)")
        try:
            shutil.copytree(drive, mnt, dirs_exist_ok=True)
        finally:
            subprocess.run(["umount", mnt], check=True)
        return {"drive": drive, "volume": volume, "work": work}
    return ctx.shared("image_fixture", make)


@row("11", 18, "disk images: a drive inside a raw NTFS volume image")
def image(ctx):
    if not os.path.exists(ctx.hivtap):
        raise Unmeasurable("build/native/hivtap is not built")
    if not shutil.which("mkntfs") or not shutil.which("ntfs-3g"):
        raise Unmeasurable("mkntfs or ntfs-3g is missing (Debian: ntfs-3g)")
    prep = rows_hive.hive_fixture(ctx)
    img = image_fixture(ctx, prep)
    size_mb = os.path.getsize(prep["hive"]) / 1e6
    line = "HKLM\\Software\\Bench\\Key%05d\\Value09" % (prep["keys"] - 1)

    def hivtap(registry):
        env = dict(os.environ, HIVTAP_REGISTRY=registry)
        return lambda: run([ctx.hivtap, "/S", line, "out.txt"], env=env, cwd=img["work"])
    pairs = paired(hivtap(img["volume"]), hivtap(img["drive"]), ctx.repeats())
    added = Series((a.seconds - b.seconds) / size_mb for a, b in zip(pairs.a, pairs.b))
    return [Result(
        "11a", "one value of the last key: SOFTWARE (%.1f MB) read out of the image into "
        "memory, vs the drive folder; time added per MB" % size_mb,
        spread(pairs.seconds("a"), ms, "ms"), spread(pairs.seconds("b"), ms, "ms"),
        times(pairs.ratio()) + ", %s ms/MB" % ms(added.median), "≤ 20 ms/MB",
        added.median <= 0.02)]
