#!/usr/bin/env python3
"""Draws the small button pictures, 16x16 with alpha, in the colours of the
main window's status pictures (blue body, dark outline):
- search-back.png and search-next.png: the packet editor's search arrows,
  beside their captions, so the two buttons of a pair can be told apart;
- play.png and pause.png: the cut editor's transport buttons;
- cut-begin.png and cut-end.png: the cut editor's buttons that take the
  current position as the begin (an arrow into an In mark) or the end (an
  Out mark with an arrow into it from the right);
- write-packet.png and discard-packet.png: the packet editor's buttons that
  write the edited packet into the file (an arrow down into a tray) or drop
  the edits (an arrow turning back).
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


def coverage_any(polys, px, py):
    """Coverage of the union of several shapes."""
    count = 0
    for sy in range(SUB):
        for sx in range(SUB):
            qx, qy = px + (sx + 0.5) / SUB, py + (sy + 0.5) / SUB
            if any(inside(p, qx, qy) for p in polys):
                count += 1
    return count / (SUB * SUB)


def render(poly):
    return render_all([poly])


def render_all(polys):
    """One picture of several shapes: each keeps its own outline where it
    borders the background, not where it overlaps another."""
    bodies = [shrink(p, 1.1) for p in polys]
    rows = []
    for y in range(SIZE):
        row = bytearray([0])
        for x in range(SIZE):
            outer = coverage_any(polys, x, y)
            inner = coverage_any(bodies, x, y)
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


def rect(x1, y1, x2, y2):
    return [(x1, y1), (x2, y1), (x2, y2), (x1, y2)]


def mirrored(polys):
    return [[(SIZE - x, y) for x, y in p] for p in polys]


PLAY = [[(3.0, 1.5), (14.5, 8.0), (3.0, 14.5)]]
PAUSE = [rect(2.5, 2.0, 7.0, 14.0), rect(9.0, 2.0, 13.5, 14.0)]
# An arrow pointing right into an In mark (a bracket open to the right).
CUT_BEGIN = [[(0.5, 6.0), (4.5, 6.0), (4.5, 3.0), (9.5, 8.0), (4.5, 13.0), (4.5, 10.0), (0.5, 10.0)],
             rect(10.5, 1.0, 13.5, 15.0), rect(10.5, 1.0, 15.5, 4.0), rect(10.5, 12.0, 15.5, 15.0)]

# An arrow pointing down into an open tray.
WRITE = [rect(6.5, 0.5, 9.5, 6.5), [(2.5, 6.0), (13.5, 6.0), (8.0, 11.5)],
         rect(1.0, 12.5, 15.0, 15.5), rect(1.0, 9.0, 4.0, 15.5), rect(12.0, 9.0, 15.0, 15.5)]
# An arrow turning back: its head points left, its shaft bends down and back.
DISCARD = [[(0.5, 5.0), (6.0, 0.5), (6.0, 9.5)], rect(5.5, 3.0, 12.0, 7.0), rect(10.5, 3.0, 15.0, 14.5),
           rect(4.0, 10.5, 15.0, 14.5)]

here = os.path.dirname(os.path.abspath(__file__))
png(os.path.join(here, "search-back.png"), render(BACK))
png(os.path.join(here, "search-next.png"), render([(SIZE - x, y) for x, y in BACK]))
png(os.path.join(here, "play.png"), render_all(PLAY))
png(os.path.join(here, "pause.png"), render_all(PAUSE))
png(os.path.join(here, "cut-begin.png"), render_all(CUT_BEGIN))
png(os.path.join(here, "cut-end.png"), render_all(mirrored(CUT_BEGIN)))
png(os.path.join(here, "write-packet.png"), render_all(WRITE))
png(os.path.join(here, "discard-packet.png"), render_all(DISCARD))
