"""Runs the native C++ tests (tests/native) as part of the suite."""

import pytest


@pytest.mark.parametrize("group", ["error_", "lock_"])
def test_native_group(native_tests, group):
    result = native_tests(group)
    assert result.returncode == 0, result.stdout + result.stderr
