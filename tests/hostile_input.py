"""Random hostile input for the sweep, stress and memory tests.

A `Draw` is one case's random source. Its argument specs (`Text`, `Choice`, `Int`, ...) draw a value that
is usually valid and sometimes invalid, empty, huge or of the wrong type; every value that makes a failure
legitimate records that failure's exception class in `Draw.excused`, so that the sweep can tell a
documented refusal from a fault. Texts mix many scripts with the characters that break text code: marks by
the thousand, ZWJ and flag sequences, tags, variation selectors, controls, noncharacters, private use,
unassigned code points, HTML entities and percent escapes, and (rarely) lone surrogates.
"""

from __future__ import annotations

import random
import string

from kelrad import _core

MAX_TEXT = 100_000  # code points of the longest drawn text

InvalidArgumentError = _core.InvalidArgumentError
ResourceLimitError = _core.ResourceLimitError


def _ranges(*spans: tuple[int, int]) -> list[tuple[int, int]]:
    return list(spans)


# Each pool is a list of inclusive code-point ranges, or of literal strings.
RANGE_POOLS: dict[str, list[tuple[int, int]]] = {
    "latin": _ranges((0xC0, 0x24F), (0x1E00, 0x1EFF), (0x2C60, 0x2C7F), (0xA720, 0xA7FF), (0xFF21, 0xFF5A)),
    "greek_cyrillic": _ranges((0x370, 0x3FF), (0x1F00, 0x1FFF), (0x400, 0x52F), (0x1C80, 0x1C8F)),
    "marks": _ranges((0x300, 0x36F), (0x483, 0x489), (0x591, 0x5BD), (0x1AB0, 0x1AFF), (0x1DC0, 0x1DFF),
                     (0x20D0, 0x20FF), (0xFE20, 0xFE2F), (0x1D165, 0x1D169), (0x1D16D, 0x1D172)),
    "arabic": _ranges((0x600, 0x6FF), (0x750, 0x77F), (0x8A0, 0x8FF), (0xFB50, 0xFDFF), (0xFE70, 0xFEFF)),
    "hebrew_syriac": _ranges((0x591, 0x5F4), (0x700, 0x74F), (0x7C0, 0x7FF)),
    "indic": _ranges((0x900, 0x97F), (0x980, 0x9FF), (0xA00, 0xA7F), (0xB80, 0xBFF), (0xD00, 0xD7F),
                     (0xE00, 0xE7F), (0x1000, 0x109F), (0x1780, 0x17FF), (0x11000, 0x1107F)),
    "hangul": _ranges((0xAC00, 0xD7A3), (0x1100, 0x11FF), (0xA960, 0xA97F), (0xD7B0, 0xD7FF), (0x3130, 0x318F)),
    "han_kana": _ranges((0x4E00, 0x9FFF), (0x3400, 0x4DBF), (0x20000, 0x2A6DF), (0x30000, 0x3134F),
                        (0xF900, 0xFAFF), (0x3040, 0x30FF), (0x31F0, 0x31FF), (0xFF66, 0xFF9F), (0x3000, 0x303F)),
    "symbols": _ranges((0x2000, 0x2BFF), (0x3200, 0x33FF), (0xFE30, 0xFE6F), (0xFF00, 0xFF20), (0x1D400, 0x1D7FF),
                       (0x1F100, 0x1F1FF), (0x2460, 0x24FF)),
    "emoji": _ranges((0x1F300, 0x1FAFF), (0x2600, 0x27BF), (0x1F3FB, 0x1F3FF)),
    "regional": _ranges((0x1F1E6, 0x1F1FF)),
    "tags": _ranges((0xE0000, 0xE007F)),
    "variation": _ranges((0xFE00, 0xFE0F), (0xE0100, 0xE01EF), (0x180B, 0x180F)),
    "controls": _ranges((0x0, 0x1F), (0x7F, 0x9F), (0x200B, 0x200F), (0x202A, 0x202E), (0x2060, 0x206F),
                        (0x61C, 0x61C), (0xFEFF, 0xFEFF), (0xFFF9, 0xFFFB), (0xAD, 0xAD), (0x34F, 0x34F),
                        (0x115F, 0x1160), (0x3164, 0x3164), (0x1BCA0, 0x1BCA3), (0x1D173, 0x1D17A)),
    "spaces": _ranges((0x9, 0xD), (0x20, 0x20), (0x85, 0x85), (0xA0, 0xA0), (0x1680, 0x1680), (0x2000, 0x200A),
                      (0x2028, 0x2029), (0x202F, 0x202F), (0x205F, 0x205F), (0x3000, 0x3000)),
    "nonchars": _ranges((0xFDD0, 0xFDEF), *[(p * 0x10000 + 0xFFFE, p * 0x10000 + 0xFFFF) for p in range(17)]),
    "private": _ranges((0xE000, 0xF8FF), (0xF0000, 0xF0FFF), (0x10FF00, 0x10FFFD)),
    "any": _ranges((0x0, 0xD7FF), (0xE000, 0x10FFFF)),
}

