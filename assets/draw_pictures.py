#!/usr/bin/env python3
"""Draws the patcher's two decorative pictures.

    monster_archer.png  130 x 130  a hulking horned troll and a small archer drawing a bow at it
    adventurers.png     130 x 91   four adventurers side by side: elf, knight, wizard, dwarf

and each again at twice the size (monster_archer_2x.png, adventurers_2x.png, 260 x 260 and
260 x 182), for windows shown larger: the same drawings, every coordinate and line width doubled.

Both are grey line drawings on a transparent background: every pixel has R = G = B, and the
alpha channel carries the ink's coverage. The script needs nothing beyond the Python standard
library and writes the same bytes on every run:

    python3 assets/draw_pictures.py
"""

import contextlib
import math
import os
import struct
import zlib

# --------------------------------------------------------------------------------------------
# Ink
# --------------------------------------------------------------------------------------------

INK = 0x1C  # outlines
DETAIL = 0x34  # interior lines: faces, folds, armour seams
SHADE = 0x2A  # dark areas: hair, hoods, boots, horn points

OUTLINE_W = 1.6
DETAIL_W = 1.25

# The size being drawn: coordinates, line widths and spacings below are those of size 1, and the
# rasteriser multiplies them by this.
_size = 1


# --------------------------------------------------------------------------------------------
# Geometry: paths written as a small path language, flattened to polylines
# --------------------------------------------------------------------------------------------


def _quad(p0, p1, p2, steps):
    pts = []
    for i in range(1, steps + 1):
        t = i / steps
        u = 1.0 - t
        pts.append((u * u * p0[0] + 2 * u * t * p1[0] + t * t * p2[0],
                    u * u * p0[1] + 2 * u * t * p1[1] + t * t * p2[1]))
    return pts


def _cubic(p0, p1, p2, p3, steps):
    pts = []
    for i in range(1, steps + 1):
        t = i / steps
        u = 1.0 - t
        a, b, c, d = u * u * u, 3 * u * u * t, 3 * u * t * t, t * t * t
        pts.append((a * p0[0] + b * p1[0] + c * p2[0] + d * p3[0],
                    a * p0[1] + b * p1[1] + c * p2[1] + d * p3[1]))
    return pts


def _steps(*pts):
    """Enough pieces that a curve looks smooth at this size (about one per pixel)."""
    length = sum(math.dist(pts[i], pts[i + 1]) for i in range(len(pts) - 1)) * _size
    return max(3, int(length / 0.8) + 1)


# Figures are drawn in their own frame and placed into the picture: (scale x, scale y, x, y).
_placement = [(1.0, 1.0, 0.0, 0.0)]


@contextlib.contextmanager
def placed(scale, x, y, mirror=False):
    """Draws what follows scaled by `scale` with its origin at (x, y) of the enclosing frame,
    mirrored left to right when asked. Line widths stay in pixels (of size 1)."""
    sx, sy, ox, oy = _placement[-1]
    _placement.append((sx * (-scale if mirror else scale), sy * scale, ox + sx * x, oy + sy * y))
    try:
        yield
    finally:
        _placement.pop()


def _place(pts):
    sx, sy, ox, oy = _placement[-1]
    return [((ox + sx * x) * _size, (oy + sy * y) * _size) for x, y in pts]


def path(text):
    """Turns "M x y L x y Q cx cy x y C ax ay bx by x y Z" into a list of polylines.

    Only absolute coordinates; a new M starts a new polyline, Z closes the current one.
    """
    tokens = text.replace(",", " ").split()
    lines = []
    cur = None
    start = None
    cmd = None
    i = 0

    def num():
        nonlocal i
        v = float(tokens[i])
        i += 1
        return v

    while i < len(tokens):
        if tokens[i].isalpha():
            cmd = tokens[i]
            i += 1
            if cmd == "Z":
                if cur is not None:
                    cur.append(start)
                continue
        p = cur[-1] if cur else None
        if cmd == "M":
            start = (num(), num())
            cur = [start]
            lines.append(cur)
            cmd = "L"  # further pairs after M are line-tos
        elif cmd == "L":
            cur.append((num(), num()))
        elif cmd == "Q":
            c = (num(), num())
            e = (num(), num())
            cur.extend(_quad(p, c, e, _steps(p, c, e)))
        elif cmd == "C":
            c1 = (num(), num())
            c2 = (num(), num())
            e = (num(), num())
            cur.extend(_cubic(p, c1, c2, e, _steps(p, c1, c2, e)))
        else:
            raise ValueError("unknown path command " + cmd)
    return [_place(pts) for pts in lines]


def ellipse(cx, cy, rx, ry, a0=0.0, a1=360.0):
    """An ellipse or an arc of one, angles in degrees, 0 pointing right, 90 pointing down."""
    n = max(8, int(abs(a1 - a0) / 360.0 * 2 * math.pi * max(rx, ry) * _size / 0.8) + 1)
    pts = []
    for k in range(n + 1):
        a = math.radians(a0 + (a1 - a0) * k / n)
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return [_place(pts)]


def poly(pts, close=False):
    """A polyline through points given in the current frame."""
    pts = list(pts)
    return [_place(pts + pts[:1] if close else pts)]


def circle(cx, cy, r):
    return ellipse(cx, cy, r, r)


# --------------------------------------------------------------------------------------------
# Canvas: grey ink with alpha, premultiplied while drawing
# --------------------------------------------------------------------------------------------


