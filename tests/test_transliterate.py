"""Forward transliteration: the engine through `_transliterate`, strict mode,
the argument order of the binding, and `_find_untranslatable`."""

import pytest

from conftest import run_isolated
from kelrad import _core

T = _core._transliterate


class Text(str):
    pass


# --- ASCII is handed back -----------------------------------------------------

@pytest.mark.parametrize(
    "options",
    [{}, {"lang": "de"}, {"lang": "auto"}, {"lang": "ja-kunrei", "tones": True}, {"strict_iso9": True},
     {"gost7034": True, "lang": "ru"}, {"errors": "ignore", "replace_with": ""}, {"errors": "preserve"}],
    ids=lambda o: ",".join(f"{k}={v}" for k, v in o.items()) or "defaults",
)
@pytest.mark.parametrize("text", ["", "plain ASCII text, 42 words!", "x" * 1000, Text("hello")],
                         ids=["empty", "short", "long", "subclass"])
def test_ascii_is_the_same_object(text, options):
    assert T(text, **options) is text


@pytest.mark.parametrize("text, errors", [("abc" * 10, "strict"), ("\u3001", "preserve")], ids=["strict", "non-ascii"])
def test_other_results_are_new_strings_even_when_equal(text, errors):
    out = T(text, errors=errors)
    assert out == text and out is not text


# --- the engine ---------------------------------------------------------------

@pytest.mark.parametrize(
    "text, options, expected",
    [
        # CJK spacing
        ("\u5317\u4eac", {}, "bei jing"),
        ("\u5317\u4eacabc", {}, "bei jing abc"),
        ("abc\u5317\u4eac", {}, "abc bei jing"),
        ("\u5317\u4eac, abc", {}, "bei jing, abc"),
        (",\u5317", {}, ",bei"),
        ("\u3001\u5317", {}, "[?]bei"),
        ("\ud55c\uad6d", {}, "han gug"),
        ("\u30ab\u30bf\u30ab\u30ca", {}, "katakana"),
        ("\u30ab\u30ca\u6f22", {}, "kana han"),
        ("abc\u30ab\u30ca", {}, "abc kana"),
        ("\u30ab\u30caabc", {}, "kanaabc"),
        ("\u4e2d\u56fd", {"tones": True}, "zh\u014dng gu\u00f3"),
        ("\u4e2d\u56fd", {}, "zhong guo"),
        # Brahmic inherent vowel
        ("\u0915\u093f", {}, "ki"),
        ("\u0915\u094d", {}, "k"),
        ("\u0928\u092e\u0938\u094d\u0924\u0947", {}, "namaste"),
        ("\u0915\u094d\u0937", {}, "ksha"),  # the virama removes the "a" of "ka" and writes nothing
        # an unassigned Gurmukhi consonant writes nothing: the "a" before it is the caller's
        ("a\u0a29\u0a3f", {"errors": "ignore"}, "ai"),
        # the compose pass
        ("e\u0301", {}, "e"),
        ("Cafe\u0301 \u5317", {}, "Cafe bei"),
        # pointed Hebrew: canonical order puts the vowel between the letter and its dagesh or shin dot
        ("\u05d1\u05b7\u05bc", {}, "ba"),
        ("\u05e9\u05b8\u05c1\u05dc\u05d5\u05b9\u05dd", {}, "shalom"),
        ("\u05e9\u05b8\u05c1\u05dc\u05d5\u05b9\u05dd", {"lang": "auto"}, "shalom"),
        ("\u05e9\u05b8\u05c2", {}, "sa"),
        ("\u05e9\u05b8\u05c1\u05dc\u05d5\u05b9\u05dd " * 40, {}, "shalom " * 40),  # the described-character path
        # errors policy
        ("\u3001", {}, "[?]"),
        ("\u3001", {"errors": "ignore"}, ""),
        ("\u3001", {"errors": "preserve"}, "\u3001"),
        ("a\u3001b", {"replace_with": "<?>"}, "a<?>b"),
        # NFKC recovery
        ("\ufb01", {}, "fi"),
        ("\u3000", {}, " "),
        # languages and schemes
        ("\u00e4", {"lang": "de"}, "ae"),
        ("\u00e4", {}, "a"),
        ("\u0429", {"strict_iso9": True, "lang": "bg"}, "Shch"),
        ("\u0429", {"lang": "bg"}, "Sht"),
        ("\u0425\u0429", {"gost7034": True, "lang": "uk"}, "XShh"),
        ("\u042a\u042c", {"lang": "ru"}, "\"'"),
        ("\u042a\u042c", {"gost7034": True, "lang": "ru"}, ""),
        ("\u30fc", {"lang": "ja"}, ""),
        ("l\u00b7l", {}, "l.l"),
        ("l\u00b7l", {"lang": "ca"}, "ll"),
        # automatic language choice
        ("\u0407\u0436\u0430\u043a", {"lang": "auto"}, "Izhak"),
        ("Stra\u00dfe \u00fcber", {"lang": "auto"}, "Strasse ueber"),
        ("\u00fc", {"lang": "auto"}, "u"),
        ("\u0413\u0438", {"lang": "auto"}, "Gi"),  # "ru"
        ("\u0413\u0456", {"lang": "auto"}, "Hi"),  # U+0456 picks "uk", whose map gives U+0413 "H"
        ("\u067e\u0648", {"lang": "auto"}, "pv"),  # "fa": U+0648 is "v" in Persian, "w" by default
        ("\u0648", {"lang": "auto"}, "w"),  # "ar"
    ],
)
def test_engine(text, options, expected):
    assert T(text, **options) == expected


