"""Handles and simulators are given back, also when a block raises; what is missing is named."""

import ctypes
import os

import pytest

import astrel
from astrel import lib, locate


def test_the_typed_layer_reads_the_handle_which_a_block_that_raises_gives_back():
    param = lib.CommunicationParam()
    with pytest.raises(LookupError):
        with astrel.simulated("prior", "ProScan") as device:
            with astrel.Stage("prior", "ProScan", device=device, timeout=0.3) as stage:
                handle = stage.handle
                assert lib.GetCommunicationParam(handle, ctypes.byref(param)) == 1
                assert lib.use_stage_name(handle) == b"ProScan"
                raise LookupError("planted")
    # The packed record comes back whole; the stage and the simulator are gone.
    assert (param.BaudRate, param.TimeOut) == (lib.DRIVER_DEFAULT, 300)
    assert stage.closed and lib.GetUseMakerType(handle) == -1
    assert not os.path.exists(device)


def test_failed_opens_give_their_handles_back():
    for _ in range(11):  # one more than the library's ten handles
        with pytest.raises(astrel.PortError):
            astrel.Stage("qt", "QT3", device="/nonexistent/tty")
    assert lib.GetUseMakerType(0) == -1


@pytest.mark.parametrize("variable,find", [("ASTREL_TOOL", locate.tool_path),
                                            ("ASTREL_LIBRARY", locate.load_library)])
def test_what_is_missing_is_named(monkeypatch, variable, find):
    monkeypatch.setenv(variable, "/nonexistent/file")
    with pytest.raises(astrel.NotFound, match=f"{variable}=/nonexistent/file"):
        find()
