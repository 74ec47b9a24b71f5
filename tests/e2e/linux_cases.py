"""End-to-end groups of the native build's own behaviour: Windows file names,
the ANSI registry calls' name limits, absolute paths, --help and --version,
a missing registry, and values that only a running Wine makes. The groups of
file names and registry names also run in the differential test, where the
native build and hivtap.exe must leave the same files."""

import os
import re
import signal
import subprocess
import time

import seed
from cases import HELP, K, OUT, OUTPUT_FAILED, SZ, TYPES, WALL, output_failed
from harness import Case, native_console, read_or_empty, tree
from linux_output import output_groups

LONG = K + b"\\Long\\" + seed.LONG_A.encode() + b"\\"
# --help and -h: the help screen, then what only the native build has.
HELP_LINUX = native_console(HELP["utf8"]) + "".join(line + "\n" for line in [
    " ",
    "Sous Linux, le Registre lu est celui d'un dossier :",
    "  HIVTAP_REGISTRY : pr\u00e9fixe Wine, lecteur Windows, dossier ou fichier de ruches,",
    "                    image disque ou p\u00e9riph\u00e9rique",
    "  HIVTAP_VOLUME   : volume Windows de l'image (partition, ou @octet)",
    "  WINEPREFIX      : pr\u00e9fixe Wine, sans HIVTAP_REGISTRY (d\u00e9faut : ~/.wine)",
    "  HIVTAP_USER     : profil lu pour HKCU (nom de dossier ou SID)",
    "  --version       : version et source du Registre qui serait lue",
    "  /L:             : liste en UTF-8 ou Windows-1252, ou marqu\u00e9e UTF-8 ou UTF-16",
    "  filename -      : le fichier de sortie sur la sortie standard, seul",
    "  /W              : * et ? dans la cl\u00e9 et le nom sont des motifs, ** toute",
    "                    profondeur de cl\u00e9s ; une ligne finie par \\ liste des cl\u00e9s ;",
    "                    %XX est un octet, @ la valeur par d\u00e9faut",
    "  /T              : heure de derni\u00e8re \u00e9criture de la cl\u00e9 en t\u00eate de ligne "
    "(UTC)",
    "  /F:json, /F:csv : un enregistrement UTF-8 par r\u00e9sultat, dans le fichier",
    "                    seul : noms exacts, tous les octets, heures",
    "  /D              : avec /W, ajoute ce que les ruches gardent de supprim\u00e9,",
    "                    en %!CHEMIN (%? : parent perdu, %~ : donn\u00e9es r\u00e9utilis\u00e9es)",
]).encode("utf-8")


def file_name_cases():
    """Backslashes separate file name components, as on Windows."""
    return [
        Case("backslash output name writes into the directory", args=[WALL, b"sub\\o.txt"],
             dirs=["sub"], out=b"fond.bmp\r\n", after={"sub/o.txt": b"fond.bmp\r\n"}),
        Case("backslash output name in a missing directory fails",
             args=[WALL, b"nodir\\o.txt"], code=1, out=OUTPUT_FAILED,
             err=output_failed(b"nodir/o.txt", b"No such file or directory")),
        Case("backslash list name found in any letter case", args=[b"/L:sub\\k.lst"],
             files={"Sub/K.lst": SZ + b"\r\n"}, out=b"abc\r\n", after={OUT: b"abc\r\n"}),
        Case("existing output file found through backslashes in another case",
             args=[WALL, b"SUB\\O.TXT"], files={"sub/o.txt": b"x\r\n"}, out=b"fond.bmp\r\n",
             after={"sub/o.txt": b"x\r\nfond.bmp\r\n"}),
        Case("mixed and doubled separators", args=[WALL, b"a/b\\\\c.txt"], dirs=["a/b"],
             out=b"fond.bmp\r\n", after={"a/b/c.txt": b"fond.bmp\r\n"}),
    ]


