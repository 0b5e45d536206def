"""Normalization forms, checks and the stream-safe format, through the Python functions."""

import pathlib
import sys
import threading
import time

import pytest

from kelrad import _core

ROOT = pathlib.Path(__file__).resolve().parents[1]
UCD = ROOT / "data" / "unicode-17.0.0" / "ucd"
FORMS = ("NFC", "NFD", "NFKC", "NFKD")


def _conformance():
    """(line number, the five columns) of every test line of NormalizationTest.txt."""
    rows, part1 = [], set()
    with open(UCD / "NormalizationTest.txt", encoding="utf-8") as f:
        part = None
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if line.startswith("@"):
                part = line.split()[0]
                continue
            if not line:
                continue
            fields = line.split(";")[:5]
            cols = tuple("".join(chr(int(cp, 16)) for cp in field.split()) for field in fields)
            rows.append((number, cols))
            if part == "@Part1":
                part1.add(ord(cols[0]))
    return rows, part1


ROWS, PART1 = _conformance()


def _expected(cols, form, column):
    c1, c2, c3, c4, c5 = cols
    return {
        "NFC": (c2, c2, c2, c4, c4),
        "NFD": (c3, c3, c3, c5, c5),
        "NFKC": (c4,) * 5,
        "NFKD": (c5,) * 5,
    }[form][column]


def _show(text):
    return " ".join(f"{ord(ch):04X}" for ch in text)


@pytest.mark.parametrize("form", FORMS)
def test_conformance_file_every_line(form):
    failures = []
    for number, cols in ROWS:
        for column, source in enumerate(cols):
            want = _expected(cols, form, column)
            checks = {
                "plain": _core._normalize(source, form=form) == want,
                "wrapped": _core._normalize("ab" + source + "yz", form=form) == "ab" + want + "yz",
                "is_normalized": _core._is_normalized(source, form=form) == (source == want),
            }
            bad = [name for name, ok in checks.items() if not ok]
            if bad:
                failures.append(f"line {number} c{column + 1} [{_show(source)}]: {', '.join(bad)}")
    assert not failures, f"{len(failures)} failures:\n" + "\n".join(failures[:30])


@pytest.mark.parametrize("form", FORMS)
def test_code_points_not_listed_are_unchanged(form):
    others = [chr(cp) for cp in range(0x110000) if cp not in PART1 and not 0xD800 <= cp <= 0xDFFF]
    changed = []
    for start in range(0, len(others), 100000):
        chunk = others[start:start + 100000]
        changed += [f"{ord(a):04X}" for a, b in zip(chunk, _core._normalize_batch(chunk, form=form)) if a != b]
    assert not changed, changed[:20]


BAD_FORMS = [
    pytest.param("nfc", id="lower-case"),
    pytest.param("NFC ", id="trailing-space"),
    pytest.param("", id="empty"),
    pytest.param("NFKC\x00", id="nul"),
]


@pytest.mark.parametrize("form", BAD_FORMS)
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


# Every line of NormalizationTest.txt is checked above, plain and between
# ASCII; these are sequences it does not hold.
@pytest.mark.parametrize(
    "text, form, want",
    [
        pytest.param("\uac00\u11a8", "NFC", "\uac01", id="lv-syllable-takes-trailing-jamo"),
        pytest.param("a\u0328\u0301", "NFC", "\u0105\u0301", id="composes-first-mark"),
        pytest.param("a\u0301\u0328", "NFC", "\u0105\u0301", id="reordered-then-composed"),
        pytest.param("a\u0301\u0328", "NFD", "a\u0328\u0301", id="out-of-canonical-order"),
        pytest.param("\u0301abc", "NFC", "\u0301abc", id="leading-mark"),
        pytest.param("plain", "NFKD", "plain", id="ascii"),
        pytest.param("x" * 20 + "e\u0301" + "y" * 20, "NFC", "x" * 20 + "\u00e9" + "y" * 20, id="long-ascii-around"),
    ],
)
def test_beyond_the_conformance_file(text, form, want):
    assert _core._normalize(text, form=form) == want
    assert _core._is_normalized(text, form=form) is (text == want)


