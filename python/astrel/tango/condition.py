"""A stage's TANGO state, and the words for it."""

from __future__ import annotations

from tango import DevState

from .. import lib
from ..stage import Stage
from ..state import Status


def condition(stage: Stage) -> tuple[DevState, str]:
    """The state of an open stage and what the Status says of it (the end of
    a sentence that starts with the stage's name). Raises ``AstrelError``
    when the controller could not be asked."""
    status = stage.status
    if status is Status.NO_REPLY:
        return DevState.FAULT, f"gives no usable reply: {lib.last_error()[1]}"
    if status is Status.ERROR:
        return DevState.FAULT, "reports an error, or a state the library does not know"
    if status is Status.MOVING:
        return DevState.MOVING, "is moving"
    # Some controllers tell a limit only when asked about limits.
    if status is Status.AT_LIMIT or stage.at_limit():
        return DevState.ALARM, "stopped at a travel limit"
    if status is Status.AT_REST:
        return DevState.ON, "is at rest"
    return DevState.ON, f"is not moving; its controller reports its own state {int(status)}"
