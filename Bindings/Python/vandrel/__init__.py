"""Vandrel's VD-XG line-scan cameras from Python.

    import vandrel
    serials, device_count = vandrel.cameras()
    with vandrel.open(serials[0]) as cam:
        for frame in cam.grab(5, timeout=2):
            print(frame.product, frame.capture, frame.cycle, frame.image.mean())

Frames are numpy arrays over the driver's own pixels: nothing is copied, and
an array stays valid for as long as Python holds it. The cameras run on one
runtime thread of their own; waiting for frames releases the GIL.
"""

import atexit as _atexit
import collections.abc as _abc
import json as _json
import os as _os
from dataclasses import dataclass as _dataclass
from typing import Any, NamedTuple, Optional, Tuple

from . import _vandrel
from ._vandrel import Frame

__all__ = ["cameras", "open", "shutdown", "Camera", "Frame", "Param", "Params", "LinkEvent"]

_MODULE_DIR = _os.path.dirname(_os.path.abspath(__file__))


def _path(p):
    return None if p is None else _os.fspath(p)


def cameras(plugin_dir=None, sim_config=None) -> Tuple[list, int]:
    """The serial numbers of the VD-XG cameras, and the SDK's device count.

    plugin_dir: the folder of libVandrel.so (default: the installed plug-in,
    or the build tree's when run from there). sim_config: a configuration of
    the simulated cameras, applied once per process before the first use.
    """
    serials, count = _vandrel.cameras(_path(plugin_dir), _path(sim_config), _MODULE_DIR)
    return list(serials), count


def open(serial: str, settings=None, *, queue_size: int = 8, plugin_dir=None, sim_config=None) -> "Camera":
    """Opens a camera and starts its acquisition; use it as a context manager.

    settings: a settings file (as save_settings writes, or {"paramsWrap": [...]})
    or a dict of the same; None keeps the camera's defaults, or, for a
    simulated camera replaying a recording, loads the settings recorded with
    it. queue_size: how
    many frames wait for the program; when full, the oldest is dropped and
    counted in Camera.dropped.
    """
    native = _vandrel.open(serial, _path(plugin_dir), _path(sim_config), queue_size, _MODULE_DIR)
    cam = Camera(native)
    try:
        if settings is None:
            native.load_settings_json(native.recorded_settings_json(), "the recording's settings")
        elif isinstance(settings, dict):
            native.load_settings_json(_json.dumps(settings), "settings")
        else:
            native.load_settings_file(_os.fspath(settings))
    except BaseException:
        cam.close()
        raise
    return cam


def shutdown() -> None:
    """Closes every camera and stops the runtime. Frames already taken stay
    valid; the next call of cameras() or open() starts the runtime again."""
    _vandrel.shutdown()


_atexit.register(_vandrel.shutdown)


class LinkEvent(NamedTuple):
    """A change of a camera's link: kind is "lost" or "reconnected"."""

    kind: str
    time: Any  # a timezone-aware datetime


