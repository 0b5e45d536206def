"""Host-name homoglyph analysis: the record, UTS #46 processing, Punycode, contractions."""

import random
import re
import unicodedata

import pytest

from conftest import DATA, run_isolated
from kelrad import _core

LATIN, CYRILLIC = ["Latin"], ["Cyrillic"]
FLAGS = ("mixed_script", "has_confusables", "bidi_conflict", "bidi_control", "has_invisible", "compat_fold",
         "cross_label_script", "whole_script_confusable")


def analyse(host, **kwargs):
    suspicious, analysis = _core._is_suspicious_hostname(host, **kwargs)
    assert suspicious is analysis.suspicious
    return analysis


def row(host, canonical, label_scripts, flags="", suspicious=False, wsc=None, contractions=False, id=None):
    """A host and its expected record; `flags` names the flags that are set, `wsc` the per-label
    whole-script-confusable entries (all false by default)."""
    return pytest.param(host, contractions, canonical, label_scripts, set(flags.split()), suspicious,
                        wsc or [False] * len(label_scripts), id=id)


IPV6 = dict(label_scripts=[], flags="")

RECORDS = [
    row("example.com", "example.com", [LATIN, LATIN], id="plain"),
    row("EXAMPLE.COM", "example.com", [LATIN, LATIN], id="upper-case-is-mapped-not-folded"),
    row("\uff45\uff58\uff41\uff4d\uff50\uff4c\uff45.com", "example.com", [LATIN, LATIN], "compat_fold", True,
        id="fullwidth-label"),
    row("a\u3002b\uff0ec\uff61d", "a.b.c.d", [LATIN] * 4, id="ideographic-fullwidth-halfwidth-stops"),
    row("exa\u00admple.com", "example.com", [LATIN, LATIN], "has_invisible", True, id="soft-hyphen"),
    row("ex\u202eample.com", "example.com", [LATIN, LATIN], "bidi_control", True, id="rlo"),
    row("\u0430\u0440\u0440\u04cf\u0435.com", "apple.com", [CYRILLIC, LATIN],
        "has_confusables cross_label_script whole_script_confusable", True, wsc=[True, False],
        id="cyrillic-whole-script"),
    row("xn--80ak6aa92e.com", "apple.com", [CYRILLIC, LATIN],
        "has_confusables cross_label_script whole_script_confusable", True, wsc=[True, False],
        id="cyrillic-whole-script-ace"),
    row("p\u0430ypal.com", "paypal.com", [["Latin", "Cyrillic"], LATIN], "mixed_script has_confusables "
        "cross_label_script", True, id="latin-cyrillic-label"),
    row("\u65e5\u672c\u3072\u3089\u304c\u306a.jp", "\u65e5\u672c\u3072\u3089\u304c\u306a.jp",
        [["Han", "Hiragana"], LATIN], "cross_label_script", id="han-with-hiragana"),
    row("\u3072\u3089\ud55c\uad6d.kr", "\u3072\u3089\ud55c\uad6d.kr", [["Hiragana", "Hangul"], LATIN],
        "mixed_script cross_label_script", True, id="hiragana-with-hangul"),
    row("\u0645\u062b\u0627\u0644.com", "\u0645\u062bl\u0644.com", [["Arabic"], LATIN],
        "bidi_conflict has_confusables cross_label_script", True, id="arabic-alef-folds-under-com"),
    row("rnicrosoft.com", "rnicrosoft.com", [LATIN, LATIN], id="contractions-off"),
    row("rnicrosoft.com", "microsoft.com", [LATIN, LATIN], contractions=True, id="contractions-on"),
    row("vvv.com", "wv.com", [LATIN, LATIN], contractions=True, id="contraction-resumes-after-pair"),
    row("a.rn.b", "a.m.b", [LATIN, LATIN, LATIN], contractions=True, id="contraction-per-label"),
    row("..", "..", [[], [], []], contractions=True, id="empty-labels"),
    row("example.com.", "example.com.", [LATIN, LATIN, []], id="trailing-dot"),
    row("[::1]", "[::1]", **IPV6, id="ipv6-loopback"),
    row("[fe80::1%25]", "[fe80::1%25]", **IPV6, id="ipv6-zone"),
    row("\uff3b::1\uff3d", "[::1]", **IPV6, id="ipv6-fullwidth-brackets"),
    row("[fe80::1%eth0]", "[fe80::1%eth0]", [LATIN], suspicious=True, id="ipv6-zone-name-is-not-a-literal"),
    row("[1:2:3:4:5:6:7:8:9]", "[1:2:3:4:5:6:7:8:9]", [[]], suspicious=True, id="eight-colons"),
    row("[fe80::1%2%3]", "[fe80::1%2%3]", [LATIN], suspicious=True, id="two-percent-signs"),
    row("XN--ZZ.com", "xn--zz.com", [LATIN, LATIN], suspicious=True, id="bad-punycode-keeps-ace-form"),
    row("xn--.com", ".com", [[], LATIN], suspicious=True, id="empty-ace-label"),
    row("a:b.com", "a:b.com", [LATIN, LATIN], suspicious=True, id="forbidden-colon"),
    row("under_score.example", "under_score.example", [LATIN, LATIN], id="underscore-allowed"),
    row("-ab--cd-.com", "-ab--cd-.com", [LATIN, LATIN], id="hyphens-unchecked"),
    row("fa\u00df.de", "fa\u00df.de", [LATIN, LATIN], id="sharp-s-kept"),
    row("", "", [[]], id="empty"),
]


