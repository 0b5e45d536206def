"""The calling convention: binding messages, conversions, errors, warnings."""

import re
import sys
import warnings

import pytest

from kelrad import _core


BINDING_ERRORS = [
    # (callable name, args, kwargs, TypeError message)
    ("three", (), {}, "three() missing 3 required positional arguments: 'a', 'b', and 'c'"),
    ("three", (1,), {}, "three() missing 2 required positional arguments: 'b' and 'c'"),
    ("three", (1, 2), {}, "three() missing 1 required positional argument: 'c'"),
    ("three", (1, 2, 3, 4), {}, "three() takes 3 positional arguments but 4 were given"),
    ("three", (1,), {"a": 2}, "three() got multiple values for argument 'a'"),
    ("three", (1, 2, 3), {"d": 4, "a": 1}, "three() got an unexpected keyword argument 'd'"),
    ("three", (1, 2), {"a": 1, "d": 4}, "three() got multiple values for argument 'a'"),
    ("keyword_three", (), {}, "keyword_three() missing 3 required keyword arguments: 'x', 'y', and 'z'"),
    ("keyword_three", (1,), {}, "keyword_three() takes 0 positional arguments but 1 was given"),
    ("optional", tuple(range(8)), {}, "_transliterate() takes from 1 to 7 positional arguments but 8 were given"),
    ("optional", (), {"lang": "de"}, "_transliterate() missing 1 required positional argument: 'text'"),
    ("constructor_form", (), {}, "Lexicon.__new__() missing 1 required positional argument: 'words'"),
    ("constructor_form", ([], 1), {}, "Lexicon.__new__() takes 1 positional arguments but 2 were given"),
    ("constructor_form", ([],), {"limt": 1}, "Lexicon.__new__() got an unexpected keyword argument 'limt'"),
]


@pytest.mark.parametrize("name, args, kwargs, message", BINDING_ERRORS,
                         ids=[f"{r[0]}-{i}" for i, r in enumerate(BINDING_ERRORS)])
