"""Control stripping and whitespace collapsing against the regex code a user
would otherwise write, on 1 MiB texts.

    KELRAD_BUILD_DIR=build/tests python bench/bench_strip.py

Each figure is the best of several runs. "kelrad" calls the function on the
same str object again and again, as a micro-benchmark would; "fresh" gives it a
new str each time, so that for non-ASCII text it also pays for the UTF-8 form
that the interpreter caches on a str after its first use. Ratios are regex
time over kelrad time, measured in the same run.
"""

from __future__ import annotations

import random
import re
import time

from interleaved import EIGHT_WORDS, Row, load_core, per_call, rows_for, whole

_core = load_core()

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


def corpora() -> dict[str, str]:
    ascii_words = "the quick brown fox jumps over lazy dog while text hygiene keeps logs clean".split()
    latin_words = ["caf\xe9", "na\xefve", "stra\xdfe", "\xe0 la", "Z\xfcrich", "plain", "words", "text"]
    mixed_words = latin_words + ["\u043f\u0440\u0438\u0432\u0435\u0442", "\u65e5\u672c\u8a9e", "\u03b1\u03b2\u03b3"]
    ascii_noise = ["\t", "  ", "\x00", "\x1b[0m", "\x7f", " \t\n ", "\r\n"]
    noise = ascii_noise + ["\x85", "\xa0", "\x9f", "\u3000"]
    return {
        "ascii log": make_text(ascii_words, ascii_noise, 1),
        "latin-1 prose": make_text(latin_words, noise[:-1], 2),
        "mixed scripts": make_text(mixed_words, noise, 3),
        "clean ascii": make_text(ascii_words, [" "], 4).strip(" ").replace("\n", " "),
    }


def main() -> None:
    texts = corpora()
    cases = [
        ("_strip_control_chars", _core._strip_control_chars, regex_strip_control),
        ("_collapse_whitespace", _core._collapse_whitespace, regex_collapse),
    ]
    print(f"{'function':<22} {'text (1 MiB)':<14} {'kelrad ms':>9} {'fresh ms':>9} {'regex ms':>9}"
          f" {'ratio':>6} {'fresh':>6}")
    for name, ours, theirs in cases:
        for label, text in texts.items():
            assert ours(text) == theirs(text), (name, label)
            fresh = [(text + ".")[:-1] for _ in range(7)]
            t_ours = best(ours, [text])
            t_fresh = best(ours, fresh)
            t_regex = best(theirs, [text])
            print(f"{name:<22} {label:<14} {t_ours * 1e3:>9.3f} {t_fresh * 1e3:>9.3f} {t_regex * 1e3:>9.3f}"
                  f" {t_regex / t_ours:>5.1f}x {t_regex / t_fresh:>5.1f}x")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: 1 MiB texts and short words."""
    rounds = 3 if quick else 9
    texts = corpora()
    out: list[Row] = []
    for label, ours, theirs, peer in (("_strip_control_chars", _core._strip_control_chars, regex_strip_control,
                                       "re.sub"),
                                      ("_collapse_whitespace", _core._collapse_whitespace, regex_collapse,
                                       "re.sub, str.strip")):
        for name in ("ascii log", "mixed scripts"):
            out += rows_for("1 MiB text", f"{label}, {name}", peer, 5.0, "ms",
                            lambda f, a=ours, b=theirs, t=texts[name]: whole(a, b, t, fresh_str=f, rounds=rounds))
    namespace = {"_core": _core, "regex_strip_control": regex_strip_control}
    out += rows_for("short words, per call", "_strip_control_chars", "re.sub", None, "ns",
                    lambda f: per_call("_core._strip_control_chars(s)", "regex_strip_control(s)", namespace,
                                       EIGHT_WORDS, fresh_str=f, repeat=1000, rounds=rounds))
    return out


if __name__ == "__main__":
    main()
