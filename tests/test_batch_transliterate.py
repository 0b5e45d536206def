"""The batch forms of transliteration: `_transliterate_batch` (a list
snapshot, converted and transliterated 64 items at a time) and
`_strip_accents_batch` (copy-all), and how they release the interpreter lock."""

import os
import subprocess
import sys
import textwrap
import threading
import time

import pytest

from kelrad import _core

B = _core._transliterate_batch


class Text(str):
    pass


TEXTS = ["abc", "\u5317\u4eac", "", "\u00e4\u00f6\u00fc", "e\u0301", "\u3001", "\u0429\u0438", "\ufb01"]


@pytest.mark.parametrize(
    "options",
    [{}, {"lang": "de"}, {"lang": "auto"}, {"errors": "preserve"}, {"errors": "ignore"}, {"replace_with": "?"},
     {"gost7034": True}, {"tones": True}],
    ids=lambda o: ",".join(f"{k}={v}" for k, v in o.items()) or "defaults",
)
def test_items_match_single_calls(options):
    texts = TEXTS * 20  # several chunks
    assert B(texts, **options) == [_core._transliterate(t, **options) for t in texts]


def test_unchanged_items_are_the_same_objects():
    sub = Text("subclass")
    texts = ["plain", sub, "\u00e9", "x" * 100]
    out = B(texts)
    assert out[0] is texts[0] and out[1] is sub and out[3] is texts[3]
    assert out[2] == "e"
    assert type(out[1]) is Text


@pytest.mark.parametrize(
    "texts, options, exc, message",
    [
        ([], {"strict_iso9": True, "gost7034": True}, _core.InvalidArgumentError,
         "strict_iso9 and gost7034 are mutually exclusive"),
        ([], {"lang": "nope"}, _core.InvalidArgumentError, "unknown language code 'nope'"),
        ([], {"errors": "bogus"}, _core.InvalidArgumentError, "errors must be"),
        (["x"] * 100_001, {"lang": "nope"}, _core.ResourceLimitError,
         "batch too large (100001 items); maximum is 100000 items"),
        (["x"] * 100_001, {"errors": "bogus"}, _core.ResourceLimitError, "batch too large"),
        (["x"] * 100_000 + [1], {}, _core.ResourceLimitError, "batch too large"),  # items not converted yet
        (["x"] * 100_001, {"strict_iso9": True, "gost7034": True}, _core.InvalidArgumentError,
         "strict_iso9 and gost7034"),
    ],
    ids=["schemes", "lang", "errors", "count-before-lang", "count-before-errors", "count-before-items",
         "schemes-before-count"],
)
def test_check_order(texts, options, exc, message):
    with pytest.raises(exc) as info:
        B(texts, **options)
    assert str(info.value).startswith(message)


def test_limit_is_inclusive():
    texts = ["x"] * 100_000
    out = B(texts)
    assert len(out) == 100_000 and out[0] is texts[0]


@pytest.mark.parametrize("texts, target", [(("a",), "list"), ("abc", "list"), (None, "list")])
def test_texts_must_be_a_list(texts, target):
    with pytest.raises(TypeError) as info:
        B(texts)
    assert target in str(info.value)
    assert info.value.__notes__ == ["while processing 'texts'"]


def test_strict_error_names_the_offset_within_the_item():
    texts = ["fine \u00e9"] * 69 + ["ab\u3001"] + ["\u3002"] * 5
    with pytest.raises(_core.KelradError) as info:
        B(texts, errors="strict")
    assert str(info.value) == "no transliteration for '\u3001' (U+3001) at byte offset 2"


@pytest.mark.parametrize(
    "bad_at, strict_at, raised",
    [(100, 10, _core.KelradError), (10, 100, TypeError), (70, 63, _core.KelradError), (63, 70, TypeError)],
)
def test_items_are_converted_one_chunk_at_a_time(bad_at, strict_at, raised):
    texts = ["\u00e9"] * 128
    texts[bad_at] = 1
    texts[strict_at] = "\u3001"
    with pytest.raises(raised) as info:
        B(texts, errors="strict")
    if raised is TypeError:
        assert str(info.value) == "'int' object is not an instance of 'str'"
        assert not getattr(info.value, "__notes__", None)


def test_surrogate_item():
    with pytest.raises(UnicodeEncodeError):
        B(["ok", "a\ud800"])


def test_replacements_apply_to_every_item():
    _core._clear_replacements()
    try:
        _core._register_replacements({"ab": "\u00e4"})
        texts = ["ab", "cd"]
        out = B(texts, lang="de")
        assert out == ["ae", "cd"] and out[1] is texts[1]
    finally:
        _core._clear_replacements()


# --- threads ------------------------------------------------------------------------

def run_with_timeout(code: str, timeout: float = 120) -> None:
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                            env=env, timeout=timeout)
    assert result.returncode == 0, result.stdout + result.stderr


def test_batches_run_while_another_thread_registers():
    run_with_timeout("""
        import threading
        from kelrad import _core

        texts = ["\\u00e4\\u00f6 \\u5317\\u4eac \\u041f\\u0440\\u0438\\u0432\\u0435\\u0442 ab"] * 5000
        stop = threading.Event()
        errors = []

        def register():
            i = 0
            try:
                while not stop.is_set():
                    i += 1
                    _core._register_lang("zz-thread", {"\\u00e4": str(i)})
                    _core._register_replacements({"ab": "x" * (i % 5)})
                    if i % 7 == 0:
                        _core._remove_replacement("ab")
                    if i % 11 == 0:
                        _core._clear_replacements()
            except BaseException as e:
                errors.append(e)

        writer = threading.Thread(target=register)
        writer.start()
        try:
            for lang in ("zz-thread", "de", None, "auto"):
                for _ in range(3):
                    out = _core._transliterate_batch(texts, lang=lang)
                    assert len(out) == len(texts)
                    _core._strip_accents_batch(texts[:1000])
        finally:
            stop.set()
            writer.join()
        assert not errors, errors
    """)


def count_during(call) -> int:
    """How often a Python counter thread advances while `call` runs."""
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
        call()
        return count - before
    finally:
        stop = True
        thread.join()
        sys.setswitchinterval(old)


@pytest.mark.parametrize(
    "batch, single, item",
    [
        (B, _core._transliterate, "\u041f\u0440\u0438\u0432\u0435\u0442, \u5317\u4eac! \u00e9t\u00e9 " * 100),
        (_core._strip_accents_batch, _core._strip_accents, "Cr\u00e8me br\u00fbl\u00e9e \u00e0 la fran\u00e7aise. " * 100),
    ],
    ids=["transliterate", "strip_accents"],
)
def test_batches_release_the_interpreter_lock(batch, single, item):
    texts = [item] * 2000
    joined = "".join(texts)
    # The least of a few runs: on a busy machine the counter may still get the
    # lock for a while around a call that holds it.
    held = min(count_during(lambda: single(joined)) for _ in range(3))
    released = min(count_during(lambda: batch(texts)) for _ in range(3))
    assert released > 10 * max(held, 100), (held, released)
