"""Language codes, registered languages, global replacements and the seal.

Registrations are process-wide and the seal is irreversible, so the tests that
fill a registry to its limit or seal it run in a fresh interpreter.
"""

import pytest

from conftest import run_isolated
from kelrad import _core


# --- resolution -------------------------------------------------------------

UNKNOWN = "; expected 'auto', a BCP-47 alias (nb, nn, da), or one of: "


@pytest.mark.parametrize(
    "lang, suggestion",
    [("DE", "da"),  # "de" itself is skipped at distance 0; "da" precedes "dv" and "he"
     ("NB", "ne"), ("jp", "ja"), ("ja_kunrei", "ja-kunrei"), ("ukr", "uk")]
    + [(lang, None) for lang in ("Auto", "AUTO", "xx", "xyz", "germn", "english", "de-DE", "pt-BR", "")],
)
def test_unknown_codes_and_suggestions(lang, suggestion):
    with pytest.raises(_core.InvalidArgumentError) as info:
        _core._transliterate("x", lang=lang)
    message = str(info.value)
    expected_head = f"unknown language code '{lang}'"
    if suggestion:
        expected_head += f" (did you mean '{suggestion}'?)"
    assert message.startswith(expected_head + UNKNOWN)
    assert message.endswith(", ".join(_core._list_langs()))


def test_builtin_list():
    langs = _core._list_langs()
    assert len(langs) >= 83 and langs == sorted(langs)
    for code in ("da", "no", "ja-kunrei", "zh"):
        assert code in langs
    for code in ("auto", "nb", "nn"):
        assert code not in langs


# --- registered languages ---------------------------------------------------

def test_register_lang_makes_a_code_known_and_replaces_its_table_whole():
    assert _core._register_lang("zz-test", {"\u00e4": "A1", "\u00f6": "O1", "a": "no", "\U0001F600": ":)"}) is None
    langs = _core._list_langs()
    assert "zz-test" in langs and langs == sorted(langs)
    assert _core._transliterate("\u00e4\u00f6a", lang="zz-test") == "A1O1a"  # an ASCII key never applies
    _core._register_lang("zz-test", {"\u00e4": "A2"})
    assert _core._transliterate("\u00e4\u00f6", lang="zz-test") == "A2o"
    _core._register_lang("zz-test", {})
    assert _core._transliterate("\u00e4", lang="zz-test") == "a" and "zz-test" in _core._list_langs()


def test_register_lang_refuses_multi_character_keys_and_registers_nothing():
    with pytest.raises(_core.InvalidArgumentError) as info:
        _core._register_lang("zz-bad", {"ab": "x", "": "y", "c": "z", "e\u0301": "w"})
    message = str(info.value)
    assert message.startswith("register_lang(): mapping keys must be exactly one Unicode character; invalid keys: ")
    keys = message.split("invalid keys: ", 1)[1].split(", ")
    assert sorted(keys) == sorted(['"ab"', '""', '"e\\u{301}"'])
    assert "zz-bad" not in _core._list_langs()


def test_register_lang_limit():
    run_isolated("""
        import pytest
        from kelrad import _core
        for i in range(100):
            _core._register_lang(f"r{i}", {"a": "b"})
        with pytest.raises(_core.ResourceLimitError) as info:
            _core._register_lang("r100", {"ab": "x"})  # the limit is tested before the keys
        assert str(info.value) == ("register_lang(): maximum of 100 registered languages reached; "
                                   "re-registering an existing code is still allowed")
        _core._register_lang("r5", {})  # replacing at the limit is allowed
        assert len(_core._list_langs()) == 183
    """)


# --- replacements ------------------------------------------------------------

@pytest.mark.usefixtures("clean_replacements")
def test_replacement_registry_operations():
    assert _core._register_replacements({}) is None
    assert _core._remove_replacement("absent") is False
    _core._register_replacements({"ab": "1", "": "empty key"})
    assert _core._remove_replacement("ab") is True
    assert _core._remove_replacement("ab") is False
    assert _core._clear_replacements() is None


@pytest.mark.usefixtures("clean_replacements")
def test_replacement_cap_is_all_or_nothing():
    _core._register_replacements({f"k{i}": "v" for i in range(10_000)})
    _core._register_replacements({"k0": "new value"})  # existing keys do not count
    with pytest.raises(_core.ResourceLimitError) as info:
        _core._register_replacements({"k1": "x", "fresh": "y"})
    assert str(info.value) == ("register_replacements(): table would exceed the maximum of 10000 entries "
                               "(projected size: 10001); call clear_replacements() first")
    assert _core._transliterate("k1 fresh") == "v fresh"  # nothing of the refused table was applied
    _core._clear_replacements()
    with pytest.raises(_core.ResourceLimitError, match=r"projected size: 10001\)"):
        _core._register_replacements({f"n{i}": "v" for i in range(10_001)})


