"""Nearest match against rapidfuzz and difflib, over 10,000 words.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/bench_nearest.py

Queries are one-edit typos of words in the list and misses, looked up with a
bound k of 1 and 2:
  kelrad      _nearest_match(q, words, max_distance=k)
  rapidfuzz   process.extractOne(q, words, scorer=Levenshtein.distance, score_cutoff=k)
  difflib     get_close_matches(q, words, n=1) (its own similarity ratio; k plays no part)
kelrad and rapidfuzz must give the same candidate and distance for every
query; the script stops if they do not. Rounds of kelrad and rapidfuzz
alternate and each side's best round counts; difflib, far slower, is timed
once on 20 queries. Ratios are their time / kelrad time (above 1: kelrad
faster).
"""

from __future__ import annotations

import difflib
import random
import sys
import time

import rapidfuzz
from rapidfuzz import process
from rapidfuzz.distance import Levenshtein

from interleaved import Row, best_rounds, load_core

_core = load_core()

ROUNDS = 7
SYLLABLES = ("an ar be ca co de di el en er es fa ge ha in is la le li lo ma me mi mo na ne no or pa pe "
             "ra re ri ro sa se si so ta te ti to un ur va ve vi").split()


def vocabulary(rng: random.Random, n: int) -> list[str]:
    """n distinct pronounceable words of 4 to 12 letters."""
    words: dict[str, None] = {}
    while len(words) < n:
        word = "".join(rng.choices(SYLLABLES, k=rng.randrange(2, 7)))
        if rng.random() < 0.3:
            word += rng.choice("stdnr")
        words[word] = None
    return list(words)


def typo(rng: random.Random, word: str) -> str:
    i = rng.randrange(len(word))
    c = rng.choice("abcdefghijklmnopqrstuvwxyz")
    return rng.choice([word[:i] + word[i + 1:], word[:i] + c + word[i:], word[:i] + c + word[i + 1:]])


def ours(queries, words, k):
    return [(m.value, m.distance) if (m := _core._nearest_match(q, words, max_distance=k)) else None for q in queries]


def rapid(queries, words, k):
    out = []
    for q in queries:
        r = process.extractOne(q, words, scorer=Levenshtein.distance, score_cutoff=k)
        out.append((r[0], r[1]) if r else None)
    return out


def diff(queries, words, k):
    return [difflib.get_close_matches(q, words, n=1) for q in queries]


def best_time(fn, *args) -> float:
    t0 = time.perf_counter()
    fn(*args)
    return time.perf_counter() - t0


def main() -> None:
    print(f"Python {sys.version.split()[0]}, rapidfuzz {rapidfuzz.__version__}, difflib (standard library)")
    rng = random.Random(3)
    words = vocabulary(rng, 10_000)
    query_sets = {
        "one-edit typos": [typo(rng, w) for w in rng.sample(words, 200)],
        "misses": ["".join(rng.choices("xyzqwk", k=rng.randrange(4, 10))) for _ in range(200)],
    }
    print(f"{len(words)} words; per query, best of {ROUNDS} interleaved rounds (difflib: 1 round, 20 queries)")
    print("ratio = their time / kelrad time (above 1: kelrad faster)")
    for k in (1, 2):
        for name, queries in query_sets.items():
            a, b = ours(queries, words, k), rapid(queries, words, k)
            if a != b:
                bad = next((q, x, y) for q, x, y in zip(queries, a, b) if x != y)
                sys.exit(f"answers differ: {bad}")
            t_ours = t_rapid = float("inf")
            for _ in range(ROUNDS):
                t_ours = min(t_ours, best_time(ours, queries, words, k))
                t_rapid = min(t_rapid, best_time(rapid, queries, words, k))
            t_diff = best_time(diff, queries[:20], words, k) / 20 * len(queries)
            n = len(queries)
            found = sum(x is not None for x in a)
            print(f"  k={k} {name:<15} ({found:3} found)  kelrad {t_ours / n * 1e6:8.1f} us"
                  f"   rapidfuzz {t_rapid / n * 1e6:8.1f} us x{t_rapid / t_ours:5.2f}"
                  f"   difflib {t_diff / n * 1e6:9.1f} us x{t_diff / t_ours:7.1f}")
    print("\nTargets: at least x0.5 against rapidfuzz and x50 against difflib.")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: one-edit typos and misses in 10,000
    words with k = 2, against rapidfuzz (interleaved) and difflib (20
    queries, once)."""
    rounds = 3 if quick else ROUNDS
    rng = random.Random(3)
    words = vocabulary(rng, 10_000)
    queries = [typo(rng, w) for w in rng.sample(words, 200)]
    queries += ["".join(rng.choices("xyzqwk", k=rng.randrange(4, 10))) for _ in range(200)]
    t_ours, t_rapid = best_rounds([lambda: best_time(ours, queries, words, 2),
                                   lambda: best_time(rapid, queries, words, 2)], rounds)
    t_diff = best_time(diff, queries[:20], words, 2) / 20
    n = len(queries)
    label = "_nearest_match, 10,000 words, k=2"
    return [Row("nearest match, per query", label, "rapidfuzz extractOne", t_rapid / n, t_ours / n, 0.5, "ns"),
            Row("nearest match, per query", label, "difflib get_close_matches", t_diff, t_ours / n, 50.0, "ns")]


if __name__ == "__main__":
    main()
