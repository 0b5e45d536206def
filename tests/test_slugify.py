"""`_slugify` and `_slugify_batch`: the steps of a slug, the pattern option on RE2, option checks and
their order, and the batch's limits, lock release and replacement cache between threads."""

import pytest

from conftest import assert_lets_threads_run, in_threads
from kelrad import _core

S = _core._slugify
B = _core._slugify_batch


def row(text, expected, id, **options):
    return pytest.param(text, options, expected, id=id)


SLUGS = [
    row("", "", "empty"),
    row("", "", "empty-with-options", replacements=[("", "x")], max_length=3, allow_unicode=True),
    row("Hello, World!", "hello-world", "punctuation"),
    row("--a__b--", "a-b", "separator-runs"),
    row("Hello World", "Hello-World", "case-kept", lowercase=False),
    row("a b c", "abc", "empty-separator", separator=""),
    row("a b", "a::b", "multi-character-separator", separator="::"),
    row("box", "box", "word-ending-like-separator", separator="x"),
    # replacements
    row("banana", "bbnbnb", "one-pair", replacements=[("a", "b")]),
    row("ab", "xaxbx", "one-pair-empty-key", replacements=[("", "x")]),
    row("abcd", "xcd", "first-listed-wins", replacements=[("ab", "x"), ("abc", "y")]),
    row("abcd", "yd", "first-listed-wins-longer", replacements=[("abc", "y"), ("ab", "x")]),
    row("ab", "zb", "empty-key-ignored", replacements=[("", "-"), ("a", "z")]),
    row("a&b", "a-b", "replacements-before-references", replacements=[("&", "&amp;")]),
    # character references (decoded as the native slug_character_references shows)
    row("Fish &amp; Chips", "fish-chips", "named"),
    row("Fish &amp; Chips", "fish-amp-chips", "entities-off", entities=False),
    row("foo&#10;bar&#9;baz", "foo-bar-baz", "white-space-references-separate"),
    row("x&#65;", "x-65", "decimal-off", decimal=False),
    row("x&#x41;", "x-x41", "hexadecimal-off", hexadecimal=False),
    # transliteration
    row("a\ue000b", "ab", "untranslatable-vanishes"),
    row("\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440", "privet-mir", "cyrillic"),
    row("Gr\u00fc\u00dfe", "gruesse", "lang", lang="de"),
    row("Gr\u00fc\u00dfe", "grusse", "no-lang"),
    row("\u00c6ble", "aeble", "alias", lang="nb"),
    # Unicode kept
    row("caf\u00e9 au lait", "caf\u00e9-au-lait", "unicode-letters", allow_unicode=True),
    row("CAF\u00c9", "caf\u00e9", "unicode-lowercase", allow_unicode=True),
    row("cafe\u0301", "caf\u00e9", "unicode-composed", allow_unicode=True),
    row("x\u24b6y\U0001f130z", "x-y-z", "enclosed-letters-separate", allow_unicode=True),
    row("a\u0301\u0301\u0301\u0301b", "\u00e1\u0301b", "two-marks-at-most", allow_unicode=True),
    row("a \u0301b", "a-b", "mark-starting-a-word", allow_unicode=True),
    row("a\u200db c\u200d d \u200de", "a\u200db-c-d-e", "joiners", allow_unicode=True),
    row("\u1100 \u1161", "\uac00", "composed-again-without-separator", allow_unicode=True, separator=""),
    row("\u00e9\u0661\u00b2", "\u00e9\u0661\u00b2", "numbers-kept", allow_unicode=True),
    # stopwords
    row("the-lord-of-the-rings", "lord-rings", "stopwords", stopwords=["The", "of"]),
    row("the-lord-of-the-rings", "lord-of-the-rings", "stopwords-save-order", stopwords=["The", "of"],
        save_order=True),
    row("The Lord", "Lord", "stopwords-case-kept", stopwords=["the"], lowercase=False),
    row("the of", "", "only-stopwords", stopwords=["the", "of"]),
    row("the of", "", "only-stopwords-save-order", stopwords=["the", "of"], save_order=True),
    row("a the b", "atheb", "no-stopwords-without-separator", stopwords=["the"], separator=""),
    # truncation
    row("hello-world", "hello", "cut", max_length=5),
    row("hello-world", "hello", "cut-leaves-separator", max_length=6),
    row("hello-world", "hello", "word-boundary", max_length=7, word_boundary=True),
    row("helloworld foo", "hellowo", "first-word-too-long", max_length=7, word_boundary=True),
    row("ab cd", "ab", "partial-separator-dropped", separator="--", max_length=3),
    row("ab cd", "ab", "word-boundary-partial-separator", separator="--", max_length=3, word_boundary=True),
    row("box fox", "box", "word-end-kept", separator="x-", max_length=3),
    row("\u00e9t\u00e9", "\u00e9", "character-boundary", allow_unicode=True, max_length=2),
    row("a\u200db", "a", "joiner-left-by-cut", allow_unicode=True, max_length=4),
    row("q\u0301q\u0301", "q\u0301", "grapheme-cluster-kept-whole", allow_unicode=True, max_length=4),
    row("\u0915\u094d\u0937 x", "", "first-cluster-too-long", allow_unicode=True, max_length=4),
]


