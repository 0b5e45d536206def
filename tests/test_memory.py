"""Memory: repeated calls of every function and class leave resident memory flat and the arguments'
reference counts unchanged, so that no call leaks a Python reference or native memory; and a single call
on a large text needs no more than a few bytes of peak memory per input byte.

Each row calls one exported name 10^5 times on short texts (eight words in eight scripts, in turn) and 40
times on a text of 1 MiB, after a warm-up that lets caches and allocator pools settle. The counts are fixed,
so that the bounds, which grow with them, do not depend on how fast or busy the machine is. A row for every
exported callable is required.
"""

from __future__ import annotations

import gc
import os
import pathlib
import subprocess
import sys
from collections.abc import Callable

import pytest

from kelrad import _core as c

WORDS = ["hello", "Stra\u00dfe", "\u041c\u043e\u0441\u043a\u0432\u0430", "\u0391\u03b8\u03ae\u03bd\u03b1",
         "\u5317\u4eac", "\u6771\u4eac\u30bf\u30ef\u30fc", "\uc11c\uc6b8", "\u0928\u092e\u0938\u094d\u0924\u0947"]
LINE = " ".join(WORDS) + " Z\u0351\u0347a\u0352l\u033eg\u0310o \U0001f468\u200d\U0001f469\u200d\U0001f467 " \
                         "a\u200bb\u202ec &amp; caf\u00e9 e\u0301 \ufb01 \u0430pple 1\ufe0f\u20e3\n"
