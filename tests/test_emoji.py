"""Emoji names (demojize), emoji replacement and the emoji-name provider."""

import gc
import json
import pathlib
import random
import re
import threading
import warnings
import weakref

import pytest

from conftest import run_isolated
from kelrad import _core

DATA = pathlib.Path(__file__).resolve().parents[1] / "data"
RAISED = "kelrad: EmojiProvider.lookup() raised an exception and will be ignored: "
NOT_A_STRING = "kelrad: EmojiProvider.lookup() returned a non-string value and will be ignored: "

NAMES = {key.replace("\ufe0f", ""): value["tts"][0]
         for path, top in (("annotations", "annotations"), ("annotationsDerived", "annotationsDerived"))
         for key, value in json.loads((DATA / "cldr-json-48.2.0" / path / "en" / "annotations.json")
                                      .read_text(encoding="utf-8"))[top]["annotations"].items()}


# Families of three and four, a subdivision flag, a kiss written without U+FE0F.
F3 = "\U0001F468\u200d\U0001F469\u200d\U0001F467"
F4 = F3 + "\u200d\U0001F466"
ENGLAND = "\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F"
KISS = "\U0001F468\u200d\u2764\u200d\U0001F48B\u200d\U0001F468"


@pytest.fixture(autouse=True)
def no_global_provider():
    _core._set_emoji_provider(None)
    yield
    _core._set_emoji_provider(None)


def test_every_fully_qualified_emoji():
    failures = []
    with open(DATA / "unicode-17.0.0" / "emoji" / "emoji-test.txt", encoding="utf-8") as f:
        rows = [(n, "".join(chr(int(cp, 16)) for cp in line.split(";")[0].split()),
                 float(re.search(r"E(\d+\.\d+)", line).group(1)))
                for n, line in enumerate(f, 1) if "; fully-qualified" in line]
    assert len(rows) == 3944
    for number, emoji, version in rows:
        name = NAMES.get(emoji.replace("\ufe0f", ""))
        checks = {
            "in text": emoji in ("\u00a9\ufe0f", "\u00ae\ufe0f") or _core._demojize("a " + emoji + " b") == f"a {name} b",
            # Emoji of 16.0 and 17.0 are named but are no emoji to the 15.1 properties.
            "replaced": version > 15.1 or _core._replace_emoji("a" + emoji + "b", "X") == "aXb",
        }
        if bad := [label for label, ok in checks.items() if not ok]:
            failures.append(f"line {number} {emoji!a} ({name}): {', '.join(bad)}")
    assert not failures, f"{len(failures)} failures:\n" + "\n".join(failures[:30])


def emoji_test_sequences(up_to=99.0):
    """(status, sequence) for the lines of emoji-test.txt from Emoji versions up to `up_to`, components left out."""
    with open(DATA / "unicode-17.0.0" / "emoji" / "emoji-test.txt", encoding="utf-8") as f:
        return [(m.group(2), "".join(chr(int(cp, 16)) for cp in m.group(1).split())) for line in f
                if (m := re.match(r"([0-9A-F ]+);\s*([a-z-]+)\s*#\s*\S+\s+E(\d+\.\d+)", line))
                and m.group(2) != "component" and float(m.group(3)) <= up_to]


def test_random_runs_of_sequences():
    # Runs of sequences back to back, so that every lookahead boundary falls
    # inside some of them. Each must be named and replaced as it is alone:
    # a lone text-style character (unqualified ☺) is no emoji to replace, and
    # © and ® have no name.
    pool = [emoji for status, emoji in emoji_test_sequences(up_to=15.1)
            if (status == "fully-qualified" or len(emoji) >= 2) and emoji.rstrip("\ufe0f") not in ("\u00a9", "\u00ae")]
    rng = random.Random(1141)
    failures = []
    for _ in range(20000):
        run = [rng.choice(pool) for _ in range(rng.randint(2, 5))]
        text = "".join(run)
        names = " ".join(NAMES[emoji.replace("\ufe0f", "")] for emoji in run)
        if _core._demojize(text) != names or _core._replace_emoji(text, "X") != "X" * len(run):
            failures.append(" + ".join(map(ascii, run)))
    assert not failures, f"{len(failures)} failures:\n" + "\n".join(failures[:30])


