"""Faults of the output stage and hostile inputs, end to end. Each fault
states the message, the exit code and the exact bytes left in the output
file: its old bytes and every complete result line the run wrote, never a
torn last line, and never less than the old bytes."""

import os
import random
import re
import struct
import subprocess
import sys

from cases import K, MISSING_LIST, OUT, OUTPUT_FAILED, SZ, WALL, missing_list, output_failed
from fault_mounts import L9, L9_LINE, full_disk_input, mounted_rows, umount
from harness import WINE, WINE_TIMEOUT, Case, prepare, read_or_empty, show, verify, winpath

MIB = 1024 * 1024


def name_cases(sep):
    """Long and wildcard names, shared by both builds."""
    a100, b100 = "A" * 100, "B" * 100
    deep = a100 + "/" + b100 + "/"
    name260 = (a100 + sep + b100 + sep + "c" * 58).encode("ascii")
    return [
        Case("output name of 260 bytes", args=[WALL, name260], dirs=[deep], code=1,
             out=OUTPUT_FAILED,
             err=output_failed(name260.replace(b"\\", b"/"), b"File name too long")),
        Case("output name of 5,000 bytes", args=[WALL, b"x" * 5000], code=1, out=OUTPUT_FAILED,
             err=output_failed(b"x" * 5000, b"File name too long")),
        Case("list name of 5,000 bytes names no file", args=[b"/L:" + b"k" * 5000],
             out=MISSING_LIST, err=missing_list(b"k" * 5000), after={OUT: b""}),
        Case("output name holding *", args=[WALL, b"out*.txt"], code=1, out=OUTPUT_FAILED,
             err=output_failed(b"out*.txt", b"Invalid argument")),
        Case("output name holding ?", args=[WALL, b"out?.txt"], code=1, out=OUTPUT_FAILED,
             err=output_failed(b"out?.txt", b"Invalid argument")),
        Case("list name holding ? is no file, even one on disk", args=[b"/L:k?ys.lst"],
             files={"k?ys.lst": SZ + b"\r\n"}, out=MISSING_LIST, err=missing_list(b"k?ys.lst"),
             after={OUT: b""}),
        Case("list file that fails to read (EIO)",
             args=[b"/L:" + sep.join(["", "proc", "self", "mem"]).encode("ascii")],
             code=1, out=OUTPUT_FAILED, after={OUT: b""},
             err=output_failed(b"/proc/self/mem", b"Input/output error")),
    ]


def held_cases(mode_of):
    """A file held open for writing by another process. mode_of(name) gives
    the run's mode that holds `name`."""
    return [
        Case("output file held by another process", args=[WALL, b"out.txt"],
             files={"out.txt": b"old\r\n"}, mode=mode_of("out.txt"), code=1, out=OUTPUT_FAILED,
             err=output_failed(b"out.txt", b"Resource temporarily unavailable")),
        Case("list file held by another process", args=[b"/L:l.lst"],
             files={"l.lst": WALL + b"\r\n"}, mode=mode_of("l.lst"), code=1, out=OUTPUT_FAILED,
             after={OUT: b""}, err=output_failed(b"l.lst", b"Resource temporarily unavailable")),
    ]


def check_files(tally, name, expected):
    for path, data in expected.items():
        if data is None:
            tally.check("%s [no file %s]" % (name, os.path.basename(path)),
                        not os.path.exists(path))
        else:
            tally.equal("%s [file %s]" % (name, os.path.basename(path)), read_or_empty(path),
                        data)


def windows_faults(tally, runner, work, label):
    rows, mounts = mounted_rows(work, label, lambda p: winpath(p).encode("ascii"))
    try:
        runner.run_cases(tally, label + "-faults", [c for c, _ in rows] + name_cases("\\") +
                         held_cases(lambda name: "held:" + name) + hostile_cases()[:2])
        for case, expected in rows:
            check_files(tally, "%s-faults: %s" % (label, case.name), expected)
    finally:
        for m in mounts:
            umount(m)


# What a Ctrl-C ends a Windows program with.
STATUS_CONTROL_C_EXIT = 0xC000013A


