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
    """The five columns of every test line of NormalizationTest.txt."""
    rows = []
    with open(UCD / "NormalizationTest.txt", encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line and not line.startswith("@"):
                fields = line.split(";")[:5]
                rows.append(tuple("".join(chr(int(cp, 16)) for cp in field.split()) for field in fields))
    return rows


ROWS = _conformance()


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
def test_conformance_file_through_batch(form):
    # Natively every line is checked through each entry point; here each
    # column goes through the Python batch function, item by item.
    sources = [source for cols in ROWS for source in cols]
    wants = [_expected(cols, form, column) for cols in ROWS for column in range(5)]
    got = []
    for start in range(0, len(sources), 100000):
        got += _core._normalize_batch(sources[start:start + 100000], form=form)
    bad = [(_show(s), _show(g)) for s, g, w in zip(sources, got, wants) if g != w]
    assert not bad, bad[:20]


BAD_FORMS = [
    pytest.param("nfc", id="lower-case"),
    pytest.param("NFC ", id="trailing-space"),
    pytest.param("", id="empty"),
    pytest.param("NFKC\x00", id="nul"),
    pytest.param("Nfd", id="mixed-case"),
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


@pytest.mark.parametrize(
    "call",
    [
        pytest.param(lambda: _core._normalize("x", form=None), id="form-None"),
        pytest.param(lambda: _core._normalize("x", "NFD"), id="form-positional"),
        pytest.param(lambda: _core._normalize(b"x"), id="bytes-text"),
        pytest.param(lambda: _core._is_normalized("x", form=1), id="form-int"),
        pytest.param(lambda: _core._stream_safe(None), id="stream-safe-None"),
    ],
)
def test_argument_type_errors(call):
    with pytest.raises(TypeError):
        call()


# The conformance file holds every character in isolation and in its test
# sequences; these rows put the work inside longer text.
@pytest.mark.parametrize(
    "text, form, want",
    [
        ("abc e\u0301 xyz", "NFC", "abc \u00e9 xyz"),
        ("\u1100\u1161", "NFC", "\uac00"),
        ("x" * 20 + "\u00e9" + "y" * 20, "NFD", "x" * 20 + "e\u0301" + "y" * 20),
        ("\u00a0 \ufb01", "NFKC", "  fi"),
    ],
)
def test_normalize_cases(text, form, want):
    assert _core._normalize(text, form=form) == want


@pytest.mark.parametrize("form", FORMS)
def test_empty_text(form):
    assert _core._normalize("", form=form) == ""
    assert _core._is_normalized("", form=form) is True
    assert _core._is_normalized_stream_safe("", form=form) is True
    assert _core._stream_safe("") == ""


@pytest.mark.parametrize(
    "text, form, want",
    [
        ("\u00e9", "NFD", False),
        ("e\u0301", "NFC", False),
        ("e\u0301", "NFD", True),
        ("\u1161", "NFC", True),  # a lone vowel jamo: Maybe, settled by comparison
        ("a\u0301\u0328", "NFD", False),  # out of canonical order
    ],
)
def test_is_normalized(text, form, want):
    assert _core._is_normalized(text, form=form) is want


def _marks(n, mark="\u0301", base="q"):
    return base + mark * n  # q takes no acute: the text is in every form


@pytest.mark.parametrize(
    "text, form, want",
    [
        pytest.param(_marks(30), "NFD", True, id="30-marks-NFD"),
        pytest.param(_marks(30), "NFC", True, id="30-marks-NFC"),
        pytest.param(_marks(30, base="a"), "NFC", False, id="30-marks-not-NFC"),
        *(pytest.param(_marks(31), form, False, id=f"31-marks-{form}") for form in FORMS),
        pytest.param(_marks(15, "\u0308\u0301"), "NFD", True, id="30-mixed-marks"),
        pytest.param("q" + "\u0344" * 16, "NFD", False, id="32-non-starters-by-decomposition"),
        pytest.param("\u00e9", "NFD", False, id="precomposed-NFD"),
        pytest.param("\u00a0", "NFC", True, id="nbsp-NFC"),
        # Each form is checked with its own quick check and normalization.
        pytest.param("\u00a0", "NFKC", False, id="nbsp-NFKC"),
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


class _Str(str):
    pass


def _decomposed(text):
    return text.replace("\u00e9", "e\u0301").replace("\u00e0", "a\u0300")


@pytest.mark.parametrize(
    "call, expected",
    [
        pytest.param(lambda s: _core._normalize(s), str, id="_normalize"),
        pytest.param(lambda s: _core._normalize(s, form="NFKD"), _decomposed, id="_normalize-changed"),
        pytest.param(lambda s: _core._stream_safe(s), str, id="_stream_safe"),
        pytest.param(lambda s: _core._normalize_batch([s])[0], str, id="_normalize_batch"),
    ],
)
@pytest.mark.parametrize(
    "text",
    [
        pytest.param("d\u00e9j\u00e0 vu", id="short"),
        pytest.param("d\u00e9j\u00e0 vu, \u4e2d\u6587 " * 40, id="long"),  # copied by halves
        pytest.param("plain ascii " * 40, id="ascii"),
    ],
)
def test_results_are_new_objects(call, expected, text):
    for source in (text, _Str(text)):
        result = call(source)
        assert result is not source
        assert type(result) is str
        assert result == expected(text)


def test_batch_argument_errors():
    with pytest.raises(TypeError) as info:
        _core._normalize_batch("abc")
    assert str(info.value) == "Can't extract `str` to `Vec`"
    assert info.value.__notes__ == ["while processing 'texts'"]
    with pytest.raises(TypeError) as info:
        _core._normalize_batch({"a": 1})
    assert str(info.value) == "'dict' object is not an instance of 'Sequence'"
    assert info.value.__notes__ == ["while processing 'texts'"]
    with pytest.raises(TypeError) as info:
        _core._normalize_batch(["a", 1])
    assert info.value.__notes__ == ["while processing 'texts'"]
    with pytest.raises(UnicodeEncodeError):
        _core._normalize_batch(["\ud800"])


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
