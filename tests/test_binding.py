"""The calling convention: binding messages, conversions, errors, warnings."""

import subprocess
import sys
import warnings

import pytest

from conftest import raised
from kelrad import _core


BINDING_ERRORS = [
    # (callable: a function or class of _core if it starts with "_", a method of a new object for "Class.method",
    # else a function of the test module; args, kwargs, message)
    ("three", (), {}, "three() missing 3 required positional arguments: 'a', 'b', and 'c'"),
    ("three", (1,), {}, "three() missing 2 required positional arguments: 'b' and 'c'"),
    ("three", (1, 2), {}, "three() missing 1 required positional argument: 'c'"),
    ("three", (1, 2, 3, 4), {}, "three() takes 3 positional arguments but 4 were given"),
    ("three", (1,), {"a": 2}, "three() got multiple values for argument 'a'"),
    ("three", (1, 2, 3), {"d": 4, "a": 1}, "three() got an unexpected keyword argument 'd'"),
    ("three", (1, 2), {"a": 1, "d": 4}, "three() got multiple values for argument 'a'"),
    ("keyword_three", (), {}, "keyword_three() missing 3 required keyword arguments: 'x', 'y', and 'z'"),
    ("keyword_three", (1,), {}, "keyword_three() takes 0 positional arguments but 1 was given"),
    ("constructor_form", (), {}, "Lexicon.__new__() missing 1 required positional argument: 'words'"),
    ("constructor_form", ([], 1), {}, "Lexicon.__new__() takes 1 positional arguments but 2 were given"),
    ("constructor_form", ([],), {"limt": 1}, "Lexicon.__new__() got an unexpected keyword argument 'limt'"),
    ("_transliterate", tuple(range(8)), {}, "_transliterate() takes from 1 to 7 positional arguments but 8 were given"),
    ("_transliterate", (), {"lang": "de"}, "_transliterate() missing 1 required positional argument: 'text'"),
    ("_edit_distance", ("a",), {}, "_edit_distance() missing 1 required positional argument: 'b'"),
    ("_fold_punctuation", ("x",), {"form": "NFC"}, "_fold_punctuation() got an unexpected keyword argument 'form'"),
    ("_reverse_transliterate", ("a", "ru"), {},
     "_reverse_transliterate() takes 1 positional arguments but 2 were given"),
    ("_UniqueSlugifier.slugify", (), {}, "_UniqueSlugifier.slugify() missing 1 required positional argument: 'text'"),
    ("_Slugifier", ("-",), {}, "_Slugifier.__new__() takes 0 positional arguments but 1 was given"),
    ("_strip_log_injection", ("x",), {},
     "_strip_log_injection() missing 2 required keyword arguments: 'replacement' and 'keep_tab'"),
    ("_reverse_transliterate", ("a",), {}, "_reverse_transliterate() missing 1 required keyword argument: 'lang'"),
]


@pytest.mark.parametrize("name, args, kwargs, message", BINDING_ERRORS,
                         ids=[f"{r[0]}-{i}" for i, r in enumerate(BINDING_ERRORS)])
def test_binding_messages(bindtest, name, args, kwargs, message):
    cls, _, method = name.partition(".")
    function = getattr(_core if name.startswith("_") else bindtest, cls)
    if method:
        function = getattr(function(), method)
    raised(TypeError, lambda: function(*args, **kwargs), message)


def test_arguments_by_keyword():
    assert _core._edit_distance(b="abc", a="") == 3
    assert _core._normalize(form="NFD", text="\u00e9") == "e\u0301"


NOT_STR, NOT_BOOL, NONE_STR = ("'int' object is not an instance of 'str'", "'int' object is not an instance of 'bool'",
                               "'None' is not an instance of 'str'")
