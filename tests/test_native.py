"""Runs each native C++ test (tests/native) as one pytest case."""

import subprocess

import pytest

from conftest import NATIVE_PROGRAM, ROOT


def _native_names():
    if NATIVE_PROGRAM is None or not NATIVE_PROGRAM.exists():
        return []
    return subprocess.run([NATIVE_PROGRAM, "--list"], capture_output=True, text=True, check=True).stdout.split()


@pytest.mark.parametrize("name", _native_names() or [pytest.param("", marks=pytest.mark.skip("no native build"))])
def test_native(name):
    result = subprocess.run([NATIVE_PROGRAM, "=" + name], capture_output=True, text=True, cwd=ROOT)
    assert result.returncode == 0, result.stdout + result.stderr
