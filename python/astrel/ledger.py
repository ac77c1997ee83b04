"""What this process last commanded a stage's axes to do.

The controller's interface moves all axes with one absolute command, so
writing one axis must send the others' targets too. The ledger keeps each
axis's last commanded target while the stage moves, so that those are sent
rather than a position snapshot (which would stop an axis short). It also
keeps the axes the last motion drove (whose limits decide its verdict), the
direction each axis was last driven, and a count of the stops sent.
Positions are controller counts. Shared by every thread using the stage.
"""

from __future__ import annotations

import threading
from typing import Optional, Sequence, Union

#: An axis's activity: a target in counts, or what it does without one.
JOGGING = "jogging"
HOMING = "returning to its origin"
Activity = Union[int, str, None]


class Ledger:
    """The commanded activity of each axis, kept until the stage is found at rest."""

    def __init__(self, axes: int) -> None:
        self._lock = threading.Lock()
        self._axes = axes
        self._activity: list[Activity] = [None] * axes
        self._driven: set[int] = set()
        self._directions: list[int] = [0] * axes
        self._commands = 0  # motions commanded so far
        self._stops = 0  # stops sent so far
        self._counts: Optional[tuple[int, ...]] = None

    def activity(self) -> list[Activity]:
        """Each axis's commanded target or activity; None for an axis not moving by command."""
        with self._lock:
            return list(self._activity)

    def commands(self) -> int:
        """How many motions were commanded; an answer "at rest" asked for
        before a motion must not clear that motion (see ``at_rest``)."""
        with self._lock:
            return self._commands

    def stops(self) -> int:
        """How many stops were sent: a wait that sees it change was stopped."""
        with self._lock:
            return self._stops

    def driven(self) -> set[int]:
        """The axes the motions since the stage was last at rest drove."""
        with self._lock:
            return set(self._driven)

    def direction(self, axis: int) -> int:
        """The way (in counts) the axis was last driven: +1, -1, or 0 when never."""
        with self._lock:
            return self._directions[axis]

    def seen(self, counts: Sequence[int]) -> None:
        """Notes a position read, from which later motions take their direction."""
        with self._lock:
            self._counts = tuple(counts)

    def commanded(self, activities: dict[int, Activity], directions: dict[int, int]) -> None:
        """Notes a motion sent: the activity of the axes it names (None: held
        where it is), and the way each runs (+1 or -1 in counts; a target's
        way is taken from the last position read when not given)."""
        with self._lock:
            if all(a is None for a in self._activity):
                self._driven = set()  # a motion from rest: its own axes only
            for axis, activity in activities.items():
                self._activity[axis] = activity
                if activity is None:
                    continue  # held where it is
                self._driven.add(axis)
                way = directions.get(axis)
                target = 0 if activity == HOMING else activity
                if way is None and isinstance(target, int) and self._counts is not None:
                    way = (target > self._counts[axis]) - (target < self._counts[axis])
                if way:
                    self._directions[axis] = way
            self._commands += 1

    def at_rest(self, commands_before: int) -> None:
        """The stage was found at rest by a question asked when ``commands()``
        gave ``commands_before``: forgets the targets, unless a motion was
        commanded since (its targets are newer than the answer)."""
        with self._lock:
            if self._commands == commands_before:
                self._activity = [None] * self._axes

    def stopped(self) -> None:
        """Notes a stop sent: no axis keeps a target."""
        with self._lock:
            self._activity = [None] * self._axes
            self._stops += 1