@pytest.mark.parametrize("host, contractions, canonical, label_scripts, flags, suspicious, wsc", RECORDS)
def test_analysis_records(host, contractions, canonical, label_scripts, flags, suspicious, wsc):
    a = analyse(host, contractions=contractions)
    scripts = list(dict.fromkeys(s for label in label_scripts for s in label))
    assert (a.canonical, a.scripts, a.label_scripts, a.label_whole_script_confusable, a.suspicious) == (
        canonical, scripts, label_scripts, wsc, suspicious)
    assert {f for f in FLAGS if getattr(a, f)} == flags


def test_documented_invisible_set():
    """Every invisible character is removed and flagged, its neighbours are not; the bidi
    formatting characters count as bidi controls instead."""
    ranges = [(0xAD, 0xAD), (0x34F, 0x34F), (0x115F, 0x1160), (0x17B4, 0x17B5), (0x180B, 0x180F),
              (0x200B, 0x200D), (0x2060, 0x2065), (0x206A, 0x206F), (0x3164, 0x3164), (0xE000, 0xF8FF),
              (0xFDD0, 0xFDEF), (0xFE00, 0xFE0F), (0xFEFF, 0xFEFF), (0xFFA0, 0xFFA0), (0xFFF0, 0xFFF8),
              (0x1BCA0, 0x1BCA3), (0x1D173, 0x1D17A), (0xE0000, 0xE0FFF), (0xF0000, 0x10FFFF)]
    ranges += [(p << 16 | 0xFFFE, p << 16 | 0xFFFF) for p in range(16)]
    invisible = {cp for a, b in ranges for cp in range(a, b + 1)}
    bidi = [0x061C, 0x200E, 0x200F, *range(0x202A, 0x202F), *range(0x2066, 0x206A)]
    neighbours = {cp for a, b in ranges for cp in (a - 1, b + 1)} - invisible - set(bidi) - {0xDFFF, 0x110000}

    def outcome(cp):
        a = analyse(f"exa{chr(cp)}mple.com")
        return a.has_invisible, a.bidi_control, a.canonical

    assert len(invisible) == 141_696
    assert [hex(cp) for cp in sorted(invisible) if outcome(cp) != (True, False, "example.com")] == []
    assert [hex(cp) for cp in sorted(neighbours) if outcome(cp)[0]] == []
    assert [hex(cp) for cp in bidi if outcome(cp) != (False, True, "example.com")] == []


