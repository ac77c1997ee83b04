"""The TANGO device server against simulated controllers, served with no database."""

import contextlib
import multiprocessing
import time

import pytest
import tango
from tango import AttrQuality, DevState
from tango.test_context import MultiDeviceTestContext

import astrel
from astrel.tango import AstrelStage

ON, MOVING, ALARM = DevState.ON, DevState.MOVING, DevState.ALARM


@contextlib.contextmanager
def served(*stages, fault=None, time_scale=1, **properties):
    """Proxies of devices lab/stage/1.. on simulators of the (maker, model) given."""
    with contextlib.ExitStack() as stack:
        devices = [{"name": f"lab/stage/{n}", "properties": {
            "Maker": maker, "Model": model, "TimeOut": 300, **properties,
            "Device": stack.enter_context(astrel.simulated(maker, model, time_scale, fault))}}
            for n, (maker, model) in enumerate(stages, 1)]
        context = stack.enter_context(MultiDeviceTestContext([{
            "class": AstrelStage, "devices": devices}], process=True, daemon=True,
            host="127.0.0.1", timeout=20))
        yield [context.get_device(d["name"]) for d in devices]


def wait_for(check, seconds=10):
    deadline = time.monotonic() + seconds
    while not check():
        assert time.monotonic() < deadline, "waited in vain"
        time.sleep(0.02)


def invalid(stage, *names):
    return all(stage.read_attribute(a).quality == AttrQuality.ATTR_INVALID for a in names)


def test_devices_of_two_models_in_one_server_each_have_their_axes_and_move():
    with served(("qt", "QT3"), ("sigma", "SHOT-202"), time_scale=10) as (qt3, shot):
        assert "Z" in qt3.get_attribute_list() and "Z" not in shot.get_attribute_list()
        qt3.Position, shot.Position = [30000, -20000, 10000], [-30000, 3]
        assert qt3.state() == shot.state() == MOVING and qt3.Moving and shot.Moving
        wait_for(lambda: qt3.state() == shot.state() == ON)
        assert list(shot.Position) == [-30000, 3] and not qt3.Moving
        qt3.X = 500  # moves X alone
        wait_for(lambda: qt3.state() == ON)
        assert [qt3.read_attribute(a).value for a in "XYZ"] == [500, -20000, 10000]


@pytest.mark.parametrize("stop", ["Stop", "Abort"])
def test_commands_and_speeds(stop):
    with served(("qt", "QT3")) as (stage,):
        stage.Jog([0, -1])
        wait_for(lambda: stage.Y < 0)
        stage.command_inout(stop)
        wait_for(lambda: stage.state() == ON and stage.Y < 0)  # stopped where it was
        stage.SetOrigin()
        assert list(stage.Position) == [0, 0, 0] and stage.Raw("Q:A0B0C0") == "0,0,0"
        assert invalid(stage, "YSpeeds")
        stage.YSpeeds = [100, 2000, 50]
        assert list(stage.YSpeeds) == [100, 2000, 50]
        with pytest.raises(tango.DevFailed, match=r"Jog failed: directions(?s:.*)= BadArgument"):
            stage.Jog([0, 2])
        stage.Init()
        assert stage.state() == ON


@pytest.mark.parametrize("sim,options,act,state,words", [
    (("qt", "QT3"), {}, lambda s: s.MoveAbsolute([2_000_000]), ALARM, "travel limit"),
    (("prior", "ProScan"), {}, lambda s: s.MoveAbsolute([2_000_000]), ALARM, "travel limit"),
    (("qt", "QT3"), {"fault": "silent", "TimeOut": 100}, lambda s: None, DevState.FAULT,
     'no reply within 100 ms to "Q:A0B0C0"'),
    (("qt", "QT3"), {}, lambda s: s.Off(), DevState.OFF, "port closed"),
    (("qt", "QT3"), {"Model": "QT9"}, lambda s: None, DevState.OFF, "Model 'QT9' name no stage"),
])
def test_state_and_status(sim, options, act, state, words):
    with served(sim, time_scale=100, **options) as (stage,):
        act(stage)
        wait_for(lambda: stage.state() == state)
        assert words in stage.status()
        # At a limit AtLimit says so; else there is nothing to read, and no stale value.
        assert stage.AtLimit if state == ALARM else invalid(stage, "Position", "Moving", "AtLimit")


def watch_a_move(address):
    """In a process of its own, as a server forked after a subscription hangs at its end."""
    seen = {"position": [], "state": []}
    stage = tango.DeviceProxy(address)
    for name in seen:
        stage.subscribe_event(name, tango.EventType.CHANGE_EVENT, lambda e: e.err or seen[
            e.attr_value.name.lower()].append(e.attr_value.value))
    stage.MoveAbsolute([40000, 0, 0])
    wait_for(lambda: seen["state"][-1:] == [ON] and MOVING in seen["state"])
    return seen["state"], [int(p[0]) for p in seen["position"]]


def test_change_events_arrive_during_a_move():
    with served(("prior", "ProScan")) as (stage,), multiprocessing.Pool(1) as pool:
        address = f"tango://127.0.0.1:{stage.get_dev_port()}/{stage.dev_name()}#dbase=no"
        states, xs = pool.apply_async(watch_a_move, (address,)).get(20)
    assert states[0] == ON and xs[0] == 0 and xs[-1] == 40000
    assert len(set(xs)) > 3 and xs == sorted(xs)
