"""``Stage``: one stage opened through the library, for scripts."""

from __future__ import annotations

import ctypes
import os
import threading
import time
from types import TracebackType
from typing import Callable, Iterator, NoReturn, Optional, Sequence, Type, Union

from . import lib
from .catalogue import Maker, MakerChoice, find_maker, find_model
from .errors import (AstrelError, AtLimit, BadArgument, ControllerError, NoReply, PortError,
                     Timeout)
from .lib import ErrorCode
from .line import communication_param
from .state import AXIS_NAMES, Position, Status, position_of

#: An axis by index (0 X, 1 Y, 2 Z) or by name ("x", "y", "z").
Axis = Union[int, str]

_CLASSES: dict[int, Type[AstrelError]] = {
    ErrorCode.NO_REPLY: NoReply,
    ErrorCode.BAD_REPLY: NoReply,
    ErrorCode.INTERRUPTED: NoReply,
    ErrorCode.REFUSED: ControllerError,
    ErrorCode.WRITE_FAILED: PortError,
    ErrorCode.NOT_OPEN: PortError,
    ErrorCode.OPEN_FAILED: PortError,
    ErrorCode.HANG_UP: PortError,
    ErrorCode.UNKNOWN_MODEL: BadArgument,
    ErrorCode.BAD_ARGUMENT: BadArgument,
}
# A raw reply: the lines read at most, and the bytes of one line.
_MAX_REPLY_LINES = 100
_REPLY_BYTES = 256
# The library reads the port's device variable (and the trace's) when a port
# opens: one opening at a time sets them.
_opening = threading.Lock()


def _environment_set(values: dict[str, Optional[str]]) -> dict[str, Optional[str]]:
    """Sets (or, for None, removes) variables; returns what they were."""
    before = {name: os.environ.get(name) for name in values}
    for name, value in values.items():
        if value is None:
            os.environ.pop(name, None)
        else:
            os.environ[name] = value
    return before