@pytest.mark.parametrize("text, options, expected", SLUGS)
def test_slugs(text, options, expected):
    assert S(text, **options) == expected
    assert B([text, text], **options) == [expected, expected]
    if "safe_chars" not in options:
        assert _core._Slugifier(**options).slugify(text) == expected


PATTERNS = [
    row("a b", "ab", "matches-deleted-not-separated", regex_pattern=r"\s"),
    row("abc", "bc", "leftmost-first", regex_pattern="a|ab"),
    row("aab b", "b-b", "empty-matches", regex_pattern="a*"),
    row("ab", "ab", "empty-pattern", regex_pattern=""),
    row("Hello", "ello", "after-lower-casing", regex_pattern="h"),
    row("a\x0bb", "ab", "unicode-space", regex_pattern=r"\s"),
    row("a\u3000b", "ab", "ideographic-space", regex_pattern=r"\s", allow_unicode=True),
    row("a\u0663b", "ab", "unicode-digit", regex_pattern=r"\d", allow_unicode=True),
    row("\u00e9t\u00e9 x", "", "unicode-word", regex_pattern=r"\w+", allow_unicode=True),
    row("\u00e9-\u00fc", "\u00e9\u00fc", "unicode-non-word", regex_pattern=r"\W", allow_unicode=True),
    row("x\u0663\u00e9y", "xy", "classes-in-brackets", regex_pattern="[\\d\u00e9]", allow_unicode=True),
    row("a1 b2", "a-b", "negated-in-brackets", regex_pattern=r"[^\D]", allow_unicode=True),
    row("ab", "b", "named-group", regex_pattern="(?<first>a)"),
    row("x1 y", "x1", "anchors", regex_pattern=" y$"),
    # a hyphen next to a class escape is a member when no range can follow it
    row("a-1b", "ab", "class-then-final-hyphen", regex_pattern=r"[\d-]", allow_unicode=True),
    row("az-9b", "ab", "class-then-escaped-hyphen", regex_pattern=r"[\d\-z]"),
    row("a#1[b", "ab", "range-ending-at-bracket", regex_pattern=r"[!-[]"),
]


@pytest.mark.parametrize("text, options, expected", PATTERNS)
def test_patterns(text, options, expected):
    assert S(text, **options) == expected


def raises(exc, message, **options):
    return exc, message, options


