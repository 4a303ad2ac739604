#!/usr/bin/python3
"""Frames through the Python module against vandrel-host, same cameras, same run.

Two simulated 16k line-scan cameras (16384 x 1024 Mono8, 16 MiB a frame,
delivered as fast as the driver takes them) are grabbed in turns by
vandrel-host (its --json summary) and by this process through cam.frames(),
one thread per camera. Each frame's array is checked against its matrix: a
frame whose pixels were copied on the way counts as a copy.

    /usr/bin/python3 bench/python_frames_bench.py [--build build] [--seconds 3] [--turns 3]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

WIDTH, HEIGHT = 16384, 1024
SERIALS = ["BENCH16K0001", "BENCH16K0002"]


def population():
    return {"devices": [
        {"productName": "VD-XG16K-M", "serialNumber": s, "sensorWidth": WIDTH, "sensorHeight": 4096,
         "frameHeight": HEIGHT, "mono": True, "frameRate": 0} for s in SERIALS]}


def host_turn(host, config, seconds):
    out = subprocess.run([host, "grab", "--seconds", str(seconds), "--sim-config", config, "--json"]
                         + sum((["--camera", s] for s in SERIALS), []),
                         capture_output=True, text=True, check=True).stdout
    cams = json.loads(out)["cameras"]
    fps = sum(c["fps"] for c in cams)
    gbps = sum(c["megabytesPerSecond"] for c in cams) / 1000.0
    return fps, gbps, None, None


def python_turn(vandrel, seconds):
    cams = [vandrel.open(s) for s in SERIALS]
    figures = []
    try:
        for c in cams:
            c.running = True

        def consume(cam, out):
            frames = copies = nbytes = 0
            first = last = None
            end = time.monotonic() + seconds
            for f in cam.frames(timeout=5):
                now = time.monotonic()
                image = f.image
                if image.__array_interface__["data"][0] != f._matrix_address:
                    copies += 1
                if first is None:
                    first = now
                else:  # from the first frame to the last, as vandrel-host counts
                    frames += 1
                    nbytes += image.nbytes
                last = now
                if now >= end:
                    break
            out.append((frames, nbytes, last - first, copies, frames + 1, cam.dropped))

        threads = [threading.Thread(target=consume, args=(c, figures)) for c in cams]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        for c in cams:
            c.close()
    fps = sum(f[0] / f[2] for f in figures)
    gbps = sum(f[1] / f[2] for f in figures) / 1e9
    copies = sum(f[3] for f in figures) / sum(f[4] for f in figures)
    dropped = sum(f[5] for f in figures)
    return fps, gbps, copies, dropped


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(here, "..", "build"), help="the build folder")
    ap.add_argument("--seconds", type=float, default=3.0, help="length of one turn")
    ap.add_argument("--turns", type=int, default=3, help="turns of each side")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    sys.path.insert(0, os.path.join(build, "Bindings", "Python"))
    import vandrel

    host = os.path.join(build, "Host", "vandrel-host")
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
        json.dump(population(), f)
        config = f.name
    try:
        vandrel.cameras(sim_config=config)
        rows = {"vandrel-host": [], "python cam.frames()": []}
        for _ in range(args.turns):
            rows["vandrel-host"].append(host_turn(host, config, args.seconds))
            rows["python cam.frames()"].append(python_turn(vandrel, args.seconds))
    finally:
        os.unlink(config)

    print(f"2 cameras, Mono8 {WIDTH}x{HEIGHT} ({WIDTH * HEIGHT / 2**20:.0f} MiB a frame), "
          f"{args.turns} turns of {args.seconds:g} s each, medians; load average {os.getloadavg()[0]:.1f}")
    print(f"{'path':<22}{'frames/s':>10}{'GB/s':>8}{'ratio':>8}{'copies/frame':>14}{'dropped':>9}")
    base = statistics.median(r[0] for r in rows["vandrel-host"])
    for name, turns in rows.items():
        fps = statistics.median(r[0] for r in turns)
        gbps = statistics.median(r[1] for r in turns)
        copies = "" if turns[0][2] is None else f"{max(r[2] for r in turns):.0f}"
        dropped = "" if turns[0][3] is None else f"{sum(r[3] for r in turns)}"
        print(f"{name:<22}{fps:>10.1f}{gbps:>8.2f}{fps / base:>7.2f}x{copies:>14}{dropped:>9}")


if __name__ == "__main__":
    main()
