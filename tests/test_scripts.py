"""Script detection, mixed-script and bidirectional tests."""

import pytest

from kelrad import _core


@pytest.mark.parametrize(
    "text, scripts",
    [
        pytest.param("abc\u03b1\u0430", ["Latin", "Greek", "Cyrillic"], id="order-of-appearance"),
        pytest.param("123 !?", [], id="digits-and-punctuation"),
        pytest.param("e\u0301", ["Latin"], id="inherited-left-out"),
        pytest.param("\u00d7\u00f7", [], id="override-to-common"),
        pytest.param("\u65e5\u672c\u8a9e\u306e\u30ab\u30ca", ["Han", "Hiragana", "Katakana"], id="japanese"),
        pytest.param("\u1c91\u10d0", ["Georgian"], id="two-rows-one-name"),
        pytest.param("", [], id="empty"),
    ],
)
def test_detect_scripts(text, scripts):
    assert _core._detect_scripts(text) == scripts


@pytest.mark.parametrize(
    "text, whole, per_word",
    [
        pytest.param("\u65e5\u672c\u8a9e\u306e\u30ab\u30bf\u30ab\u30ca", False, False, id="han-kana"),
        pytest.param("\ud55c\uad6d\u97d3\u570b", False, False, id="hangul-han"),
        pytest.param("\u4e2d\u6587\u3105\u3106", False, False, id="han-bopomofo"),
        pytest.param("\ud55c\u3042", True, True, id="hangul-hiragana"),
        pytest.param("\u30ab\u3105", True, True, id="kana-bopomofo"),
        pytest.param("\u65e5\u672c" + "a", True, True, id="han-latin"),
        pytest.param("a\u65e5", True, True, id="latin-han"),
        pytest.param("\u03b1\u03b2\u03b3", False, False, id="greek-only"),
        pytest.param("123 - 456!", False, False, id="no-letters"),
        pytest.param("caf\u00e9 \u00d7 2", False, False, id="latin-with-common-override"),
        pytest.param("", False, False, id="empty"),
        pytest.param("abc def", False, False, id="latin-words"),
        pytest.param("abc \u0430\u0431\u0432", True, False, id="scripts-in-separate-words"),
        pytest.param("p\u0430ypal login", True, True, id="one-word-mixes"),
        pytest.param("\u3000 \t\n", False, False, id="only-white-space"),
        pytest.param("abc\u00a0\u0430\u0431\u0432", True, False, id="nbsp-separates"),
        pytest.param("abc\u200b\u0430\u0431\u0432", True, True, id="zwsp-does-not-separate"),
    ],
)
def test_is_mixed_script(text, whole, per_word):
    assert _core._is_mixed_script(text) is whole
    assert _core._is_mixed_script(text, per_word=False) is whole
    assert _core._is_mixed_script(text, per_word=True) is per_word


@pytest.mark.parametrize(
    "text, conflict, per_word",
    [
        pytest.param("\u05e9\u05dc\u05d5\u05dd abc", True, False, id="hebrew-latin-words"),
        pytest.param("\u05e9\u05dc\u05d5\u05ddabc", True, True, id="hebrew-latin-one-word"),
        pytest.param("\u05e9\u05dc\u05d5\u05dd 123", False, False, id="hebrew-digits"),
        pytest.param("\u200e\u05d0", True, True, id="lrm-counts-without-letters-only"),
        pytest.param("\u0627\u0644\u0639\u0631\u0628\u064a\u0629", False, False, id="arabic-only"),
        pytest.param("\u0627 \u05d0", False, False, id="al-and-r-agree"),
        pytest.param("\u0627 \u00e9", True, False, id="al-and-l-conflict"),
        pytest.param("", False, False, id="empty"),
    ],
)
def test_has_bidi_conflict(text, conflict, per_word):
    assert _core._has_bidi_conflict(text) is conflict
    assert _core._has_bidi_conflict(text, per_word=True) is per_word


@pytest.mark.parametrize(
    "text, found",
    [
        pytest.param("a\u200fb", True, id="rlm"),
        pytest.param("\u061c", True, id="arabic-letter-mark"),
        pytest.param("\u202a\u202e", True, id="embeddings-overrides"),
        pytest.param("\u2066x\u2069", True, id="isolates"),
        pytest.param("a\u200bb", False, id="zero-width-space"),
        pytest.param("a\u00adb", False, id="soft-hyphen"),
        pytest.param("\u2065\u206a", False, id="neighbours-of-isolates"),
        pytest.param("plain", False, id="ascii"),
    ],
)
def test_has_bidi_control(text, found):
    assert _core._has_bidi_control(text) is found
