"""Timing processes: one run (wall time and peak memory of the child), and
contenders run in pairs, A, B, A, B..., so that a slow moment of the shared
machine falls on both sides of a pair."""

import os
import statistics
import subprocess
import tempfile
import time
from dataclasses import dataclass


@dataclass
class Run:
    seconds: float
    rss_kb: int  # peak resident set size of the child


def run(argv, env=None, cwd=None, stdout=None, stdin=None, drain=False, check=True):
    """Runs argv to its end. With drain, its standard output is a pipe read
    by `cat` into /dev/null, and the time lasts until both have ended."""
    out = subprocess.DEVNULL if stdout is None else stdout
    # A file, not a pipe: Wine's daemons inherit standard error and outlive
    # the program.
    with tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        proc = subprocess.Popen(argv, env=env, cwd=cwd, stdin=stdin or subprocess.DEVNULL,
                                stdout=subprocess.PIPE if drain else out, stderr=err)
        sink = None
        if drain:
            sink = subprocess.Popen(["cat"], stdin=proc.stdout, stdout=subprocess.DEVNULL)
            proc.stdout.close()
        _, status, usage = os.wait4(proc.pid, 0)
        if sink:
            sink.wait()
        seconds = time.perf_counter() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        if check and proc.returncode != 0:
            err.seek(0)
            raise RuntimeError("%s ended with %d: %s" % (" ".join(argv), proc.returncode,
                                                         err.read().decode("latin-1")[-400:]))
    return Run(seconds, usage.ru_maxrss)


class Series:
    """Figures of one contender, in run order."""

    def __init__(self, values):
        self.values = list(values)

    @property
    def min(self):
        return min(self.values)

    @property
    def median(self):
        return statistics.median(self.values)

    @property
    def max(self):
        return max(self.values)


@dataclass
class Pairs:
    a: list  # Run per pair
    b: list

    def seconds(self, side):
        return Series(r.seconds for r in (self.a if side == "a" else self.b))

    def rss_kb(self, side):
        return Series(r.rss_kb for r in (self.a if side == "a" else self.b))

    def ratio(self, f=lambda r: r.seconds):
        """Median of the pair-by-pair ratios A / B."""
        return statistics.median(f(x) / f(y) for x, y in zip(self.a, self.b))


def rounds(contenders, repeats, warmup=1):
    """Runs the callables (each returns a Run) in turn, round after round:
    A, B, A, B... The warm-up rounds fill the page cache and are not kept."""
    for _ in range(warmup):
        for c in contenders:
            c()
    got = [[] for _ in contenders]
    for _ in range(repeats):
        for runs, c in zip(got, contenders):
            runs.append(c())
    return got


def paired(a, b, repeats, warmup=1):
    return Pairs(*rounds([a, b], repeats, warmup))
