"""Where the library and the ``astrel`` tool are found.

Each is looked for in this order:

1. the environment variable (``ASTREL_LIBRARY``, ``ASTREL_TOOL``), a path;
2. the system's own search (the dynamic loader's for ``libastrel.so.1``,
   ``PATH`` for ``astrel``);
3. the project's ``build/`` directory, beside the ``python/`` directory the
   package was installed from (or runs from, in a checkout).
"""

from __future__ import annotations

import ctypes
import ctypes.util
import json
import os
import shutil
import sys
from importlib import metadata
from pathlib import Path
from typing import Optional
from urllib.parse import unquote, urlparse

from .errors import NotFound

LIBRARY_VARIABLE = "ASTREL_LIBRARY"
TOOL_VARIABLE = "ASTREL_TOOL"

_LIBRARY_NAME = "astrel.dll" if sys.platform == "win32" else "libastrel.so.1"
_TOOL_IN_BUILD = Path("tools") / "astrel"


def _checkout() -> Optional[Path]:
    """The project's checkout: the parent of the ``python/`` directory that
    pip installed the package from, or of the one it runs from."""
    here = Path(__file__).resolve().parents[2]
    if (here / "python" / "pyproject.toml").is_file():
        return here
    try:
        origin = json.loads(metadata.distribution("astrel").read_text("direct_url.json") or "{}")
    except (metadata.PackageNotFoundError, ValueError):
        return None
    url = urlparse(origin.get("url", ""))
    if url.scheme != "file":
        return None
    return Path(unquote(url.path)).parent


def _in_build(relative: Path) -> Optional[Path]:
    checkout = _checkout()
    return checkout / "build" / relative if checkout is not None else None


def load_library() -> ctypes.CDLL:
    """Loads libastrel; raises ``NotFound`` naming what to set when it is nowhere."""
    chosen = os.environ.get(LIBRARY_VARIABLE)
    if chosen:
        try:
            return ctypes.CDLL(chosen)
        except OSError as error:
            raise NotFound(f"{LIBRARY_VARIABLE}={chosen} cannot be loaded: {error}") from None
    tried = [f"{LIBRARY_VARIABLE} (not set)", f"the system's search for {_LIBRARY_NAME}"]
    for name in (_LIBRARY_NAME, ctypes.util.find_library("astrel")):
        if name:
            try:
                return ctypes.CDLL(name)
            except OSError:
                pass
    built = _in_build(Path(_LIBRARY_NAME))
    if built is not None:
        tried.append(str(built))
        if built.is_file():
            return ctypes.CDLL(str(built))
    raise NotFound(
        f"libastrel not found (tried {', '.join(tried)}): build it "
        f"(scripts/demo.sh does) and set {LIBRARY_VARIABLE} to its path, "
        f"for example {LIBRARY_VARIABLE}=/path/to/libastrel/build/{_LIBRARY_NAME}"
    )


def tool_path() -> str:
    """The ``astrel`` tool's path; raises ``NotFound`` naming what to set when it is nowhere."""
    chosen = os.environ.get(TOOL_VARIABLE)
    if chosen:
        if not os.access(chosen, os.X_OK):
            raise NotFound(f"{TOOL_VARIABLE}={chosen} is not an executable file")
        return chosen
    tried = [f"{TOOL_VARIABLE} (not set)", "astrel on PATH"]
    found = shutil.which("astrel")
    if found:
        return found
    built = _in_build(_TOOL_IN_BUILD)
    if built is not None:
        tried.append(str(built))
        if os.access(built, os.X_OK):
            return str(built)
    raise NotFound(
        f"the astrel tool was not found (tried {', '.join(tried)}): build it "
        f"(scripts/demo.sh does) and set {TOOL_VARIABLE} to its path, "
        f"for example {TOOL_VARIABLE}=/path/to/libastrel/build/tools/astrel"
    )
