#!/usr/bin/env python3
# Draws the installer's icon and writes it as a Windows .ico (16x16, 32x32 and 48x48).
# The picture: a little character peeking out of an open cardboard package. Standard library only.
"""Usage: make_icon.py OUTPUT.ico [--sizes 16,32] [--png-from 32] [--preview DIR]

Every image is 32-bit, drawn from signed-distance shapes and anti-aliased by supersampling. The
16 and 32 pixel images, which title bars and message boxes load, are BGRA with an AND mask
(BMP-in-ICO), as every Windows reads them; the 48 pixel image is a PNG (RGBA), as Windows Vista
and later (and Wine) read it. With --preview, the images are read back from the written
.ico and saved as PNG files in DIR (each at its own size and enlarged on a checkerboard), so that
the icon file itself can be looked at. --sizes chooses fewer images and --png-from stores smaller
ones as PNG too: the programs' icons (res/CMakeLists.txt) hold PNG images only, which Windows Vista
and later (the systems they are built for) read at every size.
"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 32, 48)
PNG_FROM = 48  # images this size and larger are stored as PNG
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"

# Colours as (red, green, blue).
INK = (74, 44, 24)            # outlines
BOX_FRONT = (214, 160, 92)    # cardboard
BOX_SHADE = (189, 134, 70)    # the front's shaded right part
BOX_INSIDE = (96, 58, 30)     # the dark inside of the open package
FLAP = (231, 186, 120)        # the opened flaps, catching the light
TAPE = (240, 214, 160)
SKIN = (255, 246, 236)        # the character
EAR_INSIDE = (255, 182, 193)
EYE = (40, 30, 40)
SHINE = (255, 255, 255)
CHEEK = (255, 150, 160)
HEART = (226, 72, 96)


# --- shapes: signed distances in icon units (0..1 across), negative inside -----------------

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ellipse(cx, cy, rx, ry):
    # Scaled circle distance: exact enough for the small, round shapes used here.
    k = min(rx, ry)
    return lambda x, y: (math.hypot((x - cx) / rx, (y - cy) / ry) - 1.0) * k


def polygon(points):
    # The exact distance to a simple polygon, with the sign from the even-odd rule.
    n = len(points)

    def distance(x, y):
        best = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[i - 1]
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            best = min(best, math.hypot(wx - ex * t, wy - ey * t))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
                inside = not inside
        return -best if inside else best

    return distance


def arc(cx, cy, r, start, end):
    # A stroke centre line: the distance to an arc of a circle (angles in radians, y down).
    def distance(x, y):
        angle = math.atan2(y - cy, x - cx)
        if start <= angle <= end:
            return abs(math.hypot(x - cx, y - cy) - r)
        ends = [(cx + r * math.cos(a), cy + r * math.sin(a)) for a in (start, end)]
        return min(math.hypot(x - px, y - py) for px, py in ends)

    return distance


def stroke(line, width):
    """A line (a distance-to-centre-line function) drawn with the given width."""
    return lambda x, y: line(x, y) - width / 2


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def mirror(points):
    return [(1.0 - x, y) for x, y in points]


# --- the picture ---------------------------------------------------------------------------

def scene(size):
    """Layers from back to front: (shape, colour, outline width); outlines lie outside."""
    # Outlines stay about a pixel wide at every size; small sizes keep fewer details.
    line = max(1.0, size / 28.0) / size
    small = size <= 16

    head = circle(0.5, 0.43, 0.25)
    ear_left = polygon([(0.30, 0.32), (0.25, 0.08), (0.44, 0.22)])
    ear_right = polygon(mirror([(0.30, 0.32), (0.25, 0.08), (0.44, 0.22)]))
    inside = polygon([(0.12, 0.56), (0.88, 0.56), (0.80, 0.47), (0.20, 0.47)])
    flap_left = polygon([(0.12, 0.56), (0.20, 0.47), (0.06, 0.30), (0.00, 0.42)])
    flap_right = polygon(mirror([(0.12, 0.56), (0.20, 0.47), (0.06, 0.30), (0.00, 0.42)]))
    front = polygon([(0.12, 0.56), (0.88, 0.56), (0.88, 0.95), (0.12, 0.95)])
    shade = polygon([(0.70, 0.56), (0.88, 0.56), (0.88, 0.95), (0.70, 0.95)])
    tape = polygon([(0.44, 0.56), (0.56, 0.56), (0.56, 0.72), (0.44, 0.72)])
    hand_left = ellipse(0.31, 0.56, 0.085, 0.065)
    hand_right = ellipse(0.69, 0.56, 0.085, 0.065)

    layers = [
        (inside, BOX_INSIDE, line),
        (union(head, ear_left, ear_right), SKIN, line),
    ]
    if small:
        # At 16 pixels round eyes blur into grey: one crisp pixel column each, and no finer
        # details.
        layers += [
            (polygon([(6 / 16, 5 / 16), (7 / 16, 5 / 16), (7 / 16, 7 / 16), (6 / 16, 7 / 16)]),
             EYE, 0.0),
            (polygon([(9 / 16, 5 / 16), (10 / 16, 5 / 16), (10 / 16, 7 / 16), (9 / 16, 7 / 16)]),
             EYE, 0.0),
        ]
    else:
        layers += [
            (polygon([(0.31, 0.28), (0.285, 0.15), (0.38, 0.23)]), EAR_INSIDE, 0.0),
            (polygon(mirror([(0.31, 0.28), (0.285, 0.15), (0.38, 0.23)])), EAR_INSIDE, 0.0),
            (ellipse(0.31, 0.47, 0.055, 0.035), CHEEK, 0.0),
            (ellipse(0.69, 0.47, 0.055, 0.035), CHEEK, 0.0),
            (ellipse(0.40, 0.40, 0.045, 0.065), EYE, 0.0),
            (ellipse(0.60, 0.40, 0.045, 0.065), EYE, 0.0),
            (stroke(arc(0.5, 0.455, 0.05, 0.35, math.pi - 0.35), line * 1.2), EYE, 0.0),
        ]
    if size >= 48:
        # Shines in the eyes; smaller, they only turn the eyes grey.
        layers += [
            (circle(0.41, 0.38, 0.017), SHINE, 0.0),
            (circle(0.61, 0.38, 0.017), SHINE, 0.0),
        ]
    layers += [
        (flap_left, FLAP, line),
        (flap_right, FLAP, line),
        (front, BOX_FRONT, line),
        (shade, BOX_SHADE, 0.0),
        (tape, TAPE, 0.0),
    ]
    if not small:
        # A heart on the package (it holds something dear), and the hands on its rim.
        heart = union(circle(0.455, 0.80, 0.045), circle(0.545, 0.80, 0.045),
                      polygon([(0.415, 0.82), (0.585, 0.82), (0.5, 0.90)]))
        layers += [
            (heart, HEART, 0.0),
            (hand_left, SKIN, line),
            (hand_right, SKIN, line),
        ]
    return layers


def render(size, samples):
    """The picture as rows of (r, g, b, a) tuples, top row first."""
    layers = scene(size)
    step = 1.0 / (size * samples)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            red = green = blue = alpha = 0.0
            for sy in range(samples):
                y = (py * samples + sy + 0.5) * step
                for sx in range(samples):
                    x = (px * samples + sx + 0.5) * step
                    colour = None
                    for shape, fill, outline in layers:
                        d = shape(x, y)
                        if d < 0.0:
                            colour = fill
                        elif d < outline:
                            colour = INK
                    if colour is not None:
                        red += colour[0]
                        green += colour[1]
                        blue += colour[2]
                        alpha += 1.0
            if alpha == 0.0:
                row.append((0, 0, 0, 0))
            else:
                # Colour sums over covered samples only: straight (not premultiplied) alpha.
                row.append((round(red / alpha), round(green / alpha), round(blue / alpha),
                            round(255 * alpha / (samples * samples))))
        rows.append(row)
    return rows


# --- .ico writing and reading --------------------------------------------------------------

def dib(rows):
    """One icon image: BITMAPINFOHEADER, BGRA pixels and AND mask, both bottom-up."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            pixels += bytes((b, g, r, a))
            # Programs that ignore alpha show the masked pixels as transparent.
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def write_ico(path, images):
    entries = bytearray()
    data = bytearray()
    offset = 6 + 16 * len(images)
    for size, image in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image),
                               offset + len(data))
        data += image
    with open(path, "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, len(images)) + entries + data)


def read_png(blob):
    """Rows of (r, g, b, a) from an 8-bit RGBA PNG without row filters (as png_bytes writes)."""
    width, height, depth, colour_type = struct.unpack_from(">IIBB", blob, 16)
    if depth != 8 or colour_type != 6:
        raise ValueError("not an 8-bit RGBA PNG")
    at, data = 8, bytearray()
    while at < len(blob):
        length, kind = struct.unpack_from(">I4s", blob, at)
        if kind == b"IDAT":
            data += blob[at + 8:at + 8 + length]
        at += 12 + length
    raw = zlib.decompress(bytes(data))
    stride = 1 + 4 * width
    rows = []
    for y in range(height):
        line = raw[y * stride:(y + 1) * stride]
        if line[0] != 0:
            raise ValueError("PNG row filters are not read here")
        rows.append([tuple(line[1 + 4 * x:5 + 4 * x]) for x in range(width)])
    return rows


def read_ico(path):
    """The images of a 32-bit .ico as (size, rows of (r, g, b, a)), top row first."""
    with open(path, "rb") as file:
        blob = file.read()
    reserved, kind, count = struct.unpack_from("<HHH", blob, 0)
    if reserved != 0 or kind != 1:
        raise ValueError(path + " is not an icon file")
    images = []
    for i in range(count):
        _, _, _, _, _, bits, length, offset = struct.unpack_from("<BBBBHHII", blob, 6 + 16 * i)
        if blob[offset:offset + 8] == PNG_SIGNATURE:
            rows = read_png(blob[offset:offset + length])
            images.append((len(rows), rows))
            continue
        header_size, width, height2, _, bit_count = struct.unpack_from("<IiiHH", blob, offset)
        if bits != 32 or bit_count != 32 or height2 != 2 * width:
            raise ValueError("image %d is not a 32-bit square image" % i)
        pixels = offset + header_size
        rows = []
        for y in range(width):
            start = pixels + (width - 1 - y) * width * 4
            rows.append([(blob[p + 2], blob[p + 1], blob[p], blob[p + 3])
                         for p in range(start, start + width * 4, 4)])
        images.append((width, rows))
    return images


# --- PNG images and previews ---------------------------------------------------------------

def png_bytes(rows, with_alpha):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    channels = 4 if with_alpha else 3
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter type: none
        for pixel in row:
            raw += bytes(pixel[:channels])
    height, width = len(rows), len(rows[0])
    colour_type = 6 if with_alpha else 2
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (PNG_SIGNATURE + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def write_png(path, rows, with_alpha):
    with open(path, "wb") as out:
        out.write(png_bytes(rows, with_alpha))


def enlarged_on_checkerboard(rows, factor):
    """Nearest-neighbour enlargement over a grey checkerboard, to judge edges and transparency."""
    out = []
    for y, row in enumerate(rows):
        for sy in range(factor):
            line = []
            for x, (r, g, b, a) in enumerate(row):
                for sx in range(factor):
                    cell = ((x * factor + sx) // 8 + (y * factor + sy) // 8) % 2
                    back = 200 if cell else 245
                    line.append(tuple(round((c * a + back * (255 - a)) / 255) for c in (r, g, b)))
            out.append(line)
    return out


def write_previews(ico_path, folder):
    os.makedirs(folder, exist_ok=True)
    for size, rows in read_ico(ico_path):
        write_png(os.path.join(folder, "icon-%d.png" % size), rows, True)
        write_png(os.path.join(folder, "icon-%d-x%d.png" % (size, 384 // size)),
                  enlarged_on_checkerboard(rows, 384 // size), False)


def main(argv):
    args = argv[1:]
    options = dict(zip(args[1::2], args[2::2]))
    if len(args) % 2 != 1 or not set(options) <= {"--sizes", "--png-from", "--preview"}:
        sys.stderr.write(__doc__)
        return 2
    sizes = SIZES
    if "--sizes" in options:
        sizes = tuple(int(size) for size in options["--sizes"].split(","))
        if not set(sizes) <= set(SIZES):
            sys.stderr.write(__doc__)
            return 2
    png_from = int(options.get("--png-from", PNG_FROM))
    # More samples for the small sizes, where each pixel's coverage matters most.
    images = []
    for size in sizes:
        rows = render(size, 8 if size <= 16 else 5)
        images.append((size, png_bytes(rows, True) if size >= png_from else dib(rows)))
    os.makedirs(os.path.dirname(os.path.abspath(args[0])), exist_ok=True)
    write_ico(args[0], images)
    if "--preview" in options:
        write_previews(args[0], options["--preview"])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