LITERAL_POOLS: dict[str, list[str]] = {
    "ascii": list(string.printable),
    "words": ["hello", "World", "the", "a", "CON", "nul.txt", "LPT1", "..", ".", "xn--", "xn--80ak6aa92e", "www",
              "example.com", "_", "-", "--", "0", "1234567890", "l33t", "r\u00e9sum\u00e9", "Stra\u00dfe", "ff",
              "I\u0307", "\u0130", "\u0131", "\u01c5", "\ufb03", "\u0390", "\u1e9e", "\u03a3\u03c3\u03c2",
              "\u0627\u0644\u0644\u0647", "\u0928\u092e\u0938\u094d\u0924\u0947", "\ud55c\uad6d\uc5b4",
              "\u4e2d\u6587", "\u0416\u0443\u043a", "\u0391\u03b8\u03ae\u03bd\u03b1", "\u10d0\u10d1"],
    "syntax": ["<", ">", "&", '"', "'", "%", "/", "\\", ":", ";", "#", "?", "=", "+", "*", "[", "]", "(", ")",
               "{", "}", "|", "^", "$", "~", "`", "@", "!", ",", "..", "../", "\r\n", "\x00"],
    "entities": ["&amp;", "&lt;", "&AMP;", "&nbsp;", "&#65;", "&#x41;", "&#X1F600;", "&#128512;", "&#0;",
                 "&#xD800;", "&#xDFFF;", "&#1114111;", "&#1114112;", "&#x110000;", "&#99999999999999999999;",
                 "&#x;", "&#;", "&#", "&", "&#xFFFFFFFFFFFFFFFFFFFF;", "&notin;", "&not", "&#9;", "&#x85;"],
    "percent": ["%41", "%zz", "%", "%%", "%C3%A9", "%F0%9F%98%80", "%ED%A0%80", "%C0%AF", "%FF", "%0A", "%00"],
    "sequences": ["\U0001f468\u200d\U0001f469\u200d\U0001f467\u200d\U0001f466", "1\ufe0f\u20e3", "#\u20e3",
                  "\U0001f3f4\U000e0067\U000e0062\U000e0065\U000e006e\U000e0067\U000e007f",
                  "\U0001f1fa\U0001f1f8", "\U0001f1fa", "\U0001f44d\U0001f3fd", "\u2764\ufe0f", "\u263a\ufe0e",
                  "\u0915\u094d\u200d\u0937", "\u0915\u094d\u200c", "\u1100\u1161\u11a8", "\u1100\u1100\u1100",
                  "\r\n", "\u200d\u200d", "a\u0308\u0301", "\u0644\u0627", "\ufdfa", "\ufdfb", "\u3300",
                  "\U0001d15e", "\u0fb2\u0f81", "\u0344", "\u1e9b\u0323", "\u2126", "\u212b", "\ufb2c",
                  "\u00bd", "\u2474", "\u33ff", "\u0340\u0341", "\u0e33", "\u0eb3", "\u0f77", "\U0001f9d1\u200d"],
}

