"""End-to-end groups for hive files: a Windows drive and a folder of
collected hives, generated here (hive_fixture), read by the native build."""

import os
import resource
import shutil
import struct
import subprocess

import hive_damage
import hive_fixture as hf
from harness import snapshot
import seed

SOFTWARE = "Windows/System32/config/SOFTWARE"
SYSTEM = "Windows/System32/config/SYSTEM"
DEFAULT = "Windows/System32/config/DEFAULT"
CLASSES = "AppData/Local/Microsoft/Windows/UsrClass.dat"
PROFILES = "Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
ANNA = "S-1-5-21-11-22-33-1001"
BOB = "S-1-5-21-11-22-33-1002"
REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_LINK = 1, 2, 4, 6


def sz(text):
    return seed.sz(text)


def dword(n):
    return struct.pack("<I", n)


def drive_hives(users=("anna", "bob"), software=(), system=()):
    """A Windows drive: SYSTEM whose current control set is 002, SOFTWARE
    with its ProfileList, DEFAULT, SAM, SECURITY, and a profile per user."""
    sids = {"anna": ANNA, "bob": BOB}
    paths = {"anna": "C:\\Users\\anna", "bob": "%SystemDrive%\\Users\\bob"}
    soft = [(PROFILES + "S-1-5-18", "ProfileImagePath", REG_EXPAND_SZ,
             sz("%systemroot%\\system32\\config\\systemprofile")),
            ("Microsoft\\Windows NT\\CurrentVersion", "ProductName", REG_SZ, sz("Windows 10 Pro")),
            ("Classes\\.both", "Content Type", REG_SZ, sz("machine")),
            ("Classes\\.both", "Machine", REG_SZ, sz("m")),
            ("Classes\\.machine", "Content Type", REG_SZ, sz("machine only"))]
    soft += [(PROFILES + sids[u], "ProfileImagePath", REG_EXPAND_SZ, sz(paths[u])) for u in users]
    name = "ControlSet%03d\\Control\\ComputerName\\ComputerName"
    hives = {
        SOFTWARE: ("HKEY_LOCAL_MACHINE\\SOFTWARE", soft + list(software)),
        SYSTEM: ("HKEY_LOCAL_MACHINE\\SYSTEM", [
            ("Select", "Current", REG_DWORD, dword(2)),
            ("Select", "Default", REG_DWORD, dword(1)),
            ("Select", "LastKnownGood", REG_DWORD, dword(1)),
            (name % 1, "ComputerName", REG_SZ, sz("SET001")),
            (name % 2, "ComputerName", REG_SZ, sz("PC42")),
            ("ControlSet002\\Hardware Profiles\\0001\\Software", "Profil", REG_SZ, sz("0001")),
            ("ControlSet002\\Hardware Profiles\\Current", None, 0, b"")] + list(system)),
        DEFAULT: ("HKEY_USERS\\.DEFAULT", [
            ("Control Panel\\Desktop", "Wallpaper", REG_SZ, sz("default.bmp"))]),
        "Windows/System32/config/SAM": ("HKEY_LOCAL_MACHINE\\SAM", [("SAM", "x", REG_DWORD,
                                                                      dword(1))]),
        "Windows/System32/config/SECURITY": ("HKEY_LOCAL_MACHINE\\SECURITY", []),
    }
    for u in users:
        hives["Users/%s/NTUSER.DAT" % u] = ("HKEY_CURRENT_USER", [
            ("Control Panel\\Desktop", "Wallpaper", REG_SZ, sz(u + ".bmp")),
            ("Software\\Microsoft", None, 0, b"")])
        hives["Users/%s/%s" % (u, CLASSES)] = ("HKEY_CURRENT_USER\\Software\\Classes", [
            (".both", "Content Type", REG_SZ, sz(u)),
            (".user", "Content Type", REG_SZ, sz(u + " only"))])
    return hives