def _list_case(name, lines, results):
    listing = b"".join(line + b"\r\n" for line in lines)
    expected = b"".join(r + b"\r\n" for r in results)
    return Case(name, args=[b"/S", b"/N", b"/L:l.lst", b"out.txt"], files={"l.lst": listing},
                after={"out.txt": expected})


def registry_name_cases():
    """What RegOpenKeyExA and RegQueryValueExA see of a name: up to its first
    NUL, a key path of at most 260 characters."""
    wrapped_value = TYPES + b"Sz" + b"x" * 65536
    wrapped_path = K + b"\\Types" + b"\\" * 65537 + b"Sz"
    lengths = _list_case("key path lengths", [
        LONG + seed.LONG_260.encode() + b"\\v",
        LONG + seed.LONG_261.encode() + b"\\v",
        LONG + seed.LONG_260.encode() + b"\\\\v",
        b"HKCR\\" + seed.NAME_256.encode() + b"\\v",
        b"HKCR\\\\" + seed.NAME_256.encode() + b"\\v",
        wrapped_value,
        wrapped_path,
    # Past 64 KiB a list line names no key and is copied through; the
    # registry layer's 16-bit wrap is reached only by its unit tests.
    ], [b"v=260", b"v=", b"v=", b"v=256", b"v=256", wrapped_value, wrapped_path])
    nuls = _list_case("NUL bytes inside names", [
        TYPES + b"Sz\0xyz",
        K + b"\\Types\0junk\\Sz",
        K + b"\\Control Panel\\Desktop\0\\Wallpaper",
    ], [b"Sz\0xyz=abc", b"Sz=abc", b"Wallpaper=fond.bmp"])
    return [lengths, nuls]


def run_time_value_cases():
    """Values that Wine makes while it runs are in no file of the prefix."""
    cpu = b"HKLM\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0\\"
    return [_list_case("values made at run time read as missing",
                       [cpu + b"~MHz", cpu + b"ProcessorNameString", b"HKPD\\Global"],
                       [b"~MHz=", b"ProcessorNameString=", b"Global="])]


def _run(program, directory, args, env_changes, prefix, closed=False):
    env = dict(os.environ)
    env.update({"WINEPREFIX": prefix.path, "LC_ALL": "C.UTF-8"})
    env.pop("HIVTAP_REGISTRY", None)
    for name, value in env_changes.items():
        if value is None:
            env.pop(name, None)
        else:
            env[name] = value
    # closed: standard output closed, as `>&-` leaves it.
    command = ["sh", "-c", 'exec "$0" "$@" >&-', program] if closed else [program]
    r = subprocess.run(command + args, cwd=directory, env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60, check=False)
    return r.returncode, r.stdout, r.stderr


def _fresh(work, name):
    directory = os.path.join(work, "linux-" + name)
    os.makedirs(directory)
    return directory


