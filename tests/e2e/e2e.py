#!/usr/bin/env python3
"""End-to-end tests of hivtap.

  e2e.py windows --arch win64|win32 --hivtap EXE --launcher EXE --verinfo EXE
                 --verinfo64 EXE --objdump OBJDUMP --seeder EXE
  e2e.py native --hivtap PROGRAM --seeder EXE
  e2e.py differential --hivtap PROGRAM --windows-hivtap EXE --seeder EXE
  e2e.py hives --hivtap PROGRAM
  e2e.py hive-differential --hivtap PROGRAM --windows-hivtap EXE --seeder EXE

The registry is the Wine prefix named by WINEPREFIX, or a temporary prefix
made for the run, seeded by hivtap_seed.exe (--seeder). Prints one line per
check and ends with "N passed, N failed"; the exit code is 1 when a check
failed. A win32 suite on a host that cannot run 32-bit programs makes only
the checks that need no run, then exits 77 (skipped), or 1 when one failed."""

import argparse
import difflib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import traceback

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import cases  # noqa: E402
import fault_cases  # noqa: E402
import linux_cases  # noqa: E402
import output_cases  # noqa: E402
import hive_differential  # noqa: E402
import hive_classes  # noqa: E402
import hive_suite  # noqa: E402
import reader_oracles  # noqa: E402
import wildcard_cap  # noqa: E402
import wildcard_hives  # noqa: E402
import wildcard_live  # noqa: E402
import seed  # noqa: E402
from harness import (SKIP, Case, NativeRunner, Prefix, Tally, WindowsRunner,  # noqa: E402
                     WINE, WINE_TIMEOUT, read_or_empty, wine_host, winpath)

VERSION_RECORD = (b"FileVersion 1.2.0.0\r\n"
                  b"ProductVersion 1.2.0.0\r\n"
                  b"Translation 040C 1252\r\n"
                  b"040C04E4 FileDescription=Lecture Registre\r\n"
                  b"040C04E4 FileVersion=1.2.0.0\r\n"
                  b"040C04E4 ProductVersion=1.2.0.0\r\n")

SYSTEM_DLLS = re.compile(r"^(kernel32|advapi32|user32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)"
                         r"\.dll$", re.IGNORECASE)


def check_imports(tally, objdump, exe):
    r = subprocess.run([objdump, "-p", exe], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       check=False)
    dlls = re.findall(r"DLL Name: (\S+)", r.stdout.decode("ascii", "replace"))
    tally.check("PE imports are read", r.returncode == 0 and len(dlls) > 0,
                r.stderr.decode("ascii", "replace"))
    others = [d for d in dlls if not SYSTEM_DLLS.match(d)]
    tally.equal("PE imports only system DLLs", others, [])
    wanted = {"kernel32.dll", "advapi32.dll", "user32.dll"}
    tally.equal("PE imports kernel32, advapi32 and user32",
                sorted(wanted & {d.lower() for d in dlls}), sorted(wanted))


