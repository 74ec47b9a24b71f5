"""Rows of /W: a pattern over the enlarged prefix's generated values and over
the generated hive, against list runs that read the same values by name."""

import os
import subprocess

import hive_bench
from fixtures import WINE, wine_env
from measure import Series, paired, run
from rows import Result, Unmeasurable, mb, ms, row, spread, times, us
from rows_hive import hive_fixture, hivtap
from rows_wine import crlf_lines, reg_path, tool

MB16 = 16 * 1024 * 1024


@row("10", 17, "/W: every value a pattern matches")
def wildcards(ctx):
    if not os.path.exists(ctx.hivtap):
        raise Unmeasurable("build/native/hivtap is not built")
    prefix = ctx.enlarged
    out = ctx.path("wild.txt")
    pattern = tool(ctx, prefix, ["/S", "/W", "HKLM\\Software\\hivtap-bench\\*\\*\\*"], out)
    listed = tool(ctx, prefix, ["/S", "/L:" + ctx.list_file("values100k")], ctx.path("l.txt"))
    pattern()
    listed()
    # The same values by pattern and by name: as many lines, multi-strings'
    # inner line ends included.
    if crlf_lines(out) != crlf_lines(ctx.path("l.txt")):
        raise RuntimeError("the pattern gave %d lines, the list %d" % (
            crlf_lines(out), crlf_lines(ctx.path("l.txt"))))
    pairs = paired(pattern, listed, ctx.repeats(heavy=True))
    results = [Result(
        "10a", "Wine prefix: `/W ...\\hivtap-bench\\*\\*\\*` (100,000 values) vs the list "
        "naming each of them once",
        spread(pairs.seconds("a"), ms, "ms"), spread(pairs.seconds("b"), ms, "ms"),
        times(pairs.ratio()), "≤ 1.5x", pairs.ratio() <= 1.5)]

    # The floor of the lookup itself: grep reading the same files once.
    files = [reg_path(prefix, n) for n in ("system.reg", "user.reg", "userdef.reg")]
    one_each = tool(ctx, prefix, ["/S", "/W", "HKLM\\Software\\hivtap-bench\\*\\*\\V0"],
                    ctx.path("v0.txt"))
    grep = lambda: run(["grep", "-c", "-F", "[Software\\\\hivtap-bench\\\\"] + files,
                       check=False)
    floor = paired(one_each, grep, ctx.repeats())
    results.append(Result(
        "10c", "Wine prefix: `/W ...\\hivtap-bench\\*\\*\\V0` (10,000 values) vs `grep -c -F` "
        "of the keys' header over the 3 .reg files (%s MB)" % mb(sum(map(os.path.getsize, files))),
        spread(floor.seconds("a"), ms, "ms"), spread(floor.seconds("b"), ms, "ms"),
        times(floor.ratio()), "≤ 2x", floor.ratio() <= 2))

    # Under Wine: 1,000 values of 100 keys, against reg query's own listing.
    if os.path.exists(ctx.exe):
        ctx.warm(prefix)
        env = wine_env(prefix)
        group = "HKLM\\Software\\hivtap-bench\\G000"
        exe = lambda: run(WINE + [ctx.exe, "/S", "/W", group + "\\*\\*", "exe-wild.txt"], env=env,
                          cwd=ctx.work)
        query = lambda: run(WINE + ["reg", "query", group, "/s", "/reg:64"], env=env, cwd=ctx.work,
                            stdout=subprocess.DEVNULL)
        peer = paired(exe, query, ctx.repeats(), warmup=1)
        faster = 1 / peer.ratio()
        results.append(Result(
            "10d", "hivtap.exe under Wine: `/W ...\\G000\\*\\*` (1,000 values) vs a warm `wine reg "
            "query ...\\G000 /s`", spread(peer.seconds("a"), ms, "ms"),
            spread(peer.seconds("b"), ms, "ms"), "%s faster" % times(faster), "≥ 5x faster",
            faster >= 5))

    prep = hive_fixture(ctx)
    walk = hivtap(ctx, prep, ["/W", "HKLM\\Software\\Bench\\*\\*"])
    walk()
    count = crlf_lines(os.path.join(prep["work"], "out.txt"))
    one = hivtap(ctx, prep, ["/L:one.lst"])
    pairs = paired(walk, one, ctx.repeats(heavy=True))
    cost = Series((a.seconds - b.seconds) / count for a, b in zip(pairs.a, pairs.b))
    results.append(Result(
        "10b", "generated hive: `/W HKLM\\Software\\Bench\\*\\*` (%d values), per value beyond "
        "a one-line list" % count, spread(cost, us, "µs/value"),
        "one-line list " + spread(pairs.seconds("b"), ms, "ms"), "", "≤ 5 µs",
        cost.median <= 5e-6))
    # The hive's pages are the file's, mapped twice (by hivex and by the
    # reader), so the kernel's peak RSS counts them twice: what the walk
    # adds is its anonymous and shared memory, as row 7d measures it.
    argv = [ctx.hivtap, "/S", "/W", "HKLM\\Software\\Bench\\*\\*", "out.txt"]
    env = dict(os.environ, HIVTAP_REGISTRY=prep["drive"])
    peak = Series(hive_bench.peak_anon_kb(argv, env, prep["work"]) * 1024
                  for _ in range(ctx.repeats(heavy=True)))
    results.append(Result(
        "10e", "peak anonymous + shared memory (sampled) of that walk, beyond the mapped hive "
        "file (%s MB)" % mb(os.path.getsize(prep["hive"])), spread(peak, mb, "MB"), "16 MiB",
        times(peak.max / MB16), "≤ 16 MiB", peak.max <= MB16))
    return results
