"""File-name sanitising against pathvalidate, on 2,000 names.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/bench_filenames.py

Both sanitize the same names for every platform with a 255-byte limit:
`_sanitize_filename(name)` (which also transliterates to ASCII) and
pathvalidate's `sanitize_filename(name, platform="universal", max_len=255)`.
Rounds of the two alternate; each side's best round counts. Prints the time
per name by kind of name and the ratio (pathvalidate time / kelrad time:
above 1 means kelrad is faster).
"""

from __future__ import annotations

import random
import sys
import time

import pathvalidate

from interleaved import EIGHT_WORDS, Row, load_core, per_call, rows_for

_core = load_core()

ROUNDS = 15

WORDS = {
    "ASCII, illegal characters": ["report", "final?", "draft*", "Q3:", "a/b", "<notes>", "v1|v2", '"quoted"', "x\\y"],
    "accented Latin": ["r\u00e9sum\u00e9", "\u00e9t\u00e9", "Z\u00fcrich", "na\u00efve", "Stra\u00dfe",
                       "gar\u00e7on", "\u00c5ngstr\u00f6m"],
    "Cyrillic": ["\u041f\u0440\u0438\u0432\u0435\u0442", "\u043e\u0442\u0447\u0451\u0442",
                 "\u0444\u0430\u0439\u043b", "\u041c\u043e\u0441\u043a\u0432\u0430"],
    "Greek": ["\u0391\u03b8\u03ae\u03bd\u03b1", "\u03ad\u03b3\u03b3\u03c1\u03b1\u03c6\u03bf",
              "\u03bb\u03cc\u03b3\u03bf\u03c2"],
    "CJK": ["\u5317\u4eac", "\u62a5\u544a", "\u6771\u4eac\u90fd", "\u6587\u4ef6"],
    "Hangul": ["\ud55c\uad6d\uc5b4", "\ubcf4\uace0\uc11c", "\ud30c\uc77c"],
}
EXTENSIONS = [".txt", ".pdf", ".tar.gz", ".docx", ""]


def names(rng: random.Random) -> dict[str, list[str]]:
    """2,000 names: six kinds of words, reserved device names and long names."""
    kinds: dict[str, list[str]] = {}
    for kind, words in WORDS.items():
        kinds[kind] = [" ".join(rng.choices(words, k=rng.randrange(1, 4))) + rng.choice(EXTENSIONS)
                       for _ in range(300)]
    kinds["reserved"] = [rng.choice(["CON", "prn", "Aux", "NUL", "COM1", "lpt9"]) + rng.choice(EXTENSIONS)
                         for _ in range(100)]
    kinds["300 characters"] = ["".join(rng.choices("abcdefghij _-", k=300)) + rng.choice(EXTENSIONS)
                               for _ in range(100)]
    return kinds


def timed(fn, items) -> float:
    t0 = time.perf_counter()
    for item in items:
        fn(item)
    return time.perf_counter() - t0


def ours(name: str) -> str:
    return _core._sanitize_filename(name)


def theirs(name: str) -> str:
    return pathvalidate.sanitize_filename(name, platform="universal", max_len=255)


def main() -> None:
    print(f"Python {sys.version.split()[0]}, pathvalidate {pathvalidate.__version__}")
    kinds = names(random.Random(1))
    everything = [n for items in kinds.values() for n in items]
    print(f"{len(everything)} names; per name, best of {ROUNDS} interleaved rounds")
    print("ratio = pathvalidate time / kelrad time (above 1: kelrad faster)")
    for kind, items in [*kinds.items(), ("all", everything)]:
        best_ours = best_theirs = float("inf")
        for _ in range(ROUNDS):
            best_ours = min(best_ours, timed(ours, items))
            best_theirs = min(best_theirs, timed(theirs, items))
        n = len(items)
        print(f"  {kind:<26} kelrad {best_ours / n * 1e6:7.3f} us   pathvalidate {best_theirs / n * 1e6:7.3f} us"
              f"   x{best_theirs / best_ours:6.1f}")
    print("\nTarget: at least x20 on all names.")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: the 2,000 names and short words."""
    rounds = 5 if quick else ROUNDS
    everything = [n for items in names(random.Random(1)).values() for n in items]
    namespace = {"_core": _core, "pathvalidate": pathvalidate}
    ours = "_core._sanitize_filename(s)"
    theirs = 'pathvalidate.sanitize_filename(s, platform="universal", max_len=255)'
    out = rows_for("file names, per call", "_sanitize_filename, 2,000 names", "pathvalidate", 20.0, "ns",
                   lambda f: per_call(ours, theirs, namespace, everything, fresh_str=f, rounds=rounds))
    out += rows_for("short words, per call", "_sanitize_filename", "pathvalidate", None, "ns",
                    lambda f: per_call(ours, theirs, namespace, EIGHT_WORDS, fresh_str=f, repeat=100, rounds=rounds))
    return out


if __name__ == "__main__":
    main()
