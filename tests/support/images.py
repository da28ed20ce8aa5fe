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


def read_bmp_1bit(path):
    """A 1-bit BMP as rows of (r, g, b), top row first."""
    with open(path, "rb") as f:
        d = f.read()
    if d[:2] != b"BM":
        raise CheckFailed(f"{path}: not a BMP")
    (offset,) = struct.unpack("<I", d[10:14])
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
