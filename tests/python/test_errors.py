"""Every failure is a Python exception with a one-line reason; none aborts
the process."""

import pytest

import vandrel
from conftest import COLOUR, MONO


def reason(excinfo):
    text = excinfo.value.args[0]
    assert "\n" not in text
    return text


def test_a_missing_plug_in_is_file_not_found(tmp_path):
    vandrel.shutdown()
    with pytest.raises(FileNotFoundError) as e:
        vandrel.cameras(plugin_dir=tmp_path)
    assert reason(e) == f"no plug-in libVandrel.so in {tmp_path}"
    # The default plug-in loads again afterwards.
    assert vandrel.cameras()[0] == [COLOUR, MONO]
    with pytest.raises(ValueError, match="call vandrel.shutdown"):
        vandrel.cameras(plugin_dir=tmp_path)


def test_an_unknown_camera_is_a_key_error():
    with pytest.raises(KeyError) as e:
        vandrel.open("NOSUCHCAMERA1")
    assert reason(e) == f"no camera NOSUCHCAMERA1 (cameras: {COLOUR}, {MONO})"


def test_settings_files(tmp_path):
    missing = tmp_path / "missing.json"
    with pytest.raises(FileNotFoundError) as e:
        vandrel.open(COLOUR, settings=missing)
    assert reason(e) == f"no settings file {missing}"

    bad = tmp_path / "bad.json"
    bad.write_text('{"paramsWrap": [')
    other = tmp_path / "other.json"
    other.write_text('{"cameras": {"SOMEONEELSE1": {"paramsWrap": []}}}')
    with vandrel.open(COLOUR) as cam:
        with pytest.raises(FileNotFoundError):
            cam.load_settings(missing)
        with pytest.raises(ValueError) as e:
            cam.load_settings(bad)
        assert reason(e).startswith(f"settings file {bad} is not valid JSON")
        with pytest.raises(KeyError) as e:
            cam.load_settings(other)
        assert reason(e) == (f"settings file {other} holds no settings for camera {COLOUR} "
                             "(it holds settings for SOMEONEELSE1)")
        # The same refusal for a dict, with its own origin.
        with pytest.raises(KeyError, match=f"settings holds no settings for camera {COLOUR}"):
            cam.load_settings({"cameras": {"SOMEONEELSE1": {"paramsWrap": []}}})
        with pytest.raises(FileNotFoundError):
            cam.save_settings(tmp_path / "no" / "such" / "dir.json")
        assert len(cam.grab(1, timeout=3)) == 1, "the camera works on"
    with pytest.raises(ValueError, match='holds neither "paramsWrap" nor "cameras"'):
        vandrel.open(COLOUR, settings={"something": 1})


def test_parameters():
    with vandrel.open(COLOUR) as cam:
        with pytest.raises(KeyError) as e:
            cam.params["no such parameter"]
        assert reason(e) == f"camera {COLOUR} has no parameter no such parameter"
        with pytest.raises(KeyError):
            cam.params["no such parameter"] = 1
        with pytest.raises(ValueError) as e:
            cam.params["模拟增益"] = 17
        assert reason(e) == "模拟增益: 17 is out of range 0..16"
        with pytest.raises(ValueError):
            cam.params["模拟增益"] = -1
        with pytest.raises(ValueError, match="choice 3 is out of range 0..2"):
            cam.params["图像帧率"] = 3
        with pytest.raises(ValueError, match='no choice "极速"'):
            cam.params["图像帧率"] = "极速"
        with pytest.raises(ValueError, match="1 value"):
            cam.params["水平镜像/垂直镜像"] = [True]
        with pytest.raises(TypeError):
            cam.params["模拟增益"] = "5"
        with pytest.raises(TypeError):
            cam.params["模拟增益"] = 2.5
        with pytest.raises(TypeError):
            del cam.params["模拟增益"]
        assert cam.params["模拟增益"].value == 0, "nothing was written"
        with pytest.raises(ValueError):
            cam.select_exposure(1)
        with pytest.raises(ValueError):
            cam.set_grouping(0, 1)


def test_timeouts_and_closed_cameras():
    cam = vandrel.open(MONO)
    with pytest.raises(TimeoutError) as e:
        cam.grab(1, timeout=0.05)
    assert reason(e) == f"camera {MONO} delivered no frame within 0.05 s"
    with pytest.raises(TimeoutError):
        next(cam.frames(timeout=0.05))
    with pytest.raises(ValueError):
        cam.grab(1, timeout=-1)
    cam.close()
    cam.close()
    assert list(cam.frames(timeout=0.05)) == []
    with pytest.raises(RuntimeError, match=f"camera {MONO} is closed"):
        cam.grab(1)
    with pytest.raises(RuntimeError, match="is closed"):
        cam.params["模拟增益"] = 1
    with pytest.raises(RuntimeError, match="is closed"):
        cam.running = True
    vandrel.shutdown()
    vandrel.shutdown()
    with pytest.raises(RuntimeError):
        cam.soft_trigger()


def test_the_simulator_is_configured_once(tmp_path):
    other = tmp_path / "other.json"
    other.write_text("{}")
    with pytest.raises(ValueError, match="configured once per process"):
        vandrel.cameras(sim_config=other)
