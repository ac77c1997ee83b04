"""Shared pieces of the Python package's tests: a simulated stage of any
maker, the simulator's log, and the TANGO server in a process of its own."""

import contextlib
import datetime
import os
import socket
import subprocess
import sys
import tempfile
import time

import astrel

# One model of each maker (named in each way a maker can be), and its axis count.
MODELS = [("qt", "QT3", 3), (1, "ProScan", 3), ("\u99ff\u6cb3\u7cbe\u6a5f", "MSC-10", 3),
          ("sigma", "SHOT-202", 2), ("HiROX", "TH3", 3), ("cp310", "CP-500", 2)]


@contextlib.contextmanager
def sim_stage(maker, model, time_scale=1000, fault=None, log=None, **options):
    """A Stage on a simulated controller, with a reply time-out of 1 s."""
    options.setdefault("timeout", 1.0)
    with astrel.simulated(maker, model, time_scale, fault, log) as device:
        with astrel.Stage(maker, model, device=device, **options) as stage:
            yield stage


def wait_for(check, seconds=10):
    deadline = time.monotonic() + seconds
    while not check():
        assert time.monotonic() < deadline, "waited in vain"
        time.sleep(0.02)


def commands(log):
    """The commands a simulator logging to ``log`` heard: (time.time(), line)."""
    today = datetime.date.today()
    heard = []
    with open(log, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            stamp, _, rest = line.strip().partition(" host> ")
            if rest:
                clock = datetime.datetime.strptime(stamp, "%H:%M:%S.%f").time()
                heard.append((datetime.datetime.combine(today, clock).timestamp(), rest))
    return heard


def heard(log, command):
    """When the simulator logging to ``log`` first heard ``command``; None when it did not."""
    return next((at for at, line in commands(log) if line == command), None)


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _database(devices):
    """The server's devices and properties as a TANGO database file."""
    lines = []
    for kind in ("AstrelStage", "AstrelAxis"):
        names = [name for name, (k, _) in devices.items() if k == kind]
        if names:
            lines.append(f"astrel-tango/test/DEVICE/{kind}: " + ", ".join(f'"{n}"' for n in names))
    for name, (_, properties) in devices.items():
        for key, value in properties.items():
            shown = ", ".join(map(str, value)) if isinstance(value, (list, tuple)) else value
            lines.append(f"{name}->{key}: {shown}")
    return "\n".join(lines) + "\n"


@contextlib.contextmanager
def served(devices, path=None, **environment):
    """``astrel-tango`` in a process of its own with no database, serving
    ``devices`` ({name: (class, properties)}) on a free port; gives a
    function from a device name to its proxy. The devices are given in a
    file (``path``, written unless it is there: the server keeps its
    settings in it)."""
    import tango
    with tempfile.TemporaryDirectory() as scratch:
        path = path or os.path.join(scratch, "devices.db")
        if not os.path.exists(path):
            with open(path, "w") as db:
                db.write(_database(devices))
        port = _free_port()
        server = subprocess.Popen(
            [sys.executable, "-m", "astrel.tango", "test", f"-file={path}", "-ORBendPoint",
             f"giop:tcp:127.0.0.1:{port}"], env={**os.environ, **environment},
            stdout=open(os.path.join(scratch, "server.log"), "w"), stderr=subprocess.STDOUT)
        try:
            proxy = lambda name: tango.DeviceProxy(  # noqa: E731
                f"tango://127.0.0.1:{port}/{name}#dbase=no")
            first = proxy(next(iter(devices)))
            for _ in range(300):
                assert server.poll() is None, open(os.path.join(scratch, "server.log")).read()
                with contextlib.suppress(tango.DevFailed):
                    first.ping()
                    break
                time.sleep(0.05)
            yield proxy
        finally:
            server.terminate()
            try:
                server.wait(10)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait(10)
