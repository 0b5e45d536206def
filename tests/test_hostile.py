"""Hostile-input sweep: every function and method of `kelrad._core` called with random hostile arguments.

The only outcomes allowed are a result of the documented type or a documented exception class: never a
crash, `SystemError`, `PanicException`, another exception, a hang or unbounded memory. The sweep runs in a
worker process, so that a crash or a hang is reported with the case that caused it; the worker goes on
with the next row afterwards.

Each row of `ROWS` names a callable, draws its arguments with the specs of `hostile_input`, and says what a
call may return and which exception classes arguments drawn as valid may still cause. Rows for names that
the module does not export (yet) are skipped; `test_every_callable_has_a_row` fails for an exported name
without a row.

Environment: KELRAD_HOSTILE_SECONDS (whole sweep, default 60), KELRAD_HOSTILE_SEED (default random),
KELRAD_HOSTILE_RSS_MB (the worker's resident-memory limit). A failure prints the command that replays its
case: `python tests/test_hostile.py replay NAME SEED` (with KELRAD_BUILD_DIR set as for the tests).
"""

from __future__ import annotations

import dataclasses
import faulthandler
import json
import mmap
import os
import pathlib
import random
import struct
import subprocess
import sys
import tempfile
import time
import zlib
from collections.abc import Callable

HERE = pathlib.Path(__file__).resolve().parent
if __name__ == "__main__" and os.environ.get("KELRAD_BUILD_DIR"):  # replay by hand against a test build
    sys.path[:0] = [str(HERE), str((HERE.parent / os.environ["KELRAD_BUILD_DIR"] / "pkg").resolve())]

import pytest  # noqa: E402

from kelrad import _core  # noqa: E402
from hostile_input import (  # noqa: E402
    Anything, Choice, Data, Draw, Flag, Int, ListOf, Objects, Pairs, Pattern, Real, Spec, StrMap, Text, Texts,
    fresh)

KelradError = _core.KelradError
InvalidArgumentError = _core.InvalidArgumentError
ResourceLimitError = _core.ResourceLimitError
UnsupportedError = _core.UnsupportedError
MAX_BATCH = 100_000


# ---- rows -----------------------------------------------------------------------------------------------

@dataclasses.dataclass(frozen=True)
class Param:
    spec: Spec
    keyword_only: bool = False
    required: bool = True


def P(spec: Spec) -> Param:
    """A required positional-or-keyword parameter."""
    return Param(spec)


def O(spec: Spec) -> Param:  # noqa: E743
    """An optional positional-or-keyword parameter."""
    return Param(spec, required=False)


def K(spec: Spec, required: bool = False) -> Param:
    """A keyword-only parameter."""
    return Param(spec, keyword_only=True, required=required)


@dataclasses.dataclass(frozen=True)
class Row:
    name: str  # a module attribute, or "Class.method"
    params: dict[str, Param]
    returns: Callable[[object], bool]
    raises: tuple[type[BaseException], ...] = ()  # errors that arguments drawn as valid may still cause
    check: Callable[[dict, object], bool] | None = None  # an invariant of the result, given the arguments
    receiver: Callable[[Draw], object] | None = None  # draws the object whose method the row calls
    calls: int = 1  # calls per case (methods of stateful objects: several on one object)
    phase: int = 1  # 0: adds process-wide state; 1: reads it; 2: removes it; 3: seals it
    via: Callable | None = None  # a function that takes the drawn arguments and makes the call itself

    @property
    def present(self) -> bool:
        head = self.name.split(".")[0]
        return head in _core.__all__

    def target(self, d: Draw) -> Callable:
        if self.via is not None:
            return self.via
        if self.receiver is None:
            return getattr(_core, self.name)
        return getattr(self.receiver(d), self.name.split(".")[1])

    def arguments(self, d: Draw) -> tuple[list, dict, dict]:
        """Draws positional and keyword arguments, and the dict of every argument by name."""
        args: list = []
        kwargs: dict = {}
        bound: dict = {}
        positional = True
        for name, p in self.params.items():
            if not p.required and d.chance(0.3):
                positional = False  # a later positional-or-keyword argument must now go by keyword
                continue
            if p.required and d.chance(0.005):
                d.excuse(TypeError)
                positional = False
                continue
            bound[name] = value = p.spec.draw(d)
            if not p.keyword_only and positional and d.chance(0.85):
                args.append(value)
            else:
                positional = False
                kwargs[name] = value
        if d.chance(0.01):
            d.excuse(TypeError)
            kwargs["unexpected"] = "x"
        elif positional and d.chance(0.01):
            d.excuse(TypeError)
            args.append("extra")
        return args, kwargs, bound


# ---- result predicates ------------------------------------------------------------------------------------

def is_(*types: type) -> Callable[[object], bool]:
    return lambda r: type(r) in types


BOOL, NONE = is_(bool), is_(type(None))


def STR(r: object) -> bool:
    return isinstance(r, str)  # functions that may hand back their argument hand back a str subclass too


def INT(r: object) -> bool:
    return type(r) is int and r >= 0


def list_of(item: Callable[[object], bool]) -> Callable[[object], bool]:
    return lambda r: type(r) is list and all(item(x) for x in r)


