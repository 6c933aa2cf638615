#!/usr/bin/env python3
"""Draws the default skin of a branded copy: every file the client loads from
"images\\" and the window icon "downloader.ico".

    make-artwork.py [OUT_DIR]      (default: res/skin next to this script)

OUT_DIR receives "downloader.ico" and "images/*.png", laid out as they sit in
the program folder. Python 3 standard library only.

A publisher restyles the skin by changing the palette below (or the drawing
functions) and running the script again. Rules the client relies on:
  * state strips hold their frames side by side with a 1-pixel gap;
  * images that stretch carry magenta (255, 0, 255) marker pixels: three-part
    frames in their first row (the columns between the markers stretch),
    "framebkg.png" full magenta grid lines (two columns, two rows);
  * every text of the client is drawn in white, so the areas behind texts
    (title bar, window body, bottom panel, buttons, folder box) stay dark.
Sizes follow the window rectangles: title buttons 21 pixels tall, folder box
and buttons 29 and 33, progress bar 16, check and radio boxes 14, artwork area
460 x 200, bottom panel 140 tall.
"""
import math
import os
import struct
import sys
import zlib

# Palette (R, G, B). Text is white, so everything behind text is dark.
ACCENT = (47, 123, 245)
ACCENT_LIGHT = (86, 156, 255)
ACCENT_DARK = (30, 92, 200)
BORDER = (10, 14, 21)
BORDER_LIGHT = (46, 56, 74)
TITLE_TOP = (36, 46, 66)
TITLE_BOTTOM = (28, 36, 52)
BODY = (27, 34, 48)
PANEL_TOP = (36, 45, 62)
PANEL_BOTTOM = (30, 38, 53)
FIELD = (18, 23, 33)
FIELD_BORDER = (60, 72, 94)
BUTTON = (50, 62, 86)
BUTTON_HOVER = (62, 77, 106)
BUTTON_PRESSED = (38, 48, 68)
BUTTON_DISABLED = (44, 49, 58)
DISABLED_INK = (120, 128, 140)
GLYPH = (222, 228, 238)
CLOSE_HOVER = (232, 17, 35)
CLOSE_PRESSED = (176, 14, 28)
WARNING = (245, 166, 35)
MAGENTA = (255, 0, 255)


class Canvas:
    """Premultiplied RGBA floats (0..1); shapes are drawn with analytic
    anti-aliasing from signed distances."""

    def __init__(self, w, h, colour=None):
        self.w, self.h = w, h
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]
        if colour:
            self.fill(colour)

    def blend(self, x, y, rgb, alpha):
        if alpha <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        alpha = min(alpha, 1.0)
        p = self.px[y * self.w + x]
        keep = 1.0 - alpha
        for i in range(3):
            p[i] = rgb[i] / 255.0 * alpha + p[i] * keep
        p[3] = alpha + p[3] * keep

    def set(self, x, y, rgb, alpha=1.0):
        self.px[y * self.w + x] = [c / 255.0 * alpha for c in rgb] + [alpha]

    def fill(self, rgb, alpha=1.0):
        for y in range(self.h):
            for x in range(self.w):
                self.set(x, y, rgb, alpha)

    def shape(self, distance, paint, box=None, alpha=1.0):
        """distance(x, y) < 0 inside; paint is a colour or a function of
        (x, y) giving one."""
        x0, y0, x1, y1 = box or (0, 0, self.w, self.h)
        for y in range(max(0, int(y0)), min(self.h, int(math.ceil(y1)))):
            for x in range(max(0, int(x0)), min(self.w, int(math.ceil(x1)))):
                cov = 0.5 - distance(x + 0.5, y + 0.5)
                if cov > 0:
                    colour = paint(x, y) if callable(paint) else paint
                    self.blend(x, y, colour, min(cov, 1.0) * alpha)

    def marker_column(self, x):
        for y in range(self.h):
            self.set(x, y, MAGENTA)

    def marker_row(self, y):
        for x in range(self.w):
            self.set(x, y, MAGENTA)

    def paste(self, other, ox, oy):
        for y in range(other.h):
            for x in range(other.w):
                self.px[(oy + y) * self.w + ox + x] = list(other.px[y * other.w + x])

    def rgba_bytes(self):
        """Rows of straight-alpha RGBA bytes."""
        rows = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                if a > 0:
                    r, g, b = r / a, g / a, b / a
                row += bytes(max(0, min(255, int(round(v * 255)))) for v in (r, g, b, a))
            rows.append(bytes(row))
        return rows


