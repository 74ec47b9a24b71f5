"""Rows of /W: a pattern over the enlarged prefix's generated values and over
the generated hive, against list runs that read the same values by name."""

import os
import subprocess

import hive_bench
from fixtures import UNINSTALL, UNINSTALL_KEYS, WINE, wine_env
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
    # In a list, as the other contender: empty values give a line there too.
    wild_list = ctx.path("wild.lst")
    with open(wild_list, "w") as f:
        f.write("HKLM\\Software\\hivtap-bench\\*\\*\\*\n")
    pattern = tool(ctx, prefix, ["/S", "/W", "/L:" + wild_list], out)
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
        "10a", "Wine prefix: `/W /L:` of `...\\hivtap-bench\\*\\*\\*` (100,000 values) vs the list "
        "naming each of them once",
        spread(pairs.seconds("a"), ms, "ms"), spread(pairs.seconds("b"), ms, "ms"),
        times(pairs.ratio()), "≤ 1.5x", pairs.ratio() <= 1.5)]

    # The issue's own question: every installed program's name, on a prefix
    # with 1,000 programs, against grep reading the same files once.
    prefix = ctx.uninstall
    pattern = "HKLM\\%s\\*\\DisplayName" % UNINSTALL
    files = [reg_path(prefix, n) for n in ("system.reg", "user.reg", "userdef.reg")]
    names = tool(ctx, prefix, ["/S", "/W", pattern], ctx.path("names.txt"))
    names()
    if crlf_lines(ctx.path("names.txt")) < UNINSTALL_KEYS:
        raise RuntimeError("the pattern gave %d lines" % crlf_lines(ctx.path("names.txt")))
    grep = lambda: run(["grep", "-c", "-F", '"DisplayName"='] + files, check=False)
    floor = paired(names, grep, ctx.repeats())
    results.append(Result(
        "10c", "Wine prefix with %d programs: `/W HKLM\\...\\Uninstall\\*\\DisplayName` vs "
        "`grep -c -F` over the 3 .reg files (%s MB)" % (UNINSTALL_KEYS,
                                                       mb(sum(map(os.path.getsize, files)))),
        spread(floor.seconds("a"), ms, "ms"), spread(floor.seconds("b"), ms, "ms"),
        times(floor.ratio()), "≤ 1.5x", floor.ratio() <= 1.5))

    # The same under Wine, against reg query's own listing of the key.
    if os.path.exists(ctx.exe):
        ctx.warm(prefix)
        env = wine_env(prefix)
        exe = lambda: run(WINE + [ctx.exe, "/S", "/W", pattern, "exe-wild.txt"], env=env,
                          cwd=ctx.work)
        query = lambda: run(WINE + ["reg", "query", "HKLM\\" + UNINSTALL, "/s", "/reg:64"],
                            env=env, cwd=ctx.work, stdout=subprocess.DEVNULL)
        peer = paired(exe, query, ctx.repeats(), warmup=1)
        faster = 1 / peer.ratio()
        start = Series(run(WINE + [ctx.exe, "/?"], env=env, cwd=ctx.work, check=False).seconds
                       for _ in range(3)).median
        results.append(Result(
            "10d", "hivtap.exe under Wine: the same pattern vs a warm `wine reg query "
            "...\\Uninstall /s` (Wine starting `hivtap.exe /?`: %s ms)" % ms(start),
            spread(peer.seconds("a"), ms, "ms"), spread(peer.seconds("b"), ms, "ms"),
            "%s faster" % times(faster), "≥ 5x faster", faster >= 5))

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
        "one-line list " + spread(pairs.seconds("b"), ms, "ms"), "", "≤ 2 µs",
        cost.median <= 2e-6))
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

    # /D: the same walk over the whole hive, and the one pass over its bins
    # that finds what it holds deleted.
    line = "HKLM\\SOFTWARE\\**\\*"
    pairs = paired(hivtap(ctx, prep, ["/D", "/W", line]), hivtap(ctx, prep, ["/W", line]),
                   ctx.repeats(heavy=True))
    results.append(Result(
        "10f", "generated hive: `/D /W %s` vs the same walk without `/D`" % line,
        spread(pairs.seconds("a"), ms, "ms"), spread(pairs.seconds("b"), ms, "ms"),
        times(pairs.ratio()), "≤ 1.5x", pairs.ratio() <= 1.5))
    return results
