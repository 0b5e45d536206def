"""The public transliteration entry (`_transliterate_entry`), its dispatcher
slot, the package's dispatcher, the argument checks and SurrogateSafe."""

import functools
import weakref

import pytest

import kelrad
from conftest import raised, run_python
from kelrad import _core

E = _core._transliterate_entry
T = _core._transliterate


class Text(str):
    pass


class Recorder:
    """A dispatcher that records its calls and returns a marker."""

    def __init__(self):
        self.calls = []

    def __call__(self, *args, **kwargs):
        self.calls.append((args, kwargs))
        return "dispatched"


@pytest.fixture
def recorder():
    r = Recorder()
    _core._set_transliterate_fallback(r)
    yield r
    _core._set_transliterate_fallback(kelrad._transliterate_dispatch)


DEFAULTS = {"lang": None, "target": None, "errors": "replace", "replace_with": "[?]", "strict_iso9": False,
            "gost7034": False, "tones": False, "context": False}


# --- _validate_transliterate_args ---------------------------------------------------

@pytest.mark.parametrize(
    "options, message",
    [
        pytest.param({}, None, id="nothing"),
        pytest.param({"lang": "ru", "target": "ru", "context": True}, "'lang' and 'target' are mutually exclusive",
                     id="lang-target-first"),
        pytest.param({"context": True, "target": "ru", "tones": True},
                     "'context' and 'target' are mutually exclusive", id="context-target-before-tones"),
        pytest.param({"context": True, "tones": True}, "'tones' cannot be used with 'context' \u2014 context-aware "
                     "transliteration does not produce toned pinyin", id="context-tones"),
        pytest.param({"context": True, "errors": "strict"}, "errors='strict' cannot be used with 'context' \u2014 "
                     "strict mode is only available for context-free transliteration", id="context-strict"),
        pytest.param({"context": True, "errors": "bogus", "strict_iso9": True, "replace_with": ""}, None,
                     id="context-other-options"),
        pytest.param({"target": "ru", "errors": "replace", "replace_with": "[?]"}, None, id="target-defaults-given"),
        pytest.param({"target": "ru", "tones": True, "errors": "ignore"},
                     "forward-only parameters (errors, tones) cannot be used with 'target'", id="target-names-sorted"),
        pytest.param({"target": "ru", "strict_iso9": True, "gost7034": True, "replace_with": "?"},
                     "forward-only parameters (gost7034, replace_with, strict_iso9) cannot be used with 'target'",
                     id="target-schemes"),
        pytest.param({"lang": "no-such-code"}, None, id="unknown-lang-is-not-checked-here"),
    ],
)
def test_validate_transliterate_args(options, message):
    if message is None:
        assert _core._validate_transliterate_args(**options) is None
    else:
        with pytest.raises(kelrad.InvalidArgumentError) as info:
            _core._validate_transliterate_args(**options)
        assert str(info.value) == message


# --- the entry ----------------------------------------------------------------------

@pytest.mark.parametrize("text", ["", "plain ascii", "x" * 500])
def test_plain_ascii_comes_back_as_the_same_object(text, recorder):
    assert E(text) is text
    assert E(text, target=None, lang="ru") is text
    assert recorder.calls == []


@pytest.mark.parametrize(
    "text, options",
    [
        pytest.param(Text("abc"), {}, id="str-subclass"),
        pytest.param(["a", "b"], {}, id="list"),
        pytest.param(5, {}, id="int"),
        pytest.param("abc", {"target": ""}, id="empty-target"),
        pytest.param("abc", {"context": True}, id="context"),
    ],
)
def test_other_shapes_go_to_the_dispatcher(text, options, recorder):
    assert E(text, **options) == "dispatched"
    [(args, kwargs)] = recorder.calls
    assert args[0] is text
    assert list(kwargs.items()) == list({**DEFAULTS, **options}.items())


def test_dispatcher_receives_every_keyword_as_given(recorder):
    E([], lang=Text("ru"), target="el", errors="x\ud800", replace_with="", strict_iso9=True, gost7034=True,
      tones=True, context=True)
    [(_, kwargs)] = recorder.calls
    assert kwargs == {"lang": "ru", "target": "el", "errors": "x\ufffd", "replace_with": "", "strict_iso9": True,
                      "gost7034": True, "tones": True, "context": True}
    assert type(kwargs["lang"]) is str


@pytest.mark.parametrize("options, name", [({"lang": 1, "target": "ru"}, "lang"), ({"context": 1}, "context")],
                         ids=["int-lang-with-target", "int-context"])