@_dataclass(frozen=True)
class Param:
    """One parameter descriptor of a camera, as read when it was asked for.

    kind: the descriptor's class ("LineEditCameraParam", "ComboBoxParam",
    "CheckBoxParam", ...); json_key: the key of its value in the settings
    JSON; type: "int", "float", "bool", "str", "index" (a choice) or
    "options" (a list of bools); limits: (min, max, step) of a number;
    choices: the option or choice names; level: the descriptor's level;
    group: the heading it stands under; index: its position in "paramsWrap".
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


class Params(_abc.MutableMapping):
    """The camera's parameters by name (the label, or the option names for
    descriptors without one). Reading gives a Param with the current value;
    assigning writes the value through the descriptor and has the camera
    apply it, so the next read shows what the camera made of it."""

    def __init__(self, native):
        self._native = native

    def _all(self):
        return {d["name"]: Param(**d) for d in self._native.params()}

    def __getitem__(self, name):
        params = self._all()
        if name not in params:
            raise KeyError(f"camera {self._native.serial} has no parameter {name}")
        return params[name]

    def __setitem__(self, name, value):
        self._native.set_param(name, value)

    def __delitem__(self, name):
        raise TypeError("a camera's parameters cannot be removed")

    def __iter__(self):
        return iter([d["name"] for d in self._native.params()])

    def __len__(self):
        return len(self._native.params())

    def values_dict(self):
        """{name: value} of every parameter."""
        return {name: p.value for name, p in self._all().items()}

    def __repr__(self):
        return "Params({" + ", ".join(f"{n!r}: {p.value!r}" for n, p in self._all().items()) + "})"


class Camera:
    """An open camera. Every operation runs on the runtime's thread; waits
    release the GIL and answer Ctrl-C."""

    def __init__(self, native):
        self._native = native
        self.params = Params(native)

    # Life
    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self) -> None:
        """Stops and closes the camera. Frames already taken stay valid."""
        self._native.close()

    @property
    def is_open(self) -> bool:
        return self._native.is_open

    @property
    def serial(self) -> str:
        return self._native.serial

    @property
    def camera_index(self) -> int:
        return self._native.camera_index

    def __repr__(self):
        state = "open" if self.is_open else "closed"
        return f"<vandrel.Camera {self.serial} {state}>"

    # Acquisition
    def select_exposure(self, index: int) -> None:
        """Sends exposure configuration `index` to the camera."""
        self._native.select_exposure(index)

    def set_grouping(self, captures_per_product: int = 1, products_per_cycle: int = 1, *,
                     cycle_timeout: int = 0, host_numbered: bool = False, auto_count: int = 0) -> None:
        """How frames are numbered while running: captures per product,
        products per cycle, a time-out in ms for an unfinished group (0: none).
        host_numbered: the numbers come from soft_trigger(product, capture),
        and with auto_count > 0 count on from there."""
        self._native.set_grouping(captures_per_product, products_per_cycle, cycle_timeout, host_numbered, auto_count)

    def soft_trigger(self, product: int = 0, capture: int = 0) -> None:
        """Fires a software trigger (a camera in trigger mode sends one frame)."""
        self._native.soft_trigger(product, capture)

    @property
    def running(self) -> bool:
        """True: frames are numbered by product and none is skipped; False:
        previews, at most one every 50 ms, numbered (0, 1, 1)."""
        return self._native.running

    @running.setter
    def running(self, on: bool) -> None:
        self._native.running = bool(on)

    @property
    def continuous(self) -> bool:
        """Whether the camera runs free rather than on triggers."""
        return self._native.continuous

    @continuous.setter
    def continuous(self, on: bool) -> None:
        self._native.continuous = bool(on)

    # Settings
    def save_settings(self, path) -> None:
        """Writes {"cameras": {serial: {"paramsWrap": [...]}}} atomically."""
        self._native.save_settings_file(_os.fspath(path))

    def load_settings(self, path) -> None:
        """Loads a settings file as save_settings writes it, or one holding
        {"paramsWrap": [...]}, and restarts acquisition with it."""
        self._native.load_settings_file(_os.fspath(path))

    def settings(self) -> dict:
        """{"paramsWrap": [...]} of the current values."""
        return _json.loads(self._native.settings_json())

    def snapshot(self) -> None:
        """Remembers the current parameter values inside the camera."""
        self._native.snapshot()

    def restore(self) -> None:
        """Brings back the values of the last snapshot()."""
        self._native.restore()

    # Frames
    def grab(self, n: int, timeout: Optional[float] = 5.0) -> list:
        """The next n frames; timeout: seconds to wait for each (None: no
        limit). Raises TimeoutError when a frame does not come in time, and
        EOFError ("camera ...: recording ended after N frames") when a
        replayed recording has ended before n frames."""
        return self._native.grab(n, timeout)

    def frames(self, timeout: Optional[float] = 5.0):
        """Yields frames as they come; raises TimeoutError when none comes
        within `timeout` seconds; ends when the camera is closed, interrupt()
        is called or a replayed recording has ended. A lost link raises
        nothing: after the reconnection the frames flow on."""
        while True:
            try:
                frame = self._native.next_frame(timeout)
            except (InterruptedError, EOFError):
                return
            if frame is None:
                return
            yield frame

    @property
    def dropped(self) -> int:
        """Frames dropped because the queue was full."""
        return self._native.dropped

    @property
    def queue_size(self) -> int:
        return self._native.queue_size

    def flush(self) -> None:
        """Discards the frames waiting in the queue."""
        self._native.flush()

    def interrupt(self) -> None:
        """Ends every frames() loop and wait of this camera, from any thread,
        until resume()."""
        self._native.interrupt()

    def resume(self) -> None:
        self._native.resume()

    # Link
    def events(self, timeout: Optional[float] = 0.0):
        """Yields LinkEvent("lost" | "reconnected", time) as they come; ends
        when none comes within `timeout` seconds (0: only those already in)."""
        while True:
            e = self._native.next_event(timeout)
            if e is None:
                return
            yield LinkEvent(*e)
