#!/usr/bin/python3
"""Draws the scenes the default simulated cameras see, into Sdk/Simulator/scenes/:

  fabric.png         a woven fabric (grey) with a broken thread and a stain
  printed-sheet.png  a printed sheet (colour) with text, registration marks and a smear

The PNGs are committed; run this only to change them. Deterministic: the same
OpenCV draws the same files. Needs Debian's python3-opencv and python3-numpy.
"""
import os
import sys

import cv2
import numpy as np

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "Sdk", "Simulator", "scenes")


def fabric(width=1024, height=1536, period=8):
    """Plain weave: warp threads run down the web, weft threads across it."""
    rng = np.random.default_rng(7)
    y, x = np.mgrid[0:height, 0:width].astype(np.float32)
    # Each thread is brightest along its middle; over and under alternate.
    across = 0.5 + 0.5 * np.cos(2 * np.pi * (x % period) / period)
    along = 0.5 + 0.5 * np.cos(2 * np.pi * (y % period) / period)
    over = ((x // period + y // period) % 2).astype(np.float32)
    weave = over * across + (1 - over) * along
    # Threads differ a little in thickness and colour.
    warp = rng.normal(0, 6, width // period + 1).astype(np.float32)
    weft = rng.normal(0, 6, height // period + 1).astype(np.float32)
    tone = np.where(over > 0, warp[(x // period).astype(int)], weft[(y // period).astype(int)])
    img = 70 + 90 * weave + tone

    # A broken warp thread: missing over a stretch, its loose end curled.
    col = 37 * period
    top, bottom = 500, 760
    img[top:bottom, col - 2:col + period + 2] = 45
    cv2.ellipse(img, (col + period // 2, bottom + 12), (10, 14), 0, 180, 400, 160, 2, cv2.LINE_AA)

    # A stain: a darker soft blob with an irregular edge.
    stain = np.zeros((height, width), np.float32)
    cv2.ellipse(stain, (720, 1150), (70, 48), 25, 0, 360, 1.0, -1, cv2.LINE_AA)
    cv2.circle(stain, (670, 1110), 30, 1.0, -1, cv2.LINE_AA)
    stain = cv2.GaussianBlur(stain, (0, 0), 9)
    img = img * (1 - 0.45 * stain)
    return np.clip(img, 0, 255).astype(np.uint8)


def registration_mark(img, centre, size, colour):
    cx, cy = centre
    cv2.circle(img, centre, size // 2, colour, 2, cv2.LINE_AA)
    cv2.line(img, (cx - size, cy), (cx + size, cy), colour, 2, cv2.LINE_AA)
    cv2.line(img, (cx, cy - size), (cx, cy + size), colour, 2, cv2.LINE_AA)


def printed_sheet(width=1024, height=1448):
    """A page of a print run, drawn in BGR as OpenCV writes it."""
    img = np.full((height, width, 3), (236, 242, 245), np.uint8)   # warm paper
    black = (40, 35, 30)
    cyan, magenta, yellow = (210, 160, 0), (120, 0, 200), (0, 200, 235)

    # Colour bar along the top edge.
    patches = [cyan, magenta, yellow, black, (0, 0, 200), (0, 160, 0), (180, 60, 0)]
    for i in range(24):
        x0 = 60 + i * 38
        cv2.rectangle(img, (x0, 40), (x0 + 34, 74), patches[i % len(patches)], -1)

    for corner in [(40, 120), (width - 40, 120), (40, height - 60), (width - 40, height - 60)]:
        registration_mark(img, corner, 22, black)

    font = cv2.FONT_HERSHEY_SIMPLEX
    cv2.putText(img, "VANDREL PRESS", (70, 190), cv2.FONT_HERSHEY_DUPLEX, 2.0, black, 3, cv2.LINE_AA)
    cv2.putText(img, "Line-scan inspection test sheet  No. 0417", (72, 240), font, 0.8, (90, 80, 70), 2,
                cv2.LINE_AA)
    cv2.rectangle(img, (70, 270), (width - 70, 276), magenta, -1)

    # Body text: words of varying length in justified-looking lines.
    rng = np.random.default_rng(3)
    words = ("web speed line rate exposure gain defect camera frame print roll ink paper register "
             "colour mark sensor pixel width inspect quality batch shift edge").split()
    y = 320
    for paragraph in range(4):
        for line in range(9):
            x = 70
            while True:
                w = words[rng.integers(len(words))]
                (tw, _), _ = cv2.getTextSize(w, font, 0.62, 1)
                if x + tw > width - 70:
                    break
                cv2.putText(img, w, (x, y), font, 0.62, black, 1, cv2.LINE_AA)
                x += tw + 12
            y += 28
        y += 22
        if paragraph == 1:
            # A picture box: a gradient with a circle, like a printed photo.
            box = np.zeros((200, width - 140, 3), np.float32)
            box[:] = np.linspace(0, 1, width - 140)[None, :, None] * np.array(cyan, np.float32) + \
                np.linspace(1, 0, width - 140)[None, :, None] * np.array(yellow, np.float32)
            box = box.astype(np.uint8)
            cv2.circle(box, (box.shape[1] // 2, 100), 70, magenta, -1, cv2.LINE_AA)
            img[y:y + 200, 70:width - 70] = box
            y += 240

    # A smear: ink dragged diagonally across the text.
    smear = np.zeros((height, width), np.float32)
    cv2.line(smear, (560, 560), (860, 700), 1.0, 26, cv2.LINE_AA)
    smear = cv2.GaussianBlur(smear, (0, 0), 11)
    img = (img.astype(np.float32) * (1 - 0.55 * smear[:, :, None])
           + np.array((60, 40, 90), np.float32) * 0.55 * smear[:, :, None])
    return np.clip(img, 0, 255).astype(np.uint8)


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, img in (("fabric.png", fabric()), ("printed-sheet.png", printed_sheet())):
        path = os.path.normpath(os.path.join(OUT, name))
        if not cv2.imwrite(path, img, [cv2.IMWRITE_PNG_COMPRESSION, 9]):
            sys.exit("draw-scenes: cannot write " + path)
        print("draw-scenes: wrote %s (%dx%d, %d bytes)" % (path, img.shape[1], img.shape[0], os.path.getsize(path)))


if __name__ == "__main__":
    main()
