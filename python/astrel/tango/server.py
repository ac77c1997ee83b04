"""The ``astrel-tango`` device server."""

from __future__ import annotations

import sys
from typing import Optional, Sequence

from tango.server import run

from .device import AstrelStage

#: The server's name in a TANGO database: devices are registered under
#: ``astrel-tango/INSTANCE``.
SERVER = "astrel-tango"

USAGE = f"""usage: {SERVER} INSTANCE [TANGO server options]

Serves the AstrelStage devices registered under {SERVER}/INSTANCE: one
motorised stage each, driven through libastrel. Without a TANGO database,
give the devices and their properties in a file and a fixed port:

    {SERVER} INSTANCE -file=stages.db -ORBendPoint giop:tcp:127.0.0.1:10000

Properties of each device: Maker, Model, Port or Device, TimeOut (ms),
AxisSigns, Baud, Parity, DataBits, StopBits, FlowControl, Delimiter,
PositionUnit, Trace."""


def main(argv: Optional[Sequence[str]] = None) -> None:
    """Runs the server with ``argv`` (default: the command line's arguments)."""
    args = list(sys.argv[1:] if argv is None else argv)
    if not args or args[0] in ("-h", "--help"):
        print(USAGE, file=sys.stdout if args else sys.stderr)
        sys.exit(0 if args else 2)
    # The server's name is taken from the first argument: the same name
    # whether it starts as a console script or as python3 -m astrel.tango.
    run((AstrelStage,), args=[SERVER, *args])
