"""Stages on a TANGO control system: the device class ``AstrelStage`` and
its server, ``astrel-tango INSTANCE`` (or ``python3 -m astrel.tango
INSTANCE``).

Each device drives one stage through the library: its properties name the
maker, the model and the port; its attributes give the position (``Position``
and one scalar per axis), whether it moves or stopped at a limit, and the
speeds; its commands move, jog, home and stop it. ``State`` and ``Position``
are polled by the server, so clients that subscribe to their change events
see a move as it happens. This package needs Debian's ``python3-tango``.
"""

from .device import AstrelStage
from .server import main

__all__ = ["AstrelStage", "main"]
