#!/usr/bin/env python3
"""Draws the Korvane application icon and writes korvane.ico beside this script.

The picture is a sheet of paper with a folded corner and a bold blue "#",
the digest mark. Geometry is snapped to whole pixels at every size so that
the 16 px image stays crisp.

Images, in file order:
  32 bpp: 256 px (PNG-compressed), 48, 32, 24, 16 px (alpha)
   8 bpp: 48, 32, 24, 16 px (median-cut palette, AND mask)
   4 bpp: 48, 32, 24, 16 px (standard VGA palette, no anti-aliasing)

Python 3 standard library only; the output is the same on every run.
"""

import math
import os
import struct
import zlib

SUB_ROWS = 16  # vertical samples per pixel; horizontal coverage is exact

# Colours of the full-colour images; a pair is a top-to-bottom gradient.
TRUE_COLOURS = dict(
    outline=(84, 92, 106),
    page=((255, 255, 255), (226, 233, 243)),
    fold=(198, 208, 222),
    hash=((44, 104, 232), (20, 58, 186)),
)

# The 16-colour images use palette colours only, so that nothing is
# left to a nearest-colour guess.
VGA_COLOURS = dict(
    outline=(128, 128, 128),
    page=((255, 255, 255), (255, 255, 255)),
    fold=(192, 192, 192),
    hash=((0, 0, 255), (0, 0, 255)),
)

VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


# --- Rasterising -----------------------------------------------------------

def polygon_spans(polygon, y):
    """The x intervals where the horizontal line at y is inside polygon."""
    xs = []
    n = len(polygon)
    for i in range(n):
        x0, y0 = polygon[i]
        x1, y1 = polygon[(i + 1) % n]
        if (y0 <= y < y1) or (y1 <= y < y0):
            xs.append(x0 + (y - y0) * (x1 - x0) / (y1 - y0))
    xs.sort()
    return [(xs[i], xs[i + 1]) for i in range(0, len(xs) - 1, 2)]


def merge_spans(spans):
    merged = []
    for a, b in sorted(spans):
        if merged and a <= merged[-1][1]:
            merged[-1] = (merged[-1][0], max(merged[-1][1], b))
        else:
            merged.append((a, b))
    return merged


def add_span(row, a, b, weight):
    """Adds the exact horizontal coverage of [a, b) to row."""
    a, b = max(a, 0.0), min(b, float(len(row)))
    if b <= a:
        return
    ia, ib = int(a), int(b)
    if ia == ib:
        row[ia] += (b - a) * weight
        return
    row[ia] += (ia + 1 - a) * weight
    for i in range(ia + 1, ib):
        row[i] += weight
    if ib < len(row):
        row[ib] += (b - ib) * weight


def coverage(size, polygons, antialias):
    """Per-pixel coverage (0..1) of the union of polygons."""
    rows = SUB_ROWS if antialias else 1
    grid = [[0.0] * size for _ in range(size)]
    for py in range(size):
        for k in range(rows):
            y = py + (k + 0.5) / rows
            spans = []
            for polygon in polygons:
                spans.extend(polygon_spans(polygon, y))
            for a, b in merge_spans(spans):
                add_span(grid[py], a, b, 1.0 / rows)
    if not antialias:
        grid = [[1.0 if c >= 0.5 else 0.0 for c in row] for row in grid]
    return grid


def composite(canvas, grid, paint):
    """Paints colour paint(y) over the canvas (premultiplied RGBA floats)."""
    size = len(grid)
    for py in range(size):
        r, g, b = paint(py + 0.5)
        for px in range(size):
            a = min(grid[py][px], 1.0)
            if a <= 0.0:
                continue
            cr, cg, cb, ca = canvas[py][px]
            keep = 1.0 - a
            canvas[py][px] = (r * a + cr * keep, g * a + cg * keep,
                              b * a + cb * keep, a + ca * keep)


def vertical_gradient(colours, y0, y1):
    top, bottom = colours

    def paint(y):
        t = min(max((y - y0) / (y1 - y0), 0.0), 1.0)
        return tuple(c0 + (c1 - c0) * t for c0, c1 in zip(top, bottom))
    return paint


def solid(colour):
    return lambda y: colour


# --- The picture -----------------------------------------------------------

