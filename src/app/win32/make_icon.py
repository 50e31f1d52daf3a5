#!/usr/bin/env python3
"""Draws the setup's icon (corvane.ico beside this script) from the page's logo
(src/ui/web/public/images/logo.svg, a 48 x 48 drawing): an open ring of radius 12 to 21 around
(24, 24) whose gap on the right ends in a pointer, a diagonal red gradient, and a white dot.

The shapes are the logo's own numbers, sampled 8 x 8 times per pixel. Standard library only, so the
result is the same on every machine: run it again after changing the logo and commit both files.
"""
import math
import struct
import zlib
from pathlib import Path

SIZES = (16, 24, 32, 48, 64, 256)
SAMPLES = 8
STOPS = ((0.0, (0xFF, 0x5A, 0x45)), (0.55, (0xF7, 0x21, 0x20)), (1.0, (0xA8, 0x0C, 0x0B)))
RING_FROM, RING_TO = math.radians(38.0), math.radians(318.0)  # the ring's extent, y down
POINTER = ((39.61, 9.95), (47.0, 24.5), (32.92, 15.97))
DOT = (29.5, 18.5, 2.6)


def inside_triangle(x, y, tri):
    (ax, ay), (bx, by), (cx, cy) = tri
    d1 = (x - bx) * (ay - by) - (ax - bx) * (y - by)
    d2 = (x - cx) * (by - cy) - (bx - cx) * (y - cy)
    d3 = (x - ax) * (cy - ay) - (cx - ax) * (y - ay)
    return not ((d1 < 0 or d2 < 0 or d3 < 0) and (d1 > 0 or d2 > 0 or d3 > 0))


def in_mark(x, y):
    dx, dy = x - 24.0, y - 24.0
    r = math.hypot(dx, dy)
    angle = math.atan2(dy, dx) % (2 * math.pi)
    return (12.0 <= r <= 21.0 and RING_FROM <= angle <= RING_TO) or inside_triangle(x, y, POINTER)


def in_dot(x, y):
    return math.hypot(x - DOT[0], y - DOT[1]) <= DOT[2]


def gradient(x, y):
    # Projection on the gradient's line from (6, 4) to (42, 46).
    vx, vy = 36.0, 42.0
    t = max(0.0, min(1.0, ((x - 6.0) * vx + (y - 4.0) * vy) / (vx * vx + vy * vy)))
    for (t0, c0), (t1, c1) in zip(STOPS, STOPS[1:]):
        if t <= t1:
            f = (t - t0) / (t1 - t0)
            return tuple(a + (b - a) * f for a, b in zip(c0, c1))
    return STOPS[-1][1]


def render(size):
    rows = []
    scale = 48.0 / size
    for py in range(size):
        row = bytearray([0])  # PNG filter: none
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) * scale
                    y = (py + (sy + 0.5) / SAMPLES) * scale
                    if in_dot(x, y):
                        colour = (255.0, 255.0, 255.0)
                    elif in_mark(x, y):
                        colour = gradient(x, y)
                    else:
                        continue
                    acc[0] += colour[0]
                    acc[1] += colour[1]
                    acc[2] += colour[2]
                    acc[3] += 1.0
            n = acc[3]
            if n == 0:
                row += bytes(4)
            else:
                alpha = n / (SAMPLES * SAMPLES)
                row += bytes([round(acc[0] / n), round(acc[1] / n), round(acc[2] / n), round(alpha * 255)])
        rows.append(bytes(row))
    return png(size, b"".join(rows))


def png(size, raw):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def ico(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size  # 0 means 256
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


if __name__ == "__main__":
    target = Path(__file__).with_name("corvane.ico")
    target.write_bytes(ico([(s, render(s)) for s in SIZES]))
    print(target)