def set_link_flag(path, key_name):
    """Makes the key named `key_name` a symbolic link; hivexregedit wrote its
    SymbolicLinkValue."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    key = hf.find_key(data, key_name)
    struct.pack_into("<H", data, key + 6, struct.unpack_from("<H", data, key + 6)[0] | 0x10)
    with open(path, "wb") as f:
        f.write(data)


def make_drive(root, **kw):
    hives = drive_hives(**kw)
    # HKCC: Hardware Profiles\Current links to profile 0001.
    system = hives[SYSTEM]
    system[1].append(("ControlSet002\\Hardware Profiles\\Current", "SymbolicLinkValue", REG_LINK,
                      seed.utf16("\\Registry\\Machine\\System\\ControlSet002\\Hardware Profiles"
                                 "\\0001")))
    # A link into another hive, through CurrentControlSet, and one that
    # leads to itself.
    system[1].append(("Boucle", "SymbolicLinkValue", REG_LINK,
                      seed.utf16("\\REGISTRY\\MACHINE\\SYSTEM\\Boucle")))
    hives[SOFTWARE][1].append(("Lien", "SymbolicLinkValue", REG_LINK,
                               seed.utf16("\\Registry\\Machine\\System\\CurrentControlSet")))
    hf.make_tree(root, hives)
    for hive, key in ((SYSTEM, b"Current"), (SYSTEM, b"Boucle"), (SOFTWARE, b"Lien")):
        set_link_flag(os.path.join(root, hive), key)


def limit_memory():
    resource.setrlimit(resource.RLIMIT_AS, (512 << 20, 512 << 20))


class Runner:
    def __init__(self, hivtap, work):
        self.hivtap = hivtap
        self.work = work
        self.count = 0

    def run(self, registry, args, user=None, listing=None, directory=None):
        """(exit code, console, standard error, hivTAP.txt) of one run, in a
        directory of its own unless one is given."""
        self.count += 1
        if directory is None:
            directory = os.path.join(self.work, "run%d" % self.count)
            os.makedirs(directory)
        if listing is not None:
            with open(os.path.join(directory, "list.lst"), "wb") as f:
                f.write(b"".join(line + b"\r\n" for line in listing))
        env = dict(os.environ, HIVTAP_REGISTRY=registry, LC_ALL="C.UTF-8")
        env.pop("HIVTAP_USER", None)
        if user is not None:
            env["HIVTAP_USER"] = user
        # A damaged hive must not make it hang or grow without bound.
        r = subprocess.run([self.hivtap] + args, cwd=directory, env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=60,
                           preexec_fn=limit_memory)
        out = os.path.join(directory, "hivTAP.txt")
        data = b""
        if os.path.exists(out):
            with open(out, "rb") as f:
                data = f.read()
        return r.returncode, r.stdout, r.stderr, data


def lines(*items):
    return b"".join(i + b"\r\n" for i in items)


USER_IGNORED = ("hivTAP: HIVTAP_USER ne sert que sur un disque Windows, ignor\u00e9 ici : "
                "%s\n").encode()
TWO_USERS_WARNING = ("hivTAP: plusieurs profils d'utilisateur, HKCU est absent ; HIVTAP_USER "
                     "choisit parmi : anna (%s), bob (%s)\n" % (ANNA, BOB)).encode()

# (name, HIVTAP_USER, key line, expected file line, expected standard error)
MAPPING_CASES = [
    ("CurrentControlSet is Select\\Current (002)", None,
     b"HKLM\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName\\ComputerName",
     b"PC42", b""),
    ("a stored control set read by its name", None,
     b"HKLM\\system\\controlset001\\Control\\ComputerName\\ComputerName\\ComputerName",
     b"SET001", b""),
    ("HKCC through the Hardware Profiles\\Current link", None, b"HKCC\\Software\\Profil",
     b"0001", b""),
    ("a link key into another hive", None,
     b"HKLM\\Software\\Lien\\Control\\ComputerName\\ComputerName\\ComputerName", b"PC42", b""),
    ("a link key that leads to itself", None, b"HKLM\\SYSTEM\\Boucle\\Boucle\\x", b"", b""),
    ("HKU\\.DEFAULT", None, b"HKU\\.DEFAULT\\Control Panel\\Desktop\\Wallpaper",
     b"default.bmp", b""),
    ("HKU\\S-1-5-18 is .DEFAULT", None, b"HKU\\S-1-5-18\\Control Panel\\Desktop\\Wallpaper",
     b"default.bmp", b""),
    ("HKU\\<SID> of a C:\\ ProfileImagePath", None,
     b"HKU\\" + ANNA.encode() + b"\\Control Panel\\Desktop\\Wallpaper", b"anna.bmp", b""),
    ("HKU\\<SID> of a %SystemDrive% ProfileImagePath", None,
     b"HKU\\" + BOB.lower().encode() + b"\\Control Panel\\Desktop\\Wallpaper", b"bob.bmp", b""),
    ("HKU\\<SID>_Classes", None, b"HKU\\" + BOB.encode() + b"_Classes\\.user\\Content Type",
     b"bob only", b""),
    ("HKCU chosen by folder name", "ANNA", b"HKCU\\Control Panel\\Desktop\\Wallpaper",
     b"anna.bmp", b""),
    ("HKCU chosen by SID", BOB, b"HKCU\\Control Panel\\Desktop\\Wallpaper", b"bob.bmp", b""),
    ("HKCU\\Software\\Classes is UsrClass.dat", "bob",
     b"HKCU\\Software\\Classes\\.user\\Content Type", b"bob only", b""),
    ("HKCR: a key in both classes is the user's", "bob", b"HKCR\\.both\\Content Type", b"bob", b""),
    ("HKCR: values are not merged", "bob", b"HKCR\\.both\\Machine", b"", b""),
    ("HKCR: a key of the machine only", "bob", b"HKCR\\.machine\\Content Type",
     b"machine only", b""),
    ("HKCU with two profiles and no HIVTAP_USER", None,
     b"HKCU\\Control Panel\\Desktop\\Wallpaper", b"", TWO_USERS_WARNING),
    ("HIVTAP_USER naming no profile", "carl", b"HKCU\\Control Panel\\Desktop\\Wallpaper", b"",
     ("hivTAP: HIVTAP_USER ne d\u00e9signe aucun profil : carl; HKCU est absent. Profils : "
      "anna (%s), bob (%s)\n" % (ANNA, BOB)).encode()),
    ("HKLM\\SAM", None, b"HKLM\\SAM\\SAM\\x", b"1", b""),
    ("HKLM\\HARDWARE is absent offline", None, b"HKLM\\HARDWARE\\DESCRIPTION\\x", b"", b""),
]


def mapping_group(tally, runner, work):
    drive = os.path.join(work, "drive")
    make_drive(drive)
    before = snapshot(drive)
    for name, user, line, text, err in MAPPING_CASES:
        code, _, stderr, out = runner.run(drive, ["/S", line.decode("latin-1")], user=user)
        tally.equal("hives: %s [exit code]" % name, code, 0)
        # An empty text in single mode writes no line.
        tally.equal("hives: %s [file]" % name, out, text + b"\r\n" if text else b"")
        tally.equal("hives: %s [standard error]" % name, stderr, err)
    # One warning for the whole list, however many HKCU lines it holds.
    listing = [b"HKCU\\Control Panel\\Desktop\\Wallpaper"] * 3 + [b"HKCR\\.both\\Content Type"]
    code, _, stderr, out = runner.run(drive, ["/S", "/L:list.lst"], listing=listing)
    tally.equal("hives: two profiles: one warning per run", stderr, TWO_USERS_WARNING)
    tally.equal("hives: two profiles: HKCR from the machine only", out,
                b"\r\n" * 3 + b"machine\r\n")

    one = os.path.join(work, "one-user")
    make_drive(one, users=("anna",))
    code, _, stderr, out = runner.run(one, ["/S", "HKCU\\Control Panel\\Desktop\\Wallpaper"])
    tally.equal("hives: one profile is HKCU without HIVTAP_USER", (out, stderr),
                (b"anna.bmp\r\n", b""))

    # The commands users run, as they run them.
    listing = [b"Nom=HKLM\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName\\"
               b"ComputerName", b"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProductName"]
    r = runner.run(drive, ["/N", "/L:list.lst", "audit.txt"], listing=listing)
    audit = os.path.join(runner.work, "run%d" % runner.count, "audit.txt")
    with open(audit, "rb") as f:
        tally.equal("hives: command 1, an audit list with /N", (r[0], r[1], f.read()),
                    (0, b"Nom= PC42\nProductName=Windows 10 Pro\n",
                     b"Nom= PC42\r\nProductName=Windows 10 Pro\r\n"))
    r = runner.run(drive, ["HKCU\\Control Panel\\Desktop\\Wallpaper"], user="anna")
    tally.equal("hives: command 2, HIVTAP_USER=anna", (r[0], r[1], r[2]), (0, b"anna.bmp\n", b""))

    collected = os.path.join(work, "collected")
    os.makedirs(collected)
    for src, dst in ((SYSTEM, "system"), (SOFTWARE, "Software"),
                     ("Users/anna/NTUSER.DAT", "ntuser.dat"), ("Users/anna/" + CLASSES,
                                                                "USRCLASS.DAT")):
        shutil.copy(os.path.join(drive, src), os.path.join(collected, dst))
    r = runner.run(collected, [
        "HKLM\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName\\ComputerName"])
    tally.equal("hives: command 3, a folder of collected hives", (r[0], r[1], r[2]),
                (0, b"PC42\n", b""))
    listing = [b"HKCU\\Control Panel\\Desktop\\Wallpaper", b"HKCR\\.both\\Content Type",
               b"HKU\\.DEFAULT\\Control Panel\\Desktop\\Wallpaper"]
    r = runner.run(collected, ["/S", "/L:list.lst"], listing=listing)
    tally.equal("hives: collected NTUSER.DAT and UsrClass.dat are HKCU", (r[2], r[3]),
                (b"", b"anna.bmp\r\nanna\r\n\r\n"))
    r = runner.run(collected, ["/S", "/L:list.lst"], listing=listing, user="bob")
    tally.equal("hives: HIVTAP_USER means nothing for collected hives", (r[2], r[3]),
                (USER_IGNORED % b"bob", b"anna.bmp\r\nanna\r\n\r\n"))
    tally.check("hives: the drive's files are unchanged, nothing added", snapshot(drive) == before)


WALLPAPER = "HKCU\\Control Panel\\Desktop\\Wallpaper"
NO_PROFILE_LIST = "hivTAP: ProfileList illisible, profils pris dans Users : %s\n"
TWO_FOLDERS_WARNING = ("hivTAP: plusieurs profils d'utilisateur, HKCU est absent ; HIVTAP_USER "
                       "choisit parmi : anna, bob\n")


def no_profile_list_group(tally, runner, work):
    """A drive whose ProfileList cannot be read: its profiles are the
    Users/*/NTUSER.DAT there, by folder name, with one warning."""
    # (name, folders under Users, SOFTWARE: kept, "none" or "other" (one
    #  without ProfileList), HIVTAP_USER, key, expected file, standard error)
    rows = [
        ("one profile folder is HKCU", ("anna",), "none", None, WALLPAPER, b"anna.bmp\r\n",
         NO_PROFILE_LIST % "anna"),
        ("the Default template is no user", ("anna", "Default"), "none", None, WALLPAPER,
         b"anna.bmp\r\n", NO_PROFILE_LIST % "Default, anna"),
        ("a folder in another letter case", ("ANNA",), "none", None, WALLPAPER, b"anna.bmp\r\n",
         NO_PROFILE_LIST % "ANNA"),
        ("SOFTWARE without ProfileList", ("anna",), "other", None, WALLPAPER, b"anna.bmp\r\n",
         NO_PROFILE_LIST % "anna"),
        ("two folders: HIVTAP_USER by folder name", ("anna", "bob"), "none", "BOB", WALLPAPER,
         b"bob.bmp\r\n", NO_PROFILE_LIST % "anna, bob"),
        ("two folders: the user's classes in HKCR", ("anna", "bob"), "none", "bob",
         "HKCR\\.user\\Content Type", b"bob only\r\n", NO_PROFILE_LIST % "anna, bob"),
        ("two folders without HIVTAP_USER", ("anna", "bob"), "none", None, WALLPAPER, b"",
         NO_PROFILE_LIST % "anna, bob" + TWO_FOLDERS_WARNING),
        ("no profile folder", (), "none", None, WALLPAPER, b"", NO_PROFILE_LIST % "aucun"),
        ("HKU has no SID for them", ("anna",), "none", None,
         "HKU\\" + ANNA + "\\Control Panel\\Desktop\\Wallpaper", b"",
         NO_PROFILE_LIST % "anna"),
        ("a readable ProfileList is used alone", ("anna",), "kept", None, WALLPAPER,
         b"anna.bmp\r\n", ""),
    ]
    for i, (name, folders, software, user, key, out, err) in enumerate(rows):
        drive = os.path.join(work, "no-profile-list%d" % i)
        hives = drive_hives(users=("anna", "bob"))
        for u in ("anna", "bob"):
            for hive in ("NTUSER.DAT", CLASSES):
                entry = hives.pop("Users/%s/%s" % (u, hive))
                if u in [f.lower() for f in folders if f != "Default"]:
                    folder = [f for f in folders if f.lower() == u][0]
                    hives["Users/%s/%s" % (folder, hive)] = entry
        if "Default" in folders:
            hives["Users/Default/NTUSER.DAT"] = ("HKEY_CURRENT_USER", [
                ("Control Panel\\Desktop", "Wallpaper", REG_SZ, sz("default.bmp"))])
        if software == "none":
            del hives[SOFTWARE]
        elif software == "other":
            hives[SOFTWARE] = ("HKEY_LOCAL_MACHINE\\SOFTWARE", [("Classes\\.machine", "x",
                                                                REG_SZ, sz("m"))])
        else:
            hives[SOFTWARE][1][:] = [e for e in hives[SOFTWARE][1]
                                     if not e[0].startswith(PROFILES + BOB)]
        hf.make_tree(drive, hives)
        code, _, stderr, data = runner.run(drive, ["/S", key], user=user)
        tally.equal("hives without ProfileList: %s" % name, (code, stderr.decode(), data),
                    (0, err, out))


def single_file_group(tally, runner, work):
    """HIVTAP_REGISTRY naming one hive file: a folder of that one hive, named
    by its file name; a file that is no hive, or has no hive's name, is the
    missing-registry error."""
    drive = os.path.join(work, "single-drive")
    make_drive(drive, users=("anna",))
    other = os.path.join(work, "single-files")
    os.makedirs(other)
    renamed = {"software": SOFTWARE, "system.bak": SYSTEM}
    for dst, src in renamed.items():
        shutil.copy(os.path.join(drive, src), os.path.join(other, dst))
    with open(os.path.join(other, "NTUSER.DAT"), "wb") as f:
        f.write(b"no hive, only text")
    names = "SYSTEM, SOFTWARE, SAM, SECURITY, DEFAULT, NTUSER.DAT, UsrClass.dat"
    ccs = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName\\ComputerName"
    product = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProductName"
    # (name, file, key, exit code, expected file, standard error)
    rows = [
        ("SYSTEM is HKLM\\SYSTEM", os.path.join(drive, SYSTEM), ccs, 0, b"PC42\r\n", ""),
        ("NTUSER.DAT is HKCU", os.path.join(drive, "Users/anna/NTUSER.DAT"), WALLPAPER, 0,
         b"anna.bmp\r\n", ""),
        ("a name in another letter case", os.path.join(other, "software"), product, 0,
         b"Windows 10 Pro\r\n", ""),
        ("only that hive is read", os.path.join(drive, SYSTEM), product, 0, b"", ""),
        ("a file that is no hive", os.path.join(other, "NTUSER.DAT"), WALLPAPER, 1, None,
         "hivTAP: ce fichier n'est pas une ruche : %s\n" % os.path.join(other, "NTUSER.DAT")),
        ("a hive whose name is no hive's", os.path.join(other, "system.bak"), ccs, 1, None,
         "hivTAP: nom de ruche inconnu : %s (attendu : %s)\n" % (
             os.path.join(other, "system.bak"), names)),
    ]
    for name, path, key, code, out, err in rows:
        directory = os.path.join(work, "single%d" % runner.count)
        os.makedirs(directory)
        r = runner.run(path, ["/S", key], directory=directory)
        files = sorted(os.listdir(directory))
        tally.equal("hives: HIVTAP_REGISTRY names a file: %s" % name,
                    (r[0], r[2].decode(), r[3] if out is not None else files),
                    (code, err, out if out is not None else []))


def version_group(tally, runner, work):
    """--version on hive sources: what was mapped, and why HKCU is missing,
    with the warnings that a run would write, here on standard output."""
    drive = os.path.join(work, "drive")
    config = drive + "/Windows/System32/config/"
    machine = "".join("ruche %s : %s%s\n" % (k, config, f) for k, f in (
        ("HKLM\\SYSTEM", "SYSTEM"), ("HKLM\\SOFTWARE", "SOFTWARE"), ("HKLM\\SAM", "SAM"),
        ("HKLM\\SECURITY", "SECURITY"), ("HKU\\.DEFAULT", "DEFAULT")))
    head = "hivtap 1.2.0.0\nregistre : %s (%s)\n"
    ccs = "jeu de contr\u00f4le courant : %s\n"
    anna = ("ruche HKCU : %s/Users/anna/NTUSER.DAT\nruche HKCU\\Software\\Classes : "
            "%s/Users/anna/%s\n" % (drive, drive, CLASSES))
    bare = os.path.join(work, "no-profile-list0")
    single = os.path.join(work, "single-drive")
    collected = os.path.join(work, "collected")
    # (name, registry, HIVTAP_USER, expected standard output)
    rows = [
        ("a drive with two profiles", drive, None,
         head % (drive, "disque Windows") + machine + ccs % "ControlSet002" +
         "HKCU : aucun profil\n" + TWO_USERS_WARNING.decode()),
        ("a drive and HIVTAP_USER", drive, "anna",
         head % (drive, "disque Windows") + machine + ccs % "ControlSet002" +
         "HKCU : profil anna (%s)\n" % ANNA + anna),
        ("a drive without SOFTWARE", bare, None,
         head % (bare, "disque Windows") + machine.replace(drive, bare).replace(
             "ruche HKLM\\SOFTWARE : %sSOFTWARE\n" % config.replace(drive, bare), "") +
         ccs % "ControlSet002" + "HKCU : profil anna\n" + anna.replace(drive, bare) +
         NO_PROFILE_LIST % "anna"),
        ("collected hives", collected, None,
         head % (collected, "ruches rassembl\u00e9es") +
         "ruche HKLM\\SYSTEM : %s/system\nruche HKLM\\SOFTWARE : %s/Software\n" % (
             collected, collected) + ccs % "ControlSet002" +
         "ruche HKCU : %s/ntuser.dat\nruche HKCU\\Software\\Classes : %s/USRCLASS.DAT\n" % (
             collected, collected)),
        ("collected hives and HIVTAP_USER", collected, "anna",
         head % (collected, "ruches rassembl\u00e9es") +
         "ruche HKLM\\SYSTEM : %s/system\nruche HKLM\\SOFTWARE : %s/Software\n" % (
             collected, collected) + ccs % "ControlSet002" +
         "ruche HKCU : %s/ntuser.dat\nruche HKCU\\Software\\Classes : %s/USRCLASS.DAT\n" % (
             collected, collected) + (USER_IGNORED % b"anna").decode()),
        ("one SYSTEM hive file", single + "/" + SYSTEM, None,
         head % (single + "/" + SYSTEM, "fichier de ruche") +
         "ruche HKLM\\SYSTEM : %s/%s\n" % (single, SYSTEM) + ccs % "ControlSet002" +
         "HKCU : pas de NTUSER.DAT\n"),
        ("one NTUSER.DAT hive file", single + "/Users/anna/NTUSER.DAT", None,
         head % (single + "/Users/anna/NTUSER.DAT", "fichier de ruche") +
         ccs % "aucun (pas de ruche SYSTEM)" +
         "ruche HKCU : %s/Users/anna/NTUSER.DAT\n" % single),
    ]
    for name, registry, user, out in rows:
        code, stdout, stderr, _ = runner.run(registry, ["--version"], user=user)
        tally.equal("hives --version: %s" % name, (code, stdout.decode(), stderr), (0, out, b""))
    # Why there is no control set: a SYSTEM without Select, one that is no hive.
    no_select = os.path.join(work, "version-no-select")
    hf.make_tree(no_select, {"SYSTEM": ("HKEY_LOCAL_MACHINE\\SYSTEM", [
        ("ControlSet001\\Control", "x", REG_SZ, sz("1"))])})
    broken = os.path.join(work, "version-broken")
    os.makedirs(broken)
    with open(os.path.join(broken, "SYSTEM"), "wb") as f:
        f.write(b"no hive at all" * 400)
    for name, folder, ccs_text, err in (
            ("SYSTEM without Select", no_select, "aucun (SYSTEM\\Select n'en d\u00e9signe aucun)",
             ""),
            ("SYSTEM that is no hive", broken, "aucun (ruche SYSTEM illisible)",
             "hivTAP: ruche illisible : %s/SYSTEM\n" % broken)):
        code, stdout, stderr, _ = runner.run(folder, ["--version"])
        tally.equal("hives --version: %s" % name, (code, stdout.decode()),
                    (0, head % (folder, "ruches rassembl\u00e9es") +
                     "ruche HKLM\\SYSTEM : %s/SYSTEM\n" % folder + ccs % ccs_text +
                     "HKCU : pas de NTUSER.DAT\n"))
        # The hive reader's own warnings about a damaged file are its affair.
        tally.check("hives --version: %s [standard error]" % name,
                    err in stderr.decode() if err else stderr == b"", stderr.decode())


# Damage: one SOFTWARE hive, each case a copy of it damaged one way.
# "Avant" and ProductName sit in the first hive bins, the data of "Apres"
# (84 KB) in the last; ProductName is beneath the key some cases break.
DAMAGE_LIST = [b"HKLM\\Software\\Avant\\Texte",
               b"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProductName",
               b"HKLM\\Software\\Apres\\Texte"]
LAST = "dernier " * 5000
DAMAGED = "hivTAP: ruche endommag\u00e9e, lue en partie : %s\n"
DIRTY = "hivTAP: ruche sale (journaux non appliqu\u00e9s), valeurs peut-\u00eatre anciennes : %s\n"
ALL = b"premier\r\nWindows 10 Pro\r\n" + LAST.encode() + b"\r\n"
# (name, damage, output file, standard error)
DAMAGE_CASES = [
    ("a truncated file", lambda d: hf.truncated(d, len(d) - 30000),
     b"premier\r\nWindows 10 Pro\r\n\r\n", DAMAGED),
    ("a hive bin with a bad size", hf.bad_bin_size, ALL, DAMAGED),
    ("a subkey list outside the file", lambda d: hf.subkeys_outside(d, b"Microsoft"),
     b"premier\r\n\r\n" + LAST.encode() + b"\r\n", ""),
    ("a subkey list that lists itself", lambda d: hf.subkeys_loop(d, b"Microsoft"),
     b"premier\r\n\r\n" + LAST.encode() + b"\r\n", ""),
    ("a bad checksum", hf.bad_checksum, ALL, DIRTY),
    ("a dirty hive (sequence numbers differ)", hf.dirty_sequence, ALL, DIRTY),
]


def damage_group(tally, runner, work):
    good = os.path.join(work, "damage-good")
    entries = [("Avant", "Texte", REG_SZ, sz("premier")),
               ("Microsoft\\Windows NT\\CurrentVersion", "ProductName", REG_SZ,
                sz("Windows 10 Pro")),
               ("Apres", "Texte", REG_SZ, sz(LAST))]
    hf.make_tree(good, {"SOFTWARE": ("HKEY_LOCAL_MACHINE\\SOFTWARE", entries)})
    with open(os.path.join(good, "SOFTWARE"), "rb") as f:
        data = f.read()
    r = runner.run(good, ["/S", "/L:list.lst"], listing=DAMAGE_LIST)
    tally.equal("hives damage: the good hive", (r[0], r[2], r[3]), (0, b"", ALL))
    for i, (name, damage, out, err) in enumerate(DAMAGE_CASES):
        folder = os.path.join(work, "damage%d" % i)
        os.makedirs(folder)
        hive = os.path.join(folder, "SOFTWARE")
        with open(hive, "wb") as f:
            f.write(damage(data))
        r = runner.run(folder, ["/S", "/L:list.lst"], listing=DAMAGE_LIST)
        tally.equal("hives damage: %s" % name, (r[0], r[2].decode(), r[3]),
                    (0, err % hive if err else "", out))


def big_data_group(tally, runner, work):
    """Windows keeps data over 16,344 bytes in a big-data record."""
    folder = os.path.join(work, "bigdata")
    text = ("Donn\u00e9es \u20ac " * 10000)[:50000]
    hf.make_tree(folder, {"SOFTWARE": ("HKEY_LOCAL_MACHINE\\SOFTWARE", [
        ("Big", "Texte", REG_SZ, seed.utf16(text)), ("Big", "Petit", REG_SZ, sz("ok"))])})
    hf.to_big_data(os.path.join(folder, "SOFTWARE"), b"Texte")
    r = runner.run(folder, ["/S", "/L:list.lst"],
                   listing=[b"HKLM\\Software\\Big\\Texte", b"HKLM\\Software\\Big\\Petit"])
    tally.equal("hives: a 100 KB value in a big-data record", (r[0], r[2], r[3]),
                (0, b"", text.encode("cp1252") + b"\r\nok\r\n"))


def native_groups(tally, hivtap, work):
    runner = Runner(hivtap, work)
    mapping_group(tally, runner, work)
    no_profile_list_group(tally, runner, work)
    single_file_group(tally, runner, work)
    version_group(tally, runner, work)
    damage_group(tally, runner, work)
    big_data_group(tally, runner, work)
    hive_damage.damage_table_group(tally, runner, work)

