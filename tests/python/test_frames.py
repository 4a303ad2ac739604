"""Frames: numbering, zero copy, lifetime, the queue, the GIL."""

import datetime
import threading
import time

import numpy as np
import pytest

import vandrel
from conftest import COLOUR, MONO


def frame_id(image):
    """The simulator writes each frame's id into its first four bytes."""
    return int.from_bytes(image.reshape(-1)[:4].tobytes(), "little")


@pytest.mark.parametrize("captures, products, expected", [
    (1, 1, [(1, 1, 1), (2, 1, 1), (3, 1, 1), (4, 1, 1), (5, 1, 1), (6, 1, 1)]),
    (3, 1, [(1, 1, 1), (1, 2, 1), (1, 3, 1), (2, 1, 1), (2, 2, 1), (2, 3, 1)]),
    (2, 2, [(1, 1, 1), (1, 2, 1), (2, 1, 2), (2, 2, 2), (3, 1, 1), (3, 2, 1)]),
    (1, 3, [(1, 1, 1), (2, 1, 2), (3, 1, 3), (4, 1, 1), (5, 1, 2), (6, 1, 3)]),
])
def test_running_frames_are_numbered_as_the_product_tables_say(captures, products, expected):
    with vandrel.open(COLOUR, queue_size=256) as cam:
        cam.set_grouping(captures, products)
        assert not cam.running
        cam.running = True
        assert cam.running
        numbers = []
        for f in cam.frames(timeout=3):
            if f.product == 0:  # a preview queued before running began
                continue
            numbers.append((f.product, f.capture, f.cycle))
            if len(numbers) == len(expected):
                break
        assert numbers == expected
        assert cam.dropped == 0


def test_host_numbered_frames_carry_the_soft_triggers_numbers():
    with vandrel.open(MONO) as cam:
        cam.set_grouping(1, 3, host_numbered=True)
        cam.running = True
        cam.soft_trigger(7, 2)
        f = cam.grab(1, timeout=3)[0]
        assert (f.product, f.capture, f.cycle) == (7, 2, 1)
        assert f.camera_index == 1


def test_the_array_is_the_matrix_itself_and_outlives_camera_and_runtime():
    with vandrel.open(COLOUR) as cam:
        frames = cam.grab(3, timeout=3)
    kept = frames[1]
    image = kept.image
    assert image is kept.image, "one array per frame"
    assert image.__array_interface__["data"][0] == kept._matrix_address, "no copy"
    assert not image.flags.owndata, "the matrix owns the pixels"
    assert image.shape == (32, 256) and image.dtype == np.uint8
    copy = image.copy()
    ids = [frame_id(f.image) for f in frames]
    assert ids == sorted(ids) and len(set(ids)) == 3

    del frames, kept  # the array alone keeps the pixels
    vandrel.shutdown()
    # Fresh allocations of the same size must not land on the pixels.
    churn = [np.full(image.shape, 0xAB, np.uint8) for _ in range(64)]
    with vandrel.open(COLOUR) as cam:
        churn += [f.image for f in cam.grab(8, timeout=3)]
    assert np.array_equal(image, copy)
    assert frame_id(image) == ids[1]


def test_time_is_a_timezone_aware_datetime():
    with vandrel.open(COLOUR) as cam:
        a, b = cam.grab(2, timeout=3)
    assert isinstance(a.time, datetime.datetime)
    assert a.time.tzinfo is not None and a.time.utcoffset() is not None
    assert a.time <= b.time


def test_a_full_queue_drops_the_oldest_and_counts_them():
    with vandrel.open(COLOUR, queue_size=2) as cam:
        cam.running = True  # no preview is skipped
        deadline = time.monotonic() + 5
        while cam.dropped < 10 and time.monotonic() < deadline:
            time.sleep(0.01)
        assert cam.dropped >= 10
        cam.close()
        dropped = cam.dropped
        left = list(cam.frames(timeout=1))
    assert len(left) == 2, "the queue holds its two newest frames, then ends"
    assert frame_id(left[0].image) < frame_id(left[1].image)
    assert frame_id(left[0].image) > dropped - 5, "the dropped ones were the oldest"


def test_waiting_for_a_frame_releases_the_gil():
    with vandrel.open(MONO) as cam:  # no trigger: nothing comes
        counts = []
        stop = threading.Event()

        def count():
            n = 0
            while not stop.is_set():
                n += 1
                if n % 1000 == 0:
                    counts.append(n)

        t = threading.Thread(target=count)
        t.start()
        time.sleep(0.05)
        before = len(counts)
        with pytest.raises(TimeoutError):
            cam.grab(1, timeout=0.5)
        during = len(counts) - before
        stop.set()
        t.join()
    # Held by grab, the GIL would let the other thread run only at the
    # interpreter's switch interval between the wait's slices.
    assert during > 100, f"the other thread counted only {during} thousand while grab waited"


def test_interrupt_ends_a_frame_loop_on_another_thread():
    with vandrel.open(MONO) as cam:
        ended = threading.Event()

        def loop():
            for _ in cam.frames(timeout=None):
                pass
            ended.set()

        t = threading.Thread(target=loop)
        t.start()
        time.sleep(0.05)
        cam.interrupt()
        t.join(5)
        assert ended.is_set()
        cam.resume()
        cam.soft_trigger()
        assert len(cam.grab(1, timeout=3)) == 1
