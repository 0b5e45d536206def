"""Runs each native C++ test (tests/native) as one pytest case."""

import os
import pathlib
import subprocess

import pytest

from conftest import BUILD, ROOT


def _native_names():
    if not BUILD:
        return []
    program = pathlib.Path(BUILD) if os.path.isabs(BUILD) else ROOT / BUILD
    program = program / "kelrad_native_tests"
    if not program.exists():
        return []
    return subprocess.run([str(program), "--list"], capture_output=True, text=True, check=True).stdout.split()


@pytest.mark.parametrize("name", _native_names() or [pytest.param("", marks=pytest.mark.skip("no native build"))])
def test_native(native_tests, name):
    result = native_tests("=" + name)
    assert result.returncode == 0, result.stdout + result.stderr
