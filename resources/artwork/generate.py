#!/usr/bin/env python3
"""Draws every picture of the ORL launcher and writes them as uncompressed BMP files.

    python3 resources/artwork/generate.py                 rewrite resources/bitmaps and resources/icons
    python3 resources/artwork/generate.py --preview DIR   also write enlarged PNG copies and window mock-ups

Only the standard library is used and the output is the same, byte for byte, on every run.
"""
import argparse
import math
import os
import random
import struct
import zlib

RESOURCES = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def ramp(stops, t):
    t = clamp(t)
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(c0, c1, (t - t0) / (t1 - t0))
    return stops[-1][1]


class Image:
    """RGB picture with float channels 0..255, origin top-left."""

    def __init__(self, w, h, color=(0, 0, 0)):
        self.w, self.h = w, h
        self.p = [float(c) for c in color] * (w * h)

    def get(self, x, y):
        i = 3 * (y * self.w + x)
        return tuple(self.p[i:i + 3])

    def blend(self, x, y, c, a=1.0):
        if a <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        a = min(a, 1.0)
        i = 3 * (y * self.w + x)
        p = self.p
        p[i] += (c[0] - p[i]) * a
        p[i + 1] += (c[1] - p[i + 1]) * a
        p[i + 2] += (c[2] - p[i + 2]) * a

    def rect(self, x, y, w, h, c, a=1.0):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.blend(xx, yy, c, a)

    def vgrad(self, x, y, w, h, stops, a=1.0):
        for yy in range(y, y + h):
            self.rect(x, yy, w, 1, ramp(stops, (yy - y + 0.5) / h), a)

    def frame(self, x, y, w, h, light, dark=None, a=1.0):
        """1-pixel rectangle outline: light on top and left, dark on bottom and right."""
        dark = dark or light
        self.rect(x, y, w, 1, light, a)
        self.rect(x, y + 1, 1, h - 1, light, a)
        self.rect(x + 1, y + h - 1, w - 1, 1, dark, a)
        self.rect(x + w - 1, y + 1, 1, h - 2, dark, a)

    def paste(self, src, x, y):
        for yy in range(src.h):
            for xx in range(src.w):
                self.blend(x + xx, y + yy, src.get(xx, yy))

    def scaled(self, f):
        out = Image(self.w * f, self.h * f)
        for y in range(out.h):
            for x in range(out.w):
                out.blend(x, y, self.get(x // f, y // f))
        return out

    def rows(self, order, alpha=None):
        """Bytes of each row, top to bottom, channels in `order` ('rgb' or 'bgr'), alpha appended when given."""
        idx = ['rgb'.index(ch) for ch in order]
        out = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                i = 3 * (y * self.w + x)
                row += bytes(int(clamp(self.p[i + k], 0, 255) + 0.5) for k in idx)
                if alpha:
                    row.append(alpha[y * self.w + x])
            out.append(bytes(row))
        return out


def bmp_bytes(img, alpha=None):
    bpp = 32 if alpha else 24
    pad = b'\0' * (-(img.w * bpp // 8) % 4)
    data = b''.join(row + pad for row in reversed(img.rows('bgr', alpha)))
    head = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, img.w, img.h, 1, bpp, 0, len(data), 2835, 2835, 0, 0)
    return head + info + data


def png_bytes(img, alpha=None):
    def chunk(tag, data):
        return struct.pack('>I', len(data)) + tag + data + struct.pack('>I', zlib.crc32(tag + data))
    raw = b''.join(b'\0' + row for row in img.rows('rgb', alpha))
    ihdr = struct.pack('>IIBBBBB', img.w, img.h, 8, 6 if alpha else 2, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(raw, 9))
            + chunk(b'IEND', b''))


# ---------------------------------------------------------------- shapes

def fill_poly(img, pts, color):
    """Anti-aliased polygon fill: four scanlines per pixel row, exact horizontal coverage."""
    sub = 4
    ys = [p[1] for p in pts]
    edges = list(zip(pts, pts[1:] + pts[:1]))
    for y in range(max(0, int(min(ys))), min(img.h, int(math.ceil(max(ys))))):
        cover = {}
        for s in range(sub):
            sy = y + (s + 0.5) / sub
            xs = sorted(ax + (sy - ay) * (bx - ax) / (by - ay)
                        for (ax, ay), (bx, by) in edges if (ay <= sy) != (by <= sy))
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(max(0, int(a)), min(img.w, int(b) + 1)):
                    cover[x] = cover.get(x, 0.0) + (min(b, x + 1) - max(a, x)) / sub
        for x, c in cover.items():
            img.blend(x, y, color, c)


def disc(img, cx, cy, r, color, alpha=1.0):
    for y in range(int(cy - r - 1), int(cy + r + 2)):
        for x in range(int(cx - r - 1), int(cx + r + 2)):
            img.blend(x, y, color, clamp(r - math.hypot(x + 0.5 - cx, y + 0.5 - cy) + 0.5) * alpha)


def diamond(img, cx, cy, r, color):
    fill_poly(img, [(cx, cy - r), (cx + r, cy), (cx, cy + r), (cx - r, cy)], color)


# ---------------------------------------------------------------- stroke font (capitals)

def arc(cx, cy, rx, ry, a0, a1, n=20):
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / n)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * i / n))) for i in range(n + 1)]