@pytest.mark.usefixtures("clean_replacements")
@pytest.mark.parametrize(
    "table, text, expected",
    [
        ({"ab": "1", "abc": "2"}, "abcd", "2d"),  # leftmost-longest
        ({"b": "1", "abc": "2"}, "abd", "a1d"),
        ({"a": "aa"}, "aaa", "aaaaaa"),  # values are never scanned again
        ({"A": "x"}, "a", "a"),  # exact bytes
        ({"\u00e9": "E"}, "e\u0301", "e"),  # a precomposed key does not match a decomposed text
        ({"\u00fc": "ue"}, "\u00fcber", "ueber"),
        ({"\u00df": "\u5317"}, "Stra\u00dfe", "Stra bei e"),  # a non-ASCII value is transliterated
        ({"-": ""}, "a-b-c", "abc"),
        ({"": "never"}, "abc", "abc"),
    ],
)
def test_replacements_apply_before_transliteration(table, text, expected):
    _core._register_replacements(table)
    assert _core._transliterate(text) == expected


@pytest.mark.usefixtures("clean_replacements")
def test_identity_with_replacements():
    text = "abc"
    _core._register_replacements({"": "empty key", "zzz": "never"})
    assert _core._transliterate(text) is text  # nothing matched
    _core._register_replacements({"b": "b"})
    out = _core._transliterate(text)
    assert out == text and out is not text  # a match makes a new text


MIB = 1024 * 1024


@pytest.mark.usefixtures("clean_replacements")
@pytest.mark.parametrize(
    "text, size",
    [
        ("a" * 10, None),  # exactly 10,485,760 bytes
        ("a" * 10 + "c", 10 * MIB + 1),  # the tail crosses
        ("c" + "a" * 11, 10 * MIB + 1),  # the size right after the crossing piece
    ],
)
def test_replacement_output_limit(text, size):
    _core._register_replacements({"a": "b" * MIB})
    if size is None:
        assert len(_core._transliterate(text)) == 10 * MIB
        return
    with pytest.raises(_core.ResourceLimitError) as info:
        _core._transliterate(text)
    assert str(info.value) == (f"registered replacements expanded the input to {size} bytes, "
                               "exceeding the 10485760 byte limit")


@pytest.mark.usefixtures("clean_replacements")
def test_offsets_count_in_the_replaced_text():
    _core._register_replacements({"x": "xyz"})
    with pytest.raises(_core.KelradError, match="at byte offset 3$"):
        _core._transliterate("x\u3001", errors="strict")
    assert _core._find_untranslatable("x\u3001") == [("\u3001", 3)]


# --- the seal ------------------------------------------------------------------

def test_seal():
    run_isolated("""
        import pytest
        from kelrad import _core
        assert _core._registrations_sealed() is False
        _core._register_lang("xx", {"ä": "ae"})
        _core._register_replacements({"a": "b"})
        assert _core._seal_registrations() is None
        assert _core._registrations_sealed() is True
        assert _core._seal_registrations() is None
        for call, op in [
            (lambda: _core._register_lang("xx", {}), "register_lang"),
            (lambda: _core._register_lang("yy", {"a": "b"}), "register_lang"),
            (lambda: _core._register_replacements({}), "register_replacements"),
            (lambda: _core._remove_replacement("a"), "remove_replacement"),
            (lambda: _core._clear_replacements(), "clear_replacements"),
        ]:
            with pytest.raises(_core.UnsupportedError) as info:
                call()
            assert str(info.value) == (op + ": registration tables are sealed (seal_registrations() was called); "
                                       "register/remove/clear are not permitted after sealing")
        # Argument conversion still comes first.
        for call in (lambda: _core._register_replacements(1), lambda: _core._register_lang("xx", [])):
            with pytest.raises(TypeError):
                call()
        assert "xx" in _core._list_langs()
        # What was registered before the seal still applies.
        assert _core._transliterate("\u00e4a", lang="xx") == "aeb"
    """)


# --- process exit ----------------------------------------------------------------

def test_registries_outlive_daemon_threads_that_read_them_at_exit():
    # Daemon threads are inside a batch when the interpreter exits: the
    # process runs its static destructors while they read the language table
    # and the replacement matcher without the interpreter lock. glibc's
    # MALLOC_PERTURB_ fills freed memory, so that a registry destroyed under
    # them crashes the process rather than being read quietly.
    for _ in range(3):
        run_isolated("""
            import threading, time
            from kelrad import _core
            _core._register_lang("xx", {"\\u0430": "A"})
            _core._register_replacements({"foo": "bar"})
            texts = ["\\u0430b foo " * 200_000] * 64
            started = threading.Barrier(5)
            def work():
                started.wait()
                while True:
                    _core._transliterate_batch(texts, lang="xx")
            for _ in range(4):
                threading.Thread(target=work, daemon=True).start()
            started.wait()
            time.sleep(0.2)
        """, timeout=120, MALLOC_PERTURB_="165")
