"""User units and soft limits on every motion path, and numbers that do not
fit the C interface, refused before anything is sent."""

import math

import pytest

import astrel
from conftest import commands, sim_stage

UM = dict(scale={"x": 10.0}, unit="um")


def moves(log):
    return [line for _, line in commands(log) if not line.startswith(("Q:", "$", "P:", "LMT"))]


# (maker, model, settings, action, counts of X afterwards, position of X afterwards)
UNITS = [
    ("qt", "QT3", UM, lambda s: s.move_to(x=100.04), 1000, 100.0),
    ("qt", "QT3", UM, lambda s: s.move_to(x=100.05), 1001, 100.1),  # halves away from zero
    ("prior", "ProScan", dict(scale={"x": -10.0}), lambda s: s.move_to(x=100), -1000, 100.0),
    ("sigma", "SHOT-202", dict(scale={"x": 10.0}, offset={"x": 5.0}),
     lambda s: s.move_to(15), 100, 15.0),
    ("cp310", "CP-500", dict(offset={"x": 1000}), lambda s: s.move_to(1500), 500, 1500.0),
    ("suruga", "MSC-10", dict(scale={"x": 4.0}),
     lambda s: (s.move_to(x=1), s.move_by(x=1.25)), 9, 2.25),
    ("hirox", "TH3", dict(scale={"x": -10.0}, limits={"x": (None, 50)}),
     lambda s: (s.jog(x=1), s.wait_until_idle()), -500, 50.0),  # a jog runs to its limit
    ("qt", "QT3", dict(scale={"x": 10.0}, limits={"x": (-500, 500)}),
     lambda s: s.set_position(x=12.5), 125, 12.5),
    ("qt", "QT3", dict(limits={"x": (-500, 500)}),  # found beyond a limit, it may come back
     lambda s: (s.set_position(x=600), s.move_to(x=550)), 550, 550),
    ("prior", "ProScan", {}, lambda s: s.move_to(x=2.0), 2, 2),  # counts: whole floats
]


@pytest.mark.parametrize("maker,model,settings,act,counts,position", UNITS)
def test_user_units_reach_the_controller_as_counts(maker, model, settings, act, counts,
                                                   position):
    with sim_stage(maker, model, time_scale=100, **settings) as stage:
        act(stage)
        assert stage.counts[0] == counts
        assert stage.position[0] == pytest.approx(position) and stage.position[1] == 0
        assert isinstance(stage.position[0], float) == bool(settings.get("scale") or
                                                            settings.get("offset"))


LIMITED = dict(scale={"x": 10.0}, unit="um", limits={"x": (-500, 500)})
# (settings, action, words of the refusal); each sends no motion command.
REFUSED = [
    (LIMITED, lambda s: s.move_to(x=600), r"x target 600 um \(6000 counts\) is above its soft "
     r"limit 500 um"),
    (LIMITED, lambda s: s.move_to(x=-500.1), "below its soft limit -500 um"),
    (dict(scale={"x": -10.0}, limits={"x": (-50, 50)}), lambda s: s.move_to(x=60),
     r"60 \(-600 counts\) is above its soft limit 50"),  # limits hold in user units
    (LIMITED, lambda s: (s.set_position(x=400), s.move_by(x=200)), "above its soft limit"),
    (LIMITED, lambda s: (s.set_position(x=600), s.move_to(x=650)), "above its soft limit"),
    (LIMITED, lambda s: (s.set_position(x=600), s.jog(x=1)), "beyond its soft limit"),
    (dict(limits={"x": (10, 20)}), lambda s: s.home(), "origin of x, 0 counts, lies outside"),
    ({}, lambda s: s.move_to(3_000_000_000), "outside -2147483648 .. 2147483647"),
    ({}, lambda s: (s.set_position(y=-1), s.move_by(y=-(2**31))), "outside"),  # fits alone
    ({}, lambda s: s.move_to(1.7), "not a whole number of counts"),
    ({}, lambda s: s.move_to(True), "not a number"),
    (UM, lambda s: s.move_to(math.nan), "not a finite number"),
    (dict(scale={"x": 1e9}), lambda s: s.move_to(x=10),
     "x target 10 is 10000000000 counts, outside"),
    ({}, lambda s: s.jog(x=2), "outside -1 .. 1"),
    ({}, lambda s: s.set_speeds("x", 2**31, 100, 10), "start speed 2147483648 is outside"),
    ({}, lambda s: s.set_speeds("x", 10, 100.5, 10), "maximum speed 100.5 is not a whole"),
    ({}, lambda s: s.set_speeds("w", 1, 2, 3), "axis 'w'"),
]


@pytest.mark.parametrize("settings,act,words", REFUSED)
def test_what_cannot_be_sent_is_refused_before_anything_moves(tmp_path, settings, act, words):
    log = str(tmp_path / "sim.log")
    with sim_stage("qt", "QT3", log=log, **settings) as stage:
        before = len(moves(log))
        with pytest.raises(astrel.BadArgument, match=words):
            act(stage)
        assert [m for m in moves(log)[before:] if not m.startswith("R:")] == []
        assert stage.counts[2] == 0


@pytest.mark.parametrize("key,value,words", [
    ("scale", {"x": 0}, "0 counts per unit"),
    ("limits", {"x": (5, 1)}, "low 5 is above high 1"),
    ("limits", {"x": 3}, "not a pair"),
    ("offset", {"z": 1.0}, "'z' is not one of the model's axes x, y"),
])
def test_settings_are_checked_as_they_are_set(key, value, words):
    with sim_stage("sigma", "SHOT-202") as stage:
        with pytest.raises(astrel.BadArgument, match=words):
            setattr(stage, key, value)
        with pytest.raises(astrel.BadArgument, match=words):
            getattr(stage, key).update(value)
