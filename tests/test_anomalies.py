"""Token anomalies: the scan, the reports and their reason sentences, lexicons."""

import random

import pytest

from conftest import ENGLAND, tags
from kelrad import _core

LEXICON = ["password", "paypal", "hello", "idiot", "\u03bf\u03b4\u03bf\u03c2"]
# ASCII, Arabic-Indic, Extended Arabic-Indic, Devanagari, Bengali, Gurmukhi, Gujarati, Oriya, Tamil.
DIGITS_OF_NINE_SYSTEMS = "1\u0662\u06f3\u096a\u09eb\u0a6c\u0aed\u0b6e\u0bef"


# One telling token per kind: (text, lexicon, kind, detail, reason).
@pytest.mark.parametrize(
    "text, lexicon, kind, detail, reason",
    [
        pytest.param("pay\u200bpal", None, "invisible", "U+200B",
                     '"pay\\u{200b}pal" contains an invisible character (U+200B)', id="zwsp-in-word"),
        pytest.param("pay\u200dpal", None, "invisible", "U+200D",
                     '"pay\\u{200d}pal" contains an invisible character (U+200D)', id="zwj-between-latin"),
        pytest.param("\u200b" * 8, None, "invisible", "U+200B \u00d78",
                     '"' + "\\u{200b}" * 8 + '" contains an invisible character (U+200B \u00d78)', id="zwsp-run"),
        pytest.param("a\ufe00\ufe01", None, "invisible", "U+FE00 \u00d72",
                     '"a\\u{fe00}\\u{fe01}" contains an invisible character (U+FE00 \u00d72)', id="two-selectors"),
        pytest.param("x\U000E0001", None, "invisible", "U+E0001 \u00d71",
                     '"x\\u{e0001}" contains an invisible character (U+E0001 \u00d71)', id="lone-tag"),
        pytest.param("1\u0662", None, "mixed_numbers", "2 decimal numbering systems",
                     '"1\u0662" mixes digits from 2 decimal numbering systems (UTS #39 Mixed Numbers)',
                     id="ascii-and-arabic-indic"),
        pytest.param(DIGITS_OF_NINE_SYSTEMS, None, "mixed_numbers", "8 decimal numbering systems",
                     f'"{DIGITS_OF_NINE_SYSTEMS}" mixes digits from 8 decimal numbering systems '
                     "(UTS #39 Mixed Numbers)",
                     id="nine-systems-count-8"),
        pytest.param("abc\u202bdef", None, "bidi", "U+202B",
                     '"abc\\u{202b}def" contains a bidirectional control character (U+202B)', id="rle-after-latin"),
        pytest.param("\u0627\u0644\u202e", None, "bidi", "U+202E",
                     '"\u0627\u0644\\u{202e}" contains a bidirectional control character (U+202E)',
                     id="rlo-after-arabic"),
        pytest.param("tel\u200f123", None, "bidi", "U+200F",
                     '"tel\\u{200f}123" contains a bidirectional control character (U+200F)', id="rlm-before-digit"),
        pytest.param("a\u20dd\u20de", None, "enclosing_mark", "U+20DD \u00d72",
                     '"a\\u{20dd}\\u{20de}" carries enclosing marks that hide the base text: U+20DD \u00d72',
                     id="two-enclosing-marks"),
        pytest.param("e\u0301\u0302\u0303\u0304", None, "zalgo", "stacked combining marks",
                     '"e\\u{301}\\u{302}\\u{303}\\u{304}" is overloaded with combining marks (zalgo)',
                     id="four-stacked"),
        pytest.param("a\u0301\u0301", None, "duplicate_mark", "U+0301",
                     '"a\\u{301}\\u{301}" repeats the same combining mark (U+0301), which renders as one',
                     id="repeated-mark"),
        pytest.param("payp\u0430l", None, "mixed_script", "Latin and Cyrillic",
                     '"payp\u0430l" mixes Latin and Cyrillic', id="cyrillic-a"),
        pytest.param("abc\u05d0\u05d1", None, "bidi_mixed", "Latin and Hebrew",
                     '"abc\u05d0\u05d1" mixes left-to-right and right-to-left letters (Latin and Hebrew), '
                     "which can visually reorder", id="latin-hebrew"),
        pytest.param("\uff50aypal", None, "compat_fold", "paypal",
                     '"\uff50aypal" mixes a compatibility form with ASCII and folds to paypal', id="fullwidth-p"),
        pytest.param("\U0001d429\U0001d41a\U0001d432", None, "compat_fold", "pay",
                     '"\U0001d429\U0001d41a\U0001d432" mixes a compatibility form with ASCII and folds to pay',
                     id="math-bold"),
        pytest.param("\u0261oogle", None, "confusable", "\u0261 (U+0261) folds to g",
                     '"\u0261oogle" contains a confusable: \u0261 (U+0261) folds to g', id="script-g"),
        pytest.param("\U0001D5C9\U0001D5BA\U0001D5D2\U0001D5C9\U0001D5BA\U0001D5C5", None, "compat_fold",
                     "paypal", None, id="math-sans-without-latin"),
        pytest.param("\u0251pple", None, "confusable", "\u0251 (U+0251) folds to a", None, id="latin-alpha"),
        pytest.param("\u0261\u0251\u0261\u0251", None, "confusable", "\u0261 (U+0261) folds to g", None,
                     id="lookalikes-without-latin-letter"),
        pytest.param("a\u3164b", None, "invisible", "U+3164",
                     '"a\\u{3164}b" contains an invisible character (U+3164)', id="hangul-filler-escaped"),
        pytest.param("ab\x07c", None, "control", "U+0007",
                     '"ab\\u{7}c" contains the control character U+0007', id="bell"),
        pytest.param("abc\bd", None, "control", "U+0008",
                     '"abc\\u{8}d" contains the control character U+0008, which erases the preceding \'c\'',
                     id="backspace"),
        pytest.param("p4ssw0rd", LEXICON, "leet", "password", '"p4ssw0rd" decodes to the word "password"',
                     id="leet"),
        pytest.param("(h3ll0)", LEXICON, "leet", "hello", '"(h3ll0)" decodes to the word "hello"',
                     id="leet-in-parentheses"),
        pytest.param("!d10t", LEXICON, "leet", "idiot", '"!d10t" decodes to the word "idiot"',
                     id="leet-bang-at-start"),
        pytest.param("p4ssw0rdd", LEXICON, "leet", "password", '"p4ssw0rdd" decodes to the word "password"',
                     id="near-spelling-removal"),
        pytest.param("p4sword", LEXICON, "leet", "password", '"p4sword" decodes to the word "password"',
                     id="near-spelling-insertion"),
        pytest.param("\u039f-\u0394-\u039f-\u03a3", LEXICON, "segmentation", "\u03bf\u03b4\u03bf\u03c2",
                     '"\u039f-\u0394-\u039f-\u03a3" splits the word "\u03bf\u03b4\u03bf\u03c2"',
                     id="split-greek-lower-cased-with-final-sigma"),
        pytest.param("p-a-y-p-a-l", LEXICON, "segmentation", "paypal", '"p-a-y-p-a-l" splits the word "paypal"',
                     id="split-letters"),
        pytest.param("h.3.l.l.0", LEXICON, "segmentation", "hello", '"h.3.l.l.0" splits the word "hello"',
                     id="split-leet-letters"),
        pytest.param("p\u2009a\u2009y\u2009p\u2009a\u2009l", LEXICON, "segmentation", "paypal",
                     '"p\\u{2009}a\\u{2009}y\\u{2009}p\\u{2009}a\\u{2009}l" splits the word "paypal"',
                     id="spaced-letters"),
        pytest.param("pay\u00a0pal", LEXICON, "segmentation", "paypal",
                     '"pay\\u{a0}pal" splits the word "paypal"', id="spaced-word-halves"),
    ],
)
def test_telling_tokens(text, lexicon, kind, detail, reason):
    report = _core._inspect_anomalies(text, lexicon)
    assert [(f.kind, f.token, f.detail, f.start, f.end) for f in report.findings] == [
        (kind, text, detail, 0, len(text.encode()))]
    if reason is not None:
        assert report.findings[0].reason == reason == report.reason
    assert _core._has_anomalies(text, lexicon) is True