# Glyphs on a grid whose cap line is y 0 and baseline y 10: (width, polylines).
STROKES = {
    'A': (8, [[(0, 10), (4, 0), (8, 10)], [(1.9, 6.6), (6.1, 6.6)]]),
    'E': (6, [[(0, 0), (0, 10)], [(0, 0), (5.6, 0)], [(0, 5), (4.6, 5)], [(0, 10), (6, 10)]]),
    'I': (0, [[(0, 0), (0, 10)]]),
    'K': (7, [[(0, 0), (0, 10)], [(6.6, 0), (0.4, 6)], [(2.6, 4.2), (7, 10)]]),
    'L': (6, [[(0, 0), (0, 10), (6, 10)]]),
    'M': (10, [[(0, 10), (0.8, 0), (5, 10), (9.2, 0), (10, 10)]]),
    'N': (8, [[(0, 10), (0, 0), (8, 10), (8, 0)]]),
    'O': (9, [arc(4.5, 5, 4.6, 5.15, 0, 360, 40)]),
    'R': (7, [[(0, 0), (0, 10)], [(0, 0), (3.8, 0)] + arc(3.8, 2.6, 2.8, 2.6, -90, 90) + [(0, 5.2)],
              [(3, 5.2), (7, 10)]]),
    'S': (6.5, [arc(3.3, 2.6, 3.0, 2.6, -25, -270) + arc(3.3, 7.6, 3.2, 2.4, -90, 160)[1:]]),
    'T': (8, [[(0, 0), (8, 0)], [(4, 0), (4, 10)]]),
    'V': (8, [[(0, 0), (4, 10), (8, 0)]]),
}
PEN = math.radians(-20)          # broad-nib angle: thick down-strokes, thin hairlines
THICK, THIN, SERIF = 1.55, 0.5, 1.2


def layout(text, x, y, size, track=0.0, center=False):
    """Capsule segments (ax, ay, bx, by, radius) of `text` with its cap line at y; also the bounding box."""
    u = size / 10.0
    segs, pen = [], SERIF
    for ch in text:
        width, lines = STROKES[ch]
        for line in lines:
            for (ax, ay), (bx, by) in zip(line, line[1:]):
                w = THIN + (THICK - THIN) * math.sin(math.atan2(by - ay, bx - ax) - PEN) ** 2
                segs.append((pen + ax, ay, pen + bx, by, w / 2))
            for end, nxt in ((line[0], line[1]), (line[-1], line[-2])):
                if end[1] in (0, 10) and abs(nxt[1] - end[1]) > 0.5 * abs(nxt[0] - end[0]):
                    segs.append((pen + end[0] - SERIF, end[1], pen + end[0] + SERIF, end[1], THIN / 2))
        pen += width + 2.6 + track
    segs = [(x + ax * u, y + ay * u, x + bx * u, y + by * u, r * u) for ax, ay, bx, by, r in segs]
    box = (min(min(s[0], s[2]) - s[4] for s in segs), min(min(s[1], s[3]) - s[4] for s in segs),
           max(max(s[0], s[2]) + s[4] for s in segs), max(max(s[1], s[3]) + s[4] for s in segs))
    if center:
        dx = x - (box[0] + box[2]) / 2
        segs = [(ax + dx, ay, bx + dx, by, r) for ax, ay, bx, by, r in segs]
        box = (box[0] + dx, box[1], box[2] + dx, box[3])
    return segs, box


