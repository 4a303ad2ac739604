#!/usr/bin/python3
"""Frames of a Vandrel camera from a GStreamer pipeline, with their numbers.

Reads the frame meta that vandrelsrc puts on every buffer, through PyGObject
(Debian: python3-gi, gir1.2-gstreamer-1.0). Arguments, if any, are added to
vandrelsrc, e.g. serial=VDXG8K0M0002 sim-config=cameras.json.
"""
import sys

import gi

gi.require_version("Gst", "1.0")
from gi.repository import Gst  # noqa: E402

Gst.init(None)
pipeline = Gst.parse_launch(
    "vandrelsrc num-buffers=5 captures-per-product=2 " + " ".join(sys.argv[1:]) + " ! appsink name=sink")
sink = pipeline.get_by_name("sink")
pipeline.set_state(Gst.State.PLAYING)
while (sample := sink.emit("pull-sample")) is not None:
    buffer = sample.get_buffer()
    numbers = buffer.get_custom_meta("VandrelFrameMeta").get_structure()
    caps = sample.get_caps().get_structure(0)
    ok, pixels = buffer.map(Gst.MapFlags.READ)
    mean = sum(pixels.data) / len(pixels.data) if ok else float("nan")
    buffer.unmap(pixels)
    print(f"frame {buffer.offset}: product {numbers.get_value('product')}"
          f" capture {numbers.get_value('capture')} cycle {numbers.get_value('cycle')}"
          f" camera {numbers.get_value('camera-index')} at {numbers.get_value('camera-time') / 1e9:.3f} s,"
          f" {caps.get_value('width')}x{caps.get_value('height')} {caps.get_value('format')}, mean {mean:.1f}")
pipeline.set_state(Gst.State.NULL)
