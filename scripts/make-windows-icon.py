#!/usr/bin/env python3
"""Writes src/ui/win32/mirutone.ico from packaging/mirutone.xpm: the same
picture as a 16-colour Windows icon, 32 by 32 and 16 by 16 (every other
pixel). Run again after changing the XPM:
    python3 scripts/make-windows-icon.py
"""
import pathlib
import re
import struct

ROOT = pathlib.Path(__file__).resolve().parent.parent
# The 16 colours of the standard Windows palette, in its order.
PALETTE = [0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
           0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF]


def read_xpm(path):
    strings = re.findall(r'"([^"]*)"', path.read_text())
    width, height, ncolors, cpp = map(int, strings[0].split())
    colours = {}
    for line in strings[1:1 + ncolors]:
        key, rest = line[:cpp], line[cpp:].split()
        value = rest[rest.index("c") + 1]
        colours[key] = None if value.lower() == "none" else PALETTE.index(int(value[1:], 16))
    rows = strings[1 + ncolors:1 + ncolors + height]
    return [[colours[row[x * cpp:(x + 1) * cpp]] for x in range(width)] for row in rows]


def image(pixels):
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0) for c in PALETTE)
    xor = b""
    mask = b""
    for row in reversed(pixels):  # bottom-up
        nibbles = [0 if p is None else p for p in row]
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += line + b"\0" * (-len(line) % 4)
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p is None else 0)
        line = bits.to_bytes(size // 8, "big")
        mask += line + b"\0" * (-len(line) % 4)
    return header + palette + xor + mask


def main():
    big = read_xpm(ROOT / "packaging" / "mirutone.xpm")
    small = [row[::2] for row in big[::2]]
    images = [(32, image(big)), (16, image(small))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    (ROOT / "src" / "ui" / "win32" / "mirutone.ico").write_bytes(out)


if __name__ == "__main__":
    main()
