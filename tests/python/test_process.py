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
