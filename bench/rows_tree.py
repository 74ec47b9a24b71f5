"""Rows of the whole tree: a walk of every key and value of the generated
hive with key times, and its export, against independent readers printing
the same hive."""

import os
import shutil

import hive_bench
from measure import Series, paired, run
from rows import Result, Unmeasurable, mb, ms, row, spread, times
from rows_hive import hive_fixture, hivtap

MB16 = 16 * 1024 * 1024


@row("12", 23, "the whole tree: ** with times, and its export")
def whole_tree(ctx):
    if not os.path.exists(ctx.hivtap):
        raise Unmeasurable("build/native/hivtap is not built")
    if not shutil.which("reglookup"):
        raise Unmeasurable("reglookup is not installed (scripts/setup.sh)")
    prep = hive_fixture(ctx)
    walk_key = "HKLM\\Software\\**\\*"
    results = []
    reglookup = lambda: run(["reglookup", "-i", prep["hive"]], check=False)
    for rid, args, target, what in (
            ("12a", ["/W", "/T", walk_key], 0.2, "`/W /T HKLM\\Software\\**\\*`"),
            ("12b", ["/W", "/F:json", walk_key], 0.25, "`/W /F:json HKLM\\Software\\**\\*`")):
        mine = hivtap(ctx, prep, args)
        mine()
        count = sum(1 for _ in open(os.path.join(prep["work"], "out.txt"), "rb"))
        pairs = paired(mine, reglookup, ctx.repeats(heavy=True))
        results.append(Result(
            rid, "generated hive (%s MB): %s (%d lines) vs `reglookup -i`" % (
                mb(os.path.getsize(prep["hive"])), what, count),
            spread(pairs.seconds("a"), ms, "ms"), spread(pairs.seconds("b"), ms, "ms"),
            times(pairs.ratio()), "≤ %gx" % target, pairs.ratio() <= target))
    if shutil.which("hivexregedit"):
        mine = hivtap(ctx, prep, ["/W", "/F:json", walk_key])
        export = lambda: run(["hivexregedit", "--export", prep["hive"], "\\"], check=False)
        pairs = paired(mine, export, ctx.repeats())
        results.append(Result(
            "12c", "the same export vs `hivexregedit --export`",
            spread(pairs.seconds("a"), ms, "ms"), spread(pairs.seconds("b"), ms, "ms"),
            times(pairs.ratio()), "≤ 0.25x", pairs.ratio() <= 0.25))
    argv = [ctx.hivtap, "/S", "/W", "/F:json", walk_key, "out.txt"]
    env = dict(os.environ, HIVTAP_REGISTRY=prep["drive"])
    peak = Series(hive_bench.peak_anon_kb(argv, env, prep["work"]) * 1024
                  for _ in range(ctx.repeats(heavy=True)))
    results.append(Result(
        "12d", "peak anonymous + shared memory (sampled) of that export, beyond the mapped "
        "hive file", spread(peak, mb, "MB"), "16 MiB", times(peak.max / MB16), "≤ 16 MiB",
        peak.max <= MB16))
    return results
