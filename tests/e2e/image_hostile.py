"""Images made to hold or mislead the reader: partition tables the Sleuth
Kit would read without end, a hive whose NTFS file record fails its checks,
and an image rewritten while a run opens it. Each run ends with a message
that names the image and the cause, or reads what is there and warns."""

import os
import shutil
import struct
import subprocess
import threading
import time
import zlib

MIB = 1 << 20
ENDLESS = 10  # seconds: a run still going then counts as endless
RUNS = 150  # runs against an image being rewritten: about 1 in 80 hit the race


def _gpt_header_crc(data, at):
    size = struct.unpack_from("<I", data, at + 12)[0]
    struct.pack_into("<I", data, at + 16, 0)
    struct.pack_into("<I", data, at + 16, zlib.crc32(bytes(data[at:at + size])))


def _claim_entries(src, dst, count, fix_crc, fill=False):
    """sfdisk's GPT disk `src`, its primary header claiming `count` entries;
    with `fill` the entries are there, each a copy of the first."""
    data = bytearray(open(src, "rb").read())
    if fill:
        first = bytes(data[1024:1024 + 128])
        need = 1024 + count * 128 + MIB
        data += bytearray(max(0, need - len(data)))
        for i in range(count):
            entry = bytearray(first)
            struct.pack_into("<QQ", entry, 32, 40000 + i, 40000 + i)
            data[1024 + i * 128:1024 + (i + 1) * 128] = entry
        struct.pack_into("<I", data, 512 + 88, zlib.crc32(bytes(data[1024:1024 + count * 128])))
    struct.pack_into("<I", data, 512 + 80, count)
    if fix_crc:
        _gpt_header_crc(data, 512)
    with open(dst, "wb") as f:
        f.write(data)
    return dst


def _extended_loop(src, dst):
    """sfdisk's MBR disk with logical partitions, its first extended boot
    record linked back to itself."""
    data = bytearray(open(src, "rb").read())
    extended = next(struct.unpack_from("<I", data, 0x1BE + 16 * i + 8)[0] for i in range(4)
                    if data[0x1BE + 16 * i + 4] in (0x05, 0x0F, 0x85))
    link = extended * 512 + 0x1CE
    data[link + 4] = 0x05
    struct.pack_into("<II", data, link + 8, 0, 1)
    with open(dst, "wb") as f:
        f.write(data)
    return dst


def _timed(runner, path):
    """(exit code, standard error, output file, seconds) of one list run."""
    start = time.monotonic()
    r = runner.run(path, ["/S", "/N", "/L:list.lst"], listing=[b"HKLM\\SYSTEM\\Select\\Current"])
    return r[0], r[2], r[3], time.monotonic() - start


def table_group(tally, runner, work, make_disk, vol):
    """Endless partition tables are refused before the library reads them:
    one message naming the image, exit 1, no output file, at once."""
    gpt = os.path.join(work, "hostile-gpt.img")
    make_disk(gpt, "gpt", [vol])
    small = os.path.join(work, "hostile-small-gpt.img")
    make_disk(small, "gpt", [])
    dos = os.path.join(work, "hostile-dos.img")
    with open(dos, "wb") as f:
        f.truncate(4 * MIB)
    subprocess.run(["sfdisk", "-q", dos], check=True, capture_output=True,
                   input=b"label: dos\nstart=2048, size=2048, type=83\n"
                         b"start=4096, size=4096, type=5\nstart=4160, size=512, type=83\n"
                         b"start=5120, size=512, type=7\n")
    refused = "hivTAP: table de partitions refus\u00e9e (%s) : %s\n"
    many = "table GPT de %d entr\u00e9es, plus de 4096"
    cases = [
        ("GPT claiming 0xFFFFFFFF entries, header CRC recomputed",
         _claim_entries(gpt, os.path.join(work, "gpt-ffff.img"), 0xFFFFFFFF, True),
         many % 0xFFFFFFFF),
        ("GPT claiming 0xFFFFFFFF entries, header CRC wrong",
         _claim_entries(gpt, os.path.join(work, "gpt-ffff-crc.img"), 0xFFFFFFFF, False),
         many % 0xFFFFFFFF),
        ("GPT of 65,536 entries, all there",
         _claim_entries(small, os.path.join(work, "gpt-65536.img"), 65536, True, fill=True),
         many % 65536),
        ("extended partitions linked in a loop",
         _extended_loop(dos, os.path.join(work, "dos-loop.img")),
         "plus de 128 partitions \u00e9tendues encha\u00een\u00e9es"),
    ]
    for name, path, why in cases:
        code, err, out, seconds = _timed(runner, path)
        print("TIME images hostile: %s: %.2f s" % (name, seconds))
        tally.equal("images hostile: %s" % name, (code, err, out),
                    (1, (refused % (why, path)).encode(), b""))
        tally.check("images hostile: %s ends [%.2f s]" % (name, seconds), seconds < ENDLESS)


