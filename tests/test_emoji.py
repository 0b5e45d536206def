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

from kelrad import _core
from test_registries import run_isolated

DATA = pathlib.Path(__file__).resolve().parents[1] / "data"
RAISED = "kelrad: EmojiProvider.lookup() raised an exception and will be ignored: "
NOT_A_STRING = "kelrad: EmojiProvider.lookup() returned a non-string value and will be ignored: "


def _cldr_names():
    names = {}
    cldr = DATA / "cldr-json-48.2.0"
    for path, top in ((cldr / "annotations" / "en" / "annotations.json", "annotations"),
                      (cldr / "annotationsDerived" / "en" / "annotations.json", "annotationsDerived")):
        for key, value in json.loads(path.read_text(encoding="utf-8"))[top]["annotations"].items():
            names[key.replace("\ufe0f", "")] = value["tts"][0]
    return names


def _fully_qualified():
    """(line number, emoji, version) of every fully-qualified entry of emoji-test.txt."""
    rows = []
    with open(DATA / "unicode-17.0.0" / "emoji" / "emoji-test.txt", encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if "; fully-qualified" in line:
                cps, comment = line.split(";")[0], line.split("#", 1)[1]
                version = float(re.search(r"E(\d+\.\d+)", comment).group(1))
                rows.append((number, "".join(chr(int(cp, 16)) for cp in cps.split()), version))
    return rows


NAMES = _cldr_names()
FULLY_QUALIFIED = _fully_qualified()


@pytest.fixture(autouse=True)
def no_global_provider():
    _core._set_emoji_provider(None)
    yield
    _core._set_emoji_provider(None)


def test_every_fully_qualified_emoji():
    assert len(FULLY_QUALIFIED) == 3944
    failures = []
    for number, emoji, version in FULLY_QUALIFIED:
        if emoji in ("\u00a9\ufe0f", "\u00ae\ufe0f"):
            continue
        name = NAMES[emoji.replace("\ufe0f", "")]
        checks = {
            "alone": _core._demojize(emoji) == name,
            "in text": _core._demojize("a " + emoji + " b") == "a " + name + " b",
            # Emoji of 16.0 and 17.0 are named but are no emoji to the 15.1 properties.
            "replaced": version > 15.1 or _core._replace_emoji("a" + emoji + "b", "X") == "aXb",
        }
        if bad := [label for label, ok in checks.items() if not ok]:
            failures.append(f"line {number} {emoji!a} ({name}): {', '.join(bad)}")
    assert not failures, f"{len(failures)} failures:\n" + "\n".join(failures[:30])


def test_exactly_the_named_code_points_have_names():
    named = {}
    for cp in range(0x110000):
        if 0xD800 <= cp <= 0xDFFF:
            continue
        out = _core._demojize(chr(cp), errors="ignore")
        if out not in ("", chr(cp)):
            named[cp] = out
    assert len(named) == 1727
    assert all(NAMES[chr(cp)] == name for cp, name in named.items())
    assert not named.keys() & {0x23, 0x2A, *range(0x30, 0x3A), 0xA9, 0xAE, *range(0x1F1E6, 0x1F200)}


@pytest.mark.parametrize(
    "text, want",
    [
        pytest.param("I\u2764you", "I red heart you", id="between-words"),
        pytest.param("I \u2764 you", "I red heart you", id="no-double-space"),
        pytest.param("\u2764\u2764", "red heart red heart", id="two-names"),
        pytest.param("\u2764\ufe0f!", "red heart!", id="punctuation-after"),
        pytest.param("(\U0001F600)", "( grinning face)", id="brackets"),
        pytest.param("\U0001F600\u0301", "grinning face \u0301", id="mark-after-name"),
        pytest.param("\U0001F600\uff41", "grinning face \uff41", id="fullwidth-letter-after"),
        pytest.param("\u4e2d\U0001F600\u6587", "\u4e2d grinning face \u6587", id="han-around"),
        pytest.param("\U0001F600|", "grinning face |", id="look-alike-of-l"),
        pytest.param("\U0001F600\u05c0", "grinning face \u05c0", id="hebrew-paseq-look-alike-of-l"),
        pytest.param("\u2192", "right-pointing arrow", id="text-symbol-named"),
        pytest.param("\u20ac5", "euro 5", id="euro"),
        pytest.param("\u2764\U0001F3FB\u200d", "red heart", id="trailing-modifiers-dropped"),
        pytest.param("x\ufe0f", "x", id="selector-after-letter"),
        pytest.param("a\u200db", "ab", id="joiner-between-ascii"),
        pytest.param("\u200d\u0dc1", "\u0dc1", id="joiner-at-start"),
        pytest.param("#\u20e3 #\ufe0f\u20e3 #\ufe0e\u20e3", "keycap: # keycap: # keycap: #", id="keycaps"),
        pytest.param("#", "#", id="lone-keycap-base"),
        pytest.param("1\ufe0f", "1", id="digit-selector"),
        pytest.param("\U0001F44D\U0001F3FB\ufe0f", "thumbs up: light skin tone", id="selector-after-skin-tone"),
        pytest.param("\U0001F468\u200dx", "man x", id="dangling-joiner"),
        pytest.param("\U0001F600\u200d\U0001F600", "grinning face grinning face", id="unnamed-zwj-chain"),
        pytest.param("\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F", "flag: England",
                     id="subdivision-flag"),
        pytest.param("\U0001FAE9", "face with bags under eyes", id="emoji-of-16-0"),
    ],
)
def test_demojize(text, want):
    assert _core._demojize(text) == want


@pytest.mark.parametrize(
    "text, want",
    [
        # Sinhala "shri", Devanagari and Malayalam half forms keep their joiner.
        pytest.param("\u0dc1\u0dca\u200d\u0dbb\u0dd3", "\u0dc1\u0dca\u200d\u0dbb\u0dd3", id="sinhala"),
        pytest.param("\u0915\u094d\u200d\u0937", "\u0915\u094d\u200d\u0937", id="devanagari"),
        pytest.param("\u0d28\u0d4d\u200d", "\u0d28\u0d4d\u200d", id="malayalam-at-end"),
        pytest.param("\u0915\u094d\u200d\U0001F600", "\u0915\u094d grinning face", id="before-emoji"),
        pytest.param("\u0915\u200d\u200d\u0937", "\u0915\u200d\u0937", id="second-joiner"),
        pytest.param("\u0915\ufe0f\u200d\u0937", "\u0915\u0937", id="after-dropped-selector"),
        pytest.param("\u2764\u200d\u0915", "red heart \u0915", id="after-name"),
    ],
)
def test_joiner_inside_words(text, want):
    assert _core._demojize(text) == want


@pytest.mark.parametrize(
    "text, errors, want",
    [
        pytest.param("\U0001F1E6", "replace", "[?]", id="replace"),
        pytest.param("\U0001F1E6", "ignore", "", id="ignore"),
        pytest.param("\U0001F1E6", "preserve", "\U0001F1E6", id="preserve"),
        pytest.param("\U0001F1E6\U0001F1E6", "replace", "[?]", id="pair-that-is-no-flag"),
        pytest.param("\U000E0041", "replace", "[?]", id="stray-tag"),
        pytest.param("ab\U0001F1E6cd", "replace", "ab[?] cd", id="space-after-replacement-only"),
        pytest.param("ab\U0001F1E6cd", "preserve", "ab\U0001F1E6 cd", id="space-after-preserved"),
        pytest.param("ab\U0001F1E6-", "preserve", "ab\U0001F1E6-", id="no-space-before-punctuation"),
        pytest.param("1\U0001F1E6\u20e3", "ignore", "1", id="orphan-keycap-mark"),
        pytest.param("1\U0001F1E6\ufe0f\u20e3", "ignore", "1", id="orphan-selector-and-mark"),
        pytest.param("\U0001F600\U0001F1E6\ufe0f", "ignore", "grinning face", id="selector-after-dropped-emoji"),
        pytest.param("a\U0001F1E6\u20e3", "ignore", "a\u20e3", id="mark-that-forms-nothing"),
    ],
)
def test_unnamed_emoji(text, errors, want):
    assert _core._demojize(text, errors=errors) == want
    assert _core._demojize(text, errors=errors, replace_with="X") == want.replace("[?]", "X")


@pytest.mark.parametrize(
    "text, want",
    [
        pytest.param("\U0001F44D\U0001F3FD", "thumbs up", id="skin-tone"),
        pytest.param("\U0001F1E9\U0001F1EA", "flag", id="flag"),
        pytest.param("#\ufe0f\u20e3", "keycap", id="keycap"),
        pytest.param("\U0001F600", "grinning face", id="no-qualifier"),
    ],
)
def test_strip_modifiers(text, want):
    assert _core._demojize(text, strip_modifiers=True) == want


def test_zwj_chain_of_25():
    chain = "\u200d".join(["\U0001F600"] * 25)
    assert _core._replace_emoji("<" + chain + ">", "X") == "<X>"
    assert _core._demojize(chain) == " ".join(["grinning face"] * 25)
    # A joiner that ends the chain is no part of it.
    assert _core._replace_emoji(chain + "\u200d!", "X") == "X\u200d!"


@pytest.mark.parametrize(
    "text, want",
    [
        pytest.param("a\U0001F600b", "aXb", id="basic"),
        pytest.param("\U0001F590\U0001F3FB", "X", id="text-default-base-with-skin-tone"),
        pytest.param("\u261d\U0001F3FF!", "X!", id="index-pointing-up-dark"),
        pytest.param("\u26f9\U0001F3FB\u200d\u2642\ufe0f", "X", id="person-bouncing-ball-zwj"),
        pytest.param("\u263a", "\u263a", id="text-default-alone"),
        pytest.param("\u263a\ufe0f", "X", id="text-default-selector"),
        pytest.param("a\u200db\ufe0f\U000E0041", "a\u200db\ufe0f\U000E0041", id="strays-copied"),
        pytest.param("\u00a9 \u00a9\ufe0f", "\u00a9 X", id="copyright"),
        pytest.param("#\ufe0f\u20e3 1", "X 1", id="keycap"),
        pytest.param("\U0001F1E9\U0001F1EA\U0001F1EB", "XX", id="flag-and-indicator"),
        pytest.param("", "", id="empty"),
    ],
)
def test_replace_emoji(text, want):
    assert _core._replace_emoji(text, "X") == want
    assert _core._demojize(text, replacement="X", errors="not checked") == want


def test_replace_emoji_with_nothing():
    assert _core._replace_emoji("a\U0001F600b \u2764\ufe0f", "") == "ab "
    # The keycap mark would make a keycap of the digit before the gap.
    assert _core._replace_emoji("1\U0001F600\u20e3", "") == "1"


@pytest.mark.parametrize(
    "call, exc, message",
    [
        pytest.param(lambda: _core._demojize("x", errors="strict"), _core.InvalidArgumentError,
                     "errors must be 'replace', 'ignore', or 'preserve', got 'strict'", id="errors"),
        pytest.param(lambda: _core._demojize("x", errors=None), TypeError,
                     "'None' is not an instance of 'str'", id="errors-none"),
        pytest.param(lambda: _core._demojize("x", strip_modifiers=1), TypeError,
                     "'int' object is not an instance of 'bool'", id="flag"),
        pytest.param(lambda: _core._demojize("x", "X"), TypeError,
                     "_demojize() takes 1 positional arguments but 2 were given", id="positional"),
        pytest.param(lambda: _core._replace_emoji("x"), TypeError,
                     "_replace_emoji() missing 1 required positional argument: 'replacement'", id="missing"),
        pytest.param(lambda: _core._replace_emoji("x", None), TypeError,
                     "'None' is not an instance of 'str'", id="replacement-none"),
        pytest.param(lambda: _core._set_emoji_provider(None, None), TypeError,
                     "_set_emoji_provider() takes from 0 to 1 positional arguments but 2 were given", id="two"),
    ],
)
def test_argument_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value) == message


