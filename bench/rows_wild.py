"""Rows of /W: a pattern over the enlarged prefix's generated values and over
the generated hive, against list runs that read the same values by name."""

import os

from measure import Series, paired
from rows import Result, Unmeasurable, ms, row, spread, times, us
from rows_hive import hive_fixture, hivtap
from rows_wine import crlf_lines, tool

VALUES = 100000


@row("10", 17, "/W: every value a pattern matches")
def wildcards(ctx):
    if not os.path.exists(ctx.hivtap):
        raise Unmeasurable("build/native/hivtap is not built")
    prefix = ctx.enlarged
    out = ctx.path("wild.txt")
    pattern = tool(ctx, prefix, ["/S", "/W", "HKLM\\Software\\hivtap-bench\\*\\*\\*"], out)
    listed = tool(ctx, prefix, ["/S", "/L:" + ctx.list_file("values100k")], ctx.path("l.txt"))
    pattern()
    if crlf_lines(out) != VALUES:
        raise RuntimeError("the pattern gave %d lines, not %d" % (crlf_lines(out), VALUES))
    pairs = paired(pattern, listed, ctx.repeats(heavy=True))
    results = [Result(
        "10a", "Wine prefix: `/W ...\\hivtap-bench\\*\\*\\*` (100,000 values) vs the list "
        "naming each of them once",
        spread(pairs.seconds("a"), ms, "ms"), spread(pairs.seconds("b"), ms, "ms"),
        times(pairs.ratio()), "≤ 1.5x", pairs.ratio() <= 1.5)]

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
    return results
