"""`_TextPipeline`: options resolved into the ordered step table, construction checks in their order, each step's
effect, and the executor against the single-step functions on random text."""

import random

import pytest

from conftest import ENGLAND, run_isolated
from kelrad import _core

P = _core._TextPipeline
Invalid = _core.InvalidArgumentError

def test_empty_pipeline():
    p = P()
    text = "abc " * 3
    out = p.process(text)
    assert out == text and out is not text
    assert (p.steps(), p.purpose(), repr(p)) == ([], None, "TextPipeline()")


# ---- options -> steps ------------------------------------------------------------------------

@pytest.mark.parametrize("options, steps", [
    ({"collapse_whitespace": True}, [("strip_control", None), ("strip_zero_width", None),
                                     ("collapse_whitespace", None)]),
    ({"collapse_whitespace": True, "strip_control": False}, [("strip_zero_width", None),
                                                             ("collapse_whitespace", None)]),
    ({"collapse_whitespace": True, "strip_zero_width": None}, [("strip_control", None), ("strip_zero_width", None),
                                                               ("collapse_whitespace", None)]),
    ({"strip_control": True}, [("strip_control", None)]),
    ({"fold_case": True}, [("fold_case", None)]),
    ({"fold_case": True, "confusables": True}, [("confusables", "latin"), ("fold_case", None),
                                                ("confusables", "latin"), ("fold_case", None)]),
    ({"confusables": True, "digit_policy": "preserve"}, [("confusables", "latin,preserve")]),
    ({"strip_zalgo": True}, [("strip_zalgo", "1")]),
    ({"strip_zalgo": 0}, [("strip_zalgo", "0")]),
    ({"normalize": "NFKC", "strip_zalgo": 3, "resolve_deletions": True, "resolve_cr": True},
     [("resolve_deletions", "cr"), ("normalize", "NFKC"), ("strip_zalgo", "3")]),
    ({"resolve_cr": True}, []),
    ({"resolve_deletions": True}, [("resolve_deletions", None)]),
    ({"transliterate": True, "lang": "de", "strict_iso9": True}, [("transliterate", "de")]),
    ({"transliterate": True, "lang": "no-such-code"}, [("transliterate", "no-such-code")]),
    ({"gost7034": True}, []),
    ({"demojize": True}, [("demojize", None)]),
    ({"demojize_replacement": "*"}, [("demojize", None)]),
    ({name: True for name in ("transliterate", "confusables", "strip_accents", "fold_case", "collapse_whitespace",
                              "demojize", "strip_bidi", "strip_pua", "strip_plane14", "resolve_deletions")}
     | {"normalize": "NFD", "strip_zalgo": 2, "digit_policy": "tr39"},
     [("resolve_deletions", None), ("normalize", "NFD"), ("strip_zalgo", "2"), ("strip_bidi", None),
      ("strip_plane14", None), ("demojize", None), ("strip_accents", None), ("transliterate", None),
      ("confusables", "latin,tr39"), ("fold_case", None), ("confusables", "latin,tr39"), ("fold_case", None),
      ("strip_control", None), ("strip_zero_width", None), ("strip_pua", None), ("collapse_whitespace", None)]),
], ids=["collapse-pulls-two", "control-false", "zero-width-none", "control-alone", "fold-alone", "fold-confusables",
        "preserve", "zalgo-true", "zalgo-0", "details", "cr-alone", "deletions", "lang", "unknown-lang",
        "scheme-alone", "demojize", "replacement", "all-16"])
def test_steps_and_repr(options, steps):
    p = P(**options)
    assert p.steps() == steps
    items = [name if detail is None else f"{name}={detail}" for name, detail in steps]
    assert repr(p) == "TextPipeline(" + " -> ".join(items) + ")"


# ---- construction errors ---------------------------------------------------------------------

ZALGO = "strip_zalgo (max_marks) must be a non-negative value that fits the platform word size, got "
FORM = "normalize must be 'NFC', 'NFD', 'NFKC', or 'NFKD', got "
EXCLUSIVE = "strict_iso9 and gost7034 are mutually exclusive"
POLICY = "digit_policy must be 'numeric', 'tr39', or 'preserve', got "