def tuple_of(*items: Callable[[object], bool]) -> Callable[[object], bool]:
    return lambda r: type(r) is tuple and len(r) == len(items) and all(f(x) for f, x in zip(items, r))


def optional(item: Callable[[object], bool]) -> Callable[[object], bool]:
    return lambda r: r is None or item(r)


def record(cls_name: str, **fields: Callable[[object], bool]) -> Callable[[object], bool]:
    """An instance of a module class whose attributes have the given types and whose repr is a str."""
    def test(r: object) -> bool:
        return (type(r) is getattr(_core, cls_name) and all(f(getattr(r, a)) for a, f in fields.items())
                and type(repr(r)) is str)
    return test


def mapping(**fields: Callable[[object], bool]) -> Callable[[object], bool]:
    return lambda r: type(r) is dict and list(r) == list(fields) and all(f(r[k]) for k, f in fields.items())


def NEVER(r: object) -> bool:
    return False


CHAR = lambda r: type(r) is str and len(r) == 1  # noqa: E731
CHAR_AT = tuple_of(CHAR, INT)

# ---- invariants -------------------------------------------------------------------------------------------

def same_as_single(single: str, item: str = "text") -> Callable[[dict, object], bool]:
    """A batch gives, item by item, what the single-text function gives with the same options."""
    def check(a: dict, result: list) -> bool:
        options = {k: v for k, v in a.items() if k != "texts"}
        f = getattr(_core, single)
        return len(result) == len(a["texts"]) and all(
            r == f(**{item: t}, **options) for r, t in zip(result, a["texts"]))
    return check


def graphemes_rejoin(a: dict, r: list) -> bool:
    return "".join(r) == a["text"] and all(r) and _core._grapheme_len(a["text"]) == len(r)


def truncate_is_prefix(a: dict, r: str) -> bool:
    return r == "".join(_core._grapheme_split(a["text"])[: a["max_graphemes"]])


def distance_bounds(a: dict, r: int) -> bool:
    x, y = a["a"], a["b"]
    return abs(len(x) - len(y)) <= r <= max(len(x), len(y)) and (r == 0) == (x == y)


def nearest_is_nearest(a: dict, r: object) -> bool:
    limit = a.get("max_distance", 1)
    distances = [_core._edit_distance(a["value"], c) for c in a["candidates"]]
    if r is None:
        return all(d > limit for d in distances)
    best = min(distances)
    return r.distance == best <= limit and r.value == a["candidates"][distances.index(best)]


def normalized(a: dict, r: str) -> bool:
    return _core._is_normalized(r, form=a.get("form", "NFC"))


NEUTRALIZED = {chr(c) for c in [*range(0x20), *range(0x7F, 0xA0), 0x2028, 0x2029]}


def log_safe(a: dict, r: str) -> bool:
    bad = NEUTRALIZED - ({"\t"} if a["keep_tab"] else set())
    return not bad.intersection(r)


# ---- argument specs shared by rows -----------------------------------------------------------------------

TEXT = Text()
SHORT = Text(64)
LANGS = lambda: [*_core._list_langs(), "auto", "nb", "nn"]  # noqa: E731
LANG = Choice(LANGS, optional=True)
ERRORS = Choice(["replace", "ignore", "preserve", "strict"])
FORM = Choice(["NFC", "NFD", "NFKC", "NFKD"])
TARGET = Choice(["latin", "cyrillic", "arabic", "hebrew"])
DIGITS = Choice(["numeric", "tr39", "preserve"])
SCRIPT = Choice(["Latin", "Cyrillic", "Greek", "Arabic", "Hebrew", "Han", "Hangul", "Common", "Carian",
                 "Georgian", "Devanagari", "Armenian"])
REPLACE_WITH = Text(8, wrong=0.01)
SCRIPTS = ListOf(Choice(["Latin", "latin", "CYRILLIC", "Greek", "Han", "Common", "Inherited", "Hangul", "NKo",
                          "Arabic", "Georgian", "Hiragana"]), 4, optional=True)

TRANSLIT = {"lang": O(LANG), "errors": O(ERRORS), "replace_with": O(REPLACE_WITH), "strict_iso9": O(Flag()),
            "gost7034": O(Flag()), "tones": O(Flag())}
TRANSLIT_FLAGS = {"lang": K(LANG), "strict_iso9": K(Flag()), "gost7034": K(Flag()), "tones": K(Flag())}
# Valid transliteration options may still meet the Cyrillic exclusion, a strict untranslatable
# character or the growth limit of the registered replacements.
TRANSLIT_RAISES = (InvalidArgumentError, KelradError, ResourceLimitError)

SLUG = {"separator": K(Text(4)), "lowercase": K(Flag()), "max_length": K(Int(0, 80, InvalidArgumentError)),
        "word_boundary": K(Flag()), "save_order": K(Flag()), "stopwords": K(Texts(8, 12)),
        "regex_pattern": K(Pattern()), "replacements": K(Pairs()), "allow_unicode": K(Flag()), "lang": K(LANG),
        "entities": K(Flag()), "decimal": K(Flag()), "hexadecimal": K(Flag())}
SLUG_CLASS = {**SLUG, "safe_chars": K(Text(6))}


