"""Stages on a TANGO control system: the device classes ``AstrelStage``
(a stage) and ``AstrelAxis`` (one axis of a stage, as a motor), and their
server, ``astrel-tango INSTANCE`` (or ``python3 -m astrel.tango INSTANCE``).

Each device drives a stage through the library: its properties name the
maker, the model, the port and the user units; its attributes give the
position, whether it moves or stopped at a limit, and the speeds; its
commands move, jog, home and stop it. The server sends change events of
``State`` and ``Position`` while a client watches them. This package needs
Debian's ``python3-tango``; it is imported only when a device class is
asked for, so that ``astrel-tango --help`` works without it.
"""

from typing import Any

__all__ = ["AstrelAxis", "AstrelStage", "main"]


def __getattr__(name: str) -> Any:
    if name == "AstrelStage":
        from .device import AstrelStage
        return AstrelStage
    if name == "AstrelAxis":
        from .axis import AstrelAxis
        return AstrelAxis
    if name == "main":
        from .server import main
        return main
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
