"""Each exception class, from a simulated controller's fault or refusal."""

import pytest

import astrel
from astrel.lib import ErrorCode
from conftest import sim_stage


@pytest.mark.parametrize("fault,kind,code,words", [
    ("silent", astrel.NoReply, ErrorCode.NO_REPLY, "no reply within 300 ms"),
    ("garbage", astrel.NoReply, ErrorCode.BAD_REPLY, "unusable reply"),
    ("hang-up", astrel.PortError, ErrorCode.HANG_UP, "hang-up"),
])
def test_a_faulty_controller_raises_the_library_s_error(fault, kind, code, words):
    with sim_stage("qt", "QT3", fault=fault) as stage:
        with pytest.raises(kind) as raised:
            stage.position
        with pytest.raises(kind):  # a 0 from a failed exchange is no answer
            stage.at_limit()
        assert stage.status is astrel.Status.NO_REPLY
    # The operation, the maker, the model and the port, then the library's words.
    assert str(raised.value).startswith(f"position on \u4e2d\u592e\u7cbe\u6a5f QT3 at {stage.device}: "
                                        f"GetStagePosition on {stage.device}: ")
    assert words in str(raised.value) and raised.value.code == code


def test_a_refusal_raises_controller_error():
    with sim_stage("sigma", "SHOT-202") as stage:
        with pytest.raises(astrel.ControllerError, match='answering "NG"'):
            stage.set_speeds("x", 500, 100, 50)  # a start above the maximum


# QT reports the limit in its status, Prior only when asked about limits.
@pytest.mark.parametrize("maker,model", [("qt", "QT3"), ("prior", "ProScan")])
def test_a_move_past_the_travel_raises_at_limit(maker, model):
    with sim_stage(maker, model) as stage:
        with pytest.raises(astrel.AtLimit, match="stopped at a limit"):
            stage.move_to(2_000_000, 0, 0)
        assert stage.at_limit("x") and not stage.at_limit("y")


def test_a_move_that_runs_out_of_time_raises_timeout_and_is_stopped():
    with sim_stage("qt", "QT3", time_scale=1) as stage:
        with pytest.raises(astrel.Timeout, match="a stop was sent"):
            stage.move_to(500_000, 0, 0, timeout=0.2)
        assert stage.wait_until_idle(5).x < 500_000


def test_bad_arguments_and_ports_that_cannot_open():
    with astrel.simulated("qt", "QT2") as device:
        with pytest.raises(astrel.BadArgument) as raised:
            astrel.Stage("qt", "QT99", device=device)
        assert raised.value.code == ErrorCode.UNKNOWN_MODEL
        with astrel.Stage("qt", "QT2", device=device) as stage:
            with pytest.raises(astrel.BadArgument, match="no z axis"):
                stage.move_to(1, 2, 3)
            with pytest.raises(astrel.PortError, match="busy"):
                astrel.Stage("qt", "QT2", device=device)
    with pytest.raises(astrel.BadArgument, match="unknown maker"):
        astrel.Stage("nobody", "QT3")