MIB = 1 << 20
LONG = (LINE * (MIB // len(LINE.encode()) + 1)).encode()[:MIB].decode(errors="ignore")

SHORT_CALLS = 100_000
LONG_CALLS = 40
SHORT_GROWTH = 2 * MIB  # 10^5 calls: catches a leak of about 20 bytes a call


def long_growth(calls: int) -> int:
    """Catches a leaked copy of the text (a str of 2.25 MiB) in one call of four."""
    return 4 * MIB + calls * MIB // 4


class Row:
    """`call` takes one text; `isolated` rows change the process for good and run in a worker process."""

    def __init__(self, name: str, call: Callable[[str], object], short_calls: int = SHORT_CALLS,
                 long: bool = True, isolated: bool = False):
        self.name, self.call, self.short_calls, self.long, self.isolated = name, call, short_calls, long, isolated


def r(name: str, call: Callable[[str], object] | None = None, **kw) -> Row:
    return Row(name, call or (lambda t: getattr(c, name)(t)), **kw)


def none(name: str, **kw) -> Row:
    """A function without arguments."""
    return Row(name, lambda t: getattr(c, name)(), long=False, **kw)


def nearest(t: str) -> object:
    m = c._nearest_match(t[:40], WORDS, max_distance=3)
    return m and (m.value, m.distance, repr(m))


class Provider:
    """An emoji-name provider that names the first emoji of a sequence and leaves the rest."""

    def lookup(self, sequence: list[int]) -> str | None:
        return "emoji" if len(sequence) == 1 else None


def context(t: str) -> object:
    try:
        return c._transliterate_context(t, lang="ar")
    except c.KelradError as exc:  # the dictionaries may not be installed
        return str(exc)


def hostname(t: str) -> object:
    suspicious, analysis = c._is_suspicious_hostname(t[:200])
    return suspicious, analysis.scripts, analysis.label_scripts, analysis.canonical


def report(r: object) -> object:
    return r.anomalous, r.kinds, r.reason, [(repr(f), f.reason, f.detail) for f in r.findings]


def unique(t: str) -> object:
    u = c._UniqueSlugifier(check=lambda s: False)
    u.slugify(t)
    u.slugify(t)
    return u.reset()


ROWS = [
    r("_transliterate", lambda t: c._transliterate(t, lang="de")),
    r("_find_untranslatable"),
    r("_strip_accents"),
    r("_is_ascii"),
    none("_list_langs"),
    Row("_register_lang", lambda t: c._register_lang("zzmemory", {"\ue000": t[:8]}), long=False, isolated=True),
    Row("_register_replacements", lambda t: c._register_replacements({"\ue001": t[:8]}), long=False),
    Row("_remove_replacement", lambda t: c._remove_replacement("\ue001"), long=False),
    none("_clear_replacements"),
    none("_registrations_sealed"),
    r("_slugify", lambda t: c._slugify(t, regex_pattern=r"\d+", stopwords=["the"], replacements=[("a", "b")])),
    r("_strip_log_injection", lambda t: c._strip_log_injection(t, replacement="?", keep_tab=False)),
    r("_normalize", lambda t: c._normalize(t, form="NFKD")),
    r("_is_normalized"),
    r("_stream_safe"),
    r("_is_normalized_stream_safe"),
    r("_normalize_confusables"),
    r("_is_confusable"),
    none("_unmapped_confusables", short_calls=2_000),
    Row("_confusable_coverage", lambda t: c._confusable_coverage("Latin"), long=False),
    r("_find_confusables", lambda t: c._find_confusables(t, allowed_scripts=["Latin"])),
    r("_find_unmapped_confusables"),
    r("_escape_html"),
    r("_percent_encode", lambda t: c._percent_encode(t, component="query")),
    r("_sanitize_filename", lambda t: c._sanitize_filename(t, max_length=100)),
    r("_fold_case"),
    r("_is_case_fold_stable"),
    Row("_edit_distance", lambda t: c._edit_distance(t[:60], t[-60:])),
    Row("_nearest_match", nearest),
    r("_collapse_whitespace"),
    r("_strip_control_chars"),
    r("_strip_zero_width_chars"),
    r("_detect_scripts"),
    r("_is_mixed_script", lambda t: c._is_mixed_script(t, per_word=True)),
    r("_has_bidi_conflict", lambda t: c._has_bidi_conflict(t, per_word=True)),
    r("_has_bidi_control"),
    r("_inspect_auto_lang"),
    r("_transliterate_batch", lambda t: c._transliterate_batch([t, t[:5], "x"])),
    r("_strip_accents_batch", lambda t: c._strip_accents_batch((t, t[:5]))),
    r("_slugify_batch", lambda t: c._slugify_batch([t, t[:5]])),
    r("_normalize_batch", lambda t: c._normalize_batch([t, t[:5]], form="NFD")),
    r("_Slugifier", lambda t: c._Slugifier(separator="_", stopwords=["a"]).slugify(t)),
    r("_UniqueSlugifier", unique),
    r("_strip_bidi"),
    r("_strip_tags"),
    r("_fold_punctuation"),
    r("_strip_variation_selectors"),
    r("_strip_noncharacters"),
    r("_strip_pua"),
    r("_is_zalgo"),
    r("_strip_zalgo"),
    r("_grapheme_len"),
    r("_grapheme_split"),
    r("_grapheme_truncate", lambda t: c._grapheme_truncate(t, 100)),
    r("_reverse_transliterate", lambda t: c._reverse_transliterate(t, lang="ru")),
    none("_reverse_langs"),
    Row("SurrogateSafe", lambda t: c.SurrogateSafe(c._fold_case, lambda f, a, k: f("x"))(t + "\ud800")),
    r("_transliterate_entry", lambda t: c._transliterate_entry(t, lang="ru")),
    Row("_set_transliterate_fallback", lambda t: c._set_transliterate_fallback(lambda text, **kw: text),
        long=False),
    Row("_validate_transliterate_args", lambda t: c._validate_transliterate_args(lang=t[:5]), long=False),
    Row("_transliterate_context", context, long=False),
    r("_decode_smuggled", lambda t: [repr(p) + str(p.data) for p in c._decode_smuggled(t + "\U000e0041\U000e0042")]),
    r("_find_key_collisions", lambda t: [repr(k) for k in c._find_key_collisions([t, t.upper(), t], key="fold_case")]),
    Row("_TextPipeline", lambda t: c._TextPipeline(normalize="NFKC", confusables=True, fold_case=True,
                                                   strip_zalgo=2).process(t)),
    r("_get_pipeline", lambda t: [(p.process(t), p.steps(), p.purpose(), repr(p))
                                  for p in (c._get_pipeline("search_index"),)]),
    none("_list_profiles"),
    r("_canonicalize"),
    r("_is_canonical", lambda t: c._is_canonical(t, preset="search_key")),
    r("_skeleton_key"),
    r("_ml_normalize"),
    r("_catalog_key", lambda t: c._catalog_key(t, lang="ru")),
    r("_strip_format"),
    r("_search_key"),
    r("_sort_key"),
    r("_canonicalize_strict"),
    r("_strip_obfuscation"),
    r("_terminal_width"),
    r("_grapheme_width"),
    r("_is_suspicious_hostname", hostname),
    r("_has_anomalies", lambda t: c._has_anomalies(t, ["hello", "world"])),
    r("_inspect_anomalies", lambda t: report(c._inspect_anomalies(t, ["hello"]))),
    r("_has_anomalies_lex", lambda t: c._has_anomalies_lex(t, LEXICON)),
    r("_inspect_anomalies_lex", lambda t: report(c._inspect_anomalies_lex(t, LEXICON))),
    r("Lexicon", lambda t: len(c.Lexicon([t, t[:3], "word"]))),
    Row("_detect_encoding", lambda t: c._detect_encoding(t.encode("utf-16"))),
    Row("_decode_to_utf8", lambda t: c._decode_to_utf8(t.encode("utf-8") + b"\xff", "utf-8")),
    # A provider is asked up to nine times per position: on 1 MiB only the built-in names are used.
    r("_demojize", lambda t: c._demojize(t, provider=Provider() if len(t) < 100 else None)),
    r("_replace_emoji", lambda t: c._replace_emoji(t, "<emoji>")),
    Row("_set_emoji_provider", lambda t: c._set_emoji_provider(Provider()), long=False),
]

# Exported names without a row of their own: the result classes, made only by the functions above (which
# read their attributes and repr), exception classes, constants, and the seal, which would change the test
# process for good (the stress test seals its own worker).
NOT_CALLED = {"NearestMatch", "KeyCollision", "SmuggledPayload", "HostnameAnalysis", "AnomalyReport", "Finding",
              "KelradError", "InvalidArgumentError", "ResourceLimitError",
              "UnsupportedError", "_MAX_BATCH_SIZE", "_CONFUSABLES_VERSION", "_UNICODE_VERSION",
              "_KEY_SCHEMA_VERSION", "_DEFAULT_ZALGO_THRESHOLD", "_DEFAULT_ZALGO_MAX_MARKS", "_seal_registrations"}
ROWS_BY_NAME = {row.name: row for row in ROWS}
LEXICON = c.Lexicon(["hello", "world", "stra\u00dfe"]) if "Lexicon" in c.__all__ else None


# One call on a text of about 10 MB, in a fresh worker process: the peak resident memory it adds, its result
# included, stays under the bound.
PEAK_LINE = 10_000_000
PEAK_ROWS = {
    "canonicalize_backspace_at_line_end": (lambda: c._canonicalize, lambda: "x" * PEAK_LINE + "\b", 120),
    "canonicalize_half_the_line_erased":
        (lambda: c._canonicalize, lambda: "x" * (PEAK_LINE // 2) + "\x7f" * (PEAK_LINE // 2), 120),
    "canonicalize_marks_erased_with_their_base":
        (lambda: c._canonicalize, lambda: ("e\u0301\u200b" * (PEAK_LINE // 6) + "\b") * 2, 120),
    "carriage_return_over_the_line":
        (lambda: c._TextPipeline(resolve_deletions=True, resolve_cr=True).process,
         lambda: "\u00e9" * (PEAK_LINE // 2) + "\rx", 120),
}


def resident() -> int:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def peak_growth(call: Callable[[str], object], text: str) -> int:
    """Peak resident memory added by one call, measured from a high-water mark reset just before it."""
    call("warm\b")
    gc.collect()
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # resets the high-water mark to the current resident size
    before = resident()
    result = call(text)
    with open("/proc/self/status") as f:
        peak = next(int(line.split()[1]) * 1024 for line in f if line.startswith("VmHWM:"))
    del result
    return peak - before


def growth(call: Callable[[str], object], texts: list[str], calls: int) -> int:
    """Resident memory gained by `calls` calls after a warm-up of a tenth as many; the calls' arguments must
    keep their reference counts."""
    for i in range(max(calls // 10, 2)):
        call(texts[i % len(texts)])
    gc.collect()
    refs = [sys.getrefcount(t) for t in texts]
    before = resident()
    for i in range(calls):
        call(texts[i % len(texts)])
    gc.collect()
    assert [sys.getrefcount(t) for t in texts] == refs, "an argument's reference count changed"
    return resident() - before


def test_every_name_has_a_row():
    missing = sorted(set(c.__all__) - NOT_CALLED - set(ROWS_BY_NAME))
    assert not missing, f"add rows to tests/test_memory.py for: {', '.join(missing)}"


def check_row(row: Row) -> None:
    try:
        gained = growth(row.call, WORDS, row.short_calls)
        assert gained <= SHORT_GROWTH, f"{row.short_calls} calls on short texts: resident memory grew {gained} bytes"
        if row.long:
            gained = growth(row.call, [LONG], LONG_CALLS)
            assert gained <= long_growth(LONG_CALLS), (
                f"{LONG_CALLS} calls on a 1 MiB text: resident memory grew {gained} bytes")
    finally:
        c._clear_replacements()


@pytest.mark.parametrize("name", list(ROWS_BY_NAME))
def test_memory_stays_flat(name):
    row = ROWS_BY_NAME[name]
    if name not in c.__all__:
        pytest.skip(f"{name} is not exported")
    if not row.isolated:
        check_row(row)
        return
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    result = subprocess.run([sys.executable, __file__, name], capture_output=True, text=True, env=env,
                            cwd=pathlib.Path(__file__).parent)
    assert result.returncode == 0, result.stderr[-4000:]


def check_peak(row_id: str) -> None:
    function, text, bound_mb = PEAK_ROWS[row_id]
    gained = peak_growth(function(), text())
    assert gained <= bound_mb * 1_000_000, f"one call added {gained} bytes of peak resident memory"


@pytest.mark.parametrize("row_id", list(PEAK_ROWS))
def test_peak_memory_of_one_large_call(row_id):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    result = subprocess.run([sys.executable, __file__, "--peak", row_id], capture_output=True, text=True, env=env,
                            cwd=pathlib.Path(__file__).parent)
    assert result.returncode == 0, result.stderr[-4000:]


if __name__ == "__main__":
    if sys.argv[1] == "--peak":
        check_peak(sys.argv[2])
    else:
        check_row(ROWS_BY_NAME[sys.argv[1]])