class Canvas:
    def __init__(self, width, height):
        self.w = width
        self.h = height
        self.alpha = [0.0] * (width * height)
        self.ink = [0.0] * (width * height)  # grey level times alpha, 0..255

    # ---- coverage masks: dict of pixel index -> coverage 0..1 --------------------------------

    def _stroke_mask(self, lines, width, width_end=None):
        """Coverage of round-capped strokes along polylines; overlaps take the larger value,
        so joints and crossings of one stroke never darken."""
        mask = {}
        width *= _size
        if width_end is not None:
            width_end *= _size
        for pts in lines:
            if width_end is None:
                radii = [width / 2.0] * len(pts)
            else:
                # tapered: the width changes evenly with the distance along the line
                total = sum(math.dist(pts[k], pts[k + 1]) for k in range(len(pts) - 1)) or 1.0
                radii = []
                run = 0.0
                for k in range(len(pts)):
                    if k:
                        run += math.dist(pts[k - 1], pts[k])
                    radii.append((width + (width_end - width) * run / total) / 2.0)
            if len(pts) == 1:
                pts = [pts[0], pts[0]]
                radii = [radii[0], radii[0]]
            for k in range(len(pts) - 1):
                self._segment(mask, pts[k], pts[k + 1], radii[k], radii[k + 1])
        return mask

    def _segment(self, mask, a, b, ra, rb):
        ax, ay = a
        bx, by = b
        r = max(ra, rb)
        x0 = max(0, int(math.floor(min(ax, bx) - r - 1)))
        x1 = min(self.w - 1, int(math.ceil(max(ax, bx) + r + 1)))
        y0 = max(0, int(math.floor(min(ay, by) - r - 1)))
        y1 = min(self.h - 1, int(math.ceil(max(ay, by) + r + 1)))
        dx, dy = bx - ax, by - ay
        ll = dx * dx + dy * dy
        for y in range(y0, y1 + 1):
            py = y + 0.5
            for x in range(x0, x1 + 1):
                px = x + 0.5
                if ll > 0:
                    t = ((px - ax) * dx + (py - ay) * dy) / ll
                    t = 0.0 if t < 0 else 1.0 if t > 1 else t
                else:
                    t = 0.0
                d = math.hypot(px - (ax + t * dx), py - (ay + t * dy))
                rad = ra + (rb - ra) * t
                # a line thinner than a pixel fades rather than shrinks
                cov = min(1.0, rad * 2.0) * min(1.0, max(0.0, max(rad, 0.5) + 0.5 - d))
                if cov > 0.0:
                    i = y * self.w + x
                    if cov > mask.get(i, 0.0):
                        mask[i] = cov

    def _fill_mask(self, lines, grow=0.0):
        """Coverage of the area inside closed polylines (even-odd), measured on 8 sub-rows per
        pixel with exact horizontal coverage; grow > 0 widens the area by that many pixels."""
        mask = {}
        edges = []
        for pts in lines:
            ring = pts if pts[0] == pts[-1] else pts + [pts[0]]
            for k in range(len(ring) - 1):
                if ring[k][1] != ring[k + 1][1]:
                    edges.append((ring[k], ring[k + 1]))
        if not edges:
            return mask
        ys = [p[1] for e in edges for p in e]
        sub = 8
        y0 = max(0, int(math.floor(min(ys))))
        y1 = min(self.h - 1, int(math.ceil(max(ys))))
        for y in range(y0, y1 + 1):
            row = {}
            for s in range(sub):
                sy = y + (s + 0.5) / sub
                xs = []
                for (ax, ay), (bx, by) in edges:
                    if (ay <= sy < by) or (by <= sy < ay):
                        xs.append(ax + (sy - ay) * (bx - ax) / (by - ay))
                xs.sort()
                for k in range(0, len(xs) - 1, 2):
                    l, r = max(0.0, xs[k]), min(float(self.w), xs[k + 1])
                    if r <= l:
                        continue
                    for x in range(int(l), min(self.w - 1, int(math.ceil(r)) - 1) + 1):
                        span = min(r, x + 1.0) - max(l, float(x))
                        if span > 0:
                            row[x] = row.get(x, 0.0) + span / sub
            for x, cov in row.items():
                mask[y * self.w + x] = min(1.0, cov)
        if grow > 0:
            edge = self._stroke_mask([p if p[0] == p[-1] else p + [p[0]] for p in lines], grow * 2)
            for i, cov in edge.items():
                if cov > mask.get(i, 0.0):
                    mask[i] = cov
        return mask

    # ---- painting ------------------------------------------------------------------------

    def _paint(self, mask, grey):
        """Lays ink of one grey over what is there, `mask` giving how much of each pixel."""
        for i, a in mask.items():
            self.ink[i] = grey * a + self.ink[i] * (1.0 - a)
            self.alpha[i] = a + self.alpha[i] * (1.0 - a)

    def _clear(self, mask):
        """Takes away what is there, `mask` giving how much of each pixel."""
        for i, cov in mask.items():
            self.alpha[i] *= 1.0 - cov
            self.ink[i] *= 1.0 - cov

    def stroke(self, lines, width=OUTLINE_W, grey=INK, width_end=None, halo=0.0):
        """Draws lines; a halo first clears that many pixels either side of them, so a line in
        front stands apart from the ones it crosses."""
        if halo > 0:
            self._clear(self._stroke_mask(lines, width + 2 * halo,
                                          None if width_end is None else width_end + 2 * halo))
        self._paint(self._stroke_mask(lines, width, width_end), grey)

    def fill(self, lines, grey=SHADE):
        """Inks the area inside closed polylines: the dark parts, dots and points."""
        self._paint(self._fill_mask(lines), grey)

    def erase(self, lines, grow=1.2):
        """Clears the area a figure in front covers, plus a thin margin, so lines behind it
        stop short of its outline."""
        self._clear(self._fill_mask(lines, grow))

    def tube(self, lines, width, line_w=DETAIL_W, grey=INK, width_end=None):
        """A round limb, shaft or finger: an outlined stroke `width` across whose inside is left
        clear, hiding whatever it passes in front of."""
        outer = self._stroke_mask(lines, width, width_end)
        iw = max(0.0, width - 2 * line_w)
        iw_end = None if width_end is None else max(0.0, width_end - 2 * line_w)
        inner = self._stroke_mask(lines, iw, iw_end) if iw > 0 else {}
        self._clear(outer)
        self._paint({i: cov * (1.0 - inner.get(i, 0.0)) for i, cov in outer.items()}, grey)

    def blob(self, shapes, line_w=DETAIL_W, grey=INK):
        """Outlines the union of several shapes as one silhouette: a palm with its fingers, a
        body with its limbs. Each shape is ("fill", lines) or ("stroke", lines, width)."""
        outer, inner = {}, {}
        for shape in shapes:
            if shape[0] == "fill":
                o = self._fill_mask(shape[1])
                edge = self._stroke_mask([p if p[0] == p[-1] else p + [p[0]] for p in shape[1]],
                                         2 * line_w)
                n = {i: c * (1.0 - edge.get(i, 0.0)) for i, c in o.items()}
            else:
                o = self._stroke_mask(shape[1], shape[2])
                n = self._stroke_mask(shape[1], shape[2] - 2 * line_w)
            for mine, theirs in ((outer, o), (inner, n)):
                for i, c in theirs.items():
                    if c > mine.get(i, 0.0):
                        mine[i] = c
        self._clear(outer)
        self._paint({i: cov * (1.0 - inner.get(i, 0.0)) for i, cov in outer.items()}, grey)

    # ---- output --------------------------------------------------------------------------

    def rgba_rows(self):
        """The picture as rows of 8-bit R, G, B, A; where there is no ink at all, all four are 0."""
        rows = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                i = y * self.w + x
                a = int(round(self.alpha[i] * 255.0))
                if a <= 0:
                    row += b"\0\0\0\0"
                    continue
                g = int(round(self.ink[i] / self.alpha[i]))
                g = 0 if g < 0 else 255 if g > 255 else g
                row += bytes((g, g, g, a))
            rows.append(bytes(row))
        return rows