def slugifier(cls_name: str, extra: dict | None = None) -> Callable[[Draw], object]:
    """Draws an object of a slug class from valid options (the defaults when a drawn set is refused)."""
    def make(d: Draw) -> object:
        cls = getattr(_core, cls_name)
        sub = Draw(d.rng.getrandbits(63))
        _, kwargs, _ = Row(cls_name, SLUG_CLASS, NEVER).arguments(sub)
        kwargs.update(extra(d) if extra else {})
        try:
            return cls(**kwargs)
        except (TypeError, OverflowError, UnicodeEncodeError, KelradError):
            return cls(**(extra(d) if extra else {}))
    return make


class CheckError(Exception):
    """Raised by a `check` callable of a unique slugifier; it reaches the caller unchanged."""


def unique_check(d: Draw) -> dict:
    """A `check` for `_UniqueSlugifier`: none, always free, always taken, random, or misbehaving."""
    rng = random.Random(d.rng.getrandbits(32))
    kind = d.rng.choice(["none", "free", "taken", "random", "raise", "int", "uncallable"])
    if kind == "raise":
        d.excuse(CheckError)
    if kind in ("int", "uncallable"):
        d.excuse(TypeError)
    return {"none": {}, "free": {"check": lambda c: False}, "taken": {"check": lambda c: True},
            "random": {"check": lambda c: rng.random() < 0.7},
            "raise": {"check": lambda c: (_ for _ in ()).throw(CheckError(c))},
            "int": {"check": lambda c: 1}, "uncallable": {"check": object()}}[kind]


class DispatcherError(Exception):
    """Raised by a transliteration dispatcher; it reaches the caller unchanged."""


def dispatcher(text: object, **options: object) -> str:
    if not isinstance(text, (str, list)):
        raise DispatcherError(type(text).__name__)
    return "dispatched"


class EntryText(Spec):
    """Any object: the entry serves a plain str itself and hands anything else to the dispatcher."""

    def draw(self, d: Draw) -> object:
        r = d.rng.random()
        if r < 0.85:
            return d.text()
        if r < 0.95:
            return [d.text(50) for _ in range(d.rng.randint(0, 5))]
        return d.rng.choice([5, None, b"bytes"])


class Provider:
    """Emoji-name providers: answering, declining, raising, or answering with a non-str (both warn)."""

    def __init__(self, answer: Callable[[list[int]], object]):
        self.lookup = answer


PROVIDERS = Objects(None, Provider(lambda seq: "emoji"), Provider(lambda seq: None), Provider(lambda seq: 5),
                    Provider(lambda seq: 1 / 0), object())
LEXICON = Objects(fresh(lambda: _core.Lexicon(["hello", "world", "paypal", "\u0430pple", "stra\u00dfe"])),
                  fresh(lambda: _core.Lexicon([])), (["hello"], (TypeError,)), (None, (TypeError,)))
ENCODINGS = ["utf-8", "latin1", "windows-1252", "windows-1251", "shift_jis", "euc-jp", "gb18030", "big5", "euc-kr",
             "koi8-r", "utf-16le", "utf-16be", "ibm866", "macintosh", "iso-8859-7", "x-user-defined",
             "iso-2022-jp", "windows-874"]
PRESETS = ["canonicalize", "security_clean", "canonicalize_strict", "normalize_user_input", "strip_format",
           "display_clean", "strip_obfuscation", "skeleton_key", "sort_key", "search_key", "catalog_key",
           "ml_normalize"]
PROFILES = lambda: _core._list_profiles()  # noqa: E731
KEYS = ["fold_case", "search_key", "catalog_key", "canonicalize", "canonicalize_strict", "normalize_confusables"]

FINDING = record("Finding", kind=STR, token=STR, start=INT, end=INT, detail=STR, reason=STR)
REPORT = record("AnomalyReport", anomalous=BOOL, kinds=list_of(STR), findings=list_of(FINDING),
                reason=optional(STR))
PAYLOAD = record("SmuggledPayload", scheme=STR, start=INT, end=INT, units=INT, data=is_(bytes), text=optional(STR))
HOSTNAME = record("HostnameAnalysis", suspicious=BOOL, scripts=list_of(STR), mixed_script=BOOL,
                  has_confusables=BOOL, bidi_conflict=BOOL, bidi_control=BOOL, has_invisible=BOOL, compat_fold=BOOL,
                  cross_label_script=BOOL, label_scripts=list_of(list_of(STR)), whole_script_confusable=BOOL,
                  label_whole_script_confusable=list_of(BOOL), canonical=STR)
COLLISION = record("KeyCollision", key=STR, values=list_of(STR), indices=list_of(INT))


def pipeline_ok(r: object) -> bool:
    return (type(r) is _core._TextPipeline and list_of(tuple_of(STR, optional(STR)))(r.steps())
            and optional(STR)(r.purpose()) and type(repr(r)) is str)


def report_matches(has: Callable) -> Callable[[dict, object], bool]:
    """The report agrees with the boolean form, its reason is the first finding's, and the byte span of every
    finding holds its token (a smuggled finding's token is the decoded payload)."""
    def check(a: dict, r: object) -> bool:
        data = a["text"].encode()
        return (r.anomalous == has(a["text"], a.get("lexicon")) == bool(r.findings)
                and r.reason == (r.findings[0].reason if r.findings else None)
                and all(data[f.start:f.end].decode() == f.token for f in r.findings if f.kind != "smuggled"))
    return check


