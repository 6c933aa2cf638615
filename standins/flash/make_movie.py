#!/usr/bin/env python3
"""Writes a movie for the stand-in player (format in movie.h).

make_movie.py demo OUT   the demo world's background movie: soft, partly
                         transparent lights drifting over a clear field.
"""
import math
import struct
import sys
import zlib


def png(width, height, rgba_rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(row) for row in rgba_rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def movie(frames, frame_ms):
    out = b"TMOV" + struct.pack("<HHI", 1, frame_ms, len(frames))
    for data in frames:
        out += struct.pack("<I", len(data)) + data
    return out


def demo_frame(t, count, width=230, height=100):
    phase = 2 * math.pi * t / count
    # Paths that keep each light whole inside the frame (the panel shows the
    # frame's edges, so nothing may be cut off there).
    lights = [  # centre x, centre y, radius, colour
        (width * (0.5 + 0.3 * math.cos(phase)), height * (0.5 + 0.12 * math.sin(2 * phase)), 30,
         (255, 196, 64)),
        (width * (0.5 + 0.32 * math.cos(phase + 2.1)), height * (0.5 + 0.14 * math.sin(phase + 1)),
         26, (96, 200, 255)),
        (width * (0.5 + 0.34 * math.sin(phase * 2 + 4)), height * (0.48 + 0.12 * math.cos(phase)),
         22, (255, 110, 170)),
    ]
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            r = g = b = 0.0
            a = 0.0
            for cx, cy, radius, colour in lights:
                d = math.hypot(x - cx, y - cy) / radius
                if d < 1.0:
                    w = (1.0 - d * d) ** 2 * 0.85
                    # Source-over of each light, straight colours.
                    na = w + a * (1 - w)
                    if na > 0:
                        r = (colour[0] * w + r * a * (1 - w)) / na
                        g = (colour[1] * w + g * a * (1 - w)) / na
                        b = (colour[2] * w + b * a * (1 - w)) / na
                    a = na
            row += [int(r), int(g), int(b), int(round(a * 255))]
        rows.append(row)
    return png(width, height, rows)


def main():
    if len(sys.argv) != 3 or sys.argv[1] != "demo":
        sys.exit("usage: make_movie.py demo OUT")
    count = 24
    data = movie([demo_frame(t, count) for t in range(count)], 80)
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