class Field:
    """Signed distance (pixels, negative inside) to a union of capsules, on a grid around them."""

    def __init__(self, segs, margin):
        self.x0 = int(min(min(s[0], s[2]) - s[4] for s in segs)) - margin
        self.y0 = int(min(min(s[1], s[3]) - s[4] for s in segs)) - margin
        self.w = int(max(max(s[0], s[2]) + s[4] for s in segs)) + margin - self.x0 + 2
        self.h = int(max(max(s[1], s[3]) + s[4] for s in segs)) + margin - self.y0 + 2
        self.d = [1e9] * (self.w * self.h)
        for ax, ay, bx, by, r in segs:
            dx, dy = bx - ax, by - ay
            ll = dx * dx + dy * dy or 1e-9
            reach = r + margin
            rows = range(max(0, int(min(ay, by) - reach) - self.y0), min(self.h, int(max(ay, by) + reach) - self.y0 + 1))
            cols = range(max(0, int(min(ax, bx) - reach) - self.x0), min(self.w, int(max(ax, bx) + reach) - self.x0 + 1))
            for j in rows:
                py = self.y0 + j + 0.5
                for i in cols:
                    px = self.x0 + i + 0.5
                    t = clamp(((px - ax) * dx + (py - ay) * dy) / ll)
                    d = math.hypot(px - ax - t * dx, py - ay - t * dy) - r
                    k = j * self.w + i
                    if d < self.d[k]:
                        self.d[k] = d

    def at(self, i, j):
        return self.d[j * self.w + i] if 0 <= i < self.w and 0 <= j < self.h else 1e9


LIGHT = (-0.55, -0.83)   # towards the light: top left


def paint_strokes(img, segs, fill, top, height, outline=None, shadow=None, glow=None, bevel=0.0):
    """Glow, drop shadow, outline, then a gradient fill with an embossed rim, each anti-aliased."""
    margin = int(3 * glow[1]) + 2 if glow else 3
    f = Field(segs, margin + (max(abs(shadow[0]), abs(shadow[1])) if shadow else 0))
    ow = outline[1] if outline else 0.0
    for j in range(f.h):
        y = f.y0 + j
        base = ramp(fill, (y + 0.5 - top) / height)
        for i in range(f.w):
            x, d = f.x0 + i, f.d[j * f.w + i]
            if glow and d < 3 * glow[1]:
                img.blend(x, y, glow[0], glow[2] * math.exp(-(max(d, 0.0) / glow[1]) ** 2))
            if shadow:
                img.blend(x, y, shadow[2], clamp(ow + 0.5 - f.at(i - shadow[0], j - shadow[1])) * shadow[3])
            if outline:
                img.blend(x, y, outline[0], clamp(ow + 0.5 - d))
            cover = clamp(0.5 - d)
            if cover <= 0.0:
                continue
            c = base
            if bevel:
                gx, gy = f.at(i + 1, j) - f.at(i - 1, j), f.at(i, j + 1) - f.at(i, j - 1)
                n = math.hypot(gx, gy)
                if 0 < n < 10:
                    lit = (gx * LIGHT[0] + gy * LIGHT[1]) / n * clamp(1 + d / bevel) * 0.65
                    c = mix(c, (255, 255, 240), lit) if lit > 0 else mix(c, (40, 20, 10), -lit)
            img.blend(x, y, c, cover)


def stroke_text(img, text, x, y, size, fill, track=0.0, center=False, **effects):
    segs, box = layout(text, x, y, size, track, center)
    paint_strokes(img, segs, fill, y, size, **effects)
    return box


# ---------------------------------------------------------------- pixel font (small labels)

PIXEL_FONT = {ch: rows.split('|') for ch, rows in {
    'A': '.###.|#...#|#...#|#####|#...#|#...#|#...#',
    'C': '.###.|#...#|#....|#....|#....|#...#|.###.',
    'H': '#...#|#...#|#...#|#####|#...#|#...#|#...#',
    'R': '####.|#...#|#...#|####.|#.#..|#..#.|#...#',
    'S': '.###.|#...#|#....|.###.|....#|#...#|.###.',
    'W': '#...#|#...#|#...#|#.#.#|#.#.#|#.#.#|.#.#.',
    'a': '.....|.....|.###.|....#|.####|#...#|.####',
    'c': '....|....|.###|#...|#...|#...|.###',
    'd': '....#|....#|.####|#...#|#...#|#...#|.####',
    'e': '.....|.....|.###.|#...#|#####|#....|.###.',
    'i': '.#.|...|##.|.#.|.#.|.#.|###',
    'l': '##.|.#.|.#.|.#.|.#.|.#.|###',
    'm': '.....|.....|##.#.|#.#.#|#.#.#|#.#.#|#.#.#',
    'n': '.....|.....|#.##.|##..#|#...#|#...#|#...#',
    'o': '.....|.....|.###.|#...#|#...#|#...#|.###.',
    'r': '....|....|#.##|##..|#...|#...|#...',
    's': '....|....|.###|#...|.##.|...#|###.',
    't': '.#..|.#..|####|.#..|.#..|.#..|..##',
    'u': '.....|.....|#...#|#...#|#...#|#..##|.##.#',
    'v': '.....|.....|#...#|#...#|#...#|.#.#.|..#..',
    'w': '.....|.....|#...#|#...#|#.#.#|#.#.#|.#.#.',
    'y': '.....|.....|#...#|#...#|#...#|#..##|.##.#|....#|.###.',
}.items()}


