"""The nine presets through their Python functions: results, options, errors, limits."""

import random

import pytest

import kelrad
from kelrad import _core

PRESETS = ["_canonicalize", "_canonicalize_strict", "_strip_obfuscation", "_strip_format", "_skeleton_key", "_sort_key",
           "_search_key", "_catalog_key", "_ml_normalize"]
GROWING = [name for name in PRESETS if name != "_strip_format"]


@pytest.mark.parametrize("name", PRESETS)
@pytest.mark.parametrize("text", ["already clean text", "Dirty\u200b  Text\u00a0"])
def test_results_are_new_str_objects(name, text):
    result = getattr(_core, name)(text)
    assert type(result) is str and result is not text


CASES = [
    # (id, function, text, options, result)
    ("doubled space alone", "_canonicalize", "a  b", {}, "a b"),
    ("tab and edges", "_canonicalize", " a\tb\n", {}, "a b"),
    ("vertical line folds", "_canonicalize", "a|b", {}, "alb"),
    ("class-0 mark composes", "_canonicalize", "\u0bc6\u0bbe", {}, "\u0bca"),
    ("composing letters", "_canonicalize", "\U00016d63\U00016d68", {}, "\U00016d6a"),
    ("fullwidth, invisible, decomposed", "_canonicalize", "\uff28i\u200b e\u0301", {}, "Hi \u00e9"),
    ("at most 3 marks per base", "_canonicalize", "e\u0301\u0302\u0303\u0304\u0305", {}, "\u00e9\u0302\u0303"),
    ("styled digit, numeric", "_canonicalize", "\U0001d7ce", {}, "0"),
    ("styled digit, tr39 opening fold", "_canonicalize", "\U0001d7ce", {"digit_policy": "tr39"}, "O"),
    ("styled digit, preserve", "_canonicalize", "\U0001d7ce", {"digit_policy": "preserve"}, "0"),
    ("Cyrillic mark on Latin dropped", "_canonicalize_strict", "a\u0483", {}, "a"),
    ("Cyrillic mark on Cyrillic kept", "_canonicalize_strict", "\u0434\u0483", {}, "\u0434\u0483"),
    ("mark before any letter kept", "_canonicalize_strict", "\u0483a", {}, "\u0483a"),
    ("every mark goes", "_strip_obfuscation", "e\u0301\u0301 \u00fc\u0bca", {}, "e u"),
    ("negation overlay stays", "_strip_obfuscation", "=\u0338", {}, "\u2260"),
    ("private use and VS16 kept", "_strip_format", "a\u200bb\u202e\ue000\u2764\ufe0f", {}, "ab\ue000\u2764\ufe0f"),
    ("no confusable folding", "_strip_format", "a|b  \uff21", {}, "a|b \uff21"),
    ("ASCII look-alikes", "_skeleton_key", "Il1O0", {}, "ll1o0"),
    ("ASCII look-alikes, tr39", "_skeleton_key", "Il1O0", {"digit_policy": "tr39"}, "llloo"),
    ("square unit folds twice", "_skeleton_key", "\u3381", {}, "na"),
    ("Latin accents and Bopomofo kept", "_sort_key", "\u00dcn\u00efc\u00f6d\u00e9 \u3105\u3106 \u0395\u03bb", {},
     "\u00fcn\u00efc\u00f6d\u00e9 \u3105\u3106 el"),
    ("only the Cyrillic run", "_sort_key", "Stra\u00dfe \u041c\u043e\u0441\u043a\u0432\u0430", {}, "strasse moskva"),
    ("everything to ASCII", "_search_key", "Stra\u00dfe \u00c9t\u00e9 \u041c\u0438\u0440", {}, "strasse ete mir"),
    ("per-code-point tables without lang", "_catalog_key", "\u0425\u043b\u0435\u0431", {}, "khleb"),
    ("ISO 9", "_catalog_key", "\u0425\u043b\u0435\u0431 \u0419\u043e\u0434", {"strict_iso9": True}, "hleb jod"),
    ("confusables fold", "_catalog_key", "a|b x\u2223y", {}, "alb xly"),
    ("search keys fold no confusables", "_search_key", "a|b x\u2223y", {}, "a|b x\u2223y"),
    ("emoji named", "_ml_normalize", "I \u2764 caf\u00e9 \U0001f600", {}, "i red heart cafe grinning face"),
    ("emoji kept with none", "_ml_normalize", "I \u2764 caf\u00e9", {"emoji_style": "none"}, "i \u2764 cafe"),
    ("no lang: accents stripped, no transliteration", "_ml_normalize", "Caf\u00e9 \u041c\u0438\u0440", {},
     "cafe \u043c\u0438\u0440"),
    ("lang transliterates", "_ml_normalize", "Caf\u00e9 \u041c\u0438\u0440", {"lang": "ru"}, "cafe mir"),
    ("case kept", "_ml_normalize", "Caf\u00e9", {"fold_case": False}, "Cafe"),
    ("lang None is no lang", "_sort_key", "\u041c\u0438\u0440", {"lang": None}, "mir"),
]


