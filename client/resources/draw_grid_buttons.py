#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws three of the four tab-strip button images of the video grid (image/talk.bmp, record.bmp,
snapshot.bmp): 25 x 19 pixels on the default MainBkColor, which the grid makes transparent. The fourth,
map.bmp, is the map view's own button image (client/resources/draw_map_button.py).

The images are committed; run this script again after changing a drawing:
    python3 client/resources/draw_grid_buttons.py
"""
import math
import os

from draw_skin import Canvas, mix, rounded, write_bmp

HERE = os.path.dirname(os.path.abspath(__file__))
MASK = (16, 16, 16)  # MainBkColor 0x00101010
W, H = 25, 19
LIGHT = (214, 222, 234)
BLUE = (96, 160, 230)


def image(draw):
    c = Canvas(W, H, MASK)
    c.shade(draw)
    return c.pixels(exact_background=True)


def talk(x, y):
    # A microphone on its stand.
    if rounded(x, y, 9.5, 2, 15.5, 11.5, 3):
        return mix(LIGHT, (150, 160, 175), (y - 2) / 10)
    d = math.hypot(x - 12.5, y - 9)
    if 5.2 <= d <= 6.4 and y >= 9:
        return LIGHT
    if 11.9 <= x <= 13.1 and 15 <= y <= 17:
        return LIGHT
    if 9 <= x <= 16 and 16.6 <= y <= 17.6:
        return LIGHT
    return None


def record(x, y):
    d = math.hypot(x - 12.5, y - 9.5)
    if d <= 6.2:
        return mix((240, 80, 70), (190, 30, 30), d / 6.2)
    if d <= 7.4:
        return LIGHT
    return None


def snapshot(x, y):
    # A camera body with its lens and finder.
    if rounded(x, y, 3, 6, 22, 16, 2):
        d = math.hypot(x - 12.5, y - 11)
        if d <= 2.2:
            return BLUE
        if d <= 3.6:
            return (40, 44, 52)
        return mix(LIGHT, (150, 160, 175), (y - 6) / 10)
    if rounded(x, y, 8, 3.5, 14, 7, 1):
        return LIGHT
    if 17.5 <= x <= 20 and 4.5 <= y <= 6:
        return (255, 210, 90)
    return None


def main():
    folder = os.path.join(HERE, "image")
    for name, draw in (("talk", talk), ("record", record), ("snapshot", snapshot)):
        write_bmp(os.path.join(folder, name + ".bmp"), image(draw))


if __name__ == "__main__":
    main()
