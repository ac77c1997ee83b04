"""Handles and simulators are given back, also when a block raises; what is missing is named."""

import ctypes
import os
import subprocess
import sys
import threading

import pytest

import astrel
from astrel import lib, locate
from conftest import sim_stage


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


@pytest.mark.parametrize("library,words", [
    # Without a library, an export is a missing attribute that says why.
    ("/nonexistent/libastrel.so.1", "False NotFound ASTREL_LIBRARY=/nonexistent"),
    # A library without AstrelVersion is too old.
    ("libc.so.6", "False NotFound libc.so.6 is older than libastrel 1.1.0"),
])
def test_an_unusable_library_is_a_missing_attribute_that_says_why(library, words):
    script = ("import astrel.lib as lib, pydoc\n"
              "pydoc.render_doc(lib)\n"
              "try: lib.MoveABS\n"
              "except astrel.NotFound as e: print(hasattr(lib, 'Astrel'), 'NotFound', e)\n")
    shown = subprocess.run([sys.executable, "-c", "import astrel\n" + script],
                           env={**os.environ, "ASTREL_LIBRARY": library},
                           capture_output=True, text=True, timeout=60)
    assert shown.stdout.startswith(words), shown.stderr


def test_each_stage_opens_its_own_device_without_the_environment():
    environment = dict(os.environ)
    with astrel.simulated("qt", "QT3") as first, astrel.simulated("prior", "ProScan") as second:
        opened = {}

        def open_(maker, model, device):
            for _ in range(5):
                with astrel.Stage(maker, model, device=device, timeout=0.3) as stage:
                    opened.setdefault(device, set()).add(
                        (stage.device, lib.port_device(stage.handle), stage.position))
        threads = [threading.Thread(target=open_, args=a) for a in
                   (("qt", "QT3", first), ("prior", "ProScan", second))]
        for t in threads:
            t.start()
        for t in threads:
            t.join(30)
        assert os.environ == environment
    assert opened == {d: {(d, d, (0, 0, 0))} for d in (first, second)}


def test_raw_reads_every_line_until_the_controller_falls_quiet():
    # Each reply comes a few ms late, then a copy of it: two lines with a pause between.
    with sim_stage("qt", "QT3", fault="late", timeout=0.3) as stage:
        assert stage.raw("Q:A0B0C0") == ["0,0,0", "0,0,0"]
        assert stage.raw("Q:A0B0C0", lines=1) == ["0,0,0"]
        assert stage.raw("AGO:A5B0C0", reply=False) == []


def test_views_share_one_handle_until_the_last_is_closed():
    with astrel.simulated("suruga", "MSC-10", time_scale=100) as device:
        stage = astrel.Stage("suruga", "MSC-10", device=device, timeout=0.3)
        view = stage.view(scale={"x": 10}, unit="um")
        view.move_to(x=1.5)
        stage.close()
        assert view.counts.x == 15 and view.position.x == 1.5 and stage.closed
        view.remote()  # the controllers that have a remote mode
        view.initialize()
        view.reopen()
        assert view.counts == (15, 0, 0)
        handle = view.handle
        view.close()
        assert lib.GetUseMakerType(handle) == -1


def test_the_tango_server_without_pytango_says_what_to_install():
    script = ("import sys\nsys.modules['tango'] = None\n"  # no PyTango: its import fails
              "from astrel.tango.server import main\nmain(['test'])\n")
    shown = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                           timeout=60)
    assert shown.returncode == 3 and "apt install python3-tango" in shown.stderr