def payloads_in_text(a: dict, r: list) -> bool:
    data = a["text"].encode()
    return all(p.scheme in ("tag_ascii", "variation_bytes", "zero_width_binary", "percent_escape")
               and p.start < p.end <= len(data) and len(data[p.start:p.end].decode()) == p.units for p in r)


def groups_are_collisions(a: dict, r: list) -> bool:
    values = list(a["values"])
    return all(len(g.values) == len(set(g.values)) >= 2 and g.indices == sorted(set(g.indices))
               and {values[i] for i in g.indices} == set(g.values) for g in r)


def surrogate_safe(inner: object, retry: object, text: object) -> object:
    """A `SurrogateSafe` around `inner`, called with the text, and bound as a method."""
    wrapper = _core.SurrogateSafe(inner, retry)
    assert wrapper.__get__(None, object) is wrapper
    return wrapper(text)


def scrub_and_retry(inner: Callable, args: tuple, kwargs: dict | None) -> object:
    args = tuple(a.encode("utf-16-le", "surrogatepass").decode("utf-16-le", "replace") if isinstance(a, str) else a
                 for a in args)
    return inner(*args, **(kwargs or {}))


# ---- the table --------------------------------------------------------------------------------------------

def fn(name: str, returns: Callable, raises: tuple = (), check=None, phase: int = 1, **params: Param) -> Row:
    return Row(name, params, returns, raises, check, phase=phase)


def text_fn(name: str, returns: Callable = STR, check=None) -> Row:
    """A function of one text that cannot fail once the text is converted."""
    return fn(name, returns, check=check, text=P(TEXT))


PIPELINE = {"normalize": K(Choice(["NFC", "NFD", "NFKC", "NFKD"], optional=True)), "transliterate": K(Flag()),
            "lang": K(LANG), "strict_iso9": K(Flag()), "gost7034": K(Flag()), "confusables": K(Flag()),
            "strip_accents": K(Flag()), "fold_case": K(Flag()), "collapse_whitespace": K(Flag()),
            "strip_control": K(Flag(optional=True)), "strip_zero_width": K(Flag(optional=True)),
            "demojize": K(Flag()), "demojize_replacement": K(Text(4, optional=True)), "strip_bidi": K(Flag()),
            "strip_zalgo": K(Int(0, 8, InvalidArgumentError, optional=True)), "strip_pua": K(Flag()),
            "strip_plane14": K(Flag()), "resolve_deletions": K(Flag()), "resolve_cr": K(Flag()),
            "digit_policy": K(DIGITS)}


def pipeline(d: Draw) -> object:
    """A `_TextPipeline` from random valid options, or a named profile's."""
    if d.chance(0.3):
        return _core._get_pipeline(d.rng.choice(_core._list_profiles()))
    _, kwargs, _ = Row("_TextPipeline", PIPELINE, NEVER).arguments(Draw(d.rng.getrandbits(63)))
    try:
        return _core._TextPipeline(**kwargs)
    except (TypeError, OverflowError, UnicodeEncodeError, KelradError):
        return _core._TextPipeline(normalize="NFKC", confusables=True, fold_case=True)


SLUGIFIER_RETURNS = record("_Slugifier", lang=optional(STR), separator=STR)