def windows_ctrl_c(tally, runner, label):
    """Ctrl-C during a long list run, sent once the output file holds 4 KiB:
    the file keeps its old bytes and ends at the end of a copied line, and
    the exit code is the console's. Where the event lands varies, so the file
    is checked for what holds wherever it lands before the run's end."""
    directory = os.path.join(runner.work, label + "-ctrlc")
    prepare(Case(""), directory)
    old = b"old\r\n"
    # Lines that name no key are copied through: no registry is read.
    whole = b"".join(b"line %07d " % i + b"x" * 37 + b"\r\n" for i in range(300000))
    with open(os.path.join(directory, "l.lst"), "wb") as f:
        f.write(whole)
    with open(os.path.join(directory, "out.txt"), "wb") as f:
        f.write(old)
    at = 4096
    base = os.path.join(runner.work, label + "-ctrlc-std")
    report = runner.launch([(runner.hivtap, directory, base, "ctrlc:%d:out.txt" % at,
                             b"hivtap.exe /S /L:l.lst out.txt")], "C.UTF-8")[0]
    name = "%s: Ctrl-C during a list run" % label
    tally.equal(name + " [exit code]", report, "exit %d" % STATUS_CONTROL_C_EXIT)
    out = read_or_empty(os.path.join(directory, "out.txt"))
    tally.check(name + " [file ends at a line end, past the point of the event]",
                out.endswith(b"\r\n") and old + whole[:len(out) - len(old)] == out and
                at - 50 <= len(out) < len(old) + len(whole),
                "%d bytes, ending %s" % (len(out), show(out[-24:])))


# The native build, run directly.
# Starts the program from a small process of its own and reports its exit
# code and peak memory: a child started from the test itself would count
# the test's own peak as its own.
SPAWN = """import os, signal, sys
pid = os.posix_spawn(sys.argv[3], sys.argv[3:], os.environ)
signal.signal(signal.SIGALRM, lambda *_: os.kill(pid, signal.SIGKILL))
signal.alarm(int(sys.argv[2]))
_, status, usage = os.wait4(pid, 0)
with open(sys.argv[1], "w") as f:
    f.write("%d %d" % (os.waitstatus_to_exitcode(status), usage.ru_maxrss))
"""


def spawn(runner, directory, args, preexec=None, kill_after=60):
    """Runs the native build; returns (exit code, stdout bytes, stderr
    bytes, peak resident set in KiB). The exit code is -9 when killed."""
    argv = [runner.hivtap] + [a.decode("cp1252").encode("utf-8") for a in args]
    out_path, err_path, report = (directory + x for x in ("-std.out", "-std.err", "-rss"))
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        subprocess.run([sys.executable, "-c", SPAWN, report, str(kill_after)] + argv,
                       cwd=directory, env=runner.env(), stdin=subprocess.DEVNULL, stdout=out,
                       stderr=err, preexec_fn=preexec, check=True)
    with open(report) as f:
        code, rss = (int(x) for x in f.read().split())
    return code, read_or_empty(out_path), read_or_empty(err_path), rss


def ofd_lock(path):
    """An open-file-description write lock on path, as a Windows process
    holding the file for writing; the descriptor holds it until closed."""
    import fcntl  # POSIX only
    fd = os.open(path, os.O_RDWR)
    fcntl.fcntl(fd, getattr(fcntl, "F_OFD_SETLK", 37), struct.pack("hhxxxxqqixxxx", fcntl.F_WRLCK,
                                                                   0, 0, 0, 0))
    return fd


def run_native_rows(tally, runner, label, rows, preexec=None):
    for i, (case, expected) in enumerate(rows):
        directory = os.path.join(runner.work, "%s-%02d" % (label, i))
        prepare(case, directory)
        held = []
        if case.mode.startswith("held:"):
            held.append(ofd_lock(os.path.join(directory, case.mode[5:])))
        try:
            code, out, err, _ = spawn(runner, directory, case.args, preexec)
        finally:
            for fd in held:
                os.close(fd)
        verify(tally, label, case, "utf8", code, out, err, directory)
        check_files(tally, "%s: %s" % (label, case.name), expected)


def relative(path, work):
    """The name of path from a case directory, a directory of work."""
    return os.path.join("..", os.path.relpath(path, work)).encode("ascii")


def file_size_limit_row(work):
    """A file-size limit stops the writes part way, as a full disk does."""
    path = os.path.join(work, "fsize-out.txt")
    old, listing, kept = full_disk_input(16384)
    with open(path, "wb") as f:
        f.write(old)
    case = Case("file-size limit reached during a long list",
                args=[b"/S", b"/L:l.lst", relative(path, work)],
                files={"l.lst": listing}, code=1, out=OUTPUT_FAILED,
                err=output_failed(relative(path, work), b"File too large"))
    return case, {path: kept}


