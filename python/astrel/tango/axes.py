"""The per-axis attributes of ``AstrelStage``: X, Y, Z and their speeds,
for the model's axes only."""

from __future__ import annotations

from typing import Any, Callable, NoReturn, Optional

from tango import AttrQuality, AttrWriteType, DevFailed, DevLong
from tango.server import attribute

from ..catalogue import Model
from ..stage import Stage
from ..state import AXIS_NAMES

_SPEEDS_DOC = ("Start speed and maximum speed ({speed}) and acceleration time ({accel}) of "
               "{axis}. The controller cannot be asked for them: this reads back the last "
               "value written through this device since the port opened (invalid before).")


class AxisAttributes:
    """Adds X, Y, Z and XSpeeds, YSpeeds, ZSpeeds to a device, for as many
    axes as its model has. The device provides the stage (``_stage``,
    ``_model``, ``_axes``, ``_speeds``) and its calls (``_read``, ``_call``,
    ``_fail``, ``_unit``)."""

    _stage: Optional[Stage]
    _model: Optional[Model]
    _axes: int
    _speeds: dict[int, list[int]]
    _read: Callable[..., None]
    _call: Callable[..., Any]
    _fail: Callable[..., NoReturn]
    _unit: Callable[[], str]

    def initialize_dynamic_attributes(self) -> None:
        # Called once every device of the server is made.
        self._add_axis_attributes()

    def _add_axis_attributes(self) -> None:
        """X, Y, Z and their speeds, for the model's axes only."""
        units = {"speed": self._model.speed_unit, "accel": self._model.accel_unit} \
            if self._model else {}
        for axis, letter in enumerate(name.upper() for name in AXIS_NAMES):
            made = {
                letter: lambda name: attribute(
                    name=name, dtype=DevLong, access=AttrWriteType.READ_WRITE,
                    fget=self._read_axis, fset=self._write_axis),
                f"{letter}Speeds": lambda name: attribute(
                    name=name, dtype=(DevLong,), max_dim_x=3, access=AttrWriteType.READ_WRITE,
                    fget=self._read_speeds, fset=self._write_speeds),
            }
            for name, make in made.items():
                present = self._has(name)
                if axis < self._axes and not present:
                    self.add_attribute(make(name))
                elif axis >= self._axes and present:
                    self.remove_attribute(name)
            if axis < self._axes:
                self._describe(letter, self._unit(),
                               f"The {letter} position; writing it moves {letter} alone")
                self._describe(f"{letter}Speeds", "", _SPEEDS_DOC.format(axis=letter, **units))

    def _has(self, name: str) -> bool:
        try:
            self.get_device_attr().get_attr_by_name(name)
        except DevFailed:
            return False
        return True

    def _describe(self, name: str, unit: str, doc: Optional[str] = None) -> None:
        """Sets this device's unit label (and description) of an attribute."""
        attr = self.get_device_attr().get_attr_by_name(name)
        shown = attr.get_properties()
        shown.unit = unit
        if doc is not None:
            shown.description = doc
        attr.set_properties(shown)

    def _unit(self) -> str:
        return (self.PositionUnit or "").strip()

    def _axis(self, attr: Any) -> int:
        return AXIS_NAMES.index(attr.get_name()[0].lower())

    def _read_axis(self, attr: Any) -> None:
        axis = self._axis(attr)
        self._read(attr, lambda s: s.position[axis])

    def _write_axis(self, attr: Any) -> None:
        target = {AXIS_NAMES[self._axis(attr)]: int(attr.get_write_value())}
        self._call(f"Writing {attr.get_name()}", lambda s: s.move_to(**target, wait=False))

    def _read_speeds(self, attr: Any) -> None:
        speeds = self._speeds.get(self._axis(attr)) if self._stage is not None else None
        if speeds is None:
            attr.set_quality(AttrQuality.ATTR_INVALID)
        else:
            attr.set_value(speeds)

    def _write_speeds(self, attr: Any) -> None:
        axis, speeds = self._axis(attr), [int(v) for v in attr.get_write_value()]
        if len(speeds) != 3:
            self._fail("BadArgument", f"Writing {attr.get_name()} failed: the speeds are three "
                       "values, start speed, maximum speed and acceleration time")
        self._call(f"Writing {attr.get_name()}", lambda s: s.set_speeds(axis, *speeds))
        self._speeds[axis] = speeds