def test_what_demojize_names_whole_is_replaced_whole():
    # Minimally qualified and unqualified sequences too: a placeholder that
    # leaves a joiner and a symbol behind ("X\u200d♂") is no replacement.
    failures = []
    for _, emoji in emoji_test_sequences():
        if len(emoji) >= 2 and _core._demojize(emoji) == NAMES[emoji.replace("\ufe0f", "")]:
            if (got := _core._replace_emoji("a" + emoji + "b", "X")) != "aXb":
                failures.append(f"{emoji!a}: {got!a}")
    assert not failures, f"{len(failures)} failures:\n" + "\n".join(failures[:30])


@pytest.mark.parametrize("between", range(0, 20))
def test_sequence_at_every_distance_after_a_long_one(between):
    # The family makes the lookahead read far ahead; the sequence after it
    # must be seen whole wherever it starts in what was read.
    grins = ["\U0001F600"] * between
    for emoji, name in ((F4, "family: man, woman, girl, boy"), (ENGLAND, "flag: England"), (KISS, "kiss: man, man")):
        text = F3 + "".join(grins) + emoji + "!"
        assert _core._demojize(text) == " ".join([NAMES[F3]] + ["grinning face"] * between + [name]) + "!"
        assert _core._replace_emoji(text, "X") == "X" * (between + 2) + "!"
        # A named sequence ends a chain that reaches past the window.
        assert _core._replace_emoji("\u200d".join([F3, *grins, emoji]) + "!", "X") == "X!"


def test_exactly_the_named_code_points_have_names():
    named = {cp: out for cp in range(0x110000) if not 0xD800 <= cp <= 0xDFFF
             if (out := _core._demojize(chr(cp), errors="ignore")) not in ("", chr(cp))}
    assert len(named) == 1727
    assert all(NAMES[chr(cp)] == name for cp, name in named.items())


# Spacing, selectors and joiners; emoji-test.txt has every name.
@pytest.mark.parametrize(
    "text, want",
    [
        pytest.param("I\u2764you", "I red heart you", id="between-words"),
        pytest.param("I \u2764 you", "I red heart you", id="no-double-space"),
        pytest.param("\u2764\u2764!", "red heart red heart!", id="two-names-then-punctuation"),
        pytest.param("(\U0001F600)", "( grinning face)", id="brackets"),
        pytest.param("\U0001F600\u0301", "grinning face \u0301", id="mark-after-name"),
        pytest.param("\U0001F600|", "grinning face |", id="look-alike-of-l"),
        pytest.param("\u20ac5 \u2192", "euro 5 right-pointing arrow", id="text-symbols-named"),
        pytest.param("\u2764\U0001F3FB\u200d", "red heart", id="trailing-modifiers-dropped"),
        pytest.param("x\ufe0f 1\ufe0f #", "x 1 #", id="stray-selectors-and-keycap-base"),
        pytest.param("\U0001F468\u200dx", "man x", id="dangling-joiner"),
        pytest.param("\u200d".join(["\U0001F600"] * 25), " ".join(["grinning face"] * 25), id="unnamed-chain-of-25"),
        # U+200D stays inside a word of a script that writes with it, nowhere else.
        pytest.param("\u0dc1\u0dca\u200d\u0dbb\u0dd3 \u0d28\u0d4d\u200d", "\u0dc1\u0dca\u200d\u0dbb\u0dd3 \u0d28\u0d4d\u200d",
                     id="joiner-in-sinhala-and-malayalam"),
        pytest.param("a\u200db \u200d\u0dc1", "ab \u0dc1", id="joiner-between-ascii-or-at-start"),
        pytest.param("\u0915\u094d\u200d\U0001F600", "\u0915\u094d grinning face", id="joiner-before-emoji"),
        pytest.param("\u0915\u200d\u200d\ufe0f\u200d\u0937", "\u0915\u200d\u0937", id="joiner-after-joiner-or-selector"),
        pytest.param("\u2764\u200d\u0915", "red heart \u0915", id="joiner-after-name"),
        pytest.param(F3 + F4 + F4, "family: man, woman, girl family: man, woman, girl, boy family: man, woman, girl, boy",
                     id="families-back-to-back"),
        pytest.param(F3 + ENGLAND + ENGLAND, "family: man, woman, girl flag: England flag: England",
                     id="flags-after-a-family"),
    ],
)
def test_demojize(text, want):
    assert _core._demojize(text) == want


