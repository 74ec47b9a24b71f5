"""End-to-end groups of the native build's standard output as "-", and of
the lines it adds on standard error where the Windows builds stay silent: a
key that names no root, "/L" without its colon, and the reason an output
file failed."""

import os
import socket
import subprocess

from cases import MISSING_LIST, OUT, OUTPUT_FAILED, TYPES, WALL
from harness import native_console, read_or_empty, tree


def _env(prefix):
    env = dict(os.environ, WINEPREFIX=prefix.path, LC_ALL="C.UTF-8")
    env.pop("HIVTAP_REGISTRY", None)
    return env


def _fresh(work, name):
    directory = os.path.join(work, "linux-" + name)
    os.makedirs(directory)
    return directory


def dash_group(tally, program, prefix, work):
    """"-" as the output name: standard output gets the output file's exact
    bytes (Windows-1252, CR LF) and nothing else; messages go to standard
    error; no file is made."""
    multi = TYPES + b"MultiAccent"
    missing = native_console(MISSING_LIST["utf8"])
    runs = [
        ("one value with /N", ["/N", WALL.decode(), "-"], b"", b"Wallpaper=fond.bmp\r\n", b""),
        ("a list, accents and a multi-string, to a pipe", ["/L:l.lst", "-"], None,
         b"fond.bmp\r\n\xe9t\xe9\r\n\x9cuf\r\n", b""),
        ("a missing list: the messages on standard error", ["/L:absent.lst", "-"], b"", b"",
         missing + b"hivTAP: fichier de liste introuvable : absent.lst\n"),
        ("appended to what standard output already holds", ["/N", TYPES.decode() + "Sz", "-"],
         b"old\r\n", b"old\r\nSz=abc\r\n", b""),
    ]
    for i, (name, args, before, out, err) in enumerate(runs):
        directory = _fresh(work, "dash-%d" % i)
        with open(os.path.join(directory, "l.lst"), "wb") as f:
            f.write(WALL + b"\r\n" + multi + b"\r\n")
        run = lambda stdout: subprocess.run(  # noqa: E731
            [program] + args, cwd=directory, env=_env(prefix), stdin=subprocess.DEVNULL,
            stdout=stdout, stderr=subprocess.PIPE, timeout=60, check=False)
        if before is None:
            r = run(subprocess.PIPE)
            got = r.stdout
        else:
            # A file opened for appending, as ">>" opens it.
            sink = os.path.join(work, "linux-dash-%d.out" % i)
            with open(sink, "wb") as f:
                f.write(before)
            with open(sink, "ab") as f:
                r = run(f)
            got = read_or_empty(sink)
        label = "native - as output: " + name
        tally.equal(label + " [exit code, standard output, standard error]",
                    (r.returncode, got, r.stderr), (0, out, err))
        tally.equal(label + " [no file made]", sorted(tree(directory)), ["l.lst"])


def dash_shared_group(tally, program, prefix, work):
    """"-" writes where the caller's writes go: a shell group's commands
    share one offset, so every line keeps its place; a socket takes the
    bytes as a pipe does."""
    line = b"Wallpaper=fond.bmp\r\n"
    shells = [
        ("a shell group into a new file", '{ echo header; "$0" /N "$1" -; echo footer; } > f',
         None, b"header\n" + line + b"footer\n"),
        ("a shell group appending", '{ echo header; "$0" /N "$1" -; echo footer; } >> f',
         b"old\n", b"old\nheader\n" + line + b"footer\n"),
        ("two runs in one group", '{ "$0" /N "$1" -; echo mid; "$0" /N "$1" -; } > f',
         None, line + b"mid\n" + line),
    ]
    for i, (name, script, before, expected) in enumerate(shells):
        directory = _fresh(work, "dash-shared-%d" % i)
        if before is not None:
            with open(os.path.join(directory, "f"), "wb") as f:
                f.write(before)
        r = subprocess.run(["sh", "-c", script, program, WALL.decode()], cwd=directory,
                           env=_env(prefix), stdin=subprocess.DEVNULL, stderr=subprocess.PIPE,
                           timeout=60, check=False)
        label = "native - as output: " + name
        tally.equal(label + " [exit code, standard error]", (r.returncode, r.stderr), (0, b""))
        tally.equal(label + " [the file, lines in order]", tree(directory), {"f": expected})
    directory = _fresh(work, "dash-socket")
    ours, theirs = socket.socketpair()
    with ours, theirs:
        r = subprocess.run([program, "/N", WALL.decode(), "-"], cwd=directory, env=_env(prefix),
                           stdin=subprocess.DEVNULL, stdout=theirs, stderr=subprocess.PIPE,
                           timeout=60, check=False)
        theirs.close()
        got = b""
        while True:
            chunk = ours.recv(4096)
            if not chunk:
                break
            got += chunk
    tally.equal("native - as output: a socket [exit code, standard output, standard error]",
                (r.returncode, got, r.stderr), (0, line, b""))
    tally.equal("native - as output: a socket [no file made]", tree(directory), {})


