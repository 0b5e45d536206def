"""Finding, reading and holding the context dictionaries: the messages, the
standard-error lines, the places looked in, and threads on a first load.
Each case runs in a fresh process (the outcome of a load is kept for the
process)."""

import os
import pathlib
import shutil
import struct
import subprocess
import sys
import threading

import pytest

import kelrad
from kelrad import _core
from conftest import assert_lets_threads_run, sorting
from trld import fresh_process, trld, unigram_records

KTB, KUTUB = "\u0643\u062a\u0628", "\u0643\u064f\u062a\u064f\u0628"
VALID = trld([(KTB, KUTUB)])
NOT_FOUND = (
    "context dictionary for Arabic not found; context-aware transliteration needs the prebuilt dictionaries: "
    "run `bash scripts/bootstrap_dicts.sh` (from a source checkout) and set the KELRAD_DICT_DIR environment "
    "variable to the output directory (see docs/user-guide/abjad-transliteration.md)"
)


def lookup():
    return _core._transliterate_context(KTB)


def assert_corrupt(out, path, reason):
    inner = f"arabic dictionary at {path} is corrupt: {reason}"
    assert out.error == "KelradError"
    assert out.message == (f"context dictionary for Arabic is corrupt and could not be loaded: {inner}; "
                           "rebuild it with `bash scripts/bootstrap_dicts.sh` (from a source checkout)")
    assert out.cause == f"ValueError: {inner}"
    assert out.stderr == f"kelrad: failed to load arabic dict from {path}: {reason}\n"


# Each reason the reader gives is tested natively (context_dict_parse_reasons); these show the message built
# around one of each kind: a fixed text, a number, and a UTF-8 error.
@pytest.mark.parametrize(
    "data, reason",
    [
        pytest.param(VALID.replace(b"TRLD", b"DLRT"), "Invalid dictionary magic", id="magic"),
        pytest.param(trld(version=2), "Unsupported dictionary version: 2", id="version"),
        pytest.param(struct.pack("<4sIIIII", b"TRLD", 1, 1, 0, 24, 24) + unigram_records([(b"\x80", "x")]),
                     "invalid utf-8 sequence of 1 bytes from index 0", id="lone-continuation-byte"),
    ],
)
def test_corrupt_file(tmp_path, data, reason):
    (tmp_path / "arabic_dict.bin").write_bytes(data)
    assert_corrupt(fresh_process(lookup, str(tmp_path)), tmp_path / "arabic_dict.bin", reason)


def test_file_above_a_gibibyte_is_refused_from_its_size(tmp_path):
    path = tmp_path / "arabic_dict.bin"
    with open(path, "wb") as f:
        f.truncate(1_073_741_825)  # sparse: never read
    assert_corrupt(fresh_process(lookup, str(tmp_path)), path,
                   "Dictionary too large: 1073741825 bytes (maximum 1073741824)")


def test_path_that_is_not_utf8_shows_the_replacement_character(tmp_path):
    directory = os.fsencode(tmp_path) + b"/d\xff"
    os.mkdir(directory)
    with open(directory + b"/arabic_dict.bin", "wb") as f:
        f.write(b"short")
    assert_corrupt(fresh_process(lookup, directory), f"{tmp_path}/d\ufffd/arabic_dict.bin", "Dictionary too small")


@pytest.mark.parametrize(
    "value, shown",
    [
        pytest.param("dicts", '"dicts"', id="relative"),
        pytest.param("", '""', id="empty"),
        pytest.param("./d's \"x\"\\", "\"./d\\'s \\\"x\\\"\\\\\"", id="quotes-and-backslash"),
        pytest.param("d\t\r\n\x07", '"d\\t\\r\\n\\u{7}"', id="controls"),
        pytest.param(b"d\xff\xc3", '"d\\xFF\\xC3"', id="not-utf8"),
        pytest.param("d\u00e9\u0301", '"d\u00e9\\u{301}"', id="extending-mark"),
    ],
)
def test_relative_dict_dir_is_ignored_with_one_line(value, shown):
    def twice():
        for _ in range(2):
            try:
                lookup()
            except kelrad.KelradError:
                pass
        raise kelrad.KelradError("done")

    out = fresh_process(twice, value)
    assert out.stderr == (f"kelrad: ignoring relative KELRAD_DICT_DIR={shown}; an absolute path is required "
                          "(no CWD-relative dictionary loading).\n")


def test_each_dictionary_reads_the_variable_at_its_own_first_load():
    def both():
        for lang in (None, "he", None, "he"):
            with pytest.raises(kelrad.KelradError):
                _core._transliterate_context("", lang=lang)

    assert fresh_process(both, "rel").stderr.count("ignoring relative") == 2


def make_fifo(path):
    os.mkfifo(path)


