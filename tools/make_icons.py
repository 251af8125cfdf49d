#!/usr/bin/env python3
"""Draws the agent's icons and writes them as multi-size .ico files
(16, 20, 24, 32 and 48 pixels, 32-bit colour with alpha and a mask).

The pictures are vector drawings in a unit square, rendered with 8x8
supersampling at every size so that each size is drawn, not scaled.
Run it again after changing a picture:  tools/make_icons.py src/resources/icons
"""
import math
import os
import struct
import sys

SIZES = (16, 20, 24, 32, 48)
SUB = 8  # supersamples per pixel and axis


def hexcolor(text, alpha=255):
    text = text.lstrip('#')
    return (int(text[0:2], 16), int(text[2:4], 16), int(text[4:6], 16), alpha)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[(0.0, 0.0, 0.0, 0.0) for _ in range(size)] for _ in range(size)]

    def px_width(self, w):
        """A stroke width in unit space that is never thinner than a pixel."""
        return max(w, 1.0 / self.size)

    def fill(self, inside, color, bbox=(0.0, 0.0, 1.0, 1.0)):
        """Composites color over every pixel by the share of its subsamples
        for which inside(x, y) holds (x, y in unit space)."""
        n = self.size
        x0 = max(0, int(bbox[0] * n) - 1)
        y0 = max(0, int(bbox[1] * n) - 1)
        x1 = min(n, int(bbox[2] * n) + 2)
        y1 = min(n, int(bbox[3] * n) + 2)
        r, g, b, a = color
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = 0
                for sy in range(SUB):
                    y = (py + (sy + 0.5) / SUB) / n
                    for sx in range(SUB):
                        x = (px + (sx + 0.5) / SUB) / n
                        if inside(x, y):
                            hits += 1
                if hits == 0:
                    continue
                cov = hits / (SUB * SUB) * (a / 255.0)
                dr, dg, db, da = self.px[py][px]
                out_a = cov + da * (1 - cov)
                if out_a <= 0:
                    continue
                mix = lambda s, d: (s * cov + d * da * (1 - cov)) / out_a
                self.px[py][px] = (mix(r, dr), mix(g, dg), mix(b, db), out_a)

    # Shapes -------------------------------------------------------------

    def polygon(self, points, color):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            c = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    c = not c
                j = i
            return c

        self.fill(inside, color, (min(xs), min(ys), max(xs), max(ys)))

    def rect(self, x0, y0, x1, y1, color):
        self.fill(lambda x, y: x0 <= x <= x1 and y0 <= y <= y1, color, (x0, y0, x1, y1))

    def round_rect(self, x0, y0, x1, y1, radius, color):
        def inside(x, y):
            if not (x0 <= x <= x1 and y0 <= y <= y1):
                return False
            cx = min(max(x, x0 + radius), x1 - radius)
            cy = min(max(y, y0 + radius), y1 - radius)
            return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius

        self.fill(inside, color, (x0, y0, x1, y1))

    def circle(self, cx, cy, r, color, hole=0.0):
        self.fill(lambda x, y: hole * hole <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r, color,
                  (cx - r, cy - r, cx + r, cy + r))

    def line(self, points, width, color):
        """A polyline of the given width with square-ish joins."""
        w = self.px_width(width) / 2
        segs = list(zip(points, points[1:]))
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            for (ax, ay), (bx, by) in segs:
                dx, dy = bx - ax, by - ay
                ll = dx * dx + dy * dy
                t = 0.0 if ll == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / ll))
                qx, qy = ax + t * dx - x, ay + t * dy - y
                if abs(qx) <= w and abs(qy) <= w and qx * qx + qy * qy <= 2 * w * w:
                    if qx * qx + qy * qy <= w * w * 1.2:
                        return True
            return False

        self.fill(inside, color, (min(xs) - w, min(ys) - w, max(xs) + w, max(ys) + w))

    def arrow(self, x0, y0, x1, y1, width, head, color):
        """A straight arrow from (x0, y0) with its head at (x1, y1)."""
        dx, dy = x1 - x0, y1 - y0
        length = math.hypot(dx, dy)
        ux, uy = dx / length, dy / length
        bx, by = x1 - ux * head, y1 - uy * head
        self.line([(x0, y0), (bx, by)], width, color)
        nx, ny = -uy, ux
        self.polygon([(x1, y1), (bx + nx * head * 0.7, by + ny * head * 0.7),
                      (bx - nx * head * 0.7, by - ny * head * 0.7)], color)