# The status codes of the checks our options turn off, and none.
OPTIONS_OFF = {"V2", "V3", "U1", "A4_1", "A4_2", "X4_2", "C1", "C2", ""}


def test_idna_test_errors_make_hosts_suspicious():
    """Every line of IdnaTestV2.txt whose error survives our options (no CheckHyphens, UseSTD3ASCIIRules,
    VerifyDnsLength, CheckJoiners) is suspicious. Bidi is checked one label at a time, so its codes count
    for sources of one label only."""
    unescape = re.compile(r"\\u([0-9A-Fa-f]{4})|\\x\{([0-9A-Fa-f]+)\}")
    tested, missed = 0, []
    for number, line in enumerate((DATA / "unicode-17.0.0/idna/IdnaTestV2.txt").open(encoding="utf-8"), 1):
        cols = [c.strip() for c in line.split("#", 1)[0].split(";")]
        source = "" if cols[0] == '""' else unescape.sub(lambda m: chr(int(m[1] or m[2], 16)), cols[0])
        if len(cols) < 3 or re.search("[\ud800-\udfff]", source):
            continue
        tested += 1
        codes = set(cols[2].strip("[]").replace(" ", "").split(",")) - OPTIONS_OFF
        if re.search("[.\u3002\uff0e\uff61]", source):
            codes = {c for c in codes if not c.startswith("B")}
        if codes and not _core._is_suspicious_hostname(source)[0]:
            missed.append((number, source, sorted(codes)))
    assert (tested, missed) == (6389, [])


def test_punycode_round_trips_python_codec():
    # Characters that come through the whole analysis unchanged in any sequence: valid, NFKC-stable,
    # visible, without a Latin look-alike (so canonical is the decoded label).
    spans = [(0x30, 0x3A), (0x61, 0x7B), (0x3B1, 0x3CA), (0x430, 0x450), (0x5D0, 0x5EB), (0x628, 0x63B),
             (0x915, 0x93A), (0x3041, 0x3097), (0x4E00, 0x4E40), (0xAC00, 0xAC40), (0x10000, 0x1000C)]
    pool = [c for a, b in spans for c in map(chr, range(a, b))
            if unicodedata.normalize("NFKC", c) == c and analyse(c).canonical == c]
    assert len(pool) > 300
    rng = random.Random(3492)
    for _ in range(500):
        text = "".join(rng.choice(pool) for _ in range(rng.randint(1, 24)))
        ace = "xn--" + text.encode("punycode").decode("ascii")
        assert analyse(ace).canonical == text, (text, ace)
        assert analyse(ace.upper()).canonical == text, (text, ace)


def test_attributes():
    a = _core._is_suspicious_hostname(hostname="p\u0430ypal.com")[1]
    names = ("suspicious", "scripts", "canonical", "label_scripts", "label_whole_script_confusable", *FLAGS)
    assert [n for n in dir(a) if not n.startswith("__")] == sorted(names)
    a.label_scripts[0].append("Greek")
    assert a.label_scripts == [["Latin", "Cyrillic"], ["Latin"]]


def test_first_contraction_calls_from_eight_threads_agree():
    """The automaton is built by whichever thread comes first, once; run in a fresh interpreter so
    that the threads really make the first call."""
    run_isolated("""
        import threading
        from kelrad import _core
        barrier, results = threading.Barrier(8), []
        def call():
            barrier.wait()
            results.append(_core._is_suspicious_hostname("rnicrosoft.vvindovvs.clouds", contractions=True)[1])
        threads = [threading.Thread(target=call) for _ in range(8)]
        for t in threads: t.start()
        for t in threads: t.join()
        assert [a.canonical for a in results] == ["microsoft.windows.douds"] * 8
    """)
