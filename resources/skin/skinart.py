"""Small pixel-art toolkit for drawing skin bitmaps: a canvas of RGB pixels,
crisp shapes (no smoothing, pixel centres decide), and a BMP writer for 24-bit
and 8-bit palette files. Used by make-skin.py and by the test fixtures."""
import struct

MAGENTA = (255, 0, 255)


def hexrgb(text):
    text = text.lstrip("#")
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


class Canvas:
    def __init__(self, w, h, fill=MAGENTA):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def get(self, x, y):
        return self.px[y][x]

    def rect(self, x1, y1, x2, y2, c):
        """Fills x1..x2, y1..y2 inclusive."""
        for y in range(y1, y2 + 1):
            for x in range(x1, x2 + 1):
                self.set(x, y, c)

    def round_rect(self, x1, y1, x2, y2, c):
        self.rect(x1, y1, x2, y2, c)
        for x, y in ((x1, y1), (x2, y1), (x1, y2), (x2, y2)):
            self.set(x, y, MAGENTA)

    def polygon(self, pts, c, dx=0, dy=0):
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]
        for y in range(int(min(ys)) - 1, int(max(ys)) + 2):
            for x in range(int(min(xs)) - 1, int(max(xs)) + 2):
                if inside(pts, x + 0.5, y + 0.5):
                    self.set(x + dx, y + dy, c)

    def blit(self, other, ox, oy):
        for y in range(other.h):
            for x in range(other.w):
                self.set(ox + x, oy + y, other.px[y][x])

    def vgradient(self, x1, y1, x2, y2, top, bottom):
        for y in range(y1, y2 + 1):
            t = 0 if y2 == y1 else (y - y1) / (y2 - y1)
            c = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
            self.rect(x1, y, x2, y, c)


def inside(pts, x, y):
    n, hit = len(pts), False
    for i in range(n):
        (x1, y1), (x2, y2) = pts[i], pts[(i + 1) % n]
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            hit = not hit
    return hit


def bmp24(canvas):
    row = (canvas.w * 3 + 3) & ~3
    data = bytearray()
    for y in range(canvas.h - 1, -1, -1):
        line = bytearray()
        for r, g, b in canvas.px[y]:
            line += bytes((b, g, r))
        data += line + bytes(row - len(line))
    return header(canvas, 24, len(data), 0) + data


def bmp8(canvas):
    """8-bit palette BMP (at most 256 colours)."""
    palette = sorted({c for line in canvas.px for c in line})
    assert len(palette) <= 256, "too many colours for an 8-bit bitmap"
    index = {c: i for i, c in enumerate(palette)}
    row = (canvas.w + 3) & ~3
    data = bytearray()
    for y in range(canvas.h - 1, -1, -1):
        line = bytes(index[c] for c in canvas.px[y])
        data += line + bytes(row - len(line))
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header(canvas, 8, len(data), len(palette)) + pal + data


def header(canvas, bits, size, colours):
    offset = 14 + 40 + colours * 4
    return (b"BM" + struct.pack("<IHHI", offset + size, 0, 0, offset) +
            struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, bits, 0, size, 2835, 2835, colours, 0))


# Seven-segment digits in a 6 x 11 box: segments a b c d e f g.
SEGMENTS = {
    "0": "abcdef", "1": "bc", "2": "abdeg", "3": "abcdg", "4": "bcfg",
    "5": "acdfg", "6": "acdefg", "7": "abc", "8": "abcdefg", "9": "abcdfg",
}


def digit(canvas, ox, ch, colour):
    """Draws one character of the time display into the 9 x 11 cell at ox,
    leaving column 0-1 and row 1's left free (the key colour sits at (1, 1))."""
    x0 = ox + 2
    if ch == ":":
        canvas.rect(ox + 4, 3, ox + 5, 4, colour)
        canvas.rect(ox + 4, 7, ox + 5, 8, colour)
        return
    seg = SEGMENTS[ch]
    parts = {
        "a": (1, 0, 4, 0), "g": (1, 5, 4, 5), "d": (1, 10, 4, 10),
        "f": (0, 1, 0, 4), "b": (5, 1, 5, 4), "e": (0, 6, 0, 9), "c": (5, 6, 5, 9),
    }
    for s in seg:
        x1, y1, x2, y2 = parts[s]
        canvas.rect(x0 + x1, y1, x0 + x2, y2, colour)


def digits_strip(colour, background=(0, 0, 0)):
    c = Canvas(108, 11, background)
    for i, ch in enumerate("0123456789:"):
        digit(c, i * 9, ch, colour)
    return c
