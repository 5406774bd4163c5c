#!/usr/bin/env python3
"""Draws the setup's interface images as PNG files.

Usage: draw_images.py OUTPUT_DIR

Also writes app.ico, the program's icon in five sizes.

Every image is drawn from simple shapes with anti-aliased edges (coverage from
signed distances), so the whole set shares one flat look: light surfaces, the
product green as accent, white glyphs on green. Button images are strips of
equally wide frames side by side (normal, hover, pressed[, disabled]).
Standard library only.
"""

import math
import os
import struct
import sys
import zlib

GREEN = (7, 193, 96)
GREEN_HOVER = (38, 208, 122)
GREEN_PRESSED = (5, 163, 81)
GREEN_DARK = (6, 150, 76)
GREEN_TINT = (234, 249, 241)
GREEN_TINT_DEEP = (212, 241, 225)
BLUE = (41, 128, 255)
BLUE_TINT = (235, 243, 255)
BLUE_TINT_DEEP = (216, 231, 255)
WHITE = (255, 255, 255)
SURFACE = (249, 250, 251)
BORDER = (218, 222, 226)
GREY = (150, 155, 160)
GREY_DARK = (96, 100, 105)
DISABLED = (204, 207, 210)
DISABLED_TEXTLESS = (232, 234, 236)


class Canvas:
    def __init__(self, width, height):
        self.w = width
        self.h = height
        # Straight (not premultiplied) RGBA as floats 0..1.
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def blend(self, x, y, color, alpha):
        if alpha <= 0.0 or x < 0 or y < 0 or x >= self.w or y >= self.h:
            return
        alpha = min(alpha, 1.0)
        p = self.px[y * self.w + x]
        src = [c / 255.0 for c in color]
        out_a = alpha + p[3] * (1.0 - alpha)
        if out_a <= 0.0:
            return
        for i in range(3):
            p[i] = (src[i] * alpha + p[i] * p[3] * (1.0 - alpha)) / out_a
        p[3] = out_a

    def shape(self, box, distance, color, alpha=1.0):
        """Fills where distance(px, py) < 0; one pixel of soft edge."""
        x0, y0, x1, y1 = box
        for y in range(max(0, int(math.floor(y0)) - 1), min(self.h, int(math.ceil(y1)) + 1)):
            for x in range(max(0, int(math.floor(x0)) - 1), min(self.w, int(math.ceil(x1)) + 1)):
                d = distance(x + 0.5, y + 0.5)
                cover = min(1.0, max(0.0, 0.5 - d))
                if cover > 0.0:
                    self.blend(x, y, color, cover * alpha)

    def png(self):
        rows = bytearray()
        for y in range(self.h):
            rows.append(0)
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                rows += bytes((round(r * 255), round(g * 255), round(b * 255), round(a * 255)))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


# Signed distances.
def rounded_rect(x, y, w, h, r):
    cx, cy, hw, hh = x + w / 2.0, y + h / 2.0, w / 2.0, h / 2.0
    r = min(r, hw, hh)

    def d(px, py):
        qx = abs(px - cx) - (hw - r)
        qy = abs(py - cy) - (hh - r)
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return (x, y, x + w, y + h), d


def circle(cx, cy, r):
    return (cx - r, cy - r, cx + r, cy + r), lambda px, py: math.hypot(px - cx, py - cy) - r


def ring(cx, cy, r, width):
    return (cx - r - width, cy - r - width, cx + r + width, cy + r + width), \
        lambda px, py: abs(math.hypot(px - cx, py - cy) - r) - width / 2.0


def segment(x0, y0, x1, y1, width):
    def d(px, py):
        dx, dy = x1 - x0, y1 - y0
        t = ((px - x0) * dx + (py - y0) * dy) / float(dx * dx + dy * dy or 1)
        t = max(0.0, min(1.0, t))
        return math.hypot(px - (x0 + t * dx), py - (y0 + t * dy)) - width / 2.0
    pad = width
    return (min(x0, x1) - pad, min(y0, y1) - pad, max(x0, x1) + pad, max(y0, y1) + pad), d


def polyline(c, points, width, color, alpha=1.0):
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        c.shape(*segment(x0, y0, x1, y1, width), color, alpha)


def outlined(c, x, y, w, h, r, fill, border):
    c.shape(*rounded_rect(x, y, w, h, r), border)
    c.shape(*rounded_rect(x + 1, y + 1, w - 2, h - 2, max(r - 1, 0)), fill)


# Images, by resource id.
def strip(frame_w, frame_h, frames, draw):
    c = Canvas(frame_w * frames, frame_h)
    for i in range(frames):
        draw(c, i * frame_w, i)
    return c


def pill_buttons(w, h, radius, frames):
    fills = [GREEN, GREEN_HOVER, GREEN_PRESSED, DISABLED]
    return strip(w, h, frames, lambda c, x, i: c.shape(*rounded_rect(x, 0, w, h, radius), fills[i]))


