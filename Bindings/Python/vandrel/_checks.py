"""Checks of the arguments the module is given: the wrong type raises
TypeError naming the argument, before anything reaches the camera."""

import os as _os
from typing import Any, Optional


def _kind(value: Any) -> str:
    return type(value).__name__


def _check_int(name: str, value: Any) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an int, not {value!r} ({_kind(value)})")
    return value


def _check_bool(name: str, value: Any) -> bool:
    if not isinstance(value, bool):
        raise TypeError(f"{name} must be True or False, not {value!r} ({_kind(value)})")
    return value


def _check_seconds(name: str, value: Any, *, none: bool = True) -> Optional[float]:
    if value is None and none:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        allowed = "None or a number of seconds" if none else "a number of seconds"
        raise TypeError(f"{name} must be {allowed}, not {value!r} ({_kind(value)})")
    return float(value)


def _check_path(name: str, value: Any, *, none: bool = True) -> Optional[str]:
    if value is None and none:
        return None
    if not isinstance(value, (str, _os.PathLike)):
        allowed = "None, a str or a path" if none else "a str or a path"
        raise TypeError(f"{name} must be {allowed}, not {value!r} ({_kind(value)})")
    return _os.fspath(value)