# --------------------------------------------------------------------------------------------
# PNG writer
# --------------------------------------------------------------------------------------------


def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _filtered(rows, bpp=4):
    """Each row with the filter whose output has the smallest sum of magnitudes."""
    out = bytearray()
    prev = bytes(len(rows[0]))
    for row in rows:
        best = None
        for ftype in range(5):
            f = bytearray()
            for k, v in enumerate(row):
                left = row[k - bpp] if k >= bpp else 0
                up = prev[k]
                ul = prev[k - bpp] if k >= bpp else 0
                pred = (0, left, up, (left + up) >> 1, _paeth(left, up, ul))[ftype]
                f.append((v - pred) & 0xFF)
            score = sum(v if v < 128 else 256 - v for v in f)
            if best is None or score < best[0]:
                best = (score, ftype, f)
        out.append(best[1])
        out += best[2]
        prev = row
    return bytes(out)


def write_png(filename, canvas, colour_chunk):
    """Writes the canvas as an 8-bit RGBA, non-interlaced PNG and returns its size in bytes."""
    png = b"\x89PNG\r\n\x1a\n"
    png += _chunk(b"IHDR", struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 6, 0, 0, 0))
    png += colour_chunk
    png += _chunk(b"IDAT", zlib.compress(_filtered(canvas.rgba_rows()), 9))
    png += _chunk(b"IEND", b"")
    with open(filename, "wb") as f:
        f.write(png)
    return len(png)


SRGB = _chunk(b"sRGB", b"\0")  # perceptual rendering intent
GAMMA = _chunk(b"gAMA", struct.pack(">I", 45455))  # 1 / 2.2


# --------------------------------------------------------------------------------------------
# Drawing helpers shared by both pictures
# --------------------------------------------------------------------------------------------


def part(c, shape, lines=None, width=OUTLINE_W, grow=1.0):
    """A piece that stands in front of what is already drawn: clears its outline's area, then
    draws its lines (the outline itself when no separate lines are given)."""
    shape = path(shape) if isinstance(shape, str) else shape
    c.erase(shape, grow)
    if lines is None:
        lines = shape
    c.stroke(path(lines) if isinstance(lines, str) else lines, width)


def detail(c, text, width=DETAIL_W, grey=DETAIL):
    c.stroke(path(text), width, grey)


def taper(c, text, w0=OUTLINE_W, w1=0.6, grey=INK):
    c.stroke(path(text), w0, grey, width_end=w1)


def shade(c, text, angle, length, spacing=2.2, width=1.0, grey=DETAIL):
    """Short tapered strokes along a line, all at one angle: the shading a pen puts in along
    the shadow side of a form."""
    spacing *= _size
    length *= _size
    for pts in path(text):
        run, k = spacing / 2.0, 0
        while k < len(pts) - 1:
            seg = math.dist(pts[k], pts[k + 1])
            if run > seg:
                run -= seg
                k += 1
                continue
            t = run / seg if seg else 0.0
            x = pts[k][0] + (pts[k + 1][0] - pts[k][0]) * t
            y = pts[k][1] + (pts[k + 1][1] - pts[k][1]) * t
            a = math.radians(angle)
            tip = (x + length * math.cos(a), y + length * math.sin(a))
            c.stroke([[(x, y), tip]], width, grey, width_end=0.5)
            run += spacing


def dot(c, x, y, r=0.9, grey=INK):
    c.fill(circle(x, y, r), grey)


# --------------------------------------------------------------------------------------------
# Picture 1: the troll and the archer
# --------------------------------------------------------------------------------------------


def claw(c, x0, y0, x1, y1, bend=0.0):
    """A hooked claw from its root to its point; bend pushes the middle sideways."""
    mx, my = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    dx, dy = x1 - x0, y1 - y0
    cx, cy = mx - dy * bend, my + dx * bend
    c.stroke(path("M %.2f %.2f Q %.2f %.2f %.2f %.2f" % (x0, y0, cx, cy, x1, y1)), 1.9, INK,
             width_end=0.35)


def troll_far_arm(c):
    # raised high behind the head, the hand open, fingers spread, claws hooked; arm, palm and
    # fingers make one outline
    fingers = ((21, 18, 12, 11), (23, 16, 18, 6), (26, 16, 25.5, 4.5), (29, 17, 32, 6.5),
               (30, 21, 37, 15))
    c.blob([("fill", path("M 53 58 C 42 56 30 52 22 47 C 16 43 14 36 16 30 C 17 27 18 25 19 20 "
                          "L 31 20 C 31 28 31 32 33 36 C 38 34 46 35 53 40 Z")),
            ("fill", path("M 18 25 C 17 20 18 16 21 14 L 30 14 C 32 17 32 21 31 25 Z"))] +
           [("stroke", path("M %g %g L %g %g" % f), 4.8) for f in fingers], OUTLINE_W)
    detail(c, "M 21 21 C 24 19.5 27 19.5 29.5 21", 1.0)  # palm crease
    claw(c, 11.6, 10.4, 7.5, 8, -0.25)
    claw(c, 17.7, 5.2, 15.8, 1.2, -0.2)
    claw(c, 25.5, 3.6, 25.7, 0.6, 0.15)
    claw(c, 32.4, 5.7, 34.8, 2.0, 0.25)
    claw(c, 37.6, 14.2, 41, 11.3, 0.25)
    detail(c, "M 22 47 C 21 43 22 40 25 38")  # elbow
    shade(c, "M 50 55.5 C 42 53.5 34 50.5 28 47", -70, 5.5, 2.7)  # shadow under the arm
    detail(c, "M 20 34 C 22 31 24 29 25 26")  # forearm muscle