def pixel_width(text):
    return sum(len(PIXEL_FONT[ch][0]) + 1 for ch in text) - 1


def pixel_text(img, text, x, y, color, halo=None):
    """Crisp 7-pixel-high text with cap line at y; an optional soft halo and a 1-pixel drop shadow."""
    dots, pen = [], x
    for ch in text:
        rows = PIXEL_FONT[ch]
        for r, row in enumerate(rows):
            for c, bit in enumerate(row):
                if bit == '#':
                    dots.append((pen + c, y + r))
        pen += len(rows[0]) + 1
    if halo:
        for px, py in dots:
            for dx in (-1, 0, 1):
                for dy in (-1, 0, 1):
                    img.blend(px + dx, py + dy, halo[0], halo[1])
    for px, py in dots:
        img.blend(px + 1, py + 1, (0, 0, 0), 0.85)
    for px, py in dots:
        img.blend(px, py, color)


# ---------------------------------------------------------------- palette

OUTLINE = (6, 5, 8)
GOLD_HI, GOLD_LO = (228, 192, 120), (96, 68, 36)
TITLE_GOLD = [(0.0, (255, 248, 212)), (0.42, (242, 198, 98)), (0.53, (170, 110, 40)), (1.0, (236, 182, 92))]
TAB = (21, 18, 25)        # flat plate behind the banner dots
TROUGH = (42, 39, 34)     # same as the percentage label's text background
STATES = ('normal', 'hover', 'pressed')

EDITIONS = {
    237: dict(name='ORVIN',
              sky=[(0.0, (3, 5, 16)), (0.5, (13, 17, 44)), (1.0, (48, 56, 100))],
              glow=(120, 150, 225), moon=(226, 234, 255), accent=(150, 192, 242),
              lamps=(180, 215, 255), fog=(76, 88, 136),
              hills=[(33, 39, 74), (19, 23, 48), (8, 10, 22)]),
    238: dict(name='KESSA',
              sky=[(0.0, (9, 3, 12)), (0.5, (38, 11, 28)), (1.0, (126, 48, 38))],
              glow=(228, 104, 56), moon=(255, 176, 116), accent=(244, 146, 74),
              lamps=(255, 186, 96), fog=(128, 64, 52),
              hills=[(64, 27, 36), (37, 14, 23), (15, 7, 11)]),
}

MOON = (562, 50, 21)
HORIZON = 118


# ---------------------------------------------------------------- buttons

def plate(w, h, state, fill, rim=1):
    """Bevelled plate: black edge, gold rim (inverted when pressed), dark line, gradient face."""
    img = Image(w, h)
    img.frame(0, 0, w, h, OUTLINE)
    light, dark = (mix(GOLD_HI, (255, 240, 200), 0.45), GOLD_HI) if state == 'hover' else (GOLD_HI, GOLD_LO)
    if state == 'pressed':
        light, dark = mix(GOLD_LO, OUTLINE, 0.3), mix(GOLD_HI, GOLD_LO, 0.4)
    for k in range(rim):
        img.frame(1 + k, 1 + k, w - 2 - 2 * k, h - 2 - 2 * k, mix(light, dark, k * 0.5), mix(dark, light, k * 0.3))
    k = rim + 1
    img.frame(k, k, w - 2 * k, h - 2 * k, (18, 12, 10))
    img.vgrad(k + 1, k + 1, w - 2 * k - 2, h - 2 * k - 2, fill[state])
    if state != 'pressed':
        img.rect(k + 1, k + 1, w - 2 * k - 2, 1, (255, 230, 180), 0.16 if state == 'normal' else 0.3)
    return img