UNKNOWN_KEY = ("hivTAP: cl\u00e9 non reconnue : %s (racines : HKLM, HKCU, HKCR, HKU, HKCC, "
               "HKPD, HKDD ou HKEY_..., suivies de \\)\n")
LIST_COLON = b"hivTAP: option /L sans deux-points : une liste se donne par /L:FICHIER\n"


def notes_group(tally, program, prefix, work):
    """One line on standard error where the Windows builds say nothing; the
    exit code, the console and the files stay as on Windows."""
    failed = native_console(OUTPUT_FAILED["utf8"])
    note = lambda key: (UNKNOWN_KEY % key).encode()  # noqa: E731
    # (name, arguments, files before, exit code, console, standard error,
    #  files after)
    runs = [
        ("PowerShell's HKLM:", ["HKLM:\\SYSTEM\\Select\\Current"], {}, 0, b"",
         note("HKLM:\\SYSTEM\\Select\\Current"), {OUT: b""}),
        ("slashes", ["/N", "HKLM/SYSTEM/Select/Current"], {}, 0, b"",
         note("HKLM/SYSTEM/Select/Current"), {OUT: b""}),
        ("regedit's address bar, with a label", ["/N", "\u00c9t\u00e9 \u20ac=Computer\\"
                                                 "HKEY_LOCAL_MACHINE\\SYSTEM\\x"], {}, 0, b"",
         note("\u00c9t\u00e9 \u20ac=Computer\\HKEY_LOCAL_MACHINE\\SYSTEM\\x"), {OUT: b""}),
        ("a list's lines stay silent", ["/N", "/L:k.lst"],
         {"k.lst": b"HKLM:\\SYSTEM\\x\r\n" + WALL + b"\r\n"}, 0,
         b"HKLM:\\SYSTEM\\x\nWallpaper=fond.bmp\n", b"",
         {OUT: b"HKLM:\\SYSTEM\\x\r\nWallpaper=fond.bmp\r\n"}),
        ("/L without its colon", ["/L", "k.lst"], {"k.lst": WALL + b"\r\n"}, 0, b"",
         LIST_COLON, {OUT: b""}),
        ("/l without its colon, before a key", ["/l", WALL.decode(), "o.txt"], {}, 0,
         b"fond.bmp\n", LIST_COLON, {"o.txt": b"fond.bmp\r\n"}),
        ("an output file in a missing directory", [WALL.decode(), "absent/\u00e9t\u00e9.txt"],
         {}, 1, failed, "hivTAP: fichier absent/\u00e9t\u00e9.txt : No such file or "
         "directory\n".encode(), {}),
        ("an output file that is a directory", [WALL.decode(), "d\\"], {"d/x": b""}, 1, failed,
         b"hivTAP: fichier d/ : Is a directory\n", {}),
        ("the list file is the output file", ["/L:same.txt", "same.txt"],
         {"same.txt": WALL + b"\r\n"}, 1, failed,
         b"hivTAP: fichier same.txt : Resource temporarily unavailable\n", {}),
    ]
    for i, (name, args, files, code, out, err, after) in enumerate(runs):
        directory = _fresh(work, "notes-%d" % i)
        for path, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(directory, path)), exist_ok=True)
            with open(os.path.join(directory, path), "wb") as f:
                f.write(data)
        r = subprocess.run([program] + args, cwd=directory, env=_env(prefix),
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=60, check=False)
        label = "native note: " + name
        tally.equal(label + " [exit code, console, standard error]",
                    (r.returncode, r.stdout, r.stderr), (code, out, err))
        tally.equal(label + " [files]", tree(directory), dict(files, **after))


def output_groups(tally, program, prefix, work):
    dash_group(tally, program, prefix, work)
    dash_shared_group(tally, program, prefix, work)
    notes_group(tally, program, prefix, work)
