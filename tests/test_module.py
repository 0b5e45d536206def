"""The module as Python sees it after import: names, order, signatures, docstrings, classes, constants."""

import inspect
import shutil
import subprocess
import weakref

import pytest

import kelrad
from conftest import tags
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
    assert _core.__all__ == CANONICAL
    for name in CANONICAL:
        assert hasattr(_core, name)


def test_functions_are_bound_to_the_module_with_signatures():
    for name in _core.__all__:
        obj = getattr(_core, name)
        if not callable(obj) or isinstance(obj, type):
            continue
        assert (obj.__module__, obj.__self__, obj.__name__) == (_core.__name__, _core, name)
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


SLUG = ('separator="-", lowercase=True, max_length=0, word_boundary=False, save_order=False, stopwords=..., '
        'regex_pattern=None, replacements=..., allow_unicode=False, lang=None, entities=True, decimal=True, '
        'hexadecimal=True')
PIPELINE = ('normalize=None, transliterate=False, lang=None, strict_iso9=False, gost7034=False, confusables=False, '
            'strip_accents=False, fold_case=False, collapse_whitespace=False, strip_control=None, '
            'strip_zero_width=None, demojize=False, demojize_replacement=None, strip_bidi=False, strip_zalgo=None, '
            'strip_pua=False, strip_plane14=False, resolve_deletions=False, resolve_cr=False, digit_policy="numeric"')
POLICY = 'digit_policy="numeric"'
# The text signatures as the docstrings must begin; a default that is not a plain literal shows "...".
SIGNATURES = [f"{name}(text)" for name in """_is_ascii _stream_safe _escape_html _fold_case _is_case_fold_stable
    _collapse_whitespace _strip_control_chars _strip_zero_width_chars _detect_scripts _has_bidi_control _strip_bidi
    _strip_tags _fold_punctuation _strip_variation_selectors _strip_noncharacters _strip_pua _decode_smuggled
    _grapheme_len _grapheme_split _strip_format""".split()] + [
    f"{name}(text, *, {POLICY})" for name in "_canonicalize _canonicalize_strict _strip_obfuscation _skeleton_key".split()
] + f"""
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
_has_anomalies(text, lexicon=None)
_inspect_anomalies(text, lexicon=None)
_has_anomalies_lex(text, lexicon)
_inspect_anomalies_lex(text, lexicon)
Lexicon(words)
SurrogateSafe(inner, retry)
_demojize(text, *, replacement=None, strip_modifiers=False, errors="replace", replace_with="[?]", provider=None)
_replace_emoji(text, replacement)
_set_emoji_provider(provider=None)
_grapheme_truncate(text, max_graphemes)
_terminal_width(text, *, ambiguous_wide=False)
_grapheme_width(cluster, *, ambiguous_wide=False)
_sanitize_filename(text, *, separator="_", max_length=255, platform="universal", lang=None, preserve_extension=True)
_nearest_match(value, candidates, *, max_distance=1)
_sort_key(text, *, lang=None, {POLICY})
_search_key(text, *, lang=None, {POLICY})
_catalog_key(text, *, lang=None, strict_iso9=False, {POLICY})
_ml_normalize(text, *, lang=None, emoji_style="cldr", fold_case=True)
_is_canonical(text, *, preset="canonicalize")
_get_pipeline(profile, *, {POLICY})
_slugify(text, *, {SLUG})
_slugify_batch(texts, *, {SLUG})
_Slugifier(*, {SLUG}, safe_chars="")
_UniqueSlugifier(*, check=None, {SLUG}, safe_chars="")
_Slugifier.slugify($self, text)
_UniqueSlugifier.slugify($self, text)
_UniqueSlugifier.reset($self)
_TextPipeline(*, {PIPELINE})
_TextPipeline.process($self, text)
_TextPipeline.steps($self)
_TextPipeline.purpose($self)
""".strip().splitlines()


@pytest.mark.parametrize("signature", SIGNATURES, ids=[s.split("(")[0] for s in SIGNATURES])
def test_text_signatures(signature):
    name = signature.split("(")[0]
    obj = _core
    for part in name.split("."):
        obj = getattr(obj, part)
    assert name + obj.__text_signature__ == signature


