"""`_Slugifier` and `_UniqueSlugifier`: construction and its checks, the options they keep, unique numbering
with and without a `check`, the check protocol, and the use counter between threads and re-entrant calls."""

import gc
import threading
import weakref

import pytest

from conftest import raised
from kelrad import _core

Slugifier = _core._Slugifier
Unique = _core._UniqueSlugifier


def test_surface():
    s = Slugifier(separator="__", lang="nb")
    assert (s.lang, s.separator) == ("nb", "__") and Slugifier().lang is None
    assert Slugifier().slugify("Hello World") == "hello-world"
    assert Slugifier().slugify(text="Hello World") == "hello-world"
    assert Slugifier(separator="--", safe_chars=".").slugify("2.5 beta") == "2.5--beta"
    assert Slugifier(safe_chars="_").slugify("foo_bar baz") == "foo_bar-baz"
    assert Slugifier(safe_chars="\u00b7", allow_unicode=True).slugify("a\u00b7b c") == "a\u00b7b-c"


# The same checks in the same order as `_slugify`'s, through the constructors.
@pytest.mark.parametrize(
    "options, exc, message",
    [({"max_length": -1, "lang": "xx"}, _core.InvalidArgumentError, "unknown language code 'xx'"),
     ({"max_length": -1, "regex_pattern": "("}, _core.InvalidArgumentError, "max_length must be non-negative"),
     ({"regex_pattern": "(?=a)"}, _core.InvalidArgumentError, "invalid regex_pattern \"(?=a)\": look-around"),
     ({"stopwords": "the", "max_length": -1}, TypeError, "Can't extract `str` to `Vec`")],
    ids=["lang-first", "length-before-pattern", "pattern", "conversion-first"])
def test_constructor_errors(options, exc, message):
    for cls in (Slugifier, Unique):
        error = raised(exc, lambda: cls(**options), param="stopwords" if exc is TypeError else None)
        assert str(error).startswith(message)


# ---- unique numbering -------------------------------------------------------------------------


def test_numbering_and_reset():
    u = Unique()
    assert [u.slugify("Hello") for _ in range(3)] == ["hello", "hello-1", "hello-2"]
    assert u.slugify("hello 1") == "hello-1-1"
    assert u.slugify("!!!") == "" and u.slugify("!!!") == ""
    assert u.reset() is None
    assert u.slugify("Hello") == "hello"
    # Two bases proposing the same candidate: the second to ask moves on.
    u = Unique()
    assert [u.slugify("a 1"), u.slugify("a"), u.slugify("a")] == ["a-1", "a", "a-2"]


def test_numbering_within_max_length():
    u = Unique(max_length=5)
    got = [u.slugify("Hello") for _ in range(1000)]
    assert got[:3] == ["hello", "hel-1", "hel-2"] and got[9:11] == ["hel-9", "he-10"] and got[100] == "h-100"
    with pytest.raises(_core.InvalidArgumentError) as info:
        u.slugify("Hello")
    assert str(info.value) == ('max_length=5 is too small to generate a unique slug with separator "-": need at '
                               "least 6 bytes for one character of the slug, the separator and the counter")
    u = Unique(max_length=2)
    assert u.slugify("Hello") == "he"
    with pytest.raises(_core.InvalidArgumentError, match='max_length=2 .* separator "-": need at least 3 bytes'):
        u.slugify("Hello")
    u = Unique(max_length=4, allow_unicode=True)
    assert u.slugify("q\u0301q") == "q\u0301q"
    with pytest.raises(_core.InvalidArgumentError, match="need at least 5 bytes"):  # "q\u0301" is one cluster
        u.slugify("q\u0301q")
    u = Unique(max_length=6, separator="x-")
    assert [u.slugify("box fox") for _ in range(2)] == ["boxx-f", "boxx-1"]


def test_counter_bound_without_check():
    u = Unique()
    got = [u.slugify("Hello") for _ in range(10_001)]
    assert got[-1] == "hello-10000" and len(set(got)) == 10_001
    with pytest.raises(_core.ResourceLimitError, match="^UniqueSlugifier exceeded 10000 attempts for 'Hello'$"):
        u.slugify("Hello")
    assert u.slugify("other") == "other"


def test_check_protocol():
    asked = []

    def check(candidate):
        asked.append(candidate)
        return candidate == "hello"

    u = Unique(check=check)
    assert u.slugify("Hello") == "hello-1"
    assert u.slugify("Hello") == "hello-2"  # 'hello-1' is this object's own: not asked again
    assert asked == ["hello", "hello-1", "hello", "hello-2"]
    assert all(type(c) is str for c in asked)


def test_check_that_always_answers_taken():
    calls = []
    u = Unique(check=lambda c: calls.append(c) or True)
    long_text = "\u00e9" * 50
    with pytest.raises(_core.ResourceLimitError) as info:
        u.slugify(long_text)
    assert len(calls) == 10_001 and calls[-1] == "e" * 50 + "-10000"
    assert str(info.value) == "UniqueSlugifier exceeded 10000 attempts for '" + "\u00e9" * 40 + "\u2026'"


@pytest.mark.parametrize(
    "check, exc, message",
    [(lambda c: 1, TypeError, "'int' object is not an instance of 'bool'"),
     (lambda c: {}[c], KeyError, "'hello'"),
     ("not callable", TypeError, "'str' object is not callable")],
    ids=["non-bool", "raises", "not-callable"])
def test_failing_check_records_nothing(check, exc, message):
    state = {"fail": True}

    def switch(candidate):
        return check(candidate) if state["fail"] else False

    u = Unique(check=check if isinstance(check, str) else switch)
    with pytest.raises(exc) as info:
        u.slugify("Hello")
    assert str(info.value) == message and not getattr(info.value, "__notes__", None)
    if not isinstance(check, str):
        state["fail"] = False
        assert u.slugify("Hello") == "hello"


def test_reentrant_call_is_refused():
    seen = []

    def check(candidate):
        for call in (lambda: u.slugify("x"), u.reset):
            with pytest.raises(RuntimeError, match="^Already borrowed$"):
                call()
        seen.append(candidate)
        return False

    u = Unique(check=check)
    assert u.slugify("Hello") == "hello" and seen == ["hello"]
    assert u.slugify("Hello") == "hello-1"  # released after the call


def test_call_from_another_thread_while_check_runs():
    inside, done = threading.Event(), threading.Event()
    outcome = []

    def check(candidate):
        inside.set()
        done.wait(10)
        return False

    u = Unique(check=check)

    def other():
        inside.wait(10)
        try:
            u.slugify("y")
        except RuntimeError as e:
            outcome.append(str(e))
        done.set()

    thread = threading.Thread(target=other)
    thread.start()
    assert u.slugify("x") == "x"
    thread.join()
    assert outcome == ["Already borrowed"]


def test_check_cycle_is_collected():
    class Store:
        def __init__(self):
            self.slugifier = Unique(check=self.taken)

        def taken(self, candidate):
            return False

    collected = []
    store = Store()
    weakref.finalize(store, collected.append, True)
    del store
    gc.collect()
    assert collected == [True]
