"""Every export of libastrel, typed, as the C header ``Astrel.h`` gives it.

This layer is for exact control: each function takes and returns what the C
function does (plain integers, ``ctypes`` pointers and byte buffers), with no
checking beyond the types. ``astrel.Stage`` is the layer scripts use.

The library is loaded at the first use of an export (see
``astrel.locate.library_path`` for where it is looked for)::

    from astrel import lib
    h = lib.Astrel()
    lib.SetUseMakerType(h, 1)
"""

from __future__ import annotations

import ctypes
import enum
import threading
from ctypes import POINTER, c_char_p, c_int16, c_int32, c_uint16, c_uint32, c_void_p
from typing import Any, Optional

from .errors import LibraryMissing, NotFound
from .locate import load_library

__all__ = [
    "CommunicationParam",
    "DRIVER_DEFAULT",
    "NO_HANDLE",
    "ANY_AXIS",
    "ErrorCode",
    "library",
    "last_error",
    "use_stage_name",
    "port_device",
    "version",
    "REQUIRED_VERSION",
]

#: A 16-bit ``CommunicationParam`` field of this value asks for the driver's default.
DRIVER_DEFAULT = 0xFFFF
#: What ``Astrel()`` returns when all ten handles are taken.
NO_HANDLE = 0xFFFFFFFF
#: The axis argument of ``IsStopByLimit`` that asks about any axis.
ANY_AXIS = 0xFFFF
#: The library version this package needs (``AstrelVersion``): 1.1.0 or a later 1.x.
REQUIRED_VERSION = 10100


class CommunicationParam(ctypes.Structure):
    """The serial parameters of one handle: 18 bytes, packed, little-endian.

    A 16-bit field of ``DRIVER_DEFAULT`` asks for the driver's default;
    ``TimeOut`` of 0 or less asks for 5000 ms. The codes are those of
    ``Astrel.h`` (``BaudRate`` 6 is 9600, ``Delimiter`` 0 is CR LF, ...).
    """

    _pack_ = 1
    _fields_ = [
        ("Port", c_uint16),
        ("BaudRate", c_uint16),
        ("Parity", c_uint16),
        ("DataBits", c_uint16),
        ("StopBits", c_uint16),
        ("FlowControl", c_uint16),
        ("Delimiter", c_uint16),
        ("TimeOut", c_int32),
    ]


assert ctypes.sizeof(CommunicationParam) == 18


class ErrorCode(enum.IntEnum):
    """Why the calling thread's last failing call failed (``AstrelLastError``)."""

    OK = 0  #: no failure yet on this thread
    NO_REPLY = 1  #: no reply within the time-out
    BAD_REPLY = 2  #: a reply the driver cannot use
    REFUSED = 3  #: the controller refused the command
    WRITE_FAILED = 4  #: the command could not be written
    NOT_OPEN = 5  #: the port is not open
    OPEN_FAILED = 6  #: the device could not be opened
    UNKNOWN_MODEL = 7  #: an unknown maker type or stage model
    BAD_ARGUMENT = 8  #: a bad handle, null pointer or value
    INTERRUPTED = 9  #: cut short by another thread's stop, close or release
    HANG_UP = 10  #: the line closed or the device failed
    NO_HANDLE = 11  #: all ten stage handles are taken
    NO_MEMORY = 12  #: the library could not allocate memory


_i32p = POINTER(c_int32)
_u32p = POINTER(c_uint32)
_param_p = POINTER(CommunicationParam)