def absolute_path_group(tally, program, prefix, work):
    """An argument with a separator after its first segment is a path; a
    single segment such as /X stays an unknown option."""
    target = _fresh(work, "abs-target")
    os.makedirs(os.path.join(target, "with blank"))
    os.makedirs(os.path.join(target, "sub"))
    key = WALL.decode()
    at_root = "/hivtap-e2e-%d.txt" % os.getpid()
    runs = [
        ("output file named by an absolute path", [key, target + "/out.txt"], 0,
         {target + "/out.txt": b"fond.bmp\r\n"}),
        ("absolute path with a blank, after the options", ["/N", key, "/S",
                                                           target + "/with blank/o.txt"], 0,
         {target + "/with blank/o.txt": b"Wallpaper=fond.bmp\r\n"}),
        ("absolute path in a missing directory fails", [key, target + "/nodir/o.txt"], 1, {}),
        ("absolute directory found in any letter case", [key, target + "/SUB/o.txt"], 0,
         {target + "/sub/o.txt": b"fond.bmp\r\n"}),
        ("absolute path with backslashes only",
         [key, "/" + target[1:].replace("/", "\\") + "\\sub\\b.txt"], 0,
         {target + "/sub/b.txt": b"fond.bmp\r\n"}),
        ("glued options stay an unknown option", ["/n/s", key], 0,
         {"hivTAP.txt": b"fond.bmp\r\n"}),
        ("one segment after doubled slashes stays an unknown option", [key, "/" + at_root], 0,
         {"hivTAP.txt": b"fond.bmp\r\n"}),
        ("doubled slashes alone are no key", ["//", key], 0, {"hivTAP.txt": b"fond.bmp\r\n"}),
        ("/L: with an absolute list name", ["/N", "/L:" + target + "/keys.lst"], 0,
         {"hivTAP.txt": b"Sz=abc\r\n"}),
    ]
    with open(os.path.join(target, "Keys.lst"), "wb") as f:
        f.write(SZ + b"\r\n")
    for i, (name, args, code, expected) in enumerate(runs):
        directory = _fresh(work, "abs-%d" % i)
        before = tree(target)
        result_code, out, err = _run(program, directory, args, {}, prefix)
        label = "native absolute paths: " + name
        # A failure names the file and the system's reason.
        reason = output_failed(args[-1].encode(), b"No such file or directory")["utf8"]
        tally.equal(label + " [exit code, standard error]", (result_code, err),
                    (code, reason if code else b""))
        if code:
            tally.equal(label + " [console]", out, native_console(OUTPUT_FAILED["utf8"]))
        found = {os.path.join(directory, p): d for p, d in tree(directory).items()}
        found.update({os.path.join(target, p): d for p, d in tree(target).items()
                      if before.get(p) != d})
        wanted = {p if p.startswith("/") else os.path.join(directory, p): d
                  for p, d in expected.items()}
        tally.equal(label + " [files written]", found, wanted)
        tally.check(label + " [nothing at the root]", not os.path.exists(at_root))
        for path in wanted:
            if path.startswith(target) and os.path.exists(path):
                os.remove(path)


def help_version_group(tally, program, prefix, work):
    """--help, -h and --version: exit 0, no file; with standard output
    closed, both report the failure alike."""
    version = b"hivtap 1.2.0.0\nregistre : %s (%s)\n"
    closed = (b"Erreur d'entr\xc3\xa9e/sortie (ouverture) : sortie standard\n")
    # (name, arguments, environment, standard output closed, expected exit
    #  code, console, standard error)
    runs = [
        ("--help", ["--help"], {}, False, 0, HELP_LINUX, b""),
        ("-h after a key", [SZ.decode(), "-h", "out.txt"], {}, False, 0, HELP_LINUX, b""),
        ("--version", ["--version"], {}, False, 0,
         version % (prefix.path.encode(), b"pr\xc3\xa9fixe Wine"), b""),
        ("--version names HIVTAP_REGISTRY before WINEPREFIX", ["/N", "--version"],
         {"HIVTAP_REGISTRY": "/nonexistent"}, False, 0,
         version % (b"/nonexistent", b"aucun registre"), b""),
        ("--version without WINEPREFIX names ~/.wine", ["--version"],
         {"WINEPREFIX": None, "HOME": "/nonexistent-home"}, False, 0,
         version % (b"/nonexistent-home/.wine", b"aucun registre"), b""),
        ("--version with HIVTAP_USER, which means nothing here", ["--version"],
         {"HIVTAP_USER": "anna"}, False, 0,
         version % (prefix.path.encode(), b"pr\xc3\xa9fixe Wine") +
         "hivTAP: HIVTAP_USER ne sert que sur un disque Windows, ignor\u00e9 ici : anna\n".encode(),
         b""),
        ("--help with standard output closed", ["--help"], {}, True, 1, b"", closed),
        ("--version with standard output closed", ["--version"], {}, True, 1, b"", closed),
    ]
    for i, (name, args, env, shut, code, out, err) in enumerate(runs):
        directory = _fresh(work, "version-%d" % i)
        result = _run(program, directory, args, env, prefix, closed=shut)
        tally.equal("native %s [exit code, console, standard error]" % name, result,
                    (code, out, err))
        tally.equal("native %s [no file]" % name, tree(directory), {})


