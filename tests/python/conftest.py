"""Shared pieces of the Python package's tests: a simulated stage of any maker."""

import contextlib

import astrel


@contextlib.contextmanager
def sim_stage(maker, model, time_scale=1000, fault=None, **options):
    """A Stage on a simulated controller, with a short reply time-out."""
    options.setdefault("timeout", 0.3)
    with astrel.simulated(maker, model, time_scale, fault) as device:
        with astrel.Stage(maker, model, device=device, **options) as stage:
            yield stage
