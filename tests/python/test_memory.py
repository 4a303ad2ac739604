"""Opening and closing a camera over and over leaves nothing behind."""

import pytest

import vandrel
from conftest import MONO, SANITIZED, resident_kib


@pytest.mark.skipif(SANITIZED, reason="a sanitizer's quarantine and shadow memory hide the resident size")
def test_a_thousand_open_close_cycles_do_not_grow_resident_memory():
    def cycle(n):
        for _ in range(n):
            with vandrel.open(MONO, queue_size=1) as cam:
                cam.running = True  # a preview right after opening would be skipped
                cam.soft_trigger()
                cam.grab(1, timeout=3)

    cycle(100)  # allocators and caches settle
    before = resident_kib()
    cycle(1000)
    grown = resident_kib() - before
    # A leak of one small object per cycle would already show as some 100 KiB.
    assert grown < 1024, f"resident memory grew by {grown} KiB over 1000 cycles"
