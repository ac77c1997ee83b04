"""A device's properties as the arguments of ``Stage``."""

from __future__ import annotations

from typing import Any, Optional

from ..errors import BadArgument

#: The line ends by name, as a property gives them.
DELIMITERS = {"CRLF": "\r\n", "CR": "\r", "LF": "\n"}


def _text(value: Optional[str]) -> Optional[str]:
    """A text property; None when unset or blank."""
    return value.strip() or None if value is not None else None


def stage_arguments(device: Any) -> tuple[tuple[str, str], dict[str, Any]]:
    """The maker and model, and the keyword arguments of ``Stage``, from the
    device's properties; an unset line setting is left to the driver."""
    maker, model = _text(device.Maker), _text(device.Model)
    if maker is None or model is None:
        raise BadArgument("the device properties Maker and Model are not both set",
                          operation="Init")
    delimiter = _text(device.Delimiter)
    if delimiter is not None and delimiter.upper() not in DELIMITERS:
        raise BadArgument(f"Delimiter {delimiter!r} is not one of {', '.join(DELIMITERS)}",
                          operation="Init")
    options = dict(
        port=device.Port, device=_text(device.Device), timeout=device.TimeOut / 1000,
        signs=tuple(device.AxisSigns), baud=device.Baud, parity=_text(device.Parity),
        data_bits=device.DataBits, stop_bits=device.StopBits, flow=_text(device.FlowControl),
        delimiter=DELIMITERS[delimiter.upper()] if delimiter else None,
        trace=_text(device.Trace) or False)
    return (maker, model), options