def troll_body(c):
    # the body: the hump behind the head, the chest and the belly
    part(c, "M 72 30 C 78 20 92 15 104 19 C 110 21 114 24 116 28 L 108 90 "
            "C 92 98 70 98 53 92 C 48 86 45 76 46 66 C 47 60 49 56 52 52 Z",
         "M 72 30 C 78 20 92 15 104 19 C 110 21 114 24 116 28 "
         "M 53 92 C 48 86 45 76 46 66 C 47 60 49 56 52 52")
    # a ragged mane along the spine
    for x0, y0, x1, y1 in ((78, 23, 77, 16), (84, 19, 84, 12), (91, 17, 92, 10), (98, 17, 100, 10),
                           (105, 19, 108, 13)):
        taper(c, "M %d %d Q %d %d %d %d" % (x0, y0, x0 - 1, (y0 + y1) / 2.0, x1, y1), 1.5, 0.4)
    shade(c, "M 99 52 C 102 62 106 70 108 76 L 107 90", 200, 5.5, 2.7)  # in the arm's shadow
    # chest, belly, warts
    detail(c, "M 64 58 L 64 65")
    detail(c, "M 48 62 C 52 68 58 69 64 65 C 72 71 84 71 94 61")
    detail(c, "M 51 77 C 58 87 80 90 99 80")
    c.stroke(ellipse(72.5, 81.5, 1.3, 1.0), 1.0, DETAIL)  # navel
    for x, y in ((56, 72), (86, 75), (90, 46), (60, 88)):
        c.stroke(circle(x, y, 0.9), 0.9, DETAIL)


def troll_legs(c):
    # far leg, the clawed foot pointing at the archer
    part(c, "M 56 92 C 51 100 50 108 53 114 C 56 118 56 120 53 121 L 47 121 C 44 122 43 124 45 126 "
            "L 68 126 C 68 120 70 112 73 104 L 74 96 Z",
         "M 56 92 C 51 100 50 108 53 114 C 56 118 56 120 53 121 L 47 121 C 44 122 43 124 45 126 "
         "L 68 126 C 68 120 70 112 73 104 L 74 96")
    detail(c, "M 54 111 C 57 112 60 111 62 109")  # knee
    detail(c, "M 52 123 L 53 126 M 57 122 L 58 126")  # toes
    claw(c, 45, 122.5, 41, 125.5, 0.2)
    claw(c, 48, 123.5, 45, 127.5, 0.2)
    # near leg
    part(c, "M 104 92 C 108 102 108 112 104 119 L 106 126 L 80 126 C 78 124 79 122 82 121 "
            "L 86 120 C 88 116 86 112 84 106 C 82 102 83 98 86 94 Z",
         "M 104 92 C 108 102 108 112 104 119 L 106 126 L 80 126 C 78 124 79 122 82 121 "
         "L 86 120 C 88 116 86 112 84 106 C 82 102 83 98 86 94")
    detail(c, "M 86 111 C 89 113 93 113 96 111")  # knee
    detail(c, "M 88 122 L 89 126 M 93 121 L 94 126")  # toes
    claw(c, 81, 122.5, 77, 125.5, 0.2)
    claw(c, 84, 123.5, 81, 127.5, 0.2)


def troll_loincloth(c):
    part(c, "M 51 87 C 70 96 94 96 110 87 L 110 93 C 94 102 70 102 52 93 Z")
    for x in (58, 66, 74, 82, 90, 98, 105):
        detail(c, "M %d %d L %d %d" % (x, 90 + (x - 50) * 0.05, x + 1, 95 + (x - 50) * 0.05), 1.0)
    part(c, "M 64 98 C 72 100 80 100 88 98 L 90 112 L 86 108 L 83 113 L 79 108 L 75 113 "
            "L 71 108 L 67 112 L 65 108 L 62 110 Z")
    detail(c, "M 72 101 L 70 107 M 80 101 L 81 106")


def troll_near_arm(c):
    # hanging down the side, the claws almost on the ground
    part(c, "M 97 32 C 98 24 104 20 110 20 C 120 20 127 28 127 40 C 127 48 124 54 123 60 "
            "C 122 66 123 70 124 74 C 128 80 129 90 126 100 L 111 100 C 110 94 108 88 108 82 "
            "C 108 78 109 75 110 72 C 106 66 102 58 100 50 Z",
         "M 97 32 C 98 24 104 20 110 20 C 120 20 127 28 127 40 C 127 48 124 54 123 60 "
         "C 122 66 123 70 124 74 C 128 80 129 90 126 100 M 111 100 C 110 94 108 88 108 82 "
         "C 108 78 109 75 110 72 C 106 66 102 58 100 50")
    detail(c, "M 101 38 C 106 46 114 51 123 53")  # shoulder
    detail(c, "M 118 73 C 120 75 122 75 124 74")  # elbow
    detail(c, "M 114 81 C 117 87 119 93 119 99")  # forearm
    for x, y in ((108, 30), (116, 36)):
        c.stroke(circle(x, y, 0.9), 0.9, DETAIL)
    # a heavy fist, knuckles to the ground
    part(c, "M 110 98 C 105 101 104 106 106 109 Q 107 114 111 113 Q 113 115.5 116 114 "
            "Q 118.5 116 121 114 Q 124 115.5 126 113 C 129 110 129 102 126 98")
    detail(c, "M 107 105 C 113 103 120 103 127.5 105")
    detail(c, "M 111 108 L 111 112.5 M 116 108.5 L 116 113.5 M 121 108.5 L 121 113.5", 1.0)
    claw(c, 108.5, 113.5, 105, 119, 0.25)
    claw(c, 113.5, 114.5, 111, 121, 0.2)
    claw(c, 118.5, 115, 117.5, 122, 0.15)
    claw(c, 123.5, 114.5, 123.5, 121, 0.1)


