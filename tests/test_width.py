"""Terminal width of grapheme clusters and of whole texts."""

import pathlib
import random
import sys

import pytest

from kelrad import _core

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tools" / "gen"))

import gen_width  # noqa: E402
from ucd import DATA, code_point_set, property_ranges  # noqa: E402

PREPENDED = {*range(0x600, 0x606), 0x6DD, 0x70F, 0x890, 0x891, 0x8E2, 0x110BD, 0x110CD}


@pytest.fixture(scope="module")
def oracle():
    """The width rule of one cluster, from the 15.1 data, for the sweeps."""
    classes = gen_width.classes()
    props = property_ranges(DATA / "unicode-15.1.0" / "ucd" / "emoji" / "emoji-data.txt")
    emoji = code_point_set(props["Emoji"])
    presentation = code_point_set(props["Emoji_Presentation"])

    def width(cluster: str, ambiguous_wide: bool = False) -> int:
        cps = [ord(c) for c in cluster]
        while cps and cps[0] in PREPENDED:
            cps.pop(0)
        if not cps:
            return 0
        base, rest = cps[0], cps[1:]
        if base < 0x80 and not rest:
            return int(0x20 <= base < 0x7F)
        cls = classes.get(base, 1)
        emoji_base = base in presentation or 0x1F1E6 <= base <= 0x1F1FF
        if not emoji_base and cls == 0:
            return 0
        keycap = 0x20E3 in rest and chr(base) in "0123456789#*"
        if 0xFE0E in rest:
            if emoji_base:
                return 1
        elif 0xFE0F in rest:
            if emoji_base or keycap or base in emoji:
                return 2
        elif emoji_base or keycap:
            return 2
        return {0: 0, 2: 2, 3: 2 if ambiguous_wide else 1}.get(cls, 1)

    width.emoji = emoji
    return width


def test_every_code_point_alone(oracle):
    failures = []
    for cp in range(0x110000):
        if 0xD800 <= cp <= 0xDFFF:
            continue
        ch = chr(cp)
        for wide in (False, True):
            if _core._grapheme_width(ch, ambiguous_wide=wide) != oracle(ch, wide):
                failures.append(f"U+{cp:04X} ambiguous_wide={wide}")
    assert not failures, f"{len(failures)} failures:\n" + "\n".join(failures[:30])


def test_every_emoji_with_selectors_and_keycap(oracle):
    failures = []
    for cp in sorted(oracle.emoji | {0x41, 0x2192, 0x1F1E6}):
        for tail in ("\ufe0e", "\ufe0f", "\u20e3", "\ufe0f\u20e3", "\U0001F3FB", "\ufe0e\ufe0f"):
            cluster = chr(cp) + tail
            if _core._grapheme_width(cluster) != oracle(cluster):
                failures.append(f"U+{cp:04X} + {tail.encode('unicode_escape').decode()}")
    assert not failures, f"{len(failures)} failures:\n" + "\n".join(failures[:30])


@pytest.mark.parametrize(
    "cluster, narrow, wide",
    [
        pytest.param("", 0, 0, id="empty"),
        pytest.param("\u0600", 0, 0, id="only-prepended-mark"),
        pytest.param("\u0600\u0628", 1, 1, id="prepended-mark-then-letter"),
        pytest.param("\u0600\U0001F600", 2, 2, id="prepended-mark-then-emoji"),
        pytest.param("\t", 0, 0, id="tab"),
        pytest.param("\x7f", 0, 0, id="del"),
        pytest.param("e\u0301", 1, 1, id="letter-with-mark"),
        pytest.param("\u0301", 0, 0, id="lone-mark"),
        pytest.param("\u4e00", 2, 2, id="han"),
        pytest.param("\uac00", 2, 2, id="hangul-syllable"),
        pytest.param("\u1100\u1161", 2, 2, id="hangul-jamo"),
        pytest.param("\u00a1", 1, 2, id="ambiguous"),
        pytest.param("\ue000", 1, 2, id="private-use-ambiguous"),
        pytest.param("\U0001F600\ufe0e", 1, 1, id="emoji-text-selector"),
        pytest.param("\u2764", 1, 1, id="text-default-emoji"),
        pytest.param("\u2764\ufe0f", 2, 2, id="text-default-emoji-selector"),
        pytest.param("\u00a9\ufe0f", 2, 2, id="copyright-selector"),
        pytest.param("1\u20e3", 2, 2, id="keycap"),
        pytest.param("1\ufe0f\u20e3", 2, 2, id="keycap-qualified"),
        pytest.param("A\u20e3", 1, 1, id="letter-keycap"),
        pytest.param("\U0001F1E9\U0001F1EA", 2, 2, id="flag"),
        pytest.param("\U0001F1E6", 2, 2, id="single-regional-indicator"),
        pytest.param("\U0001F590\U0001F3FB", 1, 1, id="text-default-modifier-base"),
        pytest.param("\U0001FAE9", 1, 1, id="emoji-of-16-0"),
        pytest.param("\u3099", 0, 0, id="wide-mark-zero"),
        pytest.param("\u0300", 0, 0, id="ambiguous-mark-zero"),
        pytest.param("\U00030000", 2, 2, id="plane-3"),
        pytest.param("\U0002FFFD", 2, 2, id="plane-2-unassigned"),
        pytest.param("\U000E0001", 0, 0, id="language-tag"),
    ],
)
def test_grapheme_width(cluster, narrow, wide):
    assert _core._grapheme_width(cluster) == narrow
    assert _core._grapheme_width(cluster, ambiguous_wide=True) == wide


@pytest.mark.parametrize(
    "text, width",
    [
        pytest.param("", 0, id="empty"),
        pytest.param("ab\u4e00", 4, id="ascii-and-han"),
        pytest.param("a\r\nb\tc\x7f", 3, id="controls"),
        pytest.param("e\u0301\u0301x", 2, id="marks-after-ascii-run"),
        pytest.param("\U0001F468\u200d\U0001F469\u200d\U0001F467!", 3, id="zwj-family-one-cluster"),
        pytest.param("\U0001F1E9\U0001F1EA\U0001F1EB", 4, id="flag-and-lone-indicator"),
        pytest.param("x" * 37 + "\u00a1", 38, id="long-ascii-run-then-ambiguous"),
    ],
)
def test_terminal_width(text, width):
    assert _core._terminal_width(text) == width


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


@pytest.mark.parametrize(
    "call, exc, message",
    [
        pytest.param(lambda: _core._terminal_width("a", ambiguous_wide=1), TypeError,
                     "'int' object is not an instance of 'bool'", id="int-flag"),
        pytest.param(lambda: _core._terminal_width("a", True), TypeError,
                     "_terminal_width() takes 1 positional arguments but 2 were given", id="flag-positional"),
        pytest.param(lambda: _core._grapheme_width(None), TypeError,
                     "'None' is not an instance of 'str'", id="none"),
    ],
)
def test_argument_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value) == message