VEC = "Can't extract `str` to `Vec`"
SURROGATE = "'utf-8' codec can't encode character '\\ud800' in position 1: surrogates not allowed"
# Every converter through the test module's `convert`, and the real functions' parameters with conversions of
# their own: the exception, its message (None: not checked) and the parameter its note names (None: no note).
CONVERSION_ERRORS = [
    ("convert", ("t",), {"flag": None}, TypeError, "'None' is not an instance of 'bool'", "flag"),
    ("convert", ("t",), {"count": 1.5}, TypeError, None, "count"),
    ("convert", ("t",), {"signed": 2**64}, OverflowError, None, "signed"),
    ("convert", ("t",), {"ratio": "x"}, TypeError, None, "ratio"),
    ("convert", ("t",), {"data": bytearray(b"a")}, TypeError, "'bytearray' object is not an instance of 'bytes'",
     "data"),
    ("convert", ("t",), {"mapping": {2: "b"}}, TypeError, NOT_STR, "mapping"),
    ("convert", ("t",), {"handle": ["x"]}, TypeError, "'list' object is not an instance of 'Lexicon'", "handle"),
    ("convert", ("t",), {"handle": None}, TypeError, "'None' is not an instance of 'Lexicon'", "handle"),
    ("convert", ("a\ud800b",), {}, UnicodeEncodeError, None, "text"),
    ("convert", ("\udc00\ud800",), {}, UnicodeEncodeError, None, "text"),
    ("_normalize", ("x",), {"form": None}, TypeError, NONE_STR, "form"),
    ("_strip_log_injection", ("x",), {"replacement": "", "keep_tab": 1}, TypeError, NOT_BOOL, "keep_tab"),
    ("_is_zalgo", ("x",), {"threshold": -1}, OverflowError, None, "threshold"),
    ("_strip_zalgo", ("x",), {"max_marks": 2**64}, OverflowError, None, "max_marks"),
    ("_transliterate", (1,), {}, TypeError, NOT_STR, "text"),
    ("_transliterate", (b"abc",), {}, TypeError, "'bytes' object is not an instance of 'str'", "text"),
    ("_transliterate", ("abc",), {"errors": None}, TypeError, NONE_STR, "errors"),
    ("_transliterate", ("abc",), {"lang": 3}, TypeError, NOT_STR, "lang"),
    ("_transliterate", ("abc",), {"tones": 1}, TypeError, NOT_BOOL, "tones"),
    ("_validate_transliterate_args", (), {"context": "yes", "lang": 1}, TypeError, NOT_STR, "lang"),  # in order
    ("_register_lang", ("x", ["a"]), {}, TypeError, "'list' object is not an instance of 'dict'", "mappings"),
    ("_register_lang", ("x", {"a": 1}), {}, TypeError, NOT_STR, "mappings"),
    ("_normalize_batch", ("abc",), {}, TypeError, VEC, "texts"),
    ("_normalize_batch", ({"a": 1},), {}, TypeError, "'dict' object is not an instance of 'Sequence'", "texts"),
    ("_strip_accents_batch", (5,), {}, TypeError, "'int' object is not an instance of 'Sequence'", "texts"),
    ("_strip_accents_batch", (["a", 1],), {}, TypeError, NOT_STR, "texts"),
    ("_strip_accents_batch", (["a\ud800"],), {}, UnicodeEncodeError, SURROGATE, "texts"),
    # The list-snapshot batch takes lists only and converts its items later, with no note.
    ("_transliterate_batch", (("a",),), {}, TypeError, "'tuple' object is not an instance of 'list'", "texts"),
    ("_transliterate_batch", ("abc",), {}, TypeError, "'str' object is not an instance of 'list'", "texts"),
    ("_transliterate_batch", (None,), {}, TypeError, "'None' is not an instance of 'list'", "texts"),
    ("_transliterate_batch", (["ok", "a\ud800"],), {}, UnicodeEncodeError, SURROGATE, None),
    ("_decode_to_utf8", (memoryview(b"a"),), {}, TypeError, "'memoryview' object is not an instance of 'bytes'",
     "data"),
    ("_decode_to_utf8", (b"a", 5), {}, TypeError, NOT_STR, "encoding"),
    ("_decode_to_utf8", (b"a", "\ud800"), {}, UnicodeEncodeError, None, "encoding"),
    ("Lexicon", ("apple",), {}, TypeError, VEC, "words"),
    # A lexicon given per call is any iterable of str, converted without a note.
    ("_has_anomalies", ("x", "apple"), {}, TypeError, VEC, None),
    ("_inspect_anomalies", ("x", 5), {}, TypeError, "'int' object is not iterable", None),
    ("_has_anomalies", ("x", ["a", 1]), {}, TypeError, NOT_STR, None),
    ("_has_anomalies", ("x", ["\ud800"]), {}, UnicodeEncodeError, None, None),
    # The candidates are converted in one pass, which goes on after an exact match.
    ("_nearest_match", (1, "abc"), {}, TypeError, NOT_STR, "value"),  # the first parameter fails first
    ("_nearest_match", ("a", "abc"), {}, TypeError, VEC, "candidates"),
    ("_nearest_match", ("abc", ["abc", 5]), {}, TypeError, NOT_STR, "candidates"),
    ("_nearest_match", ("abc", ["abc", "a\ud800"]), {}, UnicodeEncodeError, None, "candidates"),
    ("_nearest_match", ("a", ["a"]), {"max_distance": -1}, OverflowError, None, "max_distance"),
    # Replacement pairs: a sequence of 2-tuples of str.
    ("_slugify", ("x",), {"replacements": {"a": "b"}}, TypeError, "'dict' object is not an instance of 'Sequence'",
     "replacements"),
    ("_slugify", ("x",), {"replacements": [("a", "b", "c")]}, TypeError,
     "expected tuple of length 2, but got tuple of length 3", "replacements"),
    ("_slugify", ("x",), {"replacements": [["a", "b"]]}, TypeError, "'list' object is not an instance of 'tuple'",
     "replacements"),
    ("_slugify", ("x",), {"replacements": [("a", 1)]}, TypeError, NOT_STR, "replacements"),
    ("_TextPipeline", (), {"strip_control": 0}, TypeError, NOT_BOOL, "strip_control"),  # an optional bool
    ("_TextPipeline", (), {"strip_zalgo": 1.5}, TypeError, "'float' object cannot be interpreted as an integer",
     "strip_zalgo"),
    ("_TextPipeline", (), {"strip_zalgo": 2**63}, OverflowError, None, "strip_zalgo"),
]