# --- the provider ---------------------------------------------------------------


class Recorder:
    """Answers from a dict of sequences (tuples of code points); records every question."""

    def __init__(self, answers=None, default=None):
        self.answers, self.default, self.asked = answers or {}, default, []

    def lookup(self, sequence):
        assert type(sequence) is list
        self.asked.append(tuple(sequence))
        return self.answers.get(tuple(sequence), self.default)


def cps(text):
    return tuple(map(ord, text))


def test_provider_is_asked_longest_prefix_first():
    provider = Recorder({cps("\U0001F600b"): "GRIN-B"})
    assert _core._demojize("a\U0001F600bcdefghijklmn", provider=provider) == "a GRIN-B cdefghijklmn"
    first = provider.asked[:17]
    assert [len(q) for q in first] == [9, 8, 7, 6, 5, 4, 3, 2, 1, 9, 8, 7, 6, 5, 4, 3, 2]
    assert first[0] == cps("a\U0001F600bcdefgh")


@pytest.mark.parametrize(
    "answers, text, want",
    [
        pytest.param({cps("\u2764\ufe0f"): "love"}, "I\u2764\ufe0fyou", "I love you", id="selectors-are-asked"),
        pytest.param({cps("1"): "one"}, "1\ufe0f\u20e3!", "one!", id="keycap-base-takes-its-keycap"),
        pytest.param({cps("\U0001F44D\U0001F3FB"): "ok: pale"}, "\U0001F44D\U0001F3FB", "ok: pale",
                     id="never-cut"),
        pytest.param({cps("\U0001F600"): "g"}, "\U0001F600\U0001F3FB\u200dx", "g x", id="trailing-modifiers-dropped"),
        pytest.param({}, "\ufe0f\u2764", "red heart", id="leading-selector"),
    ],
)
def test_provider_names(answers, text, want):
    assert _core._demojize(text, strip_modifiers=True, provider=Recorder(answers)) == want