TEXT_WEIGHTS: dict[str, int] = {
    "ascii": 30, "words": 20, "latin": 12, "greek_cyrillic": 8, "marks": 6, "arabic": 5, "hebrew_syriac": 2,
    "indic": 5, "hangul": 4, "han_kana": 6, "symbols": 4, "emoji": 5, "regional": 3, "tags": 2, "variation": 3,
    "controls": 4, "spaces": 5, "nonchars": 2, "private": 2, "any": 6, "syntax": 6, "entities": 3, "percent": 3,
    "sequences": 8, "zalgo": 2,
}
_POOL_NAMES = list(TEXT_WEIGHTS)
_POOL_CUMULATIVE = [sum(list(TEXT_WEIGHTS.values())[: i + 1]) for i in range(len(TEXT_WEIGHTS))]

WRONG_TYPES: list[object] = [None, 0, -1, 1.5, b"bytes", bytearray(b"x"), ["a"], ("a",), {"a": "b"}, {"a"},
                             object(), True, 2**70, memoryview(b"m"), iter(["a"])]


class TextSubclass(str):
    """A str subclass: valid wherever a str is taken."""


class Draw:
    """One case's random source; records the exception classes that its drawn values make legitimate."""

    def __init__(self, seed: int) -> None:
        self.seed = seed
        self.rng = random.Random(seed)
        self.excused: set[type[BaseException]] = set()

    def chance(self, p: float) -> bool:
        return self.rng.random() < p

    def excuse(self, *classes: type[BaseException]) -> None:
        self.excused.update(classes)

    def wrong_type(self, *allowed: type) -> object:
        """A value of none of the `allowed` types; the TypeError it causes is excused."""
        while True:
            value = self.rng.choice(WRONG_TYPES)
            if not isinstance(value, allowed):
                self.excuse(TypeError, OverflowError)  # a huge int where an int is wanted overflows first
                return value

    # ---- texts ------------------------------------------------------------------------------------------

    def length(self, max_len: int = MAX_TEXT) -> int:
        """0 to `max_len` code points: mostly short, sometimes long, occasionally the maximum."""
        r = self.rng.random()
        if r < 0.05 or max_len == 0:
            return 0
        if r < 0.50:
            return self.rng.randint(1, min(16, max_len))
        if r < 0.85:
            return self.rng.randint(1, min(2_000, max_len))
        if r < 0.97:
            return int(max_len ** self.rng.random())
        return max_len

    def segment(self) -> str:
        k = self.rng.randrange(_POOL_CUMULATIVE[-1])
        name = _POOL_NAMES[next(i for i, c in enumerate(_POOL_CUMULATIVE) if k < c)]
        rng = self.rng
        if name == "zalgo":  # a base with marks by the hundred or thousand
            marks = RANGE_POOLS["marks"]
            count = rng.choice((rng.randint(1, 40), rng.randint(100, 5_000)))
            return rng.choice("aeo\u0430\u4e00 ") + "".join(
                chr(rng.randint(*rng.choice(marks))) for _ in range(count))
        if name in LITERAL_POOLS:
            return "".join(rng.choice(LITERAL_POOLS[name]) for _ in range(rng.randint(1, 6)))
        spans = RANGE_POOLS[name]
        return "".join(chr(rng.randint(*rng.choice(spans))) for _ in range(rng.randint(1, 12)))

    def motif(self, max_len: int) -> str:
        """A short random text made of a few segments."""
        parts, size = [], 0
        while size < max_len:
            part = self.segment()
            parts.append(part)
            size += len(part)
            if self.chance(0.3):
                break
        return "".join(parts)[:max_len]

    def text(self, max_len: int = MAX_TEXT, surrogates: float = 0.03) -> str:
        """A random text of 0 to `max_len` code points; lone surrogates (rarely) excuse UnicodeEncodeError."""
        n = self.length(max_len)
        if n == 0:
            return ""
        parts, size = [], 0
        while size < n:
            # Long texts repeat a few motifs, so that building them stays cheap.
            part = self.motif(min(n - size, 200)) if not parts or self.chance(0.1) else self.rng.choice(parts)
            parts.append(part)
            size += len(part)
        text = "".join(parts)[:n]
        if self.chance(surrogates):
            chars = list(text) or ["x"]
            for _ in range(self.rng.randint(1, 3)):
                pos = self.rng.randrange(len(chars) + 1)
                chars.insert(pos, chr(self.rng.randint(0xD800, 0xDFFF)))
            if self.chance(0.3):
                chars.append("\ud83d\ude00")  # a valid pair, written as two code points
            text = "".join(chars)
            self.excuse(UnicodeEncodeError)
        if self.chance(0.05):
            text = TextSubclass(text)
        return text

    def data(self, max_len: int = 4_000) -> bytes:
        """Random bytes: UTF-8 of hostile text, legacy encodings, BOMs, or noise."""
        r = self.rng.random()
        if r < 0.35:
            return self.text(max_len // 4, surrogates=0).encode()[:max_len]
        if r < 0.65:
            codec = self.rng.choice(["cp1252", "cp1251", "latin-1", "koi8-r", "shift_jis", "euc-jp", "gb18030",
                                     "big5", "euc-kr", "iso-8859-7", "cp1256", "utf-16", "utf-16-be", "utf-32"])
            return self.text(max_len // 4, surrogates=0).encode(codec, errors="ignore")[:max_len]
        if r < 0.75:
            bom = self.rng.choice([b"\xef\xbb\xbf", b"\xff\xfe", b"\xfe\xff", b"\xff\xfe\x00\x00", b"+/v8"])
            return bom + self.data(max_len)
        return self.rng.randbytes(self.rng.randint(0, max_len))


# ---- argument specs -------------------------------------------------------------------------------------

class Spec:
    """How to draw one argument."""

    def draw(self, d: Draw) -> object:
        raise NotImplementedError


class Text(Spec):
    """A str argument; `optional` also draws None (which then means absent)."""

    def __init__(self, max_len: int = MAX_TEXT, optional: bool = False, wrong: float = 0.02):
        self.max_len, self.optional, self.wrong = max_len, optional, wrong

    def draw(self, d: Draw) -> object:
        if self.optional and d.chance(0.2):
            return None
        if d.chance(self.wrong):
            return d.wrong_type(str, type(None)) if self.optional else d.wrong_type(str)
        return d.text(self.max_len)


class Choice(Spec):
    """A str option with a fixed set of valid values (a callable gives them at draw time); any other text
    is refused with `error`."""

    def __init__(self, values, error: type[BaseException] = InvalidArgumentError, optional: bool = False):
        self.values, self.error, self.optional = values, error, optional

    def valid(self) -> list[str]:
        return list(self.values()) if callable(self.values) else list(self.values)

    def draw(self, d: Draw) -> object:
        valid = self.valid()
        r = d.rng.random()
        if self.optional and r < 0.15:
            return None
        if r < 0.80:
            return d.rng.choice(valid)
        if r < 0.97:
            value = d.rng.choice([
                d.rng.choice(valid).upper(), d.rng.choice(valid).title(), " " + d.rng.choice(valid),
                d.rng.choice(valid) + "\x00", "", d.text(40), d.text(MAX_TEXT // 10), "x" * 10_000])
            if value not in valid:
                d.excuse(self.error)
            return value
        return d.wrong_type(str, type(None)) if self.optional else d.wrong_type(str)


class Flag(Spec):
    def __init__(self, optional: bool = False):
        self.optional = optional

    def draw(self, d: Draw) -> object:
        if self.optional and d.chance(0.3):
            return None
        if d.chance(0.03):
            return d.wrong_type(bool, type(None)) if self.optional else d.wrong_type(bool)
        return d.chance(0.5)


class Int(Spec):
    """An integer option; values below `low` are refused with `negative` (None: by the conversion, with
    OverflowError), values of 2**63 and above overflow the conversion."""

    def __init__(self, low: int = 0, high: int = 64, negative: type[BaseException] | None = None,
                 unsigned: bool = False, optional: bool = False):
        self.low, self.high, self.negative, self.unsigned, self.optional = low, high, negative, unsigned, optional

    def draw(self, d: Draw) -> object:
        if self.optional and d.chance(0.3):
            return None
        r = d.rng.random()
        if r < 0.75:
            return d.rng.randint(self.low, self.high)
        if r < 0.85:
            return d.rng.choice([0, 1, 2**31, 2**32, 2**63 - 1])
        if r < 0.92:
            d.excuse(self.negative or OverflowError)
            return d.rng.choice([-1, -2**31, -2**63])
        if r < 0.97:
            d.excuse(OverflowError)
            return d.rng.choice([2**64 - 1, 2**64, 2**100]) if not self.unsigned or d.chance(0.5) else 2**64
        return d.wrong_type(int)


class Texts(Spec):
    """A list of texts. `tuples` says whether other sequences are taken; a batch `limit` of items is
    refused with ResourceLimitError above it. The total size stays bounded."""

    def __init__(self, max_items: int = 200, max_len: int = 2_000, tuples: bool = True,
                 limit: int | None = None, optional: bool = False):
        self.max_items, self.max_len, self.tuples, self.limit, self.optional = (max_items, max_len, tuples, limit,
                                                                                optional)

    def draw(self, d: Draw) -> object:
        rng = d.rng
        r = rng.random()
        if self.optional and r < 0.15:
            return None
        if r < 0.03:
            return d.wrong_type(list, tuple, type(None)) if self.optional else d.wrong_type(list, tuple)
        if r < 0.05:
            d.excuse(TypeError)
            return d.text(20) or "str"  # a str is never a sequence of texts
        if self.limit is not None and r < 0.055:
            d.excuse(ResourceLimitError)
            return ["x"] * (self.limit + 1)
        count = rng.choice([0, 1, rng.randint(2, 8), rng.randint(0, self.max_items)])
        items: list[object] = [d.text(self.max_len if i < 4 else min(self.max_len, 200)) for i in range(count)]
        if items and rng.random() < 0.03:
            items[rng.randrange(len(items))] = d.wrong_type(str)
        if rng.random() < 0.1:
            if self.tuples:
                return tuple(items)
            d.excuse(TypeError)
            return tuple(items)
        return items


class StrMap(Spec):
    """A dict of str to str. With `char_keys` a key must be exactly one character, and other keys (drawn
    now and then) are refused with InvalidArgumentError."""

    def __init__(self, max_items: int = 20, key_len: int = 6, value_len: int = 20, char_keys: bool = False):
        self.max_items, self.key_len, self.value_len, self.char_keys = max_items, key_len, value_len, char_keys

    def key(self, d: Draw) -> str:
        if not self.char_keys:
            return d.text(self.key_len, surrogates=0.01)
        if d.chance(0.97):
            return d.rng.choice(d.segment())
        key = d.text(3, surrogates=0.01)
        if len(key) != 1:
            d.excuse(InvalidArgumentError)
        return key

    def draw(self, d: Draw) -> object:
        if d.chance(0.03):
            return d.wrong_type(dict)
        mapping: dict[object, object] = {}
        for _ in range(d.rng.randint(0, self.max_items)):
            mapping[self.key(d)] = d.text(self.value_len, surrogates=0.01)
        if mapping and d.chance(0.03):
            key = d.rng.choice([None, 0, 1.5, b"key", ("a",)])
            mapping[key] = "x" if d.chance(0.5) else mapping.popitem()[1]
            d.excuse(TypeError)
        return mapping


class ListOf(Spec):
    """A list (or tuple) of items drawn by `item`."""

    def __init__(self, item: Spec, max_items: int = 6, optional: bool = False):
        self.item, self.max_items, self.optional = item, max_items, optional

    def draw(self, d: Draw) -> object:
        r = d.rng.random()
        if self.optional and r < 0.2:
            return None
        if r < 0.23:
            return d.wrong_type(list, tuple, type(None)) if self.optional else d.wrong_type(list, tuple)
        items = [self.item.draw(d) for _ in range(d.rng.randint(0, self.max_items))]
        return tuple(items) if d.chance(0.1) else items


class Pairs(Spec):
    """A list of (str, str) pairs."""

    def draw(self, d: Draw) -> object:
        r = d.rng.random()
        if r < 0.03:
            return d.wrong_type(list, tuple)
        pairs: list[object] = [(d.text(8), d.text(8)) for _ in range(d.rng.randint(0, 6))]
        if pairs and r < 0.06:
            d.excuse(TypeError)
            pairs[0] = d.rng.choice([("a",), ("a", "b", "c"), ["a", "b"], "ab", ("a", 1), None])
        return pairs


REGEX_ATOMS = [r"[^-a-z0-9]+", r"[^\w]+", r"\d", r"\s+", r"[aeiou]", r"\p{Han}", r"\pL", r"\P{L}+", r"(?i)x",
               r".", r"^", r"$", r"\b", r"\B", r"[\x{300}-\x{36f}]", r"a|b", r"(ab)*", r"(?:c+)?", r"x{2,5}",
               r"[[:punct:]]", r"\Q.*\E", r"(?P<n>a)", r"\pN{3}", r"[^\x00-\x7f]", r"\x{1F600}", r"a{1000}"]


class Pattern(Spec):
    """A slug regex: None, a pattern built from RE2 atoms, random text (which may not compile), or one over
    the length limit."""

    def draw(self, d: Draw) -> object:
        rng = d.rng
        r = rng.random()
        if r < 0.35:
            return None
        if r < 0.80:
            return "".join(rng.choice(REGEX_ATOMS) for _ in range(rng.randint(1, 4)))
        if r < 0.97:
            d.excuse(InvalidArgumentError, ResourceLimitError)
            return d.text(rng.choice([8, 600]), surrogates=0.02)
        return d.wrong_type(str, type(None))


class Anything(Spec):
    def __init__(self, *values: object):
        self.values = values

    def draw(self, d: Draw) -> object:
        return d.rng.choice(self.values)


class Real(Spec):
    """A float option valid in [low, high]; values outside (NaN included) are refused with `error`."""

    def __init__(self, low: float, high: float, error: type[BaseException] = InvalidArgumentError):
        self.low, self.high, self.error = low, high, error

    def draw(self, d: Draw) -> object:
        r = d.rng.random()
        if r < 0.7:
            return d.rng.uniform(self.low, self.high)
        if r < 0.8:
            return d.rng.choice([self.low, self.high, int(self.low), int(self.high)])
        if r < 0.95:
            d.excuse(self.error)
            return d.rng.choice([self.low - 1e-9, self.high + 1, float("nan"), float("inf"), -float("inf"), -1])
        if d.chance(0.5):
            d.excuse(OverflowError)  # an int too large for a float
            return 10**400
        return d.wrong_type(int, float)


class Data(Spec):
    """A bytes argument (a bytes subclass is valid too)."""

    def draw(self, d: Draw) -> object:
        if d.chance(0.03):
            d.excuse(TypeError)
            return d.rng.choice([bytearray(b"abc"), memoryview(b"abc"), "text", None, 5])
        data = d.data()
        return BytesSubclass(data) if d.chance(0.05) else data


class BytesSubclass(bytes):
    """A bytes subclass: valid wherever bytes are taken."""


class Objects(Spec):
    """One of a fixed list of objects, each with the exception classes that it makes legitimate."""

    def __init__(self, *choices: object | tuple[object, tuple[type[BaseException], ...]]):
        self.choices = [c if isinstance(c, tuple) else (c, ()) for c in choices]

    def draw(self, d: Draw) -> object:
        value, excused = d.rng.choice(self.choices)
        d.excuse(*excused)
        return value() if callable(value) and getattr(value, "fresh", False) else value


def fresh(factory):
    """Marks a factory whose product `Objects` draws, instead of the factory itself."""
    factory.fresh = True
    return factory
