"""Rows of the offline hive reader (a generated SOFTWARE hive of about 50 MB
in a folder of collected hives), of the replay of a dirty hive's logs, and of
damaged hives read against libhivex's unsafe mode."""

import os
import re
import shutil
import subprocess
import sys

import hive_bench
from measure import Series, paired, run
from rows import Result, Unmeasurable, mb, ms, row, spread, times, us

MB16 = 16 * 1024 * 1024


def hive_fixture(ctx):
    """The hive and its lists, written once for the rows that share them."""
    def make():
        work = ctx.path("hive")
        os.makedirs(work, exist_ok=True)
        return hive_bench.prepare(work, 50)
    return ctx.shared("hive_fixture", make)


def hivtap(ctx, prep, args):
    out = os.path.join(prep["work"], "out.txt")
    env = dict(os.environ, HIVTAP_REGISTRY=prep["drive"])

    def go():
        if os.path.exists(out):
            os.remove(out)
        return run([ctx.hivtap, "/S"] + args + ["out.txt"], env=env, cwd=prep["work"])
    return go


@row("7", 11, "offline hives: a generated SOFTWARE hive of about 50 MB")
def offline_hive(ctx):
    if not os.path.exists(ctx.hivtap):
        raise Unmeasurable("build/native/hivtap is not built")
    if not shutil.which("hivexget"):
        raise Unmeasurable("hivexget is missing (Debian: libhivex-bin)")
    prep = hive_fixture(ctx)
    last = prep["keys"] - 1
    size = os.path.getsize(prep["hive"])
    ours = hivtap(ctx, prep, ["HKLM\\Software\\Bench\\Key%05d\\Value09" % last])
    theirs = lambda: run(["hivexget", prep["hive"], "Bench\\Key%05d" % last, "Value09"])
    single = paired(ours, theirs, ctx.repeats())
    results = [Result(
        "7a", "one value of the last key, vs `hivexget` on the hive (%s MB)" % mb(size),
        spread(single.seconds("a"), ms, "ms"), spread(single.seconds("b"), ms, "ms"),
        times(single.ratio()), "≤ 2x", single.ratio() <= 2)]
    lines = prep["lines"]
    one = hivtap(ctx, prep, ["/L:one.lst"])
    for rid, name, what in (("7b", "many", "each line a key not read before"),
                            ("7c", "repeat", "500 values read again and again")):
        pairs = paired(hivtap(ctx, prep, ["/L:%s.lst" % name]), one, ctx.repeats(heavy=True))
        cost = Series((a.seconds - b.seconds) / (lines - 1) for a, b in zip(pairs.a, pairs.b))
        cpu = Series((a.cpu - b.cpu) / (lines - 1) for a, b in zip(pairs.a, pairs.b))
        results.append(Result(
            rid, "%d-line list, %s: per line after the first; CPU time beside" % (lines, what),
            spread(cost, us, "µs/line") + " (CPU %s µs)" % us(cpu.median),
            "one-line list " + spread(pairs.seconds("b"), ms, "ms"), "", "≤ 5 µs",
            cost.median <= 5e-6))
    # The mapped hive's pages are the file's (hivex and the reader each map
    # it): what counts is the anonymous and shared memory beyond them.
    argv = [ctx.hivtap, "/S", "/L:many.lst", "out.txt"]
    env = dict(os.environ, HIVTAP_REGISTRY=prep["drive"])
    peak = Series(hive_bench.peak_anon_kb(argv, env, prep["work"]) * 1024
                  for _ in range(ctx.repeats(heavy=True)))
    results.append(Result(
        "7d", "peak anonymous + shared memory (sampled) of the %d-line list, beyond the mapped "
        "hive file (%s MB)" % (lines, mb(size)), spread(peak, mb, "MB"), "16 MiB",
        times(peak.max / MB16), "≤ 16 MiB", peak.max <= MB16))
    return results


