"""Terminal width against wcwidth, grapheme clusters against ugrapheme.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/bench_width.py

Texts: 20,000 short chat and log lines, 1 MiB of mixed-script text with emoji,
and a 1 MiB ASCII log, none holding a control character (wcswidth answers -1
at the first one). Interleaved rounds on fresh str objects
(bench/interleaved.py).
"""

from __future__ import annotations

import math
import random
import sys
from importlib.metadata import version

import ugrapheme
import wcwidth

from interleaved import EIGHT_WORDS, Row, compare, load_core, per_call, rows_for, whole

_core = load_core()

MIB = 1 << 20

WORDS = {
    "English": "the quick brown fox jumps over lazy dog report meeting answer question city".split(),
    "Russian": "съешь же ещё этих мягких французских булок да выпей чаю".split(),
    "Chinese": "我们 昨天 在 公园 散步 天气 非常 好 孩子们 草地 玩耍".split(),
    "Japanese": "今日は いい 天気 ですね カタカナ ひらがな 東京".split(),
    "Korean": "안녕하세요 오늘 날씨가 좋네요 한국어 문장".split(),
    "Hindi": "नमस्ते दुनिया क्षत्रिय हिन्दी भाषा".split(),
    "French": "été déjà là où garçon naïve élève".split(),
}
EMOJI = ["\U0001F600", "\u2764\ufe0f", "\U0001F44D\U0001F3FD", "\U0001F1E9\U0001F1EA",
         "\U0001F468\u200d\U0001F469\u200d\U0001F467", "\u2728", "\U0001F525", "\U0001F602", "\u2615",
         "\U0001F3F3\ufe0f\u200d\U0001F308", "1\ufe0f\u20e3"]
LOG_WORDS = ("GET POST /api/v1/users 200 404 500 ms INFO WARN ERROR worker-3 request_id=9f2c "
             "latency=12.5ms user=alice path=/index.html").split()


def mixed_words(rng: random.Random) -> str:
    if rng.random() < 0.12:
        return rng.choice(EMOJI)
    return rng.choice(WORDS[rng.choice(list(WORDS))])


def make_text(pick, rng: random.Random, size: int) -> str:
    parts, total = [], 0
    while total < size:
        word = pick(rng)
        parts.append(word)
        total += len(word.encode()) + 1
    return " ".join(parts)


def make_lines(rng: random.Random) -> list[str]:
    lines = []
    for i in range(20000):
        pick = mixed_words if i % 2 else (lambda r: r.choice(LOG_WORDS))
        lines.append(" ".join(pick(rng) for _ in range(rng.randrange(3, 14))))
    return lines


def texts(rng: random.Random) -> dict[str, list[str]]:
    return {
        "20,000 short lines": make_lines(rng),
        "1 MiB mixed-script with emoji": [make_text(mixed_words, rng, MIB)],
        "1 MiB ASCII log": [make_text(lambda r: r.choice(LOG_WORDS), rng, MIB)],
    }


def main() -> None:
    print(f"wcwidth {version('wcwidth')} (C extension: {wcwidth.HAS_C_EXTENSION}), ugrapheme {version('ugrapheme')}, "
          f"Python {sys.version.split()[0]}")
    inputs = texts(random.Random(1126))
    for items in inputs.values():
        assert all(wcwidth.wcswidth(s) >= 0 for s in items)

    print("terminal width: _terminal_width against wcwidth.wcswidth")
    width = [compare(name, _core._terminal_width, wcwidth.wcswidth, items, "wcwidth") for name, items in inputs.items()]
    print("grapheme count: _grapheme_len against ugrapheme.grapheme_len")
    count = [compare(name, _core._grapheme_len, ugrapheme.grapheme_len, items, "ugrapheme")
             for name, items in inputs.items()]
    print("grapheme split: _grapheme_split against ugrapheme.grapheme_split")
    split = [compare(name, _core._grapheme_split, ugrapheme.grapheme_split, items, "ugrapheme")
             for name, items in inputs.items()]

    def geomean(ratios: list[float]) -> float:
        return math.exp(sum(map(math.log, ratios)) / len(ratios))

    print(f"\ngeometric means: width x{geomean(width):.2f} (target 1.5), grapheme_len x{geomean(count):.2f}, "
          f"grapheme_split x{geomean(split):.2f}")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: the three inputs of the target, whose
    ratios' geometric mean is asked to reach 1.5, and short words."""
    rounds = 3 if quick else 9
    out: list[Row] = []
    inputs = texts(random.Random(1126))
    namespace = {"_core": _core, "wcswidth": wcwidth.wcswidth}
    width = rows_for("width", "_terminal_width, 20,000 short lines", "wcwidth.wcswidth", None, "ns",
                     lambda f: per_call("_core._terminal_width(s)", "wcswidth(s)", namespace,
                                        inputs["20,000 short lines"], fresh_str=f, rounds=rounds))
    for name in ("1 MiB mixed-script with emoji", "1 MiB ASCII log"):
        width += rows_for("width", f"_terminal_width, {name}", "wcwidth.wcswidth", None, "ms",
                          lambda f, t=inputs[name][0]: whole(_core._terminal_width, wcwidth.wcswidth, t,
                                                             fresh_str=f, rounds=rounds))
    out += width
    for objects in ("fresh", "reused"):
        ratios = [r.ratio for r in width if r.str_objects == objects]
        out.append(Row("width", "_terminal_width, geometric mean of the three", "wcwidth.wcswidth",
                       math.prod(ratios) ** (1 / len(ratios)), 1.0, 1.5, "", objects))
    for name in ("1 MiB mixed-script with emoji", "1 MiB ASCII log"):
        out += rows_for("width", f"_grapheme_len, {name}", "ugrapheme", None, "ms",
                        lambda f, t=inputs[name][0]: whole(_core._grapheme_len, ugrapheme.grapheme_len, t,
                                                           fresh_str=f, rounds=rounds))
    out += rows_for("short words, per call", "_terminal_width", "wcwidth.wcswidth", None, "ns",
                    lambda f: per_call("_core._terminal_width(s)", "wcswidth(s)", namespace, EIGHT_WORDS,
                                       fresh_str=f, repeat=1000, rounds=rounds))
    return out


if __name__ == "__main__":
    main()
