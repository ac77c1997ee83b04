"""Per-axis attributes: the position's unit, format and range, the soft
limits as a memorised attribute, and the speeds read back; and the
attributes X, Y, Z of ``AstrelStage``, for the model's axes only."""

from __future__ import annotations

import math
from typing import Any, Callable, NoReturn, Optional

from tango import AttrQuality, AttrWriteType, DevFailed, DevLong
from tango.server import attribute

from ..catalogue import Model
from ..errors import AstrelError
from ..stage import Stage
from ..state import AXIS_NAMES
from .describe import decimals, describe, number

_SPEEDS_DOC = ("Start speed and maximum speed ({speed}) and acceleration time ({accel}) of "
               "{axis}. The controller cannot be asked for them: this reads back the last "
               "value written through this server since the port opened (invalid before).")
_LIMIT_DOC = ("The {side} soft limit of {axis} in user units (read as inf while there is none): "
              "a move beyond it is refused before anything is sent. Memorised; written, it "
              "replaces that side of the property SoftLimits_{axis} (TANGO takes no inf: a "
              "value beyond the travel lifts it in effect)")


def describe_position(device: Any, name: str, stage: Stage, axis: int) -> None:
    """The unit, format and range of an attribute of an axis's position,
    from the stage's units (an operator's own configuration is kept)."""
    letter = AXIS_NAMES[axis]
    low, high = stage.limits.get(letter, (None, None))
    describe(device, name, unit=stage.unit, format=decimals(stage.scale.get(letter)),
             min_value=number(low), max_value=number(high))


def limit_value(stage: Stage, axis: int, side: str) -> float:
    """A soft limit as its attribute gives it (side "Low" or "High"), inf for none."""
    low, high = stage.limits.get(AXIS_NAMES[axis], (None, None))
    if side == "Low":
        return -math.inf if low is None else low
    return math.inf if high is None else high


def write_limit(device: Any, name: str, stage: Stage, axis: int, side: str, value: float,
                position_attribute: str) -> None:
    """Sets one soft limit, and the range of the position."""
    low, high = stage.limits.get(AXIS_NAMES[axis], (None, None))
    given = value if math.isfinite(value) else None
    try:
        stage.limits[AXIS_NAMES[axis]] = (given, high) if side == "Low" else (low, given)
    except AstrelError as error:
        device._fail("BadArgument", f"Writing {name} failed: {error.reason}")
    device._written_limits[(axis, side)] = given  # kept through Init, as TANGO keeps it
    describe_position(device, position_attribute, stage, axis)


class AxisAttributes:
    """Adds X, Y, Z, their speeds and their soft limits to an ``AstrelStage``,
    for as many axes as its model has."""

    _stage: Optional[Stage]
    _model: Optional[Model]
    _axes: int
    _speeds: dict[int, list[int]]
    _read: Callable[..., None]
    _call: Callable[..., Any]
    _fail: Callable[..., NoReturn]

    def initialize_dynamic_attributes(self) -> None:
        # Called once every device of the server is made.
        self._add_axis_attributes()

    def _add_axis_attributes(self) -> None:
        units = {"speed": self._model.speed_unit, "accel": self._model.accel_unit} \
            if self._model else {"speed": "", "accel": ""}
        for axis, letter in enumerate(name.upper() for name in AXIS_NAMES):
            made = {
                letter: lambda name: attribute(
                    name=name, dtype=float, access=AttrWriteType.READ_WRITE,
                    fget=self._read_axis, fset=self._write_axis,
                    doc=f"The {name} position in user units; writing it moves {name} alone"),
                f"{letter}Speeds": lambda name: attribute(
                    name=name, dtype=(DevLong,), max_dim_x=3, access=AttrWriteType.READ_WRITE,
                    fget=self._read_speeds, fset=self._write_speeds,
                    doc=_SPEEDS_DOC.format(axis=name[0], **units)),
                **{f"{letter}SoftLimit{side}": lambda name: attribute(
                    name=name, dtype=float, access=AttrWriteType.READ_WRITE, memorized=True,
                    hw_memorized=True, fget=self._read_limit, fset=self._write_limit,
                    doc=_LIMIT_DOC.format(axis=name[0], side=name[10:].lower()))
                   for side in ("Low", "High")},
            }
            for name, make in made.items():
                present = self._has(name)
                if axis < self._axes and not present:
                    self.add_attribute(make(name))
                elif axis >= self._axes and present:
                    self.remove_attribute(name)
            if axis < self._axes and self._stage is not None:
                describe_position(self, letter, self._stage, axis)

    def _has(self, name: str) -> bool:
        try:
            self.get_device_attr().get_attr_by_name(name)  # type: ignore[attr-defined]
        except DevFailed:
            return False
        return True

    def _axis(self, attr: Any) -> int:
        return AXIS_NAMES.index(attr.get_name()[0].lower())

    def _read_axis(self, attr: Any) -> None:
        axis = self._axis(attr)
        self._read(attr, "counts", lambda s: s.counts,
                   lambda counts: self._stage.in_units(counts)[axis])  # type: ignore[union-attr]

    def _write_axis(self, attr: Any) -> None:
        target = {AXIS_NAMES[self._axis(attr)]: attr.get_write_value()}
        self._call(f"Writing {attr.get_name()}", lambda s: s.move_to(**target, wait=False))

    def _read_speeds(self, attr: Any) -> None:
        speeds = self._speeds.get(self._axis(attr)) if self._stage is not None else None
        if speeds is None:
            attr.set_quality(AttrQuality.ATTR_INVALID)
        else:
            attr.set_value(speeds)

    def _write_speeds(self, attr: Any) -> None:
        axis, speeds = self._axis(attr), list(attr.get_write_value())
        if len(speeds) != 3:
            self._fail("BadArgument", f"Writing {attr.get_name()} failed: the speeds are three "
                       "values, start speed, maximum speed and acceleration time")
        self._call(f"Writing {attr.get_name()}", lambda s: s.set_speeds(axis, *speeds))
        self._speeds[axis] = speeds

    def _read_limit(self, attr: Any) -> None:
        if self._stage is None:
            attr.set_quality(AttrQuality.ATTR_INVALID)
        else:
            attr.set_value(limit_value(self._stage, self._axis(attr), attr.get_name()[10:]))

    def _write_limit(self, attr: Any) -> None:
        if self._stage is None:
            self._fail("PortError", f"Writing {attr.get_name()} failed: the port is closed")
        axis = self._axis(attr)
        write_limit(self, attr.get_name(), self._stage, axis, attr.get_name()[10:],
                    attr.get_write_value(), AXIS_NAMES[axis].upper())
