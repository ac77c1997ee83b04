"""User units and soft limits of a stage's axes.

Each axis may have a scale (controller counts per user unit; negative
reverses the axis), an offset (user = counts / scale + offset) and soft
limits (low, high) in user units. An axis with neither scale nor offset
counts in controller counts, as whole numbers.
"""

from __future__ import annotations

import math
from typing import Any, Callable, Generic, Iterator, Mapping, MutableMapping, Optional, TypeVar

from .errors import BadArgument
from .state import AXIS_NAMES
from .values import INT32, Real, integral, real, within

T = TypeVar("T")
#: Soft limits of an axis: (low, high), either None for no limit on that side.
Limits = tuple[Optional[float], Optional[float]]


class AxisSettings(MutableMapping[str, T], Generic[T]):
    """One setting of each axis, keyed "x", "y", "z" (the model's axes only);
    every value is checked as it is set: ``stage.scale["x"] = 10.0``."""

    def __init__(self, axes: int, name: str, check: Callable[[str, Any], T],
                 values: Optional[Mapping[Any, Any]] = None) -> None:
        self._axes, self._name, self._check = axes, name, check
        self._values: dict[str, T] = {}
        for key, value in (values or {}).items():
            self[key] = value

    def _key(self, key: Any) -> str:
        name = AXIS_NAMES[key] if isinstance(key, int) and 0 <= key < 3 else str(key).lower()
        if name not in AXIS_NAMES[:self._axes]:
            raise BadArgument(f"{self._name}: {key!r} is not one of the model's axes "
                              f"{', '.join(AXIS_NAMES[:self._axes])}", operation=self._name)
        return name

    def __getitem__(self, key: Any) -> T:
        return self._values[str(key).lower() if isinstance(key, str) else AXIS_NAMES[key]]

    def __setitem__(self, key: Any, value: Any) -> None:
        name = self._key(key)
        self._values[name] = self._check(name, value)

    def __delitem__(self, key: Any) -> None:
        del self._values[self._key(key)]

    def __iter__(self) -> Iterator[str]:
        return iter(sorted(self._values))

    def __len__(self) -> int:
        return len(self._values)

    def __repr__(self) -> str:
        return repr({name: self._values[name] for name in self})


def _scale(axis: str, value: Any) -> float:
    number = real(value, f"the scale of {axis}", "scale")
    if number == 0:
        raise BadArgument(f"the scale of {axis} is 0 counts per unit", operation="scale")
    return number


def _offset(axis: str, value: Any) -> float:
    return real(value, f"the offset of {axis}", "offset")


def _limits(axis: str, value: Any) -> Limits:
    try:
        low, high = value
    except (TypeError, ValueError):
        raise BadArgument(f"the soft limits of {axis}, {value!r}, are not a pair (low, high)",
                          operation="limits") from None
    pair = tuple(None if v is None else real(v, f"a soft limit of {axis}", "limits")
                 for v in (low, high))
    if pair[0] is not None and pair[1] is not None and pair[0] > pair[1]:
        raise BadArgument(f"the soft limits of {axis}: low {low} is above high {high}",
                          operation="limits")
    return pair[0], pair[1]


def _nearest(value: float) -> int:
    """The nearest whole number, halves away from zero."""
    return int(math.copysign(math.floor(abs(value) + 0.5), value))


class UnitSetting:
    """A ``Stage`` attribute that is one of its units' ``AxisSettings``:
    changed per axis (``stage.scale["x"] = 10.0``) or replaced whole
    (``stage.scale = {"x": 10.0}``)."""

    def __set_name__(self, owner: type, name: str) -> None:
        self._name = name

    def __get__(self, stage: Any, owner: Optional[type] = None) -> Any:
        return self if stage is None else getattr(stage._units, self._name)

    def __set__(self, stage: Any, values: Mapping[Any, Any]) -> None:
        present: AxisSettings[Any] = getattr(stage._units, self._name)
        setattr(stage._units, self._name,
                AxisSettings(present._axes, self._name, present._check, values))