@pytest.mark.parametrize(
    "text, errors, want",
    [
        pytest.param("\U0001F1E6", "replace", "X", id="replace"),
        pytest.param("\U0001F1E6", "ignore", "", id="ignore"),
        pytest.param("\U0001F1E6\U000E0041", "preserve", "\U0001F1E6\U000E0041", id="preserve-indicator-and-tag"),
        pytest.param("\U0001F1E6\U0001F1E6", "replace", "X", id="pair-that-is-no-flag"),
        pytest.param("ab\U0001F1E6cd", "replace", "abX cd", id="space-after-replacement-only"),
        pytest.param("ab\U0001F1E6cd-", "preserve", "ab\U0001F1E6 cd-", id="space-after-preserved"),
        pytest.param("1\U0001F1E6\u20e3", "ignore", "1", id="orphan-keycap-mark"),
        pytest.param("1\U0001F1E6\ufe0f\u20e3", "ignore", "1", id="orphan-selector-and-mark"),
        pytest.param("a\U0001F1E6\u20e3", "ignore", "a\u20e3", id="mark-that-forms-nothing"),
    ],
)
def test_unnamed_emoji(text, errors, want):
    assert _core._demojize(text, errors=errors, replace_with="X") == want


def test_strip_modifiers():
    text = "\U0001F44D\U0001F3FD \U0001F1E9\U0001F1EA #\ufe0f\u20e3 \U0001F600"
    assert _core._demojize(text, strip_modifiers=True) == "thumbs up flag keycap grinning face"


@pytest.mark.parametrize(
    "text, want",
    [
        pytest.param("\U0001F590\U0001F3FB \u261d\U0001F3FF", "X X", id="text-default-bases-with-skin-tone"),
        pytest.param("\u26f9\U0001F3FB\u200d\u2642\ufe0f", "X", id="skin-tone-then-joiner"),
        pytest.param("\u263a \u263a\ufe0f \u00a9 \u00a9\ufe0f", "\u263a X \u00a9 X", id="text-default"),
        pytest.param("a\u200db\ufe0f\U000E0041", "a\u200db\ufe0f\U000E0041", id="strays-copied"),
        pytest.param("\U0001F1E9\U0001F1EA\U0001F1EB", "XX", id="flag-and-indicator"),
        pytest.param("\u200d".join(["\U0001F600"] * 25) + "\u200d!", "X\u200d!", id="chain-of-25"),
        pytest.param(F3 + " " + "\u200d".join(["\U0001F600"] * 10), "X X", id="chain-after-a-family"),
        pytest.param("\U0001F468\u200d\u2764\u200d\U0001F468", "X", id="couple-without-selector"),
        pytest.param("\U0001F3C3\u200d\u2642 \u2764\u200d\U0001F525", "X X", id="text-style-symbol-joined"),
        pytest.param("\U0001F600\u200d" + KISS + "\u200d\U0001F600", "X", id="named-sequence-inside-a-chain"),
        pytest.param("\u2764\u200d\u2764", "\u2764\u200d\u2764", id="text-style-chain-without-name"),
    ],
)
def test_replace_emoji(text, want):
    assert _core._replace_emoji(text, "X") == want
    assert _core._demojize(text, replacement="X", errors="not checked") == want


