#!/usr/bin/env python3
"""Draws Velmora's bundled icons as 8-bit BMP files.

examples/icons/<symbol>.bmp           icons for common GPX symbols (lower-case names,
                                      as the GPX reader lower-cases symbols)
examples/icons/speedcam/Speed_N.bmp   round speed-limit signs for speed-camera lists
examples/<file>.bmp                   icons of the example CSV files, beside them

Every icon has a magenta (0xFF00FF) background, which GPI bitmaps draw transparent.
Standard library only; run from anywhere:  python3 tools/gen_icons.py
"""

import math
import os
import struct
import sys

MAGENTA = (255, 0, 255)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
RED = (214, 24, 24)
DARK_RED = (140, 10, 10)
BLUE = (24, 72, 200)
DARK_BLUE = (10, 40, 120)
GREEN = (24, 150, 40)
DARK_GREEN = (12, 90, 24)
YELLOW = (250, 210, 20)
ORANGE = (240, 130, 20)
GREY = (128, 128, 128)
LIGHT_GREY = (200, 200, 200)
BROWN = (130, 80, 30)
SKY = (120, 190, 240)
OLIVE = (96, 110, 40)


class Canvas:
    """A picture of palette indices; index 0 is the transparent magenta."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.palette = [MAGENTA]
        self.pixels = [[0] * width for _ in range(height)]  # top row first

    def colour(self, rgb):
        if rgb not in self.palette:
            self.palette.append(rgb)
        return self.palette.index(rgb)

    def dot(self, x, y, rgb):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = self.colour(rgb)

    def rect(self, x0, y0, x1, y1, rgb):
        """Filled rectangle, corners included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.dot(x, y, rgb)

    def frame(self, x0, y0, x1, y1, rgb):
        self.rect(x0, y0, x1, y0, rgb)
        self.rect(x0, y1, x1, y1, rgb)
        self.rect(x0, y0, x0, y1, rgb)
        self.rect(x1, y0, x1, y1, rgb)

    def disc(self, cx, cy, r, rgb):
        """Filled circle around the pixel-centre (cx, cy), which may be a half position."""
        for y in range(self.height):
            for x in range(self.width):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.dot(x, y, rgb)

    def polygon(self, points, rgb):
        """Filled polygon by pixel centres (even-odd rule)."""
        for y in range(self.height):
            py = y + 0.5
            crossings = []
            for i, (xa, ya) in enumerate(points):
                xb, yb = points[(i + 1) % len(points)]
                if (ya <= py < yb) or (yb <= py < ya):
                    crossings.append(xa + (py - ya) * (xb - xa) / (yb - ya))
            crossings.sort()
            for left, right in zip(crossings[0::2], crossings[1::2]):
                for x in range(self.width):
                    if left <= x + 0.5 < right:
                        self.dot(x, y, rgb)

    def line(self, x0, y0, x1, y1, rgb, width=1):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        for i in range(steps + 1):
            t = i / steps
            x = x0 + (x1 - x0) * t
            y = y0 + (y1 - y0) * t
            for dy in range(width):
                for dx in range(width):
                    self.dot(int(round(x)) + dx, int(round(y)) + dy, rgb)

    def glyphs(self, text, font, x, y, rgb, gap=1):
        for ch in text:
            rows = font[ch]
            for dy, row in enumerate(rows):
                for dx, bit in enumerate(row):
                    if bit == "#":
                        self.dot(x + dx, y + dy, rgb)
            x += len(rows[0]) + gap

    def save(self, path):
        """Writes an uncompressed 8-bit BMP: rows bottom first, each padded to 4 bytes."""
        row_size = (self.width + 3) & ~3
        colours = len(self.palette)
        assert colours <= 256
        pixel_offset = 14 + 40 + 4 * colours
        image_size = row_size * self.height
        out = bytearray()
        out += b"BM" + struct.pack("<IHHI", pixel_offset + image_size, 0, 0, pixel_offset)
        out += struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 8, 0, image_size,
                           2835, 2835, colours, colours)
        for r, g, b in self.palette:
            out += bytes((b, g, r, 0))
        for row in reversed(self.pixels):
            out += bytes(row) + bytes(row_size - self.width)
        with open(path, "wb") as f:
            f.write(out)