# The first failing check is reported: conversions in signature order, then lang, max_length, the pattern. The
# pattern's own refusals are tested natively (slug_pattern_rewrite); these are those of RE2 and one of each kind.
OPTION_ERRORS = {
    "safe-chars-not-an-option": raises(TypeError, "_slugify() got an unexpected keyword argument 'safe_chars'",
                                       safe_chars="-"),
    "length-before-pattern": raises(_core.InvalidArgumentError, "max_length must be non-negative, got -1",
                                    max_length=-1, regex_pattern="("),
    "lang-first": raises(_core.InvalidArgumentError, "unknown language code 'xx'", max_length=-1,
                         regex_pattern="(", lang="xx"),
    "conversion-first": raises(TypeError, "'int' object is not an instance of 'bool'", lang="xx",
                               hexadecimal=0),
    "pattern-513": raises(_core.ResourceLimitError, "regex_pattern is too long (513 bytes); maximum is 512 bytes",
                          regex_pattern="a" * 513),
    "pattern-257-e-acute": raises(_core.ResourceLimitError, "regex_pattern is too long (514 bytes)",
                                  regex_pattern="\u00e9" * 257),
    "syntax": raises(_core.InvalidArgumentError, 'invalid regex_pattern "(": missing ): (', regex_pattern="("),
    "quoted-with-escapes": raises(_core.InvalidArgumentError, 'invalid regex_pattern "\\"\\n\\\\((": missing ): ',
                                  regex_pattern='"\n\\(('),
    "too-large": raises(_core.InvalidArgumentError, 'invalid regex_pattern "\\\\pL{1000}": Compiled regex exceeds '
                        "size limit of 1048576 bytes.", regex_pattern=r"\pL{1000}"),
    "nesting": raises(_core.InvalidArgumentError, "nesting limit exceeded",
                      regex_pattern="(" * 255 + "a" + ")" * 255),
    "look-ahead": raises(_core.InvalidArgumentError, "look-around, including look-ahead and look-behind, is not "
                         "supported: (?=", regex_pattern="a(?=b)"),
    "named-backreference": raises(_core.InvalidArgumentError, "backreferences are not supported: (?P=",
                                  regex_pattern=r"(?P<x>a)(?P=x)"),
}


@pytest.mark.parametrize("exc, message, options", OPTION_ERRORS.values(), ids=OPTION_ERRORS.keys())
def test_option_errors(exc, message, options):
    for call in (lambda: S("x", **options), lambda: B([], **options)):
        with pytest.raises(exc) as info:
            call()
        got = str(info.value).replace("_slugify_batch()", "_slugify()")
        assert message in got if exc is not TypeError else got == message
        if exc is _core.InvalidArgumentError and "regex_pattern" in message:
            cause = info.value.__cause__
            assert type(cause) is ValueError and got.endswith(": " + str(cause))


# RE2's own refusals of a rewritten pattern quote the caller's words, not the rewrite (a spelled-out class, the
# Python spelling of a named group), and the refusal of a range to or from a class escape.
PATTERN_FAULTS = {
    "range-to-class-escape": (r"[!-\d]", r"invalid character class range: !-\d"),
    "range-from-class-escape": (r"[\d-z]", r"invalid character class range: \d-z"),
    "range-from-property": (r"[\pL-z]", r"invalid character class range: \pL-z"),
    "range-to-braced-property": (r"[a-\p{Greek}]", r"invalid character class range: a-\p{Greek}"),
    "unmatched-paren-after-named-group": (r"(?<n>a)+)", r"unexpected ): (?<n>a)+)"),
    "missing-paren-around-spelled-class": (r"(?<n>\d)(", r"missing ): (?<n>\d)("),
    "bad-group-name-after-python-spelling": (r"(?P<a>x)(?<b!>y)", r"invalid named capture group: (?<b!>"),
    "unterminated-group-name": (r"(?<a>\w)(?<c", r"invalid named capture group: (?<c"),
    "repetition-after-named-group": (r"(?<x>\d)**", r"bad repetition operator: **"),
    "fragment-also-in-spelled-class": (r"\d{1049}", r"invalid repetition size: {1049}"),
}


@pytest.mark.parametrize("pattern, cause", PATTERN_FAULTS.values(), ids=PATTERN_FAULTS.keys())
def test_pattern_faults_in_callers_words(pattern, cause):
    with pytest.raises(_core.InvalidArgumentError) as info:
        S("a#1/9", regex_pattern=pattern)
    assert str(info.value.__cause__) == cause