def test_provider_not_asked_for_ascii():
    provider = Recorder(default="NAME")
    assert _core._demojize("plain text", provider=provider) == "plain text"
    assert provider.asked == []


def test_provider_without_names_gives_the_built_in_result():
    # Without a provider demojize copies plain runs at once; with one it walks
    # every position. Both must write the same text.
    pool = ["a", " ", "1", "#", "\u00e9", "\u0dc1", "\u0dca", "\u200d", "\ufe0f", "\ufe0e", "\u20e3", "\u2764",
            "\U0001F600", "\U0001F1E6", "\U0001F1E9", "\U0001F1EA", "\U0001F3FB", "\U000E0067", "\U000E007F",
            "\U0001F3F4", "\u2192", "\u00a9", "\U0001F468", "\u4e00", "\u0301"]
    rng = random.Random(141)
    for _ in range(2000):
        text = "".join(rng.choice(pool) for _ in range(rng.randrange(1, 30)))
        for errors in ("replace", "ignore", "preserve"):
            for strip in (False, True):
                plain = _core._demojize(text, errors=errors, strip_modifiers=strip)
                asked = _core._demojize(text, errors=errors, strip_modifiers=strip, provider=Recorder())
                assert asked == plain, (ascii(text), errors, strip)


class Answers:
    def __init__(self, value):
        self.value = value

    def lookup(self, sequence):
        if isinstance(self.value, BaseException):
            raise self.value
        return self.value


