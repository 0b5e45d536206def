"""Context dictionaries for the tests: TRLD files written field by field, and a
runner that gives each case a fresh process, since a process loads each
dictionary once and keeps the outcome."""

from __future__ import annotations

import dataclasses
import os
import pickle
import struct
import tempfile
from typing import Callable, Iterable

HEADER = 24


def string(text: str | bytes) -> bytes:
    """A u16 length and the bytes (str as UTF-8, bytes as they are)."""
    data = text.encode() if isinstance(text, str) else text
    return struct.pack("<H", len(data)) + data


def unigram_records(unigrams: Iterable) -> bytes:
    """(key, value) pairs, or (key, [(text, weight), ...]) for several candidates."""
    parts = []
    for key, value in unigrams:
        candidates = [(value, 1)] if isinstance(value, (str, bytes)) else value
        parts.append(string(key) + struct.pack("<H", len(candidates)))
        parts.extend(string(text) + struct.pack("<I", weight) for text, weight in candidates)
    return b"".join(parts)


def bigram_records(bigrams: Iterable) -> bytes:
    return b"".join(string(a) + string(b) + string(c) for a, b, c in bigrams)


def trld(unigrams=(), bigrams=(), *, magic=b"TRLD", version=1) -> bytes:
    unigrams, bigrams = list(unigrams), list(bigrams)
    uni = unigram_records(unigrams)
    header = struct.pack("<4sIIIII", magic, version, len(unigrams), len(bigrams), HEADER, HEADER + len(uni))
    return header + uni + bigram_records(bigrams)


@dataclasses.dataclass
class Outcome:
    value: object = None
    error: str | None = None  # the exception's class name
    message: str | None = None
    cause: str | None = None  # "ValueError: text" of its __cause__
    stderr: str = ""

    def ok(self):
        assert self.error is None, f"{self.error}: {self.message}"
        return self.value


def fresh_process(fn: Callable[[], object], dict_dir: str | bytes | None = None) -> Outcome:
    """Runs fn in a forked child whose KELRAD_DICT_DIR is `dict_dir` (unset
    for None) and whose standard error is captured. The parent must never
    load a dictionary itself, or its children would inherit the outcome."""
    with tempfile.TemporaryFile() as err:
        read_end, write_end = os.pipe()
        pid = os.fork()
        if pid == 0:  # the child
            try:
                os.close(read_end)
                os.dup2(err.fileno(), 2)
                os.environb.pop(b"KELRAD_DICT_DIR", None)
                if dict_dir is not None:
                    os.environb[b"KELRAD_DICT_DIR"] = os.fsencode(dict_dir)
                try:
                    outcome = Outcome(value=fn())
                except BaseException as e:  # noqa: BLE001 - reported to the parent
                    cause = e.__cause__
                    outcome = Outcome(
                        error=type(e).__name__,
                        message=str(e),
                        cause=None if cause is None else f"{type(cause).__name__}: {cause}",
                    )
                with os.fdopen(write_end, "wb") as pipe:
                    pipe.write(pickle.dumps(outcome))
            finally:
                os._exit(0)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            data = pipe.read()
        os.waitpid(pid, 0)
        err.seek(0)
        outcome = pickle.loads(data) if data else Outcome(error="crash")
        outcome.stderr = err.read().decode("utf-8", "replace")
        return outcome
