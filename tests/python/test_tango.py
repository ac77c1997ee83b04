"""The TANGO device server against simulated controllers, each server in a
process of its own with no database."""

import contextlib
import multiprocessing
import threading
import time

import pytest
import tango
from tango import AttrQuality, DevState

import astrel
from conftest import MODELS, heard, served, wait_for

ON, MOVING, ALARM, FAULT = DevState.ON, DevState.MOVING, DevState.ALARM, DevState.FAULT


@contextlib.contextmanager
def stages(*sims, time_scale=10, fault=None, log=None, **properties):
    """AstrelStage devices lab/stage/1.. on simulators of the (maker, model) given."""
    with contextlib.ExitStack() as stack:
        devices = {f"lab/stage/{n}": ("AstrelStage", {
            "Maker": maker, "Model": model, **properties,
            "Device": stack.enter_context(astrel.simulated(maker, model, time_scale, fault,
                                                           log))})
            for n, (maker, model) in enumerate(sims, 1)}
        proxy = stack.enter_context(served(devices))
        yield [proxy(name) for name in devices]


def invalid(stage, *names):
    return all(stage.read_attribute(a).quality == AttrQuality.ATTR_INVALID for a in names)


def test_stop_reaches_a_silent_controller_at_once_while_another_client_polls(tmp_path):
    log = str(tmp_path / "sim.log")
    with stages(("qt", "QT3"), fault="silent", log=log, TimeOut=1000) as (stage,):
        polling, polls = True, []

        def poll():  # another client, reading what the silent controller cannot give
            other = tango.DeviceProxy(
                f"tango://127.0.0.1:{stage.get_dev_port()}/{stage.dev_name()}#dbase=no")
            while polling:
                started = time.monotonic()
                polls.append((other.read_attribute("Position").quality,
                              time.monotonic() - started))
        poller = threading.Thread(target=poll)
        poller.start()
        time.sleep(1.0)  # the poller's read now waits for the controller
        sent = time.time()
        stage.Stop()
        took = time.time() - sent
        started = time.monotonic()
        state = stage.state()  # no client time-out
        asked = time.monotonic() - started
        polling = False
        poller.join(10)
    reached = heard(log, "L:") - sent
    print(f"\nStop: the simulator heard L: {reached * 1000:.0f} ms after the client sent it "
          f"(the call took {took * 1000:.0f} ms); State {state} in {asked:.2f} s; "
          f"{len(polls)} Position reads, the longest {max(t for _, t in polls):.2f} s")
    assert reached < 0.1 and took < 0.1
    assert state == FAULT and asked < 3
    assert all(q == AttrQuality.ATTR_INVALID and t < 3 for q, t in polls)


def test_a_jog_of_plus_one_runs_to_plus_on_every_maker():
    makers = [astrel.find_maker(maker).short_name for maker, _, _ in MODELS]
    with stages(*[(maker, model) for maker, (_, model, _) in zip(makers, MODELS)]) as devices:
        for stage in devices:
            stage.Jog([1])
        time.sleep(0.3)
        for stage in devices:
            stage.Stop()
        wait_for(lambda: all(s.state() == ON for s in devices))
        xs = {model: stage.X for (_, model, _), stage in zip(MODELS, devices)}
        print(f"\nJog([1]) for 0.3 s through AstrelStage: X {xs}")
        assert all(x > 0 for x in xs.values()), xs


def axes(device, **properties):
    """AstrelAxis devices lab/axis/x, lab/axis/y of one stage on ``device``, in micrometres."""
    common = {"Maker": "qt", "Model": "QT3", "Device": device, "Unit": "um",
              "StepsPerUnit_X": 10, "StepsPerUnit_Y": -4, "Offset_Y": 100, **properties}
    return served({"lab/axis/x": ("AstrelAxis", {**common, "Axis": "X"}),
                   "lab/axis/y": ("AstrelAxis", {**common, "Axis": "y"})})


def test_two_axis_devices_of_one_stage_move_at_once_in_micrometres():
    with astrel.simulated("qt", "QT3", time_scale=2) as device, \
            axes(device, SoftLimits_X=[-500, 500]) as proxy:
        x, y = proxy("lab/axis/x"), proxy("lab/axis/y")
        assert x.get_attribute_config("Position").unit == "um"
        assert (x.SoftLimitLow, x.SoftLimitHigh) == (-500, 500)
        x.Position = 450.5
        assert x.state() == y.state() == MOVING
        y.Position = 50  # while X moves: X keeps its target
        with pytest.raises(tango.DevFailed, match="x moving by command(?s:.*)BadArgument"):
            y.Jog(1)  # the controllers' jog would stop X
        wait_for(lambda: x.state() == ON)
        assert (x.Position, x.DialPosition, y.Position, y.DialPosition) == (450.5, 4505, 50, 200)
        with pytest.raises(tango.DevFailed, match="above the maximum"):
            x.Position = 600
        x.SoftLimitHigh = 700
        x.Jog(1)  # runs to the new limit
        wait_for(lambda: x.state() == ON)
        assert x.Position == 700 and list(x.Limit_switches) == [False] * 3
        x.SoftLimitHigh = 1e9  # beyond the travel: no limit in effect
        x.Speeds = [1000, 10_000_000, 10]
        x.Position = 200_000  # past the plus switch
        wait_for(lambda: x.state() == ALARM)
        assert list(x.Limit_switches) == [False, True, False] and y.state() == ON
        assert "X at its plus travel limit" in x.status()
        x.DefinePosition(0)
        assert (x.Position, x.DialPosition) == (0, 0)
        with pytest.raises(tango.DevFailed, match="write Speeds once first"):
            y.Velocity = 1000
        y.Speeds = [100, 2000, 50]
        y.Velocity = 1000  # um/s, at 4 counts per um
        assert list(y.Speeds) == [100, 4000, 50] and (y.Velocity, y.Acceleration) == (1000, 50)