def rounded_box(x0, y0, x1, y1, r):
    """Signed distance to a rounded rectangle."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hw, hh = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def d(x, y):
        qx, qy = abs(x - cx) - hw, abs(y - cy) - hh
        outside = math.hypot(max(qx, 0), max(qy, 0))
        return outside + min(max(qx, qy), 0) - r

    return d


def ring(distance, width):
    return lambda x, y: abs(distance(x, y) + width / 2) - width / 2


def segment(ax, ay, bx, by, width):
    def d(x, y):
        vx, vy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)))
        return math.hypot(x - ax - vx * t, y - ay - vy * t) - width / 2

    return d


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def vertical(top, bottom, y0, y1):
    return lambda x, y: mix(top, bottom, min(1.0, max(0.0, (y + 0.5 - y0) / max(1, y1 - y0))))


def lighter(c, amount):
    return mix(c, (255, 255, 255), amount)


def darker(c, amount):
    return mix(c, (0, 0, 0), amount)


# --- PNG and ICO writers -------------------------------------------------


def png_bytes(canvas):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + row for row in canvas.rgba_bytes())
    header = struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ico_bytes(canvases):
    """32-bit DIB images with straight alpha, as icons carry them."""
    images = []
    for c in canvases:
        rows = c.rgba_bytes()
        dib = b"".join(
            bytes(v for i in range(0, len(row), 4) for v in (row[i + 2], row[i + 1], row[i], row[i + 3]))
            for row in reversed(rows))
        mask = b"\0" * (((c.w + 31) // 32) * 4) * c.h
        header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        images.append(header + dib + mask)
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def strip(frames, gap=1):
    """Frames side by side with transparent gaps."""
    w = sum(f.w for f in frames) + gap * (len(frames) - 1)
    out = Canvas(w, max(f.h for f in frames))
    x = 0
    for f in frames:
        out.paste(f, x, 0)
        x += f.w + gap
    return out


def three_part(frame, left, right):
    """Marks a three-part frame: the columns at left and frame.w - right - 1
    become markers, so that left and right pixels keep their size."""
    frame.marker_column(left)
    frame.marker_column(frame.w - right - 1)
    return frame


# --- The images ----------------------------------------------------------


def frame_background():
    """Nine-grid window frame: a dark 1-pixel border, an accent hairline on
    top, a 30-pixel title bar, a divider and a dark body with a faint inner
    edge."""
    L, R, T, B, M = 6, 6, 31, 6, 4  # kept sizes of the sides; middle pieces
    w, h = L + 1 + M + 1 + R, T + 1 + M + 1 + B
    c = Canvas(w, h)
    for y in range(h):
        for x in range(w):
            if x in (0, w - 1) or y in (0, h - 1):
                colour = BORDER
            elif y == 1:
                colour = ACCENT
            elif y < 30:
                colour = mix(TITLE_TOP, TITLE_BOTTOM, (y - 2) / 27)
            elif y == 30:
                colour = (20, 26, 38)
            elif x in (1, w - 2) or y == h - 2:
                colour = BORDER_LIGHT
            else:
                colour = BODY
            c.set(x, y, colour)
    c.marker_column(L)
    c.marker_column(w - R - 1)
    c.marker_row(T)
    c.marker_row(h - B - 1)
    return c


def frame_bottom():
    """Three-part bottom panel, 140 pixels tall: a slightly lighter card with
    a hairline on top and rounded lower corners."""
    w, h, end = 8 + 1 + 2 + 1 + 8, 140, 8
    c = Canvas(w, h)
    # Draw as if 60 wide, then keep the two ends and a slice of the middle.
    wide = Canvas(60, h)
    wide.shape(rounded_box(0, -10, 60, h, 6), vertical(PANEL_TOP, PANEL_BOTTOM, 0, h))
    for x in range(60):
        wide.blend(x, 0, (255, 255, 255), 0.06)
    for y in range(h):
        for x in range(w):
            sx = x if x < end + 2 else 60 - (w - x)
            c.px[y * w + x] = list(wide.px[y * 60 + sx])
    return three_part(c, end, end)


def state_button(w, h, fill, border, top_light=0.07, radius=4):
    c = Canvas(w, h)
    box = rounded_box(0.5, 0.5, w - 0.5, h - 0.5, radius)
    c.shape(box, vertical(lighter(fill, top_light), darker(fill, 0.06), 0, h))
    c.shape(ring(box, 1.0), border)
    return c


def buttons(palette, w, h):
    """Four frames (normal, hover, pressed, disabled), each three-part."""
    frames = []
    for fill, border in palette:
        f = state_button(w, h, fill, border)
        frames.append(three_part(f, 6, 6))
    return strip(frames)


def secondary_buttons(w=16, h=33):
    return buttons([(BUTTON, lighter(BUTTON, 0.18)), (BUTTON_HOVER, lighter(BUTTON_HOVER, 0.22)),
                    (BUTTON_PRESSED, lighter(BUTTON_PRESSED, 0.12)),
                    (BUTTON_DISABLED, lighter(BUTTON_DISABLED, 0.06))], w, h)


def primary_buttons(w=16, h=33):
    return buttons([(ACCENT, lighter(ACCENT, 0.25)), (ACCENT_LIGHT, lighter(ACCENT_LIGHT, 0.3)),
                    (ACCENT_DARK, ACCENT), (BUTTON_DISABLED, lighter(BUTTON_DISABLED, 0.06))], w, h)


def folder_strip():
    """Frame 0 the folder field; frames 1 to 4 the folder button."""
    w, h = 16, 29
    field = Canvas(w, h)
    box = rounded_box(0.5, 0.5, w - 0.5, h - 0.5, 4)
    field.shape(box, FIELD)
    field.shape(ring(box, 1.0), FIELD_BORDER)
    frames = [three_part(field, 6, 6)]
    for fill, border in [(BUTTON, lighter(BUTTON, 0.18)), (BUTTON_HOVER, lighter(BUTTON_HOVER, 0.22)),
                         (BUTTON_PRESSED, lighter(BUTTON_PRESSED, 0.12)),
                         (BUTTON_DISABLED, lighter(BUTTON_DISABLED, 0.06))]:
        frames.append(three_part(state_button(w, h, fill, border), 6, 6))
    return strip(frames)


def progress_strip():
    """Frame 0 the track, frame 1 the fill: 16 rows, a 10-pixel pill."""
    w, h = 16, 16
    track = Canvas(w, h)
    pill = rounded_box(0, 3, w, 13, 5)
    track.shape(pill, FIELD)
    track.shape(ring(pill, 1.0), (44, 54, 72))
    fill = Canvas(w, h)
    fill.shape(pill, vertical(ACCENT_LIGHT, ACCENT_DARK, 3, 13))
    for x in range(2, w - 2):
        fill.blend(x, 4, (255, 255, 255), 0.18)
    return strip([three_part(track, 6, 6), three_part(fill, 6, 6)])


def caption_button(w, glyph, bg=None, bg_alpha=1.0, ink=GLYPH):
    c = Canvas(w, 21)
    if bg:
        for y in range(21):
            for x in range(w):
                c.blend(x, y, bg, bg_alpha)
    glyph(c, w / 2, 10.5, ink)
    return c


def glyph_close(c, cx, cy, ink):
    for d in (segment(cx - 4.5, cy - 4.5, cx + 4.5, cy + 4.5, 1.3),
              segment(cx - 4.5, cy + 4.5, cx + 4.5, cy - 4.5, 1.3)):
        c.shape(d, ink)


def glyph_minimise(c, cx, cy, ink):
    c.shape(segment(cx - 5, cy + 0.5, cx + 5, cy + 0.5, 1.2), ink)


def glyph_maximise(c, cx, cy, ink):
    c.shape(ring(rounded_box(cx - 5, cy - 5, cx + 5, cy + 5, 1), 1.2), ink)


def glyph_restore(c, cx, cy, ink):
    back = ring(rounded_box(cx - 3, cy - 6, cx + 6, cy + 3, 1), 1.2)
    front_box = rounded_box(cx - 6, cy - 3, cx + 3, cy + 6, 1)
    # The back square shows only outside the front one.
    c.shape(lambda x, y: max(back(x, y), -front_box(x, y) + 0.6), ink)
    c.shape(ring(front_box, 1.2), ink)


def caption_strip(w, glyph, hover, pressed, alpha):
    return strip([caption_button(w, glyph),
                  caption_button(w, glyph, hover, alpha[0], (255, 255, 255)),
                  caption_button(w, glyph, pressed, alpha[1], (255, 255, 255))])


def separator():
    c = Canvas(3, 21)
    for y in range(21):
        fade = math.sin(math.pi * (y + 0.5) / 21)
        c.blend(1, y, (255, 255, 255), 0.14 * fade)
    return c


def check_strip():
    """Box normal, hover, pressed, disabled, then the check mark."""
    n = 14
    frames = []
    for fill, border in [(FIELD, (98, 112, 136)), (FIELD, ACCENT_LIGHT), (BUTTON_PRESSED, ACCENT),
                         ((26, 31, 40), (58, 66, 80))]:
        f = Canvas(n, n)
        box = rounded_box(0.5, 0.5, n - 0.5, n - 0.5, 3)
        f.shape(box, fill)
        f.shape(ring(box, 1.0), border)
        frames.append(f)
    mark = Canvas(n, n)
    mark.shape(rounded_box(0.5, 0.5, n - 0.5, n - 0.5, 3), vertical(ACCENT_LIGHT, ACCENT, 0, n))
    for d in (segment(3.4, 7.2, 6.0, 9.8, 1.7), segment(6.0, 9.8, 10.8, 4.4, 1.7)):
        mark.shape(d, (255, 255, 255))
    frames.append(mark)
    return strip(frames)


def radio_strip():
    """Box normal, check mark, disabled, hover, pressed."""
    n = 14
    r = n / 2

    def box(fill, border):
        f = Canvas(n, n)
        f.shape(circle(r, r, r - 0.5), fill)
        f.shape(ring(circle(r, r, r - 0.5), 1.0), border)
        return f

    mark = Canvas(n, n)
    mark.shape(circle(r, r, r - 0.5), vertical(ACCENT_LIGHT, ACCENT, 0, n))
    mark.shape(circle(r, r, 2.6), (255, 255, 255))
    return strip([box(FIELD, (98, 112, 136)), mark, box((26, 31, 40), (58, 66, 80)),
                  box(FIELD, ACCENT_LIGHT), box(BUTTON_PRESSED, ACCENT)])


def message_icons():
    """Frame 0 information, frame 1 warning; 52 x 54 like the icon's place."""
    w, h = 52, 54
    info = Canvas(w, h)
    cx, cy = w / 2, h / 2
    info.shape(circle(cx, cy, 20), vertical(ACCENT_LIGHT, ACCENT_DARK, cy - 20, cy + 20))
    info.shape(circle(cx, cy - 9, 2.6), (255, 255, 255))
    info.shape(segment(cx, cy - 2, cx, cy + 10, 4.6), (255, 255, 255))
    warn = Canvas(w, h)
    top, base = cy - 19, cy + 17
    tri = [(cx, top), (cx + 21, base), (cx - 21, base)]

    def triangle(x, y):
        d = -1e9
        for i in range(3):
            (ax, ay), (bx, by) = tri[i], tri[(i + 1) % 3]
            nx, ny = by - ay, ax - bx
            ln = math.hypot(nx, ny)
            d = max(d, ((x - ax) * nx + (y - ay) * ny) / ln)
        return d

    rounded = lambda x, y: triangle(x, y) + 0.0  # noqa: E731
    warn.shape(lambda x, y: rounded(x, y) - 0.0, vertical(lighter(WARNING, 0.15), darker(WARNING, 0.1), top, base))
    warn.shape(segment(cx, cy - 6, cx, cy + 5, 4.2), (40, 30, 10))
    warn.shape(circle(cx, cy + 11, 2.4), (40, 30, 10))
    return strip([info, warn])


