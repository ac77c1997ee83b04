"""A device's properties as the arguments of ``Stage`` and of its units."""

from __future__ import annotations

import math
from typing import Any, Optional

from ..errors import BadArgument
from ..state import AXIS_NAMES

#: The line ends by name, as a property gives them (any letter case).
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
    if device.TimeOut < 0:
        raise BadArgument(f"TimeOut {device.TimeOut} ms is negative (0: the library's "
                          "default, 5000 ms)", operation="Init")
    options = dict(
        port=device.Port, device=_text(device.Device), timeout=device.TimeOut / 1000,
        signs=tuple(device.AxisSigns), baud=device.Baud, parity=_text(device.Parity),
        data_bits=device.DataBits, stop_bits=device.StopBits, flow=_text(device.FlowControl),
        delimiter=DELIMITERS[delimiter.upper()] if delimiter else None,
        trace=_text(device.Trace) or False)
    return (maker, model), options


def link_key(device: Any) -> str:
    """What the stage is on: devices that give the same share one handle."""
    return _text(device.Device) or f"port index {device.Port}"


def unit_of(device: Any, counted: bool) -> str:
    """The user unit's label (``Unit``; the older ``PositionUnit`` when
    unset); "counts" for a stage without units."""
    given = _text(device.Unit) or _text(getattr(device, "PositionUnit", None))
    return given or ("counts" if counted else "")


def limits_of(values: Any, axis: str) -> Optional[tuple[Optional[float], Optional[float]]]:
    """Soft limits (low, high) from two numbers; an infinite or NaN one is no
    limit on its side. None for no values."""
    if values is None or len(values) == 0:
        return None
    if len(values) != 2:
        raise BadArgument(f"SoftLimits_{axis.upper()} has {len(values)} values, not two "
                          "(low, high)", operation="Init")
    return tuple(v if math.isfinite(v) else None for v in values)  # type: ignore[return-value]


def units_arguments(device: Any, axes: int) -> dict[str, Any]:
    """The keyword arguments of ``Stage.view`` for the model's axes."""
    scale, offset, limits = {}, {}, {}
    for axis in AXIS_NAMES[:axes]:
        letter = axis.upper()
        if getattr(device, f"StepsPerUnit_{letter}") is not None:
            scale[axis] = getattr(device, f"StepsPerUnit_{letter}")
        if getattr(device, f"Offset_{letter}") is not None:
            offset[axis] = getattr(device, f"Offset_{letter}")
        pair = limits_of(getattr(device, f"SoftLimits_{letter}"), axis)
        if pair is not None:
            limits[axis] = pair
    # A limit written to its attribute stays in place of the property's.
    for (index, side), value in getattr(device, "_written_limits", {}).items():
        if index < axes:
            low, high = limits.get(AXIS_NAMES[index], (None, None))
            limits[AXIS_NAMES[index]] = (value, high) if side == "Low" else (low, value)
    return dict(scale=scale, offset=offset, limits=limits,
                unit=unit_of(device, counted=not scale and not offset))