# Pictures ----------------------------------------------------------------

def envelope(c, body, edge, flap):
    c.round_rect(0.04, 0.19, 0.96, 0.81, 0.06, edge)
    inset = c.px_width(0.06)
    c.round_rect(0.04 + inset, 0.19 + inset, 0.96 - inset, 0.81 - inset, 0.04, body)
    c.line([(0.08, 0.25), (0.5, 0.56), (0.92, 0.25)], 0.07, flap)
    c.line([(0.08, 0.76), (0.38, 0.48)], 0.045, flap)
    c.line([(0.92, 0.76), (0.62, 0.48)], 0.045, flap)


def draw_agent(c):
    # Nothing new: a quiet blue-grey envelope.
    envelope(c, hexcolor('#C9D6E3'), hexcolor('#34495E'), hexcolor('#34495E'))


def draw_mail(c):
    # Mail is known: a bright yellow envelope.
    envelope(c, hexcolor('#FFD54A'), hexcolor('#7A5300'), hexcolor('#7A5300'))


def draw_mail_blink(c):
    # Second blink phase: the envelope in inverted, warm colours.
    envelope(c, hexcolor('#E8481C'), hexcolor('#7A1A00'), hexcolor('#FFFFFF'))


def circular_arrows(c, cx, cy, r, width, color):
    for start in (200, 20):
        pts = [(cx + r * math.cos(math.radians(a)), cy + r * math.sin(math.radians(a)))
               for a in range(start, start + 130, 5)]
        c.line(pts, width, color)
        end = math.radians(start + 130)
        ex, ey = cx + r * math.cos(end), cy + r * math.sin(end)
        tx, ty = -math.sin(end), math.cos(end)
        nx, ny = math.cos(end), math.sin(end)
        h = width * 1.6
        c.polygon([(ex + tx * h, ey + ty * h), (ex + nx * h, ey + ny * h), (ex - nx * h, ey - ny * h)],
                  color)


def draw_polling(c):
    envelope(c, hexcolor('#C9D6E3'), hexcolor('#34495E'), hexcolor('#34495E'))
    c.circle(0.66, 0.64, 0.34, hexcolor('#1E8E3E'))
    circular_arrows(c, 0.66, 0.64, 0.19, 0.08, hexcolor('#FFFFFF'))


def draw_install(c):
    # A box with an arrow going into it.
    c.polygon([(0.1, 0.5), (0.9, 0.5), (0.84, 0.95), (0.16, 0.95)], hexcolor('#8D5A2B'))
    c.polygon([(0.1, 0.5), (0.9, 0.5), (0.86, 0.6), (0.14, 0.6)], hexcolor('#B9834B'))
    c.rect(0.41, 0.04, 0.59, 0.42, hexcolor('#1565C0'))
    c.polygon([(0.22, 0.36), (0.78, 0.36), (0.5, 0.72)], hexcolor('#1565C0'))


def boxed(c):
    c.rect(0.12, 0.12, 0.88, 0.88, hexcolor('#5F6B78'))
    inset = c.px_width(0.06)
    c.rect(0.12 + inset, 0.12 + inset, 0.88 - inset, 0.88 - inset, hexcolor('#FFFFFF'))


def draw_collapsed(c):
    boxed(c)
    c.line([(0.3, 0.5), (0.7, 0.5)], 0.1, hexcolor('#1F2933'))
    c.line([(0.5, 0.3), (0.5, 0.7)], 0.1, hexcolor('#1F2933'))


