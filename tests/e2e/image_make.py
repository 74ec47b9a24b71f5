"""The images the image suite reads: the drive folder (hive_suite's, with
a dirty DEFAULT), an NTFS volume filled through a mount, disks with sfdisk's
tables, and the formats qemu-img and ewfacquirestream convert them to; and
where a file's record and a hive lie in a volume, for the damage made."""

import os
import shutil
import struct
import subprocess

import hive_suite as hs

MIB = 1 << 20
VOLUME = 24 * MIB
START = MIB  # where sfdisk puts the first partition (sector 2048)
CONFIG = "Windows/system32/config"  # spelled unlike Windows' own: any case
BOB = hs.BOB

LISTING = [
    b"Machine=HKLM\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName\\ComputerName",
    b"hklm\\system\\controlset001\\control\\computername\\computername\\computername",
    b"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProductName",
    b"HKLM\\SAM\\SAM\\x",
    b"HKCC\\Software\\Profil",
    b"HKU\\" + hs.ANNA.encode() + b"\\Control Panel\\Desktop\\Wallpaper",
    b"HKU\\" + BOB.encode() + b"_Classes\\.user\\Content Type",
    b"Courant=HKCU\\Control Panel\\Desktop\\Wallpaper",
    b"HKCR\\.both\\Content Type",
    b"HKCR\\.machine\\Content Type",
    b"Sale=HKU\\.DEFAULT\\Version",
]
EXPECTED = hs.lines(b"Machine= PC42", b"computername=SET001", b"ProductName=Windows 10 Pro",
                    b"x=1", b"Profil=0001", b"Wallpaper=anna.bmp", b"Content Type=bob only",
                    b"Courant= bob.bmp", b"Content Type=bob", b"Content Type=machine only",
                    b"Sale= v2")


def sh(*cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def make_tree(work, maker):
    """The drive folder: hive_suite's, its DEFAULT dirty with two logs."""
    drive = os.path.join(work, "drive")
    hs.make_drive(drive)
    os.rename(os.path.join(drive, "Windows/System32"), os.path.join(drive, "Windows/system32"))
    os.rename(os.path.join(drive, "Users/anna/NTUSER.DAT"),
              os.path.join(drive, "Users/anna/ntuser.dat"))
    dirty = os.path.join(work, "dirty")
    os.makedirs(dirty)
    version = sh(maker, dirty, "new").stdout.decode().strip()
    assert version == "v2", version
    for suffix in ("", ".LOG1", ".LOG2"):
        shutil.copy(os.path.join(dirty, "SYSTEM" + suffix),
                    os.path.join(drive, CONFIG, "DEFAULT" + suffix))
    return drive


def mount_and_copy(volume, tree, work, out=None):
    """Copies `tree` into the NTFS volume file, or the volume's files out to
    `out`; the reason when it cannot."""
    mnt = os.path.join(work, "mnt")
    os.makedirs(mnt, exist_ok=True)
    tried = []
    ro = ["-o", "ro"] if out else []
    for cmd in (["ntfs-3g"] + ro + [volume, mnt],
                ["mount", "-o", "loop" + (",ro" if out else ""), volume, mnt]):
        r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if r.returncode == 0:
            try:
                if tree:
                    shutil.copytree(tree, mnt, dirs_exist_ok=True)
                if out:
                    shutil.copytree(mnt, out, ignore=shutil.ignore_patterns("$*"))
            finally:
                subprocess.run(["umount", mnt], check=True)
            return None
        tried.append("%s: %s" % (cmd[0], r.stdout.decode(errors="replace").strip()))
    return "; ".join(tried)


def make_volume(path, tree, work, size=VOLUME):
    with open(path, "wb") as f:
        f.truncate(size)
    sh("mkntfs", "-F", "-Q", "-q", path)
    return mount_and_copy(path, tree, work)


def make_disk(path, label, volumes, claim=None):
    """A disk holding `volumes` (files) one after another from 1 MiB on, with
    the partition table sfdisk writes; `claim` overrides the sizes it gives."""
    sizes = [os.path.getsize(v) for v in volumes]
    total = START + sum(sizes) + MIB
    with open(path, "wb") as f:
        f.truncate(max(total, START + sum(claim or sizes) + MIB))
    kind = "7" if label == "dos" else "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"
    table, at = "label: %s\n" % label, START
    for n in claim or sizes:
        table += "start=%d, size=%d, type=%s\n" % (at // 512, n // 512, kind)
        at += n
    sh("sfdisk", "-q", path, input=table.encode())
    with open(path, "r+b") as f:
        at = START
        for v, n in zip(volumes, sizes):
            f.seek(at)
            with open(v, "rb") as src:
                f.write(src.read())
            at += n
        f.truncate(total)


def make_formats(work, disk):
    """{format: the path hivtap is given}, each made from the raw MBR disk."""
    made = {"raw MBR": disk}
    e01 = os.path.join(work, "e01", "disk")
    os.makedirs(os.path.dirname(e01))
    with open(disk, "rb") as f:
        sh("ewfacquirestream", "-q", "-C", "case", "-D", "disk", "-E", "1", "-e", "test",
           "-N", "none", "-m", "fixed", "-M", "physical", "-c", "fast", "-t", e01, stdin=f)
    made["E01"] = e01 + ".E01"
    for fmt, ext in (("vmdk", "vmdk"), ("vpc", "vhd"), ("vhdx", "vhdx")):
        out = os.path.join(work, "disk." + ext)
        sh("qemu-img", "convert", "-f", "raw", "-O", fmt, disk, out)
        made[ext.upper()] = out
    split = os.path.join(work, "split")
    os.makedirs(split)
    sh("split", "-b", "10M", "-d", "-a", "3", "--numeric-suffixes=1", disk,
       os.path.join(split, "disk."))
    made["split raw"] = os.path.join(split, "disk.001")
    return made


def mft_record(vol, path):
    """The byte offset of `path`'s MFT record in the volume (ntfsinfo),
    checked against the record's own number."""
    out = sh("ntfsinfo", "-F", path, vol).stdout.decode()
    inode = int(out.split("Dumping Inode")[1].split()[0])
    mft = sh("ntfsinfo", "-m", vol).stdout.decode()
    fields = dict(line.strip().partition(":")[::2] for line in mft.splitlines() if ":" in line)
    at = (int(fields["LCN of Data Attribute for FILE_MFT"]) * int(fields["Cluster Size"]) +
          inode * int(fields["MFT Record Size"]))
    with open(vol, "rb") as f:
        f.seek(at)
        record = f.read(48)
    assert record[:4] == b"FILE" and struct.unpack_from("<I", record, 44)[0] == inode, path
    return at


def hive_at(data, marker):
    """The offset of the base block of the hive whose key `marker` names."""
    return data.rindex(b"regf", 0, data.index(marker)) // 4096 * 4096
