"""Vandrel's VD-XG line-scan cameras from Python.

    import vandrel
    serials, device_count = vandrel.cameras()
    with vandrel.open(serials[0]) as cam:
        for frame in cam.grab(5, timeout=2):
            print(frame.product, frame.capture, frame.cycle, frame.image.mean())

Frames are numpy arrays over the driver's own pixels: nothing is copied, and
an array stays valid for as long as Python holds it. The cameras run on one
runtime thread of their own; waiting for frames releases the GIL. The
driver's messages go to the logger "vandrel".
"""

import atexit as _atexit
import json as _json
import os as _os
import warnings as _warnings
from datetime import datetime as _datetime
from typing import Any, Callable, Iterator, List, Mapping, NamedTuple, Optional, Tuple, Union

from . import _vandrel
from ._checks import _check_bool, _check_int, _check_path, _check_seconds, _kind
from ._params import NoEffectWarning, Param, Params
from ._vandrel import AlreadyOpenError, Frame, LinkLostError

__all__ = ["cameras", "open", "shutdown", "Camera", "Frame", "Param", "Params", "LinkEvent",
           "LinkLostError", "AlreadyOpenError", "NoEffectWarning", "ExposureNotSentWarning"]

_MODULE_DIR = _os.path.dirname(_os.path.abspath(__file__))

PathLike = Union[str, "_os.PathLike[str]"]
Seconds = Union[int, float]


class ExposureNotSentWarning(UserWarning):
    """Settings were loaded whose current exposure configuration holds a
    time outside the camera's range: it was not sent, and the camera keeps
    the exposure it had."""


def cameras(plugin_dir: Optional[PathLike] = None, sim_config: Optional[PathLike] = None) -> Tuple[List[str], int]:
    """The serial numbers of the VD-XG cameras, and the SDK's device count.

    plugin_dir: the folder of libVandrel.so (default: the installed plug-in,
    or the build tree's when run from there). sim_config: a configuration of
    the simulated cameras, applied once per process before the first use.
    """
    serials, count = _vandrel.cameras(_check_path("plugin_dir", plugin_dir), _check_path("sim_config", sim_config),
                                      _MODULE_DIR)
    return list(serials), count


def open(serial: str, settings: Union[None, PathLike, Mapping[str, Any]] = None, *, queue_size: int = 8,
         retry_interval: Optional[Seconds] = None, stall_after: Optional[Seconds] = 5.0,
         trigger_timeout: Seconds = 1.0, plugin_dir: Optional[PathLike] = None,
         sim_config: Optional[PathLike] = None) -> "Camera":
    """Opens a camera and starts its acquisition; use it as a context manager.

    settings: a settings file (as save_settings writes, or {"paramsWrap": [...]})
    or a dict of the same; None keeps the camera's defaults, or, for a
    simulated camera replaying a recording, loads the settings recorded with
    it. A file or dict
    without an entry for this camera is refused (KeyError). After loading,
    the stored exposure configuration is selected, so the camera runs with
    the exposure the parameters show.
    queue_size: how many frames wait for the program; when full, the oldest
    is dropped and counted in Camera.dropped.
    retry_interval: seconds between reopening attempts while the link is lost
    or stalled (None: leave it to the driver, which retries every 30 s).
    stall_after: seconds without a frame, while the camera is open and free-
    running, after which it counts as stalled (None or 0: never).
    trigger_timeout: seconds a soft trigger's frame is waited for before the
    next queued trigger goes anyway.
    """
    if not isinstance(serial, str):
        raise TypeError(f"serial must be a str, not {serial!r} ({_kind(serial)})")
    _check_int("queue_size", queue_size)
    native = _vandrel.open(serial, _check_path("plugin_dir", plugin_dir), _check_path("sim_config", sim_config),
                           queue_size, _MODULE_DIR, _check_seconds("retry_interval", retry_interval),
                           _check_seconds("stall_after", stall_after),
                           _check_seconds("trigger_timeout", trigger_timeout, none=False))
    cam = Camera(native)
    try:
        if settings is None:
            native.load_settings_json(native.recorded_settings_json(), "the recording's settings")
        else:
            cam.load_settings(settings)
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
    """A change of a camera's link: kind is "lost", "stalled" or "back";
    time is a timezone-aware datetime; detail says what told."""

    kind: str
    time: _datetime
    detail: str = ""


