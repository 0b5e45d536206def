"""Edit distance against rapidfuzz, on pairs of 100, 1,000 and 30,000 characters.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/bench_edit_distance.py

Each pair is a random text and a copy of it with about one character in ten
inserted, deleted or replaced. "ASCII" texts draw from letters, digits and
punctuation; "mixed" ones from Latin letters with and without accents,
Cyrillic, CJK ideographs and emoji (astral characters).
  kelrad     _edit_distance(a, b)
  rapidfuzz  rapidfuzz.distance.Levenshtein.distance(a, b)
Both must give the same distance for every pair; the script stops if they do
not. Rounds of the two alternate and each side's best round counts, on fresh
str objects (kelrad then also reads the str the interpreter has not seen
converted before) and on reused ones. Ratios are rapidfuzz time / kelrad time
(above 1: kelrad faster); the target is on the geometric mean over the six
pairs.
"""

from __future__ import annotations

import math
import random
import sys
import time

import rapidfuzz
from rapidfuzz.distance import Levenshtein

from interleaved import Row, best_rounds, call_loop, fresh, load_core

_core = load_core()

ROUNDS = 7
ALPHABETS = {
    "ASCII": "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,;:-'",
    "mixed": ("abcdefghijklmnopqrstuvwxyz \u00e0\u00e9\u00e8\u00ea\u00e7\u00f1\u00f6\u00fc\u00df"
              "\u0430\u0431\u0432\u0433\u0434\u0435\u0451\u0436\u0437\u0438\u0439\u043a\u043b\u043c\u043d\u043e"
              "\u65e5\u672c\u8a9e\u4e2d\u6587\u5b57\u6f22\u6c34\u706b\u5c71"
              "\U0001F600\U0001F602\U0001F44D\U0001F680\U0001F525"),
}
LENGTHS = (100, 1_000, 30_000)
# Calls per round, so that a round of the short pairs is not a single call.
CALLS = {100: 2_000, 1_000: 100, 30_000: 1}


def edited(rng: random.Random, text: str, alphabet: str) -> str:
    """`text` with about one character in ten inserted, deleted or replaced."""
    out = []
    for c in text:
        r = rng.random()
        if r < 0.033:
            out.append(rng.choice(alphabet) + c)
        elif r < 0.067:
            continue
        elif r < 0.1:
            out.append(rng.choice(alphabet))
        else:
            out.append(c)
    return "".join(out)


def pairs() -> list[tuple[str, int, str, str]]:
    """(alphabet name, length, a, b) for every alphabet and length."""
    rng = random.Random(9)
    out = []
    for name, alphabet in ALPHABETS.items():
        for n in LENGTHS:
            a = "".join(rng.choices(alphabet, k=n))
            out.append((name, n, a, edited(rng, a, alphabet)))
    return out


NAMESPACE = {"_edit_distance": _core._edit_distance, "distance": Levenshtein.distance}
LOOPS = [call_loop("_edit_distance(s[0], s[1])", NAMESPACE), call_loop("distance(s[0], s[1])", NAMESPACE)]


def pair_times(a: str, b: str, calls: int, *, fresh_str: bool, rounds: int) -> tuple[float, float]:
    """Seconds per call of kelrad and rapidfuzz on one pair, interleaved."""
    def one_round(loop):
        def run() -> float:
            batch = [(fresh(a), fresh(b)) if fresh_str else (a, b) for _ in range(calls)]
            t0 = time.perf_counter()
            loop(batch)
            return time.perf_counter() - t0
        return run

    ours, theirs = best_rounds([one_round(loop) for loop in LOOPS], rounds)
    return ours / calls, theirs / calls


def checked_pairs() -> list[tuple[str, int, str, str]]:
    out = pairs()
    for name, n, a, b in out:
        ours, theirs = _core._edit_distance(a, b), Levenshtein.distance(a, b)
        if ours != theirs:
            sys.exit(f"answers differ on the {name} pair of {n:,} characters: kelrad {ours}, rapidfuzz {theirs}")
    return out


def geomean(xs: list[float]) -> float:
    return math.exp(sum(map(math.log, xs)) / len(xs))


def main() -> None:
    print(f"Python {sys.version.split()[0]}, rapidfuzz {rapidfuzz.__version__}")
    print(f"best of {ROUNDS} interleaved rounds; ratio = rapidfuzz time / kelrad time (above 1: kelrad faster)")
    todo = checked_pairs()
    for fresh_str in (True, False):
        print(f"\n{'fresh' if fresh_str else 'reused'} str objects")
        ratios = []
        for name, n, a, b in todo:
            ours, theirs = pair_times(a, b, CALLS[n], fresh_str=fresh_str, rounds=ROUNDS)
            ratios.append(theirs / ours)
            print(f"  {name:<6} {n:>6,} chars, distance {_core._edit_distance(a, b):>5,}  "
                  f"kelrad {ours * 1e6:10.2f} us   rapidfuzz {theirs * 1e6:10.2f} us   x{theirs / ours:5.2f}")
        print(f"  geometric mean: x{geomean(ratios):.2f}")
    print("\nTarget: a geometric mean of at least x1.0.")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: the geometric mean over the six pairs of
    each side's time per call, on fresh and on reused str objects."""
    rounds = 3 if quick else ROUNDS
    todo = checked_pairs()
    out = []
    for fresh_str in (True, False):
        times = [pair_times(a, b, CALLS[n], fresh_str=fresh_str, rounds=rounds) for _, n, a, b in todo]
        out.append(Row("edit distance, per call", "_edit_distance, 100 to 30,000 chars, geo. mean",
                       "rapidfuzz Levenshtein.distance", geomean([t[1] for t in times]),
                       geomean([t[0] for t in times]), 1.0, "us", "fresh" if fresh_str else "reused"))
    return out


if __name__ == "__main__":
    main()