@pytest.mark.parametrize("copies", [1, 64], ids=["looked-up", "described"])
@pytest.mark.parametrize(
    "text, expected",
    [
        # signs after the vowel: the consonant has already written the "a"
        pytest.param("\u1780\u17c6", "kam", id="khmer-nikahit"),
        pytest.param("\u1780\u17c7", "kah", id="khmer-reahmuk"),
        pytest.param("\u1780\u17c8", "kak", id="khmer-yuukaleapintu"),
        pytest.param("\u1780\u17bb\u17c6", "kom", id="khmer-nikahit-after-vowel-sign"),
        pytest.param("\u0915\u0902", "kam", id="devanagari-anusvara"),
        # a subjoined letter stacks under the consonant above it
        pytest.param("\u0f40\u0fb2", "kra", id="tibetan-subjoined"),
        pytest.param("\u0f42\u0fb2\u0fad", "grwa", id="tibetan-two-subjoined"),
        pytest.param("\u0f40\u0fb2\u0f72", "kri", id="tibetan-subjoined-then-vowel-sign"),
        pytest.param("\u0f66\u0f90\u0f84", "sk", id="tibetan-subjoined-then-virama"),
        pytest.param("\u0f40\u0f72\u0fb2", "kira", id="tibetan-subjoined-after-vowel-sign"),
        pytest.param("a\u0fb2", "ara", id="tibetan-subjoined-after-ascii"),
        # vowel signs outside the Indic block layout, by their names
        pytest.param("\u0915\u0956", "ku", id="devanagari-ue"),
        pytest.param("\u0915\u094e", "ke", id="devanagari-prishthamatra-e"),
        pytest.param("\u0915\u093a", "ko", id="devanagari-oe"),
        pytest.param("\u0915\u0962", "kl", id="devanagari-vocalic-l"),
        pytest.param("\u0d15\u0d57", "kau", id="malayalam-au-length-mark"),
        pytest.param("\u0c95\u0cd6", "ki", id="kannada-ai-length-mark"),
        pytest.param("\u0f40\u0f80", "ki", id="tibetan-reversed-i"),
        pytest.param("\u1000\u1062", "ko", id="myanmar-sgaw-karen-eu"),
        pytest.param("\u1000\u1071", "ki", id="myanmar-geba-karen-i"),
        pytest.param("\u1000\u1083", "ka", id="myanmar-shan-aa"),
        pytest.param("\uabc0\uaaeb", "ki", id="meetei-mayek-extension-ii"),
        pytest.param("\uabc0\uaaf5", "kah", id="meetei-mayek-visarga"),
        # the Malayalam fractions are numbers, not consonants
        pytest.param("\u0d58", "2", id="malayalam-fraction"),
        pytest.param("\u0d15\u0d5e\u0d3f", "ka64i", id="malayalam-fraction-between-consonant-and-sign"),
    ],
)
def test_brahmic_vowels(text, expected, copies):
    assert T(" ".join([text] * copies), errors="strict") == " ".join([expected] * copies)


# --- strict mode ----------------------------------------------------------------

@pytest.mark.parametrize(
    "text, ch, offset",
    [
        ("\u3001", "\u3001", 0),
        ("ab\u3001c\u3002", "\u3001", 2),
        ("\u00e9\u3002\u3001", "\u3002", 2),
        ("e\u0301\u3001", "\u3001", 3),
        ("\u2203\u0338", "\u2203", 0),  # composed to U+2204; named by the caller's own character
    ],
)
def test_strict_reports_the_first_hit(text, ch, offset):
    with pytest.raises(_core.KelradError) as info:
        T(text, errors="strict")
    assert type(info.value) is _core.KelradError
    assert str(info.value) == f"no transliteration for {ch!r} (U+{ord(ch):04X}) at byte offset {offset}"