ROWS: list[Row] = [
    # Transliteration
    fn("_transliterate", STR, TRANSLIT_RAISES, text=P(TEXT), **TRANSLIT),
    fn("_find_untranslatable", list_of(CHAR_AT), TRANSLIT_RAISES, text=P(TEXT), **TRANSLIT_FLAGS),
    text_fn("_strip_accents"),
    text_fn("_is_ascii", BOOL, check=lambda a, r: r == a["text"].isascii()),
    fn("_list_langs", list_of(STR)),
    fn("_register_lang", NONE, (ResourceLimitError, UnsupportedError), phase=0,
       code=P(Text(12)), mappings=P(StrMap(char_keys=True))),
    fn("_register_replacements", NONE, (ResourceLimitError, UnsupportedError), phase=0,
       replacements=P(StrMap(max_items=8, key_len=6, value_len=12))),
    fn("_remove_replacement", BOOL, (UnsupportedError,), phase=2, key=P(Text(6))),
    fn("_clear_replacements", NONE, (UnsupportedError,), phase=2),
    fn("_seal_registrations", NONE, phase=3),
    fn("_registrations_sealed", BOOL),
    fn("_reverse_transliterate", STR, text=P(TEXT),
       lang=K(Choice(["el", "ru", "uk"], UnsupportedError), required=True)),
    fn("_reverse_langs", list_of(STR)),
    text_fn("_inspect_auto_lang", mapping(script=optional(STR), chosen_lang=optional(STR), reason=STR,
                                          discriminators_hit=list_of(STR))),
    # Slugs
    fn("_slugify", STR, text=P(TEXT), **SLUG),
    fn("_slugify_batch", list_of(STR), check=same_as_single("_slugify"),
       texts=P(Texts(tuples=False, limit=MAX_BATCH)), **SLUG),
    Row("_Slugifier", SLUG_CLASS, SLUGIFIER_RETURNS),
    Row("_Slugifier.slugify", {"text": P(TEXT)}, STR, receiver=slugifier("_Slugifier")),
    Row("_UniqueSlugifier", {"check": K(Anything(None, len, lambda c: False)), **SLUG_CLASS},
        is_(_core._UniqueSlugifier) if "_UniqueSlugifier" in _core.__all__ else NEVER),
    Row("_UniqueSlugifier.slugify", {"text": P(Text(200))}, STR, (ResourceLimitError, InvalidArgumentError),
        receiver=slugifier("_UniqueSlugifier", unique_check), calls=4),
    Row("_UniqueSlugifier.reset", {}, NONE, receiver=slugifier("_UniqueSlugifier")),
    # Escaping
    # A replacement holding a character that the call neutralizes is refused.
    fn("_strip_log_injection", STR, (InvalidArgumentError,), check=log_safe, text=P(TEXT),
       replacement=K(Text(4), required=True), keep_tab=K(Flag(), required=True)),
    text_fn("_escape_html", check=lambda a, r: not set("<>\"'").intersection(r)),
    fn("_percent_encode", STR, check=lambda a, r: r.isascii(), text=P(TEXT),
       component=K(Choice(["path", "segment", "query", "form"]), required=True)),
    # Normalization and case
    fn("_normalize", STR, check=normalized, text=P(TEXT), form=K(FORM)),
    fn("_is_normalized", BOOL, text=P(TEXT), form=K(FORM)),
    text_fn("_stream_safe"),
    fn("_is_normalized_stream_safe", BOOL, text=P(TEXT), form=K(FORM)),
    fn("_normalize_batch", list_of(STR), check=same_as_single("_normalize"),
       texts=P(Texts(limit=MAX_BATCH)), form=K(FORM)),
    text_fn("_fold_case"),
    text_fn("_is_case_fold_stable", BOOL),
    # Confusables
    fn("_normalize_confusables", STR, text=P(TEXT), target_script=K(TARGET), digit_policy=K(DIGITS)),
    fn("_is_confusable", BOOL, text=P(TEXT), target_script=K(TARGET)),
    fn("_unmapped_confusables", list_of(CHAR), target_script=K(TARGET)),
    fn("_confusable_coverage", tuple_of(STR, INT, INT), script=P(SCRIPT)),
    fn("_find_confusables", list_of(tuple_of(CHAR, INT, STR)), text=P(TEXT), target_script=K(TARGET),
       allowed_scripts=K(SCRIPTS)),
    fn("_find_unmapped_confusables", list_of(CHAR_AT), text=P(TEXT), target_script=K(TARGET)),
    # File names, distances
    fn("_sanitize_filename", STR, text=P(TEXT), separator=K(Choice(["_", "-", " ", "", ".", "~", "__"])),
       max_length=K(Int(0, 300, InvalidArgumentError)), platform=K(Choice(["universal", "windows", "posix"])),
       lang=K(LANG), preserve_extension=K(Flag())),
    fn("_edit_distance", INT, check=distance_bounds, a=P(Text(3_000)), b=P(Text(3_000))),
    fn("_nearest_match", optional(record("NearestMatch", value=STR, distance=INT)), check=nearest_is_nearest,
       value=P(Text(200)), candidates=P(Texts(max_items=60, max_len=200)), max_distance=K(Int(0, 8))),
    Row("NearestMatch", {}, NEVER, (TypeError,)),
    Row("KeyCollision", {}, NEVER, (TypeError,)),
    # Strip family, scripts, bidi
    text_fn("_collapse_whitespace"),
    text_fn("_strip_control_chars"),
    text_fn("_strip_zero_width_chars"),
    text_fn("_detect_scripts", list_of(STR), check=lambda a, r: len(set(r)) == len(r)),
    fn("_is_mixed_script", BOOL, text=P(TEXT), per_word=K(Flag())),
    fn("_has_bidi_conflict", BOOL, text=P(TEXT), per_word=K(Flag())),
    text_fn("_has_bidi_control", BOOL),
    # Batches
    fn("_transliterate_batch", list_of(STR), TRANSLIT_RAISES, check=same_as_single("_transliterate"),
       texts=P(Texts(tuples=False, limit=MAX_BATCH)), **TRANSLIT),
    fn("_strip_accents_batch", list_of(STR), check=same_as_single("_strip_accents"),
       texts=P(Texts(limit=MAX_BATCH))),
    text_fn("_strip_bidi"),
    text_fn("_strip_tags"),
    text_fn("_fold_punctuation"),
    text_fn("_strip_variation_selectors"),
    text_fn("_strip_noncharacters"),
    text_fn("_strip_pua"),
    # Zalgo and graphemes
    fn("_is_zalgo", BOOL, check=lambda a, r: not (r and a["text"].isascii()), text=P(TEXT),
       threshold=K(Int(0, 12))),
    fn("_strip_zalgo", STR, text=P(TEXT), max_marks=K(Int(0, 12))),
    text_fn("_grapheme_len", INT),
    text_fn("_grapheme_split", list_of(STR), check=graphemes_rejoin),
    fn("_grapheme_truncate", STR, check=truncate_is_prefix, text=P(TEXT),
       max_graphemes=P(Int(0, 50, InvalidArgumentError))),
    # Transliteration entry, dispatcher, context and argument checks
    fn("_set_transliterate_fallback", NONE, phase=0,
       f=P(Objects(dispatcher, (None, (RuntimeError,)), (5, (RuntimeError,))))),
    # Without a dispatcher (a fresh worker) a call that needs one is refused with RuntimeError.
    fn("_transliterate_entry", STR, (*TRANSLIT_RAISES, RuntimeError, DispatcherError),
       text=P(EntryText()), lang=K(LANG), target=K(Choice(["el", "ru", "uk"], optional=True)),
       errors=K(ERRORS), replace_with=K(REPLACE_WITH), strict_iso9=K(Flag()), gost7034=K(Flag()), tones=K(Flag()),
       context=K(Flag())),
    fn("_validate_transliterate_args", NONE, (InvalidArgumentError,), lang=K(LANG),
       target=K(Choice(["el", "ru", "uk", "de"], optional=True)), errors=K(ERRORS), replace_with=K(REPLACE_WITH),
       strict_iso9=K(Flag()), gost7034=K(Flag()), tones=K(Flag()), context=K(Flag())),
    # The context dictionaries may be missing (KelradError), and valid flags may exclude each other.
    fn("_transliterate_context", STR, TRANSLIT_RAISES, text=P(TEXT), lang=K(Choice(["ar", "fa", "he", "ur", "auto",
                                                                                   "de"], optional=True)),
       errors=K(Choice(["replace", "ignore", "preserve"])), replace_with=K(REPLACE_WITH), strict_iso9=K(Flag()),
       gost7034=K(Flag())),
    Row("SurrogateSafe", {"inner": P(Objects(_core._normalize if "_normalize" in _core.__all__ else len, len,
                                             (5, (TypeError,)))),
                          "retry": P(Objects(scrub_and_retry, (None, (TypeError,)))), "text": P(TEXT)},
        lambda r: type(r) in (str, int), via=surrogate_safe),
    # Smuggled payloads and anomalies
    fn("_decode_smuggled", list_of(PAYLOAD), check=payloads_in_text, text=P(TEXT)),
    Row("SmuggledPayload", {}, NEVER, (TypeError,)),
    fn("_find_key_collisions", list_of(COLLISION), (ResourceLimitError,), check=groups_are_collisions,
       values=P(Texts(max_items=120, max_len=300, limit=MAX_BATCH)), key=K(Choice(KEYS), required=True),
       lang=K(LANG)),
    # Pipelines, profiles and presets
    Row("_TextPipeline", PIPELINE, pipeline_ok, (InvalidArgumentError,)),
    Row("_TextPipeline.process", {"text": P(TEXT)}, STR, (ResourceLimitError,), receiver=pipeline, calls=3),
    Row("_TextPipeline.steps", {}, list_of(tuple_of(STR, optional(STR))), receiver=pipeline),
    Row("_TextPipeline.purpose", {}, optional(STR), receiver=pipeline),
    fn("_get_pipeline", pipeline_ok, (InvalidArgumentError,), profile=P(Choice(PROFILES)), digit_policy=K(DIGITS)),
    fn("_list_profiles", list_of(STR)),
    fn("_canonicalize", STR, (ResourceLimitError,), text=P(TEXT), digit_policy=K(DIGITS)),
    fn("_is_canonical", BOOL, (ResourceLimitError,), text=P(TEXT),
       preset=K(Choice(lambda: [*PRESETS, *_core._list_profiles()]))),
    fn("_skeleton_key", STR, (ResourceLimitError,), text=P(TEXT), digit_policy=K(DIGITS)),
    fn("_ml_normalize", STR, (ResourceLimitError,), text=P(TEXT), lang=K(LANG),
       emoji_style=K(Choice(["cldr", "none"])), fold_case=K(Flag())),
    fn("_catalog_key", STR, (ResourceLimitError,), text=P(TEXT), lang=K(LANG), strict_iso9=K(Flag()),
       digit_policy=K(DIGITS)),
    fn("_strip_format", STR, text=P(TEXT)),
    fn("_search_key", STR, (ResourceLimitError,), text=P(TEXT), lang=K(LANG), digit_policy=K(DIGITS)),
    fn("_sort_key", STR, (ResourceLimitError,), text=P(TEXT), lang=K(LANG), digit_policy=K(DIGITS)),
    fn("_canonicalize_strict", STR, (ResourceLimitError,), text=P(TEXT), digit_policy=K(DIGITS)),
    fn("_strip_obfuscation", STR, (ResourceLimitError,), text=P(TEXT), digit_policy=K(DIGITS)),
    # Width
    fn("_terminal_width", INT, text=P(TEXT), ambiguous_wide=K(Flag())),
    fn("_grapheme_width", INT, cluster=P(TEXT), ambiguous_wide=K(Flag())),
    # Host names and anomalies
    fn("_is_suspicious_hostname", lambda r: tuple_of(BOOL, HOSTNAME)(r) and r[0] == r[1].suspicious,
       hostname=P(TEXT), contractions=K(Flag())),
    Row("HostnameAnalysis", {}, NEVER, (TypeError,)),
    fn("_has_anomalies", BOOL, text=P(TEXT), lexicon=O(Texts(max_items=20, max_len=20, optional=True))),
    fn("_inspect_anomalies", REPORT, check=report_matches(lambda t, lex: _core._has_anomalies(t, lex)),
       text=P(TEXT), lexicon=O(Texts(max_items=20, max_len=20, optional=True))),
    fn("_has_anomalies_lex", BOOL, text=P(TEXT), lexicon=P(LEXICON)),
    fn("_inspect_anomalies_lex", REPORT, check=report_matches(lambda t, lex: _core._has_anomalies_lex(t, lex)),
       text=P(TEXT), lexicon=P(LEXICON)),
    Row("AnomalyReport", {}, NEVER, (TypeError,)),
    Row("Finding", {}, NEVER, (TypeError,)),
    Row("Lexicon", {"words": P(Texts(max_items=50, max_len=40))},
        lambda r: type(r) is _core.Lexicon and type(len(r)) is int),
    # Encodings
    fn("_detect_encoding", tuple_of(STR, is_(float)), data=P(Data())),
    # Detection may be unsure or name an encoding that cannot be decoded; strict decoding may be lossy.
    fn("_decode_to_utf8", tuple_of(STR, BOOL), (KelradError, UnsupportedError), data=P(Data()),
       encoding=O(Choice(ENCODINGS, optional=True)), min_confidence=O(Real(0.0, 1.0)), strict=O(Flag())),
    # Emoji
    fn("_demojize", STR, text=P(TEXT), replacement=K(Text(4, optional=True)), strip_modifiers=K(Flag()),
       errors=K(Choice(["replace", "ignore", "preserve"])), replace_with=K(REPLACE_WITH), provider=K(PROVIDERS)),
    fn("_replace_emoji", STR, text=P(TEXT), replacement=P(Text(4))),
    fn("_set_emoji_provider", NONE, (UnsupportedError,), phase=0, provider=O(PROVIDERS)),
]