def troll_head(c):
    # horns first, so the skull covers their roots
    for horn in ("M 72 31 C 82 29 87 18 82 5 C 80 14 75 20 66 25 Z",
                 "M 52 31 C 42 29 37 18 42 5 C 44 14 49 20 58 25 Z"):
        part(c, horn)
        # the points darkened
        c.fill([[p for p in pts if p[1] < 12.5 * _size] for pts in path(horn)], SHADE)
    detail(c, "M 72 25 L 76 29 M 76 21 L 81 24 M 79 15 L 84 16", 1.0)
    detail(c, "M 52 25 L 48 29 M 48 21 L 43 24 M 45 15 L 40 16", 1.0)
    # ears
    part(c, "M 74 36 L 83 33 C 81 37 78 41 75 42 Z")
    part(c, "M 50 36 L 43 34 C 44 38 46 41 49 42 Z")
    # the skull: small dome, heavy jaw
    part(c, "M 50 34 C 51 27 56 22 62 22 C 68 22 73 27 74 34 C 77 38 78 46 75 51 "
            "C 71 56 55 57 51 52 C 48 48 47 40 50 34 Z")
    # angry brows, slit eyes, flat nose
    c.fill(path("M 50.5 33 L 61 36.5 L 60.5 38.5 L 51 35.5 Z"), INK)
    c.fill(path("M 73.5 33 L 63 36.5 L 63.5 38.5 L 73 35.5 Z"), INK)
    c.stroke(path("M 54 39 L 58 40"), 1.5)
    c.stroke(path("M 70 39 L 66 40"), 1.5)
    detail(c, "M 62 39 L 61.5 43 M 57 44 C 58 46 60 46 62 45 C 64 46 66 46 67 44")
    # snarling mouth full of teeth, tusks pushing up from the jaw
    c.fill(path("M 53 48 C 58 47 66 47 71 48 C 70 52 66 54 62 54 C 58 54 55 52 53 48 Z"), INK)
    for x in (56, 59.5, 63, 66.5):
        c.erase(path("M %.1f 47.6 L %.1f 47.6 L %.1f 50 Z" % (x - 1.2, x + 1.2, x)), 0.0)
    for x in (58, 61.5, 65):
        c.erase(path("M %.1f 53.8 L %.1f 53.8 L %.1f 51.6 Z" % (x - 1.1, x + 1.1, x)), 0.0)
    part(c, "M 53 53 C 52 50 52 47 53.5 44 C 55.5 47 56 50 56 53 Z", width=1.2, grow=0.6)
    part(c, "M 68 53 C 68 50 68.5 47 70.5 44 C 71.8 47 71.5 50 71 53 Z", width=1.2, grow=0.6)


def ground(c):
    # a broken line of earth with a few tufts of grass and stones
    detail(c, "M 0 127 L 12 127 M 16 127.5 L 40 127 M 52 127.5 L 82 127.5 M 88 127 L 128 127.5")
    for x in (3, 41, 71, 101, 126):
        taper(c, "M %d 127 Q %d 123 %d 121" % (x, x - 1, x - 3), 1.2, 0.4, DETAIL)
        taper(c, "M %d 127 Q %d 123 %d 120" % (x + 1, x + 1, x + 2), 1.2, 0.4, DETAIL)
    c.stroke(ellipse(33, 126, 2.2, 1.2), 1.0, DETAIL)
    c.stroke(ellipse(94, 126.5, 1.8, 1.0), 1.0, DETAIL)


def troll(c):
    troll_far_arm(c)
    troll_body(c)
    troll_legs(c)
    troll_loincloth(c)
    troll_near_arm(c)
    troll_head(c)


def archer(c):
    """A small hooded archer at the troll's feet, the bow drawn, the arrow aimed at its chest.
    Drawn 100 units tall, facing right; the drawing arm is the far one."""
    aim = math.radians(-22)
    dx, dy = math.cos(aim), math.sin(aim)
    px, py = -dy, dx  # across the aim, pointing down the bow
    nock = (47.0, 15.0)
    grip = (nock[0] + 33 * dx, nock[1] + 33 * dy)

    def at(base, along, across):
        return (base[0] + along * dx + across * px, base[1] + along * dy + across * py)

    def xy(*pts):
        return " ".join("%.2f %.2f" % p for p in pts)

    top, bottom = at(grip, -9, -35), at(grip, -9, 35)
    bow = "M %s Q %s %s" % (xy(top), xy(at(grip, 9, 0)), xy(bottom))

    # the drawing arm, its elbow sticking out behind the head
    c.tube(path("M 40 28 L 20 20 L %s" % xy(nock)), 4.4)
    # the string, pulled back to the cheek
    c.stroke(path("M %s L %s L %s" % (xy(top), xy(nock), xy(bottom))), 0.8, DETAIL)
    # quiver hanging at the hip, the feathers pointing back
    c.tube(path("M 33 58 L 23 44"), 5.0)
    for fx, fy in ((16, 38), (19, 36.5), (14, 41)):
        taper(c, "M %g %g L %g %g" % (fx + 5, fy + 6, fx, fy), 1.5, 0.6)
    # back leg straight, front knee bent, soft boots
    c.tube(path("M 37 58 L 27 78 L 20 92"), 5.6)
    c.tube(path("M 45 58 L 57 74 L 61 92"), 5.6)
    for boot in ("M 12 100 C 11 95 14 90 19 90 L 23 91 L 27 96 C 28 99 27 100 25 100 Z",
                 "M 56 100 C 55 95 58 90 63 90 L 67 93 L 73 96 C 74 99 73 100 71 100 Z"):
        part(c, boot, width=1.3)
        c.fill(path(boot), SHADE)
    # tunic: broad at the shoulders, belted, flaring below
    part(c, "M 34 26 C 30 30 31 42 34 52 L 29 64 C 37 66 46 65 54 62 L 47 52 "
            "C 50 42 51 32 47 26 C 43 23 38 23 34 26 Z", width=1.4)
    detail(c, "M 34 52 L 47 51.5", 1.3)
    detail(c, "M 40 53 L 38 64", 1.0)
    # the hood's cape over the shoulders
    cape = "M 34 17 C 30 21 29 27 31 33 C 37 35 44 34 49 31 C 50 26 49 21 46 18 Z"
    part(c, cape, width=1.3)
    c.fill(path(cape), SHADE)
    # head in a dark pointed hood, face in profile to the right
    hood = ("M 34 9 C 33 1 41 -3 47 1 C 50 3 51 6 51 8.5 L 53.5 11.5 L 51 13 "
            "C 50 17 47 19.5 43 19.5 C 39 19.5 36 18.5 34 17 L 22 19 C 27 15 32 13 34 9 Z")
    face = ("M 46 1.5 C 41 5 40.5 13 43.5 19.5 C 47 19.5 50 17 51 13 L 53.5 11.5 L 51 8.5 "
            "C 51 6 50 3 46 1.5 Z")
    part(c, hood, width=1.4)
    c.fill(path(hood), SHADE)
    c.erase(path(face), 0.0)
    c.stroke(path("M 46.5 1.8 C 49.5 3 51 6 51 8.5 L 53.5 11.5 L 51 13 "
                  "C 50 17 47 19.5 43 19.5"), 1.2)
    dot(c, 47.5, 8.5, 0.6)
    # bow arm pushed out to the grip
    c.tube(path("M 44 28 L %s" % xy(grip)), 4.4)
    # the bow and the arrow
    c.stroke(path(bow), 1.7, halo=0.8)
    c.stroke(path("M %s L %s" % (xy(at(nock, -3, 0)), xy(at(nock, 42, 0)))), 1.1, halo=0.6)
    c.fill(poly((at(nock, 48, 0), at(nock, 41, -3), at(nock, 41, 3)), True), INK)
    for s in (-1, 1):
        c.stroke(path("M %s L %s" % (xy(at(nock, 1, 0)), xy(at(nock, -4, 3.5 * s)))), 1.0)
    dot(c, grip[0], grip[1], 2.0)


