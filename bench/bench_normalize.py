"""Normalization against CPython's unicodedata, on texts of 1 MiB.

    python bench/bench_normalize.py            # the installed kelrad
    KELRAD_BUILD_DIR=build/tests python bench/bench_normalize.py

Prints, per text and operation, the best time of each and the ratio
(CPython time / kelrad time: above 1 means kelrad is faster). "warm" calls
reuse one str object, whose UTF-8 form the interpreter caches after the first
call; "cold" calls get a fresh str each time (the copy made for that is timed
apart and subtracted), so they include the UTF-8 encoding every real first
call pays.
"""

from __future__ import annotations

import sys
import time
import unicodedata

from interleaved import EIGHT_WORDS, Row, load_core, per_call, rows_for, whole

_core = load_core()

MIB = 1 << 20

SAMPLES = {
    "English": (
        "The quick brown fox jumps over the lazy dog while the committee reviews its annual report. "
        "Nobody expected the meeting to last until midnight, yet every question deserved an answer.\n"
    ),
    "French": (
        "L'été dernier, nous sommes allés à la mer ; les enfants ont bâti des châteaux de sable près du "
        "phare. Où est passée la clé ? Ça ne fait rien, répondit-elle en riant, c'est déjà l'heure du goûter.\n"
    ),
    "Russian": (
        "Съешь же ещё этих мягких французских булок да выпей чаю. Вчера вечером мы долго гуляли по "
        "набережной, обсуждая планы на лето и новую работу; всё казалось возможным.\n"
    ),
    "Chinese": (
        "我们昨天在公园里散步，天气非常好。孩子们在草地上玩耍，老人们坐在长椅上聊天。"
        "这座城市的历史悠久，每一条街道都有自己的故事。\n"
    ),
}


def make_text(sample: str) -> str:
    """Repeats the sample up to 1 MiB of UTF-8."""
    per = len(sample.encode("utf-8"))
    return (sample * (MIB // per + 1))[: len(sample) * (MIB // per)]


def best(fn, arg, rounds: int = 15, fresh: bool = False) -> float:
    """The best of `rounds` timings; with `fresh`, each call gets a new copy
    of the text, made before its timing starts."""
    times = []
    for _ in range(rounds):
        x = (arg + ".")[:-1] if fresh else arg
        t0 = time.perf_counter()
        fn(x)
        times.append(time.perf_counter() - t0)
    return min(times)


def row(label: str, ours: float, theirs: float) -> float:
    print(f"  {label:<28} kelrad {ours * 1e3:8.3f} ms   CPython {theirs * 1e3:8.3f} ms   x{theirs / ours:7.2f}")
    return theirs / ours


def main() -> None:
    print(f"CPython {sys.version.split()[0]} (unicodedata {unicodedata.unidata_version})")
    print("ratio = CPython time / kelrad time (above 1: kelrad faster)")
    texts = {name: make_text(sample) for name, sample in SAMPLES.items()}
    texts["French NFD"] = unicodedata.normalize("NFD", texts["French"])
    ratios: dict[tuple[str, str], float] = {}
    for name, text in texts.items():
        print(f"{name}: {len(text)} characters, {len(text.encode('utf-8'))} bytes")
        for form in ("NFC", "NFD", "NFKC", "NFKD"):
            for tag in ("warm", "cold"):
                ours = best(lambda s: _core._normalize(s, form=form), text, fresh=tag == "cold")
                theirs = best(lambda s: unicodedata.normalize(form, s), text, fresh=tag == "cold")
                ratios[(name, f"normalize {form} {tag}")] = row(f"normalize {form} {tag}", ours, theirs)
        for form in ("NFC", "NFD", "NFKC", "NFKD"):
            for tag in ("warm", "cold"):
                ours = best(lambda s: _core._is_normalized(s, form=form), text, fresh=tag == "cold")
                theirs = best(lambda s: unicodedata.is_normalized(form, s), text, fresh=tag == "cold")
                ratios[(name, f"is_normalized {form} {tag}")] = row(f"is_normalized {form} {tag}", ours, theirs)

    print("\nTargets (warm / cold):")
    for label, name, op in [
        ("NFC of non-ASCII NFC text, >= 1.5", "French", "normalize NFC"),
        ("", "Russian", "normalize NFC"),
        ("", "Chinese", "normalize NFC"),
        ("NFD input, >= 1.5", "French NFD", "normalize NFC"),
        ("", "French NFD", "normalize NFD"),
        ("is_normalized, >= 1", "French", "is_normalized NFC"),
        ("", "Russian", "is_normalized NFC"),
        ("", "Chinese", "is_normalized NFC"),
        ("", "French NFD", "is_normalized NFD"),
        ("pure ASCII", "English", "normalize NFC"),
        ("", "English", "is_normalized NFC"),
    ]:
        warm, cold = ratios[(name, op + " warm")], ratios[(name, op + " cold")]
        print(f"  {label:<36} {name:<11} {op:<18} x{warm:7.2f} / x{cold:7.2f}")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: 1 MiB texts and short words."""
    rounds = 3 if quick else 9
    texts = {name: make_text(SAMPLES[name]) for name in ("French", "Russian", "Chinese")}
    texts["French NFD"] = unicodedata.normalize("NFD", texts["French"])
    out: list[Row] = []
    for name in ("French", "Russian", "Chinese", "French NFD"):
        out += rows_for("1 MiB text", f"_normalize NFC, {name}", "unicodedata.normalize", 1.5, "ms",
                        lambda f, t=texts[name]: whole(_core._normalize, lambda s: unicodedata.normalize("NFC", s),
                                                       t, fresh_str=f, rounds=rounds))
    for name in ("French", "Russian", "Chinese"):
        out += rows_for("1 MiB text", f"_is_normalized NFC, {name}", "unicodedata.is_normalized", 1.0, "ms",
                        lambda f, t=texts[name]: whole(_core._is_normalized,
                                                       lambda s: unicodedata.is_normalized("NFC", s),
                                                       t, fresh_str=f, rounds=rounds))
    namespace = {"_core": _core, "unicodedata": unicodedata}
    for label, ours, peer, theirs, target in (
        ("_is_normalized", "_core._is_normalized(s)", "unicodedata.is_normalized",
         'unicodedata.is_normalized("NFC", s)', 1 / 1.5),
        ("_normalize", "_core._normalize(s)", "unicodedata.normalize", 'unicodedata.normalize("NFC", s)', 1 / 2.5),
    ):
        out += rows_for("short words, per call", label, peer, target, "ns",
                        lambda f, a=ours, b=theirs: per_call(a, b, namespace, EIGHT_WORDS, fresh_str=f,
                                                             repeat=1000, rounds=rounds))
    return out


if __name__ == "__main__":
    main()
