"""Replayed recordings and the simulated line through the module: a broken
recording is an error, a recording's settings and its end come through, and
a frame cut short by an encoder stop arrives as a shorter array."""

import ctypes
import json
import os
import subprocess
import sys

import numpy as np
import pytest

import vandrel
from conftest import COLOUR

DESK = "PYDESK000001"


def write_image(path, image):
    """PGM for grey, PPM for RGB: formats the simulator reads without help."""
    kind = b"P5" if image.ndim == 2 else b"P6"
    with open(path, "wb") as f:
        f.write(b"%s\n%d %d\n255\n" % (kind, image.shape[1], image.shape[0]))
        f.write(np.ascontiguousarray(image, dtype=np.uint8).tobytes())


def recording(folder, images, serial=DESK):
    """A recording as vandrel-host --record writes it, with these frames."""
    folder.mkdir(parents=True, exist_ok=True)
    lines = []
    for i, image in enumerate(images):
        name = "%08d_%s.%s" % (i + 1, serial, "pgm" if image.ndim == 2 else "ppm")
        write_image(folder / name, image)
        lines.append(json.dumps({"file": name, "serial": serial, "product": i + 1, "capture": 1, "cycle": 1,
                                 "captureTime": 1000 + 100 * i, "width": image.shape[1], "height": image.shape[0],
                                 "channels": 1 if image.ndim == 2 else 3}))
    (folder / "index.jsonl").write_text("\n".join(lines) + "\n")
    return folder


def desk(frames, mono=True, **keys):
    device = {"productName": "VD-XG2K-C", "serialNumber": DESK, "sensorWidth": 64, "mono": mono,
              "frames": str(frames)}
    device.update(keys)
    return {"devices": [device]}


@pytest.fixture
def configure(sdk, simulated_cameras, tmp_path):
    """Replaces this process's simulated cameras for one test."""
    sdk.VdSimConfigureFile.argtypes = [ctypes.c_char_p]
    sdk.VdSimConfigureError.restype = ctypes.c_char_p

    def apply(population):
        path = tmp_path / "desk.json"
        path.write_text(json.dumps(population))
        assert sdk.VdSimConfigureFile(os.fsencode(path)) == 0, sdk.VdSimConfigureError()

    yield apply
    assert sdk.VdSimConfigureFile(os.fsencode(simulated_cameras)) == 0


RANDOM = np.random.default_rng(5)


def test_a_broken_recording_is_a_value_error_with_the_reason(tmp_path):
    images = [RANDOM.integers(0, 256, (8, 64), dtype=np.uint8) for _ in range(3)]
    lost = recording(tmp_path / "lost", images)
    os.remove(lost / ("00000002_%s.pgm" % DESK))
    cut = recording(tmp_path / "cut", images)
    index = (cut / "index.jsonl").read_bytes()
    (cut / "index.jsonl").write_bytes(index[:-20])
    script = ("import sys, vandrel\n"
              "for call in (lambda: vandrel.cameras(sim_config=sys.argv[1]), lambda: vandrel.open(sys.argv[2])):\n"
              "    try:\n"
              "        call()\n"
              "        print('no error')\n"
              "    except ValueError as e:\n"
              "        print('ValueError:', e)\n")
    cases = [("lost", "%s: no such file" % (lost / ("00000002_%s.pgm" % DESK))),
             ("cut", "%s line 3: " % (cut / "index.jsonl")),
             ("nowhere", "%s: no such directory" % (tmp_path / "nowhere"))]
    for name, says in cases:
        config = tmp_path / (name + ".json")
        config.write_text(json.dumps(desk(tmp_path / name)))
        run = subprocess.run([sys.executable, "-c", script, str(config), DESK], capture_output=True, text=True,
                             timeout=60)
        assert run.returncode == 0, run.stderr
        lines = run.stdout.splitlines()
        assert len(lines) == 2, run.stdout
        for line in lines:
            assert line.startswith("ValueError: simulator configuration %s unusable: " % config), line
            assert says in line, line


def test_a_replay_ends_frames_stop_and_grab_says_after_how_many(configure, tmp_path):
    images = [RANDOM.integers(0, 256, (8, 64), dtype=np.uint8) for _ in range(3)]
    configure(desk(recording(tmp_path / "rec", images)))
    with vandrel.open(DESK) as cam:
        cam.running = True
        frames = list(cam.frames(timeout=5))
        assert len(frames) == 3, "the loop ends with the recording"
        for frame, image in zip(frames, images):
            np.testing.assert_array_equal(frame.image, image)
        with pytest.raises(EOFError) as e:
            cam.grab(1, timeout=5)
        assert e.value.args[0] == "camera %s: recording ended after 3 frames" % DESK


def test_a_colour_recording_replays_in_colour_with_no_settings_given(configure, tmp_path):
    with vandrel.open(COLOUR) as cam:
        grey = cam.settings()
    colour = json.loads(json.dumps(grey))
    colour["paramsWrap"][20]["values"] = [True]   # 彩色图像
    images = [RANDOM.integers(0, 256, (8, 64, 3), dtype=np.uint8) for _ in range(2)]
    rec = recording(tmp_path / "rec", images)
    (rec / "settings.json").write_text(json.dumps({"cameras": {DESK: colour}}))
    configure(desk(rec, mono=False, loop=True))
    with vandrel.open(DESK) as cam:
        cam.running = True
        frames = cam.grab(2, timeout=5)
        for frame, image in zip(frames, images):
            assert frame.image.shape == (8, 64, 3)
            np.testing.assert_array_equal(frame.image, image)
    with vandrel.open(DESK, settings=grey) as cam:
        assert cam.grab(1, timeout=5)[0].image.shape == (8, 64), "settings given still decide"


def test_a_frame_cut_short_by_an_encoder_stop_is_a_shorter_array(configure):
    # 1000 lines a second into frames of 32; the web stops after 300 lines.
    configure({"devices": [{"productName": "VD-XG2K-M", "serialNumber": "PYLINE000001", "sensorWidth": 64,
                            "frameHeight": 32, "mono": True,
                            "encoder": {"linesPerMm": 10, "lineTimeoutMs": 50,
                                        "webSpeed": [[0, 100], [0.3, 100], [0.3, 0], [0.6, 0], [0.6, 100]]}}]})
    with vandrel.open("PYLINE000001") as cam:
        cam.running = True
        heights = [f.image.shape[0] for f in cam.grab(13, timeout=5)]
    assert heights == [32] * 9 + [12] + [32] * 3
