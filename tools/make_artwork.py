#!/usr/bin/env python3
"""Draws the program's artwork: the 400 x 300 splash bitmap (24 bits), the application
icon (32, 16 and 48 pixels, 32 bits with alpha) and the hand cursor over links (32 x 32,
monochrome). Usage: make_artwork.py OUTPUT_FOLDER"""
import math
import os
import struct
import sys


def disc(x, y, cx, cy, r):
    """Shade of a stylised disc at (x, y): 0 outside, otherwise a value for the ring."""
    d = math.hypot(x - cx, y - cy)
    if d > r or d < r * 0.12:
        return None
    angle = math.atan2(y - cy, x - cx)
    return d / r, angle


def splash_pixel(x, y):
    # Deep blue to teal background.
    t = y / 299.0
    r, g, b = int(16 + 20 * t), int(40 + 60 * t), int(90 + 70 * t)
    hit = disc(x, y, 300, 150, 110)
    if hit:
        d, a = hit
        shine = 0.5 + 0.5 * math.sin(a * 3 + d * 9)
        r = int(150 + 90 * shine)
        g = int(160 + 80 * (1 - d))
        b = int(190 + 60 * shine * d)
        if abs(d - 0.3) < 0.02:
            r = g = b = 235
    # A bar for the product name area.
    if 200 <= y <= 250 and 20 <= x <= 170:
        r, g, b = 240, 240, 245
        if 215 <= y <= 235 and 30 <= x <= 160 and (x // 6) % 2 == 0:
            r, g, b = 45, 62, 81
    return min(r, 255), min(g, 255), min(b, 255)


def write_bmp(path, width, height, pixel):
    row = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        line += b"\0" * (row - width * 3)
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def icon_image(size):
    pixels = bytearray()
    c = (size - 1) / 2.0
    for y in range(size - 1, -1, -1):
        for x in range(size):
            hit = disc(x, y, c, c, size / 2.0 - 0.5)
            if hit:
                d, a = hit
                shine = 0.5 + 0.5 * math.sin(a * 3 + d * 9)
                pixels += bytes((int(200 + 50 * shine), int(150 + 80 * (1 - d)), int(60 + 90 * shine), 255))
            else:
                pixels += bytes((0, 0, 0, 0))
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + mask


def write_ico(path, sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


# The pointing hand: "#" outline, "." fill, anything else transparent. The hot spot is the
# tip of the finger.
HAND = [
    "     ##",
    "    #..#",
    "    #..#",
    "    #..#",
    "    #..#",
    "    #..###",
    "    #..#..##",
    "    #..#..#.##",
    " ## #..#..#..#",
    "#..##........#",
    "#...#........#",
    " #...........#",
    "  #..........#",
    "  #..........#",
    "   #.........#",
    "   #........#",
    "    #.......#",
    "    #......#",
    "     #.....#",
    "     #######",
]
HAND_HOTSPOT = (5, 0)


def write_cur(path):
    size = 32
    row = size // 8
    xor = bytearray()
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        line = HAND[y] if y < len(HAND) else ""
        xbits = mbits = 0
        for x in range(size):
            c = line[x] if x < len(line) else " "
            xbits = (xbits << 1) | (1 if c == "." else 0)
            mbits = (mbits << 1) | (0 if c in "#." else 1)
        xor += xbits.to_bytes(row, "big")
        mask += mbits.to_bytes(row, "big")
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, len(xor) + len(mask), 0, 0, 2, 0)
    image = header + palette + bytes(xor) + bytes(mask)
    out = struct.pack("<HHH", 0, 2, 1)
    out += struct.pack("<BBBBHHII", size, size, 2, 0, HAND_HOTSPOT[0], HAND_HOTSPOT[1], len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(out + image)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    write_bmp(os.path.join(folder, "splash.bmp"), 400, 300, splash_pixel)
    write_ico(os.path.join(folder, "OrdaviaStudio.ico"), [32, 16, 48])
    write_cur(os.path.join(folder, "hand.cur"))


if __name__ == "__main__":
    main()
