"""An attribute's unit, format and range, set from a device's properties
without overwriting what an operator configured."""

from __future__ import annotations

import math
import threading
from typing import Any, Optional

from tango import DevFailed, Util

#: What TANGO shows for a setting nobody configured.
_UNSET = {"unit": {""}, "format": {"%6.2f", "%d", ""},
          "min_value": {"Not specified", ""}, "max_value": {"Not specified", ""},
          "description": {"No description", ""}}
# TANGO keeps every attribute setting in its database, this server's too: it
# also records there, under this prefix, what it set itself, so that a later
# start or Init tells its own settings (to replace) from an operator's (to keep).
_MARK = "AstrelSet_"
_set_by_us: dict[tuple[str, str, str], str] = {}  # and here, for a server with no database
_lock = threading.Lock()


def _database() -> Any:
    try:
        return Util.instance().get_database()
    except DevFailed:
        return None


def _recorded(device: Any, name: str, fields: list[str]) -> dict[str, str]:
    """What this server last set of the attribute's ``fields``."""
    recorded = {f: _set_by_us[(device.get_name(), name, f)] for f in fields
                if (device.get_name(), name, f) in _set_by_us}
    db = _database()
    if db is not None and len(recorded) < len(fields):
        stored = db.get_device_attribute_property(device.get_name(), {
            name: [_MARK + f for f in fields]}).get(name, {})
        for field in fields:
            values = stored.get(_MARK + field)
            if field not in recorded and values:
                recorded[field] = values[0]
    return recorded


def _record(device: Any, name: str, settings: dict[str, str]) -> None:
    for field, value in settings.items():
        _set_by_us[(device.get_name(), name, field)] = value
    db = _database()
    if db is not None:
        db.put_device_attribute_property(device.get_name(), {
            name: {_MARK + field: [value] for field, value in settings.items()}})


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
    with _lock:
        recorded = _recorded(device, name, list(settings))
        ours = [f for f in settings if getattr(shown, f) in _UNSET[f] or
                getattr(shown, f) == recorded.get(f)]
        if not ours:
            return  # every setting is an operator's
        for field in ours:
            setattr(shown, field, settings[field])
        attr.set_properties(shown)
        now = attr.get_properties()  # as TANGO keeps it ("500" for "500.0")
        _record(device, name, {field: getattr(now, field) for field in ours})
