"""The strip family, whitespace collapsing and the ASCII test."""

import random

import pytest

from kelrad import _core

ENGLAND = "\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F"
SCOTLAND = "\U0001F3F4\U000E0067\U000E0062\U000E0073\U000E0063\U000E0074\U000E007F"


def tags(letters):
    return "".join(chr(0xE0000 + ord(c)) for c in letters)


@pytest.mark.parametrize(
    "text, expected",
    [
        pytest.param("  a \t\n b  ", "a b", id="ascii_runs_and_ends"),
        pytest.param("a\u00a0\u3000b", "a b", id="unicode_spaces"),
        pytest.param("\u3164", "", id="only_filler"),
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
        pytest.param("a\tb\nc\x0bd\x0ce\rf", "a\tb\nc\x0bd\x0ce\rf", id="whitespace_controls_stay"),
        pytest.param("\x1c\x1d\x1e\x1f\x85", "\x1c\x1d\x1e\x1f\x85", id="separators_and_nel_stay"),
        pytest.param("a\x00b\x1bc\x7fd\x9fe", "abcde", id="nul_esc_del_c1"),
        pytest.param("\x01\x08\x0e\x1a\x80\x84\x86", "", id="range_edges"),
    ],
)
def test_strip_control_chars(text, expected):
    assert _core._strip_control_chars(text) == expected


@pytest.mark.parametrize(
    "text, expected",
    [
        pytest.param("a\u200bb\u200cc\u200dd", "abcd", id="zwsp_zwnj_zwj"),
        pytest.param("\u180e\u2060\u2064\ufeff\U0001bca0\U0001bca3\U0001d173\U0001d17ay", "y", id="others"),
        pytest.param("\u200e\u2065\u00ad", "\u200e\u2065\u00ad", id="neighbours_kept"),
    ],
)
def test_strip_zero_width_chars(text, expected):
    assert _core._strip_zero_width_chars(text) == expected


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


@pytest.mark.parametrize(
    "function, text, expected",
    [
        pytest.param("_strip_bidi", "\u202elapyap\u202c", "lapyap", id="bidi_override_keeps_stored_order"),
        pytest.param("_strip_bidi", "a\u00adb\u206ac\u061cd\u200e\u200f", "abcd", id="bidi_soft_hyphen_deprecated"),
        pytest.param("_strip_bidi", "\u202a\u202b\u202d\u2066\u2067\u2068\u2069\u206f\ufff9\ufffbx", "x",
                     id="bidi_ranges"),
        pytest.param("_strip_bidi", "a\u200bb\ufeffc\u2065\ufffc", "a\u200bb\ufeffc\u2065\ufffc",
                     id="bidi_keeps_zero_width"),
        pytest.param("_strip_pua", "a\ue000\uf8ff\U000f0000\U0010fffdb", "ab", id="pua_ranges"),
        pytest.param("_strip_pua", "\uf900\U000ffffe\U000fffff\U0010fffe\U0010ffff",
                     "\uf900\U000ffffe\U000fffff\U0010fffe\U0010ffff", id="pua_keeps_plane_ends"),
        pytest.param("_strip_noncharacters", "a\ufdd0\ufdef\ufffe\uffff\U0001fffe\U0010ffffb", "ab",
                     id="nonchar_removed"),
        pytest.param("_strip_noncharacters", "\ufdcf\ufdf0\ufffd\U0001fffd", "\ufdcf\ufdf0\ufffd\U0001fffd",
                     id="nonchar_neighbours_kept"),
        pytest.param("_strip_variation_selectors", "\u2764\ufe0f a\ufe00 \U000e0100\U000e01ef", "\u2764 a ",
                     id="vs_removed_after_emoji_too"),
        pytest.param("_strip_variation_selectors", "\U000e01f0\u180b\u180f", "\U000e01f0\u180b\u180f",
                     id="vs_neighbours_kept"),
    ],
)
def test_class_filters(function, text, expected):
    assert getattr(_core, function)(text) == expected


def test_all_sixty_six_noncharacters():
    nonchars = [cp for cp in range(0x110000) if 0xFDD0 <= cp <= 0xFDEF or cp & 0xFFFE == 0xFFFE]
    assert len(nonchars) == 66
    text = "".join(chr(cp) + "." for cp in nonchars)
    assert _core._strip_noncharacters(text) == "." * 66


STRIP_FUNCTIONS = [
    "_collapse_whitespace",
    "_strip_control_chars",
    "_strip_zero_width_chars",
    "_strip_bidi",
    "_strip_tags",
    "_strip_pua",
    "_strip_noncharacters",
    "_strip_variation_selectors",
]


@pytest.mark.parametrize("function", STRIP_FUNCTIONS)
@pytest.mark.parametrize("text", ["unchanged ascii text", "unchanged caf\xe9 \u65e5\u672c"], ids=["ascii", "non_ascii"])
def test_unchanged_text_comes_back_as_a_new_equal_str(function, text):
    result = getattr(_core, function)(text)
    assert result == text
    assert result is not text


@pytest.mark.parametrize("function", STRIP_FUNCTIONS)
def test_empty_text(function):
    assert getattr(_core, function)("") == ""


# Plain per-character versions of the filters, to check the word-at-a-time
# scans and stretch copying against.
def _ref_filter(drop):
    return lambda text: "".join(c for c in text if not drop(ord(c)))


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


REFERENCES = {
    "_collapse_whitespace": _ref_collapse,
    "_strip_control_chars": _ref_filter(
        lambda cp: cp <= 0x08 or 0x0E <= cp <= 0x1B or 0x7F <= cp <= 0x84 or 0x86 <= cp <= 0x9F),
    "_strip_zero_width_chars": _ref_filter(
        lambda cp: 0x200B <= cp <= 0x200D or cp in (0x180E, 0xFEFF) or 0x2060 <= cp <= 0x2064
        or 0x1BCA0 <= cp <= 0x1BCA3 or 0x1D173 <= cp <= 0x1D17A),
    "_strip_bidi": _ref_filter(
        lambda cp: cp in (0xAD, 0x61C, 0x200E, 0x200F) or 0x202A <= cp <= 0x202E or 0x2066 <= cp <= 0x206F
        or 0xFFF9 <= cp <= 0xFFFB),
    "_strip_pua": _ref_filter(lambda cp: 0xE000 <= cp <= 0xF8FF or 0xF0000 <= cp <= 0xFFFFD or 0x100000 <= cp <= 0x10FFFD),
    "_strip_noncharacters": _ref_filter(lambda cp: 0xFDD0 <= cp <= 0xFDEF or cp & 0xFFFE == 0xFFFE),
    "_strip_variation_selectors": _ref_filter(lambda cp: 0xFE00 <= cp <= 0xFE0F or 0xE0100 <= cp <= 0xE01EF),
}


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
