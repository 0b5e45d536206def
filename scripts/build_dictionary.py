#!/usr/bin/env python3
"""Builds a context dictionary for kelrad's context-aware transliteration.

    python3 scripts/build_dictionary.py --lang arabic -o DIR corpus.txt [more.txt ...]

reads vowelled UTF-8 text (Arabic or Persian with harakat, Hebrew with
niqqud) and writes DIR/{lang}_dict.bin in the TRLD format that kelrad loads
(see docs/user-guide/abjad-transliteration.md). Words are cut and keyed
exactly as kelrad cuts and keys them when it transliterates:

- a word is a run of characters of the Hebrew and Arabic blocks (U+0590 to
  U+06FF, U+0750 to U+077F, U+08A0 to U+08FF, U+FB1D to U+FDFF, U+FE70 to
  U+FEFF), without the punctuation and digits those blocks hold;
- a word's key is the word without its vowel marks: the Hebrew points for
  "hebrew", the harakat (U+064B to U+0655), superscript alef and tatweel for
  "arabic" and "persian";
- a line break, ".", "!", "?", U+061F, U+06D4 or U+05C3 between two words
  ends a sentence: the second word has no previous word.

For every key the most frequent vowelled spelling becomes its unigram; for
every pair of keys in a row, the most frequent spelling of the second after
the first becomes a bigram where it differs from the unigram. A key whose
spelling has no vowel marks restores nothing and is left out. Records are
written sorted, as kelrad indexes them.
"""

from __future__ import annotations

import argparse
import collections
import pathlib
import re
import struct
import sys
from typing import Iterable, Iterator

MAGIC = b"TRLD"
VERSION = 1
HEADER = struct.Struct("<4sIIIII")
MAX_FILE = 1_073_741_824  # kelrad refuses larger files
MAX_STRING = 0xFFFF  # strings are preceded by a u16 length
MAX_WEIGHT = 0xFFFFFFFF

LANGS = ("arabic", "hebrew", "persian")

_WORD_BLOCKS = ((0x0590, 0x06FF), (0x0750, 0x077F), (0x08A0, 0x08FF), (0xFB1D, 0xFDFF), (0xFE70, 0xFEFF))
_NON_WORD = (
    {0x05BE, 0x05C0, 0x05C3, 0x05C6, 0x060C, 0x061B, 0x061F, 0x06D4}
    | set(range(0x0660, 0x066E))
    | set(range(0x06F0, 0x06FA))
)
_SENTENCE_ENDS = {"\n", "\r", ".", "!", "?", "\u061f", "\u06d4", "\u05c3"}
_HEBREW_MARKS = set(range(0x05B0, 0x05BE)) | {0x05BF, 0x05C1, 0x05C2, 0x05C4, 0x05C5, 0x05C7}
_ARABIC_MARKS = set(range(0x064B, 0x0656)) | {0x0670, 0x0640}


def _word_pattern() -> re.Pattern:
    parts = []
    for lo, hi in _WORD_BLOCKS:
        start = None
        for c in range(lo, hi + 2):
            inside = c <= hi and c not in _NON_WORD
            if inside and start is None:
                start = c
            elif not inside and start is not None:
                parts.append(f"\\U{start:08x}-\\U{c - 1:08x}")
                start = None
    return re.compile("[" + "".join(parts) + "]+")


_WORD = _word_pattern()


def runs(text: str) -> Iterator[tuple[bool, str]]:
    """The text as alternating runs: (True, word) or (False, other text)."""
    end = 0
    for m in _WORD.finditer(text):
        if m.start() > end:
            yield False, text[end : m.start()]
        yield True, m.group()
        end = m.end()
    if end < len(text):
        yield False, text[end:]


def key_of(word: str, lang: str) -> str:
    marks = _HEBREW_MARKS if lang == "hebrew" else _ARABIC_MARKS
    return "".join(ch for ch in word if ord(ch) not in marks)


def fits(s: str) -> bool:
    return len(s.encode("utf-8")) <= MAX_STRING


def count(texts: Iterable[str], lang: str):
    """Spelling counts per key and per (previous key, key)."""
    unigrams: dict[str, collections.Counter] = collections.defaultdict(collections.Counter)
    bigrams: dict[tuple[str, str], collections.Counter] = collections.defaultdict(collections.Counter)
    for text in texts:
        previous = None
        for is_word, run in runs(text):
            if not is_word:
                if any(ch in _SENTENCE_ENDS for ch in run):
                    previous = None
                continue
            key = key_of(run, lang)
            if fits(run):
                unigrams[key][run] += 1
                if previous is not None:
                    bigrams[(previous, key)][run] += 1
            previous = key
    return unigrams, bigrams


def best(spellings: collections.Counter) -> tuple[str, int]:
    """The most frequent spelling, the first in code point order on a tie."""
    return min(spellings.items(), key=lambda item: (-item[1], item[0]))


def _string(s: str) -> bytes:
    b = s.encode("utf-8")
    return struct.pack("<H", len(b)) + b


def encode(unigrams, bigrams) -> bytes:
    """The TRLD file of the counted spellings."""
    unigram_best = {}
    for key, spellings in unigrams.items():
        form, weight = best(spellings)
        if form != key:
            unigram_best[key] = (form, weight)
    bigram_best = {}
    for pair, spellings in bigrams.items():
        form, _ = best(spellings)
        if form != pair[1] and unigram_best.get(pair[1], (pair[1],))[0] != form:
            bigram_best[pair] = form

    def by_bytes(s: str) -> bytes:
        return s.encode("utf-8")

    uni = bytearray()
    for key in sorted(unigram_best, key=by_bytes):
        form, weight = unigram_best[key]
        uni += _string(key) + struct.pack("<H", 1) + _string(form) + struct.pack("<I", min(weight, MAX_WEIGHT))
    bi = bytearray()
    for first, second in sorted(bigram_best, key=lambda p: (by_bytes(p[0]), by_bytes(p[1]))):
        bi += _string(first) + _string(second) + _string(bigram_best[(first, second)])
    header = HEADER.pack(MAGIC, VERSION, len(unigram_best), len(bigram_best), HEADER.size, HEADER.size + len(uni))
    return header + bytes(uni) + bytes(bi)


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lang", required=True, choices=LANGS, help="the dictionary to build")
    parser.add_argument("-o", "--out", type=pathlib.Path, default=pathlib.Path("."), help="output directory")
    parser.add_argument("corpus", nargs="+", type=pathlib.Path, help="vowelled UTF-8 text files")
    args = parser.parse_args(argv)

    texts = (path.read_text(encoding="utf-8") for path in args.corpus)
    unigrams, bigrams = count(texts, args.lang)
    data = encode(unigrams, bigrams)
    if len(data) > MAX_FILE:
        print(f"build_dictionary: {len(data)} bytes exceeds kelrad's limit of {MAX_FILE}", file=sys.stderr)
        return 1
    args.out.mkdir(parents=True, exist_ok=True)
    target = args.out / f"{args.lang}_dict.bin"
    target.write_bytes(data)
    n_uni, n_bi = struct.unpack_from("<II", data, 8)
    print(f"{target}: {n_uni} unigrams, {n_bi} bigrams, {len(data)} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