@pytest.mark.parametrize(
    "text, lexicon",
    [
        pytest.param("1\ufe0f\u20e3", None, id="keycap"),
        pytest.param(ENGLAND, None, id="england-flag"),
        pytest.param("\U0001F468\u200d\U0001F469\u200d\U0001F467", None, id="emoji-zwj-sequence"),
        pytest.param("\u0645\u06cc\u200c\u062e\u0648\u0627\u0647\u0645", None, id="zwnj-in-persian"),
        pytest.param("\u0628\u200d\u0628", None, id="zwj-between-arabic"),
        pytest.param("\u0418\u0488 \u0410\u0489\u0488", None, id="cyrillic-numerals"),
        pytest.param("\u0627\u0644\u202b\u0639\u0631\u0628\u064a\u0629", None, id="rle-in-arabic-word"),
        pytest.param("10k\u2126 5\u00b5F 3\u212b", None, id="units"),
        pytest.param("caf\u00e9 cafe\u0301 na\u00efve", None, id="accented-latin"),
        pytest.param("\uff50\uff41\uff59\uff50\uff41\uff4c", None, id="fullwidth-word"),
        pytest.param("GET /a%20b%20c HTTP/1.1", None, id="percent-run"),
        pytest.param("line one\r\nline two\r\r\nthree\r\r", None, id="crlf-and-doubled-crs"),
        pytest.param("\u2764\ufe0f \u263a\ufe0e", None, id="emoji-presentation"),
        pytest.param("p4ssw0rd p-a-y-p-a-l h3ll0", None, id="lexicon-checks-without-lexicon"),
        pytest.param("password123 hello!! 21st 10am 3rd", LEXICON, id="suffix-ordinal-clock"),
        pytest.param("x1 -a- \u201cq\u201d", LEXICON, id="short-cores"),
        pytest.param("well-known state-of-the-art e.g. U.S.A.", LEXICON, id="ordinary-hyphens-and-dots"),
        pytest.param("\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440! \u65e5\u672c\u8a9e \u03b1\u03b2\u03b3",
                     LEXICON, id="single-script-words"),
        pytest.param("\u0261\u0251\u0261 \u0440\u0430\u0441\u0430", None, id="short-or-whole-script-lookalikes"),
        pytest.param("", None, id="empty"),
    ],
)
def test_clean_texts(text, lexicon):
    report = _core._inspect_anomalies(text, lexicon)
    assert report.findings == [] and report.kinds == [] and report.reason is None
    assert report.anomalous is False
    assert _core._has_anomalies(text, lexicon) is False


