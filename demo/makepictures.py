#!/usr/bin/env python3
"""Draws the demo group's pictures (project avatars and application icons) as PNG files.

Plain Python, no imaging library: each picture is a few filled shapes, sampled 4x4 per pixel
for smooth edges. Run from anywhere; writes into demo/group/.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
GROUP = os.path.join(HERE, 'group')


def write_png(path, width, height, pixels):
    raw = b''.join(b'\x00' + bytes(pixels[y * width * 4:(y + 1) * width * 4]) for y in range(height))

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xffffffff)

    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as out:
        out.write(b'\x89PNG\r\n\x1a\n')
        out.write(chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)))
        out.write(chunk(b'IDAT', zlib.compress(raw, 9)))
        out.write(chunk(b'IEND', b''))


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return x0 <= x <= x1 and y0 <= y <= y1 and (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r, width=None):
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        return d <= r and (width is None or d >= r - width)
    return inside


def segment(x0, y0, x1, y1, width):
    def inside(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= width / 2
    return inside


def render(size, shapes):
    """shapes: (inside(x, y) on the unit square, (r, g, b)); later shapes paint over earlier ones."""
    pixels = bytearray(size * size * 4)
    samples = [(i + 0.5) / 4 for i in range(4)]
    for py in range(size):
        for px in range(size):
            r = g = b = a = 0.0
            for sy in samples:
                for sx in samples:
                    x, y = (px + sx) / size, (py + sy) / size
                    colour = None
                    for inside, c in shapes:
                        if inside(x, y):
                            colour = c
                    if colour:
                        r += colour[0]; g += colour[1]; b += colour[2]; a += 1
            i = (py * size + px) * 4
            if a:
                pixels[i:i + 4] = bytes((round(r / a), round(g / a), round(b / a), round(255 * a / 16)))
    return pixels


def tile(colour):
    return (rounded_rect(0.04, 0.04, 0.96, 0.96, 0.16), colour)


WHITE = (250, 250, 246)
DARK = (44, 48, 58)

PICTURES = {
    'calculator': [tile((52, 101, 164)), (rounded_rect(0.22, 0.16, 0.78, 0.84, 0.06), WHITE),
                   (rounded_rect(0.28, 0.22, 0.72, 0.36, 0.02), DARK)]
                  + [(rounded_rect(0.28 + c * 0.155, 0.42 + r * 0.14, 0.39 + c * 0.155, 0.52 + r * 0.14,
                                   0.02), (236, 120, 50) if c == 2 else DARK)
                     for r in range(3) for c in range(3)],
    'clock': [tile((46, 139, 87)), (circle(0.5, 0.5, 0.36), WHITE), (circle(0.5, 0.5, 0.36, 0.04), DARK),
              (segment(0.5, 0.5, 0.5, 0.24, 0.05), DARK), (segment(0.5, 0.5, 0.68, 0.58, 0.06), DARK),
              (circle(0.5, 0.5, 0.035), (192, 57, 43))],
    'wordcount': [tile((142, 68, 173)), (rounded_rect(0.2, 0.14, 0.8, 0.86, 0.04), WHITE)]
                 + [(rounded_rect(0.27, 0.24 + i * 0.1, 0.73 - (i % 3) * 0.1, 0.28 + i * 0.1, 0.02), DARK)
                    for i in range(6)],
    'notes': [tile((230, 170, 40)), (rounded_rect(0.22, 0.14, 0.78, 0.86, 0.04), WHITE)]
             + [(segment(0.3, 0.3 + i * 0.11, 0.7, 0.3 + i * 0.11, 0.025), (120, 144, 180)) for i in range(5)]
             + [(segment(0.36, 0.74, 0.74, 0.36, 0.07), DARK)],
}

if __name__ == '__main__':
    for name, shapes in PICTURES.items():
        write_png(os.path.join(GROUP, name + '.png'), 192, 192, render(192, shapes))
    for size in (86, 128):
        path = os.path.join(GROUP, 'notes', 'icons', '%dx%d' % (size, size), 'notes.png')
        write_png(path, size, size, render(size, PICTURES['notes']))
