"""Anomaly tests against the project's own control stripping, on 4 KiB texts.

    KELRAD_BUILD_DIR=build/tests python bench/bench_anomalies.py

No established library answers the same question, so the yardstick is
`_strip_control_chars`, one decoding pass over the same text that builds a new
str. Each round times both functions on the same clean text, alternating, and
each figure is the median over the rounds; the ratio is anomaly time over
strip time (lower is better), measured in the same run.
"""

from __future__ import annotations

import random
import statistics
import sys
import time

from interleaved import Row, load_core

_core = load_core()

SIZE = 4096

ENGLISH = (
    "The quick brown fox jumps over the lazy dog while the committee reviews its annual report. "
    "Nobody expected the meeting to last until midnight, yet every question deserved an answer; "
    "the chair thanked everyone for their patience (and their coffee).\n"
)
MIXED = (
    "L'\u00e9t\u00e9 dernier, nous sommes all\u00e9s \u00e0 la mer\u00a0; o\u00f9 est pass\u00e9e la cl\u00e9 ? "
    "\u0421\u044a\u0435\u0448\u044c \u0436\u0435 \u0435\u0449\u0451 \u044d\u0442\u0438\u0445 \u043c\u044f\u0433\u043a"
    "\u0438\u0445 \u0444\u0440\u0430\u043d\u0446\u0443\u0437\u0441\u043a\u0438\u0445 \u0431\u0443\u043b\u043e\u043a. "
    "\u0388\u03bd\u03b1 \u03bc\u03b9\u03ba\u03c1\u03cc \u03c3\u03c0\u03af\u03c4\u03b9 \u03c3\u03c4\u03b7\u03bd "
    "\u03b8\u03ac\u03bb\u03b1\u03c3\u03c3\u03b1. "
    "\u6211\u4eec\u6628\u5929\u5728\u516c\u56ed\u91cc\u6563\u6b65\uff0c\u5929\u6c14\u975e\u5e38\u597d\u3002\n"
)


def fill(sample: str) -> str:
    """The sample repeated to SIZE bytes of UTF-8, cut at a space."""
    text = sample * (SIZE // len(sample.encode()) + 2)
    while len(text.encode()) > SIZE:
        text = text[: text.rindex(" ")]
    return text


def word_list(n: int) -> list[str]:
    """The prose's own words and made-up ones, n in all."""
    rng = random.Random(7)
    words = {w.strip(".,;()").lower() for w in ENGLISH.split()}
    while len(words) < n:
        words.add("".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randrange(3, 12))))
    return sorted(words)


def timed(fn, text: str, reps: int) -> float:
    t0 = time.perf_counter()
    for _ in range(reps):
        fn(text)
    return (time.perf_counter() - t0) / reps


def medians(ours, text: str, rounds: int = 41, reps: int = 200) -> tuple[float, float]:
    """Median seconds of `ours(text)` and of `_strip_control_chars(text)`."""
    assert ours(text) is False  # a clean text
    strip = _core._strip_control_chars
    t_ours, t_strip = [], []
    for _ in range(rounds):
        t_ours.append(timed(ours, text, reps))
        t_strip.append(timed(strip, text, reps))
    return statistics.median(t_ours), statistics.median(t_strip)


def cases() -> list[tuple[str, object, str, float]]:
    """(label, function, text, the most time allowed as a multiple of stripping)."""
    english, mixed = fill(ENGLISH), fill(MIXED)
    lexicon = _core.Lexicon(word_list(10_000))
    return [("_has_anomalies, English", _core._has_anomalies, english, 3),
            ("_has_anomalies_lex, English, 10,000 words", lambda t: _core._has_anomalies_lex(t, lexicon), english,
             10),
            ("_has_anomalies, French Russian Greek Chinese", _core._has_anomalies, mixed, 20),
            ("_inspect_anomalies, the same", lambda t: _core._inspect_anomalies(t).anomalous, mixed, 20)]


def main() -> None:
    print(f"CPython {sys.version.split()[0]}; ratio = _has_anomalies time / _strip_control_chars time")
    print(f"  {'text (4 KiB)':<44} {'anomalies':>11} {'strip':>11}")
    for label, ours, text, target in cases():
        a, b = medians(ours, text)
        print(f"  {label:<44} {a * 1e6:8.2f} us  {b * 1e6:8.2f} us   x{a / b:5.2f}  (target <= {target:g})")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py; the peer is the project's own stripping."""
    return [Row("anomalies, 4 KiB (peer: kelrad)", label, "_strip_control_chars", strip, ours,
                1 / target, "us", "reused")
            for label, fn, text, target in cases()
            for ours, strip in [medians(fn, text, rounds=11 if quick else 41)]]


if __name__ == "__main__":
    main()
