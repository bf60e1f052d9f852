#!/usr/bin/env python3
"""Converts a TrueColor or DirectColor xwd screenshot (xwd -root) whose pixels
take 24 or 32 bits to PNG with the standard library only:
xwd-to-png.py IN.xwd OUT.png"""
import struct
import sys
import zlib


def main(source, target):
    data = open(source, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask, ncolors = fields[14], fields[15], fields[16], fields[19]
    # The server may store a 24-bit pixel in three bytes or in four.
    step = bits_per_pixel // 8
    if bits_per_pixel not in (24, 32) or bytes_per_line < step * width:
        sys.exit("only images stored in 24- or 32-bit pixels are handled")
    pixels = data[header_size + 12 * ncolors:]
    order = "little" if byte_order == 0 else "big"

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        line = pixels[y * bytes_per_line:y * bytes_per_line + step * width]
        for x in range(0, step * width, step):
            value = int.from_bytes(line[x:x + step], order)
            rows += bytes(((value & red_mask) >> rs, (value & green_mask) >> gs, (value & blue_mask) >> bs))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 6)) + chunk(b"IEND", b"")
    open(target, "wb").write(png)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
