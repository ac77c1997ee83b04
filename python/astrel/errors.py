"""The exceptions of the package: one class per kind of failure, all under
``AstrelError``. A failing library call raises the class its last-error code
belongs to, with the library's own message."""

from __future__ import annotations

from typing import Any, Optional


class AstrelError(Exception):
    """A stage operation failed.

    ``code`` is the library's error code (an ``astrel.lib.ErrorCode``; None
    when the failure was not a library call's), ``operation`` the stage
    operation, ``port`` the device, ``maker`` and ``model`` the stage, and
    ``reason`` the library's message on its own. ``position`` is where the
    stage was when a wait ended (``AtLimit``, ``Timeout``, ``Interrupted``;
    None otherwise).
    """

    def __init__(
        self,
        message: str,
        *,
        code: Optional[int] = None,
        operation: str = "",
        port: str = "",
        maker: str = "",
        model: str = "",
        reason: str = "",
        position: Any = None,
    ) -> None:
        super().__init__(message)
        self.code = code
        self.operation = operation
        self.port = port
        self.maker = maker
        self.model = model
        self.reason = reason or message
        self.position = position


class NoReply(AstrelError):
    """The controller gave no usable reply within the time-out."""


class Interrupted(AstrelError):
    """A stop ended the operation: ``stop()`` from another thread cut a call
    or a wait short. ``position`` is where the stage came to rest (None when
    it could not be read)."""


class ControllerError(AstrelError):
    """The controller refused the command, or reports an error."""


class AtLimit(AstrelError):
    """The stage stopped at a travel limit."""


class PortError(AstrelError):
    """The port could not be opened, is not open, or failed (a write failed,
    the line hung up)."""


class BadArgument(AstrelError, ValueError):
    """An argument the library or the package cannot use: an unknown maker or
    model, an axis the model lacks, a value out of range."""


class Timeout(AstrelError, TimeoutError):
    """The stage was still moving when the wait's time-out ran out."""


class NotFound(AstrelError):
    """The library or the ``astrel`` tool was not found (or is too old), or a
    simulator could not be started."""


class LibraryMissing(NotFound, AttributeError):
    """An export of ``astrel.lib`` asked for while the library cannot be
    loaded: a ``NotFound`` that is also an ``AttributeError``, so that
    ``hasattr``, ``help()`` and ``inspect`` see a missing attribute."""
