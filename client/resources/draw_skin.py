#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the client's skin bitmaps (image/*.bmp) and its application icon (tavrin.png).

The images are committed; run this script again after changing a drawing:
    python3 client/resources/draw_skin.py
Only the Python standard library is used. Shapes are drawn at four times their size and averaged down,
so edges are smooth; images with a mask colour keep that colour exact where nothing is drawn.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 4  # supersampling factor


class Canvas:
    def __init__(self, width, height, background):
        self.w, self.h = width, height
        self.px = [[tuple(background) + (255,)] * (width * SS) for _ in range(height * SS)]
        self.background = tuple(background)

    def shade(self, fn, alpha=1.0):
        """fn(x, y) in image units -> (r, g, b) or None, evaluated on the supersampled grid."""
        for sy in range(self.h * SS):
            y = (sy + 0.5) / SS
            row = self.px[sy]
            for sx in range(self.w * SS):
                c = fn((sx + 0.5) / SS, y)
                if c is not None:
                    if alpha >= 1.0:
                        row[sx] = tuple(c) + (255,)
                    else:
                        o = row[sx]
                        row[sx] = tuple(int(o[i] * (1 - alpha) + c[i] * alpha) for i in range(3)) + (255,)

    def clear_alpha(self):
        for row in self.px:
            for i in range(len(row)):
                row[i] = (0, 0, 0, 0)

    def pixels(self, exact_background=False):
        """Averaged pixels, rows top to bottom, (r, g, b, a)."""
        out = []
        for y in range(self.h):
            line = []
            for x in range(self.w):
                acc = [0, 0, 0, 0]
                untouched = True
                for sy in range(y * SS, y * SS + SS):
                    for sx in range(x * SS, x * SS + SS):
                        p = self.px[sy][sx]
                        if p[:3] != self.background:
                            untouched = False
                        for i in range(4):
                            acc[i] += p[i]
                n = SS * SS
                pixel = tuple(int(round(a / n)) for a in acc)
                if exact_background and untouched:
                    pixel = self.background + (255,)
                elif exact_background and pixel[:3] == self.background:
                    # Keep a drawn pixel from turning into the mask colour.
                    pixel = tuple(min(255, c + 1) for c in pixel[:3]) + (255,)
                line.append(pixel)
            out.append(line)
        return out


def write_bmp(path, rows):
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b, _ in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_png(path, rows):
    h, w = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw += b"\0"
        for p in row:
            raw += bytes(p)

    def chunk(kind, payload):
        body = kind + payload
        return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(a[i] + (b[i] - a[i]) * t) for i in range(3))


def rounded(x, y, left, top, right, bottom, radius):
    """Inside a rounded rectangle."""
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius and left <= x <= right and top <= y <= bottom


