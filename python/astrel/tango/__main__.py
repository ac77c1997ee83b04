"""``python3 -m astrel.tango INSTANCE [TANGO options]``: the device server."""

from .server import main

main()