@pytest.mark.parametrize(
    "options", [{"regex_pattern": "a" * 512}, {"regex_pattern": "\u00e9" * 256},
                {"regex_pattern": "(" * 250 + "a" + ")" * 250}, {"regex_pattern": "[[:alpha:]]x"}],
    ids=["512-bytes", "256-e-acute", "250-groups", "ascii-class-name"])
def test_patterns_at_the_limits_compile(options):
    assert S("x", **options) == "x"


def test_patterns_stay_valid_after_the_cache_empties():
    """Forty patterns overflow the 32-entry cache; objects built from the first ones keep working."""
    slugifiers = [(_core._Slugifier(regex_pattern=f"q{i}"), f"aq{i}b") for i in range(40)]
    assert [s.slugify(text) for s, text in slugifiers] == ["ab"] * 40
    assert [S(text, regex_pattern=f"q{i}") for i, (_, text) in enumerate(slugifiers)] == ["ab"] * 40


# ---- batch -----------------------------------------------------------------------------------

TEXTS = ["Hello World", "", "\u00c9t\u00e9 \u00e0 Paris", "\u5317\u4eac", "Fish &amp; Chips", "a" * 100,
         "\u041f\u0440\u0438\u0432\u0435\u0442"]
TOO_MANY = ["x"] * 100_001


@pytest.mark.parametrize(
    "call, exc, message",
    [(lambda: B(TOO_MANY, lang="xx"), _core.ResourceLimitError,
      "batch too large (100001 items); maximum is 100000 items"),
     (lambda: B(TOO_MANY, max_length=-1), _core.ResourceLimitError, "batch too large"),
     (lambda: B([], max_length=-1), _core.InvalidArgumentError, "max_length must be non-negative, got -1"),
     (lambda: B(TOO_MANY, hexadecimal=1), TypeError, "'int' object is not an instance of 'bool'"),
     (lambda: B(("a",)), TypeError, "'tuple' object is not an instance of 'list'"),
     (lambda: B("a"), TypeError, "'str' object is not an instance of 'list'")],
    ids=["count-before-lang", "count-before-length", "empty-checks-options", "conversion-before-count", "tuple",
         "str"])
def test_batch_check_order(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value).startswith(message)


def test_batch_limit_and_items():
    assert len(B(["\u00e9"] * 100_000)) == 100_000
    assert B([]) == []

    class Sub(list):
        pass

    assert B(Sub(["A b"])) == ["a-b"]
    for bad, exc in ((70, TypeError), (5, UnicodeEncodeError)):
        texts = ["x"] * 128
        texts[bad] = 7 if exc is TypeError else "\ud800"
        with pytest.raises(exc) as info:
            B(texts)
        assert not getattr(info.value, "__notes__", None)


def test_batch_releases_the_interpreter_lock():
    texts = ["\u00c9t\u00e9 \u00e0 Paris, \u041f\u0440\u0438\u0432\u0435\u0442 &amp; \u5317\u4eac " * 20] * 40_000
    joined = " ".join(texts)
    assert_lets_threads_run(lambda: B(texts), control=lambda: S(joined))


def test_batches_in_threads_share_the_replacement_cache():
    """Eight threads run forty replacement lists, more than the cache holds, so it empties meanwhile. (Items
    against single calls in several chunks: tests/test_stress.py.)"""
    lists = [[("a", str(i)), ("b", "x" * (i % 5)), ("", "never")] for i in range(40)]
    texts = ["abc bab", "a b", "\u00e4b", "cab"] * 40
    expected = [[S(t, replacements=lst) for t in texts] for lst in lists]

    def work(offset):
        order = [(k * 7 + offset) % len(lists) for k in range(len(lists) * 2)]
        return [i for i in order if B(texts, replacements=lists[i]) != expected[i]]

    assert in_threads(work) == [[]] * 8