# Digits 4 wide and 7 high for the speed signs.
DIGITS = {
    "0": [".##.", "#..#", "#..#", "#..#", "#..#", "#..#", ".##."],
    "1": ["..#.", ".##.", "..#.", "..#.", "..#.", "..#.", ".###"],
    "2": [".##.", "#..#", "...#", "..#.", ".#..", "#...", "####"],
    "3": ["###.", "...#", "...#", ".##.", "...#", "...#", "###."],
    "4": ["..#.", ".##.", "#.#.", "#.#.", "####", "..#.", "..#."],
    "5": ["####", "#...", "###.", "...#", "...#", "#..#", ".##."],
    "6": [".##.", "#...", "#...", "###.", "#..#", "#..#", ".##."],
    "7": ["####", "...#", "..#.", "..#.", ".#..", ".#..", ".#.."],
    "8": [".##.", "#..#", "#..#", ".##.", "#..#", "#..#", ".##."],
    "9": [".##.", "#..#", "#..#", ".###", "...#", "...#", ".##."],
}

# Narrow digits (3 wide) for three-digit speeds.
NARROW_DIGITS = {
    "0": ["###", "#.#", "#.#", "#.#", "#.#", "#.#", "###"],
    "1": [".#.", "##.", ".#.", ".#.", ".#.", ".#.", "###"],
    "2": ["###", "..#", "..#", "###", "#..", "#..", "###"],
    "3": ["###", "..#", "..#", "###", "..#", "..#", "###"],
    "4": ["#.#", "#.#", "#.#", "###", "..#", "..#", "..#"],
    "5": ["###", "#..", "#..", "###", "..#", "..#", "###"],
    "6": ["###", "#..", "#..", "###", "#.#", "#.#", "###"],
    "7": ["###", "..#", "..#", ".#.", ".#.", ".#.", ".#."],
    "8": ["###", "#.#", "#.#", "###", "#.#", "#.#", "###"],
    "9": ["###", "#.#", "#.#", "###", "..#", "..#", "###"],
}


def flag(rgb, dark):
    c = Canvas(16, 16)
    c.rect(2, 1, 3, 15, BROWN)  # pole
    c.rect(2, 15, 6, 15, BROWN)  # foot
    c.polygon([(4, 1), (14, 2), (12, 5), (14, 9), (4, 8)], rgb)
    c.line(4, 8, 14, 9, dark)
    return c


def car():
    c = Canvas(24, 16)
    c.polygon([(1, 8), (5, 8), (8, 3), (16, 3), (19, 8), (23, 9), (23, 12), (1, 12)], RED)
    c.polygon([(9, 4), (12, 4), (12, 8), (6.5, 8)], SKY)
    c.polygon([(13, 4), (15.5, 4), (18, 8), (13, 8)], SKY)
    c.rect(1, 9, 2, 10, YELLOW)  # lamp
    c.disc(6, 12.5, 2.6, BLACK)
    c.disc(18, 12.5, 2.6, BLACK)
    c.disc(6, 12.5, 1, LIGHT_GREY)
    c.disc(18, 12.5, 1, LIGHT_GREY)
    return c


def fuel():
    c = Canvas(20, 20)
    c.rect(3, 2, 12, 18, GREEN)
    c.frame(3, 2, 12, 18, DARK_GREEN)
    c.rect(5, 4, 10, 8, WHITE)  # display
    c.rect(2, 18, 13, 19, DARK_GREEN)  # base
    c.line(13, 9, 16, 9, BLACK)  # hose
    c.line(16, 9, 16, 15, BLACK)
    c.line(16, 15, 17, 16, BLACK)
    c.rect(15, 5, 17, 8, BLACK)  # nozzle
    return c


def restaurant():
    c = Canvas(20, 20)
    c.disc(9.5, 9.5, 9.5, BLUE)
    # fork
    for x in (5, 7, 9):
        c.rect(x, 4, x, 8, WHITE)
    c.rect(5, 8, 9, 9, WHITE)
    c.rect(7, 9, 7, 16, WHITE)
    # knife
    c.polygon([(12, 4), (14.5, 4), (14.5, 11), (12, 11)], WHITE)
    c.rect(13, 11, 14, 16, WHITE)
    return c


def parking():
    c = Canvas(18, 18)
    c.rect(0, 0, 17, 17, BLUE)
    c.frame(0, 0, 17, 17, DARK_BLUE)
    c.rect(5, 3, 7, 14, WHITE)
    c.rect(7, 3, 11, 5, WHITE)
    c.rect(7, 8, 11, 10, WHITE)
    c.rect(11, 4, 12, 9, WHITE)
    return c