@pytest.mark.parametrize(
    "provider, message",
    [
        pytest.param(Answers(5), NOT_A_STRING + "TypeError: 'int' object is not an instance of 'str'", id="int"),
        pytest.param(Answers(b"x"), NOT_A_STRING + "TypeError: 'bytes' object is not an instance of 'str'",
                     id="bytes"),
        pytest.param(Answers(KeyError("k")), RAISED + "KeyError: 'k'", id="raises"),
        pytest.param(object(), RAISED + "AttributeError: 'object' object has no attribute 'lookup'",
                     id="no-lookup"),
    ],
)
def test_faulty_provider_warns_once_per_position(provider, message):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        assert _core._demojize("a\u2764\ufe0f", provider=provider) == "a red heart"
    assert [str(w.message) for w in caught] == [message, message]
    assert all(w.category is UserWarning for w in caught)


def test_faulty_provider_under_warnings_as_errors(capfd):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert _core._demojize("\u2764", provider=Answers(5)) == "red heart"
    assert capfd.readouterr().err == NOT_A_STRING + "TypeError: 'int' object is not an instance of 'str'\n"


def test_global_provider():
    provider = Recorder({cps("\u2764"): "love"})
    assert _core._set_emoji_provider(provider) is None
    assert _core._demojize("I\u2764") == "I love"
    assert _core._demojize("I\u2764", provider=Recorder()) == "I red heart"  # the argument comes first
    asked = len(provider.asked)
    assert _core._demojize("I\U0001F600", replacement="X") == "IX"
    assert len(provider.asked) == asked  # a replacement asks nobody
    assert _core._set_emoji_provider() is None
    assert _core._demojize("I\u2764") == "I red heart"
    assert _core._set_emoji_provider(provider=object()) is None  # not inspected


def test_replaced_provider_is_released():
    first = Recorder()
    ref = weakref.ref(first)
    _core._set_emoji_provider(first)
    _core._set_emoji_provider(Recorder())
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

    def run():
        results.extend(_core._demojize(text) for _ in range(100))

    threads = [threading.Thread(target=swap)] + [threading.Thread(target=run) for _ in range(3)]
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
        for call in (lambda: _core._set_emoji_provider(None), lambda: _core._set_emoji_provider(Love()),
                     lambda: _core._set_emoji_provider()):
            with pytest.raises(_core.UnsupportedError) as info:
                call()
            assert str(info.value) == ("set_emoji_provider: registration tables are sealed (seal_registrations() "
                                       "was called); register/remove/clear are not permitted after sealing")
        assert _core._demojize("\\u2764") == "love"
    """)
