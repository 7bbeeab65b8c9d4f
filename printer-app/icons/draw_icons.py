#!/usr/bin/env python3
"""Draws the Printer Application's icon, a monochrome laser printer, at 48, 128 and 512 pixels.

Writes korvi-printer-SIZE.png for each size into OUTDIR, and a C++ source with the three PNG files
as byte arrays (kKorviIcons, see icons.h) that the driver hands to PAPPL.
Usage: draw_icons.py OUTDIR SOURCE.cpp
"""
import struct
import sys
import zlib

SIZES = (48, 128, 512)
SAMPLES = 3  # per pixel and axis: edges are smoothed from SAMPLES * SAMPLES points

# The drawing, back to front, in a 1 x 1 square: (shape, box, corner radius, RGBA colour).
# Grey body, the sheet going in at the top, a printed sheet coming out of the front, the tray
# below, and one green light.
SHAPES = [
    ("rect", (0.27, 0.06, 0.73, 0.40), 0.015, (250, 250, 250, 255)),
    ("rect", (0.27, 0.06, 0.73, 0.40), 0.015, None),  # the sheet's outline, drawn below
    ("rect", (0.08, 0.30, 0.92, 0.80), 0.07, (64, 64, 68, 255)),
    ("rect", (0.08, 0.30, 0.92, 0.42), 0.07, (92, 92, 98, 255)),
    ("rect", (0.08, 0.36, 0.92, 0.42), 0.0, (92, 92, 98, 255)),
    ("rect", (0.20, 0.52, 0.80, 0.57), 0.02, (24, 24, 26, 255)),
    ("rect", (0.25, 0.55, 0.75, 0.70), 0.01, (250, 250, 250, 255)),
    ("rect", (0.31, 0.59, 0.64, 0.605), 0.0, (120, 120, 120, 255)),
    ("rect", (0.31, 0.625, 0.69, 0.64), 0.0, (120, 120, 120, 255)),
    ("rect", (0.31, 0.66, 0.58, 0.675), 0.0, (120, 120, 120, 255)),
    ("rect", (0.13, 0.80, 0.87, 0.90), 0.03, (40, 40, 44, 255)),
    ("circle", (0.80, 0.47, 0.028), 0.0, (60, 200, 90, 255)),
]
OUTLINE = (150, 150, 150, 255)
OUTLINE_WIDTH = 0.012


def inside_rect(x, y, box, radius):
    x0, y0, x1, y1 = box
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + radius), x1 - radius)
    cy = min(max(y, y0 + radius), y1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def colour_at(x, y):
    """The colour of the topmost shape at a point, or None for the background."""
    colour = None
    for kind, box, radius, fill in SHAPES:
        if kind == "circle":
            cx, cy, r = box
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                colour = fill
        elif fill is None:
            inner = (box[0] + OUTLINE_WIDTH, box[1] + OUTLINE_WIDTH, box[2] - OUTLINE_WIDTH, box[3] - OUTLINE_WIDTH)
            if inside_rect(x, y, box, radius) and not inside_rect(x, y, inner, radius):
                colour = OUTLINE
        elif inside_rect(x, y, box, radius):
            colour = fill
    return colour


def render(size):
    rows = []
    step = 1.0 / (size * SAMPLES)
    for py in range(size):
        row = bytearray([0])  # PNG filter: none
        for px in range(size):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                y = (py * SAMPLES + sy + 0.5) * step
                for sx in range(SAMPLES):
                    c = colour_at((px * SAMPLES + sx + 0.5) * step, y)
                    if c:
                        r += c[0]; g += c[1]; b += c[2]; a += c[3]
            n = SAMPLES * SAMPLES
            covered = a / 255
            if covered:
                row += bytes((round(r / covered), round(g / covered), round(b / covered), round(a / n)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return png(size, b"".join(rows))


def png(size, raw):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    outdir, source = sys.argv[1], sys.argv[2]
    lines = ['// Made by draw_icons.py at build time: the icon as PNG files.', '#include "icons.h"', '']
    for size in SIZES:
        data = render(size)
        with open(f"{outdir}/korvi-printer-{size}.png", "wb") as f:
            f.write(data)
        body = ",\n".join(", ".join(str(b) for b in data[i:i + 24]) for i in range(0, len(data), 24))
        lines.append(f"static const unsigned char kIcon{size}[] = {{\n{body}}};")
    lines.append("")
    lines.append("const KorviIcon kKorviIcons[3] = {" +
                 ", ".join(f"{{kIcon{s}, sizeof kIcon{s}}}" for s in SIZES) + "};")
    with open(source, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