class Stage:
    """A motorised stage on a serial port.

    ``maker`` is a type number, a name or a short name (see ``astrel.makers()``),
    ``model`` a model name (see ``astrel.models(maker)``). The stage is on
    port index ``port`` (0 is COM1: the device the variable ``ASTREL_COM1``
    names, else ``/dev/ttyS0``), or on ``device`` when given.

    The line settings (``baud``, ``parity``, ``data_bits``, ``stop_bits``,
    ``flow``, ``delimiter``) default to the controller's usual ones;
    ``timeout`` is the reply time-out in seconds, ``signs`` the sign (+1 or -1)
    of each axis, and ``trace`` logs the traffic (True: on standard error, or a
    file's path). ``wait_timeout`` is how long (seconds) a move waits when
    given no time-out.

    Positions and distances are in the controller's counts. A failure raises
    an ``AstrelError``. Use the stage in a ``with`` block, or ``close()`` it::

        with Stage("prior", "ProScan", device="/dev/ttyUSB0") as stage:
            stage.move_to(1000, -500)
            print(stage.position)
    """

    def __init__(
        self,
        maker: MakerChoice,
        model: str,
        port: int = 0,
        device: Optional[str] = None,
        *,
        baud: Optional[int] = None,
        parity: Optional[str] = None,
        data_bits: Optional[int] = None,
        stop_bits: Optional[float] = None,
        flow: Optional[str] = None,
        delimiter: Optional[str] = None,
        timeout: float = 5.0,
        signs: Sequence[int] = (1, 1, 1),
        trace: Union[bool, str] = False,
        wait_timeout: float = 60.0,
    ) -> None:
        self._handle = -1
        self.maker: Maker = find_maker(maker)
        self.model = model
        self.port = port
        self.wait_timeout = wait_timeout
        variable = f"ASTREL_COM{port + 1}"
        self.device = device or os.environ.get(variable) or f"/dev/ttyS{port}"
        listed = find_model(self.maker.type, model)
        #: The axes the model has (1 to 3), as the catalogue lists it.
        self.axes: int = listed.axes if listed is not None else 3
        param = communication_param(port, baud, parity, data_bits, stop_bits, flow, delimiter,
                                    timeout)
        if len(signs) > 3 or any(s not in (1, -1) for s in signs):
            raise BadArgument(f"signs {tuple(signs)!r} are not up to three of +1 and -1",
                              operation="Stage")
        handle = lib.Astrel()
        if handle == lib.NO_HANDLE:
            raise PortError("the library has no free stage handle (ten are open)",
                            operation="Stage", maker=self.maker.label, model=model)
        self._handle = handle
        try:
            self._open(param, variable if device else None, trace, signs)
        except BaseException:
            lib.ReleaseAstrel(handle)
            self._handle = -1
            raise

    def _open(self, param: lib.CommunicationParam, variable: Optional[str],
              trace: Union[bool, str], signs: Sequence[int]) -> None:
        h = self._handle
        lib.SetUseMakerType(h, self.maker.type)
        lib.SetUseStageName(h, self.model.encode("cp932"))
        lib.SetCommunicationParam(h, ctypes.byref(param))
        for axis, sign in enumerate(signs):
            lib.SetAxisSign(h, axis, sign)
        wanted: dict[str, Optional[str]] = {}
        if variable:
            wanted[variable] = self.device
        if trace:
            wanted["ASTREL_TRACE"] = "stderr" if trace is True else str(trace)
        with _opening:
            before = _environment_set(wanted)
            try:
                opened = lib.OpenComPort(h)
            finally:
                _environment_set(before)
        self._check(opened, "open")

    # ---- lifetime -------------------------------------------------------

    @property
    def handle(self) -> int:
        """The library's handle of this stage (for ``astrel.lib``); -1 once closed."""
        return self._handle

    @property
    def closed(self) -> bool:
        """Whether ``close()`` has released the stage."""
        return self._handle < 0

    def close(self) -> None:
        """Closes the port and releases the handle; a second call does nothing."""
        handle, self._handle = self._handle, -1
        if handle >= 0:
            lib.CloseComPort(handle)
            lib.ReleaseAstrel(handle)

    def __enter__(self) -> "Stage":
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 trace: Optional[TracebackType]) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:  # the interpreter may be shutting down
            pass

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"handle {self._handle}"
        return f"<Stage {self.maker.label} {self.model} on {self.device}, {state}>"

    # ---- failures -------------------------------------------------------

    def _fail(self, operation: str, kind: Optional[Type[AstrelError]] = None,
              reason: Optional[str] = None) -> NoReturn:
        """Raises the failure of ``operation``: by default the class and the
        message of the library's last error on this thread."""
        code: Optional[int] = None
        if reason is None:
            code, reason = lib.last_error()
            kind = kind or _CLASSES.get(code, AstrelError)
        where = f"{self.maker.label} {self.model} at {self.device}"
        raise (kind or AstrelError)(f"{operation} on {where}: {reason}", code=code,
                                    operation=operation, port=self.device,
                                    maker=self.maker.label, model=self.model, reason=reason)

    def _check(self, result: int, operation: str) -> None:
        if result == 1:
            return
        if result == 0:
            self._fail(operation)
        self._fail(operation, ControllerError, f"the controller's driver answered {result}")

    def _live(self, operation: str) -> int:
        if self._handle < 0:
            self._fail(operation, PortError, "the stage is closed")
        return self._handle

    def _axis(self, axis: Axis, operation: str) -> int:
        index = axis
        if isinstance(axis, str) and axis.lower() in AXIS_NAMES:
            index = AXIS_NAMES.index(axis.lower())
        if not isinstance(index, int) or not 0 <= index < self.axes:
            self._fail(operation, BadArgument,
                       f"axis {axis!r} is not one of the model's {AXIS_NAMES[:self.axes]}")
        return index

    def _xyz(self, values: Sequence[Optional[int]], operation: str,
             missing: Callable[[], Sequence[int]]) -> list[int]:
        """Three values for the C call: None takes the value of ``missing()``
        on the model's axes, and the axes the model lacks take 0."""
        for axis in range(self.axes, 3):
            if values[axis] not in (None, 0):
                self._fail(operation, BadArgument, f"the model has no {AXIS_NAMES[axis]} axis")
        fill: Sequence[int] = ()
        if any(v is None for v in values[:self.axes]):
            fill = missing()
        xyz = []
        for axis, value in enumerate(values):
            xyz.append(0 if axis >= self.axes else fill[axis] if value is None else int(value))
        return xyz

    # ---- reading state --------------------------------------------------

    def _position(self, operation: str) -> Position:
        x, y, z = ctypes.c_int32(), ctypes.c_int32(), ctypes.c_int32()
        handle = self._live(operation)
        self._check(lib.GetStagePosition(handle, ctypes.byref(x), ctypes.byref(y),
                                         ctypes.byref(z)), operation)
        return position_of((x.value, y.value, z.value), self.axes)

    @property
    def position(self) -> Position:
        """The position, with only the model's axes: ``PositionXY(x=100, y=-50)``."""
        return self._position("position")

    @property
    def status(self) -> Status:
        """The status (``Status.AT_REST``, ``Status.MOVING``, ...); a controller
        that gives no usable reply is ``Status.NO_REPLY``."""
        return Status(lib.GetStageStatus(self._live("status")))

    @property
    def is_moving(self) -> bool:
        """Whether an axis moves; raises when the controller could not be asked."""
        running = ctypes.c_int32(0)
        self._check(lib.IsStageRunningEx(self._live("is_moving"), ctypes.byref(running)),
                    "is_moving")
        return running.value != 0

    def at_limit(self, axis: Optional[Axis] = None) -> bool:
        """Whether the axis (any axis when None) stopped at a travel limit."""
        index = lib.ANY_AXIS if axis is None else self._axis(axis, "at_limit")
        # The library keeps its last error when a 0 is an answer: mark it first
        # (with a call that fails at once), so that a failed exchange shows.
        lib.IsStopByLimit(-1, 0)
        marker = lib.last_error()
        result: int = lib.IsStopByLimit(self._live("at_limit"), index)
        if result == 0 and lib.last_error() != marker:
            self._fail("at_limit")
        return result != 0

    # ---- motion ---------------------------------------------------------

    def move_to(self, x: Optional[int] = None, y: Optional[int] = None,
                z: Optional[int] = None, *, wait: bool = True,
                timeout: Optional[float] = None) -> Optional[Position]:
        """Moves to the position x, y, z (an axis given None stays where it
        is). With ``wait`` (the default), waits until the stage is at rest and
        returns its position; raises ``Timeout`` (after a stop) when it still
        moves after ``timeout`` seconds (default ``wait_timeout``), ``AtLimit``
        when it stopped at a limit."""
        target = self._xyz((x, y, z), "move_to", lambda: self._position("move_to"))
        self._check(lib.MoveABS(self._live("move_to"), *target), "move_to")
        return self._wait("move_to", timeout) if wait else None

    def move_by(self, x: Optional[int] = None, y: Optional[int] = None,
                z: Optional[int] = None, *, wait: bool = True,
                timeout: Optional[float] = None) -> Optional[Position]:
        """Moves by the distances x, y, z (None: 0); waits as ``move_to`` does."""
        distance = self._xyz((x, y, z), "move_by", lambda: (0, 0, 0))
        self._check(lib.MoveREL(self._live("move_by"), *distance), "move_by")
        return self._wait("move_by", timeout) if wait else None

    def home(self, *, wait: bool = True, timeout: Optional[float] = None) -> Optional[Position]:
        """Returns to the mechanical origin; waits as ``move_to`` does."""
        self._check(lib.MoveOriginPosition(self._live("home")), "home")
        return self._wait("home", timeout) if wait else None

    def jog(self, x: int = 0, y: int = 0, z: int = 0) -> None:
        """Jogs each axis: 1 to plus, -1 to minus, 0 holds it, until ``stop()``."""
        directions = self._xyz((x, y, z), "jog", lambda: (0, 0, 0))
        if any(d not in (-1, 0, 1) for d in directions):
            self._fail("jog", BadArgument, f"directions {x, y, z} are not -1, 0 or 1")
        self._check(lib.MoveJOG(self._live("jog"), *directions), "jog")

    def stop(self, now: bool = False) -> None:
        """Stops a move or a jog: decelerating, or at once with ``now=True``.
        Safe from another thread while this one waits."""
        handle = self._live("stop")
        self._check(lib.StopNow(handle) if now else lib.StopMove(handle), "stop")

    def set_origin(self) -> None:
        """Makes the present position the origin (0, 0, 0)."""
        self._check(lib.SetOriginNowPos(self._live("set_origin")), "set_origin")

    def set_speeds(self, axis: Axis, start: int, max: int, accel: int) -> None:
        """Sets an axis's start and maximum speed and its acceleration time, in
        the units ``astrel.models(maker)`` lists."""
        index = self._axis(axis, "set_speeds")
        self._check(lib.SetMoveSpeeds(self._live("set_speeds"), index, start, max, accel),
                    "set_speeds")

    def raw(self, command: str, reply: bool = True) -> list[str]:
        """For experts: writes ``command`` with the line end and, with
        ``reply``, returns the lines the controller answers (none when no line
        came within the reply time-out). The library does not know what the
        command did: the stage's state is the controller's business."""
        handle = self._live("raw")
        self._check(lib.SendStageData(handle, command.encode("cp932")), "raw")
        lines: list[str] = []
        status = ctypes.c_int32(2)
        while reply and status.value == 2 and len(lines) < _MAX_REPLY_LINES:
            buffer = ctypes.create_string_buffer(_REPLY_BYTES)
            if lib.ReceiveStageData(handle, buffer, _REPLY_BYTES, ctypes.byref(status)) != 1:
                if status.value != 1:  # not a time-out: the port failed
                    self._fail("raw")
                break
            lines.append(buffer.value.decode("cp932", errors="replace"))
        return lines

    # ---- waiting --------------------------------------------------------

    def wait_until_idle(self, timeout: Optional[float] = None, poll_interval: float = 0.05,
                        callback: Optional[Callable[[Position], None]] = None) -> Position:
        """Polls every ``poll_interval`` seconds (sleeping in between) until
        the stage is at rest, and returns its position. ``callback`` receives
        each position polled, for a progress bar or a plot. Raises
        ``Timeout`` when the stage still moves after ``timeout`` seconds
        (default ``wait_timeout``; the stage is not stopped), ``AtLimit`` when
        it stopped at a limit, ``ControllerError`` when its controller reports
        an error, ``NoReply`` when it gives no usable reply."""
        return self._wait("wait_until_idle", timeout, poll_interval, callback, stop=False)

    def _polls(self, operation: str, timeout: float,
               poll_interval: float) -> Iterator[Status]:
        deadline = time.monotonic() + timeout
        while True:
            status = self.status
            if status is Status.NO_REPLY:
                self._fail(operation)
            yield status
            left = deadline - time.monotonic()
            if left <= 0:
                return
            time.sleep(min(max(poll_interval, 0.001), left))

    def _wait(self, operation: str, timeout: Optional[float], poll_interval: float = 0.05,
              callback: Optional[Callable[[Position], None]] = None,
              stop: bool = True) -> Position:
        limit = self.wait_timeout if timeout is None else timeout
        status, position = Status.MOVING, None
        try:
            for status in self._polls(operation, limit, poll_interval):
                position = self._position(operation)
                if callback is not None:
                    callback(position)
                if status is not Status.MOVING:
                    break
        except KeyboardInterrupt:
            if stop:
                lib.StopMove(self._handle)
            raise
        if status is Status.MOVING:
            sent = stop and lib.StopMove(self._handle) == 1
            self._fail(operation, Timeout, f"still moving after {limit:g} s, at {position}"
                       + ("; a stop was sent" if sent else ""))
        if status is Status.AT_LIMIT or (status is Status.AT_REST and self.at_limit()):
            self._fail(operation, AtLimit, f"the stage stopped at a limit, at {position}")
        if status is Status.ERROR:
            self._fail(operation, ControllerError,
                       "the controller reports an error or a state the driver does not know")
        assert position is not None
        return position
