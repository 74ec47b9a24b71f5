#!/usr/bin/env python3
"""Disk images read through hivtap: the Windows drive that hive_suite makes
(hivexregedit), with a dirty DEFAULT and its logs (make_dirty_hive), copied
into an NTFS volume (mkntfs, then an ntfs-3g FUSE mount, else a loop mount),
wrapped by sfdisk in MBR and GPT disks, converted to E01
(ewfacquirestream), VMDK, VHD and VHDX (qemu-img) and split raw (split).
Run as root: the volume is filled through a mount.

  image_suite.py --hivtap PROGRAM --maker make_dirty_hive

Each image format gives the output file of the extracted folder, byte for
byte, and is left untouched; damaged images read what they can. Exit code 1
when a check failed; a group whose tool cannot run here says so and is
skipped."""

import argparse
import hashlib
import lzma
import os
import random
import shlex
import shutil
import subprocess
import sys
import tempfile

import hive_suite as hs
import image_hostile
from harness import Tally
from image_make import (CONFIG, EXPECTED, LISTING, MIB, START, VOLUME, hive_at, make_disk,
                        make_formats, make_tree, make_volume, mft_record, mount_and_copy)

SKIPPED = 77  # ctest's SKIP_RETURN_CODE
def fingerprint(paths):
    """Every file beside the images, with its digest and modification time."""
    found = {}
    for top in paths:
        for name in sorted(os.listdir(top)):
            p = os.path.join(top, name)
            if os.path.isfile(p):
                with open(p, "rb") as f:
                    found[p] = (hashlib.sha256(f.read()).hexdigest(), os.stat(p).st_mtime_ns)
    return found


def version_head(runner, registry, volume=None):
    old = os.environ.get("HIVTAP_VOLUME")
    if volume is not None:
        os.environ["HIVTAP_VOLUME"] = volume
    try:
        r = runner.run(registry, ["--version"])
    finally:
        os.environ.pop("HIVTAP_VOLUME", None)
        if old is not None:
            os.environ["HIVTAP_VOLUME"] = old
    return r[0], b"".join(r[1].splitlines(True)[1:3]), r[2]


def formats_group(tally, runner, work, drive, formats):
    """The same list over the folder and over each format."""
    r = runner.run(drive, ["/S", "/N", "/L:list.lst"], user="bob", listing=LISTING)
    tally.equal("images: the extracted folder", (r[0], r[2], r[3]), (0, b"", EXPECTED))
    tops = sorted({os.path.dirname(p) for p in formats.values()})
    before = fingerprint(tops)
    for name, path in formats.items():
        r = runner.run(path, ["/S", "/N", "/L:list.lst"], user="bob", listing=LISTING)
        tally.equal("images: %s gives the folder's output file" % name, (r[0], r[2], r[3]),
                    (0, b"", EXPECTED))
    tally.check("images: no image changed, nothing written beside them",
                fingerprint(tops) == before)
    kinds = {"raw MBR": "brut", "E01": "EWF (E01)", "VMDK": "VMDK", "VHD": "VHD",
             "VHDX": "VHDX", "split raw": "brut en 3 segments"}
    for name, path in formats.items():
        head = ("registre : %s (image disque %s)\nvolume Windows : partition 2 \u00e0 "
                "l'octet %d\n" % (path, kinds[name], START)).encode()
        tally.equal("images: --version names %s and its volume" % name,
                    version_head(runner, path), (0, head, b""))