# The docstrings (of functions, classes and attributes) as they must begin, and text they hold further down.
DOCS = {
    "SurrogateSafe": "A _core function guarded by the scrub-and-retry",
    "AnomalyReport": "Structured anomaly report, parallel to `HostnameAnalysis`.",
    "AnomalyReport.anomalous": "Whether any token tripped (the same value `has_anomalies` returns).",
    "Finding.kind": 'Which branch fired: `"invisible"`, `"bidi"`, `"zalgo"`, `"mixed_script"`, `"leet"`, or '
                    '`"segmentation"`.',
    "Finding.reason": "A plain-language sentence describing the finding.",
    "SmuggledPayload.data": "The decoded bytes.",
    "Lexicon": "A reusable, opaque lexicon handle.",
    "KeyCollision": "One group of distinct inputs that reduce to the same key.",
    "KeyCollision.key": "The reduced form every member of the group shares.",
    "KeyCollision.values": "The distinct inputs that reduce to it, in order of first appearance.",
    "KeyCollision.indices": "Every position in the input list that belongs to this group, ascending.\nNot parallel",
    "NearestMatch": "One candidate name and how far it is from the value asked about.",
    "NearestMatch.value": "The candidate, in the spelling the caller supplied.",
    "NearestMatch.distance": "Its edit distance. `0` means the value *is* this candidate, which is reported\n",
    "HostnameAnalysis": "Findings from a hostname homoglyph analysis.\n\nReports factual findings;",
    "_TextPipeline.purpose": "What the named profile this was built from is for, or `None`.",
    "_UniqueSlugifier.slugify": "Generate a unique slug, appending numeric suffixes as needed.",
    "_demojize": "Expand emoji sequences to their CLDR short-name text descriptions.\n"
                 "Output is always the bare CLDR short name as plain text.\n",
    "_slugify": "Generate a URL-safe slug from Unicode text.",
}
DOC_HOLDS = {
    "_TextPipeline": "Composable, pre-compiled text cleaning pipeline.",
    "_list_profiles": "Sorted names of the available named policy profiles (`list_profiles`).",
    "_get_pipeline": "refuses a non-default policy",
    "_Slugifier": "\\b and \\B are\nASCII word boundaries",
    "_nearest_match": "nearest_match(value, candidates, *, max_distance=1) -> NearestMatch | None",
    "_sanitize_filename": 'sanitize_filename(text, *, separator="_", max_length=255, platform="universal",\n'
                          '                  lang=None, preserve_extension=True) -> str',
}


def doc(name):
    obj = _core
    for part in name.split("."):
        obj = getattr(obj, part)
    return obj.__doc__


@pytest.mark.parametrize("name", DOCS)
def test_docstring_beginnings(name):
    assert doc(name).startswith(DOCS[name])


@pytest.mark.parametrize("name", DOC_HOLDS)
def test_docstrings_hold(name):
    assert DOC_HOLDS[name] in doc(name)


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


# One object of each class the module defines, and a read-only attribute (None: none); the result classes
# build a new object on every read of it.
INSTANCES = {
    "AnomalyReport": (lambda: _core._inspect_anomalies("a\u200bb"), "findings"),
    "Finding": (lambda: _core._inspect_anomalies("a\u200bb").findings[0], "token"),
    "SmuggledPayload": (lambda: _core._decode_smuggled(tags("xy"))[0], "data"),
    "NearestMatch": (lambda: _core._nearest_match("a", ["ab"]), "value"),
    "KeyCollision": (lambda: _core._find_key_collisions(["ab", "AB"], key="fold_case")[0], "key"),
    "HostnameAnalysis": (lambda: _core._is_suspicious_hostname("a.com")[1], "label_scripts"),
    "Lexicon": (lambda: _core.Lexicon([]), None),
    "_Slugifier": (lambda: _core._Slugifier(lang="nb"), "lang"),
    "_UniqueSlugifier": (lambda: _core._UniqueSlugifier(), None),
    "_TextPipeline": (lambda: _core._TextPipeline(), None),
}
RESULTS = list(INSTANCES)[:6]


@pytest.mark.parametrize("name", INSTANCES)
def test_classes_are_closed_and_read_only(name):
    cls = getattr(_core, name)
    make, attribute = INSTANCES[name]
    obj = make()
    assert (cls.__module__, cls.__qualname__) == ("builtins", name) and type(obj) is cls
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    if name in RESULTS:
        with pytest.raises(TypeError):
            cls()
        assert getattr(obj, attribute) is not getattr(obj, attribute)
    if attribute:
        with pytest.raises(AttributeError):
            setattr(obj, attribute, 1)
        with pytest.raises(AttributeError):
            delattr(obj, attribute)
    with pytest.raises(AttributeError):
        obj.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(obj)
    assert not hasattr(obj, "__dict__")


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm")
def test_the_init_function_is_the_only_exported_symbol():
    listing = subprocess.run(["nm", "-D", "--defined-only", _core.__file__], capture_output=True, text=True,
                             check=True).stdout
    assert [line.split()[-1] for line in listing.splitlines()] == ["PyInit__core"]
