#!/usr/bin/env python3
"""The pixels of a PNG file, with no library beyond Python's own; compares two PNG files.

Usage: pngpixels.py A.png B.png
Exits 0 when both hold the same pixels, else 1 with how many differ."""

import struct
import sys
import zlib


def decode_png(data):
    """RGBA bytes of an 8-bit, non-interlaced RGB or RGBA PNG."""
    assert data[:8] == b'\x89PNG\r\n\x1a\n', 'not a PNG'
    pos, idat = 8, b''
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            width, height, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, 'unexpected PNG format'
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    channels = 4 if colour == 6 else 3
    raw, row_bytes = zlib.decompress(idat), width * channels
    out, previous = bytearray(), bytearray(row_bytes)
    for y in range(height):
        kind, row = raw[y * (row_bytes + 1)], bytearray(raw[y * (row_bytes + 1) + 1:(y + 1) * (row_bytes + 1)])
        for i in range(row_bytes):
            left = row[i - channels] if i >= channels else 0
            up, up_left = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + left) & 255
            elif kind == 2:
                row[i] = (row[i] + up) & 255
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - up_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - up_left)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else up_left)) & 255
        previous = row
        if channels == 4:
            out += row
        else:
            for x in range(width):
                out += row[x * 3:x * 3 + 3] + b'\xff'
    return width, height, bytes(out)


def main():
    with open(sys.argv[1], 'rb') as a, open(sys.argv[2], 'rb') as b:
        first, second = decode_png(a.read()), decode_png(b.read())
    if first[:2] != second[:2]:
        print(f'{sys.argv[1]} is {first[0]} x {first[1]}, {sys.argv[2]} {second[0]} x {second[1]}')
        return 1
    differ = sum(1 for i in range(0, len(first[2]), 4) if first[2][i:i + 4] != second[2][i:i + 4])
    if differ:
        print(f'{differ} pixels differ between {sys.argv[1]} and {sys.argv[2]}')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