# Exported names that are not called: the exception classes and the constants.
NOT_CALLED = {"KelradError", "InvalidArgumentError", "ResourceLimitError", "UnsupportedError", "_MAX_BATCH_SIZE",
              "_CONFUSABLES_VERSION", "_UNICODE_VERSION", "_KEY_SCHEMA_VERSION", "_DEFAULT_ZALGO_THRESHOLD",
              "_DEFAULT_ZALGO_MAX_MARKS"}

ROWS_BY_NAME = {row.name: row for row in ROWS}
assert len(ROWS_BY_NAME) == len(ROWS), "two rows for one name"


# ---- one case ---------------------------------------------------------------------------------------------

def case_seed(base: int, name: str, index: int) -> int:
    return (base * 1_000_003 + zlib.crc32(name.encode()) * 7_919 + index) % (2**63)


def describe(value: object, limit: int = 80) -> str:
    if isinstance(value, str) and len(value) > limit:
        return f"<str of {len(value)} code points starting {value[:limit]!r}>"
    if isinstance(value, (list, tuple)) and len(value) > 8:
        return f"<{type(value).__name__} of {len(value)} items starting {describe(list(value[:4]))}>"
    text = repr(value)
    return text if len(text) <= 4 * limit else text[: 4 * limit] + "..."