def test_option_types_are_refused_before_dispatching(options, name, recorder):
    raised(TypeError, lambda: E("abc", **options), param=name)
    assert recorder.calls == []


@pytest.mark.parametrize(
    "text, options, expected",
    [
        pytest.param("a\ud800b", {}, T("a\ufffdb"), id="lone-surrogate"),
        pytest.param("\udc00\ud800", {"errors": "preserve"}, T("\ufffd\ufffd", errors="preserve"), id="reversed-pair"),
        pytest.param("\ud83d\ude00!", {"replace_with": "<>"}, "<>!", id="pair-is-one-character"),
        pytest.param("\ud800", {"errors": "strict"}, T("\ufffd", errors="strict"), id="strict-accepted"),
        pytest.param("\u3001", {"replace_with": "\ud800"}, "\ufffd", id="surrogate-in-replace-with"),
        pytest.param("\u0416", {"gost7034": True}, "Zh", id="scheme"),
    ],
)
def test_fast_path(text, options, expected):
    assert E(text, **options) == expected


@pytest.mark.parametrize(
    "text, options, error, message",
    [
        pytest.param("\ud800", {"strict_iso9": True, "gost7034": True}, kelrad.InvalidArgumentError,
                     "strict_iso9 and gost7034 are mutually exclusive", id="schemes-before-surrogates"),
        pytest.param("abc", {"lang": "x\ud800"}, kelrad.InvalidArgumentError, "unknown language code 'x\ufffd'",
                     id="surrogate-lang"),
        pytest.param("\u3001\ud800", {"errors": "strict"}, kelrad.KelradError,
                     "no transliteration for '\u3001' (U+3001) at byte offset 0", id="strict-after-repair"),
    ],
)
def test_fast_path_errors(text, options, error, message):
    with pytest.raises(error) as info:
        E(text, **options)
    assert str(info.value).startswith(message)


def test_without_a_dispatcher_only_the_fast_path_works():
    # Loaded under its own name, the module is a fresh instance with no
    # dispatcher registered; the package never ran.
    code = f"""
import importlib.util
spec = importlib.util.spec_from_file_location("_core", {_core.__file__!r})
core = importlib.util.module_from_spec(spec)
spec.loader.exec_module(core)
text = "plain"
assert core._transliterate_entry(text) is text
try:
    core._transliterate_entry(type("S", (str,), {{}})("plain"))
except RuntimeError as e:
    print(e)
"""
    result = run_python(code)
    assert result.stdout == ("kelrad internal error: transliterate dispatcher not registered \u2014 import the "
                             "`kelrad` package rather than `kelrad._core` directly\n"), result.stderr


def test_dispatcher_result_and_exceptions_pass_unchanged():
    marker = object()

    def returns(*args, **kwargs):
        return marker

    class Boom(Exception):
        pass

    def raises(*args, **kwargs):
        raise Boom("x")

    try:
        _core._set_transliterate_fallback(returns)
        assert E(["a"]) is marker
        _core._set_transliterate_fallback(raises)
        with pytest.raises(Boom):
            E(["a"])
    finally:
        _core._set_transliterate_fallback(kelrad._transliterate_dispatch)


@pytest.mark.parametrize("bad", [None, 1, "text"])
def test_fallback_must_be_callable(bad, recorder):
    with pytest.raises(RuntimeError, match="^transliterate fallback must be callable$"):
        _core._set_transliterate_fallback(bad)
    E(["a"])
    assert len(recorder.calls) == 1  # the earlier dispatcher stays


def test_fallback_may_be_a_class_and_is_allowed_after_the_seal():
    code = """
import kelrad
from kelrad import _core
_core._seal_registrations()
class Dispatcher:
    def __init__(self, text, **kwargs):
        self.text = text
_core._set_transliterate_fallback(Dispatcher)
print(type(_core._transliterate_entry([1])).__name__)
"""
    result = run_python(code)
    assert result.stdout == "Dispatcher\n", result.stderr


def test_a_dispatcher_may_replace_itself_while_it_runs(recorder):
    def replacing(*args, **kwargs):
        _core._set_transliterate_fallback(recorder)
        return E(*args, **kwargs)  # re-enters the entry: no lock is held

    _core._set_transliterate_fallback(replacing)
    assert E(["x"]) == "dispatched"


# --- the package's dispatcher ---------------------------------------------------------

