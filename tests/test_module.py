"""The module as Python sees it after import: names, order, classes, constants."""

import inspect
import shutil
import subprocess

import pytest

import kelrad
from kelrad import _core

CANONICAL = """
SurrogateSafe _transliterate _transliterate_entry _set_transliterate_fallback _validate_transliterate_args
_find_untranslatable _transliterate_context _strip_accents _is_ascii _list_langs _register_lang
_register_replacements _remove_replacement _clear_replacements _seal_registrations _registrations_sealed
_slugify _strip_log_injection _normalize _is_normalized _stream_safe _is_normalized_stream_safe
_normalize_confusables _is_confusable _unmapped_confusables _confusable_coverage _find_confusables
_decode_smuggled SmuggledPayload _find_unmapped_confusables _escape_html _percent_encode _sanitize_filename
_fold_case _is_case_fold_stable _find_key_collisions _edit_distance _nearest_match NearestMatch
_collapse_whitespace _strip_control_chars _strip_zero_width_chars _detect_scripts _is_mixed_script
_has_bidi_conflict _has_bidi_control _inspect_auto_lang _transliterate_batch _strip_accents_batch
_slugify_batch _normalize_batch _Slugifier _UniqueSlugifier _TextPipeline _get_pipeline _list_profiles
_canonicalize _is_canonical _skeleton_key _ml_normalize _catalog_key _strip_format _search_key _sort_key
_strip_bidi _strip_tags _fold_punctuation _strip_variation_selectors _strip_noncharacters _strip_pua
_canonicalize_strict _strip_obfuscation _is_zalgo _strip_zalgo _grapheme_len _grapheme_split
_grapheme_truncate _terminal_width _grapheme_width _is_suspicious_hostname HostnameAnalysis _has_anomalies
_inspect_anomalies _has_anomalies_lex _inspect_anomalies_lex AnomalyReport Finding Lexicon KeyCollision
_detect_encoding _decode_to_utf8 _reverse_transliterate _reverse_langs _demojize _replace_emoji
_set_emoji_provider KelradError InvalidArgumentError ResourceLimitError UnsupportedError _MAX_BATCH_SIZE
_CONFUSABLES_VERSION _UNICODE_VERSION _KEY_SCHEMA_VERSION _DEFAULT_ZALGO_THRESHOLD _DEFAULT_ZALGO_MAX_MARKS
""".split()


def test_all_is_the_canonical_names_in_order():
    assert len(CANONICAL) == 106 and len(set(CANONICAL)) == 106
    assert CANONICAL[0] == "SurrogateSafe" and CANONICAL[96] == "KelradError"
    assert _core.__all__ == CANONICAL
    for name in CANONICAL:
        assert hasattr(_core, name)


def test_functions_are_bound_to_the_module_with_signatures():
    for name in _core.__all__:
        obj = getattr(_core, name)
        if not callable(obj) or isinstance(obj, type):
            continue
        assert obj.__module__ == _core.__name__
        assert obj.__self__ is _core
        assert obj.__name__ == name
        inspect.signature(obj)  # every docstring carries a text signature
    assert "Not a public interface." in _core.__doc__


def test_methods_and_constructors_carry_signatures():
    classes = [getattr(_core, name) for name in CANONICAL if isinstance(getattr(_core, name), type)
               and not issubclass(getattr(_core, name), BaseException)]
    assert len(classes) == 11
    for cls in classes:
        for attr, member in vars(cls).items():
            if callable(member) and not attr.startswith("__"):
                inspect.signature(getattr(cls, attr))
    for name in ["SurrogateSafe", "Lexicon", "_TextPipeline", "_Slugifier", "_UniqueSlugifier"]:
        inspect.signature(getattr(_core, name))  # the constructors


# The text signatures of the functions of the text primitives and normalization,
# as their docstrings must begin; a default that is not a plain literal shows "...".
SIGNATURES = [f"{name}(text)" for name in """_is_ascii _stream_safe _escape_html _fold_case _is_case_fold_stable
    _collapse_whitespace _strip_control_chars _strip_zero_width_chars _detect_scripts _has_bidi_control _strip_bidi
    _strip_tags _fold_punctuation _strip_variation_selectors _strip_noncharacters _strip_pua""".split()] + """
_strip_log_injection(text, *, replacement, keep_tab)
_normalize(text, *, form="NFC")
_is_normalized(text, *, form="NFC")
_is_normalized_stream_safe(text, *, form="NFC")
_percent_encode(text, *, component)
_edit_distance(a, b)
_is_mixed_script(text, *, per_word=False)
_has_bidi_conflict(text, *, per_word=False)
_normalize_batch(texts, *, form="NFC")
_is_zalgo(text, *, threshold=...)
_strip_zalgo(text, *, max_marks=...)
""".strip().splitlines()


@pytest.mark.parametrize("signature", SIGNATURES, ids=[s.split("(")[0] for s in SIGNATURES])
def test_text_signatures(signature):
    function = getattr(_core, signature.split("(")[0])
    assert function.__name__ + function.__text_signature__ == signature


def test_constants():
    assert _core._MAX_BATCH_SIZE == 100000 and type(_core._MAX_BATCH_SIZE) is int
    assert _core._KEY_SCHEMA_VERSION == 10
    assert _core._UNICODE_VERSION == _core._CONFUSABLES_VERSION == "17.0.0"
    assert _core._DEFAULT_ZALGO_THRESHOLD == _core._DEFAULT_ZALGO_MAX_MARKS == 3


@pytest.mark.parametrize(
    "cls, base, doc_start",
    [
        ("KelradError", ValueError, "Base exception for every error kelrad raises."),
        ("InvalidArgumentError", "KelradError", "An argument had an invalid value"),
        ("ResourceLimitError", "KelradError", "A configured resource limit was exceeded"),
        ("UnsupportedError", "KelradError", "A requested operation is not supported"),
    ],
)
def test_exception_classes(cls, base, doc_start):
    exc = getattr(_core, cls)
    base = getattr(_core, base) if isinstance(base, str) else base
    assert exc.__bases__ == (base,)
    assert exc.__module__ == "kelrad" and exc.__name__ == cls
    assert exc.__doc__.startswith(doc_start)
    assert getattr(kelrad, cls) is exc


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm")
def test_the_init_function_is_the_only_exported_symbol():
    listing = subprocess.run(["nm", "-D", "--defined-only", _core.__file__], capture_output=True, text=True,
                             check=True).stdout
    assert [line.split()[-1] for line in listing.splitlines()] == ["PyInit__core"]
