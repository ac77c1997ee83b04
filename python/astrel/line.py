"""Line settings by value (9600, "even", 8, ...) to the library's codes."""

from __future__ import annotations

from typing import Mapping, Optional, TypeVar

from .errors import BadArgument
from .lib import DRIVER_DEFAULT, CommunicationParam
from .values import integral, real

K = TypeVar("K")

BAUD_RATES = {rate: code for code, rate in enumerate(
    (110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200,
     128000, 256000))}
PARITIES = {"none": 0, "even": 1, "odd": 2, "mark": 3, "space": 4}
DATA_BITS = {7: 0, 8: 1}
STOP_BITS = {1: 0, 1.5: 1, 2: 2}
FLOW_CONTROLS = {"none": 0, "xon-xoff": 1, "hardware": 2, "rts-cts": 3}
DELIMITERS = {"\r\n": 0, "\r": 1, "\n": 2}


def _code(name: str, value: Optional[K], codes: Mapping[K, int]) -> int:
    """The library's code of a setting; names in any letter case."""
    if value is None:
        return DRIVER_DEFAULT
    if isinstance(value, str) and value.lower() in codes:
        return codes[value.lower()]  # type: ignore[index]
    if not isinstance(value, (str, bool)) and value in codes:
        return codes[value]
    choices = ", ".join(repr(k) for k in codes)
    raise BadArgument(f"{name} {value!r} is not one of {choices}", operation="Stage")


def communication_param(
    port: int,
    baud: Optional[int] = None,
    parity: Optional[str] = None,
    data_bits: Optional[int] = None,
    stop_bits: Optional[float] = None,
    flow: Optional[str] = None,
    delimiter: Optional[str] = None,
    timeout: float = 5.0,
) -> CommunicationParam:
    """The record ``SetCommunicationParam`` takes; None leaves a setting to
    the driver (the controller's usual one). ``timeout`` is in seconds; 0
    takes the library's default (5 s)."""
    port = integral(port, "port", "Stage", (0, 9))
    if real(timeout, "timeout", "Stage") < 0 or timeout > 600:
        raise BadArgument(f"timeout {timeout!r} s is not in 0 .. 600 (0: the library's "
                          "default)", operation="Stage")
    return CommunicationParam(
        port,
        _code("baud", baud, BAUD_RATES),
        _code("parity", parity, PARITIES),
        _code("data_bits", data_bits, DATA_BITS),
        _code("stop_bits", stop_bits, STOP_BITS),
        _code("flow", flow, FLOW_CONTROLS),
        _code("delimiter", delimiter, DELIMITERS),
        0 if timeout == 0 else max(1, round(timeout * 1000)),
    )