@pytest.mark.parametrize("options, message", [
    ({"strip_zalgo": -1, "normalize": "nfc"}, ZALGO + "-1"),
    ({"strip_zalgo": -(2**63)}, ZALGO + str(-(2**63))),
    ({"normalize": "nfc", "strict_iso9": True, "gost7034": True}, FORM + "'nfc'"),
    ({"normalize": ""}, FORM + "''"),
    ({"normalize": "NFC ", "digit_policy": "x"}, FORM + "'NFC '"),
    ({"strict_iso9": True, "gost7034": True, "digit_policy": "x"}, EXCLUSIVE),
    ({"digit_policy": "TR39"}, POLICY + "'TR39'"),
    ({"digit_policy": "tr39"}, "digit_policy='tr39' needs a confusables step, and TextPipeline() has none"),
    ({"digit_policy": "preserve", "normalize": "NFC", "collapse_whitespace": True},
     "digit_policy='preserve' needs a confusables step, and TextPipeline(normalize=NFC -> strip_control -> "
     "strip_zero_width -> collapse_whitespace) has none"),
], ids=["zalgo-first", "zalgo-min", "form-before-exclusive", "empty-form", "form-before-policy",
        "exclusive-before-policy", "policy-case", "policy-needs-confusables", "policy-shows-repr"])
def test_construction_errors(options, message):
    """The option checks in order; the conversions before them are the binder's (tests/test_binding.py)."""
    with pytest.raises(Invalid) as info:
        P(**options)
    assert str(info.value).startswith(message)


def test_accepted_values():
    assert P(strip_control=None, strip_zero_width=None, normalize=None, lang=None).steps() == []
    assert P(confusables=True, digit_policy="tr39").steps() == [("confusables", "latin,tr39")]
    assert P(strip_zalgo=2**63 - 1).steps() == [("strip_zalgo", str(2**63 - 1))]


# ---- processing ------------------------------------------------------------------------------

# The steps that a module function also performs are checked against it on random text below.
@pytest.mark.parametrize("options, text, expected", [
    ({"demojize": True}, "I\u2764\ufe0fyou \u2192", "I red heart you \u2192"),
    ({"transliterate": True, "lang": "de"}, "B\u00e4r", "Baer"),
    ({"transliterate": True, "lang": "ru", "strict_iso9": True}, "\u0429\u0443\u043a\u0430 \u0419", "Shchuka J"),
    ({"transliterate": True, "lang": "ru", "gost7034": True}, "\u0429\u0443\u043a\u0430 \u0419", "Shhuka J"),
    ({"resolve_deletions": True}, "abc\b\bX\rY", "aX\rY"),
    ({"resolve_deletions": True, "resolve_cr": True}, "abc\b\bX\rY", "YX"),
    ({"resolve_cr": True}, "ab\rc", "ab\rc"),
    ({"confusables": True}, "\u0440\u0430\u0443\u0440\u0430l", "paypal"),
    ({"confusables": True, "fold_case": True}, "\u0392\u0391\u039d\u039a", "bank"),
    ({"confusables": True, "normalize": "NFC"}, "\u0435\u0301", "\u00e9"),
    ({"confusables": True}, "\u0435\u0301", "e\u0301"),
    ({"confusables": True, "digit_policy": "tr39"}, "\U0001D7CE", "O"),
    ({"confusables": True, "digit_policy": "preserve"}, "\U0001D7CE\u0430", "\U0001D7CEa"),
], ids=["demojize-keeps-symbols", "de", "iso9", "gost", "deletions", "deletions-cr", "cr-alone", "confusables",
        "confusables-fold", "confusables-form", "confusables-no-form", "tr39", "preserve"])
def test_processing(options, text, expected):
    assert P(**options).process(text) == expected


def test_one_pass_only():
    # Zero-width removal comes after normalization: one pass leaves the mark
    # uncomposed, a second would compose it.
    p = P(normalize="NFKC", confusables=True, collapse_whitespace=True, strip_pua=True)
    assert p.process("e\u200b\u0301") == "e\u0301"
    assert p.process(p.process("e\u200b\u0301")) == "\u00e9"