def volume_group(tally, runner, work, vol, empty):
    """Which NTFS volume is Windows'."""
    gpt = os.path.join(work, "gpt.img")
    make_disk(gpt, "gpt", [empty, vol])
    r = runner.run(gpt, ["/S", "/N", "/L:list.lst"], user="bob", listing=LISTING)
    tally.equal("images: GPT, Windows on the second of two NTFS volumes", (r[0], r[2], r[3]),
                (0, b"", EXPECTED))
    r = runner.run(vol, ["/S", "/N", "/L:list.lst"], user="bob", listing=LISTING)
    tally.equal("images: an NTFS volume without partition table", (r[0], r[2], r[3]),
                (0, b"", EXPECTED))
    two = os.path.join(work, "two.img")
    make_disk(two, "gpt", [vol, vol])
    at = [START, START + VOLUME]
    # The Sleuth Kit numbers GPT's two tables before its partitions.
    both = ("partition 4 \u00e0 l'octet %d, partition 5 \u00e0 l'octet %d" % tuple(at))
    warning = ("hivTAP: plusieurs volumes Windows dans l'image disque, le premier est lu ; "
               "HIVTAP_VOLUME choisit parmi : %s\n" % both).encode()
    r = runner.run(two, ["/S", "/N", "/L:list.lst"], user="bob", listing=LISTING)
    tally.equal("images: two Windows volumes, the first read, one warning", (r[0], r[2], r[3]),
                (0, warning, EXPECTED))
    for choice, n in (("@%d" % at[1], 5), ("5", 5), ("4", 4)):
        head = ("registre : %s (image disque brut)\nvolume Windows : partition %d \u00e0 "
                "l'octet %d\n" % (two, n, at[n - 4])).encode()
        tally.equal("images: HIVTAP_VOLUME=%s" % choice, version_head(runner, two, choice),
                    (0, head, b""))
    miss = ("hivTAP: HIVTAP_VOLUME ne d\u00e9signe aucun volume Windows de l'image %s : 9 "
            "(volumes : %s)\n" % (two, both)).encode()
    os.environ["HIVTAP_VOLUME"] = "9"
    try:
        r = runner.run(two, ["HKCC\\Software\\Profil"])
    finally:
        del os.environ["HIVTAP_VOLUME"]
    tally.equal("images: HIVTAP_VOLUME naming no Windows volume", (r[0], r[2], r[3]),
                (1, miss, b""))


def device_group(tally, runner, disk):
    """The raw disk as a read-only loop device."""
    r = subprocess.run(["losetup", "-r", "-f", "--show", disk], stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT)
    if r.returncode != 0:
        print("SKIP images: a block device: losetup cannot run here (%s)" %
              r.stdout.decode(errors="replace").strip())
        return
    device = r.stdout.decode().strip()
    try:
        r = runner.run(device, ["/S", "/N", "/L:list.lst"], user="bob", listing=LISTING)
        tally.equal("images: a block device", (r[0], r[2], r[3]), (0, b"", EXPECTED))
    finally:
        subprocess.run(["losetup", "-d", device], check=True)


PARALLEL_LIST = [b"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProductName",
                 b"Nom=HKLM\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName"
                 b"\\ComputerName"]


