"""Rows of the native Wine-prefix reader and of hivtap.exe under Wine: one
per target of the reader's performance work."""

import os
import re
import shutil
import subprocess

from fixtures import WINE, last_string_value, wine_env
from measure import Pairs, Series, paired, rounds, run
from rows import Result, Unmeasurable, mb, ms, row, secs, spread, times, us

MB8 = 8 * 1024 * 1024


def tool(ctx, prefix, args, output, drain=False):
    """A run of the native hivtap, its output file new each time."""

    def go():
        if os.path.exists(output):
            os.remove(output)
        # A name beginning with "/" would be an option: relative to the work folder.
        return run([ctx.hivtap] + args + [os.path.relpath(output, ctx.work)],
                   env=wine_env(prefix), cwd=ctx.work, drain=drain)

    return go


def need(path):
    if not os.path.exists(path):
        raise Unmeasurable("%s is not built" % os.path.relpath(path))
    return path


def reg_path(prefix, name):
    return os.path.join(prefix, name)


def crlf_lines(path):
    with open(path, "rb") as f:
        return f.read().count(b"\r\n")


# -- 1 ------------------------------------------------------------------------


@row("1", 9, "one HKLM lookup on a fresh prefix")
def single_hklm(ctx):
    need(ctx.hivtap)
    prefix = ctx.fresh
    key, name = last_string_value(reg_path(prefix, "system.reg"))
    out = ctx.path("single.txt")
    lookup = tool(ctx, prefix, ["/S", "HKLM\\%s\\%s" % (key, name)], out)
    lookup()
    if crlf_lines(out) != 1 or os.path.getsize(out) <= 2:
        raise RuntimeError("the lookup of %s\\%s gave no text" % (key, name))
    header = "[%s]" % key.replace("\\", "\\\\")
    files = [reg_path(prefix, n) for n in ("system.reg", "user.reg", "userdef.reg")]
    grep = lambda: run(["grep", "-c", "-F", header] + files, check=False)
    floor = paired(lookup, grep, ctx.repeats())
    ctx.memo["fresh_single"] = floor.a
    results = [Result(
        "1a", "HKLM `%s\\%s`, last key of system.reg (%s MB), vs `grep -c -F` of its header "
        "over the 3 .reg files" % (key, name, mb(os.path.getsize(files[0]))),
        spread(floor.seconds("a"), ms, "ms"), spread(floor.seconds("b"), ms, "ms"),
        times(floor.ratio()), "≤ 2x", floor.ratio() <= 2)]

    ctx.warm(prefix)
    query = WINE + ["reg", "query", "HKLM\\" + key, "/v", name, "/reg:64"]
    wine = lambda: run(query, env=wine_env(prefix), cwd=ctx.work)
    peer = paired(lookup, wine, ctx.repeats(), warmup=2)
    faster = 1 / peer.ratio()
    results.append(Result(
        "1b", "the same, vs a warm `wine reg query` (wineserver kept running)",
        spread(peer.seconds("a"), ms, "ms"), spread(peer.seconds("b"), ms, "ms"),
        "%s faster" % times(faster), "≥ 20x faster", faster >= 20))
    return results


# -- 2 ------------------------------------------------------------------------

READ = re.compile(r"^(?:\d+ +)?p?read(?:64)?\(\d+<([^>]*)>.*\) += (\d+)$")
MMAP = re.compile(r"^(?:\d+ +)?mmap\([^,]*, (\d+), [^,]*, [^,]*, \d+<([^>]*)>")