def outline_buttons(w, h, radius, accent, tints):
    fills = [WHITE] + tints
    return strip(w, h, 3, lambda c, x, i: outlined(c, x, 0, w, h, radius, fills[i], accent))


def close_glyph(size, color_of, back_of):
    def draw(c, x, i):
        back = back_of(i)
        if back:
            c.shape(*circle(x + size / 2.0, size / 2.0, size / 2.0 - 1), back[0], back[1])
        m = size * 0.32
        color, alpha = color_of(i)
        c.shape(*segment(x + m, m, x + size - m, size - m, 1.6), color, alpha)
        c.shape(*segment(x + size - m, m, x + m, size - m, 1.6), color, alpha)
    return draw


def window_close():
    alphas = [0.85, 1.0, 1.0, 0.45]
    backs = [None, (WHITE, 0.22), (WHITE, 0.32), None]
    return strip(25, 25, 4, close_glyph(25, lambda i: (WHITE, alphas[i]), lambda i: backs[i]))


def window_minimise():
    alphas = [0.85, 1.0, 1.0]
    backs = [None, 0.22, 0.32]

    def draw(c, x, i):
        if backs[i]:
            c.shape(*circle(x + 12.5, 12.5, 11.5), WHITE, backs[i])
        c.shape(*segment(x + 8, 13, x + 17, 13, 1.6), WHITE, alphas[i])
    return strip(25, 25, 3, draw)


def box_close():
    colors = [GREY, GREY_DARK, GREY_DARK]

    def draw(c, x, i):
        if i:
            c.shape(*rounded_rect(x + 6, 6, 23, 23, 3), (236, 238, 240) if i == 1 else (224, 227, 230))
        c.shape(*segment(x + 13, 13, x + 22, 22, 1.5), colors[i])
        c.shape(*segment(x + 22, 13, x + 13, 22, 1.5), colors[i])
    return strip(35, 35, 3, draw)


def box_background():
    c = Canvas(420, 180)
    c.shape(*rounded_rect(0, 0, 420, 180, 0), BORDER)
    c.shape(*rounded_rect(1, 1, 418, 178, 0), WHITE)
    c.shape(*rounded_rect(1, 1, 418, 3, 0), GREEN)
    # Notice sign left of the message text.
    c.shape(*circle(74, 80, 22), GREEN)
    c.shape(*circle(74, 70.5, 2.6), WHITE)
    c.shape(*rounded_rect(71.8, 76, 4.4, 16, 2), WHITE)
    return c


def check_boxes():
    def draw(c, x, i):
        state = i % 4
        if i < 4:
            border = [BORDER, GREEN, GREEN, DISABLED][state]
            fill = [WHITE, WHITE, GREEN_TINT, DISABLED_TEXTLESS][state]
            outlined(c, x, 0, 14, 14, 2.5, fill, border)
        else:
            fill = [GREEN, GREEN_HOVER, GREEN_PRESSED, DISABLED][state]
            c.shape(*rounded_rect(x, 0, 14, 14, 2.5), fill)
            polyline(c, [(x + 3.5, 7.2), (x + 6, 9.8), (x + 10.8, 4.4)], 1.6, WHITE)
    return strip(14, 14, 8, draw)


def gauge_logo():
    c = Canvas(79, 105)
    c.shape(*circle(39.5, 38, 34), WHITE, 0.18)
    c.shape(*circle(39.5, 38, 29), WHITE)
    c.shape(*ring(39.5, 40, 17, 4), GREEN)
    # Open the ring at the bottom: a gauge.
    c.shape(*rounded_rect(30, 50, 19, 12, 0), WHITE)
    c.shape(*segment(39.5, 40, 48, 30, 3.2), GREEN_DARK)
    c.shape(*circle(39.5, 40, 3.6), GREEN_DARK)
    return c


def finish_logo():
    c = Canvas(79, 105)
    c.shape(*circle(39.5, 38, 34), WHITE, 0.18)
    c.shape(*circle(39.5, 38, 29), WHITE)
    polyline(c, [(26, 38.5), (35.5, 48), (53, 29)], 5.0, GREEN)
    return c


def progress_picture():
    c = Canvas(120, 140)
    c.shape(*circle(60, 62, 52), WHITE, 0.16)
    c.shape(*circle(60, 62, 44), WHITE)
    # An arrow into a tray: files going in.
    c.shape(*rounded_rect(56.5, 34, 7, 26, 2), GREEN)
    polyline(c, [(47, 51), (60, 64), (73, 51)], 7.0, GREEN)
    polyline(c, [(38, 68), (38, 82), (82, 82), (82, 68)], 6.0, GREEN_DARK)
    return c


def browse_buttons():
    colors = [GREY, GREEN, GREEN_DARK, DISABLED]

    def draw(c, x, i):
        col = colors[i]
        c.shape(*rounded_rect(x + 1, 1.5, 6, 3, 1), col)
        c.shape(*rounded_rect(x + 1, 3, 14, 10, 1.5), col)
        c.shape(*rounded_rect(x + 2.5, 5.5, 11, 6, 1), WHITE)
    return strip(16, 14, 4, draw)


