"""The strip family, whitespace collapsing and the ASCII test."""

import functools
import random
import re

import pytest

from kelrad import _core

FLAG, CANCEL = "\U0001F3F4", "\U000E007F"


def tags(letters):
    return "".join(chr(0xE0000 + ord(c)) for c in letters)


ENGLAND, SCOTLAND = FLAG + tags("gbeng") + CANCEL, FLAG + tags("gbsct") + CANCEL


# Which characters each filter removes is checked against the plain references
# below, over every code point; these rows are the sequence rules.
@pytest.mark.parametrize(
    "function, text, expected",
    [
        pytest.param("_collapse_whitespace", "  a \t\n b  ", "a b", id="ascii_runs_and_ends"),
        pytest.param("_collapse_whitespace", "\u3164", "", id="only_filler"),
        pytest.param("_collapse_whitespace", "a  b\u00a0 c \u2003", "a b c", id="mixed_inner_runs"),
        pytest.param("_collapse_whitespace", "a\u200bb", "a\u200bb", id="zero_width_is_not_whitespace"),
        pytest.param("_collapse_whitespace", "\u115f\u1160\u2800\uffa0x", "x", id="blank_fillers"),
        pytest.param("_strip_tags", ENGLAND, ENGLAND, id="england_kept"),
        pytest.param("_strip_tags", "a" + SCOTLAND + ENGLAND + "b", "a" + SCOTLAND + ENGLAND + "b", id="two_flags"),
        pytest.param("_strip_tags", FLAG + tags("usca") + CANCEL, FLAG, id="unlisted_name"),
        pytest.param("_strip_tags", FLAG + tags("gbeng"), FLAG, id="no_cancel_tag"),
        pytest.param("_strip_tags", FLAG + tags("gbengg") + CANCEL, FLAG, id="six_letters"),
        pytest.param("_strip_tags", FLAG + tags("GBENG") + CANCEL, FLAG, id="upper_case_letters"),
        pytest.param("_strip_tags", FLAG + tags("gb") + ENGLAND, FLAG + ENGLAND, id="broken_then_whole"),
        pytest.param("_strip_tags", FLAG + tags("gb") + "x" + CANCEL, FLAG + "x", id="put_back_character"),
        pytest.param("_strip_tags", "\U000E0041x\U000E0001" + CANCEL, "x", id="lone_tags"),
        pytest.param("_strip_tags", tags("gbeng") + CANCEL, "", id="sequence_without_flag"),
        pytest.param("_strip_bidi", "\u202elapyap\u202c", "lapyap", id="bidi_keeps_the_stored_order"),
    ],
)
def test_sequence_rules(function, text, expected):
    assert getattr(_core, function)(text) == expected


# Plain versions of the filters, to check the word-at-a-time scans and stretch
# copying against: the code points each one removes, as inclusive ranges.
REMOVED = {
    "_strip_control_chars": [(0x00, 0x08), (0x0E, 0x1B), (0x7F, 0x84), (0x86, 0x9F)],
    "_strip_zero_width_chars": [(0x180E, 0x180E), (0x200B, 0x200D), (0x2060, 0x2064), (0xFEFF, 0xFEFF),
                                (0x1BCA0, 0x1BCA3), (0x1D173, 0x1D17A)],
    "_strip_bidi": [(0xAD, 0xAD), (0x61C, 0x61C), (0x200E, 0x200F), (0x202A, 0x202E), (0x2066, 0x206F),
                    (0xFFF9, 0xFFFB)],
    "_strip_pua": [(0xE000, 0xF8FF), (0xF0000, 0xFFFFD), (0x100000, 0x10FFFD)],
    "_strip_noncharacters": [(0xFDD0, 0xFDEF)] + [(plane + 0xFFFE, plane + 0xFFFF) for plane in range(0, 0x110000, 0x10000)],
    "_strip_variation_selectors": [(0xFE00, 0xFE0F), (0xE0100, 0xE01EF)],
}


def _ref_filter(ranges):
    table = {cp: None for first, last in ranges for cp in range(first, last + 1)}
    return lambda text: text.translate(table)


COLLAPSE_WS = set(range(0x09, 0x0E)) | set(range(0x1C, 0x21)) | set(range(0x2000, 0x200B)) | {
    0x85, 0xA0, 0x1680, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000, 0x115F, 0x1160, 0x2800, 0x3164, 0xFFA0}


_WS_RUN = re.compile("[" + "".join(re.escape(chr(cp)) for cp in sorted(COLLAPSE_WS)) + "]+")
# A flag tag sequence of UTS #51 (England, Scotland, Wales) is kept whole; every other tag character goes.
_TAG = re.compile("(" + FLAG + "(?:" + "|".join(tags(n) for n in ("gbeng", "gbsct", "gbwls")) + ")" + CANCEL
                  + ")|[\U000E0000-\U000E007F]")
REFERENCES = {name: _ref_filter(ranges) for name, ranges in REMOVED.items()}
REFERENCES["_collapse_whitespace"] = lambda text: _WS_RUN.sub(" ", text).strip(" ")
REFERENCES["_strip_tags"] = lambda text: _TAG.sub(lambda m: m.group(1) or "", text)

# Mostly ASCII with the interesting characters sprinkled in, so that long
# ASCII stretches, words straddling them and multi-byte neighbours all occur.
ALPHABET = (
    list("abcdefgh ") * 6 + ["\t", "\n", "\r", "\x00", "\x08", "\x1b", "\x1c", "\x7f", "\x80", "\x85", "\x9f",
                             "\xa0", "\xad", "\xe9", "\u061c", "\u180e", "\u200b", "\u200d", "\u2028", "\u202e",
                             "\u2066", "\u206f", "\u3000", "\u3164", "\ue000", "\ufdd0", "\ufe0f", "\ufeff",
                             "\uffa0", "\ufffe", "\U0001bca1", "\U0001d175", "\U000e0041", "\U000e0067",
                             "\U000e0100", "\U000ffffd", "\U0010ffff", "\u65e5"]
)
# Flags and tag letters, so that whole, broken and back-to-back tag sequences occur.
FLAG_ALPHABET = ["\U0001F3F4", ENGLAND, SCOTLAND, ENGLAND[:-1], ENGLAND[:3], SCOTLAND[1:], "\U000E007F",
                 "\U000E0047", tags("gbwls"), "a"]


@functools.cache
def every_code_point():
    return "x".join(chr(cp) for cp in range(0x110000) if not 0xD800 <= cp <= 0xDFFF)


@pytest.mark.parametrize("function", sorted(REFERENCES))
def test_filters_agree_with_plain_reference(function):
    run, ref = getattr(_core, function), REFERENCES[function]
    text = every_code_point()
    got, want = run(text), ref(text)
    if got != want:
        i = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
        pytest.fail(f"outputs differ from index {i}: got {got[i:i + 6]!r}, want {want[i:i + 6]!r}")
    rng = random.Random(function)
    alphabet = ALPHABET + FLAG_ALPHABET * 4 if function == "_strip_tags" else ALPHABET
    for _ in range(400):
        text = "".join(rng.choice(alphabet) for _ in range(rng.randrange(0, 70)))
        assert run(text) == ref(text), repr(text)


def test_is_ascii_sees_a_last_non_ascii_character():
    for length in range(20):
        text = "a" * length
        assert _core._is_ascii(text)
        assert not _core._is_ascii(text + "\xe9")
        assert not _core._is_ascii("\U0001F600" + text)