@pytest.mark.parametrize("name, text, options, want", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_preset_results(name, text, options, want):
    assert getattr(_core, name)(text, **options) == want


BAD_POLICY = "digit_policy must be 'numeric', 'tr39', or 'preserve', got '{}'"
# The option checks and their order; the conversions are the binder's (tests/test_binding.py).
ERRORS = [
    ("policy-case", lambda: _core._sort_key("x", digit_policy="TR39"), BAD_POLICY.format("TR39")),
    ("policy-before-lang", lambda: _core._sort_key("x", lang="zz", digit_policy="bad"), BAD_POLICY.format("bad")),
    ("skeleton-parses-its-own-policy", lambda: _core._skeleton_key("x", digit_policy="bad"), BAD_POLICY.format("bad")),
    ("unknown-lang", lambda: _core._catalog_key("x", lang="zz"),
     "unknown language code 'zz' (did you mean 'zh'?); expected 'auto'"),
    ("emoji-style-case", lambda: _core._ml_normalize("x", emoji_style="CLDR"),
     "emoji_style must be 'cldr' or 'none', got 'CLDR'"),
    ("lang-before-emoji-style", lambda: _core._ml_normalize("x", lang="zz", emoji_style="bad"),
     "unknown language code 'zz'"),
]


@pytest.mark.parametrize("call, message", [e[1:] for e in ERRORS], ids=[e[0] for e in ERRORS])
def test_errors(call, message):
    with pytest.raises(kelrad.InvalidArgumentError) as info:
        call()
    assert str(info.value).startswith(message)


# U+FDFA grows from 3 to 33 bytes under NFKC, U+3300 from 3 to 12, U+00A8
# from 2 to 3: 349,525 + 1 + 1 of them grow the text by exactly 10 MiB.
AT_LIMIT = "\ufdfa" * 349_525 + "\u3300" + "\u00a8"
TOO_LARGE = "a preset expanded the input from {} to {} bytes, more than the 10485760 bytes of growth it allows"


@pytest.mark.parametrize("name", GROWING)
def test_growth_limit_is_exact(name):
    preset = getattr(_core, name)
    preset(AT_LIMIT)
    with pytest.raises(kelrad.ResourceLimitError, match="^" + TOO_LARGE.format(1048582, 11534343) + "$"):
        preset(AT_LIMIT + "\u00a8")
    # Under tr39 the key chains run to a fixed point, within the same limit.
    options = {"digit_policy": "tr39"} if name != "_ml_normalize" else {}
    with pytest.raises(kelrad.ResourceLimitError, match=TOO_LARGE.format(1048578, 11534358)):
        preset("\ufdfa" * 349_526, **options)


def test_strip_format_cannot_grow():
    text = "\ufdfa" * 349_526
    assert _core._strip_format(text) == text


# Under tr39 and preserve the key chains re-run until they settle, so the key
# of a key is itself.
@pytest.mark.parametrize("name", ["_sort_key", "_search_key"])
@pytest.mark.parametrize("policy", ["tr39", "preserve"])
def test_key_chains_settle(name, policy):
    rng = random.Random(3)
    alphabet = "aI1|`\"\u0430\u0410\u01c4\u2160\U0001d7cf\u0301\u00e9\u041c\u0416\u03a3\u3381\u2460 "
    preset = getattr(_core, name)
    for _ in range(500):
        text = "".join(rng.choice(alphabet) for _ in range(rng.randrange(8)))
        key = preset(text, digit_policy=policy)
        assert preset(key, digit_policy=policy) == key, text
