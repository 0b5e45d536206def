"""The strip family, whitespace collapsing and the ASCII test."""

import functools
import random

import pytest

from kelrad import _core

ENGLAND = "\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F"
SCOTLAND = "\U0001F3F4\U000E0067\U000E0062\U000E0073\U000E0063\U000E0074\U000E007F"


def tags(letters):
    return "".join(chr(0xE0000 + ord(c)) for c in letters)


# Which characters each filter removes is checked against the plain references
# below, over every code point; these rows are the sequence rules.
@pytest.mark.parametrize(
    "text, expected",
    [
        pytest.param("  a \t\n b  ", "a b", id="ascii_runs_and_ends"),
        pytest.param("a\u00a0\u3000b", "a b", id="unicode_spaces"),
        pytest.param("\u3164", "", id="only_filler"),
        pytest.param(" \t ", "", id="only_whitespace"),
        pytest.param("a  b\u00a0 c \u2003", "a b c", id="mixed_inner_runs"),
        pytest.param("a\u200bb", "a\u200bb", id="zero_width_is_not_whitespace"),
        pytest.param("a\x1c\x1fb\x85c", "a b c", id="separators_and_nel"),
        pytest.param("\u115f\u1160\u2800\uffa0x", "x", id="blank_fillers"),
    ],
)
def test_collapse_whitespace(text, expected):
    assert _core._collapse_whitespace(text) == expected


@pytest.mark.parametrize(
    "text, expected",
    [
        pytest.param(ENGLAND, ENGLAND, id="england_kept"),
        pytest.param("a" + SCOTLAND + ENGLAND + "b", "a" + SCOTLAND + ENGLAND + "b", id="two_flags"),
        pytest.param("\U0001F3F4" + tags("usca") + "\U000E007F", "\U0001F3F4", id="unlisted_name"),
        pytest.param("\U0001F3F4" + tags("gbeng"), "\U0001F3F4", id="no_cancel_tag"),
        pytest.param("\U0001F3F4" + tags("gbengg") + "\U000E007F", "\U0001F3F4", id="six_letters"),
        pytest.param("\U0001F3F4" + tags("GBENG") + "\U000E007F", "\U0001F3F4", id="upper_case_letters"),
        pytest.param("\U0001F3F4" + tags("gb") + ENGLAND, "\U0001F3F4" + ENGLAND, id="broken_then_whole"),
        pytest.param("\U0001F3F4" + tags("gb") + "x\U000E007F", "\U0001F3F4x", id="put_back_character"),
        pytest.param("\U000E0041x\U000E0001\U000E007F", "x", id="lone_tags"),
        pytest.param(tags("gbeng") + "\U000E007F", "", id="sequence_without_flag"),
    ],
)
def test_strip_tags(text, expected):
    assert _core._strip_tags(text) == expected


def test_strip_bidi_keeps_the_stored_order():
    assert _core._strip_bidi("\u202elapyap\u202c") == "lapyap"


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


def _ref_collapse(text):
    out, started, after = [], False, False
    for c in text:
        if ord(c) in COLLAPSE_WS:
            if started and not after:
                out.append(" ")
                after = True
        else:
            out.append(c)
            started, after = True, False
    if out and out[-1] == " ":
        out.pop()
    return "".join(out)


REFERENCES = {name: _ref_filter(ranges) for name, ranges in REMOVED.items()}
REFERENCES["_collapse_whitespace"] = _ref_collapse


def _ref_strip_tags(text):
    """Tag dropping with a one-character look-ahead, as UTS #51 flags need."""
    out, i = [], 0
    while i < len(text):
        c = text[i]
        i += 1
        if c == "\U0001F3F4":
            out.append(c)
            j = i
            while j < len(text) and 0xE0061 <= ord(text[j]) <= 0xE007A:
                j += 1
            letters = "".join(chr(ord(t) - 0xE0000) for t in text[i:j])
            if j < len(text) and text[j] == "\U000E007F" and letters in ("gbeng", "gbsct", "gbwls"):
                out.append(text[i : j + 1])
                j += 1
            i = j
        elif not 0xE0000 <= ord(c) <= 0xE007F:
            out.append(c)
    return "".join(out)


REFERENCES["_strip_tags"] = _ref_strip_tags

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
def test_filters_agree_with_plain_reference_on_every_code_point(function):
    text = every_code_point()
    got, want = getattr(_core, function)(text), REFERENCES[function](text)
    if got != want:
        i = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
        pytest.fail(f"outputs differ from index {i}: got {got[i:i + 6]!r}, want {want[i:i + 6]!r}")


@pytest.mark.parametrize("function", sorted(REFERENCES))
def test_filters_agree_with_plain_reference(function):
    rng = random.Random(function)
    run, ref = getattr(_core, function), REFERENCES[function]
    alphabet = ALPHABET + FLAG_ALPHABET * 4 if function == "_strip_tags" else ALPHABET
    for _ in range(400):
        text = "".join(rng.choice(alphabet) for _ in range(rng.randrange(0, 70)))
        assert run(text) == ref(text), repr(text)


@pytest.mark.parametrize("length", range(0, 20))
def test_is_ascii_sees_a_last_non_ascii_character(length):
    text = "a" * length
    assert _core._is_ascii(text)
    assert not _core._is_ascii(text + "\xe9")
    assert not _core._is_ascii("\U0001F600" + text)
