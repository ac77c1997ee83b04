"""The calls of the devices that share a stage, made in turn by one thread,
each waited for at most ``BOUND`` seconds.

A client's request must end within its 3 s time-out, but a call into the
library waits for the controller: against a silent one, a status query can
take several reply time-outs. So a device hands each call to the stage's
thread and waits for it no longer than ``BOUND``: a read then reports that
the controller has not answered, and a command that has not started is
dropped, one that has started sends nothing more (``gate``). Reads of the
same kind wait together for one call. Stops do not come here: they go to
the library at once, which cuts a waiting call short.
"""

from __future__ import annotations

import threading
import time
from typing import Any, Callable, Hashable, Optional

from ..errors import AstrelError, Interrupted, NoReply

#: How long (s) a client's request waits for its call: below the 3 s
#: time-out of TANGO clients, with room for the answer to travel.
BOUND = 2.5


class Unanswered(NoReply):
    """The call did not end within the bound."""


class _Call:
    def __init__(self, key: Optional[Hashable], action: Callable[[], Any]) -> None:
        self.key, self.action = key, action
        self.waiters = 0
        self.started: Optional[float] = None
        self.done = False
        self.abandoned = False
        self.result: Any = None
        self.error: Optional[BaseException] = None


class Calls:
    """One thread making a stage's calls in turn."""

    def __init__(self, name: str) -> None:
        self._changed = threading.Condition()
        self._queue: list[_Call] = []
        self._current: Optional[_Call] = None
        self._closed = False
        self._local = threading.local()
        self._thread = threading.Thread(target=self._serve, name=f"calls {name}", daemon=True)
        self._thread.start()

    def read(self, key: Hashable, action: Callable[[], Any]) -> Any:
        """The result of ``action``, made once for the readers of ``key``
        that wait at the same time. ``Unanswered`` when it takes longer than
        the bound, or at once while the previous call of ``key`` still waits
        for the controller past the bound."""
        with self._changed:
            current = self._current
            if current is not None and current.key == key and current.started is not None \
                    and time.monotonic() - current.started > BOUND:
                raise Unanswered(f"the controller has not answered for "
                                 f"{time.monotonic() - current.started:.1f} s")
            call = next((c for c in self._queue if c.key == key), None)
            if call is None:
                call = self._add(key, action)
            call.waiters += 1
        return self._await(call)

    def command(self, action: Callable[[], Any]) -> Any:
        """The result of ``action``, made after the calls before it."""
        with self._changed:
            call = self._add(None, action)
            call.waiters += 1
        return self._await(call)

    def post(self, key: Hashable, action: Callable[[], Any]) -> None:
        """Queues ``action`` without waiting for it, unless one of ``key`` is queued."""
        with self._changed:
            if not any(c.key == key for c in self._queue):
                self._add(key, action)

    def drop_commands(self) -> None:
        """Drops the commands not yet started (a stop came after them)."""
        with self._changed:
            for call in [c for c in self._queue if c.key is None]:
                self._queue.remove(call)
                call.error, call.done = Interrupted("a stop came before it was sent"), True
            self._changed.notify_all()

    def gate(self) -> None:
        """Raises in a call whose every waiter gave up: it sends nothing more."""
        call = getattr(self._local, "call", None)
        if call is not None and call.abandoned:
            raise Unanswered("its client stopped waiting for it, so nothing was sent")

    def close(self) -> None:
        """Ends the thread once its present call ends; queued calls are dropped."""
        with self._changed:
            self._closed = True
            for call in self._queue:
                call.error, call.done = Unanswered("the stage was closed"), True
            self._queue.clear()
            self._changed.notify_all()

    def _add(self, key: Optional[Hashable], action: Callable[[], Any]) -> _Call:
        if self._closed:
            raise Unanswered("the stage is closed")
        call = _Call(key, action)
        self._queue.append(call)
        self._changed.notify_all()
        return call

    def _await(self, call: _Call) -> Any:
        deadline = time.monotonic() + BOUND
        with self._changed:
            while not call.done and time.monotonic() < deadline:
                self._changed.wait(deadline - time.monotonic())
            if not call.done:
                call.waiters -= 1
                started = call.started is not None
                if call.waiters == 0:
                    if started:
                        call.abandoned = True
                    else:
                        self._queue.remove(call)
                raise Unanswered(f"no answer within {BOUND:g} s" + (
                    "" if started else " (the calls before it still wait for the controller;"
                    " it was not sent)"))
        if call.error is not None:
            raise call.error
        return call.result

    def _serve(self) -> None:
        while True:
            with self._changed:
                while not self._queue and not self._closed:
                    self._changed.wait()
                if self._closed:
                    return
                call = self._queue.pop(0)
                call.started = time.monotonic()
                self._current = call
            self._local.call = call
            try:
                call.result = call.action()
            except AstrelError as error:
                call.error = error
            except Exception as error:  # a fault of this package: reported, the thread goes on
                call.error = error
            with self._changed:
                call.done = True
                self._current = None
                self._changed.notify_all()
