"""Interleaved timing of kelrad against a peer library, for the benchmarks.

    KELRAD_BUILD_DIR=build/tests python bench/bench_x.py   # a build tree
    python bench/bench_x.py                                 # the installed kelrad

`load_core` imports kelrad from the build tree named by KELRAD_BUILD_DIR, laid
out as the tests lay it out (<build>/pkg), else the installed package.

Two contenders alternate round by round, so that a slow spell of a shared
machine falls on both alike; each figure is the best round, and the ratio is
peer time over kelrad time (above 1: kelrad is faster). A "fresh" round gives
every call a new str object, made before its timing starts, so kelrad also
pays for reading a str the interpreter has not seen converted before (it
caches the UTF-8 form of a str after its first use); a "reused" round calls
again on the same objects.

Per-call figures come from a plain loop compiled from each side's call as a
user writes it (`for s in items: unicodedata.normalize("NFC", s)`), with no
wrapper function in between, which would add the same fixed cost to both
sides and flatten the ratio.
"""

from __future__ import annotations

import dataclasses
import math
import os
import pathlib
import shutil
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
MIB = 1 << 20

# The short strings of the per-call rows: one word in each of eight scripts.
EIGHT_WORDS = ["Straße", "Москва", "Αθήνα", "北京市", "カタカナ", "서울", "नमस्ते", "مرحبا"]


def load_core():
    """kelrad._core, from KELRAD_BUILD_DIR when set, else as installed."""
    build = os.environ.get("KELRAD_BUILD_DIR")
    if build and "kelrad._core" not in sys.modules:
        build_dir = (ROOT / build).resolve()
        pkg = build_dir / "pkg" / "kelrad"
        pkg.mkdir(parents=True, exist_ok=True)
        for source in [*(ROOT / "python" / "kelrad").glob("*.py"), *build_dir.glob("_core*.so")]:
            # A new file renamed into place: rewriting the one a running
            # process has mapped would crash that process.
            staged = pkg / (source.name + f".{os.getpid()}")
            shutil.copyfile(source, staged)
            os.replace(staged, pkg / source.name)
        sys.path.insert(0, str(pkg.parent))
    from kelrad import _core

    return _core


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
    best_ours, best_theirs = best_rounds([lambda: timed(ours, items), lambda: timed(theirs, items)], rounds)
    ratio = best_theirs / best_ours
    print(f"  {label:<40} kelrad {best_ours * 1e3:9.3f} ms   {peer} {best_theirs * 1e3:9.3f} ms   x{ratio:7.2f}")
    return ratio


def best_rounds(rounds_of, rounds: int, budget: float = math.inf) -> list[float]:
    """The best of each contender's rounds, taken in turns.

    Each element of `rounds_of` runs one round and returns its time. After the
    first round, fewer rounds are run when `budget` seconds would be exceeded.
    """
    best = [math.inf] * len(rounds_of)
    start = time.perf_counter()
    for r in range(rounds):
        for k, one_round in enumerate(rounds_of):
            best[k] = min(best[k], one_round())
        spent = time.perf_counter() - start
        if r + 1 < rounds and spent / (r + 1) * (r + 2) > budget:
            break
    return best


def call_loop(expression: str, namespace: dict):
    """A function running `expression` once for each `s` of its argument."""
    scope = dict(namespace)
    exec(f"def run(items):\n    for s in items:\n        {expression}\n", scope)
    return scope["run"]


def per_call(ours: str, theirs: str, namespace: dict, items: list, *, fresh_str: bool, rounds: int = 9,
             repeat: int = 1, budget: float = 2.0) -> tuple[float, float]:
    """Seconds per call of two call expressions over `items` (each `repeat`
    times per round), interleaved; with `fresh_str`, on fresh str objects."""
    loops = [call_loop(ours, namespace), call_loop(theirs, namespace)]
    work = list(items) * repeat

    def one_round(loop):
        def run() -> float:
            batch = [fresh(s) for s in work] if fresh_str else work
            t0 = time.perf_counter()
            loop(batch)
            return time.perf_counter() - t0
        return run

    best_ours, best_theirs = best_rounds([one_round(loop) for loop in loops], rounds, budget)
    return best_ours / len(work), best_theirs / len(work)


def whole(ours, theirs, text, *, fresh_str: bool, rounds: int = 9, budget: float = 3.0) -> tuple[float, float]:
    """Seconds per call of `ours(text)` and `theirs(text)`, interleaved; with
    `fresh_str`, each call on a fresh copy of the text, else all on the same
    object (called once before, so that its UTF-8 form is cached)."""
    def one_round(fn):
        def run() -> float:
            arg = fresh(text) if fresh_str else text
            t0 = time.perf_counter()
            fn(arg)
            return time.perf_counter() - t0
        return run

    if not fresh_str:
        ours(text)
        theirs(text)
    best_ours, best_theirs = best_rounds([one_round(ours), one_round(theirs)], rounds, budget)
    return best_ours, best_theirs


@dataclasses.dataclass
class Row:
    """One line of bench/compare.py: kelrad against a peer on one input.

    `ratio` is peer time over kelrad time. The target is either `target`, the
    least ratio asked for (a target "within 1.5x of the peer's time" is a
    least ratio of 1/1.5), or `ceiling`, the most time kelrad may take, in
    seconds. `unit` scales the figures for display: "ms" per text, "ns" per
    call.
    """

    section: str
    label: str
    peer: str
    peer_s: float
    ours_s: float
    target: float | None = None
    unit: str = "ms"
    str_objects: str = ""  # "fresh", "reused" or "" (bytes, or not applicable)
    ceiling: float | None = None

    @property
    def ratio(self) -> float:
        return self.peer_s / self.ours_s

    @property
    def met(self) -> bool | None:
        if self.ceiling is not None:
            return self.ours_s <= self.ceiling
        return None if self.target is None else self.ratio >= self.target


def rows_for(section: str, label: str, peer: str, target: float | None, unit: str, measure) -> list[Row]:
    """Two rows, on fresh and on reused str objects: `measure(fresh_str)`
    returns (kelrad seconds, peer seconds)."""
    out = []
    for fresh_str in (True, False):
        ours, theirs = measure(fresh_str)
        out.append(Row(section, label, peer, theirs, ours, target, unit, "fresh" if fresh_str else "reused"))
    return out
