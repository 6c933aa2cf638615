#!/usr/bin/env python3
"""Draws the program icon (a rounded tile with a downward arrow) as a
Windows .ico holding 16, 32 and 48 pixel images: make-icon.py OUT.ico"""
import struct
import sys


def pixel(x, y, n):
    # Coordinates in the unit square, sampled 4x4 for smooth edges.
    acc = [0.0, 0.0, 0.0, 0.0]
    for sy in range(4):
        for sx in range(4):
            u = (x + (sx + 0.5) / 4) / n
            v = (y + (sy + 0.5) / 4) / n
            r = 0.18
            dx = max(r - u, 0, u - (1 - r))
            dy = max(r - v, 0, v - (1 - r))
            if dx * dx + dy * dy > r * r:
                continue
            top, bottom = (0x2f, 0x9b, 0xf4), (0x15, 0x5f, 0xc8)
            colour = [top[i] + (bottom[i] - top[i]) * v for i in range(3)]
            shaft = 0.42 <= u <= 0.58 and 0.18 <= v <= 0.55
            head = 0.50 <= v <= 0.74 and abs(u - 0.5) <= (0.74 - v) * 1.1
            bar = 0.22 <= u <= 0.78 and 0.78 <= v <= 0.84
            if shaft or head or bar:
                colour = [255, 255, 255]
            for i in range(3):
                acc[i] += colour[i]
            acc[3] += 255
    return [int(c / 16) for c in acc]


def image(n):
    rows = []
    for y in reversed(range(n)):  # bottom-up DIB rows
        row = b""
        for x in range(n):
            r, g, b, a = pixel(x, y, n)
            # Straight (not premultiplied) alpha, as icons carry it.
            if a:
                r, g, b = (min(255, c * 255 // a) for c in (r, g, b))
            row += bytes((b, g, r, a))
        rows.append(row)
    mask_row = b"\0" * (((n + 31) // 32) * 4)
    header = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + mask_row * n


def main():
    sizes = (16, 32, 48)
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