def lodging():
    c = Canvas(20, 18)
    c.polygon([(10, 1), (19, 8), (1, 8)], DARK_RED)  # roof
    c.rect(3, 8, 16, 16, YELLOW)
    c.frame(3, 8, 16, 16, BROWN)
    c.rect(5, 10, 7, 12, SKY)
    c.rect(12, 10, 14, 12, SKY)
    c.rect(9, 11, 10, 16, BROWN)  # door
    return c


def scenic():
    c = Canvas(22, 18)
    c.disc(16, 4, 3, YELLOW)
    c.polygon([(0, 16), (7, 5), (13, 16)], GREY)
    c.polygon([(6, 16), (14, 7), (22, 16)], DARK_GREEN)
    c.polygon([(5.5, 7.5), (7, 5), (8.5, 7.5)], WHITE)
    c.rect(0, 16, 21, 17, GREEN)
    return c


def geocache():
    c = Canvas(20, 18)
    c.rect(2, 6, 17, 16, OLIVE)
    c.frame(2, 6, 17, 16, BLACK)
    c.rect(2, 4, 17, 6, DARK_GREEN)  # lid
    c.frame(2, 4, 17, 6, BLACK)
    c.rect(8, 2, 11, 3, BLACK)  # handle
    c.rect(8, 9, 11, 11, YELLOW)  # latch
    return c


def waypoint():
    c = Canvas(16, 16)
    c.polygon([(8, 0), (16, 8), (8, 16), (0, 8)], BLACK)
    c.polygon([(8, 2.5), (13.5, 8), (8, 13.5), (2.5, 8)], ORANGE)
    c.disc(7.5, 7.5, 1.6, BLACK)
    return c


def information():
    c = Canvas(18, 18)
    c.disc(8.5, 8.5, 8.5, BLUE)
    c.rect(8, 3, 9, 4, WHITE)
    c.rect(7, 7, 9, 7, WHITE)
    c.rect(8, 7, 9, 13, WHITE)
    c.rect(7, 13, 10, 14, WHITE)
    return c


def medical():
    c = Canvas(18, 18)
    c.rect(0, 0, 17, 17, WHITE)
    c.frame(0, 0, 17, 17, GREY)
    c.rect(7, 3, 10, 14, RED)
    c.rect(3, 7, 14, 10, RED)
    return c


def campground():
    c = Canvas(20, 16)
    c.polygon([(10, 1), (19, 15), (1, 15)], GREEN)
    c.polygon([(10, 6), (13, 15), (7, 15)], DARK_GREEN)
    c.line(10, 0, 10, 2, BROWN)
    c.rect(0, 15, 19, 15, BROWN)
    return c


def summit():
    c = Canvas(20, 16)
    c.polygon([(10, 1), (20, 15), (0, 15)], BROWN)
    c.polygon([(10, 1), (13.5, 6), (11, 5), (9, 7), (6.5, 6)], WHITE)
    c.rect(10, 0, 10, 2, RED)
    return c


def drinking_water():
    c = Canvas(16, 20)
    c.polygon([(8, 1), (13, 11), (3, 11)], BLUE)
    c.disc(7.5, 12.5, 5.2, BLUE)
    c.rect(5, 11, 6, 14, WHITE)
    return c


def puzzle_cache():
    c = geocache()
    c.rect(8, 9, 11, 11, OLIVE)
    c.glyphs("?", {"?": [".##.", "#..#", "...#", "..#.", ".#..", "....", ".#.."]}, 8, 8, WHITE)
    return c


def multi_cache():
    c = geocache()
    c.rect(8, 9, 11, 11, OLIVE)
    c.disc(6, 11, 1.5, YELLOW)
    c.disc(10, 11, 1.5, YELLOW)
    c.disc(14, 11, 1.5, YELLOW)
    return c


def trail_head():
    c = Canvas(16, 20)
    c.rect(7, 6, 8, 19, BROWN)  # post
    c.polygon([(1, 2), (12, 2), (15, 4.5), (12, 7), (1, 7)], GREEN)
    c.line(3, 4, 11, 4, WHITE)
    return c


def residence():
    c = Canvas(18, 16)
    c.polygon([(9, 0), (18, 7), (0, 7)], DARK_BLUE)
    c.rect(2, 7, 15, 15, LIGHT_GREY)
    c.frame(2, 7, 15, 15, GREY)
    c.rect(8, 10, 10, 15, BROWN)
    return c


def church():
    c = Canvas(18, 20)
    c.rect(8, 0, 9, 5, BLACK)  # cross
    c.rect(6, 2, 11, 3, BLACK)
    c.polygon([(9, 5), (15, 10), (3, 10)], DARK_RED)  # roof
    c.rect(4, 10, 13, 19, LIGHT_GREY)
    c.frame(4, 10, 13, 19, GREY)
    c.rect(7, 14, 10, 19, BROWN)  # door
    c.disc(8.5, 14, 1.6, BROWN)
    return c


