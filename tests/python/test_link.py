"""The link as the camera has it: a loss and its return seen as events and in
the camera's state, back within the retry interval rather than the driver's
30 s, a stall reported as a loss is, and one loop that sees frames and events."""

import threading
import time

import pytest

import vandrel
from conftest import COLOUR, wait_until


def test_state_during_a_loss_and_back_within_the_retry_interval(sdk):
    serial = COLOUR.encode()
    with vandrel.open(COLOUR, queue_size=4, retry_interval=0.2) as cam:
        assert len(cam.grab(2, timeout=3)) == 2
        assert (cam.link, cam.is_open, cam.link_since) == ("open", True, None)
        assert list(cam.events()) == [], "nothing happened yet"

        assert sdk.VdSimLinkLost(serial, 0) == 0
        lost = next(cam.events(timeout=3))
        assert lost.kind == "lost" and lost.time.tzinfo is not None
        assert "CameraLoss" in lost.detail
        assert (cam.link, cam.is_open) == ("lost", False)
        assert cam.link_since == lost.time
        # What reaches the device names the loss, not a symptom of it.
        for call in (lambda: cam.select_exposure(0), lambda: cam.soft_trigger(1, 1), lambda: cam.continuous,
                     lambda: cam.set_grouping(2)):
            with pytest.raises(vandrel.LinkLostError, match=f"camera {COLOUR} lost its link at .*retried every 0.2 s"):
                call()
        with pytest.raises(TimeoutError, match="lost its link"):
            cam.grab(1, timeout=0.3)
        # Settings load into a lost camera's parameters; their exposure waits for its return.
        with pytest.warns(vandrel.ExposureNotSentWarning, match="is not open: exposure configuration 1 is sent when"):
            cam.load_settings(cam.settings())

        # Several retries fail while the link is down; the first after its return succeeds.
        time.sleep(0.5)
        assert list(cam.events()) == []
        restored = time.monotonic()
        assert sdk.VdSimLinkRestored(serial) == 0
        back = next(cam.events(timeout=5))
        took = time.monotonic() - restored
        assert back.kind == "back" and "retry" in back.detail
        assert took < 0.2 + 1.0, f"back {took:.2f} s after the link returned, not at the driver's 30 s tick"
        assert (cam.link, cam.is_open) == ("open", True)
        assert len(cam.grab(3, timeout=3)) == 3
        cam.select_exposure(0)


def test_a_camera_unplugged_without_a_message_is_reported_stalled(sdk):
    serial = COLOUR.encode()
    with vandrel.open(COLOUR, stall_after=0.3) as cam:
        assert len(cam.grab(2, timeout=3)) == 2
        assert sdk.VdSimSetAttached(serial, 0) == 0
        stalled = next(cam.events(timeout=3))
        assert stalled.kind == "stalled" and "no frame for" in stalled.detail
        assert (cam.link, cam.is_open) == ("stalled", False)
        # Plugged in again, the driver never hears of it; a retry brings it back.
        assert sdk.VdSimSetAttached(serial, 1) == 0
        assert list(cam.events(timeout=0.5)) == [], "no retry was asked for"
        cam.set_retry_interval(0.1)
        back = next(cam.events(timeout=3))
        assert back.kind == "back"
        assert len(cam.grab(2, timeout=3)) == 2
        # Switched off, a silence is only a silence.
        cam.set_stall_after(None)
        assert sdk.VdSimSetAttached(serial, 0) == 0
        assert list(cam.events(timeout=0.8)) == []
        assert cam.link == "open"
        assert sdk.VdSimSetAttached(serial, 1) == 0


def test_one_loop_sees_frames_and_link_events_in_their_order(sdk):
    serial = COLOUR.encode()
    with vandrel.open(COLOUR, queue_size=4, retry_interval=0.1) as cam:
        seen = []
        called = []
        failure = []

        def loop():
            try:
                # A timeout shorter than the loss: the loop waits on while the link is down.
                for item in cam.frames(timeout=0.5, events=True, on_event=called.append):
                    seen.append(item)
                    if isinstance(item, vandrel.LinkEvent) and item.kind == "back":
                        cam.interrupt()
            except BaseException as e:  # what the loop must never see
                failure.append(e)

        t = threading.Thread(target=loop)
        t.start()
        assert wait_until(lambda: len(seen) >= 2)
        assert sdk.VdSimLinkLost(serial, 1) == 0
        assert wait_until(lambda: called and called[-1].kind == "lost")
        time.sleep(1.0)
        assert sdk.VdSimLinkRestored(serial) == 0
        t.join(10)
        assert not t.is_alive()
        assert not failure, failure
        kinds = [i.kind if isinstance(i, vandrel.LinkEvent) else "frame" for i in seen]
        # In the order they came: no frame between the loss and the return.
        assert kinds[-2:] == ["lost", "back"], kinds
        assert kinds.count("frame") >= 2
        assert [e.kind for e in called] == ["lost", "back"]
        cam.resume()
