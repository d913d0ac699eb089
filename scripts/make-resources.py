#!/usr/bin/env python3
"""Generates the installer's artwork in res/: the splash picture (splash.png) and the two icon
files (tessaly-large.ico, tessaly-small.ico).

The geometry and colours are computed here (a fixed seed makes every run draw the same picture);
ImageMagick's convert rasterises the drawing with anti-aliasing and hands back raw pixels, and this
script writes the files itself so that their exact format is under its control: the PNG is RGB,
8 bits per channel, not interlaced, with sRGB, gAMA and pHYs (96 dpi) chunks; the icons hold
32x32, 48x48 and 16x16 images at 24 bits per pixel with a transparency mask.

Usage: scripts/make-resources.py   (rewrites the files in res/; needs /usr/bin/convert)
"""

import math
import random
import struct
import subprocess
import sys
import zlib
from pathlib import Path

CONVERT = "/usr/bin/convert"
RES = Path(__file__).resolve().parent.parent / "res"

WIDTH, HEIGHT = 931, 583
# The status line is drawn over the top quarter of the picture (583 / 4 = 145 rows); that band and
# a margin below it stay one plain light colour so the blue or red text reads well.
PLAIN_ROWS = 160
BACKGROUND = (0xF4, 0xF6, 0xF9)

# Colour ramp of the tessellation, from the pale top edge to the deep lower right.
RAMP = [
    (0.00, (0xD5, 0xEC, 0xEC)),
    (0.30, (0x5F, 0xBD, 0xB9)),
    (0.62, (0x2C, 0x6E, 0x9E)),
    (1.00, (0x1C, 0x26, 0x52)),
]


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def ramp(t):
    t = min(max(t, 0.0), 1.0)
    for (t0, c0), (t1, c1) in zip(RAMP, RAMP[1:]):
        if t <= t1:
            return mix(c0, c1, (t - t0) / (t1 - t0))
    return RAMP[-1][1]


def shade(colour, amount):
    """Lightens (amount > 0) or darkens (amount < 0) a colour by a fraction."""
    target = (255, 255, 255) if amount > 0 else (0, 0, 0)
    return mix(colour, target, abs(amount))


def hex_colour(c):
    return "#%02X%02X%02X" % c


def polygon(points, colour):
    coords = " ".join("%.2f,%.2f" % p for p in points)
    return [
        "fill %s" % hex_colour(colour),
        # A hairline in the fill colour closes the anti-aliasing seams between neighbours.
        "stroke %s" % hex_colour(colour),
        "stroke-width 0.8",
        "polygon %s" % coords,
    ]


# For the first rows of tiles: the share of tiles drawn and how strongly they show.
FADE = [(0.25, 0.3), (0.55, 0.55), (1.0, 0.82)]


def tessellation(rng):
    """Equilateral triangles in rows below the plain band, dissolving into it at the top."""
    side = 58.0
    row_height = side * math.sqrt(3) / 2
    top = PLAIN_ROWS + 14.0
    commands = []
    rows = int((HEIGHT - top) / row_height) + 2
    for row in range(rows):
        y0 = top + row * row_height
        y1 = y0 + row_height
        offset = -side / 2 if row % 2 else 0.0
        for col in range(-1, int(WIDTH / side) + 3):
            x = offset + col * side
            for up in (True, False):
                if up:
                    points = [(x, y1), (x + side / 2, y0), (x + side, y1)]
                else:
                    points = [(x + side / 2, y0), (x + side, y1), (x + side * 1.5, y0)]
                cx = sum(p[0] for p in points) / 3
                cy = sum(p[1] for p in points) / 3
                depth = (cy - top) / (HEIGHT - top)
                t = 0.72 * depth + 0.28 * (cx / WIDTH)
                colour = shade(ramp(t), rng.uniform(-0.06, 0.06))
                # Near the top the tiles thin out and fade into the plain band.
                if row < len(FADE):
                    keep, strength = FADE[row]
                    if rng.random() > keep:
                        continue
                    colour = mix(BACKGROUND, colour, strength * rng.uniform(0.8, 1.0))
                commands += polygon(points, colour)
    return commands


def logo_points(cx, cy, radius):
    """The six triangles of a hexagon around (cx, cy), each with its own colour."""
    corners = [
        (cx + radius * math.cos(math.radians(90 + 60 * i)),
         cy - radius * math.sin(math.radians(90 + 60 * i)))
        for i in range(6)
    ]
    colours = [
        (0x7C, 0xD3, 0xCC), (0x4F, 0xB3, 0xB5), (0x2C, 0x8A, 0xA8),
        (0x2A, 0x5C, 0x8F), (0x23, 0x3C, 0x73), (0x3E, 0x9E, 0xB0),
    ]
    return [([(cx, cy), corners[i], corners[(i + 1) % 6]], colours[i]) for i in range(6)]