def museum():
    c = Canvas(20, 18)
    c.polygon([(10, 0), (20, 5), (0, 5)], GREY)  # pediment
    c.rect(1, 5, 18, 6, GREY)
    for x in (3, 7, 11, 15):
        c.rect(x, 7, x + 1, 14, LIGHT_GREY)
    c.rect(1, 15, 18, 15, GREY)
    c.rect(0, 16, 19, 17, GREY)
    return c


def ground_transportation():
    c = Canvas(18, 20)
    c.rect(2, 1, 15, 16, BLUE)  # bus front
    c.frame(2, 1, 15, 16, DARK_BLUE)
    c.rect(4, 3, 13, 9, SKY)  # windscreen
    c.rect(4, 12, 5, 13, YELLOW)  # lamps
    c.rect(12, 12, 13, 13, YELLOW)
    c.rect(3, 17, 5, 19, BLACK)  # wheels
    c.rect(12, 17, 14, 19, BLACK)
    return c


def pin(rgb):
    c = Canvas(16, 20)
    c.rect(7, 10, 8, 19, GREY)
    c.disc(7.5, 6.5, 6, rgb)
    c.disc(5.5, 4.5, 1.5, WHITE)
    return c


def speed_sign(speed):
    c = Canvas(24, 24)
    c.disc(11.5, 11.5, 11.7, RED)
    c.disc(11.5, 11.5, 8.6, WHITE)
    text = str(speed)
    font = DIGITS if len(text) < 3 else NARROW_DIGITS
    width = len(text) * len(font["0"][0]) + (len(text) - 1)
    c.glyphs(text, font, 12 - (width + 1) // 2, 9, BLACK)
    return c


# Icons for the symbols that the OpenStreetMap mapping file (Velmora_osm.ini) names.
def fast_food():
    c = Canvas(20, 18)
    c.polygon([(2, 8), (4, 3), (15, 3), (17, 8)], ORANGE)  # upper bun
    c.rect(2, 9, 17, 10, DARK_GREEN)  # lettuce
    c.rect(2, 11, 17, 12, BROWN)  # patty
    c.rect(3, 13, 16, 15, ORANGE)  # lower bun
    for x in (6, 10, 13):
        c.dot(x, 5, YELLOW)
    return c


def bar():
    c = Canvas(18, 18)
    c.polygon([(2, 2), (16, 2), (9, 10)], SKY)  # glass
    c.line(2, 2, 9, 10, DARK_BLUE)
    c.line(16, 2, 9, 10, DARK_BLUE)
    c.rect(8, 10, 9, 15, DARK_BLUE)  # stem
    c.rect(5, 16, 12, 16, DARK_BLUE)  # foot
    c.disc(12, 4, 1.5, RED)  # cherry
    return c


def pharmacy():
    c = Canvas(18, 18)
    c.rect(0, 0, 17, 17, WHITE)
    c.frame(0, 0, 17, 17, GREY)
    c.rect(7, 3, 10, 14, GREEN)
    c.rect(3, 7, 14, 10, GREEN)
    return c


def bank():
    c = Canvas(20, 18)
    c.polygon([(10, 1), (19, 6), (1, 6)], GREY)  # pediment
    for x in (3, 7, 11, 15):
        c.rect(x, 7, x + 1, 14, GREY)  # columns
    c.rect(1, 15, 18, 16, GREY)
    c.disc(9.5, 4, 1, YELLOW)
    return c


def post_office():
    c = Canvas(20, 16)
    c.rect(1, 2, 18, 13, YELLOW)
    c.frame(1, 2, 18, 13, BROWN)
    c.line(1, 2, 9.5, 8, BROWN)  # flap
    c.line(18, 2, 9.5, 8, BROWN)
    return c


def police_station():
    c = Canvas(18, 20)
    c.polygon([(1, 2), (9, 0), (17, 2), (16, 11), (9, 19), (2, 11)], DARK_BLUE)  # shield
    c.polygon([(9, 4), (11, 8), (15, 8), (12, 11), (13, 15), (9, 12.5), (5, 15), (6, 11),
               (3, 8), (7, 8)], YELLOW)  # star
    return c


def restroom():
    c = Canvas(20, 18)
    c.rect(0, 0, 19, 17, BLUE)
    c.rect(9, 2, 10, 15, WHITE)  # divider
    c.disc(4.5, 3.5, 1.6, WHITE)  # man
    c.rect(3, 6, 6, 11, WHITE)
    c.rect(3, 12, 3, 15, WHITE)
    c.rect(6, 12, 6, 15, WHITE)
    c.disc(14.5, 3.5, 1.6, WHITE)  # woman
    c.polygon([(14.5, 5.5), (17.5, 12), (11.5, 12)], WHITE)
    c.rect(13, 12, 13, 15, WHITE)
    c.rect(16, 12, 16, 15, WHITE)
    return c


def picnic_area():
    c = Canvas(20, 18)
    c.disc(15, 5, 4, GREEN)  # tree
    c.rect(14, 8, 15, 16, BROWN)
    c.rect(1, 9, 12, 10, BROWN)  # table top
    c.line(3, 10, 2, 16, BROWN)  # legs
    c.line(10, 10, 11, 16, BROWN)
    c.rect(0, 13, 13, 13, BROWN)  # bench
    return c


def shopping_center():
    c = Canvas(20, 18)
    c.line(0, 2, 3, 2, BLACK)  # handle
    c.polygon([(3, 4), (18, 4), (16, 11), (5, 11)], BLUE)  # basket
    c.line(3, 2, 5, 12, BLACK)
    c.rect(5, 12, 16, 12, BLACK)
    c.disc(6.5, 15, 1.6, BLACK)  # wheels
    c.disc(14.5, 15, 1.6, BLACK)
    return c


def convenience_store():
    c = Canvas(18, 18)
    c.rect(2, 6, 15, 16, ORANGE)  # bag
    c.frame(2, 6, 15, 16, BROWN)
    c.line(5, 6, 6, 2, BROWN)  # handle
    c.line(6, 2, 11, 2, BROWN)
    c.line(11, 2, 12, 6, BROWN)
    c.rect(6, 9, 11, 10, WHITE)
    return c


def danger_area():
    c = Canvas(20, 18)
    c.polygon([(10, 0), (20, 17), (0, 17)], RED)
    c.polygon([(10, 4), (16.5, 15), (3.5, 15)], WHITE)
    c.rect(9, 6, 10, 11, BLACK)  # "!"
    c.rect(9, 13, 10, 14, BLACK)
    return c


SYMBOL_ICONS = {
    "flag, blue": lambda: flag(BLUE, DARK_BLUE),
    "flag, red": lambda: flag(RED, DARK_RED),
    "flag, green": lambda: flag(GREEN, DARK_GREEN),
    "car": car,
    "gas station": fuel,
    "fuel": fuel,
    "restaurant": restaurant,
    "parking area": parking,
    "lodging": lodging,
    "scenic area": scenic,
    "geocache": geocache,
    "puzzle cache": puzzle_cache,
    "multi-cache": multi_cache,
    "trail head": trail_head,
    "waypoint": waypoint,
    "information": information,
    "medical facility": medical,
    "campground": campground,
    "summit": summit,
    "drinking water": drinking_water,
    "residence": residence,
    "church": church,
    "museum": museum,
    "ground transportation": ground_transportation,
    "pin, blue": lambda: pin(BLUE),
    "pin, red": lambda: pin(RED),
    "pin, green": lambda: pin(GREEN),
    "fast food": fast_food,
    "bar": bar,
    "pharmacy": pharmacy,
    "bank": bank,
    "post office": post_office,
    "police station": police_station,
    "restroom": restroom,
    "picnic area": picnic_area,
    "shopping center": shopping_center,
    "convenience store": convenience_store,
    "danger area": danger_area,
}

SPEEDS = range(30, 131, 10)

# A CSV file takes the BMP file of its own base name beside it as its icon.
CSV_ICONS = {
    "Campsites": campground,
}


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "icons")
    root = os.path.normpath(sys.argv[1]) if len(sys.argv) > 1 else os.path.normpath(root)
    speedcam = os.path.join(root, "speedcam")
    os.makedirs(speedcam, exist_ok=True)
    for symbol, draw in SYMBOL_ICONS.items():
        draw().save(os.path.join(root, symbol + ".bmp"))
    for speed in SPEEDS:
        speed_sign(speed).save(os.path.join(speedcam, "Speed_%d.bmp" % speed))
    for name, draw in CSV_ICONS.items():
        draw().save(os.path.join(root, "..", name + ".bmp"))
    print("wrote %d icons to %s" % (len(SYMBOL_ICONS) + len(SPEEDS) + len(CSV_ICONS), root))


if __name__ == "__main__":
    main()