def pipe_closing_halfway(tally, runner, label):
    """The reader of standard output goes away after 1,100 bytes: the run
    stops, and the file holds whole result lines only, at least those the
    reader saw."""
    directory = os.path.join(runner.work, label + "-halfpipe")
    prepare(Case("", files={"l9.lst": (L9 + b"\r\n") * 20000}), directory)
    read_end, write_end = os.pipe()
    seen = b""
    p = subprocess.Popen([runner.hivtap, "/L:l9.lst"], cwd=directory, env=runner.env(),
                         stdin=subprocess.DEVNULL, stdout=write_end, stderr=subprocess.PIPE)
    os.close(write_end)
    while len(seen) < 1100:
        chunk = os.read(read_end, 1100 - len(seen))
        if not chunk:
            break
        seen += chunk
    os.close(read_end)
    _, err = p.communicate(timeout=60)
    name = "%s: pipe closing halfway" % label
    tally.equal(name + " [exit code]", p.returncode, 1)
    tally.check(name + " [standard error]", err.endswith(b"\n") and b"\r" not in err, show(err))
    kept = read_or_empty(os.path.join(directory, OUT))
    lines = len(kept) // len(L9_LINE)
    # The console's lines end with LF alone.
    tally.check(name + " [file: whole lines, at least those the reader saw]",
                kept == L9_LINE * lines and len(seen) // (len(L9_LINE) - 1) - 1 <= lines < 20000,
                "%d bytes seen, file %s" % (len(seen), show(kept[-40:])))


def export_size_limit(tally, runner, label):
    """An export stopped part way by a file-size limit, as a full disk stops
    it: its records leave in writes of many at once, yet the file keeps only
    whole ones, each a JSON object."""
    import json
    import resource
    directory = os.path.join(runner.work, label + "-export-fsize")
    os.makedirs(directory)
    limit = 40000
    p = subprocess.Popen([runner.hivtap, "/S", "/W", "/F:json", "HKLM\\Software\\**\\*",
                          "out.jsonl"], cwd=directory, env=runner.env(),
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE,
                                                               (limit, limit)))
    out, err = p.communicate(timeout=60)
    kept = read_or_empty(os.path.join(directory, "out.jsonl"))
    name = "%s: export stopped by a file-size limit" % label
    tally.equal(name + " [exit code]", p.returncode, 1)
    tally.check(name + " [message]", b"fichier de sortie" in out, show(out))
    lines = kept.split(b"\n")
    whole = lines[-1] == b"" and all(json.loads(line) for line in lines[:-1])
    tally.check(name + " [file: whole records only]",
                whole and limit - 4096 < len(kept) <= limit, "%d bytes, ends %s" % (
                    len(kept), show(kept[-40:])))


# Hostile list files: what each gives, in bounded memory.
def hostile_cases():
    rnd = random.Random(8)
    noise = bytes(b for b in rnd.randbytes(MIB) if b != 0x1A)
    lines = noise.split(b"\n")
    if noise.endswith(b"\n"):
        lines.pop()
    lines = [x.replace(b"\r", b"") for x in lines]
    # The native build reads a line that is well-formed UTF-8 as UTF-8; the
    # lines that Windows-1252 would need best-fit characters for are left out.
    kept = [x for x in lines if _as_utf8(x) is not None]
    noise_native = b"\n".join(kept)
    noise_native_out = b"".join(_as_utf8(x) + b"\r\n" for x in kept if not x.startswith(b";"))
    million = (L9 + b"\r\ntexte\r\n;c\r\n\r\n") * 250000
    segments = b"HKCU\\" + b"s\\" * 99998 + b"v"  # 100,000 segments
    short_segments = b"HKCU\\" + b"s\\" * 29998 + b"v"  # 60 KB: still a key line
    return [
        Case("one list line of 10 MB is copied through, one comment of 10 MB skipped",
             args=[b"/S", b"/L:l.lst"],
             files={"l.lst": b"y" * (10 * MIB) + b"\r\n;" + b"c" * (10 * MIB) + b"\r\n" + L9},
             after={OUT: b"y" * (10 * MIB) + b"\r\n" + L9_LINE}),
        Case("key path of 100,000 segments is too long for a key: copied through; one of "
             "30,000 is read", args=[b"/S", b"/N", b"/L:l.lst"],
             files={"l.lst": segments + b"\r\n" + short_segments + b"\r\n"},
             after={OUT: segments + b"\r\nv=\r\n"}),
        Case("list of 1,000,000 lines", args=[b"/S", b"/L:l.lst"], files={"l.lst": million},
             after={OUT: (L9_LINE + b"texte\r\n\r\n") * 250000}),
        Case("random binary list without Ctrl-Z: every line copied through, UTF-8 decoded",
             args=[b"/S", b"/N", b"/L:l.lst"], files={"l.lst": noise_native},
             after={OUT: noise_native_out}),
    ]


def _as_utf8(line):
    """A list line as the native build reads it; None where that takes a
    best-fit character."""
    try:
        text = line.decode("utf-8")
    except UnicodeDecodeError:
        return line
    try:
        return text.encode("cp1252")
    except UnicodeEncodeError:
        return None


def prefix_state(prefix):
    """Bytes of the registry files and times of every file of the prefix."""
    state = {}
    for root, _, names in os.walk(prefix.path):
        for name in names:
            path = os.path.join(root, name)
            st = os.lstat(path)
            state[path] = (st.st_size, st.st_mtime_ns)
    state.update(("bytes " + k, v) for k, v in prefix.reg_files().items())
    return state


