"""The module in a process of its own, as a user's script runs it."""

import json
import os
import subprocess
import sys

from conftest import COLOUR, POPULATION

SCRIPT = """
import json, sys
import vandrel
print(vandrel.cameras(sim_config=sys.argv[1]))
cam = vandrel.open(%r)
frames = cam.grab(3, timeout=3)   # left open, frames still held at exit
print("grabbed", len(frames))
"""


def test_a_script_that_exits_with_a_camera_open_and_frames_held_ends_cleanly(tmp_path):
    config = tmp_path / "cameras.json"
    config.write_text(json.dumps(POPULATION))
    run = subprocess.run([sys.executable, "-c", SCRIPT % COLOUR, str(config)],
                         capture_output=True, text=True, timeout=60, env=dict(os.environ))
    assert run.returncode == 0, run.stderr
    assert "grabbed 3" in run.stdout
    # The runtime's application is Qt's main one: nothing of Qt ran on the
    # script's thread first.
    assert "not created in the main() thread" not in run.stderr
    assert "WARNING" not in run.stderr, run.stderr


REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def readme_example():
    with open(os.path.join(REPO, "README.md"), encoding="utf-8") as f:
        text = f.read()
    section = text[text.index("## Python: `import vandrel`"):]
    return section[section.index("```python\n") + 10:section.index("```\n", section.index("```python"))]


def run_with_cameras(tmp_path, args):
    config = tmp_path / "cameras.json"
    config.write_text(json.dumps(POPULATION))
    env = dict(os.environ, VDCAMSDK_SIM_CONFIG=str(config))
    return subprocess.run([sys.executable] + args, capture_output=True, text=True, timeout=60, env=env,
                          cwd=tmp_path)


def test_the_readme_example_prints_each_frames_numbers_and_mean(tmp_path):
    run = run_with_cameras(tmp_path, ["-c", readme_example()])
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert len(lines) == 6
    numbered = [tuple(map(int, l.split()[:3])) for l in lines if not l.startswith("0 ")]
    assert numbered, "running frames among them"
    for product, capture, cycle in numbered:
        assert 1 <= capture <= 3 and cycle == 1
    assert all(0 <= float(l.split()[-1]) <= 255 for l in lines)


def test_the_collect_example_writes_every_cameras_frames_and_numbers(tmp_path):
    import numpy as np
    script = os.path.join(REPO, "examples", "python", "collect_frames.py")
    # The monochrome camera waits for triggers that nobody sends.
    run = run_with_cameras(tmp_path, [script, "--frames", "4", "--out", "out.npz", "--captures-per-product", "2",
                                      "--camera", COLOUR])
    assert run.returncode == 0, run.stderr
    data = np.load(tmp_path / "out.npz")
    assert data[f"{COLOUR}_images"].shape == (4, 32, 256)
    assert sorted(data.files) == [f"{COLOUR}_images", f"{COLOUR}_numbers", f"{COLOUR}_times"]
    assert data[f"{COLOUR}_numbers"].tolist() == [[1, 1, 1, 0], [1, 2, 1, 0], [2, 1, 1, 0], [2, 2, 1, 0]]


TWO_THREADS = """
import sys, threading
import vandrel
cams = [vandrel.open(s, queue_size=4) for s in sys.argv[1:]]
for c in cams:
    c.running = True
go = threading.Barrier(len(cams))
def first_frames(cam):
    go.wait()
    cam.grab(20, timeout=5)   # the process's first arrays, made on two threads at once
threads = [threading.Thread(target=first_frames, args=(c,)) for c in cams]
for t in threads: t.start()
for t in threads: t.join()
print("done")
"""


def test_two_threads_making_the_processs_first_frames_at_once_do_not_deadlock(tmp_path):
    # The second camera, in continuous mode as well.
    population = json.loads(json.dumps(POPULATION))
    population["devices"][1]["triggerMode"] = 0
    population["devices"][1]["frameRate"] = 200
    config = tmp_path / "cameras.json"
    config.write_text(json.dumps(population))
    serials = [d["serialNumber"] for d in population["devices"]]
    for _ in range(3):
        run = subprocess.run([sys.executable, "-c", TWO_THREADS] + serials, capture_output=True, text=True,
                             timeout=15, env=dict(os.environ, VDCAMSDK_SIM_CONFIG=str(config)))
        assert run.returncode == 0, run.stderr
        assert "done" in run.stdout
