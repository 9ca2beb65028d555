#!/usr/bin/env python3
"""Draws the console's icon: a barcode crossed by a red scan line, 32x32 and
16x16 pixels, 16 colours (the standard VGA palette), written as one .ico."""
import struct
import sys

PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, DARK_BLUE, GREY, RED, WHITE = 0, 4, 8, 9, 15
BARS = [1, 0, 1, 1, 0, 1, 0, 0, 1, 1, 1, 0, 1, 0, 1, 1, 0, 0, 1, 0, 1, 1, 0, 1]


def draw(size):
    """Rows top to bottom of palette indices; None is transparent."""
    px = [[None] * size for _ in range(size)]
    m = size // 16  # 1 for 16x16, 2 for 32x32
    # White label with a dark blue border.
    for y in range(2 * m, size - 2 * m):
        for x in range(m, size - m):
            edge = y in (2 * m, size - 2 * m - 1) or x in (m, size - m - 1)
            px[y][x] = DARK_BLUE if edge else WHITE
    # Bars.
    left, right = 2 * m, size - 2 * m
    for x in range(left, right):
        bar = BARS[(x - left) * len(BARS) // (right - left)]
        for y in range(4 * m, size - 5 * m):
            if bar:
                px[y][x] = BLACK
    # Digits line under the bars.
    for x in range(3 * m, size - 3 * m, 2):
        px[size - 4 * m][x] = GREY
    # The red scan line.
    for x in range(0, size):
        for t in range(m):
            px[size // 2 + t][x] = RED
    return px


def image(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(px):  # bottom-up
        nibbles = [0 if c is None else c for c in row]
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor_rows.append(data + b'\0' * (-len(data) % 4))
        bits = 0
        mask = bytearray()
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b'\0' * (-len(mask) % 4))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def main(path):
    images = [image(32), image(16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1])
