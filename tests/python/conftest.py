"""Shared pieces of the Python package's tests: a simulated stage of any maker."""

import contextlib
from typing import Iterator, Optional

import pytest

import astrel


@contextlib.contextmanager
def sim_stage(maker: str, model: str, time_scale: int = 1000, fault: Optional[str] = None,
              **options: object) -> Iterator[astrel.Stage]:
    """A Stage on a simulated controller, with a short reply time-out."""
    options.setdefault("timeout", 0.3)
    with astrel.simulated(maker, model, time_scale, fault) as device:
        with astrel.Stage(maker, model, device=device, **options) as stage:  # type: ignore[arg-type]
            yield stage


@pytest.fixture
def qt3() -> Iterator[astrel.Stage]:
    with sim_stage("qt", "QT3") as stage:
        yield stage
