"""Forward transliteration: the engine through `_transliterate`, strict mode,
the argument order of the binding, and `_find_untranslatable`."""

import unicodedata

import pytest

from conftest import run_isolated, ucd_property
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
        # medials join the consonant before them; killers of every shape end a syllable
        pytest.param("\u1019\u103c\u1014\u103a\u1019\u102c", "mranma", id="burmese-myanmar"),
        pytest.param("\u101b\u1014\u103a\u1000\u102f\u1014\u103a", "rankun", id="burmese-yangon"),
        pytest.param("\u1000\u103b", "kya", id="burmese-medial-ya"),
        pytest.param("\u1b9e\u1ba5\u1b94\u1baa\u1b93", "sunda", id="sundanese-sunda"),
        pytest.param("\u1b95\u1ba5\u1b92\u1ba2", "putra", id="sundanese-putra"),
        pytest.param("\ua98f\ua9a0", "kata", id="javanese-kata"),
        pytest.param("\ua9a5\ua9bf\ua9a7\ua9b8", "prabu", id="javanese-prabu"),
        pytest.param("\ua9b1\ua9bf\ua9b6", "sri", id="javanese-sri"),
        pytest.param("\ua98f\ua9bd", "kre", id="javanese-keret-spells-its-vowel"),
        pytest.param("\uaa0c\uaa34", "cra", id="cham-medial-ra"),
        pytest.param("\u1a20\u1a55", "kra", id="tai-tham-medial-ra"),
        pytest.param("\u1700\u1705\u1715", "ang", id="tagalog-ang-pamudpod"),
        pytest.param("\u1780\u17d1", "k", id="khmer-viriam"),
        pytest.param("\u0d15\u0d3b", "k", id="malayalam-vertical-bar-virama"),
        pytest.param("\u0b15\u0b55", "ka", id="oriya-overline-keeps-the-vowel"),
        # independent vowels and final consonants leave the vowel before them
        pytest.param("\uabc0\uabe5\uabe1\uabc2\uabe9\uabc4\uabe5\uabdb", "kanleipak", id="meetei-kangleipak"),
        pytest.param("\uabcf\uabc3\uabe5", "ima", id="meetei-ima"),
        pytest.param("\uaa0c\uaa4c", "cam", id="cham-cam"),
        pytest.param("\uaa06\uaa4d", "kah", id="cham-final-h"),
        pytest.param("\uaa01", "i", id="cham-independent-i"),
        pytest.param("\u1a20\u1a59", "kang", id="tai-tham-final-nga"),
        pytest.param("\u1a4d", "i", id="tai-tham-independent-i"),
        pytest.param("\u0d5f", "i", id="malayalam-archaic-ii"),
        # consonants outside the old ranges, letters that are syllables, vowel carriers
        pytest.param("\u1075", "ka", id="shan-ka"),
        pytest.param("\u1075\u1083", "ka", id="shan-ka-aa"),
        pytest.param("\u1011\u1086", "thai", id="shan-tai"),
        pytest.param("\u0979", "zha", id="devanagari-zha"),
        pytest.param("\u1bbb\u1b8a", "reuka", id="sundanese-reu"),
        pytest.param("\ua989", "re", id="javanese-pa-cerek"),
        pytest.param("\u1a42", "lue", id="tai-tham-rue"),
        pytest.param("\uabd1\uabe3", "o", id="meetei-atiya-carries-o"),
        pytest.param("\uaa00\uaa2b", "i", id="cham-a-carries-i"),
    ],
)
def test_brahmic_syllables(text, expected, copies):
    assert T(" ".join([text] * copies), errors="strict") == " ".join([expected] * copies)


# The code points whose role in the inherent-vowel rule comes from their
# Indic_Syllabic_Category: those of the engine's Brahmic script class.
BRAHMIC = [(0x0900, 0x0DFF), (0x0F00, 0x109F), (0x1700, 0x17FF), (0x1A00, 0x1AAF), (0x1B00, 0x1BFF),
           (0xA980, 0xA9DF), (0xAA00, 0xAA5F), (0xAAE0, 0xAAFF), (0xABC0, 0xABFF)]
