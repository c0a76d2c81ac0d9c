#!/usr/bin/env python3
"""Turns an X window dump (xwd, TrueColor ZPixmap) into a PNG, optionally cropped.
Usage: xwd2png.py IN.xwd OUT.png [LEFT TOP WIDTH HEIGHT]
       xwd2png.py --closest X Y R G B OUT.png IN.xwd...   (the dump whose pixel at X, Y comes
       closest to the colour R G B)"""
import struct
import sys
import zlib


def read_xwd(path):
    with open(path, "rb") as f:
        data = f.read()
    header_size = struct.unpack(">I", data[:4])[0]
    fields = struct.unpack(">25I", data[:100])
    (_, version, pixmap_format, depth, width, height, _, byte_order, _, _, _, bits_per_pixel,
     bytes_per_line, visual_class, red_mask, green_mask, blue_mask, _, _, ncolors) = fields[:20]
    if version != 7 or pixmap_format != 2 or bits_per_pixel not in (24, 32):
        raise SystemExit("only 24/32-bit ZPixmap dumps are handled")
    offset = header_size + ncolors * 12
    step = bits_per_pixel // 8

    def shift(mask):
        s = 0
        while mask and not mask & 1:
            mask >>= 1
            s += 1
        return s

    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    rows = []
    for y in range(height):
        line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        out = bytearray()
        for x in range(width):
            px = line[x * step:(x + 1) * step]
            value = int.from_bytes(px, "little" if byte_order == 0 else "big")
            out += bytes(((value & red_mask) >> rs, (value & green_mask) >> gs, (value & blue_mask) >> bs))
        rows.append(bytes(out))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + row for row in rows)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    if sys.argv[1] == "--closest":
        x, y, r, g, b = (int(v) for v in sys.argv[2:7])
        best = None
        for path in sys.argv[8:]:
            width, height, rows = read_xwd(path)
            pr, pg, pb = rows[y][x * 3:x * 3 + 3]
            distance = abs(pr - r) + abs(pg - g) + abs(pb - b)
            if best is None or distance < best[0]:
                best = (distance, width, height, rows)
        write_png(sys.argv[7], best[1], best[2], best[3])
        return
    width, height, rows = read_xwd(sys.argv[1])
    if len(sys.argv) == 7:
        left, top, w, h = (int(v) for v in sys.argv[3:7])
        left, top = max(0, left), max(0, top)
        w, h = min(w, width - left), min(h, height - top)
        rows = [row[left * 3:(left + w) * 3] for row in rows[top:top + h]]
        width, height = w, h
    write_png(sys.argv[2], width, height, rows)


if __name__ == "__main__":
    main()
