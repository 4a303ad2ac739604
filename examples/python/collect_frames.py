#!/usr/bin/python3
"""Collects N frames of each camera into one compressed .npz file.

For every camera the file holds <serial>_images (N x H x W, or N x H x W x 3)
and <serial>_numbers (N rows of product, capture, cycle, camera index) and
<serial>_times (capture times, seconds since the epoch).

    collect_frames.py --frames 20 --out frames.npz [--camera SERIAL ...] [--settings FILE]
                      [--captures-per-product 1] [--products-per-cycle 1]
"""

import argparse
import sys

import numpy as np

import vandrel


def grab_numbered(cam, n, timeout):
    """The next n frames numbered by product; previews queued before are skipped."""
    out = []
    for f in cam.frames(timeout=timeout):
        if f.product == 0:
            continue
        out.append(f)
        if len(out) == n:
            break
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--frames", type=int, default=10, help="frames per camera (default 10)")
    ap.add_argument("--out", default="frames.npz", help="the .npz file to write")
    ap.add_argument("--camera", action="append", help="a camera's serial number (default: every camera)")
    ap.add_argument("--settings", help="a settings file, as vandrel-host --save-settings writes it")
    ap.add_argument("--captures-per-product", type=int, default=1)
    ap.add_argument("--products-per-cycle", type=int, default=1)
    ap.add_argument("--timeout", type=float, default=5.0, help="seconds to wait for each frame")
    args = ap.parse_args()

    try:
        serials = args.camera or vandrel.cameras()[0]
        if not serials:
            sys.exit("collect_frames: no camera found")
        arrays = {}
        for serial in serials:
            with vandrel.open(serial, settings=args.settings, queue_size=max(8, args.frames)) as cam:
                cam.set_grouping(args.captures_per_product, args.products_per_cycle)
                cam.running = True
                frames = grab_numbered(cam, args.frames, args.timeout)
            arrays[f"{serial}_images"] = np.stack([f.image for f in frames])
            arrays[f"{serial}_numbers"] = np.array(
                [(f.product, f.capture, f.cycle, f.camera_index) for f in frames], dtype=np.int32)
            arrays[f"{serial}_times"] = np.array([f.time.timestamp() for f in frames])
            for f in frames:
                print(f"{serial}  product {f.product} capture {f.capture} cycle {f.cycle}  "
                      f"{'x'.join(map(str, f.image.shape))}  mean {f.image.mean():.1f}")
        np.savez_compressed(args.out, **arrays)
        print(f"wrote {args.out}: {len(serials)} camera(s), {args.frames} frame(s) each")
    except (OSError, KeyError, ValueError, TimeoutError) as e:
        sys.exit(f"collect_frames: {e.args[0] if e.args else e}")


if __name__ == "__main__":
    main()
