#!/usr/bin/env python3
"""Turns an X window dump (xwd) of a true-colour screen into a PNG, with the standard library
only, so a failed end-to-end run leaves a picture that any viewer opens.

    xwd_to_png.py DUMP.xwd OUT.png
"""
import struct
import sys
import zlib

HEADER_FIELDS = 25


def channel(pixel, mask):
    if mask == 0:
        return 0
    shift = (mask & -mask).bit_length() - 1
    top = mask >> shift
    return ((pixel & mask) >> shift) * 255 // top


def convert(dump, out):
    with open(dump, "rb") as f:
        data = f.read()
    fields = struct.unpack(">%dI" % HEADER_FIELDS, data[: HEADER_FIELDS * 4])
    header_size, version = fields[0], fields[1]
    width, height = fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    colours = fields[19]
    if version != 7 or bits_per_pixel not in (24, 32):
        raise SystemExit("%s: only true-colour dumps of 24 or 32 bits per pixel" % dump)
    start = header_size + colours * 12
    step = bits_per_pixel // 8
    endian = "little" if byte_order == 0 else "big"
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        line = data[start + y * bytes_per_line : start + (y + 1) * bytes_per_line]
        for x in range(width):
            pixel = int.from_bytes(line[x * step : (x + 1) * step], endian)
            rows += bytes(
                (channel(pixel, red_mask), channel(pixel, green_mask), channel(pixel, blue_mask))
            )

    def chunk(kind, body):
        return (
            struct.pack(">I", len(body))
            + kind
            + body
            + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
        )

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 6))
    png += chunk(b"IEND", b"")
    with open(out, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit("usage: xwd_to_png.py DUMP.xwd OUT.png")
    convert(sys.argv[1], sys.argv[2])