SIGNS = {"Vowel_Dependent", "Virama", "Pure_Killer", "Invisible_Stacker", "Reordering_Killer"}
MEDIALS = {"Consonant_Medial", "Consonant_Subjoined"}
# The characters that take another role than their category's: vowel carriers
# act as consonants, YUUKALEAPINTU follows the vowel, the Oriya overline marks
# its length, KERET spells a vowel of its own.
CARRIERS = {0x1021, 0xAA00, 0xABD1}
AS_OTHER = {0x17C8, 0x0B55}
AS_SIGN = {0xA9BD}


@pytest.fixture(scope="module")
def brahmic():
    """The Brahmic characters by role, and per script a consonant whose value ends in the
    inherent vowel and a vowel sign with a value of its own."""
    category, script = ucd_property("IndicSyllabicCategory.txt"), ucd_property("Scripts.txt")
    roles = {"consonant": [], "sign": [], "medial": [], "other": []}
    consonant, sign = {}, {}
    for cp in (cp for a, b in BRAHMIC for cp in range(a, b + 1) if cp in script):
        c, cat = chr(cp), category.get(cp, "Other")
        if cp in AS_SIGN or (cat in SIGNS and cp not in AS_OTHER):
            role = "sign"
        elif cp in CARRIERS or cat == "Consonant":
            role = "consonant"
        else:
            role = "medial" if cat in MEDIALS else "other"
        roles[role].append(c)
        if role == "consonant" and cp not in CARRIERS and T(c).endswith("a"):
            consonant.setdefault(script[cp], c)
        if cat == "Vowel_Dependent" and T(c, errors="ignore").isalpha():
            sign.setdefault(script[cp], c)
    return roles, script, consonant, sign


# Per role: whether it removes the "a" of a consonant before it, and whether
# a vowel sign after it removes its own last "a".
ROLE_EFFECTS = {"consonant": (False, True), "sign": (True, False), "medial": (True, True), "other": (False, False)}


def test_brahmic_roles_follow_the_syllabic_category(brahmic):
    """Each character, after a consonant of its script and before a vowel sign
    of its script, as its Indic_Syllabic_Category says: a sign replaces the
    consonant's "a" with its own value; a medial does too, and carries the "a"
    of the cluster, which a vowel sign replaces; an independent vowel, a final
    consonant and every other character leave the consonant whole. Consonant
    values end in a vowel, medial values in "a"."""
    roles, script, consonant, sign = brahmic
    t = lambda s: T(s, errors="ignore")  # noqa: E731  (a sign without a value writes nothing either way)
    # The engine composes canonically, excluded pairs too: a pair that some
    # character decomposes to, or whose marks reorder, is not read as two.
    composites = {unicodedata.normalize("NFD", chr(cp)) for cp in range(0x0900, 0xAC00)}
    wrong = {}
    for role, chars in roles.items():
        for c in chars:
            for first, then, removes in ((consonant.get(script[ord(c)]), c, ROLE_EFFECTS[role][0]),
                                         (c, sign.get(script[ord(c)]), ROLE_EFFECTS[role][1])):
                if first is None or then is None:
                    continue  # no partner in a Common or Inherited character's own script
                if first + then in composites or unicodedata.normalize("NFC", first + then) != first + then:
                    continue
                got = t(first + then)
                want = (t(first)[:-1] if removes and t(first).endswith("a") else t(first)) + t(then)
                if got != want:
                    wrong[f"{role} U+{ord(c):04X} {unicodedata.name(c, '')}: {first + then!a}"] = (got, want)
            ending = {"consonant": "aeiou", "medial": "a"}.get(role)
            if ending and not (t(c) and t(c)[-1] in ending):
                wrong[f"{role} U+{ord(c):04X} {unicodedata.name(c, '')}"] = (t(c), f"a value ending in {ending}")
    assert wrong == {}
    assert {role: len(chars) > 20 for role, chars in roles.items()} == dict.fromkeys(roles, True)


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
