"""What ``AstrelStage`` and ``AstrelAxis`` share: the stage's properties,
opening it (shared with the other devices on its device), calls bounded in
time, State and Status, change events, and the stops."""

from __future__ import annotations

import threading
import time
from typing import Any, Callable, Hashable, NoReturn, Optional, TypeVar

from tango import AttrQuality, DevState, DispLevel, Except
from tango.server import Device, attribute, command, device_property

from ..catalogue import Model, find_model
from ..errors import AstrelError
from ..stage import Stage
from .calls import Unanswered
from .condition import condition
from .link import Link
from .properties import link_key, stage_arguments, units_arguments

T = TypeVar("T")

#: How often (ms) the server polls the stage for the change events of State and Position.
POLL_PERIOD_MS = 250
_ORIGIN = "Astrel"
# A Status longer than this is cut.
_STATUS_MOST = 2000


def latin1(text: str) -> str:
    """Text as TANGO strings carry it: Latin-1 (escapes for anything else)."""
    return text.encode("latin-1", "backslashreplace").decode("latin-1")


def message(what: str, error: AstrelError) -> str:
    """What failed, and the library's words for why (which name no maker:
    the makers' Japanese names would not survive)."""
    return latin1(f"{what} failed: {error.reason}")


def listed(maker: Optional[str], model: Optional[str]) -> Optional[Model]:
    """The model as the catalogue lists it; None for a stage it does not know."""
    try:
        return find_model((maker or "").strip(), model or "")
    except AstrelError:
        return None


