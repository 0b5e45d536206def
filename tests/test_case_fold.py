"""Full case folding and the fold-stability test."""

import pathlib
import unicodedata

import pytest

from kelrad import _core

DATA = pathlib.Path(__file__).resolve().parents[1] / "data"


def case_folding_16():
    """{code point: folded text} of every C and F line of CaseFolding 16.0.0."""
    rows = {}
    with open(DATA / "unicode-16.0.0" / "ucd" / "CaseFolding.txt", encoding="utf-8") as f:
        for line in f:
            fields = [x.strip() for x in line.split("#", 1)[0].split(";")]
            if len(fields) >= 3 and fields[1] in ("C", "F"):
                rows[int(fields[0], 16)] = "".join(chr(int(x, 16)) for x in fields[2].split())
    return rows


# Single characters are covered by the CaseFolding sweep below, and runs of
# text by the native fast-path fuzz; these rows are the folds of whole words.
@pytest.mark.parametrize(
    "text, expected",
    [
        pytest.param("Straße", "strasse", id="sharp-s"),
        pytest.param("ΟΔΟΣ", "οδοσ", id="final-capital-sigma-folds-to-medial"),
        pytest.param("Hi \u00c0B\u65e5\u672c\u00c7 \u0130 \u212a\u017f", "hi \u00e0b\u65e5\u672c\u00e7 i\u0307 ks",
                     id="mixed"),
    ],
)
def test_fold_case(text, expected):
    assert _core._fold_case(text) == expected


def test_every_code_point_folds_as_case_folding_16_lists_it():
    listed = case_folding_16()
    assert len(listed) == 1557
    failures = [f"U+{cp:04X}: {_core._fold_case(chr(cp))!r} != {listed.get(cp, chr(cp))!r}"
                for cp in range(0x110000)
                if not 0xD800 <= cp <= 0xDFFF and _core._fold_case(chr(cp)) != listed.get(cp, chr(cp))]
    assert failures == []


# Single characters are also swept against Python's own tables below; the
# sigma rows need their context.
@pytest.mark.parametrize(
    "text, stable",
    [
        pytest.param("", True, id="empty"),
        pytest.param("ABC", True, id="ascii"),
        pytest.param("Straße", False, id="sharp-s"),
        pytest.param("\u017f", False, id="long-s"),
        pytest.param("\u01c5", True, id="titlecase-digraph"),
        pytest.param("ΟΔΟΣ", False, id="word-final-sigma"),
        pytest.param("\u03c2", False, id="small-final-sigma"),
        pytest.param("Σ", True, id="lone-capital-sigma"),
        pytest.param("ΣΑ", True, id="word-initial-sigma"),
    ],
)
def test_is_case_fold_stable(text, stable):
    assert _core._is_case_fold_stable(text) is stable


def test_fold_stability_agrees_with_python_per_character():
    # Python's own tables (str.casefold, str.lower) are an independent
    # implementation; compared over the repertoire both versions share, with
    # no context for the sigma rule.
    version = tuple(int(x) for x in unicodedata.unidata_version.split("."))
    if version > (16, 0, 0):
        pytest.skip("compares against Unicode 16.0.0 or earlier")
    disagree = []
    for cp in range(0x80, 0x110000):
        c = chr(cp)
        if unicodedata.category(c) in ("Cn", "Cs"):
            continue
        if _core._is_case_fold_stable(c) != (c.casefold() == c.lower()):
            disagree.append(f"U+{cp:04X}")
    assert disagree == []
