#!/usr/bin/env python3
"""Packs the icon PNGs the icon tool draws (farvane-16.png ... farvane-256.png) into one Windows
.ico file, each size stored as its PNG. The Windows program's icon, windows/farvane.ico, is made so:

    cmake --build build --target farvane-icons
    tools/windowsicon/packico.py build/tools/drawicon/icons windows/farvane.ico"""

import os
import struct
import sys

SIZES = (16, 24, 32, 48, 64, 128, 256)


def main(folder, target):
    images = []
    for size in SIZES:
        with open(os.path.join(folder, f'farvane-{size}.png'), 'rb') as png:
            images.append((size, png.read()))
    header = struct.pack('<HHH', 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, data = b'', b''
    for size, png in images:
        side = size % 256  # 0 stands for 256
        entries += struct.pack('<BBBBHHII', side, side, 0, 0, 1, 32, len(png), offset + len(data))
        data += png
    with open(target, 'wb') as ico:
        ico.write(header + entries + data)


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