# name: (result type, argument types), in the order of Astrel.h.
_EXPORTS: dict[str, tuple[Any, list[Any]]] = {
    # Handles and configuration
    "Astrel": (c_uint32, []),
    "ReleaseAstrel": (None, [c_int32]),
    "SetUseMakerType": (None, [c_int32, c_int16]),
    "GetUseMakerType": (c_int16, [c_int32]),
    "SetUseStageName": (None, [c_int32, c_char_p]),
    # A pointer, not c_char_p: the copy must go back through FreeStageName.
    "GetUseStageName": (c_void_p, [c_int32]),
    "FreeStageName": (None, [c_void_p]),
    "SetCommunicationParam": (c_int32, [c_int32, _param_p]),
    "SetCommunicationParams": (c_int32, [c_int32] + [c_uint16] * 7),
    "GetCommunicationParam": (c_int32, [c_int32, _param_p]),
    "SetPortDevice": (c_int32, [c_int32, c_char_p]),
    "GetPortDevice": (c_int32, [c_int32, c_char_p, c_int32]),
    "OpenComPort": (c_int32, [c_int32]),
    "CloseComPort": (c_int32, [c_int32]),
    "InitializeStage": (c_int32, [c_int32]),
    "SendStageData": (c_int32, [c_int32, c_char_p]),
    "ReceiveStageData": (c_int32, [c_int32, c_char_p, c_int32, _i32p]),
    # Catalogue
    "GetMakerListFirst": (c_int32, [c_char_p]),
    "GetMakerListNext": (c_int32, [c_char_p]),
    "GetStageListFirst": (c_int32, [c_int16, _i32p, c_char_p]),
    "GetStageListNext": (c_int32, [_i32p, c_char_p]),
    "GetSpeedUnitListFirst": (c_int32, [c_int16, c_char_p]),
    "GetSpeedUnitListNext": (c_int32, [c_char_p]),
    "GetAcclUnitListFirst": (c_int32, [c_int16, c_char_p]),
    "GetAcclUnitListNext": (c_int32, [c_char_p]),
    "GetDeviceFunctionProperty": (c_int32, [c_int16, c_char_p, c_int32, _u32p]),
    "GetStageFunctionProperty": (c_int32, [c_int32, c_int32, _u32p]),
    # Status
    "GetStageStatus": (c_int32, [c_int32]),
    "RemoteStage": (c_int32, [c_int32, c_int32]),
    "IsStageRunning": (c_int32, [c_int32]),
    "IsStageRunningEx": (c_int32, [c_int32, _i32p]),
    "IsStopByLimit": (c_int32, [c_int32, c_uint16]),
    "IsStopByLimitEx": (c_int32, [c_int32, c_uint16, _i32p]),
    "GetStagePosition": (c_int32, [c_int32, _i32p, _i32p, _i32p]),
    # Motion
    "SetStagePosition": (c_int32, [c_int32, c_int32, c_int32, c_int32]),
    "SetOriginNowPos": (c_int32, [c_int32]),
    "MoveABS": (c_int32, [c_int32, c_int32, c_int32, c_int32]),
    "MoveREL": (c_int32, [c_int32, c_int32, c_int32, c_int32]),
    "MoveJOG": (c_int32, [c_int32, c_int16, c_int16, c_int16]),
    "StopMove": (c_int32, [c_int32]),
    "StopJOG": (c_int32, [c_int32]),
    "StopNow": (c_int32, [c_int32]),
    "MoveOriginPosition": (c_int32, [c_int32]),
    "SetMoveSpeeds": (c_int32, [c_int32, c_uint16, c_int32, c_int32, c_int32]),
    "CP310SetStageDirection": (c_int32, [c_int32, c_int32, c_int32]),
    "StgSetStageDirection": (c_int32, [c_int32, c_int32, c_int32]),
    "SetAxisSign": (c_int32, [c_int32, c_int32, c_int16]),
    # Maker-specific
    "SetAxisNum": (c_int32, [c_int32, c_uint16, c_uint16, c_uint16]),
    "SetTrigger": (c_int32, [c_int32, c_int16, c_int32]),
    "OnceTrigger": (c_int32, [c_int32]),
    "StopTrigger": (c_int32, [c_int32]),
    "GetTriggerRange": (c_int32, [c_int32, _i32p, _i32p]),
    # Why a call failed
    "AstrelLastError": (c_int32, []),
    "AstrelLastErrorText": (c_int32, [c_char_p, c_int32]),
    "AstrelClearLastError": (None, []),
    # The library
    "AstrelVersion": (c_int32, [c_char_p, c_int32]),
}

_loaded: Optional[ctypes.CDLL] = None
_loading = threading.Lock()


def _version_of(dll: ctypes.CDLL) -> tuple[int, str]:
    """The loaded library's version, as a number and as text; NotFound for a
    library older than ``AstrelVersion`` or of another major version."""
    where = getattr(dll, "_name", "libastrel")
    try:
        function = dll.AstrelVersion
    except AttributeError:
        raise NotFound(f"{where} is older than libastrel 1.1.0, which this package "
                       "needs (it has no AstrelVersion)") from None
    function.restype, function.argtypes = _EXPORTS["AstrelVersion"]
    text = ctypes.create_string_buffer(32)
    number = function(text, 32)
    shown = text.value.decode("ascii", "replace")
    if number // 10000 != REQUIRED_VERSION // 10000 or number < REQUIRED_VERSION:
        raise NotFound(f"{where} is libastrel {shown}; this package needs 1.1.0 or a later 1.x")
    return number, shown


def library() -> ctypes.CDLL:
    """The loaded library, every export given its argument and result types;
    its version is checked on loading."""
    global _loaded
    with _loading:
        if _loaded is None:
            dll = load_library()
            _version_of(dll)
            for name, (restype, argtypes) in _EXPORTS.items():
                function = getattr(dll, name)
                function.restype = restype
                function.argtypes = argtypes
            _loaded = dll
        return _loaded


def version() -> str:
    """The loaded library's version as text, for example "1.1.0"."""
    return _version_of(library())[1]


def __getattr__(name: str) -> Any:
    """``lib.MoveABS`` and the like: the typed export, loading the library
    first. Without a library, a ``LibraryMissing`` (a ``NotFound`` that is an
    ``AttributeError``) says why."""
    if name in _EXPORTS:
        try:
            return getattr(library(), name)
        except NotFound as missing:
            raise LibraryMissing(str(missing), reason=missing.reason) from None
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def __dir__() -> list[str]:
    return sorted(list(globals()) + list(_EXPORTS))


def last_error() -> tuple[int, str]:
    """This thread's last error: its code (an ``ErrorCode`` where this package
    knows it) and the library's message."""
    dll = library()
    code = dll.AstrelLastError()
    size = 256
    while True:
        buffer = ctypes.create_string_buffer(size)
        length = dll.AstrelLastErrorText(buffer, size)
        if length < size:
            break
        size = length + 1
    text = buffer.value.decode("ascii", errors="backslashreplace")
    known = code in ErrorCode._value2member_map_
    return (ErrorCode(code) if known else code), text


def port_device(handle: int) -> Optional[str]:
    """The device the handle's port opens (``GetPortDevice``), or None for a bad handle."""
    buffer = ctypes.create_string_buffer(4096)  # a path's longest
    if library().GetPortDevice(handle, buffer, len(buffer)) != 1:
        return None
    return buffer.value.decode("utf-8", "surrogateescape")


def use_stage_name(handle: int) -> Optional[bytes]:
    """The stage name stored for a handle (``GetUseStageName``), its copy released."""
    dll = library()
    pointer = dll.GetUseStageName(handle)
    if not pointer:
        return None
    try:
        return ctypes.string_at(pointer)
    finally:
        dll.FreeStageName(pointer)