@row("8", 12, "dirty hive: replaying its logs")
def replay(ctx):
    bench = os.path.join(os.path.dirname(ctx.hivtap), "hive_recovery_bench")
    if not os.path.exists(bench):
        raise Unmeasurable("build/native/hive_recovery_bench is not built")
    added, copy = [], []
    for _ in range(ctx.repeats()):
        out = subprocess.run([bench, "50", "10"], capture_output=True, text=True, check=True).stdout
        if "RESULT WRONG" in out:
            raise RuntimeError("the replayed image differs from the expected hive")
        added.append(float(re.search(r"replay added\s+([\d.]+) ms", out).group(1)) / 1e3)
        copy.append(float(re.search(r"copy floor\s+([\d.]+) ms", out).group(1)) / 1e3)
    added, copy = Series(added), Series(copy)
    return [Result(
        "8a", "time a dirty 50 MB hive with 10 MB of logs adds to opening it (replay in memory)",
        spread(added, ms, "ms"), "copy of the primary alone " + spread(copy, ms, "ms"), "",
        "≤ 100 ms", added.median <= 0.1)]


def hivtap_values(ctx, folder, listing):
    """How many of the listed values hivtap reads from the hives of `folder`."""
    lst = os.path.join(folder, "list.lst")
    with open(lst, "wb") as f:
        f.write(b"".join(line + b"\r\n" for line in listing))
    out = os.path.join(folder, "out.txt")
    env = dict(os.environ, HIVTAP_REGISTRY=folder)
    subprocess.run([ctx.hivtap, "/S", "/L:" + lst, out], env=env, check=True,
                   stderr=subprocess.DEVNULL)
    with open(out, "rb") as f:
        return sum(1 for line in f.read().split(b"\r\n")[:len(listing)] if line)


@row("9", 19, "damaged hives: values still read, against libhivex's unsafe mode")
def damaged_hive(ctx):
    if not os.path.exists(ctx.hivtap):
        raise Unmeasurable("build/native/hivtap is not built")
    if subprocess.run(["perl", "-MWin::Hivex", "-e1"], capture_output=True).returncode:
        raise Unmeasurable("Perl Win::Hivex is missing (Debian: libwin-hivex-perl)")
    # The damage table of the end-to-end tests, on its hivexregedit hive.
    sys.path.insert(0, os.path.join(ctx.root, "tests", "e2e"))
    import hive_damage
    import hive_walk
    work = ctx.path("damage")
    data = hive_damage.fixture_hive(work)
    keys, values = hive_walk.walk(data)
    listing = [hive_damage.line(b"HKLM\\SOFTWARE\\", v) for v in values]
    ours = theirs = cases = 0
    middle = None
    for i, (name, damage, _) in enumerate(hive_damage.CASES):
        damaged = bytearray(data)
        if damage(damaged, keys, values) is None:
            continue
        folder = os.path.join(work, "case%d" % i)
        os.makedirs(folder)
        with open(os.path.join(folder, "SOFTWARE"), "wb") as f:
            f.write(damaged)
        a = hivtap_values(ctx, folder, listing)
        b = len(hive_damage.hivex_values(os.path.join(folder, "SOFTWARE")))
        print("   %s: hivtap %d, hivex unsafe %d of %d" % (name, a, b, len(values)), flush=True)
        ours, theirs, cases = ours + a, theirs + b, cases + 1
        if damage is hive_damage.bad_bin_signature:
            middle = (a, b)
    results = [Result(
        "9a", "values read over %d damaged copies of a %d-value hive (one damage each), vs "
        "libhivex unsafe (`hivexsh -u`'s mode, through Win::Hivex)" % (cases, len(values)),
        "%d" % ours, "%d" % theirs, times(ours / max(theirs, 1)), "≥ 1x", ours >= theirs)]
    if middle:
        results.append(Result(
            "9b", "the same, one bad bin signature in the middle", "%d" % middle[0],
            "%d" % middle[1], times(middle[0] / max(middle[1], 1)), "≥ 1x",
            middle[0] >= middle[1]))
    return results