# Hand-fitted geometry for the small sizes, in whole pixels: page margin
# left and right, margin top and bottom, fold, outline width, and the "#"
# bar thickness, overhang and gap.
SMALL_GEOMETRY = {
    16: dict(left=1, top=0, fold=5, line=1, t=2, o=2, g=1),
    24: dict(left=2, top=1, fold=6, line=1, t=3, o=2, g=3),
    32: dict(left=3, top=1, fold=8, line=1, t=4, o=3, g=4),
    48: dict(left=5, top=1, fold=12, line=2, t=6, o=4, g=6),
}


def layout(size):
    """Pixel geometry of the page, the fold and the "#"."""
    L = SMALL_GEOMETRY.get(size)
    if L is None:
        L = dict(left=round(size * 0.1), top=round(size * 0.03),
                 fold=round(size * 0.26), line=round(size / 32),
                 t=round(size * 0.125), o=round(size * 0.09),
                 g=round(size * 0.11))
    L = dict(L, right=size - L["left"], bottom=size - L["top"])
    L["box"] = 2 * L["o"] + 2 * L["t"] + L["g"]
    # Centred across the page, and in the part of it below the fold.
    inner_left = L["left"] + L["line"]
    inner_right = L["right"] - L["line"]
    L["hx"] = inner_left + (inner_right - inner_left - L["box"]) // 2
    area_top = L["top"] + L["fold"]
    area_bottom = L["bottom"] - L["line"]
    L["hy"] = area_top + (area_bottom - area_top - L["box"]) // 2
    return L


def page_polygons(L):
    left, right, top, bottom = L["left"], L["right"], L["top"], L["bottom"]
    f, w = L["fold"], L["line"]
    d = w * math.sqrt(2.0)
    outer = [(left, top), (right - f, top), (right, top + f),
             (right, bottom), (left, bottom)]
    inner = [(left + w, top + w), (right - f + w - d, top + w),
             (right - w, top + f - w + d), (right - w, bottom - w),
             (left + w, bottom - w)]
    fold_outer = [(right - f, top), (right - f, top + f), (right, top + f)]
    fold_inner = [(right - f + w, top + w + d), (right - f + w, top + f - w),
                  (right - w - d, top + f - w)]
    return outer, inner, fold_outer, fold_inner


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def hash_polygons(L):
    t, o, g, box, hx, hy = L["t"], L["o"], L["g"], L["box"], L["hx"], L["hy"]
    bars = []
    for offset in (o, o + t + g):
        bars.append(rect(hx + offset, hy, hx + offset + t, hy + box))
        bars.append(rect(hx, hy + offset, hx + box, hy + offset + t))
    return bars


def draw(size, colours=TRUE_COLOURS, antialias=True):
    """The icon as rows of straight (not premultiplied) RGBA byte tuples."""
    L = layout(size)
    outer, inner, fold_outer, fold_inner = page_polygons(L)
    canvas = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]

    def layer(polygons, paint):
        composite(canvas, coverage(size, polygons, antialias), paint)

    layer([outer], solid(colours["outline"]))
    layer([inner], vertical_gradient(colours["page"], L["top"], L["bottom"]))
    layer([fold_outer], solid(colours["outline"]))
    layer([fold_inner], solid(colours["fold"]))
    layer(hash_polygons(L), vertical_gradient(colours["hash"], L["hy"],
                                              L["hy"] + L["box"]))

    pixels = []
    for row in canvas:
        out = []
        for r, g, b, a in row:
            if a <= 0.0:
                out.append((0, 0, 0, 0))
            else:
                out.append(tuple(min(255, int(round(c / a))) for c in (r, g, b))
                           + (int(round(a * 255)),))
        pixels.append(out)
    return pixels


# --- Colour reduction ------------------------------------------------------