def default_background():
    """460 x 200 artwork area: a night sky over layered hills, with a soft
    glow, so that the window looks finished before a publisher adds art."""
    w, h = 460, 200
    c = Canvas(w, h)
    sky_top, sky_bottom = (12, 20, 48), (40, 66, 132)
    glow = (120, 150, 255)
    for y in range(h):
        base = mix(sky_top, sky_bottom, y / h)
        for x in range(w):
            g = math.exp(-(((x - 330) / 150) ** 2 + ((y - 150) / 70) ** 2))
            c.set(x, y, mix(base, glow, 0.45 * g))
    # Stars, from a fixed sequence so that every run gives the same picture.
    seed = 12345
    for _ in range(90):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        x = seed % w
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        y = seed % 120
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        size = 0.5 + (seed % 100) / 100 * 0.9
        bright = 0.35 + (seed % 61) / 100
        c.shape(circle(x + 0.5, y + 0.5, size), (255, 255, 255), (x - 3, y - 3, x + 4, y + 4),
                alpha=bright)
    hills = [
        (150, 18, 0.011, 0.6, (32, 48, 98)),
        (165, 14, 0.017, 2.1, (24, 36, 76)),
        (180, 10, 0.023, 4.0, (17, 25, 54)),
    ]
    for base, amp, freq, phase, colour in hills:
        def ridge(x, base=base, amp=amp, freq=freq, phase=phase):
            return base - amp * math.sin(x * freq + phase) - amp * 0.4 * math.sin(x * freq * 2.7 + phase * 1.3)

        c.shape(lambda x, y, r=ridge: r(x) - y, colour)
    # A soft edge towards the frame.
    for y in range(h):
        for x in range(w):
            edge = min(x, y, w - 1 - x, h - 1 - y)
            if edge < 2:
                c.blend(x, y, (0, 0, 0), 0.25 - edge * 0.1)
    return c