def test_a_soft_limit_refusal_names_the_axis_the_target_and_the_limit():
    with stages(("prior", "ProScan"), StepsPerUnit_X=10, Unit="um",
                SoftLimits_X=["-inf", 500]) as (stage,):
        with pytest.raises(tango.DevFailed, match=r"x target 600 um \(6000 counts\) is above "
                           r"its soft limit 500 um(?s:.*)= BadArgument"):
            stage.MoveAbsolute([600])
        assert "Last error: MoveAbsolute failed: x target 600 um" in stage.status()
        stage.MoveAbsolute([400, 7])
        assert "Last error" not in stage.status()  # gone with the next success
        wait_for(lambda: stage.state() == ON)
        assert list(stage.Position) == [400, 7, 0] and stage.XSoftLimitLow == float("-inf")


def test_state_follows_every_axis_and_the_limits_of_the_driven_ones():
    with stages(("qt", "QT3"), time_scale=100) as (stage,):
        stage.MoveAbsolute([2_000_000])
        wait_for(lambda: stage.state() == ALARM)
        assert stage.AtLimit and "travel limit" in stage.status()
        stage.Y = 300_000  # X rests on its switch, the letter the status shows first
        states = set()
        wait_for(lambda: states.add(stage.state()) or stage.Y == 300_000)
        wait_for(lambda: stage.state() == ON)
        assert MOVING in states and ALARM not in states and not stage.AtLimit


@pytest.mark.parametrize("stop", ["Stop", "Abort"])
def test_commands_and_speeds(stop):
    with stages(("qt", "QT3")) as (stage,):
        stage.Jog([0, -1])
        wait_for(lambda: stage.Y < 0)
        stage.command_inout(stop)
        wait_for(lambda: stage.state() == ON and stage.Y < 0)  # stopped where it was
        stage.SetOrigin()
        stage.DefinePosition([7])  # Y and Z keep their values
        assert list(stage.Position) == [7, 0, 0] and stage.Raw("Q:A0B0C0") == "7,0,0"
        assert stage.command_query("Raw").disp_level == tango.DispLevel.EXPERT
        assert invalid(stage, "YSpeeds")
        stage.YSpeeds = [100, 2000, 50]
        assert list(stage.YSpeeds) == [100, 2000, 50]
        with pytest.raises(tango.DevFailed, match=r"Jog failed: y direction 2 is outside"
                                                  r"(?s:.*)= BadArgument"):
            stage.Jog([0, 2])


def test_init_and_a_restart_keep_what_an_operator_configured(tmp_path):
    path = str(tmp_path / "devices.db")
    with astrel.simulated("sigma", "SHOT-202") as device:
        devices = {"lab/stage/1": ("AstrelStage", {
            "Maker": "sigma", "Model": "SHOT-202", "Device": device, "StepsPerUnit_X": 100,
            "Unit": "mm", "SoftLimits_Y": [-5, 5]})}
        with served(devices, path) as proxy:
            stage = proxy("lab/stage/1")
            shown = stage.get_attribute_config("X")
            assert (shown.unit, shown.format) == ("mm", "%.2f")
            shown.unit, shown.min_value = "millimetre", "-1"
            stage.set_attribute_config(shown)
            stage.Init()
            shown = stage.get_attribute_config("X")
            assert (shown.unit, shown.format, shown.min_value) == ("millimetre", "%.2f", "-1")
            assert float(stage.get_attribute_config("Y").max_value) == 5
            stage.YSoftLimitHigh = 4  # memorised: it outlives the server
        with open(path) as db:  # the properties change while the server is down
            changed = db.read().replace("->Unit: mm", "->Unit: cm").replace(
                "StepsPerUnit_X: 100", "StepsPerUnit_X: 1000")
        with open(path, "w") as db:
            db.write(changed)
        with served(devices, path) as proxy:
            stage = proxy("lab/stage/1")
            x, y = (stage.get_attribute_config(a) for a in "XY")
            with pytest.raises(tango.DevFailed, match="above its soft limit 4 cm"):
                stage.MoveAbsolute([0, 5])
    assert (x.unit, x.format, x.min_value, y.unit) == ("millimetre", "%.3f", "-1", "cm")
    assert float(y.max_value) == 4


@pytest.mark.parametrize("properties,state,words", [
    ({"Parity": "NONE", "FlowControl": "None", "Delimiter": "crlf", "TimeOut": 0}, ON,
     "is at rest"),
    ({"Model": "QT9"}, FAULT, "Model 'QT9' name no stage"),
    ({"TimeOut": -1}, FAULT, "TimeOut -1 ms is negative"),
    ({"Parity": "often"}, FAULT, "parity 'often' is not one of"),
])
def test_properties_and_a_device_that_cannot_open(properties, state, words):
    with stages(("qt", "QT3"), **properties) as (stage,):
        assert stage.state() == state and words in stage.status()
        if state == FAULT:
            assert invalid(stage, "Position", "Moving")
            with pytest.raises(tango.DevFailed, match="PortError"):
                stage.MoveAbsolute([1])


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
    with stages(("prior", "ProScan"), time_scale=1) as (stage,), \
            multiprocessing.Pool(1) as pool:
        address = f"tango://127.0.0.1:{stage.get_dev_port()}/{stage.dev_name()}#dbase=no"
        states, xs = pool.apply_async(watch_a_move, (address,)).get(20)
    assert states[0] == ON and xs[0] == 0 and xs[-1] == 40000
    assert len(set(xs)) > 3 and xs == sorted(xs)
