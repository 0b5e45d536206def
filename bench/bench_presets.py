"""The canonicalize preset against the plain-Python chain a user would write.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/bench_presets.py

The peer is NFKC, then `re` deletions of the controls and of the bidi,
format and zero-width characters, `re` whitespace collapsing and NFC, with
CPython's unicodedata. kelrad's preset does more (editing controls,
confusable folding, zalgo caps), so the comparison favours the peer.

(a) `_canonicalize` on 1 MiB of dirty text (NFD French with fullwidth forms,
invisible and control characters, doubled spaces), 1 MiB of clean ASCII and
of clean French, and 10,000 clean and 10,000 dirty short strings.
(b) The verification guard against the chain it spares, on clean texts of
4 KiB to 1 MiB, natively: guard_timing.cpp is built against the build's core
library (from Python the chain runs without the guard only under
digit_policy="preserve", which adds the opening confusable fold).

(a) runs the two sides in interleaved rounds on fresh str objects
(bench/interleaved.py); (b) alternates them natively. Each figure is the best
round; the ratio is the peer's time over kelrad's (above 1: kelrad is faster).
"""

from __future__ import annotations

import os
import pathlib
import random
import re
import shlex
import subprocess
import sys
import tempfile
import unicodedata

from interleaved import ROOT, Row, compare, load_core, per_call, rows_for, whole

_core = load_core()
BUILD = ROOT / os.environ.get("KELRAD_BUILD_DIR", "build/tests")

MIB = 1 << 20
ROUNDS = 21

CONTROLS = re.compile("[\x00-\x08\x0e-\x1b\x7f-\x84\x86-\x9f]")
INVISIBLE = re.compile(
    "[\u00ad\u034f\u061c\u180e\u200b-\u200f\u202a-\u202e\u2060-\u2064\u2066-\u206f\ufe00-\ufe0f\ufeff"
    "\ufff9-\ufffb\ue000-\uf8ff\U000e0000-\U000e007f\U000e0100-\U000e01ef]")
WHITESPACE = re.compile(r"\s+")


def python_canonicalize(text: str) -> str:
    text = unicodedata.normalize("NFKC", text)
    text = INVISIBLE.sub("", CONTROLS.sub("", text))
    text = WHITESPACE.sub(" ", text).strip()
    return unicodedata.normalize("NFC", text)


ENGLISH = (
    "The quick brown fox jumps over the lazy dog while the committee reviews its annual report. "
    "Nobody expected the meeting to last until midnight, yet every question deserved an answer. "
)
FRENCH = (
    "L'été dernier, nous sommes allés à la mer ; les enfants ont bâti des châteaux de sable près du "
    "phare. Où est passée la clé ? Ça ne fait rien, répondit-elle en riant, c'est déjà l'heure du goûter. "
)
DIRTY = (
    unicodedata.normalize("NFD", FRENCH)
    + "Ｐａｒｉｓ\u200b est\u00a0belle,  \u202ela\u202c\tnuit\u00ad\x07 ; ﬁn de l\u2019\u00e9t\u00e9\ufeff.\n"
)
SHORT_CLEAN = ["Jean Dupont", "Café de la Gare", "Zoë Saldaña", "Straße 12", "naïve résumé", "Ålborg Hus",
               "The Lord of the Rings", "Émile Zola, Germinal", "Dvořák: Symphony No. 9"]
SHORT_DIRTY = ["Jean\u200b Dupont", "Ｃａｆé de  la Gare", "Zoe\u0308 Saldan\u0303a", "Stra\u00dfe\u00a012\n",
               "nai\u0308ve\u202e re\u0301sume\u0301", "\tÅlborg\u00adHus ", "The Lord of the Ring\ufb01",
               "E\u0301mile Zola,\x07Germinal", "Dvor\u030ca\u0301k:  Symphony No. \u2468"]


