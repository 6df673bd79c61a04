#!/usr/bin/env python3
"""Draws the two stretchable button backgrounds, blackButton.png and whiteButton.png.

Each is 40 x 40 pixels: a rounded rectangle with a one-pixel rim and a soft vertical
gradient, so that with 18-point caps the corners keep their shape and the middle stretches.
Run from anywhere; writes next to this script.
"""
import os
import struct
import zlib

SIZE = 40
RADIUS = 8


def inside(x, y):
    cx = min(max(x, RADIUS), SIZE - 1 - RADIUS)
    cy = min(max(y, RADIUS), SIZE - 1 - RADIUS)
    return (x - cx) ** 2 + (y - cy) ** 2 <= RADIUS ** 2


def pixel(x, y, top, bottom, rim):
    if not inside(x, y):
        return (0, 0, 0, 0)
    edge = not (inside(x - 1, y) and inside(x + 1, y) and inside(x, y - 1) and inside(x, y + 1))
    if edge:
        return rim + (255,)
    t = y / (SIZE - 1)
    return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)) + (255,)


def png(path, top, bottom, rim):
    rows = b"".join(
        b"\0" + bytes(c for x in range(SIZE) for c in pixel(x, y, top, bottom, rim))
        for y in range(SIZE))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                  chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


here = os.path.dirname(os.path.abspath(__file__))
png(os.path.join(here, "blackButton.png"), (70, 70, 70), (10, 10, 10), (0, 0, 0))
png(os.path.join(here, "whiteButton.png"), (255, 255, 255), (225, 225, 225), (160, 160, 160))
