"""Reverse transliteration (`_reverse_transliterate`, `_reverse_langs`)."""

import pytest

from kelrad import _core

R = _core._reverse_transliterate


@pytest.mark.parametrize(
    "text, lang, expected",
    [
        ("", "ru", ""),
        ("Moskva", "ru", "\u041c\u043e\u0441\u043a\u0432\u0430"),
        ("Shchi", "ru", "\u0429\u0438"),  # the four-byte key first
        ("YA", "ru", "\u042f"),
        ("ZHUK", "ru", "\u0416\u0423\u041a"),
        ("sH", "ru", "\u0441H"),  # mixed case: "ru" has no key H
        ("yozh", "ru", "\u0451\u0436"),
        ("Kyiv", "uk", "\u041a\u0457\u0432"),
        ("YI", "uk", "\u0407"),
        ("Hryvnia", "uk", "\u0413\u0440\u0438\u0432\u043d\u0456\u0430"),
        ("Athina", "el", "\u0391\u03b8\u03b7\u03bd\u03b1"),
        ("PSYCHE", "el", "\u03a8\u03a5\u03a7\u0395"),
        ("Ps", "el", "\u03a8"),
        ("ab 12, d!", "el", "\u03b1\u03b2 12, \u03b4!"),
        ("\u00e9 q\u4e2dw", "ru", "\u00e9 q\u4e2dw"),
        ("x\u0301", "el", "\u03be\u0301"),
    ],
)
def test_reverse(text, lang, expected):
    assert R(text, lang=lang) == expected


@pytest.mark.parametrize(
    "text, expected",
    [
        pytest.param("Christos", "\u03a7\u03c1\u03b7\u03c3\u03c4\u03bf\u03c2", id="word-final"),
        pytest.param("os a", "\u03bf\u03c2 \u03b1", id="before-a-space"),
        pytest.param("os.", "\u03bf\u03c2.", id="before-final-punctuation"),
        pytest.param("os.a", "\u03bf\u03c3.\u03b1", id="case-ignorable-then-letter"),
        pytest.param("s", "\u03c3", id="alone"),
        pytest.param("1s", "1\u03c3", id="after-a-digit"),
        pytest.param("SOS", "\u03a3\u039f\u03a3", id="capitals"),
    ],
)
def test_greek_final_sigma(text, expected):
    # Final_Sigma (Unicode 3.13) judged on the Greek output.
    assert R(text, lang="el") == expected



@pytest.mark.parametrize("lang", ["EL", "be", "", "ru "])
def test_unsupported_lang(lang):
    with pytest.raises(_core.UnsupportedError) as info:
        R("abc", lang=lang)
    assert str(info.value) == f"reverse transliteration not supported for lang '{lang}'; available: el, ru, uk"


def test_capitals_rule_upper_cases_the_small_letter_value():
    # Every multi-letter small key, written in capitals, gives its value upper-cased.
    for lang, keys in {"ru": ["shch", "ch", "kh", "sh", "ts", "ya", "ye", "yo", "yu", "zh"],
                       "uk": ["shch", "ch", "kh", "sh", "ts", "ya", "ye", "yi", "yu", "zh"],
                       "el": ["ch", "ph", "ps", "th"]}.items():
        for key in keys:
            assert R(key.upper(), lang=lang) == R(key, lang=lang).upper(), (lang, key)


def test_reverse_langs_is_a_new_list():
    langs = _core._reverse_langs()
    assert langs == ["el", "ru", "uk"]
    langs.append("xx")
    assert _core._reverse_langs() == ["el", "ru", "uk"]
