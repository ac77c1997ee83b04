"""``AstrelStage``: one motorised stage as a TANGO device."""

from __future__ import annotations

from typing import Any, Sequence

from tango import AttrWriteType, DevBoolean, DevString, DevVarDoubleArray, DevVarShortArray
from tango import DispLevel, Util
from tango.server import attribute, command, device_property

from ..stage import Stage
from .axes import AxisAttributes
from .base import StageDevice
from .describe import describe


class AstrelStage(AxisAttributes, StageDevice):
    """A motorised stage on a serial port, driven through libastrel.

    State: ON at rest, MOVING while an axis moves, ALARM when an axis the
    last motion drove stopped at a travel limit, FAULT when the controller
    gives no usable reply or reports an error, or the device's properties
    name no stage it can open, OFF after Off. Positions are in user units
    (controller counts on an axis without StepsPerUnit or Offset)."""

    PositionUnit = device_property(dtype=str, default_value="",
                                   doc="The unit's label, as Unit gives it (an older name)")

    def init_device(self) -> None:
        super().init_device()
        self._speeds: dict[int, list[int]] = {}
        if self._stage is not None:
            describe(self, "Position", unit=self._stage.unit)
        if not Util.instance().is_svr_starting():  # Init: the model may have changed
            self._add_axis_attributes()

    def _position_value(self, stage: Stage) -> Any:
        return list(stage.position)

    # ---- attributes -----------------------------------------------------

    @attribute(dtype=(float,), max_dim_x=3, access=AttrWriteType.READ_WRITE,
               doc="The position of the model's axes (X first) in user units; writing it "
                   "moves there (an axis left out keeps its target)")
    def Position(self, attr: Any) -> None:
        self._read(attr, "counts", lambda s: s.counts,
                   lambda counts: list(self._stage.in_units(counts)))  # type: ignore[union-attr]

    @Position.write
    def Position(self, values: Sequence[float]) -> None:
        xyz = self._xyz(values, "Writing Position")
        self._call("Writing Position", lambda s: s.move_to(*xyz, wait=False))

    @attribute(dtype=DevBoolean, doc="Whether an axis moves")
    def Moving(self, attr: Any) -> None:
        self._read(attr, "moving", lambda s: s.is_moving)

    @attribute(dtype=DevBoolean, doc="Whether an axis the last motion drove stopped at a "
                                     "travel limit")
    def AtLimit(self, attr: Any) -> None:
        self._read(attr, ("limit", None), lambda s: s.stopped_at_limit())

    # ---- commands -------------------------------------------------------

    def _xyz(self, values: Sequence[Any], operation: str) -> list[Any]:
        if not 1 <= len(values) <= 3:
            self._fail("BadArgument", f"{operation} failed: it takes one to three values "
                       f"(x, y, z), not {len(values)}")
        return list(values)

    @command(dtype_in=DevVarDoubleArray,
             doc_in="x, y, z: where to move, in user units (an axis left out keeps its target)")
    def MoveAbsolute(self, values: Sequence[float]) -> None:
        xyz = self._xyz(values, "MoveAbsolute")
        self._call("MoveAbsolute", lambda s: s.move_to(*xyz, wait=False))

    @command(dtype_in=DevVarDoubleArray,
             doc_in="x, y, z: how far to move, in user units (an axis left out: 0)")
    def MoveRelative(self, values: Sequence[float]) -> None:
        xyz = self._xyz(values, "MoveRelative")
        self._call("MoveRelative", lambda s: s.move_by(*xyz, wait=False))

    @command(dtype_in=DevVarDoubleArray,
             doc_in="x, y, z: the user values the present position is to have (an axis left "
                    "out keeps its value); refused while the stage moves")
    def DefinePosition(self, values: Sequence[float]) -> None:
        xyz = self._xyz(values, "DefinePosition")
        self._call("DefinePosition", lambda s: s.set_position(*xyz))

    @command(doc_in="Returns to the mechanical origin")
    def Home(self) -> None:
        self._call("Home", lambda s: s.home(wait=False))

    @command(dtype_in=DevVarShortArray,
             doc_in="x, y, z: 1 plus, -1 minus, 0 holds (an axis left out keeps moving); "
                    "until Stop, or to the soft limit on that side")
    def Jog(self, values: Sequence[int]) -> None:
        xyz = self._xyz(values, "Jog")
        self._call("Jog", lambda s: s.jog(*xyz))

    @command(doc_in="Makes the present position the origin (0 counts on each axis)")
    def SetOrigin(self) -> None:
        self._call("SetOrigin", lambda s: s.set_origin())

    @command(dtype_in=DevString, dtype_out=DevString, display_level=DispLevel.EXPERT,
             doc_in="For experts: a command line in the controller's language",
             doc_out="The reply lines; empty when none came within the time-out")
    def Raw(self, line: str) -> str:
        return "\n".join(self._call("Raw", lambda s: s.raw(line)))
