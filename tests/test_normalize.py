"""Normalization forms, checks and the stream-safe format, through the Python functions."""

import pathlib
import time

import pytest

from kelrad import _core

UCD = pathlib.Path(__file__).resolve().parents[1] / "data" / "unicode-17.0.0" / "ucd"
FORMS = ("NFC", "NFD", "NFKC", "NFKD")


def _conformance():
    """(line number, the five columns) of every test line of NormalizationTest.txt."""
    rows = []
    with open(UCD / "NormalizationTest.txt", encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if line and not line.startswith("@"):
                rows.append((number, tuple("".join(chr(int(cp, 16)) for cp in field.split())
                                           for field in line.split(";")[:5])))
    return rows


ROWS = _conformance()
# The column each column normalizes to, per form (the file's invariants).
EXPECTED = {"NFC": (1, 1, 1, 3, 3), "NFD": (2, 2, 2, 4, 4), "NFKC": (3,) * 5, "NFKD": (4,) * 5}


@pytest.mark.parametrize("form", FORMS)
def test_conformance_file_every_line(form):
    failures = []
    for number, cols in ROWS:
        for column, source in enumerate(cols):
            want = cols[EXPECTED[form][column]]
            checks = {
                "plain": _core._normalize(source, form=form) == want,
                "wrapped": _core._normalize("ab" + source + "yz", form=form) == "ab" + want + "yz",
                "is_normalized": _core._is_normalized(source, form=form) == (source == want),
            }
            if bad := [name for name, ok in checks.items() if not ok]:
                shown = " ".join(f"{ord(ch):04X}" for ch in source)
                failures.append(f"line {number} c{column + 1} [{shown}]: {', '.join(bad)}")
    assert not failures, f"{len(failures)} failures:\n" + "\n".join(failures[:30])


@pytest.mark.parametrize("form", ["nfc", "NFC ", "", "NFKC\x00"], ids=["lower-case", "trailing-space", "empty", "nul"])
@pytest.mark.parametrize(
    "call",
    [
        pytest.param(lambda f: _core._normalize("x", form=f), id="_normalize"),
        pytest.param(lambda f: _core._is_normalized("x", form=f), id="_is_normalized"),
        pytest.param(lambda f: _core._is_normalized_stream_safe("x", form=f), id="_is_normalized_stream_safe"),
        pytest.param(lambda f: _core._normalize_batch(["x"], form=f), id="_normalize_batch"),
        pytest.param(lambda f: _core._normalize_batch([], form=f), id="_normalize_batch-empty"),
    ],
)
def test_unknown_form_refused(call, form):
    with pytest.raises(_core.InvalidArgumentError) as info:
        call(form)
    assert str(info.value) == f"form must be 'NFC', 'NFD', 'NFKC', or 'NFKD', got '{form}'"


def _marks(n, mark="\u0301", base="q"):
    return base + mark * n  # q takes no acute: the text is in every form


@pytest.mark.parametrize(
    "text, form, want",
    [
        pytest.param(_marks(30), "NFD", True, id="30-marks-NFD"),
        pytest.param(_marks(30), "NFC", True, id="30-marks-NFC"),
        pytest.param(_marks(30, base="a"), "NFC", False, id="30-marks-not-NFC"),
        pytest.param(_marks(31), "NFC", False, id="31-marks-NFC"),
        pytest.param(_marks(31), "NFKD", False, id="31-marks-NFKD"),
        pytest.param(_marks(15, "\u0308\u0301"), "NFD", True, id="30-mixed-marks"),
        pytest.param("q" + "\u0344" * 16, "NFD", False, id="32-non-starters-by-decomposition"),
        pytest.param("", "NFKC", True, id="empty"),
        # Each form is checked with its own quick check and normalization.
        pytest.param("\u00a0", "NFC", True, id="nbsp-NFC"),
        pytest.param("\u00a0", "NFKC", False, id="nbsp-NFKC"),
        pytest.param("\u00a0", "NFKD", False, id="nbsp-NFKD"),
        pytest.param("\u00e9", "NFD", False, id="precomposed-NFD"),
        pytest.param("\ufb01", "NFKC", False, id="ligature-NFKC"),
        pytest.param("\ufb01", "NFC", True, id="ligature-NFC"),
    ],
)
def test_is_normalized_stream_safe(text, form, want):
    assert _core._is_normalized_stream_safe(text, form=form) is want


@pytest.mark.parametrize(
    "text, want",
    [
        pytest.param(_marks(30), _marks(30), id="30"),
        pytest.param(_marks(31), _marks(30) + "\u034f\u0301", id="31"),
        pytest.param(_marks(61), _marks(30) + "\u034f" + "\u0301" * 30 + "\u034f\u0301", id="61"),
        pytest.param(_marks(29) + "\u0344", _marks(29) + "\u034f\u0344", id="counted-over-decompositions"),
        pytest.param(_marks(30) + "b" + "\u0301" * 30, _marks(30) + "b" + "\u0301" * 30, id="starter-resets"),
        pytest.param("\u0301" * 31, "\u0301" * 30 + "\u034f\u0301", id="no-base"),
        pytest.param("plain", "plain", id="ascii"),
    ],
)
def test_stream_safe(text, want):
    got = _core._stream_safe(text)
    assert got == want
    assert _core._is_normalized_stream_safe(got, form="NFD") is _core._is_normalized(got, form="NFD")


@pytest.mark.parametrize("form", FORMS)
def test_a_million_marks_in_linear_time(form):
    # Alternating classes 230 and 220: every run needs sorting.
    text = "a" + "\u0301\u0316" * 500000
    start = time.process_time()  # processor time: a busy machine does not make the calls slow
    out = _core._normalize(text, form=form)
    assert _core._is_normalized(text, form=form) is False
    stream_safe = _core._stream_safe(text)
    took = time.process_time() - start
    assert out.count("\u0316") == 500000 and len(out) == len(text) - (form in ("NFC", "NFKC"))  # a + U+0301
    assert len(stream_safe) == len(text) + 999_999 // 30  # a U+034F before every 31st mark
    assert took < 3.0  # a quadratic sort would take hours
