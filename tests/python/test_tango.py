"""The TANGO device server against simulated controllers, each served in a
process of its own with no database."""

import contextlib
import multiprocessing
import os
import time

import pytest
import tango
from tango import AttrQuality, DevState
from tango.test_context import MultiDeviceTestContext

import astrel
from astrel.tango import AstrelStage

ON, MOVING, ALARM, FAULT, OFF = (DevState.ON, DevState.MOVING, DevState.ALARM, DevState.FAULT,
                                 DevState.OFF)
MODELS = [("qt", "QT3", 3), ("prior", "ProScan", 3), ("suruga", "MSC-10", 3),
          ("sigma", "SHOT-202", 2), ("hirox", "TH3", 3), ("cp310", "CP-500", 2)]


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


@pytest.mark.parametrize("maker,model,axes", MODELS)
def test_every_maker_moves_through_moving_back_to_on_and_x_moves_alone(maker, model, axes):
    with served((maker, model), time_scale=10) as (stage,):
        stage.Position = [30000, -20000, 10000][:axes]
        assert stage.state() == MOVING and stage.Moving
        wait_for(lambda: stage.state() == ON)
        assert list(stage.Position) == [30000, -20000, 10000][:axes] and not stage.Moving
        stage.X = 500
        wait_for(lambda: stage.state() == ON)
        assert list(stage.Position) == [500, -20000, 10000][:axes] == [
            stage.read_attribute(a).value for a in "XYZ"[:axes]]


@pytest.mark.parametrize("stop", ["Stop", "Abort"])
def test_a_stop_ends_a_move_short_of_its_target(stop):
    with served(("qt", "QT3")) as (stage,):
        stage.MoveAbsolute([500_000])
        wait_for(lambda: stage.X > 0)
        stage.command_inout(stop)
        wait_for(lambda: stage.state() == ON)
        assert 0 < stage.X < 500_000


@pytest.mark.parametrize("maker,options,act,state,words", [
    ("qt", {}, lambda s: s.MoveAbsolute([2_000_000]), ALARM, "travel limit"),
    ("prior", {}, lambda s: s.MoveAbsolute([2_000_000]), ALARM, "travel limit"),
    ("qt", {"fault": "silent", "TimeOut": 100}, lambda s: None, FAULT,
     'no reply within 100 ms to "Q:A0B0C0"'),
    ("qt", {}, lambda s: s.Off(), OFF, "port closed"),
    ("qt", {"Model": "QT9"}, lambda s: None, OFF, "Model 'QT9' name no stage"),
])
def test_state_and_status(maker, options, act, state, words):
    with served((maker, {"qt": "QT3", "prior": "ProScan"}[maker]), time_scale=100,
                **options) as (stage,):
        act(stage)
        wait_for(lambda: stage.state() == state)
        assert words in stage.status()
        # At a limit AtLimit says so; else there is nothing to read, and no stale value.
        assert stage.AtLimit if state == ALARM else all(stage.read_attribute(a).quality == (
            AttrQuality.ATTR_INVALID) for a in ("Position", "Moving", "AtLimit"))


def test_a_silent_controller_fails_a_write_with_the_library_s_message():
    with served(("qt", "QT3"), fault="silent", TimeOut=100) as (stage,):
        with pytest.raises(tango.DevFailed) as failed:
            stage.Y = 5  # needs the position of the other axes
    assert failed.value.args[0].reason == "NoReply"
    assert failed.value.args[0].desc.startswith("Writing Y failed: GetStagePosition on /dev/")


def watch_a_move(address, results):
    """In a process of its own, as a server forked after a subscription hangs at its end."""
    seen = {"position": [], "state": []}
    stage = tango.DeviceProxy(address)
    for name in seen:
        stage.subscribe_event(name, tango.EventType.CHANGE_EVENT, lambda e: e.err or seen[
            e.attr_value.name.lower()].append(e.attr_value.value))
    stage.MoveAbsolute([40000, 0, 0])
    with contextlib.suppress(AssertionError):
        wait_for(lambda: seen["state"][-1:] == [ON] and MOVING in seen["state"])
    results.send((seen["state"], [int(p[0]) for p in seen["position"]]))
    os._exit(0)


def test_change_events_arrive_during_a_move():
    with served(("prior", "ProScan")) as (stage,):
        results, sent = multiprocessing.Pipe(duplex=False)
        address = f"tango://127.0.0.1:{stage.get_dev_port()}/{stage.dev_name()}#dbase=no"
        multiprocessing.Process(target=watch_a_move, args=(address, sent), daemon=True).start()
        assert results.poll(20)
        states, xs = results.recv()
    assert states[0] == ON and MOVING in states and states[-1] == ON
    assert xs[0] == 0 and xs[-1] == 40000 and len(set(xs)) > 3 and xs == sorted(xs)


def test_devices_of_two_models_in_one_server_each_have_their_axes_and_move_together():
    with served(("qt", "QT3"), ("sigma", "SHOT-202"), time_scale=10) as (qt3, shot):
        assert "Z" in qt3.get_attribute_list() and "Z" not in shot.get_attribute_list()
        qt3.Position, shot.Position = [30000, 1, 2], [-30000, 3]
        assert qt3.Moving and shot.Moving
        wait_for(lambda: qt3.state() == shot.state() == ON)
        assert (list(qt3.Position), list(shot.Position)) == ([30000, 1, 2], [-30000, 3])


def test_jog_speeds_origin_raw_and_init():
    with served(("qt", "QT3"), time_scale=100) as (stage,):
        stage.Jog([0, -1])
        wait_for(lambda: stage.Y < 0)
        stage.Stop()
        wait_for(lambda: stage.state() == ON)
        stage.SetOrigin()
        assert list(stage.Position) == [0, 0, 0] and stage.Raw("Q:A0B0C0") == "0,0,0"
        assert stage.read_attribute("YSpeeds").quality == AttrQuality.ATTR_INVALID
        stage.YSpeeds = [100, 2000, 50]
        assert list(stage.YSpeeds) == [100, 2000, 50]
        stage.Off()
        stage.Init()
        assert stage.state() == ON
