"""The benchmark table's rows. A row is a function of the run's Context that
measures and returns one or more Results; `@row` registers it. Modules of
rows are listed in bench.py's ROW_MODULES: to add rows (the offline hives'
lookup against hivexget, their list lines and memory; the log replay), write
a module of `@row` functions and add its name there. A row that cannot be
measured on this machine raises Unmeasurable: the table then says why, and
shows no figure."""

from dataclasses import dataclass
from typing import Callable, List, Optional

from measure import Series


class Unmeasurable(Exception):
    """The row's contenders are not there (a missing tool, a missing build)."""


@dataclass
class Result:
    id: str
    figure: str
    subject: str = ""  # the tool: min / median / max
    reference: str = ""  # the floor or the peer: min / median / max
    ratio: str = ""  # median of the pair-by-pair ratios, or what the target compares
    target: str = ""
    met: Optional[bool] = None  # None: nothing to meet


@dataclass
class RowDef:
    ids: str
    issue: int
    title: str
    measure: Callable[..., List[Result]]


ROWS: List[RowDef] = []


def row(ids, issue, title):
    def register(fn):
        ROWS.append(RowDef(ids, issue, title, fn))
        return fn

    return register


# -- formatting --------------------------------------------------------------


def ms(seconds):
    v = seconds * 1e3
    return "%.0f" % v if v >= 100 else "%.1f" % v if v >= 10 else "%.2f" % v


def secs(seconds):
    return "%.0f" % seconds if seconds >= 100 else "%.1f" % seconds


def us(seconds):
    v = seconds * 1e6
    return "%.1f" % v if v >= 10 else "%.2f" % v


def mb(nbytes):
    return "%.1f" % (nbytes / 1e6)


def spread(series: Series, fmt, unit):
    """min / median / max."""
    return "%s / %s / %s %s" % (fmt(series.min), fmt(series.median), fmt(series.max), unit)


def times(x):
    return "%.2fx" % x if x < 10 else "%.1fx" % x
