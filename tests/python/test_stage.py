"""Stages of every maker moved through Stage, and waiting with a callback."""

import time

import pytest

import astrel
from conftest import sim_stage

# One model of each maker (named in each way a maker can be), and its axis count.
MODELS = [("qt", "QT3", 3), (1, "ProScan", 3), ("\u99ff\u6cb3\u7cbe\u6a5f", "MSC-10", 3),
          ("sigma", "SHOT-202", 2), ("HiROX", "TH3", 3), ("cp310", "CP-500", 2)]


@pytest.mark.parametrize("maker,model,axes", MODELS)
def test_every_maker_moves_and_homes(maker, model, axes):
    with sim_stage(maker, model, time_scale=100) as stage:
        target = (3000, -2000, 1000)[:axes]
        assert stage.move_to(*target) == target
        assert stage.move_by(-500, 500) == (2500, -1500, 1000)[:axes]
        stage.set_speeds("y", 10, 50, 10)  # within every maker's range (Prior: 1 to 100)
        assert stage.home() == (0, 0, 0)[:axes]


def test_wait_until_idle_gives_each_polled_position_and_sleeps_between_polls():
    # 20000 counts at the simulator's speed take a few hundred ms at a time scale of 1.
    with sim_stage("qt", "QT3", time_scale=1) as stage:
        assert stage.move_to(20000, 0, 0, wait=False) is None
        seen = []
        started = time.monotonic()
        final = stage.wait_until_idle(timeout=30, poll_interval=0.1, callback=seen.append)
        polls_possible = (time.monotonic() - started) / 0.1 + 2
    assert final == seen[-1] == (20000, 0, 0)
    assert 3 <= len(seen) <= polls_possible