def fixup_group(tally, runner, work, vol, mft_record, config):
    """config/SAM's file record with its fixup zeroed fails its integrity
    check: HKLM\\SAM reads as missing, with one warning naming it."""
    bad = os.path.join(work, "hostile-fixup.img")
    shutil.copy(vol, bad)
    at = mft_record(vol, "/%s/SAM" % config)
    with open(bad, "r+b") as f:
        f.seek(at + 4)
        usa, count = struct.unpack("<HH", f.read(4))
        f.seek(at + usa)
        f.write(b"\0" * (2 * count))
    r = runner.run(bad, ["/S", "/N", "/L:list.lst"], user="bob",
                   listing=[b"HKLM\\SAM\\SAM\\x", b"HKLM\\SYSTEM\\Select\\Current"])
    warning = ("hivTAP: image disque endommag\u00e9e, illisible : %s:/%s/SAM\n" % (bad, config))
    tally.equal("images hostile: a zeroed fixup in SAM's file record",
                (r[0], r[2], r[3]), (0, warning.encode(), b"x=\r\nCurrent=2\r\n"))
    version = runner.run(bad, ["--version"], user="bob")[1].decode("utf-8")
    tally.check("images hostile: --version still names HKLM\\SAM",
                "ruche HKLM\\SAM : /%s/SAM\n" % config in version, version)


def rewrite_group(tally, runner, work, disk):
    """The image cut short and written back, over and over, while runs open
    it: each run reads, or fails with a message naming the image; none fails
    with an empty one."""
    moving = os.path.join(work, "hostile-moving.img")
    shutil.copy(disk, moving)
    whole = open(disk, "rb").read()
    stop = threading.Event()

    def rewrite():
        while not stop.is_set():
            with open(moving, "r+b") as f:
                f.truncate(0)
                time.sleep(0.001)
                f.write(whole)
            time.sleep(0.001)

    writer = threading.Thread(target=rewrite)
    writer.start()
    failures = []
    try:
        for _ in range(RUNS):
            r = runner.run(moving, ["/S", "HKLM\\SYSTEM\\Select\\Current"], user="bob")
            if r[0] != 0:
                failures.append(r[2])
    finally:
        stop.set()
        writer.join()
    print("NOTE images hostile: %d of %d runs failed while the image was rewritten"
          % (len(failures), RUNS))
    tally.check("images hostile: every failure while the image is rewritten names it",
                all(e.startswith(b"hivTAP: ") and moving.encode() in e for e in failures),
                repr([e for e in failures if moving.encode() not in e][:3]))


# Cut by 512 bytes, the E01 that ewfacquirestream writes loses what libewf
# needs to open it at all (by 1 byte or 4 KiB it opens): reading its chunks
# without that would take an E01 reader of our own.
LIBEWF_REFUSES = {("E01", 512)}


def cut_group(tally, runner, work, formats, listing, expected):
    """Every format cut short by 1 byte, 512 bytes and 4 KiB: the cut takes
    only what follows the data (a footer, the disk's spare end), so every
    value still reads; a VHD or VMDK, whose library refuses it whole, is
    read here with one warning, as is a copy of a VMDK under another name."""
    for name, path in sorted(formats.items()):
        for cut in (1, 512, 4096):
            if (name, cut) in LIBEWF_REFUSES:
                print("NOTE images cut: %s by %d bytes left out: libewf refuses it" % (name, cut))
                continue
            folder = os.path.join(work, "cut-%s-%d" % (name.replace(" ", "-"), cut))
            os.makedirs(folder)
            # The image's files: a split set's segments, or the one file.
            base = os.path.basename(path)
            names = [base] if name != "split raw" else sorted(os.listdir(os.path.dirname(path)))
            for n in names:
                shutil.copy(os.path.join(os.path.dirname(path), n), folder)
            image = os.path.join(folder, base)
            if name in ("VHD", "VMDK"):
                # A copy named as an examiner names it: a VMDK's descriptor
                # then names another file.
                os.rename(image, os.path.join(folder, "pc42-copie" + os.path.splitext(base)[1]))
                image = names[0] = os.path.join(folder, "pc42-copie" + os.path.splitext(base)[1])
            last = os.path.join(folder, names[-1])
            os.truncate(last, os.path.getsize(last) - cut)
            r = runner.run(image, ["/S", "/N", "/L:list.lst"], user="bob", listing=listing)
            warning = b""
            if name in ("VHD", "VMDK"):
                warning = ("hivTAP: image disque %s tronqu\u00e9e, ce qui manque est illisible : "
                           "%s\n" % (name, image)).encode()
            tally.equal("images cut: %s by %d bytes" % (name, cut), (r[0], r[2], r[3]),
                        (0, warning, expected))
            shutil.rmtree(folder)
    # Renamed but whole: read alike, with nothing to warn of.
    renamed = os.path.join(work, "pc42-copie.vmdk")
    shutil.copy(formats["VMDK"], renamed)
    r = runner.run(renamed, ["/S", "/N", "/L:list.lst"], user="bob", listing=listing)
    tally.equal("images cut: a whole VMDK under another name", (r[0], r[2], r[3]),
                (0, b"", expected))


def hostile_groups(tally, runner, work, make_disk, vol, disk, mft_record, config):
    table_group(tally, runner, work, make_disk, vol)
    fixup_group(tally, runner, work, vol, mft_record, config)
    rewrite_group(tally, runner, work, disk)