def test_replace_emoji_with_nothing():
    # The keycap mark would make a keycap of the digit before the gap.
    assert _core._replace_emoji("a\U0001F600b 1\U0001F600\u20e3", "") == "ab 1"


def test_demojize_refuses_strict():
    with pytest.raises(_core.InvalidArgumentError, match="^errors must be 'replace', 'ignore', or 'preserve', got "
                                                         "'strict'$"):
        _core._demojize("x", errors="strict")


# --- the provider ---------------------------------------------------------------


class Recorder:
    """Answers from a dict of sequences (tuples of code points), else `default`
    (raised when it is an exception); records every question."""

    def __init__(self, answers=None, default=None):
        self.answers, self.default, self.asked = answers or {}, default, []

    def lookup(self, sequence):
        assert type(sequence) is list
        self.asked.append(tuple(sequence))
        if isinstance(self.default, BaseException):
            raise self.default
        return self.answers.get(tuple(sequence), self.default)


def cps(text):
    return tuple(map(ord, text))


def test_provider_is_asked_longest_prefix_first():
    provider = Recorder({cps("\U0001F600b"): "GRIN-B"})
    assert _core._demojize("a\U0001F600bcdefghijklmn", provider=provider) == "a GRIN-B cdefghijklmn"
    assert [len(q) for q in provider.asked[:17]] == [9, 8, 7, 6, 5, 4, 3, 2, 1, 9, 8, 7, 6, 5, 4, 3, 2]
    assert provider.asked[0] == cps("a\U0001F600bcdefgh")
    asked = len(provider.asked)
    assert _core._demojize("plain ascii", provider=provider) == "plain ascii" and len(provider.asked) == asked


@pytest.mark.parametrize(
    "answers, text, want",
    [
        pytest.param({cps("\u2764\ufe0f"): "love"}, "I\u2764\ufe0fyou", "I love you", id="selectors-are-asked"),
        pytest.param({cps("1"): "one"}, "1\ufe0f\u20e3!", "one!", id="keycap-base-takes-its-keycap"),
        pytest.param({cps("\U0001F44D\U0001F3FB"): "ok: pale"}, "\U0001F44D\U0001F3FB", "ok: pale", id="never-cut"),
        pytest.param({cps("\U0001F600"): "g"}, "\U0001F600\U0001F3FB\u200dx", "g x", id="trailing-modifiers-dropped"),
    ],
)
def test_provider_names(answers, text, want):
    assert _core._demojize(text, strip_modifiers=True, provider=Recorder(answers)) == want


def test_provider_without_names_gives_the_built_in_result():
    # Without a provider plain runs are copied at once; with one every
    # position is walked. Both must write the same text.
    pool = ["a", " ", "1", "#", "\u00e9", "\u0dc1", "\u0dca", "\u200d", "\ufe0f", "\ufe0e", "\u20e3", "\u2764",
            "\U0001F600", "\U0001F1E6", "\U0001F1E9", "\U0001F1EA", "\U0001F3FB", "\U000E0067", "\U000E007F",
            "\U0001F3F4", "\u2192", "\u00a9", "\U0001F468", "\u4e00", "\u0301"]
    rng = random.Random(141)
    for _ in range(2000):
        text = "".join(rng.choice(pool) for _ in range(rng.randrange(1, 30)))
        for errors, strip in (("replace", False), ("ignore", True), ("preserve", False)):
            plain = _core._demojize(text, errors=errors, strip_modifiers=strip)
            assert _core._demojize(text, errors=errors, strip_modifiers=strip, provider=Recorder()) == plain, ascii(text)