BRONZE = {'normal': [(0, (66, 50, 40)), (1, (28, 21, 19))],
          'hover': [(0, (104, 78, 54)), (1, (46, 34, 27))],
          'pressed': [(0, (20, 15, 14)), (1, (40, 30, 26))]}
CRIMSON = {'normal': [(0, (142, 32, 24)), (0.55, (96, 18, 16)), (1, (54, 9, 11))],
           'hover': [(0, (196, 56, 32)), (0.55, (138, 30, 20)), (1, (76, 15, 13))],
           'pressed': [(0, (44, 8, 9)), (0.5, (66, 12, 12)), (1, (82, 18, 15))]}


def small_button(label, state, w=67, h=30):
    img = plate(w, h, state, BRONZE)
    color = {'normal': (234, 202, 134), 'hover': (255, 238, 178), 'pressed': (186, 150, 92)}[state]
    halo = ((255, 190, 90), 0.12) if state == 'hover' else None
    pixel_text(img, label, (w - pixel_width(label)) // 2, (h - 7) // 2 + (state == 'pressed'),
               color, halo=halo)
    return img


def start_button(state):
    img = plate(132, 66, state, CRIMSON, rim=2)
    down = state == 'pressed'
    img.frame(6, 6 + down, 120, 54, GOLD_HI, GOLD_LO, 0.35)
    if state == 'hover':
        for y in range(7, 59):
            for x in range(7, 125):
                img.blend(x, y, (255, 140, 70), 0.28 * math.exp(-((x - 66) / 44) ** 2 - ((y - 33) / 18) ** 2))
    for x in (14, 118):
        diamond(img, x, 33 + down, 3.5, GOLD_HI if state != 'pressed' else GOLD_LO)
    fill = TITLE_GOLD if state != 'pressed' else [(t, mix(c, (60, 30, 10), 0.3)) for t, c in TITLE_GOLD]
    glow = ((255, 200, 110), 4.0, 0.55) if state == 'hover' else None
    stroke_text(img, 'START', 66, 23 + down, 20, fill, track=0.3, center=True,
                outline=((30, 8, 6), 1.3), shadow=(0, 2, (0, 0, 0), 0.6), glow=glow, bevel=2.0)
    return img


def close_button(state):
    img = plate(20, 20, state, {'normal': BRONZE['normal'], 'pressed': BRONZE['pressed'],
                                'hover': [(0, (150, 40, 28)), (1, (70, 14, 12))]})
    down = 1 if state == 'pressed' else 0
    segs = [(6.5, 6.5 + down, 13.5, 13.5 + down, 1.1), (13.5, 6.5 + down, 6.5, 13.5 + down, 1.1)]
    color = {'normal': (234, 202, 134), 'hover': (255, 240, 200), 'pressed': (170, 136, 84)}[state]
    paint_strokes(img, segs, [(0, color), (1, mix(color, (120, 80, 40), 0.3))], 5, 10,
                  shadow=(1, 1, (0, 0, 0), 0.7))
    return img


def progress_tile():
    img = Image(12, 12)
    img.vgrad(0, 0, 12, 12, [(0, (255, 246, 176)), (0.3, (253, 206, 80)), (0.7, (236, 150, 38)), (1, (196, 92, 16))])
    return img


def dot(on):
    """Banner dot over the tab colour; alpha opaque wherever the dot reaches."""
    img, alpha = Image(12, 13, TAB), []
    for y in range(13):
        for x in range(12):
            d = math.hypot(x + 0.5 - 6.0, y + 0.5 - 6.5)
            if on:
                cover = clamp(5.0 - d + 0.5)
                c = mix((255, 236, 150), (214, 140, 40), clamp((d + (y - 6.5) * 0.6) / 5.0 + 0.35))
                c = mix((70, 40, 10), c, clamp(4.2 - d + 0.5))
            else:
                cover = clamp(4.4 - d + 0.5)
                c = mix((58, 56, 64), (132, 128, 138), clamp(d - 2.6))
            img.blend(x, y, c, cover)
            alpha.append(255 if cover > 0.004 else 0)
    return img, alpha