def typo_group(tally, program, prefix, work):
    """An argument beginning with -- that is no option of the native build is
    a usage error, never a file name: a message naming it, exit 1, no file."""
    unknown = b"hivTAP: option inconnue : %s (voir hivtap --help)\n"
    runs = [
        ("--hlep", ["--hlep"], b"--hlep"),
        ("--n before a key", ["--n", WALL.decode()], b"--n"),
        ("-- alone, after a key and /S", [WALL.decode(), "/S", "--"], b"--"),
        ("a typo beside --version", ["--version", "--verison"], b"--verison"),
    ]
    for i, (name, args, arg) in enumerate(runs):
        directory = _fresh(work, "typo-%d" % i)
        result = _run(program, directory, args, {}, prefix)
        tally.equal("native typo %s [exit code, console, standard error]" % name, result,
                    (1, b"", unknown % arg))
        tally.equal("native typo %s [no file]" % name, tree(directory), {})


def missing_registry_group(tally, program, prefix, work):
    """No registry to read: a message naming the folder, exit 1, no file."""
    empty = _fresh(work, "empty-registry")
    with open(os.path.join(empty, "notes.txt"), "wb") as f:
        f.write(b"no registry here")
    missing = b"hivTAP: le dossier du registre n'existe pas : %s\n"
    no_file = b"hivTAP: aucun fichier de registre dans le dossier %s\n"
    runs = [
        ("WINEPREFIX names a missing folder", [WALL.decode()], {"WINEPREFIX": "/nonexistent"},
         missing % b"/nonexistent"),
        ("WINEPREFIX names a folder without registry files",
         ["/N", "/L:keys.lst", "out.txt"], {"WINEPREFIX": empty}, no_file % empty.encode()),
        ("HIVTAP_REGISTRY comes before WINEPREFIX", [WALL.decode(), "out.txt"],
         {"HIVTAP_REGISTRY": "/nonexistent/r\u00e9g"}, missing % b"/nonexistent/r\xc3\xa9g"),
        ("~/.wine without WINEPREFIX", [WALL.decode()],
         {"WINEPREFIX": None, "HOME": "/nonexistent-home"},
         missing % b"/nonexistent-home/.wine"),
    ]
    for i, (name, args, env, err) in enumerate(runs):
        directory = _fresh(work, "missing-%d" % i)
        files = {"keys.lst": WALL + b"\r\n", "out.txt": b"old"}
        for path, data in files.items():
            with open(os.path.join(directory, path), "wb") as f:
                f.write(data)
        os.utime(os.path.join(directory, "out.txt"), (1000000000, 1000000000))
        result = _run(program, directory, args, env, prefix)
        label = "native missing registry: " + name
        tally.equal(label + " [exit code, console, standard error]", result, (1, b"", err))
        tally.equal(label + " [files unchanged]", tree(directory), files)
        tally.equal(label + " [output file untouched]",
                    os.stat(os.path.join(directory, "out.txt")).st_mtime, 1000000000)
    # The registry named by HIVTAP_REGISTRY is read; a value it lacks is empty.
    directory = _fresh(work, "registry-variable")
    with open(os.path.join(directory, "keys.lst"), "wb") as f:
        f.write(WALL + b"\r\n" + K + b"\\Nope\\Nope\r\n")
    result = _run(program, directory, ["/N", "/S", "/L:keys.lst"],
                  {"HIVTAP_REGISTRY": prefix.path, "WINEPREFIX": "/nonexistent"}, prefix)
    tally.equal("native HIVTAP_REGISTRY names the prefix read", result, (0, b"", b""))
    tally.equal("native HIVTAP_REGISTRY: a missing value is empty",
                read_or_empty(os.path.join(directory, OUT)), b"Wallpaper=fond.bmp\r\nNope=\r\n")


