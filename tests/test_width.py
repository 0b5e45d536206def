"""Terminal width of grapheme clusters and of whole texts."""

import pathlib
import random
import sys

import pytest

from kelrad import _core

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tools" / "gen"))

import gen_width  # noqa: E402
from ucd import DATA, code_point_set, property_ranges  # noqa: E402


@pytest.fixture(scope="module")
def oracle():
    """The width rule of one cluster, over the classes and emoji properties of 15.1."""
    classes = gen_width.classes()
    props = property_ranges(DATA / "unicode-15.1.0" / "ucd" / "emoji" / "emoji-data.txt")
    emoji = code_point_set(props["Emoji"])
    emoji_base = code_point_set(props["Emoji_Presentation"]) | set(range(0x1F1E6, 0x1F200))

    def width(cluster: str, ambiguous_wide: bool = False) -> int:
        cps = [ord(c) for c in cluster]
        while cps and cps[0] in gen_width.PREPENDED_CONCATENATION_MARKS:
            cps.pop(0)
        if not cps:
            return 0
        base, rest = cps[0], cps[1:]
        if base < 0x80 and not rest:
            return int(0x20 <= base < 0x7F)
        cls, is_base = classes.get(base, 1), base in emoji_base
        keycap = 0x20E3 in rest and chr(base) in "0123456789#*"
        if not is_base and cls == 0:
            return 0
        if 0xFE0E in rest:
            if is_base:
                return 1
        elif 0xFE0F in rest:
            if is_base or keycap or base in emoji:
                return 2
        elif is_base or keycap:
            return 2
        return {0: 0, 2: 2, 3: 2 if ambiguous_wide else 1}.get(cls, 1)

    width.emoji = emoji
    return width


def test_every_code_point_alone(oracle):
    failures = [f"U+{cp:04X} ambiguous_wide={wide}" for cp in range(0x110000) if not 0xD800 <= cp <= 0xDFFF
                for wide in (False, True) if _core._grapheme_width(chr(cp), ambiguous_wide=wide) != oracle(chr(cp), wide)]
    assert not failures, f"{len(failures)} failures:\n" + "\n".join(failures[:30])


def test_every_emoji_with_selectors_and_keycap(oracle):
    failures = [f"U+{cp:04X} {tail!a}" for cp in sorted(oracle.emoji | {0x41, 0x2192, 0x1F1E6})
                for tail in ("\ufe0e", "\ufe0f", "\u20e3", "\ufe0f\u20e3", "\U0001F3FB", "\ufe0e\ufe0f")
                if _core._grapheme_width(chr(cp) + tail) != oracle(chr(cp) + tail)]
    assert not failures, f"{len(failures)} failures:\n" + "\n".join(failures[:30])


# Clusters the two sweeps above do not build.
@pytest.mark.parametrize(
    "cluster, width",
    [
        pytest.param("", 0, id="empty"),
        pytest.param("\u0600\u0600", 0, id="only-prepended-marks"),
        pytest.param("\u0600\u0628", 1, id="prepended-mark-then-letter"),
        pytest.param("\u0600\U0001F600", 2, id="prepended-mark-then-emoji"),
        pytest.param("e\u0301", 1, id="letter-with-mark"),
        pytest.param("\u1100\u1161", 2, id="hangul-jamo"),
        pytest.param("\U0001F1E9\U0001F1EA", 2, id="flag"),
        pytest.param("\U0001F468\u200d\U0001F469", 2, id="zwj-sequence"),
    ],
)
def test_grapheme_width(cluster, width):
    assert _core._grapheme_width(cluster) == width


@pytest.mark.parametrize(
    "text, narrow, wide",
    [
        pytest.param("", 0, 0, id="empty"),
        pytest.param("ab\u4e00", 4, 4, id="ascii-and-han"),
        pytest.param("a\r\nb\tc\x7f", 3, 3, id="controls"),
        pytest.param("x" * 300 + "\u00a1", 301, 302, id="long-ascii-run-then-ambiguous"),
        pytest.param("\U0001F1E9\U0001F1EA\U0001F1EB", 4, 4, id="flag-and-lone-indicator"),
    ],
)
def test_terminal_width(text, narrow, wide):
    assert _core._terminal_width(text) == narrow
    assert _core._terminal_width(text, ambiguous_wide=True) == wide


def test_terminal_width_is_the_sum_over_clusters():
    # ASCII stretches are counted by blocks, the rest cluster by cluster.
    pool = ["a", " ", "~", "\x00", "\t", "\r\n", "\x7f", "\u0301", "\u4e00", "\u00a1", "\U0001F600", "\ufe0f",
            "\ufe0e", "\u200d", "1", "\u20e3", "\U0001F1E6", "\u0600", "\u1100", "\u1161", "x" * 61, "\r" * 70]
    rng = random.Random(15)
    for _ in range(3000):
        text = "".join(rng.choice(pool) for _ in range(rng.randrange(40)))
        for wide in (False, True):
            want = sum(_core._grapheme_width(c, ambiguous_wide=wide) for c in _core._grapheme_split(text))
            assert _core._terminal_width(text, ambiguous_wide=wide) == want, ascii(text)