def splash_drawing():
    rng = random.Random(20240531)
    commands = ["viewbox 0 0 %d %d" % (WIDTH, HEIGHT)]
    commands += tessellation(rng)
    # A calm dark panel behind the name keeps it legible over the tiles.
    commands += [
        "fill #141C3C", "fill-opacity 0.45", "stroke none",
        "roundrectangle 205,366 726,520 14,14", "fill-opacity 1",
    ]
    for points, colour in logo_points(285, 443, 50):
        commands += polygon(points, colour)
    commands += [
        "fill #FFFFFF", "fill-opacity 1", "stroke none",
        "font DejaVu-Sans-Bold", "font-size 78", "kerning 2",
        "text 352,472 'Tessaly'",
        "fill #CFE8EA",
        "font WenQuanYi-Zen-Hei", "font-size 21", "kerning 7",
        "text 357,505 '在线安装程序'",
    ]
    return "\n".join(commands) + "\n"


def rasterise(size, background, drawing, channels):
    """Draws `drawing` (MVG) with convert and returns the raw pixels (RGB or RGBA bytes)."""
    raw = subprocess.run(
        [CONVERT, "-size", "%dx%d" % size, "-background", background, "mvg:-",
         "-depth", "8", channels + ":-"],
        input=drawing.encode("utf-8"), check=True, stdout=subprocess.PIPE).stdout
    if len(raw) != size[0] * size[1] * len(channels):
        sys.exit("make-resources: convert returned %d bytes" % len(raw))
    return raw


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data +
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filtered_rows(rgb, width, height):
    """Each row with the PNG filter that makes it smallest (the usual sum-of-magnitudes rule)."""
    stride = width * 3
    prior = bytes(stride)
    out = bytearray()
    for y in range(height):
        row = rgb[y * stride:(y + 1) * stride]
        left = bytes(3) + row[:-3]
        upleft = bytes(3) + prior[:-3]
        candidates = [
            bytes(row),
            bytes((r - a) & 0xFF for r, a in zip(row, left)),
            bytes((r - b) & 0xFF for r, b in zip(row, prior)),
            bytes((r - ((a + b) >> 1)) & 0xFF for r, a, b in zip(row, left, prior)),
            bytes((r - paeth(a, b, c)) & 0xFF for r, a, b, c in zip(row, left, prior, upleft)),
        ]
        best = min(range(5), key=lambda k: sum(v if v < 128 else 256 - v for v in candidates[k]))
        out.append(best)
        out += candidates[best]
        prior = row
    return bytes(out)


def write_png(path, rgb, width, height):
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # RGB, 8 bits, not interlaced
    srgb = bytes([0])  # perceptual rendering intent
    gama = struct.pack(">I", 45455)  # 1 / 2.2, as the sRGB chunk implies
    phys = struct.pack(">IIB", 3779, 3779, 1)  # pixels per metre (96 dpi) on both axes
    data = zlib.compress(filtered_rows(rgb, width, height), 9)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"sRGB", srgb) +
                     png_chunk(b"gAMA", gama) + png_chunk(b"pHYs", phys) +
                     png_chunk(b"IDAT", data) + png_chunk(b"IEND", b""))


def make_splash():
    rgb = rasterise((WIDTH, HEIGHT), hex_colour(BACKGROUND), splash_drawing(), "rgb")
    plain = bytes(BACKGROUND) * (WIDTH * PLAIN_ROWS)
    if rgb[:len(plain)] != plain:
        sys.exit("make-resources: the top band of the splash picture is not plain")
    write_png(RES / "splash.png", rgb, WIDTH, HEIGHT)


def icon_image(size):
    """One icon image: the hexagon mark, drawn large and reduced, as BGR rows and a mask."""
    big = 512
    drawing = ["viewbox 0 0 %d %d" % (big, big)]
    for points, colour in logo_points(big / 2, big / 2, big / 2 - 6):
        drawing += polygon(points, colour)
    rgba = subprocess.run(
        [CONVERT, "-size", "%dx%d" % (big, big), "-background", "none", "mvg:-",
         "-filter", "Box", "-resize", "%dx%d" % (size, size), "-depth", "8", "rgba:-"],
        input=("\n".join(drawing) + "\n").encode("utf-8"), check=True,
        stdout=subprocess.PIPE).stdout
    if len(rgba) != size * size * 4:
        sys.exit("make-resources: convert returned %d bytes for a %d icon" % (len(rgba), size))
    # Bottom-up rows: 24-bit BGR padded to 4 bytes, then the AND mask (1 = transparent) padded
    # to 32 bits per row.
    colour_stride = (size * 3 + 3) & ~3
    mask_stride = ((size + 31) // 32) * 4
    colours = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):
        row = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
            if a >= 128:
                row[x * 3:x * 3 + 3] = bytes((b, g, r))
            else:
                bits[x // 8] |= 0x80 >> (x % 8)
        colours += row
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 24, 0,
                         len(colours) + len(mask), 0, 0, 0, 0)
    return header + bytes(colours) + bytes(mask)


def write_icon(path, sizes):
    images = [icon_image(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, len(image), offset)
        offset += len(image)
    path.write_bytes(directory + entries + b"".join(images))


def main():
    if not Path(CONVERT).exists():
        sys.exit("make-resources: %s (ImageMagick) is needed" % CONVERT)
    make_splash()
    write_icon(RES / "tessaly-large.ico", [32, 48, 16])
    write_icon(RES / "tessaly-small.ico", [32, 48, 16])


if __name__ == "__main__":
    main()