def parallel_group(tally, runner, work, images):
    """One list over many registries, two at a time, as the README shows: 8
    folders of collected hives, each its own product name, and the images."""
    if not shutil.which("parallel"):
        print("SKIP images: GNU parallel: not installed (scripts/setup.sh installs it)")
        return
    registries = []
    for n in range(1, 9):
        folder = os.path.join(work, "pc%d" % n)
        hs.hf.make_tree(folder, {"SOFTWARE": ("HKEY_LOCAL_MACHINE\\SOFTWARE", [
            ("Microsoft\\Windows NT\\CurrentVersion", "ProductName", hs.REG_SZ,
             hs.sz("Windows %d" % n))])})
        registries.append(folder)
    registries += images
    out = os.path.join(work, "parallel")
    os.makedirs(out)
    with open(os.path.join(out, "list.lst"), "wb") as f:
        f.write(b"".join(line + b"\r\n" for line in PARALLEL_LIST))
    job = "HIVTAP_REGISTRY={} %s /S /N /L:list.lst {/}.txt" % shlex.quote(runner.hivtap)
    env = dict(os.environ, LC_ALL="C.UTF-8")
    env.pop("HIVTAP_USER", None)
    done = subprocess.run(["parallel", "--will-cite", "-j2", job, ":::"] + registries, cwd=out,
                          env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    tally.equal("images: GNU parallel, %d registries, 2 jobs" % len(registries),
                (done.returncode, done.stdout, done.stderr), (0, b"", b""))
    for registry in registries:
        single = runner.run(registry, ["/S", "/N", "/L:list.lst"], listing=PARALLEL_LIST)
        name = os.path.join(out, os.path.basename(registry) + ".txt")
        got = open(name, "rb").read() if os.path.exists(name) else None
        tally.equal("images: GNU parallel wrote %s as a single run does" %
                    os.path.basename(name), got, single[3])
    tally.equal("images: GNU parallel, a folder's own product name",
                open(os.path.join(out, "pc7.txt"), "rb").read(),
                hs.lines(b"ProductName=Windows 7", b"Nom= "))


def lazy_group(tally, runner, work, vol):
    """SYSTEM's base block destroyed: only a line that needs SYSTEM sees it."""
    lazy = os.path.join(work, "lazy.img")
    with open(vol, "rb") as f:
        data = bytearray(f.read())
    at = hive_at(data, b"ControlSet002")
    data[at:at + 4096] = b"\xff" * 4096
    with open(lazy, "wb") as f:
        f.write(data)
    r = runner.run(lazy, ["/S", "HKCU\\Control Panel\\Desktop\\Wallpaper"], user="bob")
    tally.equal("images: a run for HKCU reads no SYSTEM", (r[0], r[2], r[3]),
                (0, b"", b"bob.bmp\r\n"))
    r = runner.run(lazy, ["/S", "HKLM\\SYSTEM\\Select\\Current"], user="bob")
    tally.equal("images: a run for HKLM\\SYSTEM reads it", (r[0], r[2], r[3]), (0, (
        "hivTAP: ruche endommag\u00e9e, lue en partie : %s:/%s/SYSTEM\n" % (lazy, CONFIG)
    ).encode(), b"2\r\n"))


def sample_group(tally, runner, work, drive, samples):
    """The dirty NTUSER.DAT that Windows 10 wrote, as bob's, with its two logs
    and without them: the image's own files replayed as a folder's are."""
    for name, logs, text, warned in (
            ("with its LOG1 and LOG2", (".LOG1", ".LOG2"), b"", False),
            ("without its logs", (), b"testTEST", True)):
        tree = os.path.join(work, "sample-tree")
        shutil.rmtree(tree, ignore_errors=True)
        shutil.copytree(drive, tree)
        user = os.path.join(tree, "Users", "bob", "NTUSER.DAT")
        for suffix in ("",) + logs:
            with lzma.open(os.path.join(samples, "NewDirtyHive" + suffix + ".xz")) as f:
                data = f.read()
            with open(user + suffix, "wb") as out:
                out.write(data)
        vol = os.path.join(work, "sample.img")
        why = make_volume(vol, tree, work)
        r = runner.run(vol, ["/S", "/N", "/L:list.lst"], user="bob",
                       listing=[b"HKCU\\Key2\\v"])
        err = r[2].decode("latin-1")
        tally.check("images: the Windows 10 dirty hive %s" % name,
                    not why and r[0] == 0 and r[3] == hs.lines(b"v=" + text) and
                    (err.startswith("hivTAP: ruche sale (journaux non appliqu") and
                     err.count("\n") == 1 and ":/Users/bob/NTUSER.DAT" in err
                     if warned else err == ""),
                    "%r %r %r %r" % (why, r[0], r[2], r[3]))


def damage_group(tally, runner, work, vol, empty, disk, e01):
    """What cannot be read reads as missing, with one warning."""
    def cut(src, name, size):
        out = os.path.join(work, name)
        shutil.copy(src, out)
        os.truncate(out, size)
        return out

    e01dir = os.path.join(work, "e01cut")
    os.makedirs(e01dir)
    half = cut(e01, "e01cut/disk.E01", os.path.getsize(e01) // 2)
    rawcut = cut(disk, "rawcut.img", START + VOLUME // 2)
    zeroed = os.path.join(work, "zeroed.img")
    shutil.copy(vol, zeroed)
    with open(zeroed, "r+b") as f:
        f.seek(mft_record(vol, "/" + CONFIG))
        f.write(b"\0" * 1024)
    with open(vol, "rb") as f:
        software = hive_at(f.read(), b"ProfileList")
    runs = cut(disk, "runs.img", START + software + 4096)
    past = os.path.join(work, "past.img")
    make_disk(past, "dos", [vol], claim=[VOLUME * 2])
    blank = os.path.join(work, "blank.bin")
    open(blank, "wb").close()
    noise = os.path.join(work, "noise.bin")
    with open(noise, "wb") as f:
        f.write(random.Random(18).randbytes(2 * MIB))
    damaged = "hivTAP: image disque endommag\u00e9e, illisible : %s:%s\n"
    fallback = "hivTAP: ProfileList illisible, profils pris dans Users : anna, bob\n"
    nothing = hs.lines(b"Machine= ", b"computername=", b"ProductName=", b"x=", b"Profil=",
                       b"Wallpaper=", b"Content Type=", b"Courant= ", b"Content Type=",
                       b"Content Type=", b"Sale= ")
    # The user's hives lie before the cut: HKCU and the user's classes stay.
    users = nothing.replace(b"Courant= ", b"Courant= bob.bmp").replace(
        b"Content Type=\r\nContent Type=\r\nSale", b"Content Type=bob\r\nContent Type=\r\nSale")
    cases = [
        ("an E01 cut in half", half, 1, b"", (
            "hivTAP: aucun volume NTFS dans l'image disque (premier secteur nul : image vide ou "
            "endommag\u00e9e) : %s\n" % half).encode()),
        ("a raw disk cut inside its NTFS volume", rawcut, 0, nothing, (
            damaged % (rawcut, "/" + CONFIG) + fallback +
            damaged % (rawcut, "/Users/bob/NTUSER.DAT") +
            damaged % (rawcut, "/Users/bob/" + hs.CLASSES)).encode()),
        ("a zeroed MFT record of config/", zeroed, 0, users,
         (damaged % (zeroed, "/" + CONFIG) + fallback).encode()),
        # What lies before the cut reads; the files after it are each named.
        ("a raw disk cut inside the SOFTWARE hive", runs, 0, hs.lines(
            b"Machine= PC42", b"computername=SET001", b"ProductName=", b"x=1", b"Profil=0001",
            b"Wallpaper=", b"Content Type=", b"Courant= ", b"Content Type=", b"Content Type=",
            b"Sale= v2"), (damaged % (runs, "/%s/SOFTWARE" % CONFIG) + fallback +
                           damaged % (runs, "/Users/bob/NTUSER.DAT") +
                           damaged % (runs, "/Users/bob/" + hs.CLASSES) +
                           damaged % (runs, "/%s/DEFAULT.LOG2" % CONFIG)).encode()),
        ("a partition running past the disk's end", past, 0, EXPECTED, b""),
        ("random bytes", noise, 1, b"",
         ("hivTAP: aucun volume NTFS dans l'image disque : %s\n" % noise).encode()),
        ("an empty file", blank, 1, b"",
         ("hivTAP: ce fichier n'est pas une image disque lisible : %s\n" % blank).encode()),
        ("NTFS without Windows", empty, 1, b"", (
            "hivTAP: aucun volume NTFS de l'image disque ne contient "
            "Windows\\System32\\config\\SYSTEM : %s\n" % empty).encode()),
    ]
    for name, path, code, out, err in cases:
        r = runner.run(path, ["/S", "/N", "/L:list.lst"], user="bob", listing=LISTING)
        tally.equal("images damage: %s" % name, (r[0], r[2], r[3]), (code, err, out))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--hivtap", required=True)
    parser.add_argument("--maker", required=True)
    parser.add_argument("--samples", required=True,
                        help="the folder of the Windows 10 dirty hive sample")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    tally = Tally()
    work = tempfile.mkdtemp(prefix="hivtap-images-")
    try:
        missing = [t for t in ("mkntfs", "sfdisk", "ewfacquirestream", "qemu-img", "ntfsinfo")
                   if not shutil.which(t)]
        if missing:
            print("SKIP images: missing tools: %s (scripts/setup.sh installs them)" %
                  ", ".join(missing))
            return SKIPPED
        runner = hs.Runner(os.path.abspath(args.hivtap), work)
        drive = make_tree(work, os.path.abspath(args.maker))
        vol = os.path.join(work, "vol.img")
        why = make_volume(vol, drive, work)
        if why:
            print("SKIP images: cannot mount an NTFS volume here (%s)" % why)
            return SKIPPED
        empty = os.path.join(work, "empty.img")
        make_volume(empty, None, work, 16 * MIB)
        disk = os.path.join(work, "raw", "disk.img")
        os.makedirs(os.path.dirname(disk))
        make_disk(disk, "dos", [vol])
        formats = make_formats(work, disk)
        extracted = os.path.join(work, "extracted")
        why = mount_and_copy(vol, None, work, extracted)
        tally.check("images: the drive copied back out of the volume", not why, why or "")
        formats_group(tally, runner, work, extracted, formats)
        volume_group(tally, runner, work, vol, empty)
        lazy_group(tally, runner, work, vol)
        device_group(tally, runner, disk)
        parallel_group(tally, runner, work, [extracted, vol, os.path.join(work, "gpt.img")] +
                       list(formats.values()))
        damage_group(tally, runner, work, vol, empty, disk, formats["E01"])
        image_hostile.hostile_groups(tally, runner, work, make_disk, vol, disk, mft_record,
                                     CONFIG)
        image_hostile.cut_group(tally, runner, work, formats, LISTING, EXPECTED)
        sample_group(tally, runner, work, drive, args.samples)
    except Exception as failure:
        import traceback
        traceback.print_exc()
        tally.check("the suite ran to its end", False, repr(failure))
    finally:
        if args.keep:
            print("work directory kept:", work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    return tally.finish()


if __name__ == "__main__":
    sys.exit(main())