def sized(sample: str, size: int) -> str:
    per = len(sample.encode("utf-8"))
    return (sample * (size // per + 1))[: len(sample) * max(1, size // per)].strip()


def shorts(samples: list[str], n: int = 10_000) -> list[str]:
    rng = random.Random(7)
    return [rng.choice(samples) + " " + str(i) for i in range(n)]


def row(label: str, ours: float, theirs: float) -> None:
    print(f"  {label:<40} kelrad {ours * 1e3:9.3f} ms   chain  {theirs * 1e3:9.3f} ms   x{theirs / ours:7.2f}")


def main() -> None:
    print(f"CPython {sys.version.split()[0]} (unicodedata {unicodedata.unidata_version})")
    print("(a) _canonicalize against the plain-Python chain")
    inputs = {
        "dirty 1 MiB (target >= 1.5)": [sized(DIRTY, MIB)],
        "clean ASCII 1 MiB (target >= 10)": [sized(ENGLISH, MIB)],
        "clean French 1 MiB (target >= 10)": [sized(FRENCH, MIB)],
        "10,000 clean short strings (target >= 10)": shorts(SHORT_CLEAN),
        "10,000 dirty short strings": shorts(SHORT_DIRTY),
    }
    for label, items in inputs.items():
        compare(label, _core._canonicalize, python_canonicalize, items, "Python")

    print("(b) the guard against the chain it spares, natively")
    with tempfile.TemporaryDirectory() as tmp:
        timer = build_timer(pathlib.Path(tmp))
        if timer is None:
            return
        for name, sample, target in (("French", FRENCH, 10), ("ASCII", ENGLISH, 2)):
            for size in (4 << 10, 64 << 10, MIB):
                guard, chain = guard_timing(timer, pathlib.Path(tmp), sized(sample, size))
                row(f"{name} {size >> 10} KiB (target >= {target})", guard, chain)


def build_timer(tmp: pathlib.Path) -> pathlib.Path | None:
    """guard_timing.cpp linked against the build's core library, or None."""
    library = BUILD / "libkelrad_core.a"
    libs = subprocess.run(["pkg-config", "--libs", "re2", "uchardet"], capture_output=True, text=True)
    if not library.exists() or libs.returncode != 0:
        print(f"  skipped: needs {library} and pkg-config for re2 and uchardet")
        return None
    timer = tmp / "guard_timing"
    command = [os.environ.get("CXX", "c++"), "-std=c++23", "-O2", "-I", str(ROOT / "src"),
               str(ROOT / "bench" / "guard_timing.cpp"), str(library), *shlex.split(libs.stdout), "-o", str(timer)]
    subprocess.run(command, check=True)
    return timer

def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: the 1 MiB texts and the short strings."""
    rounds = 3 if quick else 9
    out: list[Row] = []
    for label, sample, target in (("dirty", DIRTY, 1.5), ("clean ASCII", ENGLISH, 10.0), ("clean French", FRENCH, 10.0)):
        out += rows_for("presets", f"_canonicalize, {label} 1 MiB", "Python chain", target, "ms",
                        lambda f, t=sized(sample, MIB): whole(_core._canonicalize, python_canonicalize, t,
                                                              fresh_str=f, rounds=rounds))
    namespace = {"_core": _core, "python_canonicalize": python_canonicalize}
    for label, samples, target in (("clean", SHORT_CLEAN, 10.0), ("dirty", SHORT_DIRTY, None)):
        out += rows_for("presets", f"_canonicalize, 10,000 {label} short strings", "Python chain", target, "ns",
                        lambda f, s=shorts(samples): per_call("_core._canonicalize(s)", "python_canonicalize(s)",
                                                              namespace, s, fresh_str=f, rounds=rounds))
    if not quick:
        with tempfile.TemporaryDirectory() as tmp:
            timer = build_timer(pathlib.Path(tmp))
            for name, sample, target in (("French", FRENCH, 10.0), ("ASCII", ENGLISH, 2.0)):
                for size in ((4 << 10, 64 << 10, MIB) if timer else ()):
                    guard, chain = guard_timing(timer, pathlib.Path(tmp), sized(sample, size))
                    out.append(Row("presets", f"canonicalize guard (native), {name} {size >> 10} KiB",
                                   "the chain it spares", chain, guard, target, "ms"))
    return out


def guard_timing(timer: pathlib.Path, tmp: pathlib.Path, text: str) -> tuple[float, float]:
    """Best seconds of the guard and of the chain on the text, natively."""
    path = tmp / "text"
    path.write_text(text, encoding="utf-8")
    run = subprocess.run([timer, path, str(ROUNDS)], capture_output=True, text=True, check=True)
    guard, chain = (float(x) * 1e-9 for x in run.stdout.split())
    return guard, chain


if __name__ == "__main__":
    main()
