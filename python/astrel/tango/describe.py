"""An attribute's unit, format and range, set from a device's properties
without overwriting what an operator configured since."""

from __future__ import annotations

import math
import threading
from typing import Any, Optional

#: What TANGO shows for a setting nobody configured.
_UNSET = {"unit": {""}, "format": {"%6.2f", "%d", ""},
          "min_value": {"Not specified", ""}, "max_value": {"Not specified", ""},
          "description": {"No description", ""}}
# What this server last set, by device and attribute: an Init may replace
# it; a value that differs was configured by an operator and is kept.
_set_by_us: dict[tuple[str, str, str], str] = {}
_lock = threading.Lock()


def number(value: Optional[float]) -> str:
    """A range bound as TANGO takes it; "Not specified" for none."""
    return "Not specified" if value is None or not math.isfinite(value) else repr(float(value))


def decimals(scale: Optional[float]) -> str:
    """A format that shows one count: as many decimals as a count needs in user units."""
    if scale is None:
        return "%.0f"
    return f"%.{max(0, math.ceil(math.log10(abs(scale)) - 1e-9))}f"


def describe(device: Any, name: str, **settings: str) -> None:
    """Sets the attribute's ``unit``, ``format``, ``min_value``,
    ``max_value`` or ``description`` where TANGO still has its default or
    this server's earlier value."""
    attr = device.get_device_attr().get_attr_by_name(name)
    shown = attr.get_properties()
    ours = []
    with _lock:
        for field, value in settings.items():
            present = getattr(shown, field)
            if present in _UNSET[field] or present == _set_by_us.get((device.get_name(), name,
                                                                      field)):
                setattr(shown, field, value)
                ours.append(field)
        if not ours:
            return  # every setting is an operator's
        attr.set_properties(shown)
        now = attr.get_properties()  # as TANGO keeps it ("500" for "500.0")
        for field in ours:
            _set_by_us[(device.get_name(), name, field)] = getattr(now, field)
