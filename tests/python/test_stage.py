"""Motion through Stage on every maker's simulator: "+" is plus, "done" is
every axis at rest, "at a limit" is the driven axes', and writing one axis
keeps the others' targets."""

import threading
import time

import pytest

import astrel
from conftest import MODELS, heard, sim_stage


@pytest.mark.parametrize("maker,model,axes", MODELS)
def test_every_maker_moves_and_homes(maker, model, axes):
    with sim_stage(maker, model, time_scale=100) as stage:
        target = (3000, -2000, 1000)[:axes]
        assert stage.move_to(*target) == target
        assert stage.move_by(-500, 500) == (2500, -1500, 1000)[:axes]
        stage.set_speeds("y", 10, 50, 10)  # within every maker's range (Prior: 1 to 100)
        assert stage.home() == (0, 0, 0)[:axes]


@pytest.mark.parametrize("maker,model,axes", MODELS)
def test_a_jog_of_plus_one_runs_to_plus_on_every_maker(maker, model, axes):
    # Y's sign at the library is -1 and its scale negative: a jog of -1 still lowers what Y reads.
    with sim_stage(maker, model, time_scale=10, signs=(1, -1), scale={"y": -2}) as stage:
        stage.jog(x=1, y=-1)
        time.sleep(0.15)
        stage.stop()
        x, y = stage.wait_until_idle()[:2]
    print(f"\n{model}: jog(x=1, y=-1) for 0.15 s through Stage: x {x}, y {y}")
    assert x > 0 > y


@pytest.mark.parametrize("maker,model,axes", MODELS)
def test_writing_y_while_x_moves_keeps_x_s_target(maker, model, axes):
    with sim_stage(maker, model, time_scale=10) as stage:
        stage.move_to(x=60000, wait=False)
        time.sleep(0.05)
        assert stage.is_moving
        written = stage.move_to(y=-3000)  # waits for X too
        print(f"\n{model}: x to 60000, then y to -3000 while x moves: read back {written}")
        assert written[:2] == (60000, -3000)
        stage.move_to(x=-50000, wait=False)
        assert stage.move_by(y=1000)[:2] == (-50000, -2000)


@pytest.mark.parametrize("maker,model,axes", MODELS)
def test_an_axis_resting_on_a_limit_decides_neither_done_nor_at_limit(maker, model, axes):
    # A Hirox controller reports an axis on a limit as an error of the stage.
    reported = astrel.ControllerError if maker == "HiROX" else astrel.AtLimit
    with sim_stage(maker, model, time_scale=1000) as stage:
        with pytest.raises(reported) as raised:
            stage.move_to(x=2_000_000)
        assert raised.value.position[0] == 1_000_000
        assert stage.stopped_at_limit() == (reported is astrel.AtLimit)
        # X rests on its switch; a move of Y alone is done when Y arrives.
        if reported is astrel.AtLimit:
            assert stage.move_to(y=40000)[:2] == (1_000_000, 40000)
            assert stage.at_limit("x") and not stage.stopped_at_limit()
        else:
            with pytest.raises(reported) as raised:
                stage.move_to(y=40000)
            assert raised.value.position[:2] == (1_000_000, 40000)


def test_a_stop_from_another_thread_ends_the_wait_with_interrupted(tmp_path):
    log = str(tmp_path / "sim.log")
    with sim_stage("qt", "QT3", time_scale=10, log=log) as stage:
        ended = []

        def move():
            try:
                stage.move_to(x=500000)
            except astrel.AstrelError as error:
                ended.append(error)
        mover = threading.Thread(target=move)
        mover.start()
        time.sleep(0.2)
        stage.stop()
        mover.join(10)
        assert heard(log, "L:") is not None  # the simulator heard the stop
        assert isinstance(ended[0], astrel.Interrupted)
        assert 0 < ended[0].position.x < 500000 and ended[0].position == stage.position
        assert not stage.is_moving


def test_a_jogging_axis_has_no_target_to_keep_and_a_jog_keeps_moving_axes():
    with sim_stage("qt", "QT3", time_scale=10) as stage:
        stage.jog(x=-1)
        with pytest.raises(astrel.BadArgument, match="x is jogging"):
            stage.move_to(y=100)
        stage.stop()
        stage.wait_until_idle()
        stage.move_to(x=60000, wait=False)
        with pytest.raises(astrel.BadArgument, match="x moving by command"):
            stage.jog(y=1)  # the controller's jog would stop X
        assert stage.wait_until_idle()[0] == 60000


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