def _wait_for(condition, what):
    """Polls for a state the run is bound to reach; no outcome rests on timing."""
    deadline = time.monotonic() + 30
    while not condition():
        if time.monotonic() > deadline:
            raise TimeoutError(what)
        time.sleep(0.01)


def _state(pid):
    with open("/proc/%d/stat" % pid, "rb") as f:
        return f.read().rsplit(b")", 1)[1].split()[0]


def interrupt_group(tally, program, prefix, work):
    """A signal during a list run: the output file is cut back to its last
    complete line and the process dies of that signal. The list is a FIFO
    holding ten lines that name no key (copied through, 50 bytes each): the
    run stops on reading more, with three full 128-byte buffers written, the
    last of them ending inside a line."""
    old = b"old\r\n"
    lines = [b"line %02d " % i + b"x" * 40 for i in range(10)]
    written = len(old) + 3 * 128
    kept = old + b"".join(line + b"\r\n" for line in lines[:7])
    for sig in (signal.SIGINT, signal.SIGTERM):
        label = "native interrupt: %s" % sig.name
        directory = _fresh(work, "interrupt-" + sig.name)
        fifo = os.path.join(directory, "l.lst")
        os.mkfifo(fifo)
        out = os.path.join(directory, "out.txt")
        with open(out, "wb") as f:
            f.write(old)
        env = dict(os.environ, HIVTAP_REGISTRY=prefix.path, LC_ALL="C.UTF-8")
        child = subprocess.Popen([program, "/S", "/L:l.lst", "out.txt"], cwd=directory, env=env,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE)
        try:
            with open(fifo, "wb") as writer:  # kept open: the run waits for more
                writer.write(b"".join(line + b"\r\n" for line in lines))
                writer.flush()
                _wait_for(lambda: os.path.getsize(out) == written and _state(child.pid) == b"S",
                          label)
                child.send_signal(sig)
                _, err = child.communicate(timeout=30)
        finally:
            if child.poll() is None:
                child.kill()
                child.wait()
        tally.equal(label + " [exit status, standard error]", (child.returncode, err), (-sig, b""))
        tally.equal(label + " [output file ends at a line end]", read_or_empty(out), kept)


# A value of each of the prefix's files.
PREFIX_LIST = [WALL, b"HKLM\\Software\\hivtap-e2e\\View", b"HKU\\.Default\\hivtap-e2e\\x"]


