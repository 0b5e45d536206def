"""kelrad: Unicode text hygiene.

The work is done by the compiled module ``kelrad._core``; this package
re-exports its exception classes and version constants, and provides
``transliterate``.
"""

from __future__ import annotations

from typing import Any

from kelrad import _core
from kelrad._core import (
    InvalidArgumentError,
    KelradError,
    ResourceLimitError,
    UnsupportedError,
)

UNICODE_VERSION = _core._UNICODE_VERSION
CONFUSABLES_VERSION = _core._CONFUSABLES_VERSION
MAX_BATCH_SIZE = _core._MAX_BATCH_SIZE


def _scrub(value: Any) -> Any:
    """A str with each surrogate pair as its character and each lone surrogate
    as U+FFFD; a list with its str items so treated; anything else unchanged."""
    if isinstance(value, str):
        return value.encode("utf-16-le", "surrogatepass").decode("utf-16-le", "replace")
    if isinstance(value, list):
        return [_scrub(item) for item in value]
    return value


def _scrub_and_retry(inner, args: tuple, kwargs: dict | None):
    """The retry of a call refused for surrogates: the same call, scrubbed."""
    return inner(*(_scrub(a) for a in args), **{k: _scrub(v) for k, v in (kwargs or {}).items()})


def _surrogate_safe(f):
    return _core.SurrogateSafe(f, _scrub_and_retry)


_transliterate = _surrogate_safe(_core._transliterate)
_transliterate_batch = _surrogate_safe(_core._transliterate_batch)
_transliterate_context = _surrogate_safe(_core._transliterate_context)
_reverse_transliterate = _surrogate_safe(_core._reverse_transliterate)


def _transliterate_one(text, lang, target, errors, replace_with, strict_iso9, gost7034, tones, context):
    if not isinstance(text, str):
        raise TypeError(f"transliterate() expects a str or a list of str, got {type(text).__name__!r}")
    text = str.__str__(text)  # a str subclass is served as its plain text
    if target is not None:
        return _reverse_transliterate(text, lang=target)
    if context:
        return _transliterate_context(
            text, lang=lang, errors=errors, replace_with=replace_with, strict_iso9=strict_iso9, gost7034=gost7034
        )
    return _transliterate(text, lang, errors, replace_with, strict_iso9, gost7034, tones)


def _transliterate_dispatch(
    text: str | list[str],
    *,
    lang: str | None = None,
    target: str | None = None,
    errors: str = "replace",
    replace_with: str = "[?]",
    strict_iso9: bool = False,
    gost7034: bool = False,
    tones: bool = False,
    context: bool = False,
) -> str | list[str]:
    """Transliterate text to ASCII, or with ``target`` from Latin into Greek,
    Russian or Ukrainian script.

    ``text`` is a str, or a list of str transliterated item by item into a new
    list. ``lang`` picks a language's refinements ("auto" picks one from the
    text); ``errors`` ("replace", "ignore", "preserve" or "strict") and
    ``replace_with`` decide what becomes of a character without a
    transliteration; ``strict_iso9`` and ``gost7034`` choose a Cyrillic scheme;
    ``tones`` gives toned pinyin. ``context=True`` restores the short vowels of
    Arabic, Persian and Hebrew words from a context dictionary (see
    docs/user-guide/abjad-transliteration.md). Contradictory options raise
    InvalidArgumentError. Surrogates in a str are read as U+FFFD, a surrogate
    pair as the character it encodes.

    ``kelrad.transliterate`` is the compiled entry that serves a plain str
    itself and hands every other call to this function; both behave alike.
    """
    _core._validate_transliterate_args(
        lang=lang,
        target=target,
        errors=errors,
        replace_with=replace_with,
        strict_iso9=strict_iso9,
        gost7034=gost7034,
        tones=tones,
        context=context,
    )
    if isinstance(text, list):
        if target is None and not context:
            return _transliterate_batch(text, lang, errors, replace_with, strict_iso9, gost7034, tones)
        return [
            _transliterate_one(item, lang, target, errors, replace_with, strict_iso9, gost7034, tones, context)
            for item in text
        ]
    return _transliterate_one(text, lang, target, errors, replace_with, strict_iso9, gost7034, tones, context)


_core._set_transliterate_fallback(_transliterate_dispatch)
transliterate = _core._transliterate_entry

__all__ = [
    "KelradError",
    "InvalidArgumentError",
    "ResourceLimitError",
    "UnsupportedError",
    "UNICODE_VERSION",
    "CONFUSABLES_VERSION",
    "MAX_BATCH_SIZE",
    "transliterate",
]