@pytest.mark.parametrize(
    "provider, message",
    [
        pytest.param(Recorder(default=5), NOT_A_STRING + "TypeError: 'int' object is not an instance of 'str'",
                     id="int"),
        pytest.param(Recorder(default=KeyError("k")), RAISED + "KeyError: 'k'", id="raises"),
        pytest.param(object(), RAISED + "AttributeError: 'object' object has no attribute 'lookup'",
                     id="no-lookup"),
    ],
)
def test_faulty_provider_warns_once_per_position(provider, message):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        assert _core._demojize("a\u2764\ufe0f", provider=provider) == "a red heart"
    assert [(w.category, str(w.message)) for w in caught] == [(UserWarning, message)] * 2


def test_faulty_provider_under_warnings_as_errors(capfd):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert _core._demojize("\u2764", provider=Recorder(default=5)) == "red heart"
    assert capfd.readouterr().err == NOT_A_STRING + "TypeError: 'int' object is not an instance of 'str'\n"


def test_global_provider():
    provider = Recorder({cps("\u2764"): "love"})
    assert _core._set_emoji_provider(provider) is None
    assert _core._demojize("I\u2764") == "I love"
    assert _core._demojize("I\u2764", provider=Recorder()) == "I red heart"  # the argument comes first
    asked = len(provider.asked)
    assert _core._demojize("I\U0001F600", replacement="X") == "IX" and len(provider.asked) == asked
    assert _core._set_emoji_provider() is None
    assert _core._demojize("I\u2764") == "I red heart"


def test_replaced_provider_is_released():
    first = Recorder()
    ref = weakref.ref(first)
    _core._set_emoji_provider(first)
    _core._set_emoji_provider(object())  # not inspected
    del first
    gc.collect()
    assert ref() is None


def test_provider_may_reenter():
    class Reentrant:
        def lookup(self, sequence):
            if sequence == [0x2764]:
                _core._set_emoji_provider(Recorder())
                return _core._demojize("\U0001F600") + "!"
            return None

    _core._set_emoji_provider(Reentrant())
    assert _core._demojize("\u2764") == "grinning face!"
    assert _core._demojize("\u2764") == "red heart"  # the provider replaced itself


def test_threads_swap_providers_during_demojize():
    text = "a\u2764b\U0001F600c" * 50
    love = {cps("\u2764"): "love"}
    allowed = {_core._demojize(text), _core._demojize(text, provider=Recorder(love))}
    results = []

    def swap():
        for i in range(300):
            _core._set_emoji_provider(Recorder(love) if i % 2 else None)

    threads = [threading.Thread(target=swap)] + [
        threading.Thread(target=lambda: results.extend(_core._demojize(text) for _ in range(100))) for _ in range(3)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=60)
    assert not any(t.is_alive() for t in threads)
    assert len(results) == 300 and set(results) <= allowed


def test_seal_refuses_the_provider():
    run_isolated("""
        import pytest
        from kelrad import _core

        class Love:
            def lookup(self, sequence):
                return "love" if sequence == [0x2764] else None

        _core._set_emoji_provider(Love())
        _core._seal_registrations()
        for call in (lambda: _core._set_emoji_provider(None), lambda: _core._set_emoji_provider(Love())):
            with pytest.raises(_core.UnsupportedError) as info:
                call()
            assert str(info.value) == ("set_emoji_provider: registration tables are sealed (seal_registrations() "
                                       "was called); register/remove/clear are not permitted after sealing")
        assert _core._demojize("\\u2764") == "love"
    """)


def test_internal_failure_inside_the_provider_is_resumed():
    # Unlike the provider's own exceptions, the module's internal failure is no warning.
    run_isolated("""
        import warnings
        from kelrad import _core

        class Provider:
            def lookup(self, sequence):
                raise self.error

        provider = Provider()
        provider.error = KeyError()
        with warnings.catch_warnings(record=True):
            assert _core._demojize("\\u2764", provider=provider) == "red heart"
        Panic = next(c for c in BaseException.__subclasses__() if c.__name__ == "PanicException")
        provider.error = Panic("invariant broken")
        try:
            _core._demojize("\\u2764", provider=provider)
        except Panic as e:
            assert e is not provider.error and str(e) == "invariant broken"
        else:
            raise AssertionError("not resumed")
    """)
