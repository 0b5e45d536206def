"""Interleaved timing of kelrad against a peer library, for the benchmarks.

Every call gets a fresh str object, made before its timing starts, so kelrad
also pays for the UTF-8 form that the interpreter caches on a str after its
first use. The two contenders alternate round by round; each figure is the
best round, and the ratio is peer time over kelrad time (above 1: kelrad is
faster).
"""

from __future__ import annotations

import math
import time


def fresh(text: str) -> str:
    return (text + ".")[:-1]


def timed(fn, items: list[str]) -> float:
    """One round: fn over fresh copies of the items."""
    copies = [fresh(s) for s in items]
    t0 = time.perf_counter()
    for s in copies:
        fn(s)
    return time.perf_counter() - t0


def compare(label: str, ours, theirs, items: list[str], peer: str, rounds: int = 9) -> float:
    """Prints one row and returns the ratio."""
    best_ours = best_theirs = math.inf
    for _ in range(rounds):
        best_ours = min(best_ours, timed(ours, items))
        best_theirs = min(best_theirs, timed(theirs, items))
    ratio = best_theirs / best_ours
    print(f"  {label:<40} kelrad {best_ours * 1e3:9.3f} ms   {peer} {best_theirs * 1e3:9.3f} ms   x{ratio:7.2f}")
    return ratio
