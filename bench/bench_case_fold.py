"""_fold_case against str.casefold on 1 MiB texts.

    KELRAD_BUILD_DIR=build/tests python bench/bench_case_fold.py

Each text is 1 MiB of UTF-8 made by repeating a sample; the figure is the best
of several runs, and the ratio is casefold time over _fold_case time (above 1:
kelrad is faster).
"""

from __future__ import annotations

import timeit

from interleaved import EIGHT_WORDS, Row, load_core, per_call, rows_for, whole

_core = load_core()

SAMPLES = {
    "ascii": "The Quick Brown Fox Jumps Over The Lazy Dog; SHOUTING and quiet. ",
    "ascii-lower": "the quick brown fox jumps over the lazy dog; nothing to fold here. ",
    "german": "Größere Straßen führen über Brücken. ÄRGER, ÖL und ÜBUNG. ",
    "french": "Élève à l'école, Ça va? Où est la Bibliothèque? ",
    "russian": "Съешь же ещё этих мягких французских булок, да выпей чаю. МОСКВА ",
    "greek": "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία. ΟΔΟΣ ΑΘΗΝΩΝ ",
    "japanese": "日本語のテキストです。カタカナとひらがな。",
    "mixed": "Hello Мир 世界 Ωmega Straße! ",
}


def make_text(sample: str, size: int = 1 << 20) -> str:
    data = (sample * (size // len(sample.encode()) + 1)).encode()[:size]
    return data.decode("utf-8", errors="ignore")


def best(fn, number: int) -> float:
    return min(timeit.repeat(fn, number=number, repeat=7)) / number


def main() -> None:
    print(f"{'text':<12} {'chars':>8} {'casefold ms':>12} {'_fold_case ms':>14} {'ratio':>6}")
    texts = {name: make_text(sample) for name, sample in SAMPLES.items()}
    # One warm-up round over every text: it caches each str's UTF-8 form, as
    # any later call finds it, and settles the allocator, whose first large
    # blocks would otherwise be charged to whichever text comes first.
    for text in texts.values():
        assert _core._fold_case(text) == text.casefold()
        best(text.casefold, 5)
        best(lambda: _core._fold_case(text), 5)
    for name, text in texts.items():
        t_py = best(text.casefold, 20)
        t_k = best(lambda: _core._fold_case(text), 20)
        print(f"{name:<12} {len(text):>8} {t_py * 1e3:>12.3f} {t_k * 1e3:>14.3f} {t_py / t_k:>6.2f}")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: 1 MiB texts and short words."""
    rounds = 3 if quick else 9
    out: list[Row] = []
    for name in ("german", "russian", "greek", "mixed"):
        text = make_text(SAMPLES[name])
        out += rows_for("1 MiB text", f"_fold_case, {name}", "str.casefold", 1.0, "ms",
                        lambda f, t=text: whole(_core._fold_case, str.casefold, t, fresh_str=f, rounds=rounds))
    out += rows_for("short words, per call", "_fold_case", "str.casefold", 1 / 2.5, "ns",
                    lambda f: per_call("_core._fold_case(s)", "s.casefold()", {"_core": _core}, EIGHT_WORDS,
                                       fresh_str=f, repeat=1000, rounds=rounds))
    return out


if __name__ == "__main__":
    main()
