#!/usr/bin/env python3
"""Draws the programs' icons on a round disc as 16-colour .ico files with a
32x32 and a 16x16 image:
  tools/make_icon.py player/res/tavolin.ico [note|key|pad]
note: the player's quaver on blue; key: the key mapper's key cap on green;
pad: the joystick mapper's stick on red."""
import struct, sys

# The standard 16-colour palette (R, G, B).
PALETTE = [(0,0,0),(128,0,0),(0,128,0),(128,128,0),(0,0,128),(128,0,128),
           (0,128,128),(192,192,192),(128,128,128),(255,0,0),(0,255,0),
           (255,255,0),(0,0,255),(255,0,255),(0,255,255),(255,255,255)]
BLACK, NAVY, GREY, BLUE, CYAN, WHITE = 0, 4, 8, 12, 14, 15
TRANSPARENT = None

RED, GREEN, DARKRED, DARKGREEN, YELLOW = 9, 10, 1, 2, 11
DISCS = {'note': (CYAN, BLUE, NAVY), 'key': (GREEN, DARKGREEN, BLACK), 'pad': (YELLOW, RED, DARKRED)}

def draw(n, glyph='note'):
    s = n / 32.0
    light, dark, rim = DISCS[glyph]
    img = [[TRANSPARENT] * n for _ in range(n)]
    c, r = (n - 1) / 2.0, n / 2.0 - 0.5
    for y in range(n):
        for x in range(n):
            d = ((x - c) ** 2 + (y - c) ** 2) ** 0.5
            if d <= r - 1.2 * s:
                img[y][x] = light if (x + y) < n * 0.7 else dark
            elif d <= r:
                img[y][x] = rim
    def box(x0, y0, x1, y1, col):
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                img[y][x] = col
    if glyph == 'key':
        # A key cap with a letter bar.
        box(8, 9, 24, 23, WHITE)
        box(8, 21, 24, 24, GREY)
        box(13, 13, 19, 15, BLACK)
        box(15, 13, 17, 19, BLACK)
        return img
    if glyph == 'pad':
        # A stick on its base, with a button.
        box(9, 20, 23, 25, WHITE)
        box(15, 9, 17, 21, WHITE)
        for y in range(n):
            for x in range(n):
                if (x / s - 16) ** 2 + (y / s - 9) ** 2 <= 10:
                    img[y][x] = WHITE
        box(19, 21, 22, 23, RED)
        return img
    # A quaver: head, stem and flag.
    for y in range(n):
        for x in range(n):
            if ((x / s - 13) ** 2) / 25 + ((y / s - 22) ** 2) / 12 <= 1:
                img[y][x] = WHITE
    box(16.5, 7, 18.5, 22, WHITE)
    box(18, 7, 23, 9.5, WHITE)
    box(21, 9, 23, 13, WHITE)
    return img

def bitmap(n, glyph):
    img = draw(n, glyph)
    header = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor, andm = b'', b''
    rowx, rowa = ((n * 4 + 31) // 32) * 4, ((n + 31) // 32) * 4
    for y in range(n - 1, -1, -1):
        bits = bytearray(rowx)
        mask = bytearray(rowa)
        for x in range(n):
            v = img[y][x]
            if v is None:
                mask[x // 8] |= 0x80 >> (x % 8)
                v = 0
            bits[x // 2] |= v << (4 if x % 2 == 0 else 0)
        xor += bytes(bits)
        andm += bytes(mask)
    return header + pal + xor + andm

def main(path, glyph='note'):
    images = [(32, bitmap(32, glyph)), (16, bitmap(16, glyph))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in images:
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(d for _, d in images)
    with open(path, 'wb') as f:
        f.write(out)

if __name__ == '__main__':
    main(sys.argv[1], *sys.argv[2:3])