def emblem(size):
    """Round gold-rimmed medallion with a "V"; returns the picture and its alpha."""
    img, alpha = Image(size, size), []
    c, r = size / 2.0, size * 0.48
    for y in range(size):
        for x in range(size):
            dx, dy = x + 0.5 - c, y + 0.5 - c
            d = math.hypot(dx, dy)
            lit = (dx * LIGHT[0] + dy * LIGHT[1]) / (d or 1)
            if d > r * 0.82:
                col = mix(GOLD_LO, (255, 232, 160), 0.5 + 0.5 * lit)
                col = mix(col, (40, 24, 12), clamp(1 - (d - r * 0.82) / (r * 0.05)) * 0.7)
            else:
                col = mix((46, 40, 96), (8, 7, 22), (d / (r * 0.82)) ** 1.5)
            img.blend(x, y, col)
            alpha.append(int(clamp(r - d + 0.5) * 255 + 0.5))
    stroke_text(img, 'V', c, size * 0.27, size * 0.5, TITLE_GOLD, center=True,
                outline=((20, 12, 6), size / 64), glow=((255, 200, 110), size / 20, 0.45), bevel=size / 40)
    return img, alpha


# ---------------------------------------------------------------- backgrounds

BANNER = (15, 111, 383, 219)
NOTICE = (419, 148, 327, 182)
DOTS = (138, 331, 134, 17)
TRACK = (40, 378, 572, 15)          # bar from x 40 to 584, then room for the percentage label
SLOTS = [(290, 399, 74, 21), (380, 399, 94, 21), (595, 402, 14, 14)]


def ridge(rng, base, amps, freqs):
    phases = [rng.random() * 6.283 for _ in amps]
    pts = [(x, base - sum(a * (1 - abs(math.sin(x * f + p))) ** 1.6 for a, f, p in zip(amps, freqs, phases)))
           for x in range(-2, 764, 2)]
    return pts + [(762, 430), (-2, 430)]


def scene(img, ed):
    mx, my, mr = MOON
    for y in range(img.h):
        sky = ramp(ed['sky'], y / HORIZON)
        for x in range(img.w):
            g = math.exp(-((x - mx) ** 2 + (y - my) ** 2) / 7000.0) * 0.55 + math.exp(-((y - HORIZON) / 28) ** 2) * 0.12
            img.blend(x, y, mix(sky, ed['glow'], g))
    rng = random.Random(1999)
    for _ in range(300):
        sx, sy = rng.random() * 760, rng.random() ** 1.5 * 140
        b = (0.2 + 0.8 * rng.random() ** 3) * clamp(1.25 - sy / 115)
        if math.hypot(sx - mx, sy - my) < mr + 6:
            continue
        tint = mix((255, 255, 255), ed['accent'], rng.random() * 0.5)
        fx, fy = sx - int(sx), sy - int(sy)
        for ox, oy, wgt in ((0, 0, (1 - fx) * (1 - fy)), (1, 0, fx * (1 - fy)), (0, 1, (1 - fx) * fy), (1, 1, fx * fy)):
            img.blend(int(sx) + ox, int(sy) + oy, tint, b * wgt * 1.6)
        if b > 0.75:
            for ox, oy in ((-1, 0), (2, 0), (0, -1), (0, 2)):
                img.blend(int(sx) + ox, int(sy) + oy, tint, 0.3 * b)
    disc(img, mx, my, mr + 1.5, ed['glow'], 0.35)
    disc(img, mx, my, mr, ed['moon'])
    for cx, cy, cr in ((-7, -5, 6), (6, 4, 8), (-4, 9, 4), (9, -9, 3)):
        disc(img, mx + cx, my + cy, cr, mix(ed['moon'], ed['glow'], 0.6), 0.22)
    far, mid, near = ed['hills']
    fill_poly(img, ridge(rng, 108, (26, 10, 4), (0.009, 0.027, 0.08)), mix(far, ed['glow'], 0.12))
    fill_poly(img, ridge(rng, 116, (15, 7, 3), (0.015, 0.045, 0.12)), mid)
    castle(img, ed, near)
    fill_poly(img, ridge(rng, 130, (8, 4, 2), (0.02, 0.06, 0.15)), near)
    for y in range(96, 170):
        for x in range(img.w):
            a = 0.3 * math.exp(-((y - 124) / 14) ** 2) * (0.6 + 0.4 * math.sin(x * 0.021 + math.sin(x * 0.007) * 3))
            img.blend(x, y, ed['fog'], a)
    img.vgrad(0, 170, img.w, img.h - 170, [(0, near), (1, mix(near, (0, 0, 0), 0.6))])
    for y in range(img.h):
        for x in range(img.w):
            v = ((x - 380) / 380.0) ** 2 * 0.7 + ((y - 200) / 230.0) ** 2
            img.blend(x, y, (0, 0, 0), clamp(0.55 * v ** 1.3))