@pytest.mark.parametrize("name, args, kwargs, exc, message, param", CONVERSION_ERRORS,
                         ids=[f"{r[0]}-{r[5]}-{i}" for i, r in enumerate(CONVERSION_ERRORS)])
def test_conversion_errors_carry_a_note(bindtest, name, args, kwargs, exc, message, param):
    raised(exc, lambda: getattr(_core if hasattr(_core, name) else bindtest, name)(*args, **kwargs), message, param)


class StrSub(str):
    pass


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
    *[(name, {}, False) for name in """_normalize _stream_safe _fold_case _fold_punctuation _collapse_whitespace
      _strip_control_chars _strip_zero_width_chars _strip_bidi _strip_tags _strip_pua _strip_noncharacters
      _strip_variation_selectors _strip_zalgo""".split()],
    ("_percent_encode", {"component": "path"}, False),
    ("_normalize_confusables", {}, False),
    ("_grapheme_truncate", {"max_graphemes": 1000}, False),
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


# Each road by which the module calls back into Python, given a callable that raises.
CALLBACK_ROADS = {
    "unique slug check": "_core._UniqueSlugifier(check=callback).slugify('a')",
    "surrogate-safe inner": "_core.SurrogateSafe(callback, lambda *a: None)('a')",
    "transliteration dispatcher": "_core._set_transliterate_fallback(callback); _core._transliterate_entry(['a'])",
}


@pytest.mark.parametrize("road", CALLBACK_ROADS.values(), ids=CALLBACK_ROADS.keys())
def test_internal_failure_inside_a_callback_is_resumed(road):
    """A PanicException reaching a callback (from a nested call into the module) is the module's own
    failure: it is reported on standard error and raised again as a new PanicException."""
    code = f"""
from kelrad import _core
def callback(*args, **kwargs):
    raise KeyError
try:
    {road}
except KeyError:  # the class exists once the module has looked at an exception from a callback
    pass
Panic = next(c for c in BaseException.__subclasses__() if c.__name__ == "PanicException")
original = Panic("invariant broken")
def callback(*args, **kwargs):
    raise original
try:
    {road}
except BaseException as e:
    assert type(e) is Panic and e is not original and str(e) == "invariant broken", repr(e)
    print("resumed")
"""
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                            env={"PYTHONPATH": ":".join(sys.path)})
    assert result.stdout == "resumed\n", result.stderr
    assert "Python stack trace below:" in result.stderr and "invariant broken" in result.stderr
