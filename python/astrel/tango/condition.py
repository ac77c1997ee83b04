"""A stage's TANGO state, and the words for it."""

from __future__ import annotations

from typing import Optional

from tango import DevState

from .. import lib
from ..stage import Stage
from ..state import AXIS_NAMES, Status


def limit_side(stage: Stage, axis: int) -> str:
    """Which limit an axis at a limit stands on: the side this server last
    drove it to ("plus", "minus"), or "" when it never drove it. The
    controllers tell only "at a limit"."""
    return {1: "plus", -1: "minus"}.get(stage.last_direction(axis), "")


def condition(stage: Stage, axis: Optional[int] = None) -> tuple[DevState, str]:
    """The state of an open stage and the end of a sentence on it. ``axis``
    None: the stage, at a limit when an axis the last motion drove is; an
    axis: that axis at a limit. Motion is the stage's: the controllers tell
    whether any axis moves. Raises ``AstrelError`` when the controller could
    not be asked."""
    if stage.is_moving:
        return DevState.MOVING, "is moving"
    status = stage.status  # the verdict once it rests
    if status is Status.MOVING:  # a motion began since
        return DevState.MOVING, "is moving"
    if status is Status.NO_REPLY:
        return DevState.FAULT, f"gives no usable reply: {lib.last_error()[1]}"
    if status is Status.ERROR:
        return DevState.FAULT, "reports an error, or a state the library does not know"
    if axis is None and stage.stopped_at_limit():
        return DevState.ALARM, "stopped at a travel limit"
    if axis is not None and stage.at_limit(axis):
        side = limit_side(stage, axis)
        return DevState.ALARM, f"has {AXIS_NAMES[axis].upper()} at its " + (
            f"{side} travel limit" if side else "travel limit (which one is not known)")
    if status in (Status.AT_REST, Status.AT_LIMIT):
        return DevState.ON, "is at rest"
    return DevState.ON, f"is at rest; its controller reports its own state {int(status)}"
