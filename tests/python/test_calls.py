"""The TANGO server's calls of one stage: made in turn, each waited for no
longer than the bound, never sent once every waiter gave up."""

import threading
import time

import pytest

from astrel.tango import calls as bounded
from astrel.tango.calls import Calls, Unanswered


@pytest.fixture
def calls(monkeypatch):
    monkeypatch.setattr(bounded, "BOUND", 0.2)
    made = Calls("test")
    yield made
    made.close()


def test_calls_wait_no_longer_than_the_bound_and_send_nothing_after(calls):
    sent, answer, release = [], threading.Event(), threading.Event()
    calls.post("position", lambda: answer.wait(5))  # a read the controller does not answer
    with pytest.raises(Unanswered, match="it was not sent"):
        calls.command(lambda: sent.append("queued"))
    started = time.monotonic()
    with pytest.raises(Unanswered, match="has not answered for 0.2"):
        calls.read("position", lambda: 1)
    assert time.monotonic() - started < 0.1  # at once: the last read still waits
    answer.set()

    def slow():
        release.wait(5)
        calls.gate()  # its waiter gave up meanwhile
        sent.append("slow")
    with pytest.raises(Unanswered, match="no answer within 0.2 s$"):
        calls.command(slow)
    release.set()
    assert calls.read("status", lambda: "at rest") == "at rest" and sent == []


def test_readers_of_one_kind_share_a_call_and_a_stop_drops_queued_commands(calls):
    made, release = [], threading.Event()
    calls.post("busy", lambda: release.wait(5))
    readers = [threading.Thread(target=lambda: made.append(
        calls.read("position", lambda: made.append("read") or 7))) for _ in range(3)]
    commands = []
    mover = threading.Thread(target=lambda: commands.append(
        pytest.raises(Exception, calls.command, lambda: commands.append("moved")).value))
    for thread in readers + [mover]:
        thread.start()
    time.sleep(0.05)
    calls.drop_commands()
    release.set()
    for thread in readers + [mover]:
        thread.join(5)
    assert sorted(map(str, made)) == ["7", "7", "7", "read"]
    assert [type(c).__name__ for c in commands] == ["Interrupted"]