@pytest.mark.parametrize(
    "text, options, expected",
    [
        pytest.param(["\u0416", "a"], {}, ["Zh", "a"], id="list-as-batch"),
        pytest.param(["\u0416", "a\ud800"], {}, ["Zh", "a?"], id="list-with-surrogate"),
        pytest.param(Text("\u0416"), {}, "Zh", id="str-subclass"),
        pytest.param("Moskva", {"target": "ru"}, "\u041c\u043e\u0441\u043a\u0432\u0430", id="target"),
        pytest.param(["Da", Text("s\ud800")], {"target": "ru"}, ["\u0414\u0430", "\u0441\ufffd"],
                     id="list-with-target"),
        pytest.param("Christos", {"target": "el"}, "\u03a7\u03c1\u03b7\u03c3\u03c4\u03bf\u03c2", id="greek"),
    ],
)
def test_transliterate(text, options, expected):
    result = kelrad.transliterate(text, **options)
    assert result == expected and type(result) is type(expected)


@pytest.mark.parametrize(
    "text, options, error, message",
    [
        pytest.param(b"abc", {}, TypeError, "transliterate() expects a str or a list of str, got 'bytes'", id="bytes"),
        pytest.param([1], {"target": "ru"}, TypeError, "transliterate() expects a str or a list of str, got 'int'",
                     id="list-item"),
        pytest.param("abc", {"target": "ru", "tones": True}, kelrad.InvalidArgumentError,
                     "forward-only parameters (tones) cannot be used with 'target'", id="contradiction"),
        pytest.param(Text("abc"), {"target": "xx"}, kelrad.UnsupportedError,
                     "reverse transliteration not supported for lang 'xx'", id="target-unknown"),
    ],
)
def test_transliterate_refusals(text, options, error, message):
    with pytest.raises(error) as info:
        kelrad.transliterate(text, **options)
    assert str(info.value).startswith(message)


# --- SurrogateSafe --------------------------------------------------------------------

def refuses(*args, **kwargs):
    raise UnicodeEncodeError("utf-8", "\ud800", 0, 1, "surrogates not allowed")


def record(inner, args, kwargs):
    return inner, args, kwargs


@pytest.mark.parametrize(
    "args, kwargs, expected_kwargs",
    [((1, 2), {}, None), ((), {"x": 3}, {"x": 3})],
    ids=["positional", "keyword"],
)
def test_surrogate_safe_hands_the_call_to_retry(args, kwargs, expected_kwargs):
    wrapper = _core.SurrogateSafe(refuses, record)
    inner, got_args, got_kwargs = wrapper(*args, **kwargs)
    assert (inner, got_args, got_kwargs) == (refuses, args, expected_kwargs)


class EncodeErrorSubclass(UnicodeEncodeError):
    pass


@pytest.mark.parametrize(
    "error, retried",
    [(UnicodeEncodeError("utf-8", "x", 0, 1, "r"), True), (EncodeErrorSubclass("utf-8", "x", 0, 1, "r"), True),
     (UnicodeDecodeError("utf-8", b"x", 0, 1, "r"), False), (ValueError("v"), False)],
    ids=["encode", "encode-subclass", "decode", "value"],
)
def test_surrogate_safe_retries_only_encode_errors(error, retried):
    def inner():
        raise error

    wrapper = _core.SurrogateSafe(inner, lambda *a: "retried")
    if retried:
        assert wrapper() == "retried"
    else:
        with pytest.raises(type(error)) as info:
            wrapper()
        assert info.value is error


def test_surrogate_safe_passes_results_and_retry_errors_unchanged():
    marker = object()
    assert _core.SurrogateSafe(lambda *a, **k: (marker, a, k), None)(1, y=2) == (marker, (1,), {"y": 2})

    def failing_retry(*args):
        raise KeyError("retry")

    with pytest.raises(KeyError) as info:
        _core.SurrogateSafe(refuses, failing_retry)()
    assert info.value.__context__ is None and info.value.__cause__ is None


def test_surrogate_safe_binds_as_a_method():
    class Owner:
        method = _core.SurrogateSafe(lambda *args: args, None)

    owner = Owner()
    assert Owner.method is Owner.__dict__["method"]
    bound = owner.method
    assert bound.__self__ is owner and bound(1) == (owner, 1)


def test_surrogate_safe_class_facts():
    # Unlike the result classes it stands in for a function: of the module, closed, and with a __dict__
    # that functools.update_wrapper fills.
    cls = _core.SurrogateSafe
    assert (cls.__module__, cls.__name__) == ("kelrad._core", "SurrogateSafe")
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    assert cls(1, 2).__dict__ == {}  # neither needs to be callable yet

    def f(text):
        """Docs."""

    wrapper = functools.update_wrapper(cls(f, record), f)
    assert (wrapper.__name__, wrapper.__doc__, wrapper.__wrapped__) == ("f", "Docs.", f)
    with pytest.raises(TypeError):
        weakref.ref(wrapper)
