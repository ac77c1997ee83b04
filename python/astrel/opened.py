"""One opened stage handle: its settings, its failures, its ledger, and its
lifetime, which every ``Stage`` that views it shares."""

from __future__ import annotations

import ctypes
import os
import threading
from typing import Callable, NoReturn, Optional, Sequence, Type, Union

from . import lib
from .catalogue import Maker
from .errors import (AstrelError, BadArgument, ControllerError, Interrupted, NoReply, PortError)
from .ledger import Ledger
from .lib import ErrorCode

_CLASSES: dict[int, Type[AstrelError]] = {
    ErrorCode.NO_REPLY: NoReply,
    ErrorCode.BAD_REPLY: NoReply,
    ErrorCode.INTERRUPTED: Interrupted,
    ErrorCode.REFUSED: ControllerError,
    ErrorCode.WRITE_FAILED: PortError,
    ErrorCode.NOT_OPEN: PortError,
    ErrorCode.OPEN_FAILED: PortError,
    ErrorCode.HANG_UP: PortError,
    ErrorCode.NO_HANDLE: PortError,
    ErrorCode.UNKNOWN_MODEL: BadArgument,
    ErrorCode.BAD_ARGUMENT: BadArgument,
}
# The library reads ASTREL_TRACE when a port opens (it has no call for the
# trace): one opening at a time sets it, and only when a trace is asked for.
_tracing = threading.Lock()


def _nothing() -> None:
    pass


class Opened:
    """A stage handle with its port open, shared by the ``Stage`` objects
    that view it; the last one closed releases it."""

    def __init__(self, maker: Maker, model: str, axes: int, param: lib.CommunicationParam,
                 device: Optional[str], signs: Sequence[int], trace: Union[bool, str]) -> None:
        self.maker, self.model, self.axes = maker, model, axes
        self.port = param.Port
        self.device = device or f"port index {param.Port}"
        self.ledger = Ledger(axes)
        #: Called just before each motion command is written; raising there
        #: sends nothing (the TANGO server refuses a command its client gave up on).
        self.gate: Callable[[], None] = _nothing
        self._trace = "stderr" if trace is True else str(trace) if trace else ""
        self._users = 1
        self._users_lock = threading.Lock()
        handle = lib.Astrel()
        if handle == lib.NO_HANDLE:
            self.handle = -1
            self.fail("Stage", PortError, "the library has no free stage handle (ten are open)")
        self.handle = handle
        try:
            lib.SetUseMakerType(handle, maker.type)
            lib.SetUseStageName(handle, model.encode("cp932"))
            lib.SetCommunicationParam(handle, ctypes.byref(param))
            for axis, sign in enumerate(signs):
                lib.SetAxisSign(handle, axis, sign)
            self.check(lib.SetPortDevice(handle, device.encode() if device else None), "open")
            self.device = lib.port_device(handle) or self.device
            self.open("open")
        except BaseException:
            lib.ReleaseAstrel(handle)
            self.handle = -1
            raise

    def open(self, operation: str) -> None:
        """Opens (or opens again) the port."""
        handle = self.live(operation)
        if not self._trace:
            self.check(lib.OpenComPort(handle), operation)
            return
        with _tracing:
            before = os.environ.get("ASTREL_TRACE")
            os.environ["ASTREL_TRACE"] = self._trace
            try:
                opened = lib.OpenComPort(handle)
            finally:
                if before is None:
                    os.environ.pop("ASTREL_TRACE", None)
                else:
                    os.environ["ASTREL_TRACE"] = before
        self.check(opened, operation)

    def share(self) -> "Opened":
        """One more user of the handle."""
        with self._users_lock:
            if self.handle < 0:
                self.fail("view", PortError, "the stage is closed")
            self._users += 1
        return self

    def release(self) -> None:
        """One user fewer: the last one closes the port and releases the handle."""
        with self._users_lock:
            self._users -= 1
            if self._users > 0 or self.handle < 0:
                return
            handle, self.handle = self.handle, -1
        lib.CloseComPort(handle)
        lib.ReleaseAstrel(handle)

    def live(self, operation: str) -> int:
        """The handle; PortError once it is released."""
        handle = self.handle
        if handle < 0:
            self.fail(operation, PortError, "the stage is closed")
        return handle

    def fail(self, operation: str, kind: Optional[Type[AstrelError]] = None,
             reason: Optional[str] = None, position: object = None) -> NoReturn:
        """Raises the failure of ``operation``: by default the class and the
        message of the library's last error on this thread."""
        code: Optional[int] = None
        if reason is None:
            code, reason = lib.last_error()
            kind = kind or _CLASSES.get(code, AstrelError)
        where = f"{self.maker.label} {self.model} at {self.device}"
        raise (kind or AstrelError)(f"{operation} on {where}: {reason}", code=code,
                                    operation=operation, port=self.device,
                                    maker=self.maker.label, model=self.model, reason=reason,
                                    position=position)

    def check(self, result: int, operation: str) -> None:
        """Raises unless ``result`` is the library's 1."""
        if result == 1:
            return
        if result == 0:
            self.fail(operation)
        self.fail(operation, ControllerError, f"the controller's driver answered {result}")
