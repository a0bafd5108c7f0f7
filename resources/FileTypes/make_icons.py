#!/usr/bin/env python3
"""Draws the program's file-type icons (48 x 48 RGBA PNGs) into this folder.

The icons are simple shapes drawn here at four times their size and
reduced by box averaging, so their edges are smooth. Run it again after
changing a drawing; the PNGs it writes are kept in the repository.
"""

import os
import struct
import zlib

SIZE = 48
SCALE = 4
BIG = SIZE * SCALE

# A 5 x 7 pixel font for the few capitals the labels use.
FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "X": ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    "Z": ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
}


class Canvas:
    """An RGBA canvas at four times the icon size; coordinates in icon pixels."""

    def __init__(self):
        self.px = [[(0, 0, 0, 0)] * BIG for _ in range(BIG)]

    def _blend(self, x, y, colour):
        r, g, b, a = colour
        if a == 255:
            self.px[y][x] = colour
            return
        dr, dg, db, da = self.px[y][x]
        out_a = a + da * (255 - a) // 255
        if out_a == 0:
            return
        mix = lambda s, d: (s * a + d * da * (255 - a) // 255) // out_a
        self.px[y][x] = (mix(r, dr), mix(g, dg), mix(b, db), out_a)

    def fill(self, inside, colour, box=(0, 0, SIZE, SIZE)):
        x0, y0, x1, y1 = [int(v * SCALE) for v in box]
        for y in range(max(0, y0), min(BIG, y1 + 1)):
            for x in range(max(0, x0), min(BIG, x1 + 1)):
                if inside((x + 0.5) / SCALE, (y + 0.5) / SCALE):
                    self._blend(x, y, colour)

    def rect(self, l, t, r, b, colour):
        self.fill(lambda x, y: l <= x < r and t <= y < b, colour, (l, t, r, b))

    def circle(self, cx, cy, radius, colour):
        self.fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2, colour,
                  (cx - radius, cy - radius, cx + radius, cy + radius))

    def polygon(self, points, colour):
        def inside(x, y):
            hit = False
            for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
                if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                    hit = not hit
            return hit
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.fill(inside, colour, (min(xs), min(ys), max(xs), max(ys)))

    def text(self, label, cx, top, dot, colour):
        width = len(label) * 6 * dot - dot
        left = cx - width / 2
        for i, ch in enumerate(label):
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        x = left + (i * 6 + col) * dot
                        y = top + row * dot
                        self.rect(x, y, x + dot, y + dot, colour)

    def png(self):
        rows = []
        for y in range(SIZE):
            row = bytearray([0])
            for x in range(SIZE):
                acc = [0, 0, 0, 0]
                for sy in range(SCALE):
                    for sx in range(SCALE):
                        r, g, b, a = self.px[y * SCALE + sy][x * SCALE + sx]
                        acc[0] += r * a
                        acc[1] += g * a
                        acc[2] += b * a
                        acc[3] += a
                alpha = acc[3] // (SCALE * SCALE)
                colour = [c // acc[3] if acc[3] else 0 for c in acc[:3]]
                row.extend(colour + [alpha])
            rows.append(bytes(row))
        chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                    struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
        header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


OUTLINE = (120, 120, 120, 255)
PAPER = (255, 255, 255, 255)


def page(c):
    """A sheet of paper with a folded corner."""
    c.polygon([(9, 3), (31, 3), (40, 12), (40, 45), (9, 45)], OUTLINE)
    c.polygon([(10, 4), (30.5, 4), (39, 12.5), (39, 44), (10, 44)], PAPER)
    c.polygon([(30, 3.5), (39.5, 13), (30, 13)], (210, 210, 210, 255))


def labelled_page(c, label, colour, dot=1.2):
    page(c)
    c.rect(5, 24, 43, 36, colour)
    c.text(label, 24, 25.8, dot, PAPER)


def lines(c, top, count, colour=(150, 150, 150, 255)):
    for i in range(count):
        c.rect(14, top + i * 4, 35 - (6 if i % 3 == 2 else 0), top + i * 4 + 1.5, colour)


def draw_default(c):
    page(c)
    lines(c, 17, 6, (200, 200, 200, 255))


def draw_txt(c):
    page(c)
    lines(c, 16, 7)


def draw_doc(c):
    labelled_page(c, "DOC", (43, 87, 170, 255))
    lines(c, 15, 2)


def draw_xls(c):
    labelled_page(c, "XLS", (33, 130, 70, 255))
    for x in (14, 21, 28):
        c.rect(x, 14, x + 6, 20, (200, 230, 205, 255))


def draw_html(c):
    labelled_page(c, "HTML", (220, 110, 30, 255), dot=1.0)
    c.circle(24, 15, 6, (70, 130, 200, 255))
    c.rect(17, 14.4, 31, 15.6, PAPER)


def draw_zip(c):
    labelled_page(c, "ZIP", (150, 110, 60, 255))
    for i in range(5):
        c.rect(22 if i % 2 else 25, 5 + i * 3.5, 25 if i % 2 else 28, 7.5 + i * 3.5, OUTLINE)


def draw_exe(c):
    c.rect(4, 8, 44, 40, (60, 60, 70, 255))
    c.rect(5, 13, 43, 39, (235, 240, 248, 255))
    c.rect(5, 9, 43, 12.5, (70, 110, 190, 255))
    for x in (33, 37.5):
        c.rect(x, 10, x + 3, 11.8, PAPER)
    c.polygon([(19, 18), (31, 26), (19, 34)], (70, 110, 190, 255))


def draw_image(c):
    c.rect(4, 8, 44, 40, OUTLINE)
    c.rect(5, 9, 43, 39, (150, 200, 240, 255))
    c.circle(34, 16, 4, (250, 210, 60, 255))
    c.polygon([(5, 39), (17, 20), (27, 33), (32, 27), (43, 39)], (70, 140, 70, 255))


def draw_folder(c):
    tab = (220, 170, 50, 255)
    c.polygon([(3, 10), (17, 10), (21, 14), (45, 14), (45, 40), (3, 40)], tab)
    c.polygon([(3, 18), (45, 18), (45, 40), (3, 40)], (250, 205, 80, 255))
    c.rect(3, 18, 45, 19, (255, 230, 150, 255))


def draw_drive(c):
    c.polygon([(8, 14), (40, 14), (45, 26), (3, 26)], (185, 185, 190, 255))
    c.rect(3, 26, 45, 37, (120, 120, 128, 255))
    c.rect(4, 27, 44, 36, (160, 160, 168, 255))
    c.circle(38, 31.5, 2, (60, 200, 80, 255))
    c.rect(8, 30.5, 28, 32.5, (110, 110, 118, 255))


ICONS = {
    "default.png": draw_default,
    "drive.png": draw_drive,
    "folder.png": draw_folder,
    "xls.png": draw_xls,
    "doc.png": draw_doc,
    "exe.png": draw_exe,
    "txt.png": draw_txt,
    "html.png": draw_html,
    "zip.png": draw_zip,
    "image.png": draw_image,
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, draw in ICONS.items():
        canvas = Canvas()
        draw(canvas)
        with open(os.path.join(here, name), "wb") as f:
            f.write(canvas.png())


if __name__ == "__main__":
    main()