def run_case(row: Row, seed: int, verbose: bool = False) -> str | None:
    """Calls the row once (or `row.calls` times on one object) with arguments drawn from `seed`; returns a
    description of the fault, or None."""
    d = Draw(seed)
    try:
        target = row.target(d)
    except BaseException as exc:  # noqa: BLE001 - constructing a receiver must not fail
        return f"drawing the object failed: {type(exc).__name__}: {exc}"
    for _ in range(row.calls):
        args, kwargs, bound = row.arguments(d)
        call = f"{row.name}({', '.join([*map(describe, args), *(f'{k}={describe(v)}' for k, v in kwargs.items())])})"
        if verbose:
            print(call)
        try:
            result = target(*args, **kwargs)
        except BaseException as exc:  # noqa: BLE001 - PanicException derives from BaseException
            if type(exc) in d.excused or type(exc) in row.raises:
                if verbose:
                    print(f"  -> documented {type(exc).__name__}: {describe(str(exc))}")
                continue
            if verbose:
                raise
            return f"{call} raised {type(exc).__name__}: {describe(str(exc))}"
        try:
            if not row.returns(result):
                return f"{call} returned {describe(result)}"
            if row.check is not None and not row.check(bound, result):
                return f"{call} returned {describe(result)}, which breaks the row's invariant"
        except BaseException as exc:  # noqa: BLE001
            return f"{call} returned {describe(result)}; checking it raised {type(exc).__name__}: {exc}"
        if verbose:
            print(f"  -> {describe(result)}")
    return None


# ---- the worker -------------------------------------------------------------------------------------------
#
# The worker runs rows one after another, each for its share of the time, and stops a row at its first
# fault. Before every case it writes (row index, case seed, cases done) into a shared status file, so that
# the parent can name the case of a crash or a hang. Each finished row becomes one JSON line on stdout.

STATUS = struct.Struct("<qqq")
# A case that takes more processor time than this is a fault (a near hang). Processor time, so that a busy
# machine, which keeps the worker waiting for a core, does not make a case slow; a case that blocks uses
# none, and the parent's watchdog (no progress for six times as long) catches it.
SLOW_CASE = 10.0


