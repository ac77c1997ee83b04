"""Handles and simulator processes are given back, also when a block raises;
the typed layer agrees with the C header; missing pieces say what to set."""

import ctypes
import os
import subprocess
import sys

import pytest

import astrel
from astrel import lib


class Planted(Exception):
    pass


def test_leaving_a_block_that_raises_releases_the_stage_and_ends_the_simulator():
    with pytest.raises(Planted):
        with astrel.simulated("prior", "ProScan") as device:
            with astrel.Stage("prior", "ProScan", device=device) as stage:
                handle = stage.handle
                raise Planted
    assert stage.closed and lib.GetUseMakerType(handle) == -1
    assert not os.path.exists(device)


def test_failed_opens_give_their_handles_back():
    for _ in range(11):  # one more than the library's ten handles
        with pytest.raises(astrel.PortError):
            astrel.Stage("qt", "QT3", device="/nonexistent/tty")
    assert lib.GetUseMakerType(0) == -1


def test_the_typed_layer_passes_the_packed_record_and_frees_the_name(qt3):
    assert ctypes.sizeof(lib.CommunicationParam) == 18
    assert lib.CommunicationParam.TimeOut.offset == 14
    param = lib.CommunicationParam()
    assert lib.GetCommunicationParam(qt3.handle, ctypes.byref(param)) == 1
    assert (param.BaudRate, param.TimeOut) == (lib.DRIVER_DEFAULT, 300)
    assert lib.use_stage_name(qt3.handle) == b"QT3"


def test_what_is_missing_is_named(monkeypatch):
    monkeypatch.setenv("ASTREL_TOOL", "/nonexistent/astrel")
    with pytest.raises(astrel.NotFound, match="ASTREL_TOOL"):
        astrel.simulated("qt", "QT3").__enter__()
    env = dict(os.environ, ASTREL_LIBRARY="/nonexistent/libastrel.so.1")
    run = subprocess.run([sys.executable, "-c", "import astrel; astrel.makers()"], env=env,
                         capture_output=True, text=True, timeout=60)
    assert run.returncode != 0 and "ASTREL_LIBRARY=/nonexistent" in run.stderr