@pytest.mark.parametrize("form", FORMS)
def test_empty_text(form):
    assert _core._normalize("", form=form) == ""
    assert _core._is_normalized("", form=form) is True
    assert _core._is_normalized_stream_safe("", form=form) is True


def _marks(n, mark="\u0301", base="q"):
    return base + mark * n  # q takes no acute: the text is in every form


@pytest.mark.parametrize(
    "text, form, want",
    [
        pytest.param(_marks(30), "NFD", True, id="30-marks-NFD"),
        pytest.param(_marks(30), "NFC", True, id="30-marks-NFC"),
        pytest.param(_marks(30, base="a"), "NFC", False, id="30-marks-not-NFC"),
        pytest.param(_marks(31), "NFC", False, id="31-marks-NFC"),
        pytest.param(_marks(31), "NFD", False, id="31-marks-NFD"),
        pytest.param(_marks(31), "NFKC", False, id="31-marks-NFKC"),
        pytest.param(_marks(31), "NFKD", False, id="31-marks-NFKD"),
        pytest.param(_marks(15, "\u0308\u0301"), "NFD", True, id="30-mixed-marks"),
        pytest.param("q" + "\u0344" * 16, "NFD", False, id="32-non-starters-by-decomposition"),
        pytest.param("\u00a0", "NFC", True, id="nbsp-NFC"),
        # Each form is checked with its own quick check and normalization.
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


def test_batch_limit():
    assert len(_core._normalize_batch(["\u00e9"] * 100000, form="NFD")) == 100000
    too_many = ["x"] * 100001
    with pytest.raises(_core.ResourceLimitError) as info:
        _core._normalize_batch(too_many)
    assert str(info.value) == "batch too large (100001 items); maximum is 100000 items"
    with pytest.raises(_core.InvalidArgumentError):
        _core._normalize_batch(too_many, form="bad")  # the form is checked first
    with pytest.raises(TypeError):
        _core._normalize_batch(too_many + [1])  # every item is converted before the count


def test_batch_results():
    texts = ["e\u0301", "", "abc", "\ufb01", "\u1100\u1161", "\U0001d15e"]
    for form in FORMS:
        assert _core._normalize_batch(texts, form=form) == [_core._normalize(t, form=form) for t in texts]
    assert _core._normalize_batch(tuple(texts)) == _core._normalize_batch(texts)
    assert _core._normalize_batch([]) == []
    item = "unchanged \u00e9"
    assert _core._normalize_batch([item])[0] is not item


def test_batch_releases_the_interpreter_lock():
    """A counter thread runs during a batch, but not during one call of the same cost."""
    texts = ["Cr\u00e8me br\u00fbl\u00e9e \u00e0 la fran\u00e7aise. " * 200] * 1500
    joined = "".join(texts)
    count = 0
    stop = False

    def counter():
        nonlocal count
        while not stop:
            count += 1

    old = sys.getswitchinterval()
    sys.setswitchinterval(0.0002)
    thread = threading.Thread(target=counter)
    thread.start()
    try:
        time.sleep(0.01)
        before = count
        _core._normalize(joined, form="NFD")  # holds the lock throughout
        held = count - before
        before = count
        _core._normalize_batch(texts, form="NFD")
        released = count - before
    finally:
        stop = True
        thread.join()
        sys.setswitchinterval(old)
    assert released > 10 * max(held, 100), (held, released)


@pytest.mark.parametrize("form", FORMS)
def test_a_million_marks_in_linear_time(form):
    # Alternating classes 230 and 220: every run needs sorting.
    text = "a" + "\u0301\u0316" * 500000
    start = time.perf_counter()
    out = _core._normalize(text, form=form)
    _core._is_normalized(text, form=form)
    _core._stream_safe(text)
    took = time.perf_counter() - start
    assert out.count("\u0316") == 500000
    assert took < 3.0  # a quadratic sort would take hours