def worker(plan: dict) -> None:
    faulthandler.enable()  # a crash prints the Python stack of the case
    status_file = open(plan["status"], "r+b")
    status = mmap.mmap(status_file.fileno(), STATUS.size)
    slow = SLOW_CASE * plan["slowdown"]
    for index, name in enumerate(plan["rows"]):
        row = ROWS_BY_NAME[name]
        deadline = time.perf_counter() + plan["seconds"]
        cases, fault, seed = 0, None, None
        while fault is None and (cases == 0 or time.perf_counter() < deadline):
            seed = case_seed(plan["seed"], name, cases)
            status[:] = STATUS.pack(index, seed, cases)
            start = time.process_time()
            fault = run_case(row, seed)
            took = time.process_time() - start
            if fault is None and took > slow:
                fault = f"one case took {took:.1f} s of processor time"
            cases += 1
        print(json.dumps({"row": name, "cases": cases, "seed": seed, "fault": fault}), flush=True)


def rss_mib(pid: int) -> float:
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024
    except OSError:
        pass
    return 0.0


def sanitized() -> bool:
    return "asan" in os.environ.get("LD_PRELOAD", "")


def run_worker(rows: list[str], seconds: float, seed: int) -> dict[str, dict]:
    """Runs a worker over `rows`; returns the outcome of each row it finished or on which it died."""
    slowdown = 4.0 if sanitized() else 1.0
    rss_limit = float(os.environ.get("KELRAD_HOSTILE_RSS_MB", 4096 if sanitized() else 1536))
    hang = 6 * SLOW_CASE * slowdown
    with tempfile.TemporaryDirectory() as tmp:
        status_path = pathlib.Path(tmp, "status")
        status_path.write_bytes(bytes(STATUS.size))
        plan = {"rows": rows, "seconds": seconds, "seed": seed, "status": str(status_path), "slowdown": slowdown}
        env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
        with open(pathlib.Path(tmp, "out"), "w+") as out, open(pathlib.Path(tmp, "err"), "w+") as err:
            proc = subprocess.Popen([sys.executable, __file__, "worker", json.dumps(plan)], stdout=out,
                                    stderr=err, env=env, cwd=HERE.parent)
            last, changed, killed = None, time.monotonic(), None
            while proc.poll() is None:
                time.sleep(0.1)
                now = status_path.read_bytes()
                if now != last:
                    last, changed = now, time.monotonic()
                rss = rss_mib(proc.pid)
                if rss > rss_limit:
                    killed = f"resident memory reached {rss:.0f} MiB (limit {rss_limit:.0f} MiB)"
                elif time.monotonic() - changed > hang:
                    killed = f"no progress for {hang:.0f} s (a hang)"
                if killed:
                    proc.kill()
                    proc.wait()
            out.seek(0)
            err.seek(0)
            outcomes = {o["row"]: o for o in map(json.loads, out.read().splitlines())}
            stderr = err.read()
        if proc.returncode != 0 or killed:
            index, case, cases = STATUS.unpack(status_path.read_bytes())
            name = rows[index]
            reason = killed or f"the worker died (exit status {proc.returncode})"
            outcomes[name] = {"row": name, "cases": cases + 1, "seed": case,
                              "fault": f"{reason}; its output ends:\n{stderr[-6000:]}"}
    return outcomes


def ordered(rows: list[Row]) -> list[Row]:
    return sorted(rows, key=lambda r: r.phase)  # stable: table order within a phase


@pytest.fixture(scope="module")
def sweep() -> tuple[int, dict[str, dict]]:
    rows = [r.name for r in ordered(ROWS) if r.present]
    seconds = float(os.environ.get("KELRAD_HOSTILE_SECONDS", 60)) / len(rows)
    seed = int(os.environ.get("KELRAD_HOSTILE_SEED", random.randrange(2**32)))
    outcomes: dict[str, dict] = {}
    while pending := [r for r in rows if r not in outcomes]:
        outcomes.update(run_worker(pending, seconds, seed))
    return seed, outcomes


# ---- tests ------------------------------------------------------------------------------------------------

def exported_callables() -> set[str]:
    """Every module function and class, and every method and constructor of the classes."""
    names = set()
    for name in _core.__all__:
        if name in NOT_CALLED:
            continue
        names.add(name)
        obj = getattr(_core, name)
        if isinstance(obj, type):
            names.update(f"{name}.{m}" for m, v in vars(obj).items()
                         if not m.startswith("_") and callable(v))
    return names


def test_every_callable_has_a_row():
    missing = sorted(exported_callables() - set(ROWS_BY_NAME))
    assert not missing, f"add rows to tests/test_hostile.py for: {', '.join(missing)}"


@pytest.mark.parametrize("name", [r.name for r in ordered(ROWS)])
def test_hostile_input(name, sweep):
    row = ROWS_BY_NAME[name]
    if not row.present:
        pytest.skip(f"{name.split('.')[0]} is not exported")
    seed, outcomes = sweep
    outcome = outcomes[name]
    assert outcome["fault"] is None, (
        f"{outcome['fault']}\n(case {outcome['cases']} of the sweep with KELRAD_HOSTILE_SEED={seed}; replay it "
        f"alone with: python tests/test_hostile.py replay {name} {outcome['seed']})")


if __name__ == "__main__":
    if sys.argv[1] == "worker":
        worker(json.loads(sys.argv[2]))
    elif sys.argv[1] == "replay":
        fault = run_case(ROWS_BY_NAME[sys.argv[2]], int(sys.argv[3]), verbose=True)
        print(fault or "no fault")
