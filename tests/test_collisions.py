"""Key collisions: the result class `KeyCollision`."""

import pytest

from kelrad import _core


def test_result_class():
    cls = _core.KeyCollision
    assert (cls.__module__, cls.__qualname__) == ("builtins", "KeyCollision")
    assert cls.__doc__ == "One group of distinct inputs that reduce to the same key."
    assert cls.key.__doc__ == "The reduced form every member of the group shares."
    assert cls.values.__doc__ == "The distinct inputs that reduce to it, in order of first appearance."
    assert cls.indices.__doc__ == ("Every position in the input list that belongs to this group, ascending.\n"
                                   "Not parallel to `values`: a value repeated verbatim appears once there and\n"
                                   "once per occurrence here.")
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
