"""The canonical check and what the presets' verification guard lets through."""

import pathlib
import random
import sys

import pytest

import kelrad
from kelrad import _core

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tools" / "gen"))

from ucd import UCD17, code_point_set, data_lines, parse_range, unicode_data  # noqa: E402

PRESETS = ["canonicalize", "canonicalize_strict", "strip_obfuscation", "strip_format", "skeleton_key", "sort_key",
           "search_key", "catalog_key", "ml_normalize"]
ALIASES = {"security_clean": "canonicalize", "normalize_user_input": "canonicalize_strict",
           "display_clean": "strip_format"}

MARKS = code_point_set([parse_range(f[0]) for f in data_lines(UCD17 / "extracted" / "DerivedGeneralCategory.txt")
                        if f[1] in ("Mn", "Mc", "Me")])
CANONICAL = {int(f[0], 16): [int(x, 16) for x in f[5].split()]
             for f in unicode_data() if f[5] and not f[5].startswith("<")}


def canonical_decomposition(cp):
    return [d for part in CANONICAL[cp] for d in canonical_decomposition(part)] if cp in CANONICAL else [cp]


@pytest.mark.parametrize("preset", [*PRESETS, *ALIASES])
def test_empty_text_is_canonical(preset):
    assert _core._is_canonical("", preset=preset) is True


CASES = [
    # (id, text, preset, canonical)
    ("one space", "ab cd", "canonicalize", True),
    ("two spaces", "ab  cd", "canonicalize", False),
    ("trailing newline", "ab cd\n", "canonicalize", False),
    ("capital, no case folding", "Hello", "canonicalize", True),
    ("capital, case folding", "Hello", "sort_key", False),
    ("guard cannot clear, chain keeps", "\u00e9", "sort_key", True),
    ("precomposed accent stripped", "\u00e9", "strip_obfuscation", False),
    ("class-0 mark composes", "\u0bc6\u0bbe", "canonicalize", False),
    ("composed form", "\u0bca", "canonicalize", True),
    ("vertical line", "a|b", "canonicalize", False),
    ("vertical line, format only", "a|b", "strip_format", True),
    ("digit one", "abc1", "skeleton_key", True),
    ("capital I", "abcI", "skeleton_key", False),
    ("key of a key", "strasse moskva", "sort_key", True),
    ("emoji named", "\U0001f600", "ml_normalize", False),
    ("plain word", "ok", "ml_normalize", True),
]


@pytest.mark.parametrize("text, preset, want", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_is_canonical(text, preset, want):
    assert _core._is_canonical(text, preset=preset) is want


def test_default_preset_is_canonicalize():
    assert _core._is_canonical("ab  cd") is False
    assert _core._is_canonical("ab cd") is True


# Whatever the guard answers, the check says whether the preset (default
# options) returns the text unchanged; the aliases answer as their presets.
def test_is_canonical_agrees_with_the_presets():
    rng = random.Random(11)
    alphabet = "aZ1I |\t\"\u00a0\u00e9e\u0301\u0bc6\u0bbe\u0430\u0434\u200b\u202e\ufe0f\U0001f600\u3381\u4e2d"
    for _ in range(2000):
        text = "".join(rng.choice(alphabet) for _ in range(rng.randrange(10)))
        for preset in PRESETS:
            assert _core._is_canonical(text, preset=preset) == (getattr(_core, "_" + preset)(text) == text)
        for alias, preset in ALIASES.items():
            assert _core._is_canonical(text, preset=alias) == _core._is_canonical(text, preset=preset)


@pytest.mark.parametrize("preset", [p for p in PRESETS if p != "strip_format"])
def test_growth_limit_is_an_error_not_an_answer(preset):
    with pytest.raises(kelrad.ResourceLimitError):
        _core._is_canonical("\ufdfa" * 349_526, preset=preset)


def test_preset_none_is_refused():
    with pytest.raises(TypeError, match="'None' is not an instance of 'str'"):
        _core._is_canonical("x", preset=None)


# The guard tests ASCII for the Latin map's three ASCII keys only.
def test_latin_confusable_ascii_keys():
    folded = [chr(b) for b in range(128) if _core._normalize_confusables(chr(b)) != chr(b)]
    assert folded == ['"', "`", "|"]


# Marks of class 0 count as marks: strip_obfuscation, whose chain removes them
# all, leaves none on any single mark or letter that decomposes to one, but
# for a negation overlay on a symbol.
def test_strip_obfuscation_leaves_no_mark():
    overlays = {0x0338, 0x20D2}
    singles = sorted(MARKS | {cp for cp in CANONICAL if any(d in MARKS for d in canonical_decomposition(cp))})
    assert len(singles) > 3000
    failures = []
    for cp in singles:
        result = _core._normalize(_core._strip_obfuscation(chr(cp)), form="NFD")
        if any(ord(c) in MARKS and ord(c) not in overlays for c in result):
            failures.append(f"U+{cp:04X}")
    assert failures == []