class Units:
    """The user units of a stage's axes, and the conversions to and from counts."""

    def __init__(self, axes: int, unit: str = "", scale: Optional[Mapping[Any, Any]] = None,
                 offset: Optional[Mapping[Any, Any]] = None,
                 limits: Optional[Mapping[Any, Any]] = None) -> None:
        self.unit = unit
        self.scale: AxisSettings[float] = AxisSettings(axes, "scale", _scale, scale)
        self.offset: AxisSettings[float] = AxisSettings(axes, "offset", _offset, offset)
        self.limits: AxisSettings[Limits] = AxisSettings(axes, "limits", _limits, limits)

    def counted(self, axis: int) -> bool:
        """Whether the axis is in plain counts (no scale and no offset)."""
        name = AXIS_NAMES[axis]
        return name not in self.scale and name not in self.offset

    def _factor(self, axis: int) -> float:
        return self.scale.get(AXIS_NAMES[axis], 1.0)

    def direction(self, axis: int) -> int:
        """Which way counts run when the user value grows: +1, or -1 for a negative scale."""
        return 1 if self._factor(axis) > 0 else -1

    def user(self, axis: int, counts: int) -> Real:
        """Counts as a user value (the counts themselves on a counted axis)."""
        if self.counted(axis):
            return counts
        return counts / self._factor(axis) + self.offset.get(AXIS_NAMES[axis], 0.0)

    def speed(self, axis: int, counts_per_second: float) -> float:
        """A speed in counts per second, in user units per second."""
        return counts_per_second / abs(self._factor(axis))

    def speed_counts(self, axis: int, value: Any, operation: str) -> int:
        """A speed in user units per second, in whole counts per second."""
        if self.counted(axis):
            return integral(value, "speed", operation)
        return self._in_range(real(value, "speed", operation) * abs(self._factor(axis)), value,
                              "speed", operation)

    def counts(self, axis: int, value: Any, what: str, operation: str) -> int:
        """A user position in counts, rounded to the nearest count; BadArgument
        when it is no number or falls outside the library's range."""
        if self.counted(axis):
            return integral(value, what, operation)
        exact = (real(value, what, operation) - self.offset.get(AXIS_NAMES[axis], 0.0)) \
            * self._factor(axis)
        return self._in_range(exact, value, what, operation)

    def distance(self, axis: int, value: Any, what: str, operation: str) -> int:
        """A user distance in counts, rounded to the nearest count."""
        if self.counted(axis):
            return integral(value, what, operation)
        exact = real(value, what, operation) * self._factor(axis)
        return self._in_range(exact, value, what, operation)

    def _in_range(self, exact: float, value: Any, what: str, operation: str) -> int:
        if not INT32[0] - 0.5 < exact < INT32[1] + 0.5:
            raise BadArgument(f"{what} {self._show_user(value)} is {exact:.0f} counts, outside "
                              f"{INT32[0]} .. {INT32[1]}, the range the library takes",
                              operation=operation)
        return within(_nearest(exact), what, operation)

    def show(self, axis: int, counts: int) -> str:
        """A position in words, user value and counts: "600 um (6000 counts)"."""
        if self.counted(axis):
            return f"{counts} counts"
        return f"{self.user(axis, counts):g} {self.unit} ({counts} counts)".replace("  ", " ")

    def _show_user(self, value: Any) -> str:
        return f"{value:g} {self.unit}".strip() if isinstance(value, float) else \
            f"{value!r} {self.unit}".strip()

    def check_target(self, axis: int, counts: int, here: Callable[[], int],
                     operation: str) -> None:
        """Refuses a target outside the axis's soft limits, naming the axis,
        the target and the limit; a stage found beyond a limit may still move
        back toward it (``here`` gives its position in counts, asked only then)."""
        low, high = self.limits.get(AXIS_NAMES[axis], (None, None))
        target = self.user(axis, counts)
        for limit, beyond, side in ((high, lambda a, b: a > b, "above"),
                                    (low, lambda a, b: a < b, "below")):
            if limit is None or not beyond(target, limit):
                continue
            now = self.user(axis, here())
            if beyond(now, limit) and not beyond(target, now):
                continue  # back toward the limits, from beyond them
            raise BadArgument(f"{AXIS_NAMES[axis]} target {self.show(axis, counts)} is {side} "
                              f"its soft limit {self._show_user(limit)}", operation=operation)

    def jog_limit(self, axis: int, direction: int) -> Optional[float]:
        """The soft limit a jog in ``direction`` (user units: +1 or -1) runs to; None for none."""
        low, high = self.limits.get(AXIS_NAMES[axis], (None, None))
        return high if direction > 0 else low

    def check_origin(self, axes: int, operation: str) -> None:
        """Refuses a return to the origin (0 counts) that lies outside an axis's soft limits."""
        for axis in range(axes):
            low, high = self.limits.get(AXIS_NAMES[axis], (None, None))
            origin = self.user(axis, 0)
            if (low is not None and origin < low) or (high is not None and origin > high):
                raise BadArgument(
                    f"the origin of {AXIS_NAMES[axis]}, {self.show(axis, 0)}, lies outside its "
                    f"soft limits {self._show_user(low) if low is not None else '-inf'} .. "
                    f"{self._show_user(high) if high is not None else '+inf'}: nothing was sent",
                    operation=operation)