def picture_monster_archer():
    # the troll fills the picture; the archer at its feet stands not half its height
    c = Canvas(130 * _size, 130 * _size)
    ground(c)
    troll(c)
    with placed(0.56, 2, 70):
        archer(c)
    return c


# --------------------------------------------------------------------------------------------
# Picture 2: the adventurers (each drawn 100 units tall, feet at y = 100, facing the viewer)
# --------------------------------------------------------------------------------------------


def knight(c):
    """Plate armour, a great helm with a plume, the sword held upright, a shield with a cross."""
    # plume streaming back from the crown of the helm
    part(c, "M -1 2 C 0 -4 6 -8 13 -6 C 17 -5 19 -2 20 2 C 17 -1 14 -1 12 0 C 14 1 15 3 15 5 "
            "C 12 2 8 1 5 2 L 2 4 Z", width=1.35)
    detail(c, "M 2 0 C 6 -4 11 -4 16 -2", 1.1)
    # legs: armoured, knee plates, pointed shoes
    c.tube(path("M -5 62 L -6 80 L -6 95"), 6.4)
    c.tube(path("M 5 62 L 6 80 L 6 95"), 6.4)
    for x in (-6, 6):
        part(c, ellipse(x, 80, 3.6, 3.0), width=1.2)
    part(c, "M -9 95 L -3 95 L -2 100 L -14 100 Z", width=1.35)
    part(c, "M 9 95 L 3 95 L 2 100 L 14 100 Z", width=1.35)
    # body: breastplate, belt and the skirt of plates
    part(c, "M -9 52 L -11 64 L 11 64 L 9 52 Z", width=1.45)
    detail(c, "M -10 58 L 10 58", 1.1)
    part(c, "M -11 24 C -12 34 -10 44 -9 51 L 9 51 C 10 44 12 34 11 24 C 6 21 -6 21 -11 24 Z",
         width=1.5)
    detail(c, "M 0 24 L 0 50 M -8 38 C -4 41 4 41 8 38", 1.1)
    part(c, "M -10 50 L 10 50 L 10 54 L -10 54 Z", width=1.35)
    # sword arm: shoulder plate, arm bent, fist round the grip
    c.tube(path("M -14 28 L -16 42 L -20 50"), 6.0)
    part(c, "M -6 22 C -12 20 -18 23 -19 31 C -15 32 -11 31 -7 29 Z", width=1.45)
    detail(c, "M -18 33 C -15 34 -12 33.5 -9 32", 1.1)
    # the sword, point up beside the helm
    part(c, "M -22 47 L -22 9 L -20 4 L -18 9 L -18 47 Z", width=1.2)
    detail(c, "M -20 9 L -20 45", 1.0)
    part(c, "M -26 47 L -14 47 L -14 49.5 L -26 49.5 Z", width=1.35)
    dot(c, -20, 57.5, 1.7)
    part(c, "M -23.5 50 L -16.5 50 C -15.5 52 -15.5 54 -16.5 56 L -23.5 56 "
            "C -24.5 54 -24.5 52 -23.5 50 Z", width=1.35)
    detail(c, "M -22.5 53 L -17 53", 1.1)
    # the helm: flat top, eye slit, breathing holes
    part(c, "M -8 5 C -8 1 8 1 8 5 L 8.5 17 C 8.5 19.5 -8.5 19.5 -8.5 17 Z", width=1.5)
    c.fill(path("M -6.5 8.5 L 6.5 8.5 L 6.5 10.3 L -6.5 10.3 Z"), INK)
    detail(c, "M 0 2 L 0 8 M 0 10.5 L 0 18.5", 1.1)
    for x, y in ((3.2, 13.2), (5.2, 13.2), (3.2, 15.4), (5.2, 15.4)):
        dot(c, x, y, 0.5)
    # shield on the left arm: a border and a cross
    shield = "M 1 30 L 20 30 C 20 47 17 59 10.5 68 C 4 59 1 47 1 30 Z"
    part(c, shield, width=1.5)
    detail(c, "M 3.5 32.5 L 17.5 32.5 C 17.5 46 15 56 10.5 63.5 C 6 56 3.5 46 3.5 32.5", 1.1)
    c.fill(path("M 9.3 34 L 11.7 34 L 11.7 40 L 16 40 L 16 42.4 L 11.7 42.4 L 11.7 58 "
                "L 9.3 58 L 9.3 42.4 L 5 42.4 L 5 40 L 9.3 40 Z"), INK)