def make_directory(path):
    os.mkdir(path)


def make_unreadable(path):
    path.write_bytes(VALID)
    path.chmod(0)


@pytest.mark.parametrize(
    "make",
    [
        pytest.param(lambda path: None, id="missing"),
        pytest.param(make_directory, id="directory"),
        pytest.param(make_fifo, id="fifo-without-writer"),
        pytest.param(make_unreadable, id="no-permission",
                     marks=pytest.mark.skipif(os.geteuid() == 0, reason="root reads any file")),
    ],
)
def test_unreadable_candidates_are_skipped_silently(tmp_path, make):
    make(tmp_path / "arabic_dict.bin")
    out = fresh_process(lookup, str(tmp_path))
    assert (out.error, out.message, out.stderr) == ("KelradError", NOT_FOUND, "")


def test_outcome_is_kept_for_the_process(tmp_path):
    def missing_then_installed():
        with pytest.raises(kelrad.KelradError):
            lookup()
        (tmp_path / "arabic_dict.bin").write_bytes(VALID)
        with pytest.raises(kelrad.KelradError, match="not found"):
            lookup()
        return "kept"

    assert fresh_process(missing_then_installed, str(tmp_path)).ok() == "kept"
    assert fresh_process(lookup, str(tmp_path)).ok() == "kutub"  # a new process sees the file


def test_eight_threads_on_a_first_load_write_one_line(tmp_path):
    (tmp_path / "arabic_dict.bin").write_bytes(b"TRLD")

    def eight_threads():
        errors = []

        def one():
            try:
                lookup()
            except kelrad.KelradError as e:
                errors.append(str(e.__cause__))

        threads = [threading.Thread(target=one) for _ in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        return errors

    out = fresh_process(eight_threads, str(tmp_path))
    assert out.ok() == [f"arabic dictionary at {tmp_path}/arabic_dict.bin is corrupt: Dictionary too small"] * 8
    assert out.stderr.count("\n") == 1


def large_dictionary(n):
    """n unigrams and n bigrams, the unigrams in reverse key order so that
    loading sorts them."""
    keys = [KTB + format(i, "07d").translate(str.maketrans("0123456789", "\u0627\u0628\u062a\u062b\u062c"
                                                                          "\u062d\u062e\u062f\u0630\u0631"))
            for i in range(n)]
    return trld([(k, KUTUB) for k in reversed(keys)], [(KTB, k, KUTUB) for k in keys])


def test_other_threads_run_while_a_dictionary_loads(tmp_path):
    (tmp_path / "arabic_dict.bin").write_bytes(large_dictionary(750_000))
    control = sorting()
    fresh_process(lambda: assert_lets_threads_run(lookup, control), str(tmp_path)).ok()


# --- the data directory beside the module -----------------------------------------

def run_copy(package_parent, code, cwd, env_dir=None):
    env = {k: v for k, v in os.environ.items() if k != "KELRAD_DICT_DIR"}
    if env_dir is not None:
        env["KELRAD_DICT_DIR"] = env_dir
    env.pop("PYTHONPATH", None)
    return subprocess.run([sys.executable, "-c", f"import sys; sys.path.insert(0, {str(package_parent)!r})\n{code}"],
                          cwd=cwd, env=env, capture_output=True, text=True)


@pytest.fixture
def package_copy(tmp_path):
    parent = tmp_path / "site"
    shutil.copytree(pathlib.Path(kelrad.__file__).parent, parent / "kelrad",
                    ignore=shutil.ignore_patterns("__pycache__", "data"))
    (parent / "kelrad" / "data").mkdir()
    (parent / "kelrad" / "data" / "arabic_dict.bin").write_bytes(VALID)
    return parent


CHECK = f"import kelrad; print(kelrad._core.__file__.startswith(sys.path[0]), kelrad.transliterate({KTB!r}, context=True))"


def test_copy_of_the_package_finds_its_data_directory(package_copy, tmp_path):
    result = run_copy(package_copy, CHECK, cwd=tmp_path)
    assert (result.stdout, result.stderr) == ("True kutub\n", "")


def test_corrupt_file_in_dict_dir_wins_over_the_data_directory(package_copy, tmp_path):
    (tmp_path / "arabic_dict.bin").write_bytes(b"TRLD")
    result = run_copy(package_copy, CHECK, cwd=tmp_path, env_dir=str(tmp_path))
    assert "is corrupt" in result.stderr and "kelrad: failed to load arabic dict from" in result.stderr


def test_dict_dir_without_the_file_falls_back_silently(package_copy, tmp_path):
    result = run_copy(package_copy, CHECK, cwd=tmp_path, env_dir=str(tmp_path))
    assert (result.stdout, result.stderr) == ("True kutub\n", "")
