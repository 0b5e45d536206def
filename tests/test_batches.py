"""The batch functions: `_normalize_batch` and `_strip_accents_batch` (copy-all) and `_transliterate_batch`
(a list snapshot, converted and transliterated 64 items at a time), their limits, the order of their checks,
and how they release the interpreter lock."""

import pytest

from conftest import assert_lets_threads_run, run_isolated
from kelrad import _core

B = _core._transliterate_batch
TOO_MANY = ["x"] * 100_001


class Text(str):
    pass


TEXTS = ["abc", "\u5317\u4eac", "", "\u00e4\u00f6\u00fc", "e\u0301", "\u3001", "\u0429\u0438", "\ufb01",
         "\u1100\u1161", "\U0001d15e", "=\u0338\u0338", "\u2204", "\u0915\u093f"]


# Items against single calls from many threads, with other option sets: tests/test_stress.py.
@pytest.mark.parametrize(
    "batch, single, options",
    [pytest.param(_core._normalize_batch, _core._normalize, {"form": "NFKD"}, id="normalize"),
     pytest.param(_core._strip_accents_batch, _core._strip_accents, {}, id="strip_accents")]
    + [pytest.param(B, _core._transliterate, o, id="transliterate-" + ",".join(f"{k}={v}" for k, v in o.items()))
       for o in [{"errors": "preserve"}, {"replace_with": "?"}, {"gost7034": True}]],
)
def test_items_match_single_calls(batch, single, options):
    texts = TEXTS * 10  # several chunks
    assert batch(texts, **options) == [single(t, **options) for t in texts]
    assert batch([], **options) == []
    if batch is not B:
        assert batch(tuple(texts), **options) == batch(texts, **options)


def test_only_transliterate_hands_back_unchanged_items():
    sub = Text("subclass")
    texts = ["plain", sub, "\u00e9t\u00e9", "x" * 100]
    out = B(texts)
    assert out[0] is texts[0] and out[1] is sub and out[3] is texts[3] and out[2] == "ete"
    for batch in (_core._normalize_batch, _core._strip_accents_batch):
        assert not any(a is b for a, b in zip(batch(texts), texts))


@pytest.mark.parametrize("batch", [_core._normalize_batch, _core._strip_accents_batch, B])
def test_limit(batch):
    assert len(batch(["\u00e9"] * 100_000)) == 100_000
    with pytest.raises(_core.ResourceLimitError) as info:
        batch(TOO_MANY)
    assert str(info.value) == "batch too large (100001 items); maximum is 100000 items"


# The option checks, the count and the item conversion come in each function's own order.
@pytest.mark.parametrize(
    "call, exc, message",
    [
        pytest.param(lambda: _core._normalize_batch(TOO_MANY, form="bad"), _core.InvalidArgumentError,
                     "form must be", id="normalize-form-before-count"),
        pytest.param(lambda: _core._normalize_batch(TOO_MANY + [1]), TypeError,
                     "'int' object is not an instance of 'str'", id="normalize-items-before-count"),
        pytest.param(lambda: _core._strip_accents_batch(TOO_MANY + [1]), TypeError,
                     "'int' object is not an instance of 'str'", id="strip_accents-items-before-count"),
        pytest.param(lambda: B([], strict_iso9=True, gost7034=True), _core.InvalidArgumentError,
                     "strict_iso9 and gost7034 are mutually exclusive", id="schemes"),
        pytest.param(lambda: B([], lang="nope"), _core.InvalidArgumentError, "unknown language code 'nope'",
                     id="lang"),
        pytest.param(lambda: B([], errors="bogus"), _core.InvalidArgumentError, "errors must be", id="errors"),
        pytest.param(lambda: B(TOO_MANY, lang="nope"), _core.ResourceLimitError, "batch too large",
                     id="count-before-lang"),
        pytest.param(lambda: B(TOO_MANY, errors="bogus"), _core.ResourceLimitError, "batch too large",
                     id="count-before-errors"),
        pytest.param(lambda: B(["x"] * 100_000 + [1]), _core.ResourceLimitError, "batch too large",
                     id="count-before-items"),
        pytest.param(lambda: B(TOO_MANY, strict_iso9=True, gost7034=True), _core.InvalidArgumentError,
                     "strict_iso9 and gost7034", id="schemes-before-count"),
    ],
)
def test_check_order(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value).startswith(message)


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


@pytest.mark.usefixtures("clean_replacements")
def test_replacements_apply_to_every_item():
    _core._register_replacements({"ab": "\u00e4"})
    texts = ["ab", "cd"]
    out = B(texts, lang="de")
    assert out == ["ae", "cd"] and out[1] is texts[1]


def test_batches_run_while_another_thread_registers():
    # A batch reads the language it was given, with the interpreter lock released, while that language is
    # registered again (the stress run re-registers languages only its single calls read).
    run_isolated("""
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
    """, timeout=120)


FRENCH = "Cr\u00e8me br\u00fbl\u00e9e \u00e0 la fran\u00e7aise. " * 100
# Compatibility characters that fold to ASCII: their normalization outweighs the conversion of the texts to
# and from str, which a batch does with the interpreter lock held.
COMPATIBLE = "\ufb01 \u2460 \u33a1 \uff21\uff22 " * 120


# Each text is long enough, and the batch of them takes long enough (200 ms or more), that the system's
# scheduling is small beside the batch's work.
@pytest.mark.parametrize(
    "batch, single, item",
    [
        (B, _core._transliterate, "\u041f\u0440\u0438\u0432\u0435\u0442, \u5317\u4eac! \u00e9t\u00e9 " * 125),
        (_core._strip_accents_batch, _core._strip_accents, FRENCH),
        (lambda t: _core._normalize_batch(t, form="NFKC"), lambda t: _core._normalize(t, form="NFKC"), COMPATIBLE),
    ],
    ids=["transliterate", "strip_accents", "normalize"],
)
def test_batches_release_the_interpreter_lock(batch, single, item):
    texts = [item] * 10_000
    joined = "".join(texts)
    assert_lets_threads_run(lambda: batch(texts), control=lambda: single(joined))


# Daemon threads still inside the module when the interpreter exits: a batch
# with the lock released, and a callback waiting for the lock.
EXIT_ROADS = {
    "batch": "_core._transliterate_batch(['\u041f\u0440\u0438\u0432\u0435\u0442 ' * 50] * 64)",
    "callback": "slugifier.slugify('hello')",
}


@pytest.mark.parametrize("call", EXIT_ROADS.values(), ids=EXIT_ROADS.keys())
def test_interpreter_exits_cleanly_under_daemon_threads(call):
    code = f"""
import threading, time
from kelrad import _core
def loop():
    slugifier = _core._UniqueSlugifier(check=lambda c: time.sleep(0.005) or True)
    while True:
        {call}
for _ in range(4):
    threading.Thread(target=loop, daemon=True).start()
time.sleep(0.2)
"""
    for _ in range(3):
        run_isolated(code, timeout=60)
