#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the map view's button image (client/resources/image/map.bmp): a folded map with a pin, 25 x 19,
on the mask colour MainBkColor (0x101010), which the client makes transparent.

The image is committed; run this script again after changing the drawing:
    python3 client/resources/draw_map_button.py
It draws with the skin script's canvas and writers.
"""
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
RESOURCES = os.path.join(HERE, "..", "resources")
sys.path.insert(0, RESOURCES)

from draw_skin import BLUE, Canvas, mix, write_bmp  # noqa: E402

MASK = (16, 16, 16)


def map_button():
    c = Canvas(25, 19, MASK)
    # Three panels folded like a paper map; the middle one in shadow.
    panels = [(2.5, 9.0, 0.0), (9.0, 15.5, 2.0), (15.5, 22.5, 0.0)]

    def sheet(x, y):
        for left, right, drop in panels:
            if left <= x <= right:
                if 3.0 + drop <= y <= 16.0 + drop:
                    base = (176, 188, 204) if drop else (214, 222, 232)
                    # A road across the map.
                    if abs(y - (12.5 - 0.35 * x)) < 0.9:
                        return mix(base, (240, 200, 90), 0.8)
                    return base
        return None

    c.shade(sheet)
    # The pin: a red drop with a white centre, pointing at the road.
    def pin(x, y):
        d = math.hypot(x - 16.0, y - 6.5)
        if d <= 1.1:
            return (255, 255, 255)
        if d <= 3.6:
            return (215, 55, 50)
        if 6.5 <= y <= 12.0 and abs(x - 16.0) <= (12.0 - y) * 0.55:
            return (215, 55, 50)
        return None

    c.shade(pin)
    # A blue frame line under the sheet, as the skin's selectors have.
    c.shade(lambda x, y: BLUE if 17.4 <= y <= 18.2 and 2.5 <= x <= 22.5 else None)
    return c.pixels(exact_background=True)


def main():
    write_bmp(os.path.join(RESOURCES, "image", "map.bmp"), map_button())


if __name__ == "__main__":
    main()