def wizard(c):
    """A tall pointed hat, a long beard, a robe to the ground and a gnarled staff with a glowing
    stone."""
    # the staff, taller than he is, a glowing stone held in the knot at the top
    part(c, "M -20 100 L -19 6 C -20 2 -23 0 -23 -4 L -21 -5 C -19 -2 -16 0 -15.5 -4 "
            "L -13.5 -3.5 C -14 1 -16 4 -16.5 8 L -16.5 100 Z", width=1.45)
    part(c, circle(-18.5, -7.5, 3.2), width=1.35)
    detail(c, "M -19.5 -8.5 C -19 -9.5 -18 -9.7 -17.3 -9.3", 1.0)
    for a in range(-150, 60, 30):
        ang = math.radians(a)
        taper(c, "M %g %g L %g %g" % (-18.5 + 4.8 * math.cos(ang), -7.5 + 4.8 * math.sin(ang),
                                       -18.5 + 7.3 * math.cos(ang), -7.5 + 7.3 * math.sin(ang)),
              1.1, 0.5)
    detail(c, "M -19.5 30 L -17.5 32 M -19 64 L -17 66", 1.0)
    # robe, wide at the hem, folds falling from the waist
    part(c, "M -9 21 C -13 23 -14 32 -14 42 C -15 60 -17 80 -19 99 C -12 101 -5 99 0 100 "
            "C 5 99 12 101 19 99 C 17 80 15 60 14 42 C 14 32 13 23 9 21 Z", width=1.5)
    detail(c, "M -5 54 C -6 70 -8 84 -9 98 M 5 54 C 6 70 8 84 9 97 M 0 56 L 0 99", 1.1)
    # rope belt with its ends hanging
    detail(c, "M -13 51 C -5 53 5 53 13 51", 1.45)
    detail(c, "M 3 52.5 C 4 58 3 63 4 67 M 5 52.5 C 7 57 7 61 8 65", 1.1)
    # left arm at his side in a wide sleeve
    part(c, "M 9 22 C 13 25 15 32 16 42 C 17 48 18 53 19 58 C 16 60 13 59 10 57 "
            "C 11 50 11 42 11 34 Z", width=1.45)
    detail(c, "M 13 40 C 13.5 46 14.5 52 15 58", 1.1)
    part(c, ellipse(14.5, 60.5, 2.6, 2.2), width=1.2)
    # right arm: sleeve down to the hand on the staff
    part(c, "M -10 23 C -15 26 -17 36 -19 42 L -23 50 C -19 52 -15 52 -12 48 "
            "C -11 40 -10 32 -9 28 Z", width=1.45)
    part(c, "M -21 40 L -15 40 C -14 42 -14 45 -15 47 L -21 47 C -22 45 -22 42 -21 40 Z",
         width=1.35)
    # face in the brim's shadow, the beard down to the belt
    part(c, "M 7 12 C 7.5 16 6 21 0 22 C -6 21 -7.5 16 -7 12", width=1.45)
    part(c, "M 7 15 C 7.5 20 8 30 0 48 C -8 30 -7.5 20 -7 15", width=1.45)
    detail(c, "M -2.5 25 C -2.5 31 -1.5 37 -0.5 42 M 2.5 24 C 3 30 2.5 35 1.5 39", 1.1)
    c.stroke(path("M -6.5 23 C -4.5 19.5 -1.5 19.5 0 20.7 C 1.5 19.5 4.5 19.5 6.5 23"), 1.3)
    dot(c, -3, 15.8, 0.8)
    dot(c, 3, 15.8, 0.8)
    detail(c, "M 0.3 16 L -0.3 19", 1.1)
    # the hat: a wide brim, a tall crown with its tip bent over
    with placed(1.0, 0, -1.5):
        part(c, "M -8 10 C -6 3 -3 -4 0 -10 C 3 -14 8 -15.5 12 -12.5 C 8.5 -12.5 6 -10.5 5 -7 "
                "C 6 -2 7 3 8 10 Z", width=1.5)
        detail(c, "M -7.5 7 C -3 8.5 3 8.5 7.6 7", 1.2)
        part(c, ellipse(0, 11, 16, 2.7), width=1.5)


def elf(c):
    """Long dark hair and pointed ears, a cloak, a longbow as tall as she is and a quiver over
    the shoulder."""
    # quiver behind the shoulder, feathers showing
    c.tube(path("M 3 34 L 11 12"), 4.6)
    for x, y in ((9.5, 5.5), (12.5, 7), (14.5, 9.5)):
        taper(c, "M %g %g L %g %g" % (x - 1.5, y + 6, x, y), 1.6, 0.6)
    # cloak behind the body
    part(c, "M -9 22 C -14 40 -16 66 -16 88 C -8 86 8 86 16 88 C 16 66 14 40 9 22 Z", width=1.45)
    # long dark hair falling to the shoulders behind the face
    hair = ("M 0 -1 C -7 -1 -9 5 -9 12 C -9 20 -10 26 -11 30 C -8 29 -6 26 -5 16 L 5 16 "
            "C 6 26 8 29 11 30 C 10 26 9 20 9 12 C 9 5 7 -1 0 -1 Z")
    part(c, hair, width=1.3)
    c.fill(path(hair), SHADE)
    # legs in tight hose, tall soft boots
    c.tube(path("M -3.5 60 L -4 84"), 5.0, 1.1)
    c.tube(path("M 3.5 60 L 4 84"), 5.0, 1.1)
    part(c, "M -7 80 L -1 80 L -1 96 L 0 100 L -9 100 C -9 98 -7 96 -7 94 Z", width=1.35)
    part(c, "M 7 80 L 1 80 L 1 96 L 0 100 L 9 100 C 9 98 7 96 7 94 Z", width=1.35)
    # tunic, belted, slit at the hem
    part(c, "M -8 23 C -9 32 -7 40 -6 47 L -9 63 L 9 63 L 6 47 C 7 40 9 32 8 23 "
            "C 4 21 -4 21 -8 23 Z", width=1.45)
    detail(c, "M -3 22.5 L 0 28 L 3 22.5 M 0 49 L 0 63", 1.1)
    detail(c, "M 7 24 L -6 46", 1.45)  # quiver strap
    part(c, "M -6.5 46 L 6.5 46 L 6.5 49.5 L -6.5 49.5 Z", width=1.2)
    # hand on the hip
    c.tube(path("M 8 25 L 15 37 L 7 47"), 4.6, 1.1)
    # bow arm, hand on the grip
    c.tube(path("M -8 25 L -13 37 L -18 48"), 4.6, 1.1)
    # the longbow, as tall as she is, and its string
    c.stroke(path("M -13 6 C -21 20 -22 40 -20 50 C -22 62 -21 80 -13 94"), 1.7, halo=0.7)
    detail(c, "M -13 6 L -13 94", 0.8)
    for y in (6, 94):
        dot(c, -13, y, 1.0)
    part(c, ellipse(-19.5, 49, 2.6, 3), width=1.2)
    # the pointed ears standing out of the hair
    part(c, "M -4 9 L -16 4.5 L -4.5 14.5 Z", width=1.2, grow=0.7)
    part(c, "M 4 9 L 16 4.5 L 4.5 14.5 Z", width=1.2, grow=0.7)
    # face: the hair parted over the brow, almond eyes, a fine nose, a small mouth
    face = ellipse(0, 11.5, 5.8, 7.8)
    c.erase(face, 0.6)
    c.fill(path("M -5.8 10 C -6 4 -3 3.6 0 3.6 C 3 3.6 6 4 5.8 10 C 4.5 7 2 6 0 5.5 "
                "C -2 6 -4.5 7 -5.8 10 Z"), SHADE)
    c.stroke(face, 1.3)
    detail(c, "M -2 19 L -2 22.5 M 2 19 L 2 22.5", 1.1)  # neck
    for x in (-2.5, 2.5):
        c.stroke(path("M %g 11 L %g 11" % (x - 1.2, x + 1.2)), 1.1)
    detail(c, "M 0.3 12 L 0.8 14.8 L -0.3 15.1 M -1.3 17 L 1.3 17", 1.0)


