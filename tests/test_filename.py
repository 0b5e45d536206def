"""File-name sanitising: `_sanitize_filename`."""

import random

import pytest

from kelrad import _core

S = _core._sanitize_filename
RESERVED = ("CON PRN AUX NUL COM0 COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 "
            "LPT0 LPT1 LPT2 LPT3 LPT4 LPT5 LPT6 LPT7 LPT8 LPT9 CLOCK$ KEYBD$ SCREEN$").split()
ILLEGAL = {"universal": '/\\:*?"<>|\0', "windows": '/\\:*?"<>|\0', "posix": "/\0"}
# Unicode White_Space, the controls, DEL and the C1 controls.
UNSAFE = {chr(c) for c in [*range(0x21), *range(0x7F, 0xA0), 0xA0, 0x1680, *range(0x2000, 0x200B), 0x2028, 0x2029,
                           0x202F, 0x205F, 0x3000]}


@pytest.mark.parametrize(
    "text, options, expected",
    [
        ("", {}, "_"), (".", {}, "_"), ("..", {}, "_"), ("...", {}, "_"), ("***", {}, "_"),
        (".bashrc", {}, "bashrc"), ("x.", {}, "x"), ("..x..", {}, "x"),
        ("a..b...c", {}, "a.b.c"), ("a...txt", {}, "a.txt"),
        ("CON", {}, "_CON"), ("con.txt", {}, "_con.txt"), ("CON.tar.gz", {}, "_CON.tar.gz"), ("lpt9.", {}, "_lpt9"),
        ("COM1", {"platform": "windows"}, "_COM1"), ("nul", {"platform": "posix"}, "nul"),
        ("CON.txt", {"preserve_extension": False}, "_CON.txt"), ("CON .txt", {}, "_CON.txt"),
        ("a/b\\c:d", {}, "a_b_c_d"), ("a/b\\c:d", {"platform": "posix"}, "a_b\\c:d"),
        (".bashrc", {"platform": "posix"}, "bashrc"), ("a..b", {"platform": "posix"}, "a.b"),
        ("  hello world  .txt", {}, "hello_world.txt"), ("report: final?.pdf", {}, "report_final.pdf"),
        ("a\tb\nc", {}, "a_b_c"), ("a_/_b", {}, "a___b"),
        ("a<>b", {"separator": ""}, "ab"), ("a b", {"separator": " "}, "a b"),
        ("a  b", {"separator": "-"}, "a-b"), ("a b", {"separator": "::", "platform": "posix"}, "a::b"),
        ("file.*", {}, "file"), ("name.t x", {}, "name.tx"), ("  .txt", {}, "txt"),
        ("abcdefghij.txt", {"max_length": 8}, "abcd.txt"), ("abcdefghij.txt", {"max_length": 4}, "abcd"),
        ("abcdefghij.txt", {"max_length": 0}, "abcdefghij.txt"), ("abc.defgh", {"max_length": 5}, "abc.d"),
        ("COM1.txt", {"max_length": 4}, "_COM"),
        ("x" * 300 + ".txt", {}, "x" * 251 + ".txt"),
        ("x" * 300, {"max_length": 0}, "x" * 300),
        ("\u00e9" * 3 + "x", {"max_length": 2}, "e" + "e"),  # transliterated before the cut
        ("a. .b", {}, "a.b"),  # the separator trimmed, then the dot it hid
        ("a_", {}, "a"), ("a_ _", {}, "a"), ("a..", {"separator": ".."}, "a"),
        ("a b", {"separator": ".."}, "a.b"),  # the separator's dots collapse on the next pass
        ("a b", {"separator": "_", "preserve_extension": False}, "a_b"),
        ("x.tar.gz", {"preserve_extension": False, "max_length": 3}, "x.t"),
        ("\u00c9t\u00e9 \u00e0 Z\u00fcrich.txt", {}, "Ete_a_Zurich.txt"),
        ("e\u0301t\u00e9", {}, "ete"),  # NFC first; decomposed and composed agree
        ("\u00e4pfel", {"lang": "de"}, "aepfel"),
        ("\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440", {}, "Privet_mir"),
        ("\u5317\u4eac.txt", {}, "bei_jing.txt"),
        ("a\u3001b", {}, "ab"),  # no transliteration: dropped
        ("a\u200bb\u00a0c\u3000d", {}, "ab_c_d"),  # U+200B transliterates to nothing
        ("a%b\uff05c\u2030d", {}, "a%b_c_0d"),  # only a "%" of the input stays
        ("\uff05", {}, "_"), ("50%", {}, "50%"), ("\uff05%\uff05", {"separator": ""}, "%"),
    ],
)
def test_sanitize_filename(text, options, expected):
    assert S(text, **options) == expected


@pytest.mark.parametrize("platform", ["universal", "windows", "posix"])
@pytest.mark.parametrize("name", RESERVED)
def test_reserved_device_names(name, platform):
    defused = platform != "posix"
    for text in (name, name.lower(), name + ".txt", name.title() + ".tar.gz", name + " .log"):
        expected = text.replace(" ", "")
        assert S(text, platform=platform) == ("_" + expected if defused else expected)
    assert S(name + "0", platform=platform) == name + "0"


