"""Control stripping and whitespace collapsing against the regex code a user
would otherwise write, on 1 MiB texts.

    python bench/bench_strip.py            # kelrad from build/tests (scripts/test)
    KELRAD_BUILD_DIR=build/x python bench/bench_strip.py

Each figure is the best of several runs. "kelrad" calls the function on the
same str object again and again, as a micro-benchmark would; "fresh" gives it a
new str each time, so that for non-ASCII text it also pays for the UTF-8 form
that the interpreter caches on a str after its first use. Ratios are regex
time over kelrad time, measured in the same run.
"""

from __future__ import annotations

import os
import pathlib
import random
import re
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
PKG = ROOT / os.environ.get("KELRAD_BUILD_DIR", "build/tests") / "pkg"
if (PKG / "kelrad").is_dir():
    sys.path.insert(0, str(PKG))

from kelrad import _core  # noqa: E402

MIB = 1 << 20
CONTROL_RE = re.compile("[\x00-\x08\x0e-\x1b\x7f-\x84\x86-\x9f]")
# \s of a str pattern is str.isspace(), which already takes in U+001C-001F.
WHITESPACE_RE = re.compile("[\\s\u115f\u1160\u2800\u3164\uffa0]+")


def regex_strip_control(text: str) -> str:
    return CONTROL_RE.sub("", text)


def regex_collapse(text: str) -> str:
    return WHITESPACE_RE.sub(" ", text).strip(" ")


def make_text(words: list[str], noise: list[str], seed: int) -> str:
    rng = random.Random(seed)
    parts: list[str] = []
    size = 0
    while size < MIB:
        word = rng.choice(words)
        sep = rng.choice(noise) if rng.random() < 0.02 else ("\n" if rng.random() < 0.08 else " ")
        parts.append(word + sep)
        size += len((word + sep).encode())
    return "".join(parts)


def best(fn, texts: list[str], repeat: int = 7) -> float:
    times = []
    for i in range(repeat):
        t0 = time.perf_counter()
        fn(texts[i % len(texts)])
        times.append(time.perf_counter() - t0)
    return min(times)


def main() -> None:
    ascii_words = "the quick brown fox jumps over lazy dog while text hygiene keeps logs clean".split()
    latin_words = ["caf\xe9", "na\xefve", "stra\xdfe", "\xe0 la", "Z\xfcrich", "plain", "words", "text"]
    mixed_words = latin_words + ["\u043f\u0440\u0438\u0432\u0435\u0442", "\u65e5\u672c\u8a9e", "\u03b1\u03b2\u03b3"]
    ascii_noise = ["\t", "  ", "\x00", "\x1b[0m", "\x7f", " \t\n ", "\r\n"]
    noise = ascii_noise + ["\x85", "\xa0", "\x9f", "\u3000"]
    corpora = {
        "ascii log": make_text(ascii_words, ascii_noise, 1),
        "latin-1 prose": make_text(latin_words, noise[:-1], 2),
        "mixed scripts": make_text(mixed_words, noise, 3),
        "clean ascii": make_text(ascii_words, [" "], 4).strip(" ").replace("\n", " "),
    }
    cases = [
        ("_strip_control_chars", _core._strip_control_chars, regex_strip_control),
        ("_collapse_whitespace", _core._collapse_whitespace, regex_collapse),
    ]
    print(f"{'function':<22} {'text (1 MiB)':<14} {'kelrad ms':>9} {'fresh ms':>9} {'regex ms':>9}"
          f" {'ratio':>6} {'fresh':>6}")
    for name, ours, theirs in cases:
        for label, text in corpora.items():
            assert ours(text) == theirs(text), (name, label)
            fresh = [(text + ".")[:-1] for _ in range(7)]
            t_ours = best(ours, [text])
            t_fresh = best(ours, fresh)
            t_regex = best(theirs, [text])
            print(f"{name:<22} {label:<14} {t_ours * 1e3:>9.3f} {t_fresh * 1e3:>9.3f} {t_regex * 1e3:>9.3f}"
                  f" {t_regex / t_ours:>5.1f}x {t_regex / t_fresh:>5.1f}x")


if __name__ == "__main__":
    main()
