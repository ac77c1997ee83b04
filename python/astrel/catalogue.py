"""The makers and models the library knows, and naming a maker."""

from __future__ import annotations

import ctypes
import threading
from typing import Callable, NamedTuple, Optional, Union

from . import lib
from .errors import BadArgument

#: A maker as a type number (1), a name ("Prior") or a short name ("prior").
MakerChoice = Union[int, str]

# The makers' short names, by maker type, as the astrel tool takes them.
_SHORT_NAMES = {0: "qt", 1: "prior", 2: "suruga", 3: "sigma", 4: "hirox", 6: "cp310"}
# The one maker whose C jog runs the other way: MoveJOG +1 drives a Prior
# stage to its minus side, which hosts of the C interface rely on. Every
# floor of this package turns it round from here, so that +1 runs to plus.
_C_JOG_SIGNS = {1: -1}
# Maker type 6 has no entry in the library's catalogue; its two models.
_UNLISTED_MODELS = {6: (("CP-310", 3), ("CP-500", 2))}
# A list longer than this is cut: a driver's list that never ends cannot hold a caller.
_MAX_ENTRIES = 64
# The catalogue's cursors are shared by every caller in the process.
_cursor = threading.Lock()


class Maker(NamedTuple):
    """A maker: its type number, its name (None for a maker the library's
    list leaves out) and its short name."""

    type: int
    name: Optional[str]
    short_name: str

    @property
    def label(self) -> str:
        """The name, or the short name when there is none."""
        return self.name or self.short_name

    @property
    def c_jog_sign(self) -> int:
        """Where a jog of +1 through the C interface (``MoveJOG``) runs on
        this maker's stages: +1 to plus, -1 to minus."""
        return _C_JOG_SIGNS.get(self.type, 1)


class Model(NamedTuple):
    """A stage model: its name, its axis count, and the maker's speed and
    acceleration units (several are joined by ", ")."""

    name: str
    axes: int
    speed_unit: str
    accel_unit: str


def _entries(first: Callable[[ctypes.Array[ctypes.c_char]], int],
             next_: Callable[[ctypes.Array[ctypes.c_char]], int],
             limit: int = _MAX_ENTRIES) -> list[bytes]:
    entries: list[bytes] = []
    buffer = ctypes.create_string_buffer(64)
    found = first(buffer)
    while found == 1 and len(entries) < limit:
        entries.append(buffer.value)
        ctypes.memset(buffer, 0, 64)
        found = next_(buffer)
    return entries


def makers() -> list[Maker]:
    """Every maker: the library's list (names decoded from code page 932),
    then the maker type the list leaves out (6, the CP-310 controllers)."""
    with _cursor:
        names = _entries(lib.GetMakerListFirst, lib.GetMakerListNext)
    listed = [Maker(t, n.decode("cp932"), _SHORT_NAMES.get(t, "")) for t, n in enumerate(names)]
    known = {m.type for m in listed}
    return listed + [Maker(t, None, s) for t, s in _SHORT_NAMES.items() if t not in known]


def find_maker(maker: MakerChoice) -> Maker:
    """The maker given by type number, name or short name (any letter case)."""
    everyone = makers()
    if isinstance(maker, str) and maker.strip().lstrip("-").isdigit():
        maker = int(maker)
    for m in everyone:
        if maker == m.type if isinstance(maker, int) else (
            maker.casefold() in ((m.name or "").casefold(), m.short_name)
        ):
            return m
    choices = ", ".join(f"{m.type} {m.label}" for m in everyone)
    raise BadArgument(f"unknown maker {maker!r} (makers: {choices})", operation="find_maker")


def _units(first: Callable[..., int], next_: Callable[..., int], maker_type: int,
           count: int) -> str:
    units = _entries(lambda b: first(maker_type, b), next_, max(count, 1))
    distinct = list(dict.fromkeys(u.decode("cp932") for u in units))
    return ", ".join(distinct) or "pps"


def models(maker: MakerChoice) -> list[Model]:
    """The maker's stage models, each with its axis count and the units of
    ``Stage.set_speeds``: ``models("prior")`` gives
    ``[Model(name='ProScan', axes=3, speed_unit='1-100', accel_unit='1-100')]``."""
    chosen = find_maker(maker)
    if chosen.type in _UNLISTED_MODELS:
        return [Model(n, a, "pps", "msec") for n, a in _UNLISTED_MODELS[chosen.type]]
    axes = ctypes.c_int32(0)
    counts: list[int] = []

    def counted(found: int) -> int:
        if found == 1:
            counts.append(axes.value)
        return found

    with _cursor:
        names = _entries(lambda b: counted(lib.GetStageListFirst(chosen.type, ctypes.byref(axes), b)),
                         lambda b: counted(lib.GetStageListNext(ctypes.byref(axes), b)))
        speed = _units(lib.GetSpeedUnitListFirst, lib.GetSpeedUnitListNext, chosen.type, len(names))
        accel = _units(lib.GetAcclUnitListFirst, lib.GetAcclUnitListNext, chosen.type, len(names))
    return [Model(n.decode("cp932"), c, speed, accel) for n, c in zip(names, counts)]


def find_model(maker: MakerChoice, model: str) -> Optional[Model]:
    """The maker's model named ``model`` (ASCII case and surrounding spaces
    ignored), or None when the maker has no such model."""
    wanted = model.strip().casefold()
    return next((m for m in models(maker) if m.name.casefold() == wanted), None)
