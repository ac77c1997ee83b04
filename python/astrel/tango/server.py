"""The ``astrel-tango`` device server."""

from __future__ import annotations

import re
import sys
from typing import Optional, Sequence

#: The server's name in a TANGO database: devices are registered under
#: ``astrel-tango/INSTANCE``.
SERVER = "astrel-tango"

USAGE = f"""usage: {SERVER} INSTANCE [TANGO server options]

Serves the AstrelStage devices (a stage each) and AstrelAxis devices (one
axis of a stage each, as a motor) registered under {SERVER}/INSTANCE,
driven through libastrel. Axis devices that name the same Device share its
stage. Without a TANGO database, give the devices and their properties in a
file and a fixed port:

    {SERVER} INSTANCE -file=stages.db -ORBendPoint giop:tcp:127.0.0.1:10000

Properties of both classes: Maker, Model, Port or Device, TimeOut (ms),
AxisSigns, Baud, Parity, DataBits, StopBits, FlowControl, Delimiter, Trace,
Unit, StepsPerUnit_X/Y/Z, Offset_X/Y/Z, SoftLimits_X/Y/Z; AstrelAxis also
Axis (X, Y or Z). With -file, the classes the file lists devices of are served."""

_NO_TANGO = f"""{SERVER}: PyTango is not installed. On Debian install it with
    apt install python3-tango
and run {SERVER} with the system's python3 (or a virtual environment made
with --system-site-packages)."""


def main(argv: Optional[Sequence[str]] = None) -> None:
    """Runs the server with ``argv`` (default: the command line's arguments)."""
    args = list(sys.argv[1:] if argv is None else argv)
    if not args or args[0] in ("-h", "--help"):
        print(USAGE, file=sys.stdout if args else sys.stderr)
        sys.exit(0 if args else 2)
    try:
        from tango import SerialModel, Util
        from tango.server import run
    except ImportError:
        print(_NO_TANGO, file=sys.stderr)
        sys.exit(3)
    from .axis import AstrelAxis
    from .device import AstrelStage

    classes = [c for c in (AstrelStage, AstrelAxis) if c.__name__ in _served(args)]
    # The server's name is taken from the first argument: the same name
    # whether it starts as a console script or as python3 -m astrel.tango.
    util = Util.init([SERVER, *args])
    # No per-device lock around requests: Stop and Abort must reach the
    # library while another client's read waits for a silent controller.
    # The devices keep their own state under their own locks, their calls
    # go through each stage's one thread, and TANGO still keeps each
    # attribute's value whole while it is sent.
    util.set_serial_model(SerialModel.NO_SYNC)
    run(classes, args=[SERVER, *args], util=util)


def _served(args: Sequence[str]) -> set[str]:
    """The device classes to serve: those a database file (-file=PATH) lists
    devices of, as TANGO's file database knows no class without devices;
    both with a database."""
    path = next((a[len("-file="):] for a in args if a.startswith("-file=")), None)
    if path is None:
        return {"AstrelStage", "AstrelAxis"}
    listed = re.compile(rf"^\s*{SERVER}/{re.escape(args[0])}/DEVICE/(\w+)\s*:", re.IGNORECASE)
    try:
        with open(path, encoding="latin-1") as lines:
            found = {m.group(1) for m in map(listed.match, lines) if m}
    except OSError:
        found = set()  # TANGO says what is wrong with the file
    return found or {"AstrelStage", "AstrelAxis"}
