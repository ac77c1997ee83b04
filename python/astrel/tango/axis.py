"""``AstrelAxis``: one axis of a stage as a TANGO motor device. The axis
devices of one server that name the same Device share its stage."""

from __future__ import annotations

from typing import Any, Optional

from tango import AttrQuality, AttrWriteType, DevBoolean, DevDouble, DevLong, DevShort
from tango.server import attribute, command, device_property

from ..errors import AstrelError
from ..stage import Stage
from ..state import AXIS_NAMES
from .axes import describe_position, limit_value, write_limit
from .base import StageDevice
from .condition import limit_side

_SPEED_UNITS = ("pps", "msec")  # speeds in counts per second, acceleration times in ms
_LIMIT_DOC = ("The {side} soft limit in user units (read as inf while there is none): a move "
              "beyond it is refused before anything is sent. Memorised; written, it replaces "
              "that side of the property SoftLimits_<Axis> (TANGO takes no inf: a value "
              "beyond the travel lifts it in effect)")


class AstrelAxis(StageDevice):
    """One axis of a motorised stage, driven through libastrel.

    State: MOVING while the stage moves (the controllers tell motion for the
    stage, not per axis), ALARM when this axis stands at a travel limit, ON
    at rest, FAULT when the controller gives no usable reply or the
    properties name no axis it can open, OFF after Off. Stop and Abort stop
    the stage, every axis. Limit_switches: home is always False; plus and
    minus say "at a limit" with the side this server last drove the axis to
    (both False when it never drove it: the controllers tell only "at a
    limit", which State and Status report)."""

    Axis = device_property(dtype=str, default_value="X", doc="The stage's axis: X, Y or Z")
    _NO_POSITION = 0.0

    def init_device(self) -> None:
        self._speeds: Optional[list[int]] = None
        super().init_device()
        if self._stage is not None:
            describe_position(self, "Position", self._stage, self._index)

    def _open(self) -> None:
        letter = (self.Axis or "").strip().lower()
        self._state_axis = AXIS_NAMES.index(letter) if letter in AXIS_NAMES else None
        if self._state_axis is not None and self._state_axis < self._axes:
            super()._open()
        else:
            self._problem = (f"Axis {self.Axis!r} is not one of the {self.Model} stage's axes "
                             f"({', '.join(AXIS_NAMES[:self._axes]).upper()})")

    def initialize_dynamic_attributes(self) -> None:
        if self._model is not None and (self._model.speed_unit, self._model.accel_unit) \
                == _SPEED_UNITS:
            for name, doc in (("Velocity", "The maximum speed in user units per second"),
                              ("Acceleration", "The acceleration time in ms")):
                self.add_attribute(attribute(
                    name=name, dtype=DevDouble, access=AttrWriteType.READ_WRITE,
                    fget=self._read_speed, fset=self._write_speed,
                    doc=f"{doc}; written, it replaces that part of Speeds (which must be "
                        "written once first: the controller takes the three together)"))

    @property
    def _index(self) -> int:
        return self._state_axis if self._state_axis is not None else 0

    def _subject(self) -> str:
        return f"{(self.Axis or '').strip().upper()} axis of the {self.Model} stage ({self.Maker})"

    def _position_value(self, stage: Stage) -> Any:
        return stage.position[self._index]


    # ---- attributes -----------------------------------------------------

    @attribute(dtype=DevDouble, access=AttrWriteType.READ_WRITE,
               doc="The axis's position in user units; writing it moves this axis alone "
                   "(the others keep their targets)")
    def Position(self, attr: Any) -> None:
        self._read(attr, "counts", lambda s: s.counts,
                   lambda counts: self._stage.in_units(counts)[self._index])  # type: ignore

    @Position.write
    def Position(self, value: float) -> None:
        target = {AXIS_NAMES[self._index]: value}
        self._call("Writing Position", lambda s: s.move_to(**target, wait=False))

    @attribute(dtype=DevLong, doc="The axis's position in controller counts")
    def DialPosition(self, attr: Any) -> None:
        self._read(attr, "counts", lambda s: s.counts, lambda counts: counts[self._index])

    @attribute(dtype=(DevBoolean,), max_dim_x=3,
               doc="home (always False), plus, minus: at a travel limit, on the side this "
                   "server last drove the axis to (plus: where counts grow)")
    def Limit_switches(self, attr: Any) -> None:
        def switches(at: bool) -> list[bool]:
            side = limit_side(self._stage, self._index) if at else ""  # type: ignore[arg-type]
            return [False, side == "plus", side == "minus"]
        self._read(attr, ("limit", self._index), lambda s: s.at_limit(self._index), switches)

    def _read_limit(self, attr: Any, side: str) -> None:
        if self._stage is None:
            attr.set_quality(AttrQuality.ATTR_INVALID)
        else:
            attr.set_value(limit_value(self._stage, self._index, side))

    def _write_limit(self, side: str, value: float) -> None:
        if self._stage is None:
            self._fail("PortError", f"Writing SoftLimit{side} failed: the port is closed")
        write_limit(self, f"SoftLimit{side}", self._stage, self._index, side, value, "Position")

    @attribute(dtype=DevDouble, access=AttrWriteType.READ_WRITE, memorized=True,
               hw_memorized=True, doc=_LIMIT_DOC.format(side="low"))
    def SoftLimitLow(self, attr: Any) -> None:
        self._read_limit(attr, "Low")

    @SoftLimitLow.write
    def SoftLimitLow(self, value: float) -> None:
        self._write_limit("Low", value)

    @attribute(dtype=DevDouble, access=AttrWriteType.READ_WRITE, memorized=True,
               hw_memorized=True, doc=_LIMIT_DOC.format(side="high"))
    def SoftLimitHigh(self, attr: Any) -> None:
        self._read_limit(attr, "High")

    @SoftLimitHigh.write
    def SoftLimitHigh(self, value: float) -> None:
        self._write_limit("High", value)

    @attribute(dtype=(DevLong,), max_dim_x=3, access=AttrWriteType.READ_WRITE,
               doc="Start speed, maximum speed and acceleration time, in the maker's units. "
                   "The controller cannot be asked for them: this reads back the last value "
                   "written through this device (invalid before)")
    def Speeds(self, attr: Any) -> None:
        if self._speeds is None:
            attr.set_quality(AttrQuality.ATTR_INVALID)
        else:
            attr.set_value(self._speeds)

    @Speeds.write
    def Speeds(self, values: Any) -> None:
        speeds = list(values)
        if len(speeds) != 3:
            self._fail("BadArgument", "Writing Speeds failed: the speeds are three values, "
                       "start speed, maximum speed and acceleration time")
        self._call("Writing Speeds", lambda s: s.set_speeds(self._index, *speeds))
        self._speeds = speeds

    def _read_speed(self, attr: Any) -> None:
        if self._speeds is None or self._stage is None:
            attr.set_quality(AttrQuality.ATTR_INVALID)
        elif attr.get_name() == "Velocity":
            attr.set_value(self._stage.speed_in_units(self._index, self._speeds[1]))
        else:
            attr.set_value(float(self._speeds[2]))

    def _write_speed(self, attr: Any) -> None:
        name, value = attr.get_name(), attr.get_write_value()
        if self._speeds is None or self._stage is None:
            self._fail("BadArgument", f"Writing {name} failed: write Speeds once first (the "
                       "controller takes start speed, maximum speed and acceleration time "
                       "together)")
        speeds = list(self._speeds)
        try:
            speeds[1 if name == "Velocity" else 2] = self._stage.speed_in_counts(
                self._index, value) if name == "Velocity" else round(value)
        except AstrelError as error:
            self._fail("BadArgument", f"Writing {name} failed: {error.reason}")
        self._call(f"Writing {name}", lambda s: s.set_speeds(self._index, *speeds))
        self._speeds = speeds

    # ---- commands -------------------------------------------------------

    @command(dtype_in=DevDouble, doc_in="The user value the axis's present position is to "
                                        "have; refused while the stage moves")
    def DefinePosition(self, value: float) -> None:
        named = {AXIS_NAMES[self._index]: value}
        self._call("DefinePosition", lambda s: s.set_position(**named))

    @command(dtype_in=DevShort, doc_in="1 plus, -1 minus, 0 holds the axis; until Stop, or to "
                                       "the soft limit on that side")
    def Jog(self, direction: int) -> None:
        named = {AXIS_NAMES[self._index]: direction}
        self._call("Jog", lambda s: s.jog(**named))
