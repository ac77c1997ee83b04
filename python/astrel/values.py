"""Numbers on their way to the library: checked against the C type's range,
never wrapped or truncated on the way."""

from __future__ import annotations

import math
import numbers
from typing import Union

from .errors import BadArgument

Real = Union[int, float]

INT16 = (-(2**15), 2**15 - 1)
INT32 = (-(2**31), 2**31 - 1)


def real(value: object, what: str, operation: str) -> float:
    """``value`` as a finite real number; BadArgument for anything else
    (text, None, True and False, NaN, infinities)."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise BadArgument(f"{what} {value!r} is not a number", operation=operation)
    number = float(value)
    if not math.isfinite(number):
        raise BadArgument(f"{what} {value!r} is not a finite number", operation=operation)
    return number


def integral(value: object, what: str, operation: str, bounds: tuple[int, int] = INT32) -> int:
    """``value`` as an integer within ``bounds`` (the C type's range): a
    float is taken only when it is whole (2.0, not 1.7)."""
    if isinstance(value, numbers.Integral) and not isinstance(value, bool):
        number = int(value)
    else:
        exact = real(value, what, operation)
        if not exact.is_integer():
            raise BadArgument(f"{what} {value!r} is not a whole number of counts",
                              operation=operation)
        number = int(exact)
    return within(number, what, operation, bounds)


def within(number: int, what: str, operation: str, bounds: tuple[int, int] = INT32) -> int:
    """``number`` when it lies in ``bounds``; BadArgument otherwise."""
    low, high = bounds
    if not low <= number <= high:
        raise BadArgument(f"{what} {number} is outside {low} .. {high}, the range the "
                          "library takes", operation=operation)
    return number