def bytes_read(ctx, prefix, key_line, file_name):
    """Bytes of `file_name` that one lookup reads or maps, from strace."""
    trace = ctx.path("strace.txt")
    out = ctx.path("user-lookup.txt")
    if os.path.exists(out):
        os.remove(out)
    run(["strace", "-f", "-qq", "-y", "-e", "trace=read,pread64,mmap", "-o", trace, ctx.hivtap,
         "/S", key_line, os.path.basename(out)], env=wine_env(prefix), cwd=ctx.work)
    if os.path.getsize(out) <= 2:
        raise RuntimeError("the lookup of %s gave no text" % key_line)
    read = mapped = 0
    with open(trace, encoding="latin-1") as f:
        for line in f:
            m = READ.match(line)
            if m and os.path.basename(m.group(1)) == file_name:
                read += int(m.group(2))
            m = MMAP.match(line)
            if m and os.path.basename(m.group(2)) == file_name:
                mapped += int(m.group(1))
    return read, mapped


@row("2", 9, "HKCU and HKU lookups: what they read of system.reg")
def user_lookups(ctx):
    need(ctx.hivtap)
    if not shutil.which("strace"):
        raise Unmeasurable("strace is not installed")
    prefix = ctx.fresh
    system = reg_path(prefix, "system.reg")
    with open(system, "rb") as f:
        head = f.read(1 << 16)
    header = head.find(b"\n[") + 1  # the lines before the first key
    limit = max(header, 4096)
    lookups = []
    key, name = last_string_value(reg_path(prefix, "user.reg"))
    lookups.append(("2a", "HKCU", "HKCU\\%s\\%s" % (key, name)))
    key, name = last_string_value(reg_path(prefix, "userdef.reg"))
    lookups.append(("2b", "HKU", "HKU\\.Default\\%s\\%s" % (key, name)))
    # The mapping is read only where it is touched: the same lookups on a copy
    # of the prefix whose system.reg is 40 times larger must not grow.
    padded = ctx.path("padded")
    os.makedirs(padded, exist_ok=True)
    for name in ("user.reg", "userdef.reg"):
        shutil.copy(reg_path(prefix, name), padded)
    with open(system, "rb") as f:
        body = f.read()
    with open(reg_path(padded, "system.reg"), "wb") as f:
        f.write(body)
        for _ in range(39):
            f.write(body[header:])
    grown = os.path.getsize(reg_path(padded, "system.reg")) - len(body)
    results = []
    for rid, root, key_line in lookups:
        read, mapped = bytes_read(ctx, prefix, key_line, "system.reg")
        # Page faults, not RSS: a fresh file's page cache may hold large
        # folios, and one fault then maps a whole one.
        faults = {}
        for side in (padded, prefix):
            counts = []
            for _ in range(ctx.repeats()):
                argv = [ctx.hivtap, "/S", key_line, "user-faults.txt"]
                p = subprocess.Popen(argv, env=wine_env(side), cwd=ctx.work,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                counts.append(os.wait4(p.pid, 0)[2].ru_minflt)
            faults[side] = sorted(counts)[len(counts) // 2]
        extra = faults[padded] - faults[prefix]
        results.append(Result(
            rid, "%s `%s`: bytes of system.reg read (strace), and page faults with system.reg "
            "%s MB larger" % (root, key_line, mb(grown)),
            "%d B read, %d B mapped; %d faults" % (read, mapped, faults[padded]),
            "header lines %d B; %d faults with the fresh file" % (header, faults[prefix]),
            "%+d faults" % extra, "read ≤ header (one 4 KiB page); ≤ 16 more faults (64 KiB)",
            read <= limit and extra <= 16))
    # The same by time: a system.reg 2.6 times larger, the same user.reg.
    out = ctx.path("user-time.txt")
    key_line = lookups[0][2]
    pairs = paired(tool(ctx, ctx.enlarged, ["/S", key_line], out),
                   tool(ctx, prefix, ["/S", key_line], out), ctx.repeats())
    results.append(Result(
        "2c", "HKCU lookup time with system.reg %s MB vs %s MB (same user.reg)" % (
            mb(os.path.getsize(reg_path(ctx.enlarged, "system.reg"))), mb(os.path.getsize(system))),
        spread(pairs.seconds("a"), ms, "ms"), spread(pairs.seconds("b"), ms, "ms"),
        times(pairs.ratio()), "", None))
    return results


# -- 3 and 4 ------------------------------------------------------------------


def list_pairs(ctx, name):
    """The list run and a single lookup of its first line, paired, on the
    enlarged prefix; shared by the list and memory rows."""

    def measure():
        prefix = ctx.enlarged
        path = ctx.list_file(name)
        with open(path, encoding="cp1252") as f:
            first = f.readline().rstrip("\r\n")
        out = ctx.path("list.txt")
        heavy = os.path.getsize(path) > 10_000_000
        pairs = paired(tool(ctx, prefix, ["/S", "/L:" + path], out),
                       tool(ctx, prefix, ["/S", first], ctx.path("first.txt")),
                       ctx.repeats(heavy), warmup=0 if heavy else 1)
        lines = sum(1 for _ in open(path, "rb"))
        if crlf_lines(out) < lines:
            raise RuntimeError("%s: fewer output lines than list lines" % name)
        return pairs, lines

    return ctx.shared("list:" + name, measure)


@row("3", 9, "list mode, per line after the first lookup, enlarged prefix")
def list_lines(ctx):
    need(ctx.hivtap)
    results, per_line = [], {}
    for rid, name, label in (("3a", "values100k", "100,000"), ("3b", "values1m", "1,000,000")):
        pairs, lines = list_pairs(ctx, name)
        cost = Series((a.seconds - b.seconds) / (lines - 1) for a, b in zip(pairs.a, pairs.b))
        cpu = Series((a.cpu - b.cpu) / (lines - 1) for a, b in zip(pairs.a, pairs.b))
        per_line[name] = cpu.median
        results.append(Result(
            rid, "%s-line list of existing values, /S: per line after the first (run − single "
            "lookup) / (lines − 1); CPU time beside" % label,
            spread(cost, us, "µs/line") + " (CPU %s µs)" % us(cpu.median),
            "single lookup " + spread(pairs.seconds("b"), ms, "ms"), "", "≤ 2 µs",
            cost.median <= 2e-6))
    growth = per_line["values1m"] / per_line["values100k"]
    # CPU time: the wall time of a shared machine is too noisy to compare runs apart.
    results.append(Result("3c", "linear growth: per-line CPU time at 1,000,000 / at 100,000 "
                          "lines",
                          "", "", times(growth), "≤ 1.25x", growth <= 1.25))
    return results


@row("4", 9, "peak memory")
def memory(ctx):
    need(ctx.hivtap)
    results = []
    fresh = ctx.shared("fresh_single_rss", lambda: ctx.memo.get("fresh_single") or [
        tool(ctx, ctx.fresh, ["/S", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\"
                              "ProductName"], ctx.path("single.txt"))() for _ in range(3)])
    for rid, what, runs, prefix in (
            ("4a", "one HKLM lookup, fresh prefix", fresh, ctx.fresh),
            ("4b", "1,000,000-line list, enlarged prefix", list_pairs(ctx, "values1m")[0].a,
             ctx.enlarged)):
        files = ctx.files_size(prefix)
        rss = Series(r.rss_kb * 1024 for r in runs)
        results.append(Result(
            rid, "peak RSS, %s, vs the prefix's files + 8 MiB" % what, spread(rss, mb, "MB"),
            "files %s MB + 8.4 MB = %s MB" % (mb(files), mb(files + MB8)),
            times(rss.max / (files + MB8)), "≤ 1x", rss.max <= files + MB8))
    prefix = ctx.enlarged
    many = ctx.list_file("missing1m")
    few = ctx.list_file("missing1k")
    pairs = paired(tool(ctx, prefix, ["/S", "/L:" + many], ctx.path("missing.txt")),
                   tool(ctx, prefix, ["/S", "/L:" + few], ctx.path("missing.txt")),
                   ctx.repeats(heavy=True), warmup=0)
    growth = pairs.ratio(lambda r: r.rss_kb)
    results.append(Result(
        "4c", "peak RSS, 1,000,000-line list of distinct missing names vs a 1,000-line one",
        spread(Series(r.rss_kb * 1024 for r in pairs.a), mb, "MB"),
        spread(Series(r.rss_kb * 1024 for r in pairs.b), mb, "MB"), times(growth), "≤ 1.2x",
        growth <= 1.2))
    return results


# -- 5 ------------------------------------------------------------------------


@row("5", 9, "output path: 100,000 lines that name no value, vs a floor")
def output_path(ctx):
    need(ctx.hivtap)
    need(ctx.output_floor)
    prefix = ctx.fresh
    path = ctx.list_file("text100k")
    env = wine_env(prefix)
    # The bytes the floor writes are the tool's own.
    file_text, console_text = ctx.path("text-file.ref"), ctx.path("text-console.ref")
    if os.path.exists(file_text):
        os.remove(file_text)
    console = subprocess.run([ctx.hivtap, "/L:" + path, os.path.basename(file_text)], env=env,
                             cwd=ctx.work,
                             stdout=subprocess.PIPE, check=True).stdout
    with open(console_text, "wb") as f:
        f.write(console)
    out_tool, out_floor = ctx.path("text-tool.txt"), ctx.path("text-floor.txt")

    def floor(console_arg, drain):
        def go():
            if os.path.exists(out_floor):
                os.remove(out_floor)
            return run([ctx.output_floor, path, file_text, console_arg, out_floor], drain=drain)

        return go

    results = []
    for rid, what, args, console_arg, drain in (
            ("5a", "/S to a file", ["/S"], "-", False),
            ("5b", "to a file and echoed to a pipe", [], console_text, True)):
        pairs = paired(tool(ctx, prefix, args + ["/L:" + path], out_tool, drain=drain),
                       floor(console_arg, drain), ctx.repeats())
        with open(out_tool, "rb") as a, open(out_floor, "rb") as b:
            same = a.read() == b.read()
        results.append(Result(
            rid, "100,000 lines, %s, vs the same bytes in 128-byte reads and writes%s" % (
                what, "" if same else " (OUTPUT FILES DIFFER)"),
            spread(pairs.seconds("a"), ms, "ms"), spread(pairs.seconds("b"), ms, "ms"),
            times(pairs.ratio()), "≤ 1.5x", same and pairs.ratio() <= 1.5))
    return results


# -- 6 ------------------------------------------------------------------------

REG_QUERY_CALLS = 20


@row("6", 9, "hivtap.exe under Wine, 10,000 values, enlarged prefix")
def exe_under_wine(ctx):
    exe, floor_exe = need(ctx.exe), need(ctx.registry_floor)
    prefix = ctx.enlarged
    env = wine_env(prefix)
    ctx.warm(prefix)
    path = ctx.list_file("values10k")
    with open(path, encoding="cp1252") as f:
        lines = f.read().splitlines()
    name = os.path.basename(path)

    def wine(program, args, output):
        def go():
            if os.path.exists(ctx.path(output)):
                os.remove(ctx.path(output))
            return run(WINE + [program] + args + [output], env=env, cwd=ctx.work)

        return go

    calls = REG_QUERY_CALLS if not ctx.quick else 5

    def reg_queries():
        total, peak = 0.0, 0
        for line in lines[:calls]:
            key, value = line.rsplit("\\", 1)
            # reg query fails on the empty strings (V4) but reads them all the same.
            r = run(WINE + ["reg", "query", key, "/v", value, "/reg:64"], env=env, cwd=ctx.work,
                    check=False)
            total += r.seconds
            peak = max(peak, r.rss_kb)
        return type(r)(total * len(lines) / calls, peak)

    tool_run = wine(exe, ["/S", "/L:" + name], "exe-out.txt")
    floor_run = wine(floor_exe, [name], "floor-out.txt")
    a, b, c = rounds([tool_run, floor_run, reg_queries], ctx.repeats(heavy=True), warmup=1)
    with open(ctx.path("exe-out.txt"), "rb") as x, open(ctx.path("floor-out.txt"), "rb") as y:
        same = x.read() == y.read()
    floor, peer = Pairs(a, b), Pairs(a, c)
    faster = 1 / peer.ratio()
    per_value, startup = server_requests(ctx, prefix, lines, [
        ("hivtap.exe", [exe, "/S", "/L:%s"]), ("floor", [floor_exe, "%s"])])
    return [
        Result("6a", "hivtap.exe /S /L: 10,000 values vs a program making only the design's "
               "registry calls per value (same 128-byte file I/O)%s" % (
                   "" if same else " (OUTPUT FILES DIFFER)"),
               spread(floor.seconds("a"), ms, "ms"), spread(floor.seconds("b"), ms, "ms"),
               times(floor.ratio()), "≤ 1.1x", same and floor.ratio() <= 1.1),
        Result("6b", "the same vs 10,000 `wine reg query` runs (time of %d, scaled)" % calls,
               spread(peer.seconds("a"), ms, "ms"), spread(peer.seconds("b"), secs, "s"),
               "%s faster" % times(faster), "", None),
        Result("6c", "wineserver requests: per value (from 100 and 200 values), and to start",
               "%s per value, %d to start" % (per_value["hivtap.exe"], startup["hivtap.exe"]),
               "%s per value, %d to start" % (per_value["floor"], startup["floor"]), "", "",
               None),
    ]


REQUEST = re.compile(r"^[0-9a-f]+: ([a-z_]+)\(")


def server_requests(ctx, prefix, lines, programs):
    """Counts the wineserver requests of each program on 100 and 200 values,
    with the prefix's server restarted to trace them (wineserver -d1)."""
    env = wine_env(prefix)
    subprocess.run(["wineserver", "-k"], env=env, check=False)
    subprocess.run(["wineserver", "-w"], env=env, check=False)
    log = ctx.path("wineserver.log")
    with open(log, "wb") as err:
        subprocess.Popen(["wineserver", "-f", "-d1", "-p"], env=env, stdout=subprocess.DEVNULL,
                         stderr=err)
    run(WINE + ["cmd", "/c", "exit"], env=env, cwd=ctx.work)  # the services start once
    counts = {}
    for size in (100, 200):
        name = "values%d.txt" % size
        with open(ctx.path(name), "w", newline="\r\n") as f:
            f.write("\n".join(lines[:size]) + "\n")
        for label, argv in programs:
            with open(log, "rb") as f:
                before = f.read().count(b"\n")
            run(WINE + [a.replace("%s", name) for a in argv] + ["requests.txt"], env=env,
                cwd=ctx.work)
            seen, threads = {}, set()
            with open(log, encoding="latin-1") as f:
                for line in f.readlines()[before:]:
                    m = REQUEST.match(line)
                    if not m or ") = " in line:  # requests, not their replies
                        continue
                    thread = line.split(":", 1)[0]
                    # Only the program's own threads: Wine's services run beside it.
                    if m.group(1) in ("init_first_thread", "init_thread"):
                        threads.add(thread)
                    if thread in threads:
                        seen[m.group(1)] = seen.get(m.group(1), 0) + 1
            counts[label, size] = seen
    per_value, startup = {}, {}
    for label, _ in programs:
        few, many = counts[label, 100], counts[label, 200]
        each = {k: (many.get(k, 0) - few.get(k, 0)) / 100 for k in set(few) | set(many)}
        each = {k: v for k, v in each.items() if v}
        per_value[label] = "%.2f (%s)" % (sum(each.values()), ", ".join(
            "%s %.2f" % kv for kv in sorted(each.items(), key=lambda kv: -kv[1])))
        startup[label] = sum(few.values()) - round(100 * sum(each.values()))
    return per_value, startup
