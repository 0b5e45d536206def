"""Zalgo detection and stripping."""

import random
import unicodedata

import pytest

from kelrad import _core

MAX_WORD = 2**64 - 1


@pytest.mark.parametrize(
    "text, threshold, zalgo",
    [
        pytest.param("e" + "\u0301" * 4, 3, True, id="four-acutes"),
        pytest.param("e\u0301\u0316\u0327", 3, False, id="three-classes-one-each"),
        pytest.param("e" + "\u0301" * 3, 3, False, id="at-the-threshold"),
        pytest.param("\u00e9" + "\u0301" * 3, 3, True, id="precomposed-base-counts-its-mark"),
        pytest.param("e\u0301\u0301\u0301a\u0301", 3, False, id="marks-on-separate-bases"),
        pytest.param("a" + "\u0903" * 8, 3, False, id="class-0-marks-not-counted"),
        pytest.param("a\u0301", 0, True, id="threshold-0-any-mark"),
        pytest.param("a\u0903", 0, True, id="threshold-0-spacing-mark"),
        pytest.param("=\u0338", 0, False, id="threshold-0-negation-excused"),
        pytest.param("\u2260", 0, False, id="threshold-0-not-equal-sign"),
        pytest.param("=\u0338\u0338", 0, True, id="threshold-0-one-overlay-only"),
        pytest.param("a\u0338", 0, True, id="threshold-0-overlay-on-letter"),
        pytest.param("a" + "\u0301" * 1000, MAX_WORD, False, id="largest-threshold"),
    ],
)
def test_is_zalgo(text, threshold, zalgo):
    assert _core._is_zalgo(text, threshold=threshold) is zalgo


@pytest.mark.parametrize(
    "text, max_marks, stripped",
    [
        pytest.param("e" + "\u0301" * 6, 3, "\u00e9\u0301\u0301", id="six-acutes-keep-three"),
        pytest.param("e\u0301", 3, "\u00e9", id="not-zalgo-comes-back-nfc"),
        pytest.param("\u212b", 3, "\u00c5", id="not-zalgo-angstrom-nfc"),
        pytest.param("=\u0338", 0, "\u2260", id="max-0-keeps-negation"),
        pytest.param("=\u0338\u0301 x\u0301y", 0, "\u2260 xy", id="max-0-drops-other-marks"),
        pytest.param("a\u20dd\u20dd b" + "\u0301" * 5, 1, "a\u20dd\u20dd b\u0301", id="class-0-marks-stay"),
        pytest.param("a\u0316\u0301" * 2 + "\u0301" * 4, 1, "\u00e1\u0316\u00e1\u0316", id="per-base"),
        pytest.param("ABC xyz", 0, "ABC xyz", id="ascii"),
        pytest.param("", 3, "", id="empty"),
    ],
)
def test_strip_zalgo(text, max_marks, stripped):
    assert _core._strip_zalgo(text, max_marks=max_marks) == stripped


def test_default_strip_leaves_ordinary_text_in_nfc():
    # The defaults are three and agree: what the test calls ordinary, the strip
    # only normalizes; what it calls zalgo, the strip makes ordinary.
    pool = ["a", "e", " ", "=", "\u00e9", "\u0301", "\u0300", "\u0316", "\u0338", "\u0903", "\u05b0", "\u1e69"]
    rng = random.Random(5)
    for _ in range(3000):
        text = "".join(rng.choice(pool) for _ in range(rng.randrange(12)))
        stripped = _core._strip_zalgo(text)
        assert stripped == _core._strip_zalgo(text, max_marks=3)
        assert _core._is_zalgo(text) is _core._is_zalgo(text, threshold=3)
        if not _core._is_zalgo(text):
            assert stripped == unicodedata.normalize("NFC", text), ascii(text)
        assert not _core._is_zalgo(stripped), ascii(text)
