"""``AstrelStage``: one motorised stage as a TANGO device."""

from __future__ import annotations

import time
from typing import Any, Callable, NoReturn, Optional, Sequence, TypeVar

from tango import (AttrQuality, AttrWriteType, DevBoolean, DevLong, DevState, DevString,
                   DevVarLongArray, DevVarShortArray, DispLevel, Except, Util)
from tango.server import Device, attribute, command, device_property

from ..catalogue import Model, find_model
from ..errors import AstrelError
from ..stage import Stage
from .axes import AxisAttributes
from .condition import condition
from .properties import stage_arguments

T = TypeVar("T")

#: How often (ms) the server polls the stage for the change events of State and Position.
POLL_PERIOD_MS = 250
_ORIGIN = "AstrelStage"


def _latin1(text: str) -> str:
    """Text as TANGO strings carry it: Latin-1 (escapes for anything else)."""
    return text.encode("latin-1", "backslashreplace").decode("latin-1")


def _message(what: str, error: AstrelError) -> str:
    """What failed, and the library's words for why (which name no maker:
    the makers' Japanese names would not survive)."""
    return _latin1(f"{what} failed: {error.reason}")


def _listed(maker: Optional[str], model: Optional[str]) -> Optional[Model]:
    """The model as the catalogue lists it; None for a stage it does not know."""
    try:
        return find_model((maker or "").strip(), model or "")
    except AstrelError:
        return None