def test_no_growth_limit():
    # Well past the presets' growth limit: each U+FDFA becomes 33 bytes.
    text = "\ufdfa" * 349_526
    assert len(P(normalize="NFKC").process(text).encode()) == 33 * 349_526


# ---- the executor against the single-step functions ------------------------------------------

ALPHABET = ["a", "B", "Z", "0", "1", " ", "  ", "\t", "\n", "\r", "\b", "\x7f", "\x07", "\x85", "\u00e9", "e\u0301",
            "\u0301", "\u0338", "=", "\u00c4", "\u00df", "\u0130", "\u03a3", "\ufb01", "\u2460", "\u00a0", "\u3000",
            "\u200b", "\u200d", "\ufeff", "\u2060", "\u202e", "\u2066", "\u00ad", "\ue000", "\U0010FFFD",
            "\U0010FFFE", "\U000E0041", ENGLAND, "\U0001F600", "\U0001F44D\U0001F3FD", "\u2764\ufe0f", "\u0416",
            "\u0430", "\u4e2d", "\uac00", "\u1100\u1161", "|", '"', "\ufdfa", "\u0e01\u0e34"]

SINGLE_STEPS = {
    "normalize": lambda o, t: _core._normalize(t, form=o["normalize"]),
    "strip_zalgo": lambda o, t: _core._strip_zalgo(t, max_marks=o["strip_zalgo"]),
    "strip_bidi": lambda o, t: _core._strip_bidi(t),
    "strip_plane14": lambda o, t: _core._strip_tags(t),
    "demojize_replacement": lambda o, t: _core._replace_emoji(t, o["demojize_replacement"]),
    "strip_accents": lambda o, t: _core._strip_accents(t),
    "transliterate": lambda o, t: _core._transliterate(t, errors="ignore", replace_with=""),
    "fold_case": lambda o, t: _core._fold_case(t),
    "strip_control": lambda o, t: _core._strip_control_chars(t),
    "strip_zero_width": lambda o, t: _core._strip_zero_width_chars(t),
    "strip_pua": lambda o, t: _core._strip_pua(t),
    "collapse_whitespace": lambda o, t: _core._collapse_whitespace(t),
}


def random_options(rng):
    options = {}
    for name in SINGLE_STEPS:
        if rng.random() < 0.4:
            options[name] = {"normalize": lambda: rng.choice(["NFC", "NFD", "NFKC", "NFKD"]),
                             "strip_zalgo": lambda: rng.randrange(3),
                             "demojize_replacement": lambda: rng.choice(["", "*", "\u00e9", "EMOJI"])}.get(
                                 name, lambda: True)()
    return options


def test_executor_matches_the_single_steps():
    """Random option sets on random text: one pass equals the single-step functions applied in table order.
    The steps with an equivalent module function only (no confusables, demojize names or deletions here)."""
    rng = random.Random(1606)
    failures = []
    for _ in range(3000):
        options = random_options(rng)
        text = "".join(rng.choice(ALPHABET) for _ in range(rng.randrange(12)))
        expected = text
        implied = {"strip_control", "strip_zero_width"} if "collapse_whitespace" in options else set()
        for name in SINGLE_STEPS:  # the dict is in table order
            if name in options or name in implied:
                expected = SINGLE_STEPS[name](options, expected)
        got = P(**options).process(text)
        if got != expected:
            failures.append((options, text, got, expected))
    assert not failures, failures[:5]


# ---- lang and registries (threads: tests/test_stress.py) ---------------------------------------------------------------

def test_lang_registered_after_construction_and_no_global_replacements():
    run_isolated("""
        from kelrad import _core
        p = _core._TextPipeline(transliterate=True, lang="zz-late")
        assert p.process("\u00e4\u00f6") == "ao"
        _core._register_lang("zz-late", {"\u00e4": "AE"})
        _core._register_replacements({"hello": "bye", "\u00f6": "OE"})
        assert p.process("hello \u00e4\u00f6") == "hello AEo"
        assert _core._transliterate("hello \u00f6") == "bye OE"
    """)
