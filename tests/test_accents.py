"""Accent stripping (`_strip_accents`, `_strip_accents_batch`)."""

import random
import unicodedata

import pytest

from kelrad import _core

S = _core._strip_accents


@pytest.mark.parametrize(
    "text, expected",
    [
        ("", ""),
        ("plain ASCII", "plain ASCII"),
        ("\u00e9", "e"),
        ("e\u0301", "e"),
        ("\u1ec7", "e"),
        ("Cr\u00e8me br\u00fbl\u00e9e", "Creme brulee"),
        ("\u00f1and\u00fa", "nandu"),
        ("\u2260", "\u2260"),  # = + U+0338: the overlay survives and recomposes
        ("=\u0338", "\u2260"),
        ("=\u0338\u0338", "\u2260"),  # only the first overlay on a base survives
        ("\u2204", "\u2204"),
        ("<\u20d2", "<\u20d2"),
        ("a\u0338", "a"),  # a letter is no symbol base
        ("\u0338", ""),  # no base at all
        ("\u0915\u093f", "\u0915"),  # the vowel sign is a mark (Mc)
        ("\ud55c\uad6d\uc5b4", "\ud55c\uad6d\uc5b4"),
        ("\u1100\u1161", "\uac00"),  # conjoining jamo compose, as in NFC
        ("\ufb01", "\ufb01"),  # compatibility characters are left alone
        ("\u212b", "A"),  # ANGSTROM SIGN decomposes canonically to A + ring
        ("\u0627\u064e\u0644", "\u0627\u0644"),
        ("x\u0301\u0316\u0301y", "xy"),
    ],
)
def test_strip_accents(text, expected):
    assert S(text) == expected


def test_result_is_nfc_without_marks():
    rng = random.Random(7)
    pool = "aeo=<\u00e9\u00f1\u1ec7\u2260\u2204\u0301\u0308\u0338\u20d2\u0327\u093f\u0915\uac00\u1100\u1161 "
    for _ in range(500):
        text = "".join(rng.choice(pool) for _ in range(rng.randrange(12)))
        out = S(text)
        assert unicodedata.is_normalized("NFC", out)
        for i, ch in enumerate(unicodedata.normalize("NFD", out)):
            if unicodedata.category(ch).startswith("M"):
                assert ch in "\u0338\u20d2", (text, out)


def test_long_run_of_marks_is_linear():
    assert S("a" + "\u0301" * 1_000_000 + "b") == "ab"