def dwarf(c):
    """Short and broad: a horned helmet, a braided beard, a mail shirt and an axe at his side."""
    # the axe, its head at shoulder height
    part(c, "M 16.5 100 L 16.5 42 L 19.5 42 L 19.5 100 Z", width=1.35)
    part(c, "M 19.5 44 C 23 44 25 41 26 38 C 29 44 29 54 26 60 C 25 57 23 54 19.5 54 Z", width=1.45)
    detail(c, "M 25 41.5 C 27 46 27 52 25 56.5", 1.1)
    part(c, "M 16.5 45 L 12.5 49 L 16.5 52 Z", width=1.2)
    # short thick legs, broad boots
    c.tube(path("M -6 84 L -7 94"), 8.0, 1.2)
    c.tube(path("M 6 84 L 7 94"), 8.0, 1.2)
    part(c, "M -13 100 C -13 95 -10 93 -7 93 L -2 93 L -1.5 100 Z", width=1.45)
    part(c, "M 13 100 C 13 95 10 93 7 93 L 2 93 L 1.5 100 Z", width=1.45)
    # barrel body in a mail shirt, its hem below the belt
    body = ("M -15 60 C -18 66 -18 78 -15 88 C -8 90 8 90 15 88 C 18 78 18 66 15 60 "
            "C 10 57 -10 57 -15 60 Z")
    part(c, "M -14 84 L -15 91 L -12 89.5 L -9 91.5 L -6 89.5 L -3 91.5 L 0 89.5 L 3 91.5 "
            "L 6 89.5 L 9 91.5 L 12 89.5 L 15 91 L 14 84 Z", width=1.35)
    part(c, body, width=1.5)
    detail(c, "M -15 61 C -13 66 -14 70 -16.5 72 M 15 61 C 13 66 14 70 16.5 72", 1.1)
    part(c, "M -16 79 L 16 79 L 16 84 L -16 84 Z", width=1.35)
    part(c, "M -3.5 78 L 3.5 78 L 3.5 85 L -3.5 85 Z", width=1.35)
    # arms: one fist on the axe, one on the belt
    c.tube(path("M 14 62 L 16.5 70 L 17.5 72"), 7.0, 1.2)
    part(c, ellipse(18, 73, 3.4, 3.4), width=1.35)
    c.tube(path("M -14 62 L -19 71 L -14 79"), 7.0, 1.2)
    part(c, ellipse(-13.5, 79, 3.2, 3.2), width=1.35)
    # face: big nose, bushy brows
    part(c, "M -8 50 C -8 45 8 45 8 50 L 8 56 C 8 60 -8 60 -8 56 Z", width=1.45)
    # the beard, wide, ending in two braids
    part(c, "M -9 52 C -12 60 -12 68 -8 74 L -6 82 L -3 74 L 0 76 L 3 74 L 6 82 L 8 74 "
            "C 12 68 12 60 9 52 C 6 57 -6 57 -9 52 Z", width=1.45)
    detail(c, "M -5 60 C -6 65 -5 70 -4 73 M 0 60 L 0 74 M 5 60 C 6 65 5 70 4 73", 1.0)
    detail(c, "M -7 77 L -5 77 M 5 77 L 7 77", 1.0)
    part(c, "M 0 55 C -3 55 -7 56 -9 60 C -6 58.5 -3 58 0 57.5 C 3 58 6 58.5 9 60 "
            "C 7 56 3 55 0 55 Z", width=1.2)
    part(c, ellipse(0, 54, 2.2, 2.4), width=1.2)
    c.stroke(path("M -6.5 49.5 L -2 50.5 M 6.5 49.5 L 2 50.5"), 1.6)
    dot(c, -3.6, 52, 0.7)
    dot(c, 3.6, 52, 0.7)
    # helmet: a dome, a band, a nose guard and two horns
    part(c, "M -10 45 C -15 42 -17 36 -15 29 C -14 35 -12 38 -9 40 Z", width=1.35)
    part(c, "M 10 45 C 15 42 17 36 15 29 C 14 35 12 38 9 40 Z", width=1.35)
    part(c, "M -10 47 C -10 34 10 34 10 47 Z", width=1.45)
    part(c, "M -10.5 44 L 10.5 44 L 10.5 47.5 L -10.5 47.5 Z", width=1.35)
    for x in (-7, -3.5, 3.5, 7):
        dot(c, x, 45.8, 0.5)
    detail(c, "M 0 37 L 0 44", 1.1)


def picture_adventurers():
    # three quarters of their frame: the humans stand 75 pixels tall on the bottom edge; the
    # wizard is turned round so that his staff stands at the outer edge, and the dwarf, short,
    # comes last, in front of his neighbours
    c = Canvas(130 * _size, 91 * _size)
    with placed(0.75, 18, 14):
        elf(c)
    with placed(0.75, 46, 14):
        knight(c)
    with placed(0.75, 111.5, 14, mirror=True):
        wizard(c)
    with placed(0.75, 76, 14):
        dwarf(c)
    return c


# --------------------------------------------------------------------------------------------


def main():
    global _size
    here = os.path.dirname(os.path.abspath(__file__))
    for _size, suffix in ((1, ""), (2, "_2x")):
        for name, draw, colour in (("monster_archer", picture_monster_archer, GAMMA),
                                   ("adventurers", picture_adventurers, SRGB)):
            name += suffix + ".png"
            size = write_png(os.path.join(here, name), draw(), colour)
            print("%s: %d bytes" % (name, size))


if __name__ == "__main__":
    main()