# ---- 5x7 capitals for the logo lettering ----
FONT = {
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "V": ["10001", "10001", "10001", "10001", "01010", "01010", "00100"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
}


def text_hit(text, x, y, left, top, scale, gap=1):
    """Inside the pixel-font lettering of text placed at (left, top) with `scale` pixels per dot."""
    col = int((x - left) // scale)
    row = int((y - top) // scale)
    if row < 0 or row >= 7 or col < 0:
        return False
    per = 5 + gap
    index, within = divmod(col, per)
    if index >= len(text) or within >= 5:
        return False
    return FONT[text[index]][row][within] == "1"


BLUE = (47, 125, 209)
LIGHT_BLUE = (120, 185, 245)


def top_bg():
    c = Canvas(1, 37, (0, 0, 0))
    c.shade(lambda x, y: mix((44, 52, 66), (16, 18, 24), y / 37) if y < 35.5 else (47, 125, 209))
    return c.pixels()


def logo():
    # Combined with the banner by a bitwise OR: black leaves the banner as it is.
    c = Canvas(118, 37, (0, 0, 0))

    def lens(x, y):
        d = math.hypot(x - 18.5, y - 18.5)
        if 10.5 <= d <= 13.5:
            return mix(LIGHT_BLUE, BLUE, (y - 5) / 27)
        if d <= 6.0:
            return (150, 205, 250) if math.hypot(x - 16.5, y - 16.5) < 2.2 else BLUE
        return None

    c.shade(lens)
    c.shade(lambda x, y: (170, 190, 215) if text_hit("TAVRIN", x, y, 38, 11.5, 2.0) else None)
    return c.pixels()


def selector(on):
    c = Canvas(118, 37, (16, 16, 16))
    top, bottom = ((62, 72, 88), (36, 42, 52)) if on else ((40, 43, 48), (28, 30, 34))

    def tab(x, y):
        if not rounded(x, y, 1, 3, 117, 40, 5):
            return None
        if on and y > 34:
            return BLUE
        edge = (x < 2 or x > 116 or y < 4)
        return mix(top, bottom, (y - 3) / 34) if not edge else mix(top, (90, 100, 118), 0.5)

    c.shade(tab)
    return c.pixels()


def camera(body, lens_color):
    # Mask colour black: the background stays exact black.
    c = Canvas(26, 17, (0, 0, 0))

    def draw(x, y):
        if rounded(x, y, 3, 4, 18, 14, 2):
            return body
        if 18 <= x <= 24 and abs(y - 9) <= (x - 18) * 0.7 + 1.5:
            return mix(body, (255, 255, 255), 0.15)
        return None

    c.shade(draw)
    c.shade(lambda x, y: lens_color if math.hypot(x - 10.5, y - 9) <= 2.6 else None)
    return c.pixels(exact_background=True)


def dvr(on):
    # Mask colour white.
    c = Canvas(26, 17, (255, 255, 255))
    body = (86, 96, 112) if on else (70, 72, 78)

    def draw(x, y):
        if rounded(x, y, 2, 3, 24, 14, 2):
            if 5 <= x <= 15 and 7.5 <= y <= 9.5:
                return (30, 34, 40)
            return mix(body, (40, 44, 52), (y - 3) / 11)
        return None

    c.shade(draw)
    led = (60, 220, 90) if on else (120, 50, 50)
    c.shade(lambda x, y: led if math.hypot(x - 20, y - 8.5) <= 2.0 else None)
    return c.pixels(exact_background=True)


def icon(size):
    c = Canvas(size, size, (0, 0, 0))
    c.clear_alpha()
    s = size / 64.0

    def draw(x, y):
        u, v = x / s, y / s
        if not rounded(u, v, 2, 2, 62, 62, 13):
            return None
        d = math.hypot(u - 32, v - 32)
        if 17 <= d <= 23:
            return mix(LIGHT_BLUE, BLUE, (v - 9) / 46)
        if d <= 10:
            return (170, 215, 252) if math.hypot(u - 28.5, v - 28.5) < 3.5 else BLUE
        return mix((52, 60, 74), (20, 22, 28), v / 64)

    for sy in range(size * SS):
        for sx in range(size * SS):
            col = draw((sx + 0.5) / SS, (sy + 0.5) / SS)
            if col is not None:
                c.px[sy][sx] = tuple(col) + (255,)
    return c.pixels()


def main():
    image = os.path.join(HERE, "image")
    os.makedirs(image, exist_ok=True)
    write_bmp(os.path.join(image, "top-bg.bmp"), top_bg())
    write_bmp(os.path.join(image, "logo.bmp"), logo())
    for name in ("Device List", "Log Info", "Playback", "Alarm List"):
        write_bmp(os.path.join(image, name + "-on.bmp"), selector(True))
        write_bmp(os.path.join(image, name + "-off.bmp"), selector(False))
    write_bmp(os.path.join(image, "camera-1.bmp"), camera((80, 120, 190), (200, 225, 255)))
    write_bmp(os.path.join(image, "camera-2.bmp"), camera((200, 60, 55), (255, 200, 200)))
    write_bmp(os.path.join(image, "camera-3.bmp"), camera((60, 170, 90), (210, 255, 220)))
    write_bmp(os.path.join(image, "camera-4.bmp"), camera((120, 126, 136), (200, 205, 212)))
    write_bmp(os.path.join(image, "dvr-off.bmp"), dvr(False))
    write_bmp(os.path.join(image, "dvr-on.bmp"), dvr(True))
    write_png(os.path.join(HERE, "tavrin.png"), icon(128))


if __name__ == "__main__":
    main()
