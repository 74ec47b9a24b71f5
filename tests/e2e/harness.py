"""Running hivtap and checking what it did: the Wine prefix, the runs of the
Windows builds (through hivtap_launch.exe, several runs per Wine start), the
runs of the native build, and the tally of checks."""

import os
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field

import seed

WINE_TIMEOUT = 120
# Starts Wine the way this host can: see scripts/wine.sh.
WINE = ["bash", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                             "wine.sh")]
# The exit code of a run that this host cannot make (a 32-bit program where
# only 64-bit ones run); ctest reports it as skipped.
SKIP = 77


def wine_host():
    """How Wine runs here, and None when 32-bit programs can run, else why not."""
    host = subprocess.run(WINE + ["--host"], stdout=subprocess.PIPE, check=True)
    r = subprocess.run(WINE + ["--can-run-32"], stdout=subprocess.PIPE, check=False)
    why = r.stdout.decode("ascii", "replace").strip() if r.returncode else None
    return host.stdout.decode("ascii", "replace").strip(), why


def winpath(path):
    """A Unix path as Wine's drive Z: shows it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def show(data, limit=400):
    text = repr(data)
    return text if len(text) <= limit else text[:limit] + "...(%d bytes)" % len(data)


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


class Tally:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print("PASS", name)
        else:
            self.failed += 1
            print("FAIL", name + (": " + detail if detail else ""))
        sys.stdout.flush()
        return ok

    def equal(self, name, actual, expected):
        if actual == expected:
            return self.check(name, True)
        detail = "\n    expected %s\n    actual   %s" % (show(expected), show(actual))
        if isinstance(actual, bytes) and isinstance(expected, bytes):
            at = first_difference(actual, expected)
            detail += "\n    first difference at byte %d: expected %s, actual %s" % (
                at, show(expected[at:at + 24]), show(actual[at:at + 24]))
        return self.check(name, False, detail)

    def finish(self):
        print("%d passed, %d failed" % (self.passed, self.failed))
        return 1 if self.failed else 0


class Prefix:
    """The Wine prefix named by WINEPREFIX, or a temporary one made here and
    removed at the end."""

    def __init__(self, work, seeder=None):
        self.seeder = seeder
        self.made = False
        self.path = os.environ.get("WINEPREFIX", "")
        if not self.path:
            self.path = tempfile.mkdtemp(prefix="hivtap-e2e-prefix-")
            self.made = True
            print("making a Wine prefix in", self.path)
            subprocess.run(WINE + ["wineboot", "-i"], env=self.env(), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300, check=True)
            self.sync()
        self.work = work

    # C.UTF-8 makes Wine use the OEM code page 437 and UTF-8 file names; a
    # locale that is not installed, such as fr_FR.UTF-8 on a bare system, still
    # sets Wine's code pages but leaves file names ASCII only.
    def env(self, locale="C.UTF-8"):
        env = dict(os.environ)
        env["WINEPREFIX"] = self.path
        env["WINEDEBUG"] = "-all"
        env["LC_ALL"] = locale
        return env

    def sync(self):
        """Waits until the Wine server has ended, so that the registry files
        on disk are complete."""
        subprocess.run(["wineserver", "-w"], env=self.env(), timeout=WINE_TIMEOUT, check=True)

    def wine(self, args, **kw):
        kw.setdefault("timeout", WINE_TIMEOUT)
        kw.setdefault("stdin", subprocess.DEVNULL)
        env = kw.pop("env", None) or self.env(kw.pop("locale", "C.UTF-8"))
        return subprocess.run(WINE + args, env=env, **kw)

    def seed(self):
        """Writes the test values, after removing every scratch key."""
        self.write_values(seed.SCRATCH_KEYS, seed.VALUES)

    def write_values(self, deletes, values):
        """Deletes the keys named in `deletes` (full paths), then writes
        `values` (full key path, name, type, data) with their exact bytes
        through hivtap_seed.exe, which reads each one back."""
        if not self.seeder or not os.path.isfile(self.seeder):
            raise RuntimeError("hivtap_seed.exe of the win64 build is missing (%s): build it "
                               "first (scripts/build.sh)" % self.seeder)
        path = os.path.join(self.work, "seed%d.txt" % len(os.listdir(self.work)))
        with open(path, "wb") as f:
            f.write(seed.seed_records(deletes, values))
        r = self.wine([self.seeder, winpath(path)], stdout=subprocess.PIPE,
                      stderr=subprocess.STDOUT)
        if r.returncode != 0:
            raise RuntimeError("hivtap_seed failed with exit code %d: %s" % (
                r.returncode, r.stdout.decode("ascii", "replace")[:2000]))

    def reg_files(self):
        files = {}
        for name in ("system.reg", "user.reg", "userdef.reg"):
            with open(os.path.join(self.path, name), "rb") as f:
                files[name] = f.read()
        return files

    def close(self):
        if self.made:
            subprocess.run(["wineserver", "-k"], env=self.env(), timeout=WINE_TIMEOUT)
            shutil.rmtree(self.path, ignore_errors=True)


# Expected standard error: no bytes, or a report of an unhandled failure (its
# wording is free; it is one or more lines, each ended by CR LF).
NO_ERROR = b""
FAILURE_REPORT = object()


@dataclass
class Case:
    """One run of hivtap in a directory of its own.

    args: the arguments, each as bytes (ANSI). Windows runs join them with
    blanks into the raw command line, quoting any that holds a blank; native
    runs pass them as argv (converted to the console charset).
    raw: for Windows runs, the exact command line after the program name
    (overrides args).
    files: files made in the directory before the run (relative path: bytes).
    out: expected standard output, bytes; or a dict by console charset
    ("437", "850", "utf8") when it differs.
    err: expected standard error, likewise; a dict gives no bytes for a
    console it does not name.
    after: expected files after the run beyond the input files, which must
    stay unchanged; None means the file must not exist. No other file may
    appear.
    """

    name: str
    args: list = field(default_factory=list)
    raw: bytes = None
    argv0: bytes = b"hivtap.exe"
    files: dict = field(default_factory=dict)
    dirs: list = field(default_factory=list)
    code: int = 0
    out: object = b""
    err: object = NO_ERROR
    after: dict = field(default_factory=dict)
    mode: str = "file"
    only: str = None  # "windows" or "native"
    program: str = None  # Windows runs: another program than hivtap.exe


def quote_arg(arg):
    return b'"' + arg + b'"' if (b" " in arg or b"\t" in arg or not arg) else arg


def raw_command_line(case):
    if case.raw is not None:
        return case.argv0 + b" " + case.raw
    return b" ".join([case.argv0] + [quote_arg(a) for a in case.args])


def prepare(case, directory):
    os.makedirs(directory)
    for d in case.dirs:
        os.makedirs(os.path.join(directory, d), exist_ok=True)
    for name, data in case.files.items():
        path = os.path.join(directory, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def snapshot(root):
    """Every file under root with its bytes and modification time."""
    found = {}
    for top, _, names in os.walk(root):
        for name in names:
            path = os.path.join(top, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root)] = (f.read(), os.stat(path).st_mtime_ns)
    return found


def tree(directory):
    found = {}
    for root, _, names in os.walk(directory):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, directory).replace(os.sep, "/")] = f.read()
    return found


def native_console(data):
    """Console text as the native build writes it: its lines, a
    multi-string's included, end with LF where the Windows builds' end with
    CR LF."""
    return data.replace(b"\r\n", b"\n")


def verify(tally, label, case, console, code, out, err, directory):
    name = "%s: %s" % (label, case.name)
    tally.equal(name + " [exit code]", code, case.code)
    expected_out = case.out[console] if isinstance(case.out, dict) else case.out
    line_end = b"\r\n"
    if console == "utf8" and case.mode != "stdout-file":
        expected_out, line_end = native_console(expected_out), b"\n"
    tally.equal(name + " [console]", out, expected_out)
    if case.err is FAILURE_REPORT:
        tally.check(name + " [standard error]", err.endswith(line_end) and
                    err.count(b"\n") == err.count(line_end),
                    "expected a failure report ended by %r, got %s" % (line_end, show(err)))
    else:
        expected_err = case.err.get(console, NO_ERROR) if isinstance(case.err, dict) else case.err
        if console == "utf8":
            expected_err = native_console(expected_err)
        tally.equal(name + " [standard error]", err, expected_err)
    expected = dict(case.files)
    for path, data in case.after.items():
        if data is None:
            expected.pop(path, None)
        else:
            expected[path] = data
    actual = tree(directory)
    for path in sorted(set(expected) | set(actual)):
        if path not in actual:
            tally.check("%s [file %s]" % (name, path), False, "missing")
        elif path not in expected:
            tally.check("%s [file %s]" % (name, path), False,
                        "unexpected file, holding " + show(actual[path]))
        else:
            tally.equal("%s [file %s]" % (name, path), actual[path], expected[path])


class WindowsRunner:
    """Runs batches of cases through hivtap_launch.exe: one Wine start per
    batch, one process per case."""

    def __init__(self, prefix, launcher, hivtap, work):
        self.prefix = prefix
        self.launcher = launcher
        self.hivtap = hivtap
        self.work = work
        self.batches = 0

    def launch(self, records, locale):
        """records: (program, directory, base, mode, command line bytes).
        Returns the launcher's report line for each."""
        self.batches += 1
        batch = os.path.join(self.work, "batch%d.txt" % self.batches)
        with open(batch, "wb") as f:
            for program, directory, base, mode, command_line in records:
                assert b"\n" not in command_line and b"\0" not in command_line
                for part in (winpath(program), winpath(directory), winpath(base), mode):
                    f.write(part.encode("ascii") + b"\n")
                f.write(command_line + b"\n")
        r = self.prefix.wine([self.launcher, winpath(batch)], locale=locale,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        lines = r.stdout.decode("ascii", "replace").splitlines()
        if r.returncode != 0 or len(lines) != len(records):
            raise RuntimeError("launcher failed (exit %d): %s %s" % (
                r.returncode, r.stdout.decode("ascii", "replace"),
                r.stderr.decode("ascii", "replace")))
        return lines

    def run_cases(self, tally, label, cases, locale="C.UTF-8", console="437"):
        cases = [c for c in cases if c.only in (None, "windows")]
        records = []
        for i, case in enumerate(cases):
            directory = os.path.join(self.work, "%s-%02d" % (label, i))
            prepare(case, directory)
            base = os.path.join(self.work, "%s-%02d-std" % (label, i))
            records.append((case.program or self.hivtap, directory, base, case.mode,
                            raw_command_line(case)))
        reports = self.launch(records, locale)
        for case, record, report in zip(cases, records, reports):
            _, directory, base, _, _ = record
            if not report.startswith("exit "):
                tally.check("%s: %s" % (label, case.name), False, report)
                continue
            out = read_or_empty(base + ".out")
            err = read_or_empty(base + ".err")
            verify(tally, label, case, console, int(report[5:]), out, err, directory)


def read_or_empty(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return b""


class NativeRunner:
    """Runs the native build directly; its console charset is UTF-8."""

    def __init__(self, prefix, hivtap, work):
        self.prefix = prefix
        self.hivtap = hivtap
        self.work = work

    def env(self):
        env = dict(os.environ)
        env["WINEPREFIX"] = self.prefix.path
        env["LC_ALL"] = "C.UTF-8"
        return env

    def run(self, directory, args, mode="file"):
        """Returns (exit code, standard output, standard error)."""
        argv = [self.hivtap] + [a.decode("cp1252").encode("utf-8") for a in args]
        out_path = directory + "-std.out"
        kw = dict(cwd=directory, env=self.env(), stdin=subprocess.DEVNULL, stderr=subprocess.PIPE,
                  timeout=60)
        if mode == "file":
            with open(out_path, "wb") as out:
                r = subprocess.run(argv, stdout=out, **kw)
            return r.returncode, read_or_empty(out_path), r.stderr
        if mode == "pipe":
            r = subprocess.run(argv, stdout=subprocess.PIPE, **kw)
            return r.returncode, r.stdout, r.stderr
        if mode == "brokenpipe":
            read_end, write_end = os.pipe()
            os.close(read_end)
            try:
                r = subprocess.run(argv, stdout=write_end, **kw)
            finally:
                os.close(write_end)
            return r.returncode, b"", r.stderr
        if mode == "full":
            with open("/dev/full", "wb") as out:
                r = subprocess.run(argv, stdout=out, **kw)
            return r.returncode, b"", r.stderr
        if mode == "closed":
            r = subprocess.run(argv, stdout=subprocess.DEVNULL, preexec_fn=lambda: os.close(1),
                               **kw)
            return r.returncode, b"", r.stderr
        raise ValueError(mode)

    def run_cases(self, tally, label, cases):
        for i, case in enumerate(c for c in cases if c.only in (None, "native")):
            directory = os.path.join(self.work, "%s-%02d" % (label, i))
            prepare(case, directory)
            code, out, err = self.run(directory, case.args, case.mode)
            verify(tally, label, case, "utf8", code, out, err, directory)