class StageDevice(Device):
    """A device on a stage driven through libastrel (the base of
    ``AstrelStage`` and ``AstrelAxis``)."""

    Maker = device_property(dtype=str, doc="The maker: type number, name or short name "
                            "(qt, prior, suruga, sigma, hirox, cp310)")
    Model = device_property(dtype=str, doc="The stage model, as `astrel models MAKER` lists it")
    Port = device_property(dtype=int, default_value=0,
                           doc="The port index, 0 to 9 (COM1 to COM10); Device overrides it")
    Device = device_property(dtype=str, default_value="",
                             doc="The serial device's path (for example /dev/ttyUSB0), or "
                                 "socket://HOST:PORT; devices naming the same one share it")
    TimeOut = device_property(dtype=int, default_value=1000,
                              doc="How long (ms) to wait for a reply of the controller "
                                  "(0: the library's default, 5000)")
    AxisSigns = device_property(dtype=(int,), default_value=[],
                                doc="+1 or -1 for each axis, X first")
    Baud = device_property(dtype=int, doc="Line speed; unset: the controller's usual one, "
                           "as for each line setting")
    Parity = device_property(dtype=str, doc="none, even, odd, mark or space")
    DataBits = device_property(dtype=int, doc="7 or 8")
    StopBits = device_property(dtype=float, doc="1, 1.5 or 2")
    FlowControl = device_property(dtype=str, doc="none, xon-xoff, hardware or rts-cts")
    Delimiter = device_property(dtype=str, doc="The line end: CRLF, CR or LF")
    Trace = device_property(dtype=str, default_value="",
                            doc="Log the port's traffic: stderr, or a file's path")
    Unit = device_property(dtype=str, default_value="",
                           doc="The label of the user unit (um, deg, ...)")
    StepsPerUnit_X = device_property(dtype=float, doc="Counts per user unit of X (negative "
                                     "reverses it); unset: X is in counts")
    StepsPerUnit_Y = device_property(dtype=float, doc="Counts per user unit of Y")
    StepsPerUnit_Z = device_property(dtype=float, doc="Counts per user unit of Z")
    Offset_X = device_property(dtype=float, doc="The user position of X at count 0")
    Offset_Y = device_property(dtype=float, doc="The user position of Y at count 0")
    Offset_Z = device_property(dtype=float, doc="The user position of Z at count 0")
    SoftLimits_X = device_property(dtype=(float,), doc="Soft limits of X: low, high, in user "
                                   "units (inf: none on that side); once written, the "
                                   "memorised attribute wins")
    SoftLimits_Y = device_property(dtype=(float,), doc="Soft limits of Y: low, high")
    SoftLimits_Z = device_property(dtype=(float,), doc="Soft limits of Z: low, high")

    #: The axis whose limits decide ALARM, None for every axis a motion drove.
    _state_axis: Optional[int] = None
    #: The value of an INVALID Position in its change event.
    _NO_POSITION: Any = []

    # ---- life -----------------------------------------------------------

    def init_device(self) -> None:
        super().init_device()
        self._lock = threading.Lock()
        self._errors: dict[str, str] = {}
        self._link: Optional[Link] = None
        self._stage: Optional[Stage] = None
        self._problem = ""
        self._seen: dict[str, Any] = {}
        self._written_limits: dict[tuple[int, str], Optional[float]] = getattr(
            self, "_written_limits", {})
        self._model = listed(self.Maker, self.Model)
        self._axes = self._model.axes if self._model else 0
        self.set_status("x" * _STATUS_MOST)  # reserved once, so later texts fit in place
        self._open()
        for name in ("State", "Position"):
            self.set_change_event(name, True, False)

    def delete_device(self) -> None:
        self._close()

    def _open(self) -> None:
        self._problem = ""
        if self._model is None:
            self._problem = (f"Maker {self.Maker!r} and Model {self.Model!r} name no stage the "
                             "library knows (astrel makers and astrel models MAKER list them)")
            return
        try:
            (maker, model), options = stage_arguments(self)
            units = units_arguments(self, self._axes)
            link = Link.attach(link_key(self), maker, model, lambda: Stage(maker, model,
                                                                           **options))
            try:
                self._stage = link.view(**units)
            except BaseException:
                link.detach()
                raise
            self._link = link
        except AstrelError as error:
            self._problem = message("Opening the port", error)

    def _close(self) -> None:
        stage, link, self._stage, self._link = self._stage, self._link, None, None
        if stage is not None:
            stage.close()
        if link is not None:
            link.detach()

    # ---- calls into the library -----------------------------------------

    def _fail(self, reason: str, text: str) -> NoReturn:
        Except.throw_exception(reason, latin1(text.strip()), _ORIGIN)

    def _live(self, what: str) -> tuple[Stage, Link]:
        stage, link = self._stage, self._link
        if stage is None or link is None:
            self._fail("PortError", f"{what} failed: the port is closed. "
                       f"{self._problem or self._last_error()}")
        return stage, link

    def _noted(self, what: str, error: Optional[AstrelError]) -> None:
        """Keeps the last failure of each operation until it next succeeds."""
        with self._lock:
            self._errors.pop(what, None)
            if error is not None:
                self._errors[what] = message(what, error)

    def _last_error(self) -> str:
        with self._lock:
            last = list(self._errors.values())[-1:] or [""]
        return f"Last error: {last[0]}" if last[0] else ""

    def _call(self, what: str, action: Callable[[Stage], T], at_once: bool = False) -> T:
        """``action`` on the stage, in turn with the other calls and bounded
        in time (``at_once``: from this thread); a failure raises DevFailed
        with the kind of failure as its reason."""
        stage, link = self._live(what)
        try:
            result = action(stage) if at_once else link.calls.command(lambda: action(stage))
        except AstrelError as error:
            self._noted(what, error)
            self._fail(type(error).__name__, message(what, error))
        self._noted(what, None)
        return result

    def _read(self, attr: Any, key: Hashable, action: Callable[[Stage], Any],
              shown: Callable[[Any], Any] = lambda value: value) -> None:
        """Gives ``attr`` the value of ``action`` (read once for the readers
        of ``key`` that wait together); no value, and the quality INVALID,
        when the stage cannot be read."""
        what = f"Reading {attr.get_name()}"
        if self._stage is not None and self._link is not None:
            stage = self._stage
            try:
                attr.set_value(shown(self._link.calls.read(key, lambda: action(stage))))
                self._noted(what, None)
                return
            except AstrelError as error:
                self._noted(what, error)
        attr.set_quality(AttrQuality.ATTR_INVALID)

    # ---- state ----------------------------------------------------------

    def _condition(self, direct: bool = False) -> tuple[DevState, str]:
        """The state and the sentence on it; ``direct`` in the stage's own thread."""
        if self._problem:
            return DevState.FAULT, f"cannot be used: {self._problem}"
        stage, link = self._stage, self._link
        if stage is None or link is None:
            return DevState.OFF, "has its port closed"
        try:
            asked = lambda: condition(stage, self._state_axis)  # noqa: E731
            return asked() if direct else link.calls.read(("condition", self._state_axis),
                                                          asked)
        except AstrelError as error:
            return DevState.FAULT, f"cannot be asked: {error.reason}"

    def _show(self, state: DevState, sentence: str) -> DevState:
        if state != DevState.FAULT and self._last_error():
            sentence += f". {self._last_error()}"
        text = latin1(f"The {self._subject()} on {self._where()} {sentence}.")[:_STATUS_MOST]
        with self._lock:
            self.set_status(text)
            self.set_state(state)
        return state

    def _subject(self) -> str:
        return f"{self.Model} stage ({self.Maker})"

    def _where(self) -> str:
        if self._stage is not None:
            return self._stage.device
        return (self.Device or "").strip() or f"port index {self.Port}"

    def dev_state(self) -> DevState:
        return self._show(*self._condition())

    def dev_status(self) -> str:
        self.dev_state()
        with self._lock:
            return self.get_status()

    # ---- change events --------------------------------------------------

    @attribute(dtype=int, display_level=DispLevel.EXPERT, polling_period=POLL_PERIOD_MS,
               doc="The server polls this to send the change events of State and Position: "
                   "its value is how often it did")
    def Watched(self, attr: Any) -> None:
        """Asks the stage's thread to read the stage and send the change
        events of what changed; returns at once, so that a silent controller
        holds no polling thread. State and Position are not polled
        themselves: a client that reads them gets the stage's present state."""
        link = self._link
        try:
            if link is None:
                raise Unanswered("the port is closed")
            link.calls.post(("watch", self.get_name()), self._watch)
        except Unanswered:  # closed, or closing: the state is known without asking
            self._push("State", self._show(*self._condition()))
        self._seen["polls"] = self._seen.get("polls", 0) + 1
        attr.set_value(self._seen["polls"])

    def _watch(self) -> None:
        self._push("State", self._show(*self._condition(direct=True)))
        stage = self._stage
        try:
            position = self._position_value(stage) if stage is not None else None
        except AstrelError as error:
            self._noted("Reading Position", error)
            position = None
        self._push("Position", position)

    def _position_value(self, stage: Stage) -> Any:
        raise NotImplementedError

    def _push(self, name: str, value: Any) -> None:
        if self._seen.get(name, "") == value:
            return
        self._seen[name] = value
        if value is None:
            self.push_change_event(name, self._NO_POSITION, time.time(),
                                   AttrQuality.ATTR_INVALID)
        else:
            self.push_change_event(name, value)

    # ---- commands -------------------------------------------------------

    def _stop(self, what: str, now: bool) -> None:
        """Sends the stop at once, from this thread (the library cuts a call
        waiting for the controller short); commands queued behind are dropped."""
        self._live(what)[1].calls.drop_commands()
        self._call(what, lambda s: s.stop(now=now), at_once=True)

    @command(doc_in="Stops the stage, every axis, decelerating")
    def Stop(self) -> None:
        self._stop("Stop", now=False)

    @command(doc_in="Stops the stage, every axis, at once")
    def Abort(self) -> None:
        self._stop("Abort", now=True)

    @command(doc_in="Opens the port when it is closed")
    def On(self) -> None:
        if self._stage is None:
            self._open()
            if self._stage is None:
                self._fail("PortError", f"Opening the port failed: {self._problem}")

    @command(doc_in="Closes this device's use of the port (state OFF) until On or Init; "
                    "the port closes when no device of this server uses it")
    def Off(self) -> None:
        self._close()
        self._problem = ""