def castle(img, ed, color):
    """Keep and towers on a crag, in front of the moon."""
    base = 126
    fill_poly(img, [(488, base + 6), (520, 100), (548, 92), (640, 90), (700, 96), (738, base + 6)], color)
    fill_poly(img, [(540, 92)] + [(540 + i * 4 + (2 if i % 2 else 0), 86 if i % 2 == 0 else 82) for i in range(38)]
              + [(692, 92)], color)
    for cx, hw, top, roof in ((548, 8, 70, 18), (578, 6, 60, 16), (600, 13, 50, 26), (622, 5, 44, 18),
                              (646, 9, 64, 22), (680, 6, 78, 14)):
        fill_poly(img, [(cx - hw, base), (cx - hw, top), (cx + hw, top), (cx + hw, base)], color)
        fill_poly(img, [(cx - hw - 2, top + 1), (cx, top - roof), (cx + hw + 2, top + 1)], color)
        for k in range(2):
            img.rect(int(cx) - 1, int(top) + 8 + 12 * k, 2, 3, ed['lamps'], 0.9 - 0.3 * k)
            img.blend(int(cx) - 1, int(top) + 7 + 12 * k, ed['lamps'], 0.3)


def panel(img, x, y, w, h, ed):
    """Dark recessed panel with a gold frame, a thin accent line and corner studs."""
    img.rect(x - 7, y - 5, w + 14, h + 14, (0, 0, 0), 0.35)
    img.frame(x - 4, y - 4, w + 8, h + 8, OUTLINE)
    img.frame(x - 3, y - 3, w + 6, h + 6, GOLD_HI, GOLD_LO)
    img.frame(x - 2, y - 2, w + 4, h + 4, mix(GOLD_HI, GOLD_LO, 0.5))
    img.frame(x - 1, y - 1, w + 2, h + 2, ed['accent'], ed['accent'], 0.45)
    img.vgrad(x, y, w, h, [(0, (12, 12, 20)), (1, (5, 5, 9))])
    for cx, cy in ((x - 2.5, y - 2.5), (x + w + 1.5, y - 2.5), (x - 2.5, y + h + 1.5), (x + w + 1.5, y + h + 1.5)):
        diamond(img, cx + 0.5, cy + 0.5, 4.5, OUTLINE)
        diamond(img, cx + 0.5, cy + 0.5, 3.2, GOLD_HI)


def well(img, x, y, w, h, color):
    """Sunken field: shadow above and left, gold highlight below and right."""
    img.frame(x - 2, y - 2, w + 4, h + 4, (0, 0, 0), mix(GOLD_HI, GOLD_LO, 0.5))
    img.frame(x - 1, y - 1, w + 2, h + 2, (16, 12, 10), (70, 56, 40))
    img.rect(x, y, w, h, color)


