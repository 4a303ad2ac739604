"""Parameters and settings: the mapping over the descriptors, writes that the
camera applies, settings files and snapshots."""

import json

import pytest

import vandrel
from conftest import COLOUR, MONO

GAIN = "模拟增益"
EXPOSURE = "曝光时间1"
FRAME_RATE = "图像帧率"
MIRROR = "水平镜像/垂直镜像"
WIDTH = "图像的宽度"
X = "X坐标"


@pytest.fixture
def cam():
    with vandrel.open(COLOUR) as c:
        yield c


def test_the_mapping_describes_every_descriptor(cam):
    params = cam.params
    assert len(params) == 20, "22 descriptors less the two headings"
    gain = params[GAIN]
    assert (gain.kind, gain.json_key, gain.type, gain.level, gain.group) == (
        "LineEditCameraParam", "values", "int", 1, "其它设置")
    assert gain.limits == (0, 16, 1), "the simulated camera's gain range"
    assert gain.description == "设置相机的图像模拟增益值"
    rate = params[FRAME_RATE]
    assert (rate.kind, rate.json_key, rate.type, rate.value) == ("ComboBoxParam", "selectedIndex", "index", 1)
    assert rate.choices == ("低速模式", "普通模式", "高速模式")
    mirror = params[MIRROR]
    assert (mirror.kind, mirror.label, mirror.value) == ("CheckBoxParam", "", [False, False])
    assert params[WIDTH].group == "图像尺寸"
    assert params[EXPOSURE].type == "float"
    # The JSON the camera saves agrees with the mapping, position by position.
    saved = cam.settings()["paramsWrap"]
    for p in params.values():
        assert saved[p.index][p.json_key] == p.value, p.name


def test_values_round_trip_through_the_camera(cam):
    params = cam.params
    lo, hi, _ = params[EXPOSURE].limits
    exposure = round((lo + hi) / 2, 1)
    cam.params[GAIN] = 7
    cam.params[EXPOSURE] = exposure
    cam.params[FRAME_RATE] = "高速模式"
    cam.params[MIRROR] = [True, False]
    cam.params["图像转置"] = True
    after = cam.params
    assert after[GAIN].value == 7
    assert after[EXPOSURE].value == pytest.approx(exposure, rel=1e-6)
    assert after[FRAME_RATE].value == 2
    assert after[MIRROR].value == [True, False]
    assert after["图像转置"].value == [True]
    cam.params[FRAME_RATE] = 0
    assert cam.params[FRAME_RATE].value == 0


def test_the_camera_corrects_what_it_does_not_accept(cam):
    # Widths go in steps of 16: the camera aligns what it is given.
    cam.params[WIDTH] = 200
    assert cam.params[WIDTH].value == 192
    frames = cam.grab(1, timeout=3)
    assert frames[0].image.shape[1] in (192, 256)


def test_settings_file_round_trip(tmp_path):
    path = tmp_path / "settings.json"
    with vandrel.open(COLOUR) as cam:
        cam.params[GAIN] = 9
        cam.params[MIRROR] = [False, True]
        expected = cam.params.values_dict()
        cam.save_settings(path)
    saved = json.loads(path.read_text())
    assert list(saved["cameras"]) == [COLOUR]
    assert len(saved["cameras"][COLOUR]["paramsWrap"]) == 22

    with vandrel.open(COLOUR) as cam:
        assert cam.params[GAIN].value == 0
        cam.load_settings(path)
        assert cam.params.values_dict() == expected
    with vandrel.open(COLOUR, settings=path) as cam:
        assert cam.params.values_dict() == expected
    # The {"paramsWrap": [...]} form, as a dict.
    with vandrel.open(COLOUR, settings=saved["cameras"][COLOUR]) as cam:
        assert cam.params.values_dict() == expected


def test_settings_with_more_exposure_configurations_load_with_all_of_them(tmp_path):
    with vandrel.open(COLOUR) as cam:
        wrap = cam.settings()["paramsWrap"]
    # A file saved by a camera with three configurations: two more exposure times.
    lo = vandrel.open(COLOUR)
    try:
        exposure = lo.params[EXPOSURE].limits[0]
    finally:
        lo.close()
    three = wrap[:12] + [dict(wrap[12], values=exposure + i) for i in range(3)] + wrap[13:]
    three[11] = dict(three[11], selectedIndex=2)
    path = tmp_path / "three.json"
    path.write_text(json.dumps({"paramsWrap": three}))
    with vandrel.open(COLOUR, settings=path) as cam:
        params = cam.params
        assert [n for n in params if n.startswith("曝光时间")] == ["曝光时间1", "曝光时间2", "曝光时间3"]
        assert params["曝光时间3"].value == pytest.approx(exposure + 2)
        assert params["当前曝光配置"].value == 2
        assert params[FRAME_RATE].value == wrap[13]["selectedIndex"], "later descriptors keep their places"
        cam.select_exposure(2)
        with pytest.raises(ValueError, match="has no exposure configuration 3"):
            cam.select_exposure(3)


def test_snapshot_and_restore(cam):
    cam.params[GAIN] = 3
    cam.snapshot()
    cam.params[GAIN] = 11
    cam.restore()
    assert cam.params[GAIN].value == 3
    assert len(cam.grab(1, timeout=3)) == 1, "acquisition runs on after restoring"


def test_continuous_and_soft_trigger():
    with vandrel.open(MONO) as cam:
        with pytest.raises(TimeoutError):
            cam.grab(1, timeout=0.2)
        cam.soft_trigger()
        f = cam.grab(1, timeout=3)[0]
        assert f.image.shape == (16, 128)
        cam.continuous = True
        assert cam.continuous
        assert len(cam.grab(2, timeout=3)) == 2
