#!/usr/bin/env python3
"""Draws the product's icons and writes them as .ico files (16, 20, 24, 32, 40, 48 and 64 pixels,
32-bit with alpha) into the folder given on the command line.

Every picture is described in unit coordinates (0..1, y downwards) by filled shapes, painted
with 4 x 4 supersampling, so each size is drawn from the same description.
"""
import math
import os
import struct
import sys

SIZES = (16, 20, 24, 32, 40, 48, 64)
SAMPLES = 4


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]

    def fill(self, inside, colour, alpha=1.0):
        """Paints `colour` (r, g, b in 0..255) where inside(x, y) holds, y downwards."""
        n = self.size
        step = 1.0 / (n * SAMPLES)
        for py in range(n):
            for px in range(n):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        x = (px * SAMPLES + sx + 0.5) * step
                        y = (py * SAMPLES + sy + 0.5) * step
                        if inside(x, y):
                            hits += 1
                if hits:
                    a = alpha * hits / (SAMPLES * SAMPLES)
                    r, g, b, da = self.pixels[py][px]
                    out_a = a + da * (1 - a)
                    mix = lambda s, d: (s * a + d * da * (1 - a)) / out_a
                    self.pixels[py][px] = (mix(colour[0], r), mix(colour[1], g),
                                           mix(colour[2], b), out_a)


# ---- shapes -------------------------------------------------------------------------------------

def rect(x0, y0, x1, y1, radius=0.0):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_out, r_in):
    return lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out


def segment_distance(x, y, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    length = dx * dx + dy * dy
    t = 0.0 if length == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def polyline(points, width):
    half = width / 2

    def inside(x, y):
        return any(segment_distance(x, y, points[i], points[i + 1]) <= half
                   for i in range(len(points) - 1))
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, cut):
    return lambda x, y: shape(x, y) and not cut(x, y)


# ---- pictures -----------------------------------------------------------------------------------

DARK = (40, 44, 52)
BEZEL = (88, 96, 110)
WHITE = (255, 255, 255)
PULSE = [(0.16, 0.46), (0.34, 0.46), (0.42, 0.26), (0.52, 0.66), (0.60, 0.40), (0.66, 0.46),
         (0.84, 0.46)]


def monitor(c, screen, line):
    c.fill(polygon([(0.36, 0.78), (0.64, 0.78), (0.72, 0.94), (0.28, 0.94)]), BEZEL)  # stand
    c.fill(rect(0.02, 0.08, 0.98, 0.82, 0.08), BEZEL)  # bezel
    c.fill(rect(0.10, 0.16, 0.90, 0.74, 0.03), screen)  # screen
    c.fill(polyline(PULSE, 0.085), line)


def tray_green(c):
    monitor(c, DARK, (60, 230, 90))


def tray_yellow(c):
    monitor(c, (250, 210, 40), DARK)


def tray_red(c):
    monitor(c, (225, 50, 45), WHITE)


def setup(c):
    teeth = 8

    def gear(x, y):
        dx, dy = x - 0.5, y - 0.5
        r = math.hypot(dx, dy)
        angle = math.atan2(dy, dx)
        tooth = math.cos(angle * teeth) > 0.15
        return r <= (0.46 if tooth else 0.36)
    c.fill(minus(gear, circle(0.5, 0.5, 0.15)), (70, 110, 170))
    c.fill(ring(0.5, 0.5, 0.27, 0.15), (120, 160, 215))


def log(c):
    page = polygon([(0.16, 0.04), (0.64, 0.04), (0.86, 0.26), (0.86, 0.96), (0.16, 0.96)])
    c.fill(page, (110, 110, 120))
    c.fill(polygon([(0.21, 0.09), (0.61, 0.09), (0.81, 0.29), (0.81, 0.91), (0.21, 0.91)]),
           WHITE)
    c.fill(polygon([(0.62, 0.06), (0.84, 0.28), (0.62, 0.28)]), (200, 200, 210))
    rows = [(0.38, (60, 60, 60)), (0.52, (230, 180, 0)), (0.66, (210, 40, 40)),
            (0.80, (60, 60, 60))]
    for y, colour in rows:
        c.fill(rect(0.28, y - 0.035, 0.74, y + 0.035), colour)


def exit_(c):
    c.fill(circle(0.5, 0.5, 0.47), (200, 40, 40))
    arc = minus(ring(0.5, 0.54, 0.29, 0.19), polygon([(0.5, 0.54), (0.2, 0.0), (0.8, 0.0)]))
    c.fill(arc, WHITE)
    c.fill(rect(0.45, 0.14, 0.55, 0.52, 0.05), WHITE)


def ok(c):
    c.fill(polyline([(0.14, 0.52), (0.40, 0.78), (0.88, 0.22)], 0.18), (30, 150, 50))


def cancel(c):
    red = (200, 40, 40)
    c.fill(polyline([(0.2, 0.2), (0.8, 0.8)], 0.17), red)
    c.fill(polyline([(0.8, 0.2), (0.2, 0.8)], 0.17), red)


PICTURES = {
    "tray_green": tray_green,
    "tray_yellow": tray_yellow,
    "tray_red": tray_red,
    "setup": setup,
    "log": log,
    "exit": exit_,
    "ok": ok,
    "cancel": cancel,
}


# ---- .ico ---------------------------------------------------------------------------------------

def dib(canvas):
    n = canvas.size
    header = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(canvas.pixels):  # bottom-up
        for r, g, b, a in row:
            colour += bytes((round(b), round(g), round(r), round(a * 255)))
    mask_stride = ((n + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(canvas.pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 0.5 / 255:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def write_ico(path, draw):
    images = []
    for n in SIZES:
        canvas = Canvas(n)
        draw(canvas)
        images.append((n, dib(canvas)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for n, data in images:
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, draw in PICTURES.items():
        write_ico(os.path.join(folder, name + ".ico"), draw)


if __name__ == "__main__":
    main()