def options_link():
    # Options toggle: slider glyph and a chevron, no text of its own.
    colors = [GREY, GREEN, GREEN_DARK]

    def draw(c, x, i):
        col = colors[i]
        for row, knob in ((3.5, 59), (7, 64), (10.5, 57)):
            c.shape(*segment(x + 54, row, x + 67, row, 1.2), col)
            c.shape(*circle(x + knob, row, 1.6), col)
        polyline(c, [(x + 71, 5), (x + 74, 8.5), (x + 77, 5)], 1.4, col)
    return strip(79, 14, 3, draw)


def bar(color_top, color_bottom):
    c = Canvas(608, 10)

    def d(px, py):
        return rounded_rect(0, 0, 608, 10, 5)[1](px, py)
    for y in range(10):
        t = y / 9.0
        col = tuple(round(a + (b - a) * t) for a, b in zip(color_top, color_bottom))
        for x in range(608):
            cover = min(1.0, max(0.0, 0.5 - d(x + 0.5, y + 0.5)))
            c.blend(x, y, col, cover)
    return c


def field_background():
    c = Canvas(620, 34)
    outlined(c, 0, 0, 620, 34, 3, WHITE, BORDER)
    return c


def page_background():
    # Square corners: the window is one opaque rectangle (its backdrop shows
    # wherever this image is transparent). The band ends below the finish
    # title (y 183-207) and above the welcome subtitle (y 211).
    w, h, band = 690, 446, 209
    c = Canvas(w, h)
    top = (16, 204, 112)
    bottom = GREEN_PRESSED
    for y in range(h):
        if y < band:
            t = y / float(band - 1)
            col = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        else:
            col = SURFACE
        for x in range(w):
            c.blend(x, y, col, 1.0)
    # Quiet decoration in the band.
    c.shape(*circle(610, 20, 120), WHITE, 0.05)
    c.shape(*circle(70, 200, 90), WHITE, 0.04)
    return c


IMAGES = {
    247: window_close,
    251: lambda: pill_buttons(90, 28, 4, 3),
    252: lambda: outline_buttons(90, 28, 4, GREEN, [GREEN_TINT, GREEN_TINT_DEEP]),
    253: box_close,
    254: box_background,
    275: check_boxes,
    284: gauge_logo,
    285: browse_buttons,
    286: options_link,
    287: lambda: bar((228, 231, 234), (236, 238, 240)),
    288: lambda: bar(GREEN_HOVER, GREEN),
    289: field_background,
    294: page_background,
    295: window_minimise,
    296: lambda: pill_buttons(198, 50, 25, 4),
    297: lambda: pill_buttons(120, 40, 20, 4),
    299: lambda: outline_buttons(120, 40, 20, BLUE, [BLUE_TINT, BLUE_TINT_DEEP]),
    300: progress_picture,
    301: finish_logo,
}


def app_icon_image(size):
    """The program's icon at one size: a green tile with an arrow into a tray."""
    c = Canvas(size, size)
    c.shape(*rounded_rect(0, 0, size, size, size * 0.22), GREEN)
    w = max(1.5, size * 0.095)
    polyline(c, [(size * 0.5, size * 0.2), (size * 0.5, size * 0.6)], w, WHITE)
    polyline(c, [(size * 0.31, size * 0.42), (size * 0.5, size * 0.61), (size * 0.69, size * 0.42)], w, WHITE)
    polyline(c, [(size * 0.22, size * 0.62), (size * 0.22, size * 0.79), (size * 0.78, size * 0.79),
                 (size * 0.78, size * 0.62)], w, WHITE)
    return c


ICON_SIZES = (16, 24, 32, 48, 256)


def icon_file():
    """An .ico with every size of the program's icon: 32-bit bitmaps, and PNG
    for 256 pixels as Windows expects it."""
    images = []
    for size in ICON_SIZES:
        c = app_icon_image(size)
        if size >= 256:
            images.append((size, c.png()))
            continue
        xor = bytearray()
        for y in reversed(range(size)):  # bottom-up rows
            for x in range(size):
                r, g, b, a = c.px[y * size + x]
                xor += bytes((round(b * 255), round(g * 255), round(r * 255), round(a * 255)))
        mask_row = ((size + 31) // 32) * 4  # the alpha channel decides; the mask stays clear
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + mask_row * size, 0, 0, 0, 0)
        images.append((size, header + bytes(xor) + bytes(mask_row * size)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size & 0xFF, size & 0xFF, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def write_file(path, data):
    tmp = path + ".part"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for image_id, draw in sorted(IMAGES.items()):
        write_file(os.path.join(out, "%d.png" % image_id), draw().png())
    write_file(os.path.join(out, "app.ico"), icon_file())
    return 0


if __name__ == "__main__":
    sys.exit(main())
