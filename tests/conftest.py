"""Test configuration.

With KELRAD_BUILD_DIR set (scripts/test sets it), the tests import kelrad from
that CMake build tree, where the native test program and the test-only module
`kelrad_bindtest` are built too. Without it they import the installed package
and skip the native tests.
"""

from __future__ import annotations

import os
import pathlib
import shutil
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[1]
BUILD = os.environ.get("KELRAD_BUILD_DIR")
BUILD_DIR = (ROOT / BUILD).resolve() if BUILD else None  # an absolute BUILD stays as it is
NATIVE_PROGRAM = BUILD_DIR / "kelrad_native_tests" if BUILD else None


def _stage_build(build: pathlib.Path) -> None:
    """Lays the built extension out as an importable package under build/pkg."""
    pkg = build / "pkg" / "kelrad"
    pkg.mkdir(parents=True, exist_ok=True)
    for source in (ROOT / "python" / "kelrad").glob("*.py"):
        shutil.copyfile(source, pkg / source.name)
    for lib in build.glob("_core*.so"):
        shutil.copyfile(lib, pkg / lib.name)
    sys.path.insert(0, str(build))
    sys.path.insert(0, str(pkg.parent))


if BUILD:
    _stage_build(BUILD_DIR)


@pytest.fixture(scope="session")
def bindtest():
    if not BUILD:
        pytest.skip("needs KELRAD_BUILD_DIR (scripts/test)")
    import kelrad_bindtest

    return kelrad_bindtest
