"""Context-aware transliteration (`_transliterate_context`) with dictionaries
written into a temporary KELRAD_DICT_DIR, each case in a fresh process."""

import pathlib
import subprocess
import sys

import pytest

from kelrad import _core
from trld import fresh_process, trld

ROOT = pathlib.Path(__file__).resolve().parents[1]

# Arabic: keys and vowelled forms.
KTB, WLD, QLM = "\u0643\u062a\u0628", "\u0648\u0644\u062f", "\u0642\u0644\u0645"
KUTUB = "\u0643\u064f\u062a\u064f\u0628"  # kutub
KATABA = "\u0643\u064e\u062a\u064e\u0628\u064e"  # kataba
WALAD = "\u0648\u064e\u0644\u064e\u062f"  # walad
QALAM = "\u0642\u064e\u0644\u064e\u0645"  # qalam
ARABIC = trld([(KTB, KUTUB), (WLD, WALAD), (QLM, QALAM)], [(WLD, KTB, KATABA)])

# Hebrew: "spr" gives "sefer"; "kl" gives "kol".
SPR, SEFER = "\u05e1\u05e4\u05e8", "\u05e1\u05b5\u05e4\u05b6\u05e8"
KL, KOL = "\u05db\u05dc", "\u05db\u05bc\u05b9\u05dc"
HEBREW = trld([(SPR, SEFER), (KL, KOL)])

# Persian "mi" ZWNJ "khvahm": the second word is a bigram after the first.
MI, KHVAHM = "\u0645\u06cc", "\u062e\u0648\u0627\u0647\u0645"
PERSIAN = trld([(MI, "\u0645\u06cc"), (KHVAHM, "\u062e\u0648\u0627\u0647\u064e\u0645")],
               [(MI, KHVAHM, "\u062e\u064f\u0648\u0627\u0647\u064e\u0645")])


def install(directory: pathlib.Path, **files: bytes) -> str:
    for name, data in files.items():
        (directory / f"{name}_dict.bin").write_bytes(data)
    return str(directory)


def context(text, **options):
    return lambda: _core._transliterate_context(text, **options)


@pytest.mark.parametrize(
    "text, lang, expected",
    [
        pytest.param(f"{WLD} {KTB}", None, "walad kataba", id="bigram"),
        pytest.param(KTB, None, "kutub", id="unigram"),
        pytest.param(f"{WLD}. {KTB}", None, "walad. kutub", id="full-stop-ends-a-sentence"),
        pytest.param(f"{WLD}!{KTB}", None, "walad!kutub", id="exclamation"),
        pytest.param(f"{WLD}\n{KTB}", None, "walad\nkutub", id="line-feed"),
        pytest.param(f"{WLD}\r{KTB}", None, "walad\rkutub", id="carriage-return"),
        pytest.param(f"{WLD}\u061f {KTB}", None, "walad? kutub", id="arabic-question-mark"),
        pytest.param(f"{WLD}\u06d4{KTB}", None, "walad.kutub", id="arabic-full-stop"),
        pytest.param(f"{WLD}, {KTB}", None, "walad, kataba", id="comma-keeps-the-bigram"),
        pytest.param(f"{WLD}\u060c {KTB}", None, "walad, kataba", id="arabic-comma-keeps-the-bigram"),
        pytest.param(f"{WLD} Latin 42 {KTB}", None, "walad Latin 42 kataba", id="latin-between"),
        pytest.param(f"{WLD}\u0663{KTB}", None, "walad3kataba", id="arabic-digit-splits-words"),
        pytest.param(f"{QLM} {KTB}", None, "qalam kutub", id="no-bigram-for-that-pair"),
        pytest.param("\u0642\u0644\u0628", None, "qlb", id="absent-word"),
        pytest.param("\u0642\u064e\u0644\u0652\u0628", None, "qalb", id="absent-word-own-marks"),
        pytest.param("\u0643\u064e\u062a\u0628", None, "kutub", id="marks-leave-the-key"),
        pytest.param("\u0643\u0640\u062a\u0628", None, "kutub", id="tatweel-leaves-the-key"),
        pytest.param(f"{WLD} {KTB}", "auto", "walad kataba", id="auto"),
        pytest.param("", None, "", id="empty"),
        pytest.param("plain ASCII", None, "plain ASCII", id="ascii"),
    ],
)
def test_arabic(tmp_path, text, lang, expected):
    out = fresh_process(context(text, lang=lang), install(tmp_path, arabic=ARABIC))
    assert out.ok() == expected
    assert out.stderr == ""