def prefix_unchanged(tally, prefix, before):
    after = prefix_state(prefix)
    changed = sorted(k for k in set(before) | set(after) if before.get(k) != after.get(k))
    tally.equal("native: the prefix's files keep their bytes and times", changed, [])


def native_faults(tally, runner, work):
    # Relative names: a name beginning with "/" is an option.
    rows, mounts = mounted_rows(work, "native", lambda p: relative(p, work))
    try:
        rows += [(c, {}) for c in name_cases("/") + held_cases(lambda name: "held:" + name)]
        rows.append(file_size_limit_row(work))
        run_native_rows(tally, runner, "native-faults", rows[:-1])
        # The limit applies to every file the run writes, its console file too.
        import resource
        run_native_rows(tally, runner, "native-fsize", rows[-1:], preexec=lambda: resource.
                        setrlimit(resource.RLIMIT_FSIZE, (16384, 16384)))
    finally:
        for m in mounts:
            umount(m)
    pipe_closing_halfway(tally, runner, "native-faults")
    export_size_limit(tally, runner, "native-faults")

    # Memory: a run over a hostile list peaks within 8 MiB of a plain one;
    # not measured under a sanitizer, whose own heap keeps freed blocks.
    with open(runner.hivtap, "rb") as f:
        image = f.read()
    # Linked statically (clang) or against libasan (gcc).
    measured = b"AddressSanitizer" not in image and b"__asan_init" not in image
    if not measured:
        print("NOTE native: a sanitizer build: peak memory not checked")
    base = os.path.join(work, "native-rss-base")
    prepare(Case(""), base)
    rss0 = spawn(runner, base, [b"/S", WALL])[3]
    for i, case in enumerate(hostile_cases()):
        directory = os.path.join(work, "native-hostile-%02d" % i)
        prepare(case, directory)
        code, out, err, rss = spawn(runner, directory, case.args)
        verify(tally, "native-hostile", case, "utf8", code, out, err, directory)
        if measured:
            tally.check("native-hostile: %s [peak memory]" % case.name, rss <= rss0 + 8192,
                        "%d KiB, a plain run %d KiB" % (rss, rss0))
    directory = os.path.join(work, "native-hostile-zero")
    prepare(Case(""), directory)
    code, _, _, rss = spawn(runner, directory,
                            [b"/S", b"/L:/dev/zero", os.path.relpath("/dev/null", directory)
                             .encode("ascii")], kill_after=2)
    name = "native-hostile: /L:/dev/zero reads without end"
    tally.equal(name + " [still running after 2 s]", code, -9)
    if measured:
        tally.check(name + " [peak memory]", rss <= rss0 + 8192,
                    "%d KiB, a plain run %d KiB" % (rss, rss0))



def windows_read_only(tally, prefix, hivtap, work, label):
    """Wine's trace of the run: every key of the test values is opened with
    KEY_READ | KEY_WOW64_64KEY (0x20119) and none is created."""
    directory = os.path.join(work, label + "-trace")
    prepare(Case(""), directory)
    with open(os.path.join(directory, "l.lst"), "wb") as f:
        f.write(b"".join(x + b"\r\n" for x in (
            WALL, SZ, b"HKLM\\Software\\hivtap-e2e\\View", K + b"\\Nope\\Nope")))
    env = prefix.env()
    env["WINEDEBUG"] = "trace+reg"
    r = subprocess.run(WINE + [hivtap, "/S", "/N", "/L:l.lst"], cwd=directory, env=env,
                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       timeout=WINE_TIMEOUT, check=False)
    name = "%s: read-only registry access" % label
    tally.equal(name + " [exit code]", r.returncode, 0)
    tally.equal(name + " [file]", read_or_empty(os.path.join(directory, OUT)),
                b"Wallpaper=fond.bmp\r\nSz=abc\r\nView=64\r\nNope=\r\n")
    # The program's thread is the one that reads values through the ANSI
    # entry; Wine's own processes read the seeded keys too.
    threads = set(re.findall(rb"^([0-9a-f]+):trace:reg:RegQueryValueExA ", r.stderr, re.M))
    opens = [access for thread, access in re.findall(
        rb'^([0-9a-f]+):trace:reg:NtOpenKeyEx \([^,]*,L"[^"]*hivtap-e2e[^"]*",([0-9a-f]+),',
        r.stderr, re.M) if thread in threads]
    tally.check(name + " [keys opened, each with access 20119]",
                len(opens) >= 3 and set(opens) == {b"20119"}, repr(opens))
    tally.equal(name + " [keys created]",
                re.findall(rb"NtCreateKey \([^,]*,L\"[^\"]*hivtap-e2e", r.stderr), [])
