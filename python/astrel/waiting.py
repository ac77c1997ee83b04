"""Waiting for a stage to come to rest, and the verdict once it rests."""

from __future__ import annotations

import time
from typing import TYPE_CHECKING, Callable, NoReturn, Optional

from .errors import AtLimit, ControllerError, Interrupted, Timeout
from .state import AXIS_NAMES, Position, Status
from .values import real

if TYPE_CHECKING:
    from .stage import Stage


def _sleep(seconds: float) -> None:
    time.sleep(min(max(seconds, 0.001), 1.0))


def wait(stage: "Stage", operation: str, timeout: Optional[float], driven: set[int],
         stops: int, poll_interval: float = 0.05,
         callback: Optional[Callable[[Position], None]] = None, stop: bool = True) -> Position:
    """Polls until the stage rests ("done" is ``IsStageRunningEx``: every
    axis), handing each position to ``callback``; then gives the verdict.

    Raises ``Interrupted`` when a stop was sent since ``stops`` (or cut a
    poll short), ``Timeout`` when it still moves after ``timeout`` seconds
    (after a stop, with ``stop``), ``ControllerError`` when the controller
    reports an error, ``AtLimit`` when one of the ``driven`` axes stopped at
    a limit. Each carries the position reached.
    """
    limit = stage.wait_timeout if timeout is None else real(timeout, "timeout", operation)
    deadline = time.monotonic() + max(limit, 0.0)
    position: Optional[Position] = None
    try:
        while True:
            try:
                running = stage._running(operation)
                if stage._opened.ledger.stops() != stops:
                    _interrupted(stage, operation, deadline)
                position = stage.position
            except Interrupted:
                _interrupted(stage, operation, deadline)
            if callback is not None:
                callback(position)
            if not running:
                break
            left = deadline - time.monotonic()
            if left <= 0:
                sent = stop and stage._stop_quietly()
                stage._opened.fail(operation, Timeout, f"still moving after {limit:g} s, at "
                                   f"{position}" + ("; a stop was sent" if sent else ""),
                                   position)
            _sleep(min(poll_interval, left))
    except KeyboardInterrupt:
        if stop:
            stage._stop_quietly()
        raise
    return verdict(stage, operation, driven, position)


def verdict(stage: "Stage", operation: str, driven: set[int], position: Position) -> Position:
    """The verdict on a stage at rest: the status for an error the controller
    reports, and ``IsStopByLimitEx`` for the axes the motion drove."""
    status = stage.status
    if status is Status.NO_REPLY:
        stage._opened.fail(operation)
    if status is Status.ERROR:
        stage._opened.fail(operation, ControllerError, "the controller reports an error or a "
                           f"state the driver does not know, at {position}", position)
    for axis in sorted(driven):
        if stage.at_limit(axis):
            stage._opened.fail(operation, AtLimit, f"{AXIS_NAMES[axis]} stopped at a travel "
                               f"limit, at {position}", position)
    return position


def _interrupted(stage: "Stage", operation: str, deadline: float) -> NoReturn:
    """A stop ended the wait: waits (until ``deadline``) for the stage to
    come to rest and raises ``Interrupted`` with the position it reached."""
    position: Optional[Position] = None
    while True:
        try:
            moving = stage._running(operation)
            position = stage.position
        except Interrupted:
            moving = True  # another stop cut this poll short: ask again
        if not moving or time.monotonic() >= deadline:
            break
        _sleep(0.02)
    stage._opened.fail(operation, Interrupted, f"a stop ended it, at {position}", position)
