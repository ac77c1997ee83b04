"""``Stage``: one stage opened through the library, for scripts."""

from __future__ import annotations

import ctypes
from types import TracebackType
from typing import Any, Callable, Mapping, Optional, Sequence, Type, Union

from . import lib, waiting
from .catalogue import Maker, MakerChoice, find_maker, find_model
from .errors import BadArgument, PortError
from .ledger import HOMING, JOGGING
from .line import communication_param
from .opened import Opened
from .state import AXIS_NAMES, Position, Status, position_of
from .units import UnitSetting, Units
from .values import integral, within

#: An axis by index (0 X, 1 Y, 2 Z) or by name ("x", "y", "z").
Axis = Union[int, str]
#: A position or distance in user units (counts on an axis without units).
Value = Union[int, float]

# A raw reply: the lines read at most, and the bytes of one line.
_MAX_REPLY_LINES = 100
_REPLY_BYTES = 256


class _Here:
    """The stage's position in counts, read once, when first asked for."""

    def __init__(self, stage: "Stage", operation: str) -> None:
        self._stage, self._operation = stage, operation
        self._counts: Optional[tuple[int, ...]] = None

    def __call__(self) -> tuple[int, ...]:
        if self._counts is None:
            self._counts = self._stage._read_counts(self._operation)
        return self._counts


