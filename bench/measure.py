"""Timing processes: one run (wall time and peak memory of the child), and
contenders run in pairs, A, B, A, B..., so that a slow moment of the shared
machine falls on both sides of a pair."""

import statistics
import subprocess
import tempfile
from dataclasses import dataclass


@dataclass
class Run:
    seconds: float
    rss_kb: int  # peak resident set size of the child
    cpu: float = 0.0  # user + system seconds of the child


LAUNCHER = None  # bench_launch, set by the harness


def run(argv, env=None, cwd=None, stdout=None, stdin=None, drain=False, check=True):
    """Runs argv to its end through the launcher, which times it and reads
    its peak memory. With drain, its standard output is a pipe read by `cat`
    into /dev/null."""
    out = subprocess.DEVNULL if stdout is None else stdout
    # Files, not pipes: Wine's daemons inherit standard error and outlive
    # the program.
    with tempfile.TemporaryFile() as err, tempfile.NamedTemporaryFile("r") as result:
        proc = subprocess.Popen([LAUNCHER, result.name] + list(argv), env=env, cwd=cwd,
                                stdin=stdin or subprocess.DEVNULL,
                                stdout=subprocess.PIPE if drain else out, stderr=err)
        sink = None
        if drain:
            sink = subprocess.Popen(["cat"], stdin=proc.stdout, stdout=subprocess.DEVNULL)
            proc.stdout.close()
        code = proc.wait()
        if sink:
            sink.wait()
        if check and code != 0:
            err.seek(0)
            raise RuntimeError("%s ended with %d: %s" % (" ".join(argv), code,
                                                         err.read().decode("latin-1")[-400:]))
        seconds, rss_kb, cpu = result.read().split()
    return Run(float(seconds), int(rss_kb), float(cpu))


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
