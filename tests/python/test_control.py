"""What a control does is what the camera does: trigger mode, ordered
numbered triggers, writes that take effect never, Apply and the exposure in
use, strict types, frames' fields, logging and the type stubs."""

import ast
import json
import logging
import os
import warnings

import pytest

import vandrel
from conftest import COLOUR, MONO, device_value


def test_trigger_mode_is_the_cameras_own_and_a_free_running_camera_takes_no_trigger():
    with vandrel.open(COLOUR) as cam:
        assert cam.continuous
        with pytest.raises(RuntimeError, match="in trigger mode only by its own configuration"):
            cam.continuous = False
        with pytest.raises(RuntimeError, match="runs free .* would ignore a soft trigger"):
            cam.soft_trigger()
        assert cam.continuous
    with vandrel.open(MONO) as cam:
        assert not cam.continuous
        with pytest.raises(RuntimeError):
            cam.continuous = False


def test_host_numbered_triggers_sent_back_to_back_keep_their_own_numbers():
    with vandrel.open(MONO) as cam:
        cam.set_grouping(1, 3, host_numbered=True)
        cam.running = True
        for product, capture in [(9, 1), (9, 2), (10, 1), (10, 2)]:
            cam.soft_trigger(product, capture)
        frames = cam.grab(4, timeout=3)
        assert [(f.product, f.capture) for f in frames] == [(9, 1), (9, 2), (10, 1), (10, 2)]
        assert [f.cycle for f in frames] == [3, 3, 1, 1]
        assert [f.sequence for f in frames] == [1, 2, 3, 4]
        assert cam.triggers_pending == 0


def test_writes_the_driver_never_sends_warn_once_and_apply_makes_the_rest_take_effect(sdk):
    with vandrel.open(COLOUR) as cam:
        assert cam.params["Gain"].applies == "never"
        assert cam.params["ColorImage"].applies == "apply"
        assert cam.params["ExposureTime1"].applies == "select"
        assert (cam.params["ExposureTime1"].unit, cam.params["Width"].unit) == ("0.1 ms", "px")
        assert cam.params["曝光时间1"].feature == "ExposureTime1"
        with pytest.warns(vandrel.NoEffectWarning, match=r"Gain \(模拟增益\) is kept and saved"):
            cam.params["Gain"] = 7
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            cam.params["模拟增益"] = 8  # the same parameter: warned once
            cam.params["彩色图像"] = True  # takes effect on apply(): no warning
        with pytest.warns(vandrel.NoEffectWarning, match="ReverseY"):
            cam.params["ReverseY"] = True
        assert cam.params["水平镜像/垂直镜像"].value == [False, True]
        assert cam.params["Gain"].value == 8

        # Colour and exposure wait for apply().
        # Short enough that a free-running camera's lines, which wait for
        # the exposure, still give frames at once.
        lo, hi, _ = cam.params["ExposureTime1"].limits
        cam.params["ExposureTime1"] = min(hi, lo * 4)
        before = device_value(sdk, COLOUR, "exposureTime")
        cam.flush()
        assert cam.grab(2, timeout=3)[-1].format == "Mono8"
        cam.apply()
        assert device_value(sdk, COLOUR, "exposureTime") != before
        frame = cam.grab(3, timeout=3)[-1]
        assert (frame.format, frame.image.shape[2]) == ("RGB8", 3)


def test_the_colour_choice_of_a_monochrome_sensor_is_said_to_do_nothing():
    with vandrel.open(MONO) as cam:
        cam.params["ColorImage"] = True
        with pytest.warns(vandrel.NoEffectWarning, match=f"camera {MONO} has a monochrome sensor"):
            cam.apply()
        # Running: a preview keeps no frame sooner than 50 ms after the last.
        cam.running = True
        cam.soft_trigger()
        assert cam.grab(1, timeout=3)[0].format == "Mono8"


