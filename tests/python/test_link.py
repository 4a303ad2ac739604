"""A lost link and its return, seen as events, while a frame loop runs on."""

import threading

import pytest

import vandrel
from conftest import COLOUR, wait_until


def test_loss_and_reconnection_arrive_as_events_and_the_frame_loop_resumes(sdk):
    serial = COLOUR.encode()
    with vandrel.open(COLOUR, queue_size=4) as cam:
        # The driver retries a lost camera every 30 s; the test does not wait that long.
        cam._native._set_reconnect_interval(100)
        assert list(cam.events()) == [], "nothing happened yet"

        seen = []
        failure = []
        stop = threading.Event()

        def loop():
            try:
                for f in cam.frames(timeout=10):
                    seen.append(f)
                    if stop.is_set():
                        return
            except BaseException as e:  # what the loop must never see
                failure.append(e)

        t = threading.Thread(target=loop)
        t.start()
        assert wait_until(lambda: len(seen) >= 2)

        assert sdk.VdSimLinkLost(serial, 0) == 0
        lost = next(cam.events(timeout=3))
        assert lost.kind == "lost"
        during = len(seen)
        with pytest.raises(TimeoutError):
            cam.grab(1, timeout=0.3)  # the loop waits too, and raises nothing

        assert sdk.VdSimLinkRestored(serial) == 0
        back = next(cam.events(timeout=3))
        assert back.kind == "reconnected"
        assert back.time >= lost.time
        assert lost.time.tzinfo is not None

        assert wait_until(lambda: len(seen) >= during + 3), "frames flow again into the same loop"
        assert list(cam.events()) == [], "one loss, one reconnection"
        stop.set()
        t.join(10)
        assert not failure, failure
        assert not t.is_alive()