def test_strict_without_hits_gives_the_plain_output():
    assert T("\u5317\u4eac x\u00e9", errors="strict") == "bei jing xe"


# --- argument order ---------------------------------------------------------------

BOTH_SCHEMES = "strict_iso9 and gost7034 are mutually exclusive"
F = _core._find_untranslatable


@pytest.mark.parametrize(
    "call, exc, message",
    [
        pytest.param(lambda: T("abc", strict_iso9=True, gost7034=True, lang="xx-unknown"),
                     _core.InvalidArgumentError, BOTH_SCHEMES, id="schemes-before-lang"),
        pytest.param(lambda: T("abc", lang="xx-unknown", errors="bogus"), _core.InvalidArgumentError,
                     "unknown language code 'xx-unknown'", id="lang-before-errors"),
        pytest.param(lambda: T("abc", errors="Strict"), _core.InvalidArgumentError,
                     "errors must be 'replace', 'ignore', or 'preserve', got 'Strict'", id="errors-case"),
        pytest.param(lambda: T("abc", errors=""), _core.InvalidArgumentError,
                     "errors must be 'replace', 'ignore', or 'preserve', got ''", id="errors-empty"),
        pytest.param(lambda: T("a\ud800", errors="bogus"), UnicodeEncodeError, "surrogates not allowed",
                     id="surrogate-before-errors"),
        pytest.param(lambda: T("a\ud83d\ude00"), UnicodeEncodeError, "surrogates not allowed", id="surrogate-pair"),
        pytest.param(lambda: F("x", strict_iso9=True, gost7034=True, lang="nope"), _core.InvalidArgumentError,
                     BOTH_SCHEMES, id="find-schemes-before-lang"),
        pytest.param(lambda: F("x", lang="nope"), _core.InvalidArgumentError, "unknown language code 'nope'",
                     id="find-lang"),
    ],
)
def test_check_order(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value).startswith(message) or message in str(info.value)
    if exc is UnicodeEncodeError:
        assert not getattr(info.value, "__notes__", None)


# --- find_untranslatable -------------------------------------------------------------

@pytest.mark.parametrize(
    "text, options, expected",
    [
        ("plain", {}, []),
        ("", {}, []),
        ("\u00e9\u3001", {}, [("\u3001", 2)]),
        ("\u3001x\u3001", {}, [("\u3001", 0), ("\u3001", 4)]),
        ("e\u0301\u3001", {}, [("\u3001", 3)]),
        ("x=\u0338", {}, [("=", 1)]),
        ("\ufb01\u3002", {}, [("\u3002", 3)]),
        ("\u0429", {"strict_iso9": True, "lang": "auto"}, []),
    ],
)
def test_find_untranslatable(text, options, expected):
    assert F(text, **options) == expected


# --- registered languages in the engine -------------------------------------------------

def test_an_empty_consonant_value_removes_no_letter_of_the_text():
    _core._register_lang("zz-vowel", {"\u0915": "", "\u0916": "kh"})
    assert T("a\u0915\u093f", lang="zz-vowel") == "ai"
    assert T("\u0916\u094d", lang="zz-vowel") == "kh"  # the value ends in no inherent vowel
    assert T("\u0917\u094d", lang="zz-vowel") == "g"


def test_registering_a_builtin_code_extends_it():
    run_isolated("""
        from kelrad import _core
        _core._register_lang("de", {"\\u00e4": "registered", "\\u00fe": "th!"})
        assert _core._transliterate("\\u00e4\\u00fe", lang="de") == "aeth!"
        assert _core._transliterate("\\u00fe", lang="auto") == "th"
        assert _core._transliterate("\\u00fe\\u00df", lang="auto") == "th!ss"  # auto picks "de"
        assert _core._transliterate("\\u00fe", strict_iso9=True, lang="de") == "th"
        assert _core._list_langs().count("de") == 1
    """)


@pytest.mark.parametrize(
    "text, expected_len",
    [
        ("a" + "\u0301" * 1_000_000, 1),
        ("a" + "\u0301\u0316" * 500_000, 1),
        ("e\u0301" * 500_000, 500_000),
        ("\u1100\u1161" * 300_000, 899_999),
    ],
    ids=["one-mark", "two-classes", "decomposed", "conjoining-jamo"],
)
def test_hostile_input_is_linear(text, expected_len):
    for options in ({}, {"lang": "auto"}, {"errors": "strict"}):
        assert len(T(text, **options)) == expected_len
    assert F(text) == []
