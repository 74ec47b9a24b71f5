"""Runs the benchmark rows and prints one table with a line per target.
Started by bench/run.sh, which builds the programs first."""

import argparse
import importlib
import os
import platform
import subprocess
import sys
import time
import traceback

import fixtures
import rows

# Modules of @row functions, in table order.
ROW_MODULES = ["rows_wine", "rows_hive", "rows_wild", "rows_tree", "rows_image"]


def machine():
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next(l.split(":", 1)[1].strip() for l in f if l.startswith("model name"))
    except (OSError, StopIteration):
        pass
    mem = 0
    with open("/proc/meminfo") as f:
        mem = int(next(l.split()[1] for l in f if l.startswith("MemTotal"))) // 1024
    wine = subprocess.run(fixtures.WINE + ["--version"], capture_output=True, text=True).stdout.strip()
    return "%d cores (nproc), %s, %d MB memory, %s, %s" % (
        os.cpu_count(), cpu, mem, platform.platform(terse=True), wine or "no wine")


def table(results):
    head = ("#", "figure", "hivtap (min / median / max)", "floor or peer (min / median / max)",
            "ratio", "target", "met")
    lines = [head]
    for r in results:
        met = "" if r.met is None else "yes" if r.met else "NO"
        lines.append((r.id, r.figure, r.subject, r.reference, r.ratio, r.target, met))
    out = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    out += ["| " + " | ".join(str(c) for c in l) + " |" for l in lines[1:]]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--quick", action="store_true", help="fewer repetitions")
    parser.add_argument("--only", default="", help="row ids to run, by prefix: 1,3,6")
    parser.add_argument("--keep", action="store_true", help="keep the prefixes and lists")
    parser.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    args = parser.parse_args()

    for name in ROW_MODULES:
        importlib.import_module(name)
    wanted = [w for w in args.only.split(",") if w]
    chosen = [s for s in rows.ROWS if not wanted or any(s.ids.startswith(w) for w in wanted)]

    ctx = fixtures.Context(args.root, args.quick, args.keep)
    results = []
    started = time.time()
    load = os.getloadavg()[0]
    try:
        for row_def in chosen:
            print("== %s: %s" % (row_def.ids, row_def.title), flush=True)
            t0 = time.time()
            try:
                got = row_def.measure(ctx)
            except rows.Unmeasurable as e:
                got = [rows.Result(row_def.ids, row_def.title, "not measured: %s" % e)]
            except Exception as e:  # a broken row must not hide the others
                traceback.print_exc()
                got = [rows.Result(row_def.ids, row_def.title, "failed: %s" % e)]
            for r in got:
                print("   %s %s: %s | %s | %s" % (r.id, r.figure, r.subject, r.reference, r.ratio),
                      flush=True)
            print("   (%.0f s)" % (time.time() - t0), flush=True)
            results += got
    finally:
        ctx.close()

    print()
    print("Machine: %s" % machine())
    print("Run: %s, %.0f s, %s; load average %.1f at the start, %.1f at the end" % (
        time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), time.time() - started,
        "quick" if args.quick else "full", load, os.getloadavg()[0]))
    print()
    print(table(results))
    failed = [r for r in results if r.met is False]
    print()
    print("%d targets met, %d missed" % (sum(1 for r in results if r.met), len(failed)))


if __name__ == "__main__":
    sys.exit(main())