class Stage:
    """A motorised stage on a serial port.

    ``maker`` is a type number, a name or a short name (see ``astrel.makers()``),
    ``model`` a model name (see ``astrel.models(maker)``). The stage is on
    port index ``port`` (0 is COM1: the device the variable ``ASTREL_COM1``
    names, else ``/dev/ttyS0``), or on ``device`` when given (a path, or
    ``socket://HOST:PORT``).

    The line settings (``baud``, ``parity``, ``data_bits``, ``stop_bits``,
    ``flow``, ``delimiter``) default to the controller's usual ones;
    ``timeout`` is the reply time-out in seconds (0: the library's default),
    ``signs`` the sign (+1 or -1) of each axis at the library, and ``trace``
    logs the traffic (True: on standard error, or a file's path).
    ``wait_timeout`` is how long (seconds) a move waits when given no time-out.

    User units, per axis (keyed "x", "y", "z"): ``scale`` in counts per unit
    (negative reverses the axis), ``offset`` (user = counts / scale +
    offset), ``unit`` the label, ``limits`` soft limits (low, high) in user
    units, checked before anything moves. An axis with neither scale nor
    offset is in the controller's counts. All can be changed later
    (``stage.scale["x"] = 10.0``).

    A failure raises an ``AstrelError``. Use the stage in a ``with`` block,
    or ``close()`` it::

        with Stage("prior", "ProScan", device="/dev/ttyUSB0",
                   scale={"x": 10, "y": 10}, unit="um", limits={"x": (-500, 500)}) as stage:
            stage.move_to(100.5, -50)
            print(stage.position, stage.counts)
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
        scale: Optional[Mapping[Any, Any]] = None,
        offset: Optional[Mapping[Any, Any]] = None,
        unit: str = "",
        limits: Optional[Mapping[Any, Any]] = None,
    ) -> None:
        chosen: Maker = find_maker(maker)
        listed = find_model(chosen.type, model)
        axes = listed.axes if listed is not None else 3
        self._units = Units(axes, unit, scale, offset, limits)
        param = communication_param(port, baud, parity, data_bits, stop_bits, flow, delimiter,
                                    timeout)
        if len(signs) > 3 or any(s not in (1, -1) for s in signs):
            raise BadArgument(f"signs {tuple(signs)!r} are not up to three of +1 and -1",
                              operation="Stage")
        self._bind(Opened(chosen, model, axes, param, device, signs, trace), wait_timeout)

    def _bind(self, opened: Opened, wait_timeout: float) -> None:
        self._opened, self.wait_timeout, self._closed = opened, wait_timeout, False
        #: The maker, the model and its axes (1 to 3, as the catalogue lists
        #: them), the port index and the device the port opens (GetPortDevice).
        self.maker, self.model, self.axes = opened.maker, opened.model, opened.axes
        self.port, self.device = opened.port, opened.device

    def view(self, *, scale: Optional[Mapping[Any, Any]] = None,
             offset: Optional[Mapping[Any, Any]] = None, unit: str = "",
             limits: Optional[Mapping[Any, Any]] = None) -> "Stage":
        """Another ``Stage`` on the same handle, with user units of its own:
        both send one motion at a time and keep each other's targets. The
        handle is released when the last of them is closed."""
        other = Stage.__new__(Stage)
        other._units = Units(self.axes, unit, scale, offset, limits)
        other._bind(self._opened.share(), self.wait_timeout)
        return other

    # ---- what it is -----------------------------------------------------

    @property
    def handle(self) -> int:
        """The library's handle of this stage (for ``astrel.lib``); -1 once closed."""
        return -1 if self._closed else self._opened.handle

    @property
    def closed(self) -> bool:
        """Whether ``close()`` has released the stage."""
        return self.handle < 0

    # ---- user units -----------------------------------------------------

    @property
    def unit(self) -> str:
        """The label of the user unit ("um", "deg"; "" for none)."""
        return self._units.unit

    @unit.setter
    def unit(self, unit: str) -> None:
        self._units.unit = str(unit)

    #: Counts per user unit, per axis: ``stage.scale["x"] = 10.0``.
    scale = UnitSetting()
    #: The user value at count 0, per axis.
    offset = UnitSetting()
    #: Soft limits (low, high) per axis, in user units; None for an open side.
    limits = UnitSetting()

    # ---- lifetime -------------------------------------------------------

    def close(self) -> None:
        """Closes the port and releases the handle (once every view of it is
        closed); a second call does nothing."""
        if not getattr(self, "_closed", True):
            self._closed = True
            self._opened.release()

    def reopen(self) -> None:
        """Closes the port and opens it again (after a hang-up, or a
        controller switched off and on)."""
        handle = self._live("reopen")
        lib.CloseComPort(handle)
        self._opened.ledger.stopped()
        self._opened.open("reopen")

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
        state = "closed" if self.closed else f"handle {self.handle}"
        return f"<Stage {self.maker.label} {self.model} on {self.device}, {state}>"

    # ---- calls ----------------------------------------------------------

    def _live(self, operation: str) -> int:
        if self._closed:
            self._opened.fail(operation, PortError, "the stage is closed")
        return self._opened.live(operation)

    def _call(self, operation: str, call: Callable[[int], int]) -> None:
        self._opened.check(call(self._live(operation)), operation)

    def _axis(self, axis: Axis, operation: str) -> int:
        index = AXIS_NAMES.index(axis.lower()) if isinstance(axis, str) and \
            axis.lower() in AXIS_NAMES else axis
        if isinstance(index, bool) or not isinstance(index, int) or not 0 <= index < self.axes:
            raise BadArgument(f"{operation}: axis {axis!r} is not one of the model's "
                              f"{', '.join(AXIS_NAMES[:self.axes])}", operation=operation)
        return index

    def _named(self, values: Sequence[Any], operation: str) -> dict[int, Any]:
        """The axes given a value (not None); BadArgument for an axis the model lacks."""
        named = {axis: v for axis, v in enumerate(values) if v is not None}
        for axis in named:
            if axis >= self.axes:
                raise BadArgument(f"{operation}: the model has no {AXIS_NAMES[axis]} axis",
                                  operation=operation)
        return named

    # ---- reading state --------------------------------------------------

    def _read_counts(self, operation: str) -> tuple[int, ...]:
        x, y, z = ctypes.c_int32(), ctypes.c_int32(), ctypes.c_int32()
        self._call(operation, lambda h: lib.GetStagePosition(h, ctypes.byref(x), ctypes.byref(y),
                                                             ctypes.byref(z)))
        counts = (x.value, y.value, z.value)[:self.axes]
        self._opened.ledger.seen(counts)
        return counts

    @property
    def counts(self) -> Position:
        """The position in the controller's counts (times the axis signs)."""
        return position_of(self._read_counts("counts"), self.axes)

    @property
    def position(self) -> Position:
        """The position in user units, the model's axes only:
        ``PositionXY(x=100.5, y=-50.0)`` (counts, as whole numbers, on axes
        without units)."""
        return self.in_units(self._read_counts("position"))

    def in_units(self, counts: Sequence[int]) -> Position:
        """A position in counts (as ``counts`` gives it) in user units."""
        return position_of([self._units.user(a, c) for a, c in enumerate(counts)], self.axes)

    def speed_in_units(self, axis: Axis, counts_per_second: float) -> float:
        """A speed in counts per second, in user units per second."""
        return self._units.speed(self._axis(axis, "speed_in_units"), counts_per_second)

    def speed_in_counts(self, axis: Axis, speed: Value) -> int:
        """A speed in user units per second, in whole counts per second."""
        return self._units.speed_counts(self._axis(axis, "speed_in_counts"), speed,
                                        "speed_in_counts")

    @property
    def status(self) -> Status:
        """The status (``Status.AT_REST``, ``Status.MOVING``, ...); a controller
        that gives no usable reply is ``Status.NO_REPLY``. With several axes
        the controller's own order decides: ask ``is_moving`` whether the
        stage moves."""
        return Status(lib.GetStageStatus(self._live("status")))

    def _running(self, operation: str) -> bool:
        ledger = self._opened.ledger
        before = ledger.commands()
        running = ctypes.c_int32(0)
        self._call(operation, lambda h: lib.IsStageRunningEx(h, ctypes.byref(running)))
        if not running.value:
            ledger.at_rest(before)
        return running.value != 0

    @property
    def is_moving(self) -> bool:
        """Whether any axis moves; raises when the controller could not be asked."""
        return self._running("is_moving")

    def at_limit(self, axis: Optional[Axis] = None) -> bool:
        """Whether the axis (any axis when None) is stopped at a travel limit."""
        index = lib.ANY_AXIS if axis is None else self._axis(axis, "at_limit")
        flag = ctypes.c_int32(0)
        self._call("at_limit", lambda h: lib.IsStopByLimitEx(h, index, ctypes.byref(flag)))
        return flag.value != 0

    def stopped_at_limit(self) -> bool:
        """Whether an axis the last motion drove is stopped at a travel limit
        (an axis resting on a switch that no motion since drove does not count)."""
        return any(self.at_limit(axis) for axis in sorted(self._opened.ledger.driven()))

    def last_direction(self, axis: Axis) -> int:
        """The way this process last drove the axis, in counts: +1, -1, or 0 for never."""
        return self._opened.ledger.direction(self._axis(axis, "last_direction"))

    # ---- motion ---------------------------------------------------------

    def _send(self, operation: str, call: Callable[[int], int], activities: dict[int, Any],
              directions: Optional[dict[int, int]] = None) -> int:
        """Writes a motion command and notes it in the ledger; gives the
        stop count before it, for the wait."""
        stops = self._opened.ledger.stops()
        self._opened.gate()
        self._call(operation, call)
        self._opened.ledger.commanded(activities, directions or {})
        return stops

    def _complete(self, operation: str, targets: dict[int, int], here: _Here) -> list[int]:
        """The three targets of an absolute move: the named ones, and for the
        others their last commanded target while the stage moves, else their
        position. An axis that jogs or homes has no target to send: refused."""
        activity = self._opened.ledger.activity()
        others = [a for a in range(self.axes) if a not in targets]
        if any(activity[a] is not None for a in others) and not self._running(operation):
            activity = [None] * self.axes
        full = []
        for axis in range(3):
            if axis in targets or axis >= self.axes:
                full.append(targets.get(axis, 0))
            elif isinstance(activity[axis], str):
                raise BadArgument(
                    f"{operation}: {AXIS_NAMES[axis]} is {activity[axis]} and has no target to "
                    "keep (every move names all axes to the controller): wait for it or stop "
                    "it first", operation=operation)
            else:
                full.append(activity[axis] if activity[axis] is not None else here()[axis])
        return full

    def _move(self, operation: str, targets: dict[int, int], here: _Here, wait_: bool,
              timeout: Optional[float]) -> Optional[Position]:
        for axis, counts in targets.items():
            self._units.check_target(axis, counts, lambda a=axis: here()[a], operation)
        full = self._complete(operation, targets, here)
        stops = self._send(operation, lambda h: lib.MoveABS(h, *full), dict(targets))
        return waiting.wait(self, operation, timeout, set(targets), stops) if wait_ else None

    def move_to(self, x: Optional[Value] = None, y: Optional[Value] = None,
                z: Optional[Value] = None, *, wait: bool = True,
                timeout: Optional[float] = None) -> Optional[Position]:
        """Moves to the position x, y, z in user units (an axis given None
        keeps its target, or stays where it is). With ``wait`` (the default),
        waits until every axis is at rest and returns the position; raises
        ``Timeout`` (after a stop) when it still moves after ``timeout``
        seconds (default ``wait_timeout``), ``AtLimit`` when a named axis
        stopped at a limit, ``Interrupted`` when a stop ended it. A target
        outside the soft limits raises ``BadArgument`` and sends nothing."""
        named = self._named((x, y, z), "move_to")
        targets = {a: self._units.counts(a, v, f"{AXIS_NAMES[a]} target", "move_to")
                   for a, v in named.items()}
        return self._move("move_to", targets, _Here(self, "move_to"), wait, timeout)

    def move_by(self, x: Optional[Value] = None, y: Optional[Value] = None,
                z: Optional[Value] = None, *, wait: bool = True,
                timeout: Optional[float] = None) -> Optional[Position]:
        """Moves by the distances x, y, z in user units (None or 0: the axis
        keeps its target), from the axis's target while it moves toward one,
        else from its position; waits as ``move_to`` does."""
        named = {a: d for a, d in self._named((x, y, z), "move_by").items()}
        distances = {a: self._units.distance(a, d, f"{AXIS_NAMES[a]} distance", "move_by")
                     for a, d in named.items()}
        distances = {a: d for a, d in distances.items() if d != 0}
        here = _Here(self, "move_by")
        activity = self._opened.ledger.activity()
        if any(isinstance(activity[a], int) for a in distances) and not self._running("move_by"):
            activity = [None] * self.axes
        targets = {}
        for axis, distance in distances.items():
            if isinstance(activity[axis], str):
                raise BadArgument(f"move_by: {AXIS_NAMES[axis]} is {activity[axis]}: wait for "
                                  "it or stop it first", operation="move_by")
            base = activity[axis] if isinstance(activity[axis], int) else here()[axis]
            targets[axis] = within(base + distance, f"{AXIS_NAMES[axis]} target", "move_by")
        return self._move("move_by", targets, here, wait, timeout)

    def home(self, *, wait: bool = True, timeout: Optional[float] = None) -> Optional[Position]:
        """Returns to the mechanical origin; waits as ``move_to`` does. An
        origin outside an axis's soft limits is refused before anything moves."""
        self._units.check_origin(self.axes, "home")
        axes = range(self.axes)
        stops = self._send("home", lib.MoveOriginPosition, {a: HOMING for a in axes})
        return waiting.wait(self, "home", timeout, set(axes), stops) if wait else None

    def jog(self, x: Optional[int] = None, y: Optional[int] = None,
            z: Optional[int] = None) -> None:
        """Jogs each axis named: 1 to plus, -1 to minus (in user units, on
        every maker), 0 holds it, until ``stop()``. An axis with a soft limit
        on its side runs to that limit instead. Axes not named keep moving:
        the controller's jog holds every axis it is not given, so a jog while
        another axis moves by command is refused."""
        directions = {a: integral(d, f"{AXIS_NAMES[a]} direction", "jog", (-1, 1))
                      for a, d in self._named((x, y, z), "jog").items()}
        runs = {a: d for a, d in directions.items() if d}
        to_limits = {a: self._units.jog_limit(a, d) for a, d in runs.items()}
        if any(v is not None for v in to_limits.values()):
            self._jog_to_limits(directions, to_limits)
            return
        others = [a for a in range(self.axes) if a not in directions]
        activity = self._opened.ledger.activity()
        if any(activity[a] is not None for a in others) and self._running("jog"):
            moving = ", ".join(AXIS_NAMES[a] for a in others if activity[a] is not None)
            raise BadArgument(f"jog: {moving} moving by command; the controller's jog holds "
                              "every axis it is not given: stop it first, or name it",
                              operation="jog")
        ways = {a: d * self._units.direction(a) for a, d in directions.items()}
        sent = [ways.get(a, 0) * self.maker.c_jog_sign for a in range(3)]
        self._send("jog", lambda h: lib.MoveJOG(h, *sent),
                   {a: JOGGING if d else None for a, d in directions.items()}, ways)

    def _jog_to_limits(self, directions: dict[int, int],
                       to_limits: dict[int, Optional[float]]) -> None:
        unlimited = [AXIS_NAMES[a] for a, limit in to_limits.items() if limit is None]
        if unlimited:
            raise BadArgument(f"jog: {', '.join(unlimited)} has no soft limit on its side "
                              "while another axis runs to one: jog them in turn",
                              operation="jog")
        here = _Here(self, "jog")
        targets = {}
        for axis, direction in directions.items():
            limit = to_limits.get(axis)
            if limit is None:  # held
                targets[axis] = here()[axis]
                continue
            if (self._units.user(axis, here()[axis]) - limit) * direction >= 0:
                at = self._units.show(axis, here()[axis])
                raise BadArgument(f"jog: {AXIS_NAMES[axis]} at {at} is already at or beyond its "
                                  f"soft limit {limit:g} {self.unit}".rstrip(), operation="jog")
            targets[axis] = self._units.counts(axis, limit, f"{AXIS_NAMES[axis]} limit", "jog")
        self._move("jog", targets, here, False, None)

    def stop(self, now: bool = False) -> None:
        """Stops a move or a jog, every axis: decelerating, or at once with
        ``now=True``. Safe from another thread while this one waits (that
        wait raises ``Interrupted``)."""
        handle = self._live("stop")
        result = lib.StopNow(handle) if now else lib.StopMove(handle)
        self._opened.ledger.stopped()
        self._opened.check(result, "stop")

    def _stop_quietly(self) -> bool:
        """A stop whose failure is not raised (a wait that ends badly sends it)."""
        handle = self._opened.handle
        sent = handle >= 0 and lib.StopMove(handle) == 1
        self._opened.ledger.stopped()
        return sent

    def set_origin(self) -> None:
        """Makes the present position the origin (0 counts on each axis)."""
        self._call("set_origin", lib.SetOriginNowPos)

    def set_position(self, x: Optional[Value] = None, y: Optional[Value] = None,
                     z: Optional[Value] = None) -> None:
        """Gives the present position the user values x, y, z (an axis given
        None keeps its value), without moving. Refused while the stage moves."""
        named = self._named((x, y, z), "set_position")
        values = {a: self._units.counts(a, v, f"{AXIS_NAMES[a]} position", "set_position")
                  for a, v in named.items()}
        if self._running("set_position"):
            raise BadArgument("set_position: the stage is moving; stop it first",
                              operation="set_position")
        here = _Here(self, "set_position") if len(values) < self.axes else None
        full = [values[a] if a in values else here()[a] if here and a < self.axes else 0
                for a in range(3)]
        self._call("set_position", lambda h: lib.SetStagePosition(h, *full))

    def set_speeds(self, axis: Axis, start: int, max: int, accel: int) -> None:
        """Sets an axis's start and maximum speed and its acceleration time, in
        the units ``astrel.models(maker)`` lists (not converted to user units)."""
        index = self._axis(axis, "set_speeds")
        values = [integral(v, what, "set_speeds")
                  for v, what in ((start, "start speed"), (max, "maximum speed"),
                                  (accel, "acceleration time"))]
        self._call("set_speeds", lambda h: lib.SetMoveSpeeds(h, index, *values))

    def remote(self, on: bool = True) -> None:
        """Switches the controller to remote operation (or back to local with
        ``on=False``), for the controllers that have the two."""
        self._call("remote", lambda h: lib.RemoteStage(h, 1 if on else 0))

    def initialize(self) -> None:
        """Runs the controller's initialisation, for the controllers that need one."""
        self._call("initialize", lib.InitializeStage)

    def raw(self, command: str, reply: bool = True, lines: Optional[int] = None) -> list[str]:
        """For experts: writes ``command`` with the line end and, with
        ``reply``, returns the lines the controller answers: every line until
        no more comes within the reply time-out, or the first ``lines`` lines.
        The library does not know what the command did: the stage's state is
        the controller's business."""
        most = _MAX_REPLY_LINES if lines is None else \
            integral(lines, "lines", "raw", (0, _MAX_REPLY_LINES))
        self._call("raw", lambda h: lib.SendStageData(h, command.encode("cp932")))
        replies: list[str] = []
        status = ctypes.c_int32(0)
        while reply and len(replies) < most:
            buffer = ctypes.create_string_buffer(_REPLY_BYTES)
            if lib.ReceiveStageData(self._live("raw"), buffer, _REPLY_BYTES,
                                    ctypes.byref(status)) != 1:
                if status.value != 1:  # not a time-out: the port failed
                    self._opened.fail("raw")
                break
            replies.append(buffer.value.decode("cp932", errors="replace"))
        return replies

    # ---- waiting --------------------------------------------------------

    def wait_until_idle(self, timeout: Optional[float] = None, poll_interval: float = 0.05,
                        callback: Optional[Callable[[Position], None]] = None) -> Position:
        """Polls every ``poll_interval`` seconds (sleeping in between) until
        every axis is at rest, and returns the position. ``callback``
        receives each position polled, for a progress bar or a plot. Raises
        ``Timeout`` when the stage still moves after ``timeout`` seconds
        (default ``wait_timeout``; the stage is not stopped), ``AtLimit`` when
        an axis the last motions drove stopped at a limit, ``Interrupted``
        when a stop ended them, ``ControllerError`` when the controller
        reports an error, ``NoReply`` when it gives no usable reply."""
        ledger = self._opened.ledger
        return waiting.wait(self, "wait_until_idle", timeout, ledger.driven(), ledger.stops(),
                            poll_interval, callback, stop=False)
