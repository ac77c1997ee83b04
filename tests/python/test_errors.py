"""Each exception class, from a simulated controller's fault or a call it cannot carry out."""

import threading
import time

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
    with sim_stage("qt", "QT3", fault=fault, timeout=0.3) as stage:
        with pytest.raises(kind) as raised:
            stage.position
        with pytest.raises(kind):  # a 0 from a failed exchange is no answer
            stage.at_limit()
    # The operation, the maker, the model and the port, then the library's words.
    assert str(raised.value).startswith(f"position on \u4e2d\u592e\u7cbe\u6a5f QT3 at {stage.device}: "
                                        f"GetStagePosition on {stage.device}: ")
    assert words in str(raised.value) and raised.value.code == code


def test_a_call_cut_short_by_a_stop_raises_interrupted_not_no_reply():
    with sim_stage("qt", "QT3", fault="silent", timeout=2) as stage:
        raised = []
        asking = threading.Thread(target=lambda: raised.append(
            pytest.raises(astrel.AstrelError, lambda: stage.is_moving).value))
        asking.start()
        time.sleep(0.3)
        started = time.monotonic()
        stage.stop()
        asking.join(5)
        assert time.monotonic() - started < 1  # not the 2 s time-out
    assert type(raised[0]) is astrel.Interrupted and raised[0].code == ErrorCode.INTERRUPTED


@pytest.mark.parametrize("maker,model,act,kind,words", [
    # A start speed above the maximum is refused.
    ("sigma", "SHOT-202", lambda s: s.set_speeds("x", 500, 100, 50), astrel.ControllerError, "NG"),
    # No time to wait: still moving at the first poll, so stopped.
    ("qt", "QT3", lambda s: s.move_to(-900_000, 0, 0, timeout=0), astrel.Timeout, "stop was sent"),
    ("sigma", "SHOT-202", lambda s: s.move_to(1, 2, 3), astrel.BadArgument, "no z axis"),
    ("qt", "QT3", lambda s: astrel.Stage("qt", "QT99", device="/no/tty"), astrel.BadArgument,
     'no stage model "QT99"'),
    ("qt", "QT3", lambda s: astrel.Stage("nobody", "QT3"), astrel.BadArgument, "unknown maker"),
])
def test_each_other_failure_raises_its_class(maker, model, act, kind, words):
    with sim_stage(maker, model, time_scale=100) as stage:
        with pytest.raises(kind, match=words):
            act(stage)
