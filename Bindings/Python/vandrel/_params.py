"""A camera's parameters: the Param record and the Params mapping."""

import collections.abc as _abc
import warnings as _warnings
from dataclasses import dataclass as _dataclass
from typing import Any, Dict, Iterator, Optional


class NoEffectWarning(UserWarning):
    """A parameter was written that this camera's driver sends to no camera:
    it is kept, saved and restored, but the frames do not change."""



@_dataclass(frozen=True)
class Param:
    """One parameter of a camera, as read when it was asked for.

    name: the key it was asked by; label: the driver's text; feature: its
    English name ("Gain", "ExposureTime1"; None for another plug-in's);
    unit: "px", "µm", "0.1 ms" or ""; applies: when a written value reaches
    the camera: "apply" (on apply()), "select" (when its exposure
    configuration is selected; apply() selects the current one), "never"
    (kept, saved and restored, sent to no camera) or "live"; kind: the
    descriptor's class; json_key: the key of its value in the settings JSON;
    type: "int", "float", "bool", "str", "index" (a choice) or "options" (a
    list of bools); limits: (min, max, step) of a number; choices: the option
    or choice names; level; group: the heading it stands under; index: its
    position in "paramsWrap"; option: for one option of a check box, which.
    """

    name: str
    label: str
    description: str
    kind: str
    json_key: Optional[str]
    type: str
    value: Any
    limits: Optional[tuple]
    choices: Optional[tuple]
    level: int
    group: str
    index: int
    feature: Optional[str] = None
    unit: str = ""
    applies: Optional[str] = None
    option: Optional[int] = None


class Params(_abc.MutableMapping):
    """The camera's parameters by name: the label (or the option names of a
    check box without one), and also the English name ("Gain") or one
    option of a check box ("ReverseX", "水平镜像"). Reading gives a Param
    with the current value. Assigning writes the value through the
    descriptor and has the driver check it, so the next read shows what it
    made of it; whether the camera then uses it, Param.applies says: a
    parameter the driver never sends warns once (NoEffectWarning)."""

    def __init__(self, native: Any) -> None:
        self._native = native
        self._warned: set = set()

    def _all(self) -> Dict[str, Param]:
        return {d["name"]: Param(**d) for d in self._native.params()}

    def __getitem__(self, name: str) -> Param:
        if not isinstance(name, str):
            raise KeyError(name)
        return Param(**self._native.param(name))

    def __setitem__(self, name: str, value: Any) -> None:
        if not isinstance(name, str):
            raise KeyError(name)
        applies = self._native.set_param(name, value)
        if applies == "never":
            p = self[name]
            key = (p.index, p.option)
            if key not in self._warned:
                self._warned.add(key)
                shown = f"{p.feature} ({p.label})" if p.feature else p.label
                _warnings.warn(f"{shown} is kept and saved, but this camera's driver sends it to no camera: "
                               "the frames do not change", NoEffectWarning, stacklevel=2)

    def __delitem__(self, name: str) -> None:
        raise TypeError("a camera's parameters cannot be removed")

    def __iter__(self) -> Iterator[str]:
        return iter([d["name"] for d in self._native.params()])

    def __len__(self) -> int:
        return len(self._native.params())

    def values_dict(self) -> Dict[str, Any]:
        """{name: value} of every parameter."""
        return {name: p.value for name, p in self._all().items()}

    def features(self) -> Dict[str, Param]:
        """The parameters by English name, each check box option on its own."""
        out: Dict[str, Param] = {}
        for p in self._all().values():
            if not p.feature:
                continue
            if p.type == "options":
                for f in p.feature.split("/"):
                    out[f] = self[f]
            else:
                out[p.feature] = self[p.feature]
        return out

    def __repr__(self) -> str:
        return "Params({" + ", ".join(f"{n!r}: {p.value!r}" for n, p in self._all().items()) + "})"
