"""Runs every table generator: `python tools/gen/all.py [--out DIR]`."""

from __future__ import annotations

import importlib
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

GENERATORS = sorted(p.stem for p in HERE.glob("gen_*.py"))

if __name__ == "__main__":
    for name in GENERATORS:
        importlib.import_module(name).main()