@pytest.mark.parametrize(
    "text, lang, expected",
    [
        pytest.param(SPR, "he", "sefer", id="unigram"),
        pytest.param("\u0643\u064e\u062a\u0628", "he", "katb", id="harakat-stay-in-the-key"),
        pytest.param("\u05e1\u05b8\u05e4\u05b7\u05e8", "he", "sefer", id="points-leave-the-key"),
        pytest.param("\u05db\u05c7\u05dc", "he", "kol", id="qamats-qatan-leaves-the-key"),
        pytest.param(f"{SPR}\u05c3{KL}", "he", "sefer.kol", id="sof-pasuq-splits"),
        pytest.param(f"{SPR}\u05be{KL}", "he", "sefer-kol", id="maqaf-splits"),
        pytest.param("\u05e1\u05b8\u05e4\u05b7\u05e8", None, "safar", id="other-lang-keeps-points-in-the-key"),
    ],
)
def test_hebrew(tmp_path, text, lang, expected):
    # The Hebrew points stay in the key of the Arabic dictionary, and the
    # harakat in the key of the Hebrew one.
    hebrew = trld([(SPR, SEFER), (KL, KOL), (KTB, KUTUB)])
    dict_dir = install(tmp_path, arabic=trld([(SPR, "x"), (KTB, KUTUB)]), hebrew=hebrew)
    assert fresh_process(context(text, lang=lang), dict_dir).ok() == expected


def test_persian_word_with_zero_width_non_joiner_is_two_words(tmp_path):
    out = fresh_process(context(f"{MI}\u200c{KHVAHM} {KHVAHM}", lang="fa"), install(tmp_path, persian=PERSIAN))
    assert out.ok() == "mykhovaham khvaham"


@pytest.mark.parametrize(
    "files, lang, expected",
    [
        pytest.param({"arabic": ARABIC}, "fa", "kotob", id="fa-falls-back-to-arabic"),
        pytest.param({"arabic": ARABIC, "persian": trld([(KTB, KATABA)])}, "fa", "kataba", id="fa-prefers-persian"),
        pytest.param({"arabic": ARABIC, "persian": b"bad"}, "fa", ("Arabic/Persian", "persian"), id="fa-corrupt-persian"),
        pytest.param({"arabic": b"bad"}, "fa", ("Arabic/Persian", "arabic"), id="fa-corrupt-arabic"),
        pytest.param({}, "fa", "Arabic/Persian", id="fa-missing"),
        pytest.param({"arabic": ARABIC}, "he", "Hebrew", id="he-missing"),
        pytest.param({"persian": PERSIAN}, None, "Arabic", id="none-missing"),
        pytest.param({"hebrew": HEBREW}, "ru", "Arabic", id="other-lang-missing"),
        pytest.param({"arabic": b"bad", "hebrew": HEBREW}, "he", "sefer", id="he-loads-only-hebrew"),
    ],
)
def test_dictionary_choice(tmp_path, files, lang, expected):
    text = SPR if lang == "he" else KTB
    out = fresh_process(context(text, lang=lang), install(tmp_path, **files))
    if isinstance(expected, tuple):  # corrupt
        name, file = expected
        path = tmp_path / f"{file}_dict.bin"
        assert out.error == "KelradError"
        assert out.message.startswith(f"context dictionary for {name} is corrupt and could not be loaded: "
                                      f"{file} dictionary at {path} is corrupt: Dictionary too small")
    elif expected[0].isupper():  # not found
        assert (out.error, out.message.split(" not found")[0]) == ("KelradError", f"context dictionary for {expected}")
        assert out.stderr == ""
    else:
        assert out.ok() == expected
        assert out.stderr == ""


