"""Simulated controllers: a stage to script against without hardware."""

from __future__ import annotations

import contextlib
import os
import select
import signal
import subprocess
import tempfile
import time
from typing import Iterator, Optional

from .catalogue import MakerChoice, find_maker
from .errors import NotFound
from .locate import tool_path

#: How long the simulator may take to start and to end.
_START_SECONDS = 10.0
_STOP_SECONDS = 5.0


def _device_line(child: "subprocess.Popen[bytes]", seconds: float) -> str:
    """The first line the child prints (its device path), within ``seconds``."""
    assert child.stdout is not None
    deadline = time.monotonic() + seconds
    line = b""
    while not line.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([child.stdout], [], [], left)[0]:
            return ""
        piece = os.read(child.stdout.fileno(), 256)
        if not piece:
            return ""
        line += piece
    return line.decode().strip()


def _end(child: "subprocess.Popen[bytes]") -> None:
    if child.poll() is None:
        child.send_signal(signal.SIGTERM)
        try:
            child.wait(_STOP_SECONDS)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait(_STOP_SECONDS)
    if child.stdout is not None:
        child.stdout.close()


@contextlib.contextmanager
def simulated(maker: MakerChoice, model: str, time_scale: int = 1,
              fault: Optional[str] = None, log: Optional[str] = None) -> Iterator[str]:
    """Serves a simulated controller (``astrel sim``) in a child process and
    gives its device path, for ``Stage(..., device=path)``; ends the child on
    leaving the block, also when the block raises.

    ``time_scale`` (1 to 1000) runs the simulated motion that many times
    faster; ``fault`` makes the controller misbehave: "silent", "garbage",
    "delayed", "half-line", "endless-lines", "hang-up" or "late"; ``log``
    is a file the simulator writes each command it hears and each reply to,
    with the time of day in milliseconds::

        with astrel.simulated("prior", "ProScan") as device:
            with astrel.Stage("prior", "ProScan", device=device) as stage:
                stage.move_to(1000, 2000)
    """
    command = [tool_path(), "sim", "--maker", str(find_maker(maker).type), "--model", model,
               "--time-scale", str(time_scale)]
    if fault is not None:
        command += ["--fault", fault]
    if log is not None:
        command.append("--trace")
    with (open(log, "w+b") if log is not None else tempfile.TemporaryFile()) as errors:
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=errors)
        try:
            device = _device_line(child, _START_SECONDS)
            if not device:
                _end(child)
                errors.seek(0)
                said = errors.read().decode(errors="replace").strip()
                raise NotFound(f"the simulator did not start ({' '.join(command)}): "
                               f"{said or 'no device path within 10 s'}")
            yield device
        finally:
            _end(child)