def draw_expanded(c):
    boxed(c)
    c.line([(0.3, 0.5), (0.7, 0.5)], 0.1, hexcolor('#1F2933'))


def draw_delete_corner(c):
    # A thin corner: down from the top edge to the centre, then to the right.
    # The stroke runs through pixel centres so that it stays one crisp pixel.
    m = (c.size // 2 + 0.5) / c.size
    c.line([(m, 0.0), (m, m), (1.0, m)], 0.0, hexcolor('#000000'))


def draw_view_compact(c):
    color = hexcolor('#1F4E8C')
    for sx, sy in ((-1, -1), (1, -1), (-1, 1), (1, 1)):
        c.arrow(0.5 + sx * 0.44, 0.5 + sy * 0.44, 0.5 + sx * 0.1, 0.5 + sy * 0.1, 0.09, 0.16, color)


def draw_view_detailed(c):
    color = hexcolor('#1F4E8C')
    for sx, sy in ((-1, -1), (1, -1), (-1, 1), (1, 1)):
        c.arrow(0.5 + sx * 0.08, 0.5 + sy * 0.08, 0.5 + sx * 0.46, 0.5 + sy * 0.46, 0.09, 0.16, color)


def draw_floppy(c):
    c.polygon([(0.08, 0.08), (0.78, 0.08), (0.92, 0.22), (0.92, 0.92), (0.08, 0.92)],
              hexcolor('#24456E'))
    c.rect(0.27, 0.08, 0.7, 0.36, hexcolor('#C4CCD6'))
    c.rect(0.55, 0.12, 0.64, 0.32, hexcolor('#24456E'))
    c.rect(0.2, 0.52, 0.8, 0.92, hexcolor('#FFFFFF'))
    c.line([(0.28, 0.64), (0.72, 0.64)], 0.04, hexcolor('#9AA5B1'))
    c.line([(0.28, 0.77), (0.72, 0.77)], 0.04, hexcolor('#9AA5B1'))


def draw_gear(c):
    cx = cy = 0.5
    teeth = 8
    outer, inner = 0.47, 0.36

    def inside(x, y):
        dx, dy = x - cx, y - cy
        r = math.hypot(dx, dy)
        if r < 0.14:
            return False
        if r <= inner:
            return True
        if r > outer:
            return False
        a = (math.atan2(dy, dx) / (2 * math.pi) * teeth) % 1.0
        return a < 0.45

    c.fill(inside, hexcolor('#59636E'))
    c.circle(cx, cy, 0.25, hexcolor('#8894A0'), hole=0.14)


ICONS = {
    'agent.ico': draw_agent,
    'group_collapsed.ico': draw_collapsed,
    'group_expanded.ico': draw_expanded,
    'delete.ico': draw_delete_corner,
    'polling.ico': draw_polling,
    'install.ico': draw_install,
    'view_compact.ico': draw_view_compact,
    'view_detailed.ico': draw_view_detailed,
    'mail.ico': draw_mail,
    'mail_blink.ico': draw_mail_blink,
    'attachment.ico': draw_floppy,
    'settings.ico': draw_gear,
}


def encode_image(canvas):
    n = canvas.size
    header = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    row_bytes = ((n + 31) // 32) * 4
    for y in range(n - 1, -1, -1):
        bits = bytearray(row_bytes)
        for x in range(n):
            r, g, b, a = canvas.px[y][x]
            alpha = int(round(a * 255))
            pixels += bytes((int(round(b)), int(round(g)), int(round(r)), alpha))
            if alpha == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def write_icon(path, draw):
    images = []
    for size in SIZES:
        canvas = Canvas(size)
        draw(canvas)
        images.append((size, encode_image(canvas)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else 'src/resources/icons'
    os.makedirs(folder, exist_ok=True)
    for name, draw in ICONS.items():
        write_icon(os.path.join(folder, name), draw)
        print('wrote', os.path.join(folder, name))


if __name__ == '__main__':
    main()