def prefix_file_group(tally, program, prefix, work):
    """The prefix's files in any letter case; one that is there but cannot be
    read (a folder of that name, also for root) gets a warning naming it."""
    files = prefix.reg_files()
    arch = re.search(rb"^#arch=\w+$", files["system.reg"], re.M).group(0)
    files["userdef.reg"] = (b"WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User"
                            b"\\\\.Default\n\n" + arch + b"\n\n[hivtap-e2e] 0\n\"x\"=\"d\"\n")
    unreadable = "hivTAP: fichier du registre illisible : %s/%s\n"
    all_three = {"system.reg": "system.reg", "user.reg": "user.reg", "userdef.reg": "userdef.reg"}
    every_value = b"Wallpaper=fond.bmp\r\nView=64\r\nx=d\r\n"
    # (name, {file name: the prefix file it holds, None for a folder},
    #  environment, expected output file, standard error: %s is the folder)
    runs = [
        ("upper-case SYSTEM.REG and USER.REG",
         {"SYSTEM.REG": "system.reg", "USER.REG": "user.reg", "USERDEF.REG": "userdef.reg"}, {},
         every_value, ""),
        ("mixed-case System.Reg, User.Reg and UserDef.Reg",
         {"System.Reg": "system.reg", "User.Reg": "user.reg", "UserDef.Reg": "userdef.reg"}, {},
         every_value, ""),
        ("user.reg that cannot be read", {"system.reg": "system.reg", "user.reg": None}, {},
         b"Wallpaper=\r\nView=64\r\nx=\r\n", unreadable % ("%s", "user.reg")),
        ("system.reg that cannot be read", {"system.reg": None, "USER.REG": "user.reg"}, {},
         b"Wallpaper=fond.bmp\r\nView=\r\nx=\r\n", unreadable % ("%s", "system.reg")),
        ("userdef.reg that cannot be read",
         {"system.reg": "system.reg", "user.reg": "user.reg", "userdef.reg": None}, {},
         b"Wallpaper=fond.bmp\r\nView=64\r\nx=\r\n", unreadable % ("%s", "userdef.reg")),
        ("HIVTAP_USER means nothing here", all_three, {"HIVTAP_USER": "anna"}, every_value,
         "hivTAP: HIVTAP_USER ne sert que sur un disque Windows, ignor\u00e9 ici : anna\n"),
        ("an empty HIVTAP_USER is no choice", all_three, {"HIVTAP_USER": ""}, every_value, ""),
    ]
    for i, (name, layout, env, out, err) in enumerate(runs):
        folder = _fresh(work, "prefix-files-%d" % i)
        for file_name, source in layout.items():
            if source is None:
                os.makedirs(os.path.join(folder, file_name))
            else:
                with open(os.path.join(folder, file_name), "wb") as f:
                    f.write(files[source])
        directory = _fresh(work, "prefix-files-run-%d" % i)
        with open(os.path.join(directory, "keys.lst"), "wb") as f:
            f.write(b"".join(line + b"\r\n" for line in PREFIX_LIST))
        result = _run(program, directory, ["/N", "/S", "/L:keys.lst"],
                      dict(env, WINEPREFIX=folder), prefix)
        label = "native prefix files: " + name
        tally.equal(label + " [exit code, console, standard error]", result,
                    (0, b"", err.replace("%s", folder).encode()))
        tally.equal(label + " [output file]", read_or_empty(os.path.join(directory, OUT)), out)


def native_groups(tally, runner, program, prefix, work):
    runner.run_cases(tally, "native-files", file_name_cases())
    runner.run_cases(tally, "native-names", registry_name_cases())
    runner.run_cases(tally, "native-run-time", run_time_value_cases())
    absolute_path_group(tally, program, prefix, work)
    help_version_group(tally, program, prefix, work)
    typo_group(tally, program, prefix, work)
    output_groups(tally, program, prefix, work)
    missing_registry_group(tally, program, prefix, work)
    interrupt_group(tally, program, prefix, work)
    prefix_file_group(tally, program, prefix, work)


def differential_groups(tally, native, windows_hivtap, prefix, work):
    """Each case run by hivtap.exe and by the native build in directories of
    their own, which must end up holding the same files."""
    for i, case in enumerate(file_name_cases() + registry_name_cases()):
        dirs = {}
        for side in ("win64", "native"):
            dirs[side] = os.path.join(work, "linux-diff-%d-%s" % (i, side))
            os.makedirs(dirs[side])
            for d in case.dirs:
                os.makedirs(os.path.join(dirs[side], d), exist_ok=True)
            for name, data in case.files.items():
                path = os.path.join(dirs[side], name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(data)
        r = prefix.wine([windows_hivtap] + [os.fsdecode(a) for a in case.args],
                        cwd=dirs["win64"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        code, _, _ = native.run(dirs["native"], case.args)
        name = "differential: " + case.name
        tally.equal(name + " [exit codes]", code, r.returncode)
        tally.check(name + " [the run wrote a file]",
                    tree(dirs["win64"]) != case.files or case.code != 0)
        tally.equal(name + " [same files]", tree(dirs["native"]), tree(dirs["win64"]))
