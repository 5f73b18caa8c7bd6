#!/usr/bin/env python3
"""Draws the packet editor's search arrows: search-back.png and search-next.png,
16x16 with alpha, in the colours of the main window's status pictures (blue
body, dark outline). The backward and forward search buttons carry them beside
their captions, so the two buttons of a pair can be told apart.
The PNGs are committed; run this only to change them. Python's standard
library only: the polygon is filled by 4x4 supersampling."""
import os
import struct
import zlib

SIZE = 16
SUB = 4
BODY = (0x3A, 0x6E, 0xA5)
EDGE = (0x20, 0x20, 0x20)

# The arrow pointing left, in pixel coordinates (pixel centres at +0.5).
BACK = [(1.0, 8.0), (8.0, 1.5), (8.0, 5.0), (14.5, 5.0), (14.5, 11.0), (8.0, 11.0), (8.0, 14.5)]


def inside(poly, x, y):
    hit = False
    n = len(poly)
    for i in range(n):
        (x1, y1), (x2, y2) = poly[i], poly[(i + 1) % n]
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            hit = not hit
    return hit


def shrink(poly, d):
    """The polygon moved d towards its centre: the body inside the outline."""
    cx = sum(p[0] for p in poly) / len(poly)
    cy = sum(p[1] for p in poly) / len(poly)
    out = []
    for x, y in poly:
        dx, dy = cx - x, cy - y
        length = (dx * dx + dy * dy) ** 0.5 or 1.0
        out.append((x + dx / length * d, y + dy / length * d))
    return out


def coverage(poly, px, py):
    count = 0
    for sy in range(SUB):
        for sx in range(SUB):
            if inside(poly, px + (sx + 0.5) / SUB, py + (sy + 0.5) / SUB):
                count += 1
    return count / (SUB * SUB)


def render(poly):
    body = shrink(poly, 1.1)
    rows = []
    for y in range(SIZE):
        row = bytearray([0])
        for x in range(SIZE):
            outer = coverage(poly, x, y)
            inner = coverage(body, x, y)
            if outer <= 0:
                row += bytes(4)
                continue
            # Body where the inner shape covers, outline around it.
            w = inner / outer if outer else 0
            rgb = [round(BODY[i] * w + EDGE[i] * (1 - w)) for i in range(3)]
            row += bytes(rgb + [round(255 * outer)])
        rows.append(bytes(row))
    return b"".join(rows)


def png(path, raw):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
                chunk(b"IEND", b""))


here = os.path.dirname(os.path.abspath(__file__))
png(os.path.join(here, "search-back.png"), render(BACK))
png(os.path.join(here, "search-next.png"), render([(SIZE - x, y) for x, y in BACK]))