def nearest(palette, colour):
    r, g, b = colour[:3]
    best, best_d = 0, None
    for i, (pr, pg, pb) in enumerate(palette):
        # Weighted towards green, as the eye is.
        d = 2 * (r - pr) ** 2 + 4 * (g - pg) ** 2 + 3 * (b - pb) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def median_cut(colours, count):
    """A palette of at most count colours for the {rgb: pixels} histogram."""
    boxes = [list(colours.items())]
    while len(boxes) < count:
        splittable = [bx for bx in boxes if len(bx) > 1]
        if not splittable:
            break

        def spread(bx):
            return max(max(c[0][ch] for c in bx) - min(c[0][ch] for c in bx)
                       for ch in range(3))
        box = max(splittable, key=spread)
        ch = max(range(3), key=lambda k: max(c[0][k] for c in box)
                 - min(c[0][k] for c in box))
        box.sort(key=lambda c: c[0][ch])
        total, half, cut = sum(n for _, n in box), 0, 1
        for i, (_, n) in enumerate(box[:-1]):
            half += n
            if half * 2 >= total:
                cut = i + 1
                break
        boxes.remove(box)
        boxes.extend([box[:cut], box[cut:]])
    palette = []
    for bx in boxes:
        total = sum(n for _, n in bx)
        palette.append(tuple(int(round(sum(c[ch] * n for c, n in bx) / total))
                             for ch in range(3)))
    return palette


def opaque(pixel):
    return pixel[3] >= 128


def indexed(pixels, palette):
    """Palette indices; transparent pixels take index 0, which is black."""
    return [[nearest(palette, p) if opaque(p) else 0 for p in row]
            for row in pixels]


# --- File formats ----------------------------------------------------------

def padded(data):
    return data + b"\0" * (-len(data) % 4)


def and_mask(pixels):
    """The 1 bpp transparency mask, bottom-up, 1 = transparent."""
    out = b""
    for row in reversed(pixels):
        bits = bytearray((len(row) + 7) // 8)
        for x, p in enumerate(row):
            if not opaque(p):
                bits[x // 8] |= 0x80 >> (x % 8)
        out += padded(bytes(bits))
    return out


def pack_indices(row, bpp):
    if bpp == 8:
        return bytes(row)
    return bytes((row[i] << 4) | row[i + 1] for i in range(0, len(row), 2))


def dib(pixels, bpp, palette=None, indices=None):
    """A DIB icon image: header, palette, colour bits, AND mask."""
    size = len(pixels)
    if bpp == 32:
        xor = b"".join(bytes(c for r, g, b, a in row for c in (b, g, r, a))
                       for row in reversed(pixels))
    else:
        xor = b"".join(padded(pack_indices(row, bpp))
                       for row in reversed(indices))
    mask = and_mask(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    colours = b""
    if palette is not None:
        full = list(palette) + [(0, 0, 0)] * ((1 << bpp) - len(palette))
        colours = b"".join(bytes((b, g, r, 0)) for r, g, b in full)
    return header + colours + xor + mask


def png(pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(
            ">I", zlib.crc32(body) & 0xFFFFFFFF)
    size = len(pixels)
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in pixels)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ico(entries):
    """entries: (size, bpp, colour count, image bytes) in file order."""
    head = struct.pack("<HHH", 0, 1, len(entries))
    offset = len(head) + 16 * len(entries)
    directory, images = b"", b""
    for size, bpp, colours, data in entries:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours,
                                 0, 1, bpp, len(data), offset)
        images += data
        offset += len(data)
    return head + directory + images


# --- Assembly --------------------------------------------------------------

SMALL_SIZES = (48, 32, 24, 16)


def build_entries():
    entries = [(256, 32, 0, png(draw(256)))]
    drawings = {size: draw(size) for size in SMALL_SIZES}
    for size in SMALL_SIZES:
        entries.append((size, 32, 0, dib(drawings[size], 32)))
    for size in SMALL_SIZES:
        pixels = drawings[size]
        histogram = {}
        for row in pixels:
            for p in row:
                if opaque(p):
                    histogram[p[:3]] = histogram.get(p[:3], 0) + 1
        # Index 0 stays black for the transparent pixels.
        palette = [(0, 0, 0)] + median_cut(histogram, 255)
        entries.append((size, 8, 0,
                        dib(pixels, 8, palette, indexed(pixels, palette))))
    for size in SMALL_SIZES:
        pixels = draw(size, VGA_COLOURS, antialias=False)
        entries.append((size, 4, 16,
                        dib(pixels, 4, VGA16, indexed(pixels, VGA16))))
    return entries


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                        "korvane.ico")
    data = ico(build_entries())
    with open(path, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (path, len(data)))


if __name__ == "__main__":
    main()
