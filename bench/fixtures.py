"""What the rows measure on: Wine prefixes made for this run (a fresh one,
and one whose system.reg is enlarged with generated keys), list files, and
the programs under test. Everything is made on first need and removed at the
end."""

import os
import random
import re
import shutil
import subprocess
import tempfile
from functools import cached_property

import measure

# The generated keys: HKLM\Software\hivtap-bench\G<group>\K<key>, V0 to V9
# each (as bench/micro_bench.cpp writes them too).
GROUPS, KEYS_PER_GROUP, VALUES_PER_KEY = 100, 100, 10
GENERATED_VALUES = GROUPS * KEYS_PER_GROUP * VALUES_PER_KEY
# The enlarged system.reg is padded to about this size.
ENLARGED_SIZE = 7_750_000


def key_path(n):
    return "Software\\hivtap-bench\\G%03d\\K%05d" % (n // KEYS_PER_GROUP, n)


def value_lines(n, pad):
    """The ten value lines of generated key n, every type the tool renders."""
    i = n * VALUES_PER_KEY
    text = "Valeur %07d, cl\\xe9 g\\xe9n\\xe9r\\xe9%s" % (i, pad)
    multi = ",".join("%02x,00" % ord(c) for c in "un%d" % n) + ",00,00,"
    multi += ",".join("%02x,00" % ord(c) for c in "deux") + ",00,00,00,00"
    return [
        '"V0"="%s"' % text,
        '"V1"="C:\\\\Program Files\\\\hivtap\\\\%07d%s"' % (i + 1, pad),
        '"V2"="%s"' % text.replace("Valeur", "Texte"),
        '"V3"="%07d"' % (i + 3),
        '"V4"="%s"' % (pad * 2),
        '"V5"=str(2):"%%SystemRoot%%\\\\system32\\\\%07d.dll"' % (i + 5),
        '"V6"=dword:%08x' % (i + 6),
        '"V7"=hex:%s' % ",".join("%02x" % ((i + k) & 0xFF) for k in range(16)),
        '"V8"=hex(b):%s' % ",".join("%02x" % ((i + 8) >> (8 * k) & 0xFF) for k in range(8)),
        '"V9"=hex(7):%s' % multi,
    ]


def generated_keys(pad):
    out = []
    for n in range(GROUPS * KEYS_PER_GROUP):
        out.append("\n[%s] 1700000000\n#time=1d9000000000000\n" % key_path(n).replace("\\", "\\\\"))
        out.append("\n".join(value_lines(n, pad)) + "\n")
    return "".join(out)


UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
UNINSTALL_KEYS = 1000


def uninstall_keys():
    """UNINSTALL_KEYS programs' keys under UNINSTALL, with the values an
    installer leaves: a GUID-named key each, eight values."""
    out = []
    for n in range(UNINSTALL_KEYS):
        guid = "{%08X-%04X-4%03X-8%03X-%012X}" % (0x1D2C3B4A + n * 7919, n, n, n, n * 104729)
        name = "Programme %04d, \\xe9dition %d" % (n, n % 7 + 2019)
        where = "C:\\\\Program Files\\\\Programme %04d" % n
        out.append("\n[%s\\\\%s] 1700000000\n#time=1d9000000000000\n" %
                   (UNINSTALL.replace("\\", "\\\\"), guid))
        out.append("\n".join([
            '"DisplayName"="%s"' % name,
            '"DisplayVersion"="%d.%d.%d"' % (n % 9 + 1, n % 13, n),
            '"Publisher"="\\xc9diteur %03d"' % (n % 97),
            '"InstallDate"="2026%02d%02d"' % (n % 12 + 1, n % 28 + 1),
            '"InstallLocation"="%s"' % where,
            '"UninstallString"="MsiExec.exe /X%s"' % guid,
            '"EstimatedSize"=dword:%08x' % (n * 37 + 1024),
            '"NoModify"=dword:00000001',
        ]) + "\n")
    return "".join(out)


def last_string_value(reg_file):
    """(key path, value name) of the last plain string value with plain names
    in a .reg file: a lookup that cannot stop early."""
    key, found = None, None
    header = re.compile(r'^\[((?:[A-Za-z0-9 ._-]|\\\\)+)\] ')
    value = re.compile(r'^"([A-Za-z0-9 _-]+)"="')
    with open(reg_file, encoding="latin-1") as f:
        for line in f:
            m = header.match(line)
            if m:
                key = m.group(1).replace("\\\\", "\\")
            elif key and value.match(line):
                found = (key, value.match(line).group(1))
    return found


# Starts Wine the way this host can: see scripts/wine.sh.
WINE = ["bash", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts",
                             "wine.sh")]


def wine_env(prefix):
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", LC_ALL="C.UTF-8")
    env.pop("HIVTAP_REGISTRY", None)
    return env


