"""The 8-bit PNG pictures the checks with outside tools compare: screenshots
and charlib-cli's atlas pages."""

import struct
import zlib


def read_png(path):
    """Width, height, channels and the rows' bytes, the filters undone."""
    with open(path, "rb") as f:
        data = f.read()
    at, packed = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        chunk = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", chunk[:10])
            assert depth == 8, "8-bit pictures"
            step = {0: 1, 2: 3, 4: 2, 6: 4}[colour]
        elif kind == b"IDAT":
            packed += chunk
        at += 12 + length
    raw, stride, rows, above = zlib.decompress(packed), width * step, [], bytearray(width * step)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride if kind else 0):
            a = line[x - step] if x >= step else 0
            b, c = above[x], above[x - step] if x >= step else 0
            if kind == 4:  # Paeth: the neighbour nearest a + b - c
                p = a + b - c
                a = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c
            line[x] = (line[x] + (0, a, b, (a + b) // 2, a)[kind]) & 255
        rows.append(bytes(line))
        above = line
    return width, height, step, rows