NEGATIVE = "max_length must be non-negative, got -1"
BAD_PLATFORM = "platform must be 'universal', 'windows', or 'posix', got 'Windows'"
BAD_SEPARATOR = ("separator must be ' ' or printable, non-space ASCII with no character that is illegal in a filename "
                 "and no path separator (found U+{})")


@pytest.mark.parametrize(
    "options, message",
    [
        ({"max_length": -1, "lang": "xx", "platform": "x", "separator": "/"}, NEGATIVE),
        ({"lang": "xx", "platform": "Windows", "separator": "/"}, "unknown language code 'xx'"),
        ({"platform": "Windows", "separator": "/"}, BAD_PLATFORM),
        ({"platform": ""}, "platform must be 'universal', 'windows', or 'posix', got ''"),
        ({"separator": "  "}, BAD_SEPARATOR.format("0020")),
        ({"separator": "a b"}, BAD_SEPARATOR.format("0020")),
        ({"separator": ":"}, BAD_SEPARATOR.format("003A")),
        ({"separator": ":", "platform": "windows"}, BAD_SEPARATOR.format("003A")),
        ({"separator": "\\", "platform": "posix"}, BAD_SEPARATOR.format("005C")),
        ({"separator": "/", "platform": "posix"}, BAD_SEPARATOR.format("002F")),
        ({"separator": "-\u00e9"}, BAD_SEPARATOR.format("00E9")),
        ({"separator": "\t"}, BAD_SEPARATOR.format("0009")),
        ({"separator": "\x7f"}, BAD_SEPARATOR.format("007F")),
        ({"separator": "\U0001F600"}, BAD_SEPARATOR.format("1F600")),
    ],
)
def test_argument_errors_in_check_order(options, message):
    with pytest.raises(_core.InvalidArgumentError) as info:
        S("name", **options)
    assert str(info.value).startswith(message)


def test_registered_replacements_do_not_apply(clean_replacements):
    _core._register_replacements({"ab": "x/y", "\u00e9": "E"})
    assert S("ab\u00e9") == "abe"


def test_a_registered_language_with_multibyte_values_is_cut_on_character_boundaries():
    _core._register_lang("zz-filename", {"\u00e4": "\u00e9\u00e9", "\u00f6": "\U0001F600", "\u00fc": "%"})
    assert S("\u00e4\u00f6", lang="zz-filename") == "\u00e9\u00e9\U0001F600"
    assert S("a\u00fcb%", lang="zz-filename") == "a_b%"
    text = "\u00e4\u00f6" * 20 + ".txt"
    for max_length in range(1, 30):
        name = S(text, lang="zz-filename", max_length=max_length)
        assert 0 < len(name.encode()) <= max_length
        assert set(name) <= set("\u00e9\U0001F600.txt_")
        if max_length >= 8:
            assert name.endswith(".txt")


# The fuzzed corpus: pieces of names that exercise every rule, joined at random.
PIECES = ["a", "B", "z9", ".", "..", " ", "  ", "_", "-", "%", "\t", "\n", "\0", "\x7f", "\x85", "\u00a0", "\u2028",
          "\u3000", "/", "\\", ":", "*", "?", '"', "<", ">", "|", "\u00e9", "e\u0301", "\u00df", "\u0416", "\u03a9",
          "\u5317", "\ud55c", "\u3001", "\U0001F600", "\U00010400", "\uff05", "\u2030", "CON", "com1", "Lpt9",
          "clock$", ".txt", ".tar.gz", ". ", " ."]


def fuzz_names(rng, count):
    for _ in range(count):
        yield "".join(rng.choices(PIECES, k=rng.randrange(12)))


@pytest.mark.parametrize("separator", ["_", "", " ", "..", "-~"])
@pytest.mark.parametrize("platform", ["universal", "windows", "posix"])
def test_properties_over_a_fuzzed_corpus(platform, separator):
    rng = random.Random(platform + separator)
    for text in fuzz_names(rng, 600):
        max_length = rng.choice([*range(13), 255])
        preserve_extension = rng.random() < 0.8
        options = dict(separator=separator, platform=platform, max_length=max_length,
                       preserve_extension=preserve_extension)
        name = S(text, **options)
        assert name and name not in (".", "..") and name.isascii(), (text, options, name)
        assert name[0] not in ". " and name[-1] not in ". ", (text, options, name)
        if max_length:
            assert len(name.encode()) <= max_length, (text, options, name)
        allowed_unsafe = {" "} if separator == " " else set()
        assert not (set(name) & (UNSAFE | set(ILLEGAL[platform])) - allowed_unsafe), (text, options, name)
        if platform != "posix":
            assert name.split(".")[0].rstrip(" ").upper() not in RESERVED, (text, options, name)
        assert S(name, **options) == name, (text, options, name)
