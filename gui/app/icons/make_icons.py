#!/usr/bin/env python3
"""Draws the tray program's two icons (16x16 and 32x32, 32-bit) and writes them as .ico files.

connected.ico (icon 130): a green disc with a white link bar; disconnected.ico (icon 145): a grey
disc with a broken bar. Run once; the .ico files are committed beside this script.
"""
import struct
import sys


def draw(size, connected):
    px = []
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    fill = (0x2E, 0xA0, 0x43) if connected else (0x8A, 0x8A, 0x8A)
    edge = (0x1B, 0x63, 0x28) if connected else (0x50, 0x50, 0x50)
    for y in range(size):
        row = []
        for x in range(size):
            d = ((x - c) ** 2 + (y - c) ** 2) ** 0.5
            if d > r:
                row.append((0, 0, 0, 0))
                continue
            rgb = edge if d > r - max(1, size / 16) else fill
            # A horizontal bar through the middle: whole when connected, gapped when not.
            bar_h = max(2, size // 6)
            in_bar = abs(y - c) < bar_h / 2.0 and abs(x - c) < r * 0.62
            gap = (not connected) and abs(x - c) < max(1, size / 10)
            if in_bar and not gap:
                rgb = (0xFF, 0xFF, 0xFF)
            row.append(rgb + (0xFF,))
        px.append(row)
    return px


def bmp_entry(size, connected):
    px = draw(size, connected)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes((b, g, r, a)) for row in reversed(px) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b''
    for row in reversed(px):
        bits = 0
        out = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                out[x // 8] |= 0x80 >> (x % 8)
        and_mask += bytes(out)
    return header + xor + and_mask


def write_ico(path, connected):
    sizes = [16, 32]
    images = [bmp_entry(s, connected) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    folder = sys.argv[1] if len(sys.argv) > 1 else '.'
    write_ico(folder + '/connected.ico', True)
    write_ico(folder + '/disconnected.ico', False)
