"""Rows of the offline hive reader (a generated SOFTWARE hive of about 50 MB
in a folder of collected hives) and of the replay of a dirty hive's logs."""

import os
import re
import shutil
import subprocess

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
