#!/usr/bin/env python3
"""xwd_to_png.py XWD PNG [X Y W H]: converts the screen that Xvfb keeps in
its -fbdir (an XWD file of 24 or 32 bits a pixel) to PNG, whole or the given
rectangle. The standard library only."""
import struct
import sys
import zlib


def read_xwd(path):
    data = open(path, "rb").read()
    header = struct.unpack(">25I", data[:100])
    header_size, width, height = header[0], header[4], header[5]
    byte_order, bits_per_pixel, bytes_per_line, ncolors = header[7], header[11], header[12], header[19]
    start = header_size + ncolors * 12
    if bits_per_pixel not in (24, 32):
        sys.exit("xwd_to_png: %d bits a pixel is not handled" % bits_per_pixel)
    step = bits_per_pixel // 8
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + y * bytes_per_line + width * step]
        row = bytearray(width * 3)
        for x in range(width):
            pixel = line[x * step:x * step + 3]
            # Least significant byte first: blue, green, red.
            b, g, r = (pixel[0], pixel[1], pixel[2]) if byte_order == 0 else (pixel[2], pixel[1], pixel[0])
            row[x * 3:x * 3 + 3] = bytes((r, g, b))
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, len(rows), 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def main():
    width, height, rows = read_xwd(sys.argv[1])
    if len(sys.argv) == 7:
        x, y, w, h = (int(v) for v in sys.argv[3:7])
        x, y = max(0, x), max(0, y)
        w, h = min(w, width - x), min(h, height - y)
        rows = [row[x * 3:(x + w) * 3] for row in rows[y:y + h]]
        width = w
    write_png(sys.argv[2], width, rows)


main()
