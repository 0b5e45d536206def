"""Smuggled payloads: tag characters, variation-selector bytes, zero-width bits, percent escapes."""

import random

import pytest

from kelrad import _core

FLAG, CANCEL = "\U0001F3F4", "\U000E007F"


def tags(s):
    return "".join(chr(0xE0000 + ord(c)) for c in s)


def selectors(data: bytes):
    return "".join(chr(0xFE00 + b) if b < 16 else chr(0xE0100 + b - 16) for b in data)


def bits(data: bytes, sep=""):
    return sep.join("\u200c" if byte >> (7 - k) & 1 else "\u200b" for byte in data for k in range(8))


@pytest.mark.parametrize(
    "text, expected",
    [
        pytest.param("", [], id="empty"),
        pytest.param(FLAG + tags("gbeng") + CANCEL, [], id="england-flag"),
        pytest.param("x" + tags("hi"), [("tag_ascii", 1, 9, 2, b"hi", "hi")], id="tag-run"),
        pytest.param(tags("hi") + CANCEL + "y", [("tag_ascii", 0, 12, 3, b"hi", "hi")], id="cancel-tag-counted"),
        pytest.param(FLAG + tags("gbeng") + CANCEL + tags("ok"), [("tag_ascii", 28, 36, 2, b"ok", "ok")],
                     id="flag-then-tags"),
        pytest.param(FLAG + tags("gbeng") + "x", [("tag_ascii", 4, 24, 5, b"gbeng", "gbeng")],
                     id="flag-without-cancel-tag"),
        pytest.param("\U000E0001" + CANCEL, [], id="no-tag-ascii"),
        pytest.param("\u2764\ufe0f", [], id="emoji-presentation"),
        pytest.param("a" + selectors(b"\x0f"), [], id="one-selector"),
        pytest.param("\u2764\ufe0f" + selectors(b"Hi"),
                     [("variation_bytes", 6, 14, 2, b"Hi", "Hi")], id="presentation-selector-left-to-emoji"),
        pytest.param(selectors(b"\x0fHi"), [("variation_bytes", 0, 11, 3, b"\x0fHi", None)],
                     id="selector-rule-not-at-text-start"),
        pytest.param("\u2764" + selectors(b"\x0f\x00\x01"), [("variation_bytes", 3, 12, 3, b"\x0f\x00\x01", None)],
                     id="rest-unprintable-keeps-whole-run"),
        pytest.param("a" + selectors(b"\xc3\xa9"), [("variation_bytes", 1, 9, 2, b"\xc3\xa9", "\u00e9")],
                     id="utf8-bytes"),
        pytest.param("a" + selectors(b"\xc3("), [("variation_bytes", 1, 9, 2, b"\xc3(", None)], id="invalid-utf8"),
        pytest.param(bits(b"A")[:7], [], id="seven-bits"),
        pytest.param(bits(b"Hi"), [("zero_width_binary", 0, 48, 16, b"Hi", "Hi")], id="sixteen-bits"),
        pytest.param(bits(b"Hi", "\u200d") + "x",
                     [("zero_width_binary", 0, 93, 31, b"Hi", "Hi")], id="zwj-inside-run"),
        pytest.param(bits(b"A") + "\u200b\u200c\u2060\ufeff",
                     [("zero_width_binary", 0, 36, 12, b"A", "A")], id="leftover-bits-dropped"),
        pytest.param("%41%42", [("percent_escape", 0, 6, 6, b"AB", "AB")], id="percent-run"),
        pytest.param("a%41b %4 %zz %%41%4a%6A", [("percent_escape", 14, 23, 9, b"AJj", "AJj")],
                     id="malformed-escapes"),
        pytest.param("%0a%0d", [("percent_escape", 0, 6, 6, b"\n\r", None)], id="escaped-newline"),
    ],
)
def test_decode_smuggled(text, expected):
    got = [(p.scheme, p.start, p.end, p.units, p.data, p.text) for p in _core._decode_smuggled(text)]
    assert got == expected
    encoded = text.encode()
    for scheme, start, end, units, _, _ in expected:
        assert len(encoded[start:end].decode()) == units


def test_repr():
    (p,) = _core._decode_smuggled("%41%22%5c")
    assert repr(p) == 'SmuggledPayload(scheme="percent_escape", start=0, end=9, units=9, text="A\\"\\\\")'
    (p,) = _core._decode_smuggled(bits(b"\xff\xfe"))
    assert repr(p).endswith("text=None)")


def test_unprintable_characters():
    # One decoded character inside printable ASCII decides.
    for ch in ["\x00", "\x1f", "\x7f", "\x85", "\u061c", "\u200b", "\u200f", "\u202e", "\u2066", "\u2800",
               "\u3164", "\ufe0f", "\ufeff", "\ufdd0", "\uffff", "\U0001FFFE", "\U0001BCA0", "\U0001D173",
               "\U000E0041", "\U000E0100", "\u115f", "\u180e", "\u2064"]:
        data = ("a" + ch + "b").encode()
        (p,) = _core._decode_smuggled(bits(data))
        assert p.data == data and p.text is None, ascii(ch)
    for ch in ["\u00a0", "\u0300", "\u00ad", "\U0001F600", "\u2065", "\U000E0080"]:
        (p,) = _core._decode_smuggled(bits(("a" + ch).encode()))
        assert p.text == "a" + ch, ascii(ch)


def test_runs_never_overlap_and_cover_their_units():
    rng = random.Random(3)
    pool = ["a", " ", "%", "4", "1", "\u200b", "\u200c", "\u200d", "\ufe0f", "\ufe0e", "\ufe00", "\U000E0100",
            "\U000E0041", CANCEL, FLAG, "\U000E0067", "\U000E0062", "\U000E0065", "\U000E006E", "\u2764"]
    for _ in range(3000):
        text = "".join(rng.choice(pool) for _ in range(rng.randrange(40)))
        encoded = text.encode()
        end = 0
        for p in _core._decode_smuggled(text):
            assert end <= p.start < p.end, ascii(text)
            assert len(encoded[p.start:p.end].decode()) == p.units
            end = p.end
