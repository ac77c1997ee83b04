"""What a stage reports: its status and its position."""

from __future__ import annotations

import enum
from typing import NamedTuple, Sequence, Union

Number = Union[int, float]


class Status(enum.IntEnum):
    """The meaning of ``GetStageStatus``'s result."""

    AT_REST = 0  #: no axis moves
    MOVING = 1  #: an axis moves
    MAKER_2 = 2  #: the maker's own state 2 (QT: an axis marked E; CP-310: state I)
    MAKER_3 = 3  #: the maker's own state 3 (QT: an axis marked H; Hirox: an axis not ready)
    AT_LIMIT = 4  #: stopped at a travel limit
    MAKER_5 = 5  #: the maker's own state 5 (QT: an axis marked C)
    NO_REPLY = 6  #: the controller gave no usable reply
    ERROR = 7  #: the controller reports an error, or a state the driver does not know

    def __str__(self) -> str:
        return self.name.lower().replace("_", " ")

    @classmethod
    def _missing_(cls, value: object) -> "Status":
        # A code the library does not document is nothing a host can act on.
        return cls.ERROR


class PositionX(NamedTuple):
    """The position of a one-axis stage: user units, or counts (whole numbers)."""

    x: float


class PositionXY(NamedTuple):
    """The position of a two-axis stage: user units, or counts (whole numbers)."""

    x: float
    y: float


class PositionXYZ(NamedTuple):
    """The position of a three-axis stage: user units, or counts (whole numbers)."""

    x: float
    y: float
    z: float


#: A position with only the axes the stage model has.
Position = Union[PositionX, PositionXY, PositionXYZ]
_POSITIONS = (PositionX, PositionXY, PositionXYZ)

AXIS_NAMES = ("x", "y", "z")


def position_of(values: Sequence[Number], axes: int) -> Position:
    """The first ``axes`` (1 to 3) values as a position."""
    return _POSITIONS[axes - 1](*values[:axes])