def _warn_notes(notes: List[Tuple[str, str]]) -> None:
    for kind, text in notes:
        _warnings.warn(text, ExposureNotSentWarning if kind == "exposure" else NoEffectWarning, stacklevel=3)


class Camera:
    """An open camera. Every operation runs on the runtime's thread; waits
    release the GIL and answer Ctrl-C. While the link is lost, operations
    that reach the device raise LinkLostError."""

    def __init__(self, native: Any) -> None:
        self._native = native
        self.params = Params(native)

    # Life
    def __enter__(self) -> "Camera":
        return self

    def __exit__(self, *exc: Any) -> bool:
        self.close()
        return False

    def close(self) -> None:
        """Stops and closes the camera. Frames already taken stay valid."""
        self._native.close()

    @property
    def is_open(self) -> bool:
        """True while the camera is open and its link neither lost nor stalled."""
        return self._native.is_open

    @property
    def link(self) -> str:
        """"open", "lost", "stalled" or "closed"."""
        return self._native.link[0]

    @property
    def link_since(self) -> Optional[_datetime]:
        """When the link state began; None for open since opening or closed."""
        return self._native.link[1]

    @property
    def serial(self) -> str:
        return self._native.serial

    @property
    def camera_index(self) -> int:
        return self._native.camera_index

    def __repr__(self) -> str:
        return f"<vandrel.Camera {self.serial} {self.link}>"

    # Link
    def set_retry_interval(self, seconds: Optional[Seconds]) -> None:
        """Seconds between reopening attempts while lost or stalled; None:
        leave it to the driver's 30 s retry."""
        self._native.set_retry_interval(_check_seconds("seconds", seconds))

    def set_stall_after(self, seconds: Optional[Seconds]) -> None:
        """Seconds without a frame after which an open, free-running camera
        counts as stalled; None or 0: never."""
        self._native.set_stall_after(_check_seconds("seconds", seconds))

    def reconnect(self) -> bool:
        """Tries to reopen a lost or stalled camera now; True when it is back."""
        return self._native.reconnect()

    # Acquisition
    def apply(self) -> None:
        """The Apply step: the current values are loaded into the camera (the
        colour choice reaches it) and the current exposure configuration is
        selected. Warns (ExposureNotSentWarning) when its time is outside
        the camera's range and so not sent, and (NoEffectWarning) when the
        colour choice is on for a camera with a monochrome sensor."""
        _warn_notes(self._native.apply())

    def select_exposure(self, index: int) -> None:
        """Sends exposure configuration `index` (from 0) to the camera."""
        self._native.select_exposure(_check_int("index", index))

    def set_grouping(self, captures_per_product: int = 1, products_per_cycle: int = 1, *,
                     cycle_timeout: int = 0, host_numbered: bool = False, auto_count: int = 0) -> None:
        """How frames are numbered while running: captures per product,
        products per cycle, a time-out in ms for an unfinished group (0: none).
        host_numbered: the numbers come from soft_trigger(product, capture),
        and with auto_count > 0 count on from there."""
        self._native.set_grouping(_check_int("captures_per_product", captures_per_product),
                                  _check_int("products_per_cycle", products_per_cycle),
                                  _check_int("cycle_timeout", cycle_timeout),
                                  _check_bool("host_numbered", host_numbered), _check_int("auto_count", auto_count))

    def soft_trigger(self, product: int = 0, capture: int = 0) -> None:
        """Queues a software trigger for a camera in trigger mode. Triggers go
        one after another: each once the previous one's frame arrived (or
        trigger_timeout passed), so that each frame carries its own numbers.
        Raises RuntimeError on a free-running camera, which would ignore it.
        While not running (a preview) the driver keeps no frame that comes
        sooner than 50 ms after the last one kept (or after opening): a
        trigger then gives no frame."""
        self._native.soft_trigger(_check_int("product", product), _check_int("capture", capture))

    @property
    def triggers_pending(self) -> int:
        """Soft triggers queued and not answered by a frame yet."""
        return self._native.triggers_pending

    def set_trigger_timeout(self, seconds: Seconds) -> None:
        self._native.set_trigger_timeout(_check_seconds("seconds", seconds, none=False))

    @property
    def running(self) -> bool:
        """True: frames are numbered by product and none is skipped; False:
        previews, at most one every 50 ms, numbered (0, 1, 1)."""
        return self._native.running

    @running.setter
    def running(self, on: bool) -> None:
        self._native.running = _check_bool("running", on)

    @property
    def continuous(self) -> bool:
        """Whether the camera runs free rather than on triggers. Only True can
        be set: the driver selects continuous acquisition and nothing else; a
        camera is in trigger mode only by its own configuration."""
        return self._native.continuous

    @continuous.setter
    def continuous(self, on: bool) -> None:
        self._native.continuous = _check_bool("continuous", on)

    # Settings
    def save_settings(self, path: PathLike) -> None:
        """Writes {"cameras": {serial: {"paramsWrap": [...]}}} atomically, each
        entry named ("name": "Gain") for editing by hand."""
        self._native.save_settings_file(_check_path("path", path, none=False))

    def load_settings(self, settings: Union[PathLike, Mapping[str, Any]]) -> None:
        """Loads a settings file as save_settings writes it, one holding
        {"paramsWrap": [...]}, or a dict of either form; restarts acquisition
        with it and selects its current exposure configuration. KeyError when
        it holds no entry for this camera."""
        if isinstance(settings, Mapping):
            result = self._native.load_settings_json(_json.dumps(dict(settings)), "settings")
        else:
            result = self._native.load_settings_file(_check_path("settings", settings, none=False))
        _warn_notes(result)

    def settings(self) -> dict:
        """{"paramsWrap": [...]} of the current values."""
        return _json.loads(self._native.settings_json())

    def snapshot(self) -> None:
        """Remembers the current parameter values inside the camera."""
        self._native.snapshot()

    def restore(self) -> None:
        """Brings back the values of the last snapshot(), with their colour
        choice and exposure."""
        self._native.restore()

    # Frames
    def grab(self, n: int, timeout: Optional[Seconds] = 5.0) -> List[Frame]:
        """The next n frames; timeout: seconds to wait for each (None: no
        limit). Raises TimeoutError when a frame does not come in time, and
        EOFError ("camera ...: recording ended after N frames") when a
        replayed recording has ended before n frames."""
        return self._native.grab(_check_int("n", n), _check_seconds("timeout", timeout))

    def frames(self, timeout: Optional[Seconds] = 5.0, *, events: bool = False,
               on_event: Optional[Callable[[LinkEvent], Any]] = None) -> Iterator[Union[Frame, LinkEvent]]:
        """Yields frames as they come; ends when the camera is closed,
        interrupt() is called or a replayed recording has ended. Raises TimeoutError when none comes within
        `timeout` seconds.

        events=True also yields each LinkEvent in its place among the frames,
        and on_event(event) is called for each in this loop's thread; with
        either, a wait while the link is lost or stalled does not time out:
        the loop goes on once the camera is back."""
        timeout = _check_seconds("timeout", timeout)
        _check_bool("events", events)
        watch = events or on_event is not None
        while True:
            try:
                item = self._native.next_item(timeout) if watch else self._native.next_frame(timeout)
            except (InterruptedError, EOFError):
                return
            if item is None:
                return
            if isinstance(item, tuple):
                event = LinkEvent(*item)
                if on_event is not None:
                    on_event(event)
                if events:
                    yield event
                continue
            yield item

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

    def events(self, timeout: Optional[Seconds] = 0.0) -> Iterator[LinkEvent]:
        """Yields LinkEvent("lost" | "stalled" | "back", time, detail) as they
        come; ends when none comes within `timeout` seconds (0: only those
        already in)."""
        timeout = _check_seconds("timeout", timeout)
        while True:
            e = self._native.next_event(timeout)
            if e is None:
                return
            yield LinkEvent(*e)