class AstrelStage(AxisAttributes, Device):
    """A motorised stage on a serial port, driven through libastrel.

    State: ON at rest, MOVING while an axis moves, ALARM stopped at a travel
    limit, FAULT when the controller gives no usable reply or reports an
    error, OFF while the port is closed. Positions are in the controller's
    counts (times AxisSigns)."""

    Maker = device_property(dtype=DevString, doc="The maker: type number, name or short name "
                            "(qt, prior, suruga, sigma, hirox, cp310)")
    Model = device_property(dtype=DevString, doc="The stage model, as `astrel models MAKER` "
                            "lists it")
    Port = device_property(dtype=int, default_value=0,
                           doc="The port index, 0 to 9 (COM1 to COM10); Device overrides it")
    Device = device_property(dtype=DevString, default_value="",
                             doc="The serial device's path (for example /dev/ttyUSB0)")
    TimeOut = device_property(dtype=int, default_value=1000,
                              doc="How long (ms) to wait for a reply of the controller")
    AxisSigns = device_property(dtype=(int,), default_value=[],
                                doc="+1 or -1 for each axis, X first")
    Baud = device_property(dtype=int, doc="Line speed; unset: the controller's usual one, "
                           "as for each line setting")
    Parity = device_property(dtype=DevString, doc="none, even, odd, mark or space")
    DataBits = device_property(dtype=int, doc="7 or 8")
    StopBits = device_property(dtype=float, doc="1, 1.5 or 2")
    FlowControl = device_property(dtype=DevString, doc="none, xon-xoff, hardware or rts-cts")
    Delimiter = device_property(dtype=DevString, doc="The line end: CRLF, CR or LF")
    PositionUnit = device_property(dtype=DevString, default_value="counts",
                                   doc="The unit label of the positions")
    Trace = device_property(dtype=DevString, default_value="",
                            doc="Log the port's traffic: stderr, or a file's path")

    # ---- life -----------------------------------------------------------

    def init_device(self) -> None:
        super().init_device()
        self._stage: Optional[Stage] = None
        self._error = ""
        self._speeds: dict[int, list[int]] = {}
        self._model = _listed(self.Maker, self.Model)
        self._axes = self._model.axes if self._model else 0
        self._open()
        self._describe("Position", self._unit())
        if not Util.instance().is_svr_starting():  # Init: the model may have changed
            self._add_axis_attributes()
        self._seen: dict[str, Any] = {}
        for name in ("State", "Position"):
            self.set_change_event(name, True, False)

    def delete_device(self) -> None:
        self._close()

    def _open(self) -> None:
        self._speeds.clear()
        if self._model is None:
            self._error = (f"Opening the port failed: Maker {self.Maker!r} and Model "
                           f"{self.Model!r} name no stage the library knows (astrel makers "
                           "and astrel models MAKER list them)")
            return
        try:
            (maker, model), options = stage_arguments(self)
            self._stage = Stage(maker, model, **options)
        except AstrelError as error:
            self._error = _message("Opening the port", error)

    def _close(self) -> None:
        stage, self._stage = self._stage, None
        if stage is not None:
            stage.close()

    # ---- calls into the library -----------------------------------------

    def _call(self, what: str, action: Callable[[Stage], T]) -> T:
        """``action`` on the open stage; a failure raises DevFailed, with the
        kind of failure as its reason."""
        stage = self._stage
        if stage is None:
            self._fail("PortError", f"{what} failed: the port is closed. {self._last_error()}")
        try:
            return action(stage)
        except AstrelError as error:
            self._error = _message(what, error)
            self._fail(type(error).__name__, self._error)

    def _fail(self, reason: str, message: str) -> NoReturn:
        Except.throw_exception(reason, message.strip(), _ORIGIN)

    def _read(self, attr: Any, action: Callable[[Stage], Any]) -> None:
        """Gives ``attr`` the value of ``action`` on the open stage; no value,
        and the quality INVALID, when the stage cannot be read."""
        stage = self._stage
        if stage is not None:
            try:
                attr.set_value(action(stage))
                return
            except AstrelError as error:
                self._error = _message(f"Reading {attr.get_name()}", error)
        attr.set_quality(AttrQuality.ATTR_INVALID)

    def _last_error(self) -> str:
        return f"Last error: {self._error}" if self._error else ""

    # ---- state ----------------------------------------------------------

    def dev_state(self) -> DevState:
        state, sentence = DevState.OFF, "has its port closed"
        if self._stage is not None:
            try:
                state, sentence = condition(self._stage)
            except AstrelError as error:
                state, sentence = DevState.FAULT, f"cannot be asked: {error.reason}"
        if state != DevState.FAULT and self._error:  # a fault's sentence has its error
            sentence += f". {self._last_error()}"
        self.set_status(_latin1(f"The {self.Model} stage ({self.Maker}) on {self._where()} "
                                f"{sentence}."))
        self.set_state(state)
        return state

    def dev_status(self) -> str:
        self.dev_state()
        return self.get_status()

    def _where(self) -> str:
        if self._stage is not None:
            return self._stage.device
        return (self.Device or "").strip() or f"port index {self.Port}"

    @command(doc_in="Opens the port when it is closed")
    def On(self) -> None:
        if self._stage is None:
            self._open()
            if self._stage is None:
                self._fail("PortError", self._error)

    @command(doc_in="Closes the port (state OFF) until On or Init")
    def Off(self) -> None:
        self._close()

    # ---- attributes -----------------------------------------------------

    @attribute(dtype=DevLong, display_level=DispLevel.EXPERT, polling_period=POLL_PERIOD_MS,
               doc="The server polls this to send the change events of State and Position: "
                   "its value is how often it did")
    def Watched(self, attr: Any) -> None:
        """Reads the stage, and sends the change events of what changed. State
        and Position are not polled themselves: a client that reads them gets
        the stage's present state, never the value of an earlier poll."""
        state = self.dev_state()
        position = None
        if self._stage is not None:
            try:
                position = list(self._stage.position)
            except AstrelError as error:
                self._error = _message("Reading Position", error)
        for name, value in (("State", state), ("Position", position)):
            if self._seen.get(name, "") != value:
                self._seen[name] = value
                if value is None:
                    self.push_change_event(name, [], time.time(), AttrQuality.ATTR_INVALID)
                else:
                    self.push_change_event(name, value)
        self._seen["polls"] = self._seen.get("polls", 0) + 1
        attr.set_value(self._seen["polls"])

    @attribute(dtype=(DevLong,), max_dim_x=3, access=AttrWriteType.READ_WRITE,
               doc="The position of the model's axes (X first); writing it moves there")
    def Position(self, attr: Any) -> None:
        self._read(attr, lambda s: list(s.position))

    @Position.write
    def Position(self, values: Sequence[int]) -> None:
        xyz = self._xyz(values, "Position")
        self._call("Writing Position", lambda s: s.move_to(*xyz, wait=False))

    @attribute(dtype=DevBoolean, doc="Whether an axis moves")
    def Moving(self, attr: Any) -> None:
        self._read(attr, lambda s: s.is_moving)

    @attribute(dtype=DevBoolean, doc="Whether an axis stopped at a travel limit")
    def AtLimit(self, attr: Any) -> None:
        self._read(attr, lambda s: s.at_limit())

    # ---- commands -------------------------------------------------------

    def _xyz(self, values: Sequence[int], operation: str) -> list[int]:
        if not 1 <= len(values) <= 3:
            self._fail("BadArgument", f"{operation} failed: it takes one to three values "
                       f"(x, y, z), not {len(values)}")
        return [int(v) for v in values]

    @command(dtype_in=DevVarLongArray, doc_in="x, y, z: where to move (an axis left out stays)")
    def MoveAbsolute(self, values: Sequence[int]) -> None:
        xyz = self._xyz(values, "MoveAbsolute")
        self._call("MoveAbsolute", lambda s: s.move_to(*xyz, wait=False))

    @command(dtype_in=DevVarLongArray, doc_in="x, y, z: how far to move (an axis left out: 0)")
    def MoveRelative(self, values: Sequence[int]) -> None:
        xyz = self._xyz(values, "MoveRelative")
        self._call("MoveRelative", lambda s: s.move_by(*xyz, wait=False))

    @command(doc_in="Returns to the mechanical origin")
    def Home(self) -> None:
        self._call("Home", lambda s: s.home(wait=False))

    @command(dtype_in=DevVarShortArray,
             doc_in="x, y, z: 1 plus, -1 minus, 0 (or left out) holds; until Stop")
    def Jog(self, values: Sequence[int]) -> None:
        xyz = self._xyz(values, "Jog")
        self._call("Jog", lambda s: s.jog(*xyz))

    @command(doc_in="Stops a move or a jog, decelerating")
    def Stop(self) -> None:
        self._call("Stop", lambda s: s.stop())

    @command(doc_in="Stops at once")
    def Abort(self) -> None:
        self._call("Abort", lambda s: s.stop(now=True))

    @command(doc_in="Makes the present position the origin (0, 0, 0)")
    def SetOrigin(self) -> None:
        self._call("SetOrigin", lambda s: s.set_origin())

    @command(dtype_in=DevString, dtype_out=DevString,
             doc_in="For experts: a command line in the controller's language",
             doc_out="The reply lines; empty when none came within the time-out")
    def Raw(self, line: str) -> str:
        return "\n".join(self._call("Raw", lambda s: s.raw(line)))