@pytest.mark.parametrize(
    "options, error, message",
    [
        ({"errors": "strict"}, "InvalidArgumentError", "errors must be 'replace', 'ignore', or 'preserve', got 'strict'"),
        ({"strict_iso9": True, "gost7034": True, "lang": "xx"}, "InvalidArgumentError",
         "strict_iso9 and gost7034 are mutually exclusive"),
        ({"lang": "xx", "errors": "bad"}, "InvalidArgumentError", "unknown language code 'xx'"),
    ],
    ids=["strict", "both-schemes", "unknown-lang"],
)
def test_argument_errors_come_before_any_loading(options, error, message):
    # A relative KELRAD_DICT_DIR writes a line at the first load: there is none.
    out = fresh_process(context("", **options), "relative")
    assert out.error == error and out.message.startswith(message)
    assert out.stderr == ""


def test_options_reach_the_engine(tmp_path):
    dict_dir = install(tmp_path, arabic=trld([(KTB, "\u0643\u3001")]))
    run = lambda **o: fresh_process(context(f"{KTB} \u3001", **o), dict_dir).ok()  # noqa: E731
    assert run() == "k[?] [?]"
    assert run(errors="ignore") == "k "
    assert run(errors="preserve", replace_with="!") == "k\u3001 \u3001"
    assert run(replace_with="<>") == "k<> <>"


def test_result_is_a_new_string(tmp_path):
    def same_object():
        text = "only ASCII"
        return _core._transliterate_context(text) is text

    assert fresh_process(same_object, install(tmp_path, arabic=ARABIC)).ok() is False


def test_global_replacements_apply_once_to_the_whole_text(tmp_path):
    def replaced():
        _core._register_replacements({"X": WLD + " "})
        return _core._transliterate_context(f"X{KTB}")

    assert fresh_process(replaced, install(tmp_path, arabic=ARABIC)).ok() == "walad kataba"


# --- the builder -----------------------------------------------------------------

CORPORA = {
    "arabic": (None, "\u0643\u064e\u062a\u064e\u0628\u064e \u0627\u0644\u0652\u0648\u064e\u0644\u064e\u062f\u064f "
                     "\u0627\u0644\u062f\u0651\u064e\u0631\u0652\u0633\u064e.\n"
                     "\u0642\u064e\u0631\u064e\u0623\u064e \u0627\u0644\u0652\u0648\u064e\u0644\u064e\u062f\u064f "
                     "\u0643\u0650\u062a\u064e\u0627\u0628\u064b\u0627! "
                     "\u0647\u064e\u0630\u064e\u0627 \u0643\u0650\u062a\u064e\u0627\u0628\u064c "
                     "\u062c\u064e\u0645\u0650\u064a\u0644\u064c\u061f"),
    "hebrew": ("he", "\u05d1\u05b0\u05bc\u05e8\u05b5\u05d0\u05e9\u05b4\u05c1\u05d9\u05ea "
                     "\u05d1\u05b8\u05bc\u05e8\u05b8\u05d0 \u05d0\u05b1\u05dc\u05b9\u05d4\u05b4\u05d9\u05dd.\n"
                     "\u05e9\u05b8\u05c1\u05dc\u05d5\u05b9\u05dd \u05e2\u05b7\u05dc "
                     "\u05d9\u05b4\u05e9\u05b0\u05c2\u05e8\u05b8\u05d0\u05b5\u05dc\u05c3 "
                     "\u05db\u05c7\u05dc \u05d4\u05b7\u05e1\u05b5\u05bc\u05e4\u05b6\u05e8 \u05d8\u05d5\u05b9\u05d1!"),
}


@pytest.mark.parametrize("dictionary", sorted(CORPORA))
def test_builder_restores_the_corpus_vowels(tmp_path, dictionary):
    lang, corpus = CORPORA[dictionary]
    (tmp_path / "corpus.txt").write_text(corpus, encoding="utf-8")
    subprocess.run([sys.executable, ROOT / "scripts" / "build_dictionary.py", "--lang", dictionary,
                    "-o", tmp_path, tmp_path / "corpus.txt"], check=True, capture_output=True)
    marks = set(range(0x05B0, 0x05BE)) | {0x05BF, 0x05C1, 0x05C2, 0x05C4, 0x05C5, 0x05C7} if lang == "he" else \
        set(range(0x064B, 0x0656)) | {0x0670, 0x0640}
    bare = "".join(ch for ch in corpus if ord(ch) not in marks)
    out = fresh_process(context(bare, lang=lang), str(tmp_path))
    assert out.ok() == _core._transliterate(corpus, lang=lang)
