#!/usr/bin/env python3
"""Makes the patcher's desktop icons from its own picture of the troll and the archer.

    packaging/icons/NxN.png  for N in 32, 48, 64, 128

Each icon is a parchment-coloured tile with rounded corners and a dark rim, with the picture
(assets/monster_archer.png, 130 x 130, grey ink whose coverage is its alpha) scaled down onto
it by averaging the pixels each icon pixel covers. Plain Python 3 like the drawing script, whose
PNG writer it reuses; the output is the same, byte for byte, on every run:

    python3 packaging/make_icons.py
"""

import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "assets"))
import draw_pictures  # noqa: E402  (its PNG writer)

SIZES = (32, 48, 64, 128)
PAPER = (0xEF, 0xE4, 0xC8)
RIM = (0x6B, 0x58, 0x3A)
MARGIN = 0.07  # of the icon's size, between the rim and the picture
CORNER = 0.16  # radius of the tile's corners, of the icon's size


def read_rgba_png(path):
    """Width, height and RGBA rows of an 8-bit RGBA, non-interlaced PNG."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            w, h, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (depth, colour, interlace) == (8, 6, 0), "8-bit RGBA, not interlaced"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), w * 4, [], bytearray(w * 4)
    for y in range(h):
        ftype, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for k in range(stride):
            left = line[k - 4] if k >= 4 else 0
            up, ul = prev[k], prev[k - 4] if k >= 4 else 0
            line[k] = (line[k] + (0, left, up, (left + up) >> 1,
                                  draw_pictures._paeth(left, up, ul))[ftype]) & 0xFF
        rows.append(line)
        prev = line
    return w, h, rows


def scaled(w, h, rows, size):
    """The picture averaged down to size x size: premultiplied (grey * alpha, alpha) pairs."""
    out = []
    step = w / size
    for ty in range(size):
        row = []
        for tx in range(size):
            ink = cover = area = 0.0
            y0, y1, x0, x1 = ty * step, (ty + 1) * step, tx * step, (tx + 1) * step
            for sy in range(int(y0), min(h, int(y1) + 1)):
                wy = min(y1, sy + 1) - max(y0, sy)
                for sx in range(int(x0), min(w, int(x1) + 1)):
                    wx = min(x1, sx + 1) - max(x0, sx)
                    if wx <= 0 or wy <= 0:
                        continue
                    a = rows[sy][sx * 4 + 3] / 255
                    ink += rows[sy][sx * 4] * a * wx * wy
                    cover += a * wx * wy
                    area += wx * wy
            row.append((ink / area, cover / area))
        out.append(row)
    return out


def tile_coverage(x, y, size, inset):
    """How much of pixel (x, y) lies inside the rounded square inset by `inset` pixels."""
    radius, inside, samples = CORNER * size - inset, 0, 4
    lo, hi = inset, size - inset
    for i in range(samples):
        for j in range(samples):
            px, py = x + (i + 0.5) / samples, y + (j + 0.5) / samples
            cx, cy = min(max(px, lo + radius), hi - radius), min(max(py, lo + radius), hi - radius)
            if lo <= px <= hi and lo <= py <= hi and (px - cx) ** 2 + (py - cy) ** 2 <= radius ** 2:
                inside += 1
    return inside / samples ** 2


class Icon:
    def __init__(self, size, pixels):
        self.w = self.h = size
        self.pixels = pixels

    def rgba_rows(self):
        return [bytes(v for pixel in row for v in pixel) for row in self.pixels]


def make_icon(picture, size):
    rim = max(1.0, size / 32)
    art = round(size * (1 - 2 * MARGIN))
    ink = scaled(*picture, art)
    offset = (size - art) // 2
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            outer, inner = tile_coverage(x, y, size, 0), tile_coverage(x, y, size, rim)
            colour = [p * inner + r * (outer - inner) for p, r in zip(PAPER, RIM)]
            colour = [c / outer if outer else 0 for c in colour]
            ax, ay = x - offset, y - offset
            if 0 <= ax < art and 0 <= ay < art:
                grey, a = ink[ay][ax]
                colour = [c * (1 - a) + grey for c in colour]
            row.append(tuple(round(c) for c in colour) + (round(255 * outer),))
        pixels.append(row)
    return Icon(size, pixels)


def main():
    picture = read_rgba_png(os.path.join(HERE, "..", "assets", "monster_archer.png"))
    for size in SIZES:
        name = os.path.join(HERE, "icons", "%dx%d.png" % (size, size))
        length = draw_pictures.write_png(name, make_icon(picture, size), draw_pictures.SRGB)
        print("%s: %d bytes" % (os.path.relpath(name, os.path.join(HERE, "..")), length))


if __name__ == "__main__":
    main()