def pe_machine(path):
    """The machine field of a PE file's header."""
    with open(path, "rb") as f:
        head = f.read(4096)
    at = struct.unpack_from("<I", head, 0x3C)[0]
    if head[:2] != b"MZ" or head[at:at + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", head, at + 4)[0]


def win32_static_checks(tally, args, why):
    """What can be checked of the win32 exe without running it: its machine,
    imports and version record, the last read by the 64-bit helper."""
    tally.equal("win32: PE machine i386", pe_machine(args.hivtap), 0x14C)
    check_imports(tally, args.objdump, args.hivtap)
    if not args.verinfo64 or not os.path.isfile(args.verinfo64):
        tally.check("win32: the win64 hivtap_verinfo.exe is built", False,
                    "%s is missing: build the win64 build first" % args.verinfo64)
    else:
        r = subprocess.run(WINE + [args.verinfo64, winpath(args.hivtap)], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=WINE_TIMEOUT, check=False,
                           env=dict(os.environ, WINEDEBUG="-all"))
        tally.equal("win32: version record, read by the win64 helper", r.stdout, VERSION_RECORD)
    if tally.failed:
        return tally.finish()
    tally.finish()
    print("SKIPPED: the win32 runs of hivtap.exe, since %s" % why)
    return SKIP


def windows_suite(tally, args, prefix, work):
    prefix.seed()
    runner = WindowsRunner(prefix, args.launcher, args.hivtap, work)
    label = args.arch
    version = Case("version record", program=args.verinfo, argv0=b"hivtap_verinfo.exe",
                   raw=b'"' + winpath(args.hivtap).encode("ascii") + b'"', out=VERSION_RECORD)
    runner.run_cases(tally, label, cases.shared_cases("\\") + cases.raw_command_line_cases() +
                     output_cases.stream_cases(["closed", "invalid", "brokenpipe", "pipe"]) + [version])

    # hivtap.exe started by Wine itself, its output to a Unix pipe and to a
    # character device that refuses every write.
    for mode, code, expected_out, expected_file in (
            ("unix pipe", 0, output_cases.L9_LINE * 20, output_cases.L9_LINE * 20),
            ("/dev/full", 1, b"", b"")):
        directory = os.path.join(work, "%s-direct-%s" % (label, mode.replace("/", "")))
        os.makedirs(directory)
        with open(os.path.join(directory, "l9.lst"), "wb") as f:
            f.write(output_cases.L9_LIST)
        name = "%s: started by wine, standard output to %s" % (label, mode)
        if mode == "unix pipe":
            r = prefix.wine([args.hivtap, "/L:l9.lst"], cwd=directory, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
            out = r.stdout
        else:
            with open("/dev/full", "wb") as full:
                r = prefix.wine([args.hivtap, "/L:l9.lst"], cwd=directory, stdout=full,
                                stderr=subprocess.PIPE)
            out = b""
        tally.equal(name + " [exit code]", r.returncode, code)
        tally.equal(name + " [console]", out, expected_out)
        if code:
            tally.check(name + " [standard error]", r.stderr.endswith(b"\r\n"),
                        "expected a failure report, got %r" % r.stderr)
        tally.equal(name + " [file hivTAP.txt]",
                    read_or_empty(os.path.join(directory, "hivTAP.txt")), expected_file)

    fault_cases.windows_faults(tally, runner, work, label)
    fault_cases.windows_ctrl_c(tally, runner, label)
    fault_cases.windows_read_only(tally, prefix, args.hivtap, work, label)

    # A second OEM code page: the French locale gives 850. Last, as Wine
    # takes a while to start in a locale other than the previous run's.
    accented = [c for c in cases.result_line_cases() if c.name.startswith("accented")]
    french = ([cases.help_cases()[2]] + accented + cases.list_cases()[1:2] +
              [c for c in output_cases.output_file_cases("\\")
               if c.name in ("missing list file", "output file in a missing directory")])
    runner.run_cases(tally, label + "-cp850", french, locale="fr_FR.UTF-8", console="850")

    check_imports(tally, args.objdump, args.hivtap)
    live = wildcard_live.windows_run(prefix, args.hivtap, work)
    wildcard_live.live_group(tally, label, live)
    wildcard_live.link_group(tally, label, live)


def native_suite(tally, args, prefix, work):
    prefix.seed()
    prefix.sync()
    before = fault_cases.prefix_state(prefix)
    runner = NativeRunner(prefix, args.hivtap, work)
    runner.run_cases(tally, "native", cases.shared_cases("/") +
                     output_cases.stream_cases(["closed", "brokenpipe", "pipe", "full"], native=True))
    fault_cases.native_faults(tally, runner, work)
    linux_cases.native_groups(tally, runner, args.hivtap, prefix, work)
    fault_cases.prefix_unchanged(tally, prefix, before)
    # Last: reg query starts Wine, which writes the prefix's files.
    live = wildcard_live.native_run(prefix, args.hivtap, work)
    wildcard_live.live_group(tally, "native", live)
    wildcard_live.link_group(tally, "native", live)


def user_sid(prefix):
    with open(os.path.join(prefix.path, "user.reg"), "rb") as f:
        head = f.read(4096).decode("ascii", "replace")
    m = re.search(r"User\\\\(S-[0-9-]+)", head)
    return m.group(1).encode("ascii") if m else b"S-1-5-21-0-0-0-1000"


def differential_lines(prefix):
    k = cases.K
    lines = [k + b"\\Diff\\T%X_S%d" % (t, s) for t in seed.DIFF_TYPES for s in seed.DIFF_SIZES]
    lines += [cases.TYPES + entry[0] for entry in cases.TYPE_LINES]
    lines += [k + b"\\Multi\\NoListEnd", k + b"\\Multi\\OneString", k + b"\\Multi\\NoEnd"]
    lines += [
        k + b"\\Diff\\Text",
        k + b"\\Diff\\Expand",
        k + b"\\Diff\\Multi",
        b"hkcu\\software\\HIVTAP-E2E\\diff\\mixedcase",
        b"HKEY_current_USER\\Software\\hivtap-e2e\\DIFF\\t4_s4",
        k + b"\\Diff\\Accentu\xe9\\Cl\xe9",
        k + b"\\DIFF\\ACCENTU\xc9\\CL\xc9",
        k + b"\\Diff\\?\\Name?",
        k + b"\\Diff\\Nope",
        k + b"\\Nope\\Nope",
        b"HKCU\\hivtap-e2e-root",
        b"HKCU\\Software\\hivtap-e2e\\",
        b"HKLM\\System\\CurrentControlSet\\Services\\hivtap-e2e\\Start",
        b"HKLM\\SYSTEM\\ControlSet001\\Services\\hivtap-e2e\\Start",
        b"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProductName",
        b"HKLM\\System\\CurrentControlSet\\Control\\ComputerName\\ComputerName\\ComputerName",
        b"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\UTC\\Std",
        b"HKLM\\Software\\Wow6432Node\\Classes\\.hivtap-e2e\\Lien",
        b"HKLM\\Software\\hivtap-e2e\\View",
        b"HKLM\\Software\\Wow6432Node\\hivtap-e2e\\View",
        b"HKCR\\.hivtap-e2e\\Content Type",
        b"HKCR\\.hivtap-e2e\\Lien",
        b"HKCR\\.hivtap-e2e-user\\Content Type",
        b"HKU\\.Default\\Software\\hivtap-e2e\\Defaut",
        b"HKU\\" + user_sid(prefix) + b"\\Software\\hivtap-e2e\\Types\\Sz",
        b"HKCC\\Software\\hivtap-e2e\\Config",
        b"HKPD\\Global",
        b"HKDD\\PerfStats\\Global",
        b"HKLM\\nope",
    ]
    return lines


def differential_suite(tally, args, prefix, work):
    if not os.path.isfile(args.windows_hivtap):
        tally.check("win64 hivtap.exe is built", False,
                    "%s is missing: build the win64 build first (scripts/build.sh)"
                    % args.windows_hivtap)
        return
    prefix.seed()
    directory = os.path.join(work, "diff")
    os.makedirs(directory)
    listing = b"".join(line + b"\r\n" for line in differential_lines(prefix))
    with open(os.path.join(directory, "diff.lst"), "wb") as f:
        f.write(listing)
    runs = [("without /N", ["/S", "/L:diff.lst"]), ("with /N", ["/S", "/N", "/L:diff.lst"])]
    for i, (_, options) in enumerate(runs):
        r = prefix.wine([args.windows_hivtap] + options + ["win%d.txt" % i], cwd=directory,
                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        tally.equal("differential: win64 run %d exit code" % i, r.returncode, 0)
    prefix.sync()
    before = prefix.reg_files()
    native = NativeRunner(prefix, args.hivtap, work)
    for i, (_, options) in enumerate(runs):
        code, out, err = native.run(directory, [o.encode() for o in options] +
                                    [b"native%d.txt" % i])
        tally.equal("differential: native run %d exit code" % i, code, 0)
        tally.equal("differential: native run %d console" % i, out, b"")
        tally.equal("differential: native run %d standard error" % i, err, b"")
    after = prefix.reg_files()
    for name in sorted(before):
        tally.check("differential: %s unchanged by the native runs" % name,
                    before[name] == after[name])
    for i, (what, _) in enumerate(runs):
        windows = read_or_empty(os.path.join(directory, "win%d.txt" % i))
        native_out = read_or_empty(os.path.join(directory, "native%d.txt" % i))
        ok = windows == native_out
        detail = ""
        if not ok:
            diff = difflib.unified_diff(
                [repr(x) for x in windows.split(b"\r\n")],
                [repr(x) for x in native_out.split(b"\r\n")], "win64", "native", lineterm="", n=1)
            detail = "\n    " + "\n    ".join(list(diff)[:80])
        tally.check("differential: identical output files %s" % what, ok, detail)
    named = read_or_empty(os.path.join(directory, "win1.txt"))
    tally.check("differential: the win64 run read the seeded values",
                b"mixedcase=casse\r\n" in named and b"T4_S4=" in named)
    linux_cases.differential_groups(tally, native, args.windows_hivtap, prefix, work)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("suite", choices=["windows", "native", "differential", "hives",
                                          "hive-differential"])
    parser.add_argument("--hivtap", required=True)
    parser.add_argument("--arch", default="win64")
    parser.add_argument("--launcher")
    parser.add_argument("--verinfo")
    parser.add_argument("--verinfo64", help="a 64-bit hivtap_verinfo.exe, for a win32 exe "
                        "on a host that runs only 64-bit programs")
    parser.add_argument("--seeder", help="hivtap_seed.exe")
    parser.add_argument("--objdump")
    parser.add_argument("--windows-hivtap")
    parser.add_argument("--keep", action="store_true", help="keep the work directory")
    args = parser.parse_args()
    args.hivtap = os.path.abspath(args.hivtap)
    if args.windows_hivtap:
        args.windows_hivtap = os.path.abspath(args.windows_hivtap)

    tally = Tally()
    host, why32 = wine_host() if args.suite != "hives" else (None, None)
    if host:
        print(host)
    if args.suite == "windows" and args.arch == "win32" and why32:
        return win32_static_checks(tally, args, why32)
    work = tempfile.mkdtemp(prefix="hivtap-e2e-")
    prefix = None
    try:
        if args.suite == "hives":  # no Wine
            hive_suite.native_groups(tally, args.hivtap, work)
            classes = os.path.join(work, "classes")
            os.makedirs(classes)
            hive_classes.classes_group(tally, hive_suite.Runner(args.hivtap, classes), classes)
            wildcard_cap.cap_group(tally, args.hivtap, work)
            wildcard_hives.hives_group(tally, hive_suite.Runner(args.hivtap, work), work)
            reader_oracles.oracle_group(tally, hive_suite.Runner(args.hivtap, work), work)
        else:
            prefix = Prefix(work, args.seeder)
            suite = {"windows": windows_suite, "native": native_suite,
                     "differential": differential_suite,
                     "hive-differential": hive_differential.differential_group}[args.suite]
            suite(tally, args, prefix, work)
    except Exception as failure:  # reported as a failed check, with the rest of the tally
        traceback.print_exc()
        tally.check("the suite ran to its end", False, repr(failure))
    finally:
        if prefix:
            prefix.close()
        if args.keep:
            print("work directory kept:", work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    return tally.finish()


if __name__ == "__main__":
    sys.exit(main())
