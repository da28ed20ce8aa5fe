"""Pictures read pixel by pixel: screenshots and rendered pages as binary PPM, the program's
exported stimuli as 1-bit BMP. Colours are (r, g, b) tuples of 0..255."""

import struct

from checks import CheckFailed


class Image:
    """A binary PPM (P6, maxval 255), as ImageMagick's import and poppler's pdftoppm write it."""

    def __init__(self, raw, path):
        self.path = path
        fields, pos = [], 2
        if raw[:2] != b"P6":
            raise CheckFailed(f"{path}: not a binary PPM")
        while len(fields) < 3:
            while raw[pos:pos + 1].isspace():
                pos += 1
            if raw[pos:pos + 1] == b"#":
                pos = raw.index(b"\n", pos) + 1
                continue
            start = pos
            while not raw[pos:pos + 1].isspace():
                pos += 1
            fields.append(int(raw[start:pos]))
        self.width, self.height, maxval = fields
        if maxval != 255:
            raise CheckFailed(f"{path}: maxval {maxval}")
        self.data = raw[pos + 1:]

    @classmethod
    def read(cls, path):
        with open(path, "rb") as f:
            return cls(f.read(), path)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def region(self, x, y, w, h):
        """The pixels of a rectangle, row by row, as (x, y, rgb)."""
        for yy in range(y, y + h):
            row = self.data[(yy * self.width + x) * 3:(yy * self.width + x + w) * 3]
            for i in range(w):
                yield x + i, yy, tuple(row[i * 3:i * 3 + 3])

    def colours(self, x, y, w, h):
        """{colour: number of pixels} of a rectangle."""
        counts = {}
        for _, _, c in self.region(x, y, w, h):
            counts[c] = counts.get(c, 0) + 1
        return counts


def bmp_pixel_offset(data):
    """Where the pixel rows of a BMP file's bytes begin: everything before is its headers and
    palette."""
    (offset,) = struct.unpack("<I", data[10:14])
    return offset


def parse_bmp_1bit(data, path="bitmap"):
    """A 1-bit BMP's bytes as rows of (r, g, b), top row first."""
    d = data
    if d[:2] != b"BM":
        raise CheckFailed(f"{path}: not a BMP")
    offset = bmp_pixel_offset(d)
    header, width, height, _, bits, compression = struct.unpack("<IiiHHI", d[14:34])
    if bits != 1 or compression != 0:
        raise CheckFailed(f"{path}: {bits} bits per pixel, compression {compression}; 1-bit expected")
    palette = [tuple(d[14 + header + 4 * i:14 + header + 4 * i + 3][::-1]) for i in range(2)]
    stride = (width + 31) // 32 * 4
    rows = []
    for r in range(abs(height)):
        row = d[offset + r * stride:offset + (r + 1) * stride]
        rows.append([palette[(row[x // 8] >> (7 - x % 8)) & 1] for x in range(width)])
    if height > 0:
        rows.reverse()  # stored bottom-up
    return rows


def read_bmp_1bit(path):
    """A 1-bit BMP file as rows of (r, g, b), top row first."""
    with open(path, "rb") as f:
        return parse_bmp_1bit(f.read(), path)


def ink_bands(rows):
    """(first row, last row, leftmost column, rightmost column) of each band of rows with ink
    (black pixels) in a picture read by parse_bmp_1bit: the lines of a text screen."""
    bands, band = [], None
    for y, row in enumerate(rows):
        ink = [x for x, c in enumerate(row) if c == (0, 0, 0)]
        if ink:
            band = [y, y, ink[0], ink[-1]] if band is None else \
                [band[0], y, min(band[2], ink[0]), max(band[3], ink[-1])]
        elif band:
            bands.append(tuple(band))
            band = None
    if band:
        bands.append(tuple(band))
    return bands


def differing_pixels(a, b):
    """How many pixels two pictures read by parse_bmp_1bit differ in."""
    return sum(x != y for ra, rb in zip(a, b) for x, y in zip(ra, rb))
