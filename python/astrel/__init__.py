"""Drive motorised stages through libastrel.

    import astrel

    with astrel.simulated("prior", "ProScan") as device:
        with astrel.Stage("prior", "ProScan", device=device) as stage:
            stage.move_to(1000, -500)
            print(stage.position)

``Stage`` opens a stage and moves it, in user units within soft limits when
given them; ``makers()`` and ``models(maker)`` list
what the library knows; ``simulated(maker, model)`` serves a simulated
controller. Every failure raises an ``AstrelError``. ``astrel.lib`` gives the
library's C functions themselves.
"""

from .catalogue import Maker, Model, find_maker, makers, models
from .errors import (AstrelError, AtLimit, BadArgument, ControllerError, Interrupted, NoReply,
                     NotFound, PortError, Timeout)
from .sim import simulated
from .stage import Stage
from .state import Position, PositionX, PositionXY, PositionXYZ, Status

__all__ = [
    "AstrelError", "AtLimit", "BadArgument", "ControllerError", "Interrupted", "Maker", "Model",
    "NoReply", "NotFound", "PortError", "Position", "PositionX", "PositionXY", "PositionXYZ",
    "Stage", "Status", "Timeout", "find_maker", "makers", "models", "simulated",
]
