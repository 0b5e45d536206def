"""Automatic language choice (`_inspect_auto_lang`, and `lang="auto"`)."""

import pytest

from kelrad import _core


def choice(script, lang, reason, hits=()):
    return {"script": script, "chosen_lang": lang, "reason": reason, "discriminators_hit": list(hits)}


NONE = choice(None, None, "no_detection")


@pytest.mark.parametrize(
    "text, expected",
    [
        ("", NONE),
        ("hello", NONE),
        ("caf\u00e9", NONE),
        ("Vi\u1ec7t", NONE),  # U+1EC7 is no discriminator, nor its decomposition
        ("Ph\u1edf", NONE),
        ("Vie\u0323\u0302t", NONE),
        ("Stra\u00dfe", choice(None, "de", "latin_discriminator", ["\u00df"])),
        ("\u0130stanbul", choice(None, "tr", "latin_discriminator", ["\u0130"])),
        ("C\u01a1m", choice(None, "vi", "latin_discriminator", ["\u01a1"])),
        ("\u201cgro\u1e9e\u201d", choice(None, "de", "latin_discriminator", ["\u1e9e"])),
        ("\u041f\u0440\u0438\u0432\u0435\u0442", choice("Cyrillic", "ru", "script_default")),
        ("\u0407\u0436\u0430\u043a", choice("Cyrillic", "uk", "discriminator", ["\u0407"])),
        ("\u0402\u0430\u043a", choice("Cyrillic", "sr", "discriminator", ["\u0402"])),
        ("\u04e8\u043d\u0434\u04e9\u0440", choice("Cyrillic", "mn", "discriminator", ["\u04e8"])),
        ("\u0430\u0457\u0458", choice("Cyrillic", "uk", "discriminator", ["\u0457"])),  # first letter decides
        ("\u0633\u0644\u0627\u0645", choice("Arabic", "ar", "script_default")),
        ("\u067e\u062f\u0631", choice("Arabic", "fa", "discriminator", ["\u067e"])),
        ("\u65e5\u672c\u8a9e\u3067\u3059", choice("Han", "zh", "unambiguous_script")),
        ("\u3067\u3059\u65e5\u672c", choice("Hiragana", "ja", "unambiguous_script")),
        ("\u30ab\u30ca", choice("Katakana", "ja", "unambiguous_script")),
        ("\u16a0\u16a2\u16a6", choice("Runic", None, "unambiguous_script")),
        ("\u0928\u092e\u0938\u094d\u0924\u0947", choice("Devanagari", "hi", "unambiguous_script")),
        ("\u1c5a\u1c5f", choice("OlChiki", "sat", "unambiguous_script")),
        ("abc \u041f\u0440\u0438\u0432\u0435\u0442", choice("Cyrillic", "ru", "script_default")),
        ("\u041f\u0440\u0438\u0432\u0435\u0442 abc \u0130", choice("Cyrillic", "ru", "script_default")),
        ("Stra\u00dfe \u0407", choice("Cyrillic", "uk", "discriminator", ["\u0407"])),
        ("\u0301\u00b7 \u05e9", choice("Hebrew", "he", "unambiguous_script")),
    ],
)
def test_inspect_auto_lang(text, expected):
    result = _core._inspect_auto_lang(text)
    assert result == expected
    assert list(result) == ["script", "chosen_lang", "reason", "discriminators_hit"]


# The discriminators are searched in the first 2000 characters (not bytes).
@pytest.mark.parametrize(
    "text, expected",
    [
        pytest.param("\u0430" * 1998 + "\u0457" + "\u0430" * 10, "uk", id="1999th"),
        pytest.param("\u0430" * 1999 + "\u0457" + "\u0430" * 10, "uk", id="2000th"),
        pytest.param("\u0430" * 2000 + "\u0457" + "\u0430" * 10, "ru", id="2001st"),
        pytest.param("x" * 1000 + "\u0430" * 999 + "\u0457", "uk", id="2000th-at-byte-2998"),
    ],
)
def test_discriminator_window(text, expected):
    assert _core._inspect_auto_lang(text)["chosen_lang"] == expected
