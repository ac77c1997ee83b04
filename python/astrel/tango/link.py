"""The stages of this server process, one per device they are on: devices
that name the same device share its stage handle and its calls."""

from __future__ import annotations

import threading
from typing import Any, Callable

from ..catalogue import find_maker
from ..errors import BadArgument
from ..stage import Stage
from .calls import Calls

_links: dict[str, "Link"] = {}
_links_lock = threading.Lock()


class Link:
    """A stage opened for the devices of this server that name its device."""

    def __init__(self, key: str, stage: Stage) -> None:
        self.key, self.stage = key, stage
        self.calls = Calls(key)
        stage._opened.gate = self.calls.gate
        self._users = 1

    @classmethod
    def attach(cls, key: str, maker: str, model: str, opening: Callable[[], Stage]) -> "Link":
        """The link of ``key``, opened with ``opening`` by its first user."""
        with _links_lock:
            link = _links.get(key)
            if link is None:
                link = _links[key] = cls(key, opening())
                return link
            stage = link.stage
            if stage.maker.type != find_maker(maker).type or stage.model.lower() != model.lower():
                raise BadArgument(f"{key} is open here as a {stage.maker.label} {stage.model}, "
                                  f"not a {maker} {model}", operation="Init")
            link._users += 1
            return link

    def detach(self) -> None:
        """One user fewer: the last closes the stage."""
        with _links_lock:
            self._users -= 1
            if self._users > 0:
                return
            _links.pop(self.key, None)
        self.calls.close()
        self.stage.close()

    def view(self, **units: Any) -> Stage:
        """The stage in a device's own user units."""
        return self.stage.view(**units)

