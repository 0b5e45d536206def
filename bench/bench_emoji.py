"""Emoji names and replacement against the emoji package.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/bench_emoji.py

Texts: 5,000 chat messages and 256 KiB of emoji-dense text. `_demojize` is
timed against `emoji.demojize` (whose names differ in form: ":red_heart:"),
`_replace_emoji` against `emoji.replace_emoji`, in interleaved rounds on fresh
str objects (bench/interleaved.py).
"""

from __future__ import annotations

import random
import sys
from importlib.metadata import version

import emoji

from interleaved import EIGHT_WORDS, MIB, Row, compare, load_core, per_call, rows_for, whole

_core = load_core()

WORDS = ("ok see you at the station tomorrow thanks so much that was great lol what time works for you "
         "happy birthday congrats on the new job running late sorry").split()
OTHER_WORDS = "merci beaucoup à demain très bien ça va спасибо до завтра 谢谢 明天见 ありがとう".split()
EMOJI = ["\U0001F600", "\U0001F602", "\u2764\ufe0f", "\U0001F44D", "\U0001F44D\U0001F3FD", "\U0001F389",
         "\U0001F1E9\U0001F1EA", "\U0001F468\u200d\U0001F469\u200d\U0001F467", "\u2728", "\U0001F525", "\U0001F64F",
         "\U0001F3F3\ufe0f\u200d\U0001F308", "1\ufe0f\u20e3", "\u2615", "\U0001F914", "\U0001F62D", "\u263a\ufe0f"]


def chat_message(rng: random.Random) -> str:
    words = []
    for _ in range(rng.randrange(2, 16)):
        r = rng.random()
        words.append(rng.choice(EMOJI) if r < 0.15 else rng.choice(OTHER_WORDS) if r < 0.25 else rng.choice(WORDS))
    return " ".join(words)


def emoji_dense(rng: random.Random, size: int) -> str:
    parts, total = [], 0
    while total < size:
        piece = rng.choice(EMOJI) * rng.randrange(1, 4) + (rng.choice(WORDS) + " " if rng.random() < 0.4 else "")
        parts.append(piece)
        total += len(piece.encode())
    return "".join(parts)


def main() -> None:
    print(f"emoji {version('emoji')}, Python {sys.version.split()[0]}")
    rng = random.Random(1141)
    texts = {"5,000 chat messages": [chat_message(rng) for _ in range(5000)],
             "256 KiB emoji-dense text": [emoji_dense(rng, 256 << 10)]}
    demojize = [compare(f"demojize, {name}", _core._demojize, emoji.demojize, items, "emoji")
                for name, items in texts.items()]
    replace = [compare(f"replace_emoji, {name}", lambda s: _core._replace_emoji(s, "X"),
                       lambda s: emoji.replace_emoji(s, "X"), items, "emoji") for name, items in texts.items()]
    print(f"\nlowest ratios: demojize x{min(demojize):.1f} (target 40), replace_emoji x{min(replace):.1f}")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: the 256 KiB emoji-dense text of the
    target, 1 MiB of it, the chat messages and short words with an emoji."""
    rounds = 3 if quick else 7
    rng = random.Random(1141)
    messages = [chat_message(rng) for _ in range(5000)]
    dense = emoji_dense(rng, 256 << 10)
    big = dense * 4
    out: list[Row] = []
    for label, text in (("256 KiB emoji-dense text", dense), ("1 MiB emoji-dense text", big)):
        out += rows_for("emoji", f"_demojize, {label}", "emoji.demojize", 40.0, "ms",
                        lambda f, t=text: whole(_core._demojize, emoji.demojize, t, fresh_str=f, rounds=rounds))
    namespace = {"_core": _core, "emoji": emoji}
    out += rows_for("emoji", "_demojize, 5,000 chat messages", "emoji.demojize", 40.0, "ns",
                    lambda f: per_call("_core._demojize(s)", "emoji.demojize(s)", namespace, messages, fresh_str=f,
                                       rounds=rounds))
    out += rows_for("emoji", "_replace_emoji, 1 MiB emoji-dense text", "emoji.replace_emoji", None, "ms",
                    lambda f: whole(lambda s: _core._replace_emoji(s, "X"), lambda s: emoji.replace_emoji(s, "X"),
                                    big, fresh_str=f, rounds=rounds))
    words = [w + " \U0001F600" for w in EIGHT_WORDS]
    out += rows_for("short words, per call", "_demojize, a word and an emoji", "emoji.demojize", None, "ns",
                    lambda f: per_call("_core._demojize(s)", "emoji.demojize(s)", namespace, words, fresh_str=f,
                                       repeat=200, rounds=rounds))
    return out


if __name__ == "__main__":
    main()