class Context:
    def __init__(self, root, quick, keep=False):
        self.root = root
        self.quick = quick
        self.keep = keep
        self.work = tempfile.mkdtemp(prefix="hivtap-bench-")
        self.servers = []  # prefixes whose wineserver this run started
        self.memo = {}  # figures that several rows share
        build = os.path.join(root, "build")
        self.hivtap = os.path.join(build, "native", "hivtap")
        self.output_floor = os.path.join(build, "native", "bench_output_floor")
        self.exe = os.path.join(build, "win64", "hivtap.exe")
        self.registry_floor = os.path.join(build, "win64", "bench_registry_floor.exe")
        measure.LAUNCHER = os.path.join(build, "native", "bench_launch")

    def repeats(self, heavy=False):
        if self.quick:
            return 1 if heavy else 3
        return 3 if heavy else 7

    def path(self, name):
        return os.path.join(self.work, name)

    def shared(self, key, make):
        """A figure measured once and used by several rows."""
        if key not in self.memo:
            self.memo[key] = make()
        return self.memo[key]

    # -- prefixes -------------------------------------------------------------

    @cached_property
    def fresh(self):
        """A prefix as wineboot makes it."""
        prefix = self.path("fresh")
        os.mkdir(prefix)
        print("making a fresh Wine prefix (wineboot takes about a minute)", flush=True)
        env = wine_env(prefix)
        subprocess.run(WINE + ["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=600, check=True)
        # The registry files are written lazily.
        subprocess.run(["wineserver", "-w"], env=env, timeout=600, check=True)
        return prefix

    def derived(self, name, added):
        """The fresh prefix with `added` (text, or a function of the fresh
        system.reg's size) appended to its system.reg. Its Windows side is
        the fresh one's, linked."""
        fresh = self.fresh
        prefix = self.path(name)
        os.mkdir(prefix)
        for entry in ("drive_c", "dosdevices"):
            os.symlink(os.path.join(fresh, entry), os.path.join(prefix, entry))
        for entry in ("user.reg", "userdef.reg", ".update-timestamp"):
            shutil.copy(os.path.join(fresh, entry), os.path.join(prefix, entry))
        with open(os.path.join(fresh, "system.reg"), encoding="latin-1") as f:
            system = f.read()
        if callable(added):
            added = added(len(system.encode("latin-1")))
        with open(os.path.join(prefix, "system.reg"), "w", encoding="latin-1") as f:
            f.write(system + added)
        return prefix

    @cached_property
    def enlarged(self):
        """The fresh prefix with GENERATED_VALUES values added to system.reg,
        up to about ENLARGED_SIZE bytes."""
        def keys(size):
            base = size + len(generated_keys("").encode("latin-1"))
            # V0, V1, V2 carry the pad once, V4 twice.
            return generated_keys(
                "x" * max(0, (ENLARGED_SIZE - base) // (5 * GROUPS * KEYS_PER_GROUP)))
        return self.derived("enlarged", keys)

    @cached_property
    def uninstall(self):
        """The fresh prefix with UNINSTALL_KEYS installed programs added to
        system.reg, as installers write them."""
        return self.derived("uninstall", uninstall_keys())

    def files_size(self, prefix):
        return sum(os.path.getsize(os.path.join(prefix, n))
                   for n in ("system.reg", "user.reg", "userdef.reg"))

    def warm(self, prefix):
        """Keeps the prefix's wineserver running until the end of the run."""
        if prefix not in self.servers:
            subprocess.run(["wineserver", "-p"], env=wine_env(prefix), check=True)
            self.servers.append(prefix)

    # -- lists ----------------------------------------------------------------

    def list_file(self, name):
        """A list file of the run, made on first need:
        values100k  every generated value once, shuffled
        values1m    ten shuffles of them
        values10k   the first 10,000 lines of values100k
        missing1k, missing1m  distinct missing value names under generated keys
        text100k    lines that name no value: copied through to the output."""
        path = self.path(name + ".txt")
        if os.path.exists(path):
            return path
        rng = random.Random(9)
        every = ["HKLM\\%s\\V%d" % (key_path(i // VALUES_PER_KEY), i % VALUES_PER_KEY)
                 for i in range(GENERATED_VALUES)]
        if name == "values100k" or name == "values10k":
            rng.shuffle(every)
            lines = every if name == "values100k" else every[:10000]
        elif name == "values1m":
            lines = []
            for _ in range(10):
                rng.shuffle(every)
                lines += every
        elif name.startswith("missing"):
            count = {"missing1k": 1000, "missing1m": 1000000}[name]
            lines = ["HKLM\\%s\\Absent%07d" % (key_path(i % (GROUPS * KEYS_PER_GROUP)), i)
                     for i in range(count)]
        elif name == "text100k":
            lines = ["Rubrique %06d : relev\xe9 du poste, sans cl\xe9" % i for i in range(100000)]
        else:
            raise KeyError(name)
        with open(path, "w", encoding="cp1252", newline="\r\n") as f:
            f.write("\n".join(lines) + "\n")
        return path

    # -- the end --------------------------------------------------------------

    def close(self):
        for prefix in self.servers:
            subprocess.run(["wineserver", "-k"], env=wine_env(prefix), check=False)
        for prefix in self.servers:
            subprocess.run(["wineserver", "-w"], env=wine_env(prefix), check=False, timeout=60)
        if self.keep:
            print("kept", self.work)
        else:
            shutil.rmtree(self.work, ignore_errors=True)