def test_report_order_and_kinds():
    # Payloads first; the overwrite goes before the first finding that starts
    # at or after its line; each kind is listed once.
    text = "hi pay\u200bpal l\u200bx " + tags("run") + "\nabc\rXYZ tail\u200b"
    report = _core._inspect_anomalies(text)
    assert [(f.kind, f.token, f.start) for f in report.findings] == [
        ("smuggled", "run", 19),
        ("invisible", "pay\u200bpal", 3),
        ("invisible", "l\u200bx", 13),
        ("invisible", tags("run"), 19),
        ("deletion", "abc", 32),
        ("invisible", "tail\u200b", 40),
    ]
    assert report.kinds == ["smuggled", "invisible", "deletion"]
    assert report.findings[0].detail == "tag_ascii" and report.reason == 'a hidden tag_ascii run decodes to "run"'


@pytest.mark.parametrize(
    "text, expected",
    [
        pytest.param("abc\rXYZ", [("deletion", "abc", 0, 3, "U+000D")], id="overwrite"),
        pytest.param("one two\rX l\u200bx", [("deletion", "one two", 0, 7, "U+000D"),
                                              ("invisible", "l\u200bx", 10, 15, "U+200B")], id="before-later-token"),
        pytest.param("a\u200bb x\ny z\rQ", [("invisible", "a\u200bb", 0, 5, "U+200B"),
                                             ("deletion", "y z", 8, 11, "U+000D")], id="after-earlier-token"),
        pytest.param("abc\r\rXYZ", [("deletion", "abc", 0, 3, "U+000D")], id="doubled-cr-overwrite"),
        pytest.param("\r\rXYZ\n\rQ", [], id="cr-runs-at-line-starts"),
        pytest.param("ab\u2028cd\rX", [("deletion", "cd", 5, 7, "U+000D")], id="line-separator-starts-a-line"),
    ],
)
def test_carriage_return_overwrites(text, expected):
    report = _core._inspect_anomalies(text)
    assert [(f.kind, f.token, f.start, f.end, f.detail) for f in report.findings] == expected
    assert _core._has_anomalies(text) is bool(expected)


def test_percent_runs_are_not_smuggled_findings():
    assert _core._has_anomalies("%68%69") is False
    assert [p.scheme for p in _core._decode_smuggled("%68%69")] == ["percent_escape"]


# The characters the scan calls invisible. Some are letters or a symbol to
# Unicode (the Hangul fillers, U+2800 BRAILLE PATTERN BLANK), which plain debug
# literals would keep; reasons and representations must never show any raw.
SCAN_INVISIBLES = [0x180E, *range(0x200B, 0x200E), *range(0x2060, 0x2065), *range(0x206A, 0x2070), 0xFEFF,
                   0x115F, 0x1160, 0x3164, 0xFFA0, 0x2800, *range(0x1BCA0, 0x1BCA4), *range(0x1D173, 0x1D17B),
                   *range(0xFFF9, 0xFFFC)]


@pytest.mark.parametrize("cp", SCAN_INVISIBLES, ids=lambda cp: f"U+{cp:04X}")
def test_invisible_characters_are_escaped_in_reasons(cp):
    ch, escape = chr(cp), f"\\u{{{cp:x}}}"
    # In a word: the quoted token of the invisible sentence. Before a backspace:
    # the erased character of the control sentence too.
    for text, reason_end in [(f"a{ch}b", f"invisible character (U+{cp:04X})"),
                             (f"ab{ch}\b", f"the preceding '{escape}'")]:
        report = _core._inspect_anomalies(text)
        finding = report.findings[0]
        shown = report.reason + finding.reason + repr(finding)
        assert ch not in shown and escape in repr(finding), ascii(shown)
        assert report.reason.endswith(reason_end), ascii(report.reason)


