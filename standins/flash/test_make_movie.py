"""The demo movie as the stand-in player reads it: the container, PNG frames
of one size, and lights that are partly transparent and stay whole inside
the frame."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def read_png_rgba(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat, width, height = 8, b"", 0, 0
    while at < len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        kind = data[at + 4:at + 8]
        body = data[at + 8:at + 8 + length]
        (crc,) = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        assert zlib.crc32(kind + body) & 0xFFFFFFFF == crc
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert (depth, colour) == (8, 6)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 4 + 1
    rows = [raw[y * stride:(y + 1) * stride] for y in range(height)]
    assert all(row[0] == 0 for row in rows)  # filter type none
    return width, height, [row[1:] for row in rows]


class DemoMovie(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "demo.tmov")
            subprocess.run([sys.executable, os.path.join(HERE, "make_movie.py"), "demo", out],
                           check=True, timeout=120)
            with open(out, "rb") as f:
                cls.data = f.read()

    def frames(self):
        self.assertEqual(b"TMOV", self.data[:4])
        version, ms, count = struct.unpack("<HHI", self.data[4:12])
        self.assertEqual(1, version)
        self.assertGreater(ms, 0)
        at, frames = 12, []
        for _ in range(count):
            (length,) = struct.unpack("<I", self.data[at:at + 4])
            frames.append(read_png_rgba(self.data[at + 4:at + 4 + length]))
            at += 4 + length
        self.assertEqual(len(self.data), at)
        return frames

    def test_container_and_frames(self):
        frames = self.frames()
        self.assertGreater(len(frames), 1)
        self.assertEqual({(230, 100)}, {(w, h) for w, h, _ in frames})
        # The frames differ: the movie moves.
        self.assertGreater(len({b"".join(rows) for _, _, rows in frames}), len(frames) // 2)

    def test_partly_transparent_with_whole_lights(self):
        for w, h, rows in self.frames():
            alphas = [row[x * 4 + 3] for row in rows for x in range(w)]
            self.assertEqual(0, min(alphas))
            self.assertTrue(any(0 < a < 255 for a in alphas))
            # Nothing is cut off at the frame's edges.
            edges = rows[0] + rows[-1] + bytes(row[i] for row in rows for i in range(4)) + \
                bytes(row[i] for row in rows for i in range(w * 4 - 4, w * 4))
            self.assertEqual(0, max(edges[3::4]))


if __name__ == "__main__":
    unittest.main()