def test_after_a_load_the_camera_runs_with_the_exposure_the_settings_show(sdk, tmp_path):
    with vandrel.open(COLOUR) as cam:
        # Short enough that a free-running camera's lines, which wait for
        # the exposure, still give frames at once.
        lo, hi, _ = cam.params["ExposureTime1"].limits
        cam.params["ExposureTime1"] = min(hi, lo * 4)
        path = tmp_path / "bright.json"
        cam.save_settings(path)
        saved = json.loads(path.read_text())["cameras"][COLOUR]["paramsWrap"]
        assert [e.get("name") for e in saved][11:14] == ["ExposureConfiguration", "ExposureTime1", "FrameSpeed"]
    def run_dark(cam):
        cam.params["ExposureTime1"] = lo
        cam.apply()
        return device_value(sdk, COLOUR, "exposureTime")

    with vandrel.open(COLOUR) as cam:
        dark = run_dark(cam)
        cam.load_settings(path)
        bright = device_value(sdk, COLOUR, "exposureTime")
        assert bright > dark
        run_dark(cam)
    with vandrel.open(COLOUR, settings=path) as cam:
        assert device_value(sdk, COLOUR, "exposureTime") == bright
    # A configuration never set holds 0, outside the camera's range: not
    # sent, and said so.
    with vandrel.open(COLOUR) as cam:
        fresh = cam.settings()
        with pytest.warns(vandrel.ExposureNotSentWarning, match="outside the camera's range"):
            cam.load_settings(fresh)


def test_strict_types_name_the_argument():
    with pytest.raises(TypeError, match="serial must be a str, not None"):
        vandrel.open(None)
    with pytest.raises(TypeError, match="queue_size must be an int"):
        vandrel.open(COLOUR, queue_size="8")
    with vandrel.open(COLOUR) as cam:
        with pytest.raises(TypeError, match="running must be True or False, not 'no'"):
            cam.running = "no"
        with pytest.raises(TypeError, match="running must be True or False, not 1"):
            cam.running = 1
        assert cam.running is False
        with pytest.raises(TypeError, match="captures_per_product must be an int, not '2'"):
            cam.set_grouping("2")
        with pytest.raises(TypeError, match="index must be an int, not 0.0"):
            cam.select_exposure(0.0)
        with pytest.raises(TypeError, match="timeout must be None or a number of seconds, not '1'"):
            cam.grab(1, timeout="1")
        with pytest.raises(vandrel.AlreadyOpenError, match=f"camera {COLOUR} is already open"):
            vandrel.open(COLOUR)
        # load_settings takes the dict that settings() gives.
        cam.load_settings(cam.settings())
    with vandrel.open(COLOUR) as again:
        assert again.is_open, "closed cameras open again"


def test_frames_carry_their_size_format_number_and_time():
    with vandrel.open(COLOUR, queue_size=2) as cam:
        first = cam.grab(1, timeout=3)[0]
        assert (first.width, first.height) == (256, 32)
        assert first.image.shape == (32, 256)
        assert first.format == "Mono8"
        assert first.time_ns == int(first.time.timestamp() * 1000) * 1000000
        # Frames dropped by the full queue leave gaps in the numbers.
        cam.flush()
        import time
        time.sleep(0.2)
        later = cam.grab(2, timeout=3)
        assert later[1].sequence == later[0].sequence + 1
        assert later[0].sequence > first.sequence + 1
        assert cam.dropped > 0


def test_the_drivers_messages_go_to_logging(caplog):
    with caplog.at_level(logging.INFO, logger="vandrel"):
        cam = vandrel.open(COLOUR)
        cam.params["图像的宽度"] = 128
        cam.close()
    records = [(r.name, r.levelname, r.getMessage()) for r in caplog.records]
    assert ("vandrel", "INFO", "CameraVandrel::paramsChanged") in records
    assert ("vandrel", "INFO", "cameraVandrel Close") in records


def test_the_stubs_describe_the_native_module():
    package = os.path.dirname(vandrel.__file__)
    assert os.path.isfile(os.path.join(package, "py.typed"))
    with open(os.path.join(package, "_vandrel.pyi"), encoding="utf-8") as f:
        stub = ast.parse(f.read())
    declared = {node.name for node in stub.body if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
    native = {n for n in dir(vandrel._vandrel) if not n.startswith("__")}
    assert declared == native
    for cls in ("Frame", "_Camera"):
        body = next(n for n in stub.body if isinstance(n, ast.ClassDef) and n.name == cls).body
        members = {n.name for n in body if isinstance(n, ast.FunctionDef)}
        members |= {n.target.id for n in body if isinstance(n, ast.AnnAssign)}
        real = {n for n in dir(getattr(vandrel._vandrel, cls)) if not n.startswith("__")}
        assert members == real, cls
