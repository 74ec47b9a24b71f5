"""Rows of disk images: the 50 MB SOFTWARE hive of rows 7 on a Windows drive
inside a 2 GB raw MBR disk (mkntfs, filled through an ntfs-3g mount: run as
root) and its E01, against the floor of extracting the same hives with the
Sleuth Kit's icat and reading the extracted folder."""

import os
import shutil
import subprocess
import sys

from measure import Series, paired, run
from rows import Result, Unmeasurable, mb, ms, row, spread, times, us
import hive_bench
import rows_hive

DISK = 2 << 30  # the raw disk's size
START = 1 << 20  # where sfdisk puts the partition (sector 2048)
MB16 = 16 << 20
HIVES = ("SOFTWARE", "SYSTEM")


def copy_sparse(src, dst, at):
    """Writes src into dst at `at`, leaving its zero runs as holes."""
    chunk = 1 << 20
    with open(src, "rb") as s, open(dst, "r+b") as d:
        offset = at
        while True:
            data = s.read(chunk)
            if not data:
                break
            if data.count(0) != len(data):
                d.seek(offset)
                d.write(data)
            offset += len(data)


def image_fixture(ctx, prep):
    """The drive folder, its 2 GB raw disk and the disk's E01, made once."""
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
            f.truncate(DISK - 2 * START)
        subprocess.run(["mkntfs", "-F", "-Q", "-q", volume], check=True, capture_output=True)
        mnt = os.path.join(work, "mnt")
        os.makedirs(mnt, exist_ok=True)
        if subprocess.run(["ntfs-3g", volume, mnt], capture_output=True).returncode:
            raise Unmeasurable("no ntfs-3g mount here (run as root)")
        try:
            shutil.copytree(drive, mnt, dirs_exist_ok=True)
        finally:
            subprocess.run(["umount", mnt], check=True)
        disk = os.path.join(work, "disk.raw")
        with open(disk, "wb") as f:
            f.truncate(DISK)
        subprocess.run(["sfdisk", "-q", disk], check=True, capture_output=True,
                       input=b"label: dos\nstart=2048, type=7\n")
        copy_sparse(volume, disk, START)
        os.remove(volume)
        e01 = os.path.join(work, "e01", "disk")
        os.makedirs(os.path.dirname(e01))
        with open(disk, "rb") as f:
            subprocess.run(["ewfacquirestream", "-q", "-C", "case", "-D", "disk", "-E", "1", "-e",
                            "bench", "-N", "none", "-m", "fixed", "-M", "physical", "-c", "fast",
                            "-t", e01], stdin=f, check=True, capture_output=True)
        # The hives' MFT entries, for icat.
        inodes = {}
        listing = subprocess.run(["fls", "-r", "-p", "-o", str(START // 512), disk],
                                 check=True, capture_output=True).stdout.decode()
        for line in listing.splitlines():
            kind, _, rest = line.partition(" ")
            inode, _, path = rest.partition(":\t")
            for name in HIVES:
                if kind == "r/r" and path == "Windows/System32/config/" + name:
                    inodes[name] = inode.strip()
        if sorted(inodes) != sorted(HIVES):
            raise RuntimeError("fls did not list the hives: %s" % inodes)
        return {"drive": drive, "disk": disk, "e01": e01 + ".E01", "work": work,
                "inodes": inodes}
    return ctx.shared("image_fixture", make)


@row("11", 18, "disk images: a Windows drive inside a 2 GB raw disk and its E01")
def image(ctx):
    if not os.path.exists(ctx.hivtap):
        raise Unmeasurable("build/native/hivtap is not built")
    for tool in ("mkntfs", "ntfs-3g", "sfdisk", "ewfacquirestream", "icat", "fls"):
        if not shutil.which(tool):
            raise Unmeasurable("%s is missing (bash scripts/setup.sh installs it)" % tool)
    prep = rows_hive.hive_fixture(ctx)
    img = image_fixture(ctx, prep)
    work = img["work"]
    line = "HKLM\\Software\\Bench\\Key%05d\\Value09" % (prep["keys"] - 1)
    with open(os.path.join(work, "one.lst"), "w") as f:
        f.write(line + "\n")
    shutil.copy(os.path.join(prep["work"], "many.lst"), os.path.join(work, "many.lst"))

    def hivtap(registry, args):
        env = dict(os.environ, HIVTAP_REGISTRY=registry)
        return lambda: run([ctx.hivtap, "/S"] + args + ["out.txt"], env=env, cwd=work)

    def extracted(image_args):
        """The floor: icat writes the hives into a folder, read as a drive."""
        out = os.path.join(work, "extracted")
        config = os.path.join(out, "Windows", "System32", "config")
        os.makedirs(config, exist_ok=True)
        script = " && ".join(
            "icat %s %s > %s" % (" ".join(image_args), img["inodes"][n], os.path.join(config, n))
            for n in HIVES)
        script += " && HIVTAP_REGISTRY=%s %s /S '%s' out.txt" % (out, ctx.hivtap, line)
        return lambda: run(["sh", "-c", script], cwd=work)

    results = []
    raw_args = ["-o", str(START // 512), img["disk"]]
    e01_args = ["-i", "ewf", "-o", str(START // 512), img["e01"]]
    for rid, name, path, args in (("11a", "raw", img["disk"], raw_args),
                                  ("11b", "E01", img["e01"], e01_args)):
        pairs = paired(hivtap(path, [line]), extracted(args), ctx.repeats())
        results.append(Result(
            rid, "one value of the last key in the %s disk (%s MB), vs icat of SOFTWARE and "
            "SYSTEM then the same lookup on the extracted folder" % (
                name, mb(os.path.getsize(path))),
            spread(pairs.seconds("a"), ms, "ms"), spread(pairs.seconds("b"), ms, "ms"),
            times(pairs.ratio()), "≤ 1.5x", pairs.ratio() <= 1.5))

    # Its memory: the hives it reads are held whole, once, in memory files
    # that hivex and the reader both map. The kernel's peak RSS counts such
    # pages once per mapping; the proportional set size counts them once.
    hives = sum(os.path.getsize(os.path.join(img["drive"], "Windows", "System32", "config", n))
                for n in HIVES)
    rss = Series(hivtap(img["disk"], [line])().rss_kb * 1024 for _ in range(ctx.repeats()))
    argv = [ctx.hivtap, "/S", line, "out.txt"]
    env = dict(os.environ, HIVTAP_REGISTRY=img["disk"])
    pss = Series(hive_bench.peak_pss_kb(argv, env, work) * 1024 for _ in range(ctx.repeats()))
    results.append(Result(
        "11c", "peak proportional set size (sampled) of that lookup in the raw disk, vs the "
        "hives it reads (%s MB) + 16 MiB; the kernel's peak RSS, counting the hives' pages "
        "once per mapping: %s" % (mb(hives), spread(rss, mb, "MB")), spread(pss, mb, "MB"),
        "%s MB" % mb(hives + MB16), times(pss.max / (hives + MB16)), "≤ 1x",
        pss.max <= hives + MB16))

    # A 20,000-line list: the cost of each line beyond the first, in the
    # image and in the extracted folder.
    def per_line(registry):
        pairs = paired(hivtap(registry, ["/L:many.lst"]), hivtap(registry, ["/L:one.lst"]),
                       ctx.repeats(heavy=True))
        return Series((a.seconds - b.seconds) / 20000 for a, b in zip(pairs.a, pairs.b))
    folder = os.path.join(work, "extracted")
    on_image, on_folder = per_line(img["disk"]), per_line(folder)
    results.append(Result(
        "11d", "20,000-line list, per line beyond a one-line list: raw disk vs the extracted "
        "folder", spread(on_image, us, "µs/line"), spread(on_folder, us, "µs/line"),
        times(on_image.median / on_folder.median), "≤ 1.2x",
        on_image.median <= 1.2 * on_folder.median))
    return results
