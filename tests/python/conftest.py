"""Shared set-up of the module's tests: the simulated cameras of this test
process, the simulator's control functions, and small helpers."""

import ctypes
import json
import os
import time

import pytest

import vandrel

COLOUR = "PYCOLOUR0001"  # free-running, 200 frames/s
MONO = "PYMONO000002"  # software trigger: no frame comes by itself

POPULATION = {
    "devices": [
        {"productName": "VD-XG2K-C", "serialNumber": COLOUR, "sensorWidth": 256, "sensorHeight": 256,
         "frameHeight": 32, "mono": False, "frameRate": 200},
        {"productName": "VD-XG2K-M", "serialNumber": MONO, "sensorWidth": 128, "sensorHeight": 256,
         "frameHeight": 16, "mono": True, "triggerMode": 1},
    ]
}


@pytest.fixture(scope="session", autouse=True)
def simulated_cameras(tmp_path_factory):
    """Configures the simulated cameras once for the test process."""
    path = tmp_path_factory.mktemp("sim") / "cameras.json"
    path.write_text(json.dumps(POPULATION))
    serials, count = vandrel.cameras(sim_config=path)
    assert serials == [COLOUR, MONO]
    assert count == 2
    return path


@pytest.fixture(scope="session")
def sdk():
    """The simulated SDK's control functions, from the library the plug-in loaded."""
    lib = ctypes.CDLL(os.path.join(vandrel._vandrel.default_plugin_dir(vandrel._MODULE_DIR), "libVDCAMSDK.so"))
    lib.VdSimLinkLost.argtypes = [ctypes.c_char_p, ctypes.c_uint]
    lib.VdSimLinkRestored.argtypes = [ctypes.c_char_p]
    lib.VdSimSetAttached.argtypes = [ctypes.c_char_p, ctypes.c_int]
    lib.VdSimGetValue.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.POINTER(ctypes.c_double)]
    return lib


def device_value(sdk, serial, key):
    """A value of the simulated device ("exposureTime", "mediaType", ...)."""
    v = ctypes.c_double()
    assert sdk.VdSimGetValue(serial.encode(), key.encode(), ctypes.byref(v)) == 0
    return v.value


def wait_until(condition, timeout=5.0):
    """Polls a condition until it holds or the deadline passes."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.01)
    return condition()


def resident_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


SANITIZED = bool(os.environ.get("VANDREL_SANITIZED"))