# ---- Classes -------------------------------------------------------------------


def test_representations_and_values():
    report = _core._inspect_anomalies('say "pay\u200bpal\\"')
    assert repr(report) == "AnomalyReport(anomalous=True, kinds=['invisible'])"
    (finding,) = report.findings
    assert repr(finding) == ('Finding(kind="invisible", token="\\"pay\\u{200b}pal\\\\\\"", start=4, end=16, '
                             'detail="U+200B")')
    assert repr(_core._inspect_anomalies("ok")) == "AnomalyReport(anomalous=False, kinds=[])"
    (filler,) = _core._inspect_anomalies("x a\u3164b").findings
    assert repr(filler) == 'Finding(kind="invisible", token="a\\u{3164}b", start=2, end=7, detail="U+3164")'


# ---- Lexicons ------------------------------------------------------------------


def test_lexicon_handle():
    assert len(_core.Lexicon(["Apple", "apple", "APPLE"])) == 1
    assert len(_core.Lexicon([])) == 0
    assert len(_core.Lexicon(words=("\u0130", "i\u0307", "\u039f\u0394\u039f\u03a3", "\u03bf\u03b4\u03bf\u03c2"))) == 2


def test_iterator_errors_pass_through():
    def words():
        yield "hello"
        raise KeyError("boom")

    with pytest.raises(KeyError):
        _core._has_anomalies("h3ll0", words())


@pytest.mark.parametrize("words", [["hello"], ("hello",), {"hello"}, iter(["HELLO"])],
                         ids=["list", "tuple", "set", "iterator"])
def test_per_call_iterables(words):
    assert _core._has_anomalies("h3ll0", words) is True
    assert _core._has_anomalies("h3ll0") is _core._has_anomalies("h3ll0", None) is _core._has_anomalies("h3ll0", [])


# ---- Scale and agreement -------------------------------------------------------


@pytest.mark.parametrize(
    "text, kinds",
    [
        pytest.param("a" + "\u200b" * 200_000 + "b", ["invisible"], id="invisibles"),
        pytest.param("\u200b\u200d" * 100_000, ["invisible"], id="bit-separators"),
        pytest.param("a" + "\u0301" * 1_000_000, ["zalgo"], id="marks"),
        pytest.param("x" + "\r" * 1_000_000 + "y", ["deletion"], id="carriage-returns"),
        pytest.param("ab " * 300_000, [], id="many-tokens"),
    ],
)
def test_large_inputs_stay_linear(text, kinds):
    assert _core._inspect_anomalies(text, LEXICON).kinds == kinds
    assert _core._has_anomalies_lex(text, _core.Lexicon(LEXICON)) is bool(kinds)


POOLS = [
    ["a", "b", "o", "p", " ", "-", ".", "!", "'"],
    ["\u200b", "\u200c", "\u200d", "\ufe0f", "\ufe00", "\U000E0041", "\U000E007F", "\u00ad", "\u2060"],
    ["\u0301", "\u0302", "\u20dd", "\u20e3", "\u0488", "\u0338"],
    ["0", "1", "3", "4", "5", "\u0662", "\u0966", "\U0001D7CE", "$", "@"],
    ["\u0430", "\u03bf", "\u05d0", "\u0627", "\u4e00", "\uff41", "\u0261", "\u2126", "\u212a", "\u00e9", "\u202e",
     "\u202b", "\u200f", "\r", "\n", "\x08", "\x7f", "\u00a0"],
]


def test_random_texts_agree():
    rng = random.Random(14)
    words = ["abp", "paypal", "hello", "pop", "\u0430bo", "\u03bf\u03b4\u03bf\u03c2"]
    lexicon = _core.Lexicon(words)
    for _ in range(4000):
        text = "".join(rng.choice(rng.choice(POOLS)) for _ in range(rng.randrange(16)))
        report = _core._inspect_anomalies(text, words)
        assert _core._has_anomalies(text, words) is report.anomalous, ascii(text)
        assert _core._has_anomalies_lex(text, lexicon) is report.anomalous, ascii(text)
        assert _core._inspect_anomalies_lex(text, lexicon).findings.__repr__() == report.findings.__repr__()
        assert _core._has_anomalies(text) is _core._inspect_anomalies(text).anomalous, ascii(text)
        assert report.kinds == list(dict.fromkeys(f.kind for f in report.findings))
        encoded = text.encode()
        for f in report.findings:
            if f.kind != "smuggled":
                assert encoded[f.start:f.end].decode() == f.token