def app_icon(n):
    """The tile with a downward arrow that the program itself carries."""
    c = Canvas(n, n)
    s = n / 16.0
    tile = rounded_box(0.5 * s, 0.5 * s, n - 0.5 * s, n - 0.5 * s, 3.2 * s)
    c.shape(tile, vertical((47, 155, 244), (21, 95, 200), 0, n))
    white = (255, 255, 255)
    c.shape(segment(8 * s, 3.6 * s, 8 * s, 8.6 * s, 2.3 * s), white)
    head = [(4.4 * s, 7.6 * s), (11.6 * s, 7.6 * s), (8 * s, 11.4 * s)]

    def arrow(x, y):
        d = -1e9
        for i in range(3):
            (ax, ay), (bx, by) = head[i], head[(i + 1) % 3]
            nx, ny = ay - by, bx - ax
            ln = math.hypot(nx, ny)
            d = max(d, ((x - ax) * nx + (y - ay) * ny) / ln)
        return d

    c.shape(arrow, white)
    c.shape(segment(4 * s, 13 * s, 12 * s, 13 * s, 1.3 * s), white)
    return c


IMAGES = {
    "framebkg.png": frame_background,
    "framebkgbottom.png": frame_bottom,
    "close.png": lambda: caption_strip(39, glyph_close, CLOSE_HOVER, CLOSE_PRESSED, (1.0, 1.0)),
    "mini.png": lambda: caption_strip(33, glyph_minimise, (255, 255, 255), (255, 255, 255), (0.12, 0.07)),
    "max.png": lambda: caption_strip(33, glyph_maximise, (255, 255, 255), (255, 255, 255), (0.12, 0.07)),
    "restore.png": lambda: caption_strip(33, glyph_restore, (255, 255, 255), (255, 255, 255), (0.12, 0.07)),
    "syssep.png": separator,
    "button1.png": secondary_buttons,
    "button2.png": primary_buttons,
    "checkbox.png": check_strip,
    "radiobutton.png": radio_strip,
    "dirbkg.png": folder_strip,
    "progress.png": progress_strip,
    "msgbox_icon.png": message_icons,
    "bkg1.png": default_background,
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "res", "skin")
    images = os.path.join(out, "images")
    os.makedirs(images, exist_ok=True)
    for name, make in IMAGES.items():
        with open(os.path.join(images, name), "wb") as f:
            f.write(png_bytes(make()))
    with open(os.path.join(out, "downloader.ico"), "wb") as f:
        f.write(ico_bytes([app_icon(n) for n in (16, 32, 48)]))


if __name__ == "__main__":
    main()