def test_binding_messages(bindtest, name, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        getattr(bindtest, name)(*args, **kwargs)
    assert str(info.value) == message


NOT_STR = "'int' object is not an instance of 'str'"
SURROGATE = "'utf-8' codec can't encode character '\\ud800' in position 1: surrogates not allowed"
T, TB = _core._transliterate, _core._transliterate_batch
REAL_FUNCTION_ERRORS = [
    # (call, exception, message or None, note or None)
    pytest.param(lambda: _core._edit_distance("a"), TypeError,
                 "_edit_distance() missing 1 required positional argument: 'b'", None, id="missing"),
    pytest.param(lambda: _core._fold_punctuation("x", form="NFC"), TypeError,
                 "_fold_punctuation() got an unexpected keyword argument 'form'", None, id="unexpected"),
    pytest.param(lambda: _core._normalize("x", "NFD"), TypeError,
                 "_normalize() takes 1 positional arguments but 2 were given", None, id="keyword-only-positionally"),
    pytest.param(lambda: _core._find_untranslatable("x", "de"), TypeError,
                 "_find_untranslatable() takes 1 positional arguments but 2 were given", None,
                 id="find_untranslatable-keyword-only"),
    pytest.param(lambda: _core._reverse_transliterate("abc", "ru"), TypeError,
                 "_reverse_transliterate() takes 1 positional arguments but 2 were given", None,
                 id="reverse-keyword-only"),
    pytest.param(lambda: _core._strip_log_injection("x"), TypeError,
                 "_strip_log_injection() missing 2 required keyword arguments: 'replacement' and 'keep_tab'", None,
                 id="missing-keyword-only"),
    pytest.param(lambda: _core._reverse_transliterate("abc"), TypeError,
                 "_reverse_transliterate() missing 1 required keyword argument: 'lang'", None,
                 id="missing-one-keyword-only"),
    pytest.param(lambda: _core._normalize("x", form=None), TypeError, "'None' is not an instance of 'str'", "form",
                 id="none-for-str"),
    pytest.param(lambda: _core._strip_log_injection("x", replacement="", keep_tab=1), TypeError,
                 "'int' object is not an instance of 'bool'", "keep_tab", id="int-for-bool"),
    pytest.param(lambda: _core._is_zalgo("x", threshold=-1), OverflowError, None, "threshold", id="negative-count"),
    pytest.param(lambda: _core._strip_zalgo("x", max_marks=2**64), OverflowError, None, "max_marks",
                 id="count-too-large"),
    pytest.param(lambda: T(1), TypeError, NOT_STR, "text", id="transliterate-text"),
    pytest.param(lambda: T(b"abc"), TypeError, "'bytes' object is not an instance of 'str'", "text",
                 id="transliterate-bytes"),
    pytest.param(lambda: T("abc", errors=None), TypeError, "'None' is not an instance of 'str'", "errors",
                 id="transliterate-errors"),
    pytest.param(lambda: T("abc", replace_with=None), TypeError, "'None' is not an instance of 'str'",
                 "replace_with", id="transliterate-replace_with"),
    pytest.param(lambda: T("abc", lang=3), TypeError, NOT_STR, "lang", id="transliterate-lang"),
    pytest.param(lambda: T("abc", tones=1), TypeError, "'int' object is not an instance of 'bool'", "tones",
                 id="transliterate-tones"),
    pytest.param(lambda: _core._reverse_transliterate(b"abc", lang="ru"), TypeError,
                 "'bytes' object is not an instance of 'str'", "text", id="reverse-text"),
    pytest.param(lambda: _core._register_lang("x", ["a"]), TypeError, "'list' object is not an instance of 'dict'",
                 "mappings", id="register_lang-mappings"),
    pytest.param(lambda: _core._register_lang("x", {"a": 1}), TypeError, NOT_STR, "mappings",
                 id="register_lang-value"),
    pytest.param(lambda: _core._register_lang(1, {}), TypeError, NOT_STR, "code", id="register_lang-code"),
    pytest.param(lambda: _core._normalize_batch("abc"), TypeError, "Can't extract `str` to `Vec`", "texts",
                 id="str-for-list"),
    pytest.param(lambda: _core._normalize_batch({"a": 1}), TypeError,
                 "'dict' object is not an instance of 'Sequence'", "texts", id="dict-for-list"),
    pytest.param(lambda: _core._strip_accents_batch("abc"), TypeError, "Can't extract `str` to `Vec`", "texts",
                 id="strip_accents_batch-str"),
    pytest.param(lambda: _core._strip_accents_batch(5), TypeError, "'int' object is not an instance of 'Sequence'",
                 "texts", id="strip_accents_batch-int"),
    pytest.param(lambda: _core._strip_accents_batch(["a", 1]), TypeError, NOT_STR, "texts",
                 id="strip_accents_batch-item"),
    pytest.param(lambda: _core._strip_accents_batch(["a\ud800"]), UnicodeEncodeError, SURROGATE, "texts",
                 id="strip_accents_batch-surrogate"),
    # The list-snapshot batch takes lists only and converts its items later, with no note.
    pytest.param(lambda: TB(("a",)), TypeError, "'tuple' object is not an instance of 'list'", "texts",
                 id="transliterate_batch-tuple"),
    pytest.param(lambda: TB("abc"), TypeError, "'str' object is not an instance of 'list'", "texts",
                 id="transliterate_batch-str"),
    pytest.param(lambda: TB(None), TypeError, "'None' is not an instance of 'list'", "texts",
                 id="transliterate_batch-none"),
    pytest.param(lambda: TB(["ok", "a\ud800"]), UnicodeEncodeError, SURROGATE, None,
                 id="transliterate_batch-surrogate"),
]


@pytest.mark.parametrize("call, exc, message, note", REAL_FUNCTION_ERRORS)
def test_real_functions_bind_and_convert_the_same_way(call, exc, message, note):
    with pytest.raises(exc) as info:
        call()
    if message is not None:
        assert str(info.value) == message
    assert getattr(info.value, "__notes__", None) == (None if note is None else [f"while processing '{note}'"])


def test_arguments_by_keyword():
    assert _core._edit_distance(b="abc", a="") == 3
    assert _core._normalize(form="NFD", text="\u00e9") == "e\u0301"


class StrSub(str):
    pass


CONVERSION_ERRORS = [
    # (kwargs beyond text, exception, message, parameter); the real functions above convert the rest
    ({"flag": None}, TypeError, "'None' is not an instance of 'bool'", "flag"),
    ({"count": 1.5}, TypeError, None, "count"),
    ({"signed": 2**64}, OverflowError, None, "signed"),
    ({"ratio": "x"}, TypeError, None, "ratio"),
    ({"data": bytearray(b"a")}, TypeError, "'bytearray' object is not an instance of 'bytes'", "data"),
    ({"mapping": {2: "b"}}, TypeError, "'int' object is not an instance of 'str'", "mapping"),
    ({"handle": ["x"]}, TypeError, "'list' object is not an instance of 'Lexicon'", "handle"),
    ({"handle": None}, TypeError, "'None' is not an instance of 'Lexicon'", "handle"),
]


@pytest.mark.parametrize("kwargs, exc, message, param", CONVERSION_ERRORS,
                         ids=[f"{r[3]}-{i}" for i, r in enumerate(CONVERSION_ERRORS)])
def test_conversion_errors_carry_a_note(bindtest, kwargs, exc, message, param):
    with pytest.raises(exc) as info:
        bindtest.convert("t", **kwargs)
    if message is not None:
        assert str(info.value) == message
    assert info.value.__notes__ == [f"while processing '{param}'"]


@pytest.mark.parametrize("text", ["a\ud800b", "\udc00\ud800"], ids=["lone", "reversed-pair"])
def test_surrogates_in_the_text_argument(bindtest, text):
    with pytest.raises(UnicodeEncodeError) as info:
        bindtest.convert(text)
    assert info.value.__notes__ == ["while processing 'text'"]


class LyingLength:
    """A sequence whose __len__ claims far more items than it yields."""

    def __len__(self):
        return sys.maxsize

    def __getitem__(self, i):
        if i < 2:
            return "a"
        raise IndexError


def test_a_sequence_length_only_sizes_the_list(bindtest):
    assert bindtest.convert("t", texts=LyingLength())[6] == ["a", "a"]
    with pytest.raises(TypeError, match="'int' object is not an instance of 'str'"):
        bindtest.convert("t", texts=range(10**12))


def test_conversions_succeed(bindtest):
    assert bindtest.convert("t") == ("t", False, 3, -1, 0.5, b"-", [], None, "NFC")
    got = bindtest.convert(StrSub("é"), flag=True, count=2**64 - 1, signed=-(2**63), ratio=1,
                           data=b"\x00\xff", texts=("a", StrSub("b"), "ж"), lang=None, form="NFD")
    assert got == ("é", True, 2**64 - 1, -(2**63), 1.0, b"\x00\xff", ["a", "b", "ж"], None, "NFD")
    assert bindtest.convert("t", texts=["x"], lang="de")[6:8] == (["x"], "de")
    assert bindtest.constructor_form(("a", "b"), limit=4) == (["a", "b"], 4)
    assert bindtest.convert("t", mapping={"a": "b", "ä": ""}) == ["a=b", "ä="]


# Every text-returning function so far, with the options it needs, and whether
# it hands back its argument object when there is nothing to change. All the
# others build a new str, also from an unchanged text.
TEXT_RESULTS = [
    ("_normalize", {}, False),
    ("_stream_safe", {}, False),
    ("_fold_case", {}, False),
    ("_fold_punctuation", {}, False),
    ("_collapse_whitespace", {}, False),
    ("_strip_control_chars", {}, False),
    ("_strip_zero_width_chars", {}, False),
    ("_strip_bidi", {}, False),
    ("_strip_tags", {}, False),
    ("_strip_pua", {}, False),
    ("_strip_noncharacters", {}, False),
    ("_strip_variation_selectors", {}, False),
    ("_strip_zalgo", {}, False),
    ("_percent_encode", {"component": "path"}, False),
    ("_escape_html", {}, True),
    ("_strip_log_injection", {"replacement": "?", "keep_tab": False}, True),
]
CLEAN = "d\u00e9j\u00e0 vu \u4e2d\u6587"
# ASCII, non-ASCII, long enough for _normalize's copy of an unchanged text
# by halves, and a str subclass.
UNCHANGED = ["plain", CLEAN, " ".join([CLEAN] * 40), StrSub(CLEAN)]


@pytest.mark.parametrize("name, kwargs, hands_back", TEXT_RESULTS, ids=[r[0] for r in TEXT_RESULTS])
def test_text_results(name, kwargs, hands_back):
    function = getattr(_core, name)
    assert function("", **kwargs) == ""
    for text in UNCHANGED:
        result = function(text, **kwargs)
        if hands_back:
            assert result is text
        else:
            assert type(result) is str and result is not text
            assert result == text or name == "_percent_encode"  # which encodes non-ASCII


def test_internal_failures_become_exceptions(bindtest):
    with pytest.raises(BaseException) as info:
        bindtest.internal_failure()
    exc_type = type(info.value)
    assert exc_type.__name__ == "PanicException" and exc_type.__bases__ == (BaseException,)
    assert not isinstance(info.value, Exception)
    assert str(info.value) == "an invariant failed"
    with pytest.raises(exc_type, match="^cannot open /tmp/\ufffd$"):
        bindtest.foreign_exception()
    with pytest.raises(MemoryError):
        bindtest.allocation_failure()


@pytest.mark.parametrize(
    "which, cls_name, message, cause",
    [
        ("corrupt", "KelradError", "context dictionary for arabic is corrupt", "bad magic"),
        ("regex", "InvalidArgumentError", 'invalid regex_pattern "(": missing ): (', "missing ): ("),
        ("batch", "ResourceLimitError", "batch too large (100001 items)", None),
        ("sealed", "UnsupportedError", "register_lang: registration tables are sealed", None),
        ("untranslatable", "KelradError", "no transliteration for '\u3001' (U+3001) at byte offset 0", None),
        ("Replace", "InvalidArgumentError", "errors must be 'replace', 'ignore', or 'preserve', got 'Replace'", None),
    ],
)
def test_core_errors_raise_their_class_with_cause(bindtest, which, cls_name, message, cause):
    with pytest.raises(ValueError) as info:
        bindtest.core_error(which)
    exc = info.value
    assert type(exc).__name__ == cls_name and type(exc).__module__ == "kelrad"
    assert str(exc).startswith(message) and exc.args == (str(exc),)
    if cause is None:
        assert exc.__cause__ is None
    else:
        assert type(exc.__cause__) is ValueError and str(exc.__cause__) == cause


def test_poisoned_lock_warns_once_per_acquisition_and_keeps_working(bindtest, capfd):
    expected = ("kelrad: lock for TEST_REGISTRY poisoned (a thread panicked while holding the lock). "
                "Recovering from poisoned state \u2014 data may be inconsistent. This is a bug; please report it.")
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        assert bindtest.poisoned_read(2) == 84
    assert [str(w.message) for w in caught] == [expected, expected]
    assert all(w.category is UserWarning for w in caught)
    # A call that fails still issues its warnings, and its exception survives them.
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        with pytest.raises(ValueError, match=r"^batch too large \(42 items\)"):
            bindtest.poisoned_read(1, fail=True)
    assert [str(w.message) for w in caught] == [expected]
    # Warnings turned into errors: the call still completes; the text goes to stderr.
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert bindtest.poisoned_read(1) == 42
    assert capfd.readouterr().err == expected + "\n"