def background(bid):
    ed = EDITIONS[bid]
    img = Image(760, 429)
    scene(img, ed)
    img.vgrad(0, 349, 760, 80, [(0, (14, 12, 16)), (1, (6, 5, 8))], 0.85)
    img.rect(0, 349, 760, 1, GOLD_LO)
    img.rect(0, 350, 760, 1, (0, 0, 0), 0.6)
    panel(img, *BANNER, ed)
    panel(img, *NOTICE, ed)
    x, y, w, h = DOTS
    img.frame(x - 2, y - 2, w + 4, h + 4, OUTLINE)
    img.frame(x - 1, y - 1, w + 2, h + 2, GOLD_HI, GOLD_LO)
    img.rect(x, y, w, h, TAB)
    for label, px, py, pw in (('Account', 414, 110, 67), ('Home', 568, 110, 87)):
        img.paste(small_button(label, 'normal', pw), px, py)
    well(img, *TRACK, TROUGH)
    for sx, sy, sw, sh in SLOTS:
        img.frame(sx - 1, sy - 1, sw + 2, sh + 2, (0, 0, 0), mix(GOLD_HI, GOLD_LO, 0.5))
        img.rect(sx, sy, sw, sh, (0, 0, 0))
    caption = (196, 176, 140)
    for label, (sx, sy, sw, sh) in zip(('Server', 'Resolution'), SLOTS):
        pixel_text(img, label, sx + (sw - pixel_width(label)) // 2, 422, caption)
    pixel_text(img, 'Window', 590 - pixel_width('Window'), 406, caption)
    box = stroke_text(img, 'VELMORA', 26, 16, 46, TITLE_GOLD, track=0.4,
                      outline=((24, 12, 6), 1.6), shadow=(1, 3, (0, 0, 0), 0.75),
                      glow=(mix(ed['accent'], (0, 0, 0), 0.3), 7.0, 0.35), bevel=2.5)
    mid = (box[0] + box[2]) / 2
    sub_fill = [(0, mix(ed['accent'], (255, 255, 255), 0.55)), (1, mix(ed['accent'], (0, 0, 0), 0.2))]
    sub = stroke_text(img, ed['name'], mid, 75, 13, sub_fill, track=3.0, center=True,
                      outline=((8, 6, 10), 1.0), shadow=(1, 1, (0, 0, 0), 0.7))
    for x0, x1, inner in ((box[0] + 4, sub[0] - 12, sub[0] - 8), (sub[2] + 12, box[2] - 4, sub[2] + 8)):
        for x in range(int(x0), int(x1)):
            t = (x - x0) / (x1 - x0)
            fade = t if inner > x1 else 1 - t
            img.blend(x, 81, ed['accent'], 0.85 * fade)
            img.blend(x, 82, (0, 0, 0), 0.5 * fade)
        diamond(img, inner, 81.5, 3.0, ed['accent'])
    return img


# ---------------------------------------------------------------- output

def pictures():
    """Every picture by file name: (image, alpha or None)."""
    out = {}
    for bid, state in zip((149, 150, 151), ('normal', 'pressed', 'hover')):
        out['bitmaps/%d.bmp' % bid] = (close_button(state), None)
    for bid, state in zip((152, 153, 154), ('normal', 'pressed', 'hover')):
        out['bitmaps/%d.bmp' % bid] = (start_button(state), None)
    out['bitmaps/172.bmp'] = (progress_tile(), None)
    for first, label in ((176, 'Community'), (239, 'Reinstall')):
        for bid, state in zip(range(first, first + 3), STATES):
            out['bitmaps/%d.bmp' % bid] = (small_button(label, state), None)
    out['bitmaps/224.bmp'] = dot(True)
    out['bitmaps/225.bmp'] = dot(False)
    for bid in EDITIONS:
        out['bitmaps/%d.bmp' % bid] = (background(bid), None)
    out['icons/128.png'] = emblem(256)
    icon, alpha = emblem(48)
    flat = Image(48, 48, (12, 10, 18))
    for y in range(48):
        for x in range(48):
            flat.blend(x, y, icon.get(x, y), alpha[y * 48 + x] / 255.0)
    out['icons/128.bmp'] = (flat, None)
    return out


def mockup(pics, bid):
    """The window as the launcher first shows it, with a half-full progress bar."""
    img = Image(760, 429)
    img.paste(pics['bitmaps/%d.bmp' % bid][0], 0, 0)
    for name, x, y in (('153', 619, 358), ('149', 735, 5), ('239', 650, 5), ('176', 491, 110),
                       ('225', 172, 332), ('224', 198, 332), ('225', 224, 332)):
        img.paste(pics['bitmaps/%s.bmp' % name][0], x, y)
    tile = pics['bitmaps/172.bmp'][0]
    for y in range(15):
        for x in range(272):
            img.blend(40 + x, 378 + y, tile.get(x * 12 // 272, y * 12 // 15))
    return img


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--preview', metavar='DIR', help='also write enlarged PNG previews and mock-ups to DIR')
    args = parser.parse_args()
    pics = pictures()
    print('%-16s %9s %5s %8s' % ('file', 'size', 'bits', 'bytes'))
    for name, (img, alpha) in sorted(pics.items()):
        data = png_bytes(img, alpha) if name.endswith('.png') else bmp_bytes(img, alpha)
        path = os.path.join(RESOURCES, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)
        print('%-16s %9s %5d %8d' % (name, '%dx%d' % (img.w, img.h), 32 if alpha else 24, len(data)))
    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        for name, (img, alpha) in pics.items():
            big = img.scaled(max(1, 240 // img.w))
            with open(os.path.join(args.preview, os.path.basename(name).replace('.', '-') + '.png'), 'wb') as f:
                f.write(png_bytes(big))
        for bid in EDITIONS:
            with open(os.path.join(args.preview, 'mockup-%d.png' % bid), 'wb') as f:
                f.write(png_bytes(mockup(pics, bid)))


if __name__ == '__main__':
    main()
