#!/usr/bin/env python3
"""Rewrites one codebook of an Ogg Vorbis file from lookup type 1 to lookup
type 2, keeping every vector it yields, so the file decodes to the same PCM:
    tools/ogg-lookup2.py IN.ogg OUT.ogg
libvorbis's encoder only writes lookup type 1 (a lattice: lookup1_values
multiplicands, the vector of entry e taking (e / v^d) mod v in dimension d),
so no encoded file has type 2, where every entry lists its own dimensions
multiplicands (entries x dimensions of them). The rewritten file lets a test
check that the setup weigher reads type 2 as libvorbis does: reading only
`entries` multiplicands would lose its place in the header at once.

IN must hold one logical stream. The first codebook of lookup type 1 and at
least two dimensions is rewritten; every bit of the setup header after it
is copied as it was. The comment and setup headers are packed into pages
anew, and the audio pages that follow renumbered if the page count moved."""
import struct, sys

from ogg_crc import crc

SYNC = 0x564342


def fail(message):
    sys.exit(f"ogg-lookup2: {message}")


class Reader:
    """Vorbis packs fields from the least significant bit of each byte, which
    is bit order of the packet read as one little-endian integer."""

    def __init__(self, packet, at=0):
        self.n = int.from_bytes(packet, "little")
        self.size = len(packet) * 8
        self.at = at

    def read(self, bits):
        if self.at + bits > self.size:
            fail("setup header ends inside a codebook")
        v = (self.n >> self.at) & ((1 << bits) - 1)
        self.at += bits
        return v


def lookup1_values(entries, dim):
    """The largest v with v^dim <= entries."""
    v = max(1, int(round(entries ** (1.0 / dim))))
    while (v + 1) ** dim <= entries:
        v += 1
    while v > 1 and v ** dim > entries:
        v -= 1
    return v


def read_book(r):
    """A codebook's fields, and where its lookup type and its end are."""
    start = r.at
    if r.read(24) != SYNC:
        fail(f"no codebook sync at bit {start}")
    book = {"start": start, "dim": r.read(16), "entries": r.read(24)}
    entries = book["entries"]
    if r.read(1):  # ordered: runs of words one bit longer each
        r.read(5)
        done = 0
        while done < entries:
            done += r.read((entries - done).bit_length())
        if done > entries:
            fail("ordered codebook overruns its entries")
    else:
        sparse = r.read(1)
        for _ in range(entries):
            if not sparse or r.read(1):
                r.read(5)
    book["lookup_at"] = r.at
    book["lookup"] = r.read(4)
    if book["lookup"] in (1, 2):
        book["minimum"], book["delta"] = r.read(32), r.read(32)
        book["bits"] = r.read(4) + 1
        book["sequence"] = r.read(1)
        book["values_at"] = r.at
        if book["lookup"] == 1:
            count = lookup1_values(entries, book["dim"]) if book["dim"] else 0
        else:
            count = entries * book["dim"]
        book["values"] = [r.read(book["bits"]) for _ in range(count)]
    elif book["lookup"]:
        fail(f"codebook at bit {start} has lookup type {book['lookup']}")
    book["end"] = r.at
    return book


def read_books(setup):
    r = Reader(setup, 56)  # past "\x05vorbis"
    return [read_book(r) for _ in range(r.read(8) + 1)]


def as_lookup2(book):
    """The fields from the lookup type on, as type 2 yielding the same
    vectors; and the bit count they take."""
    v, dim, bits = len(book["values"]), book["dim"], book["bits"]
    fields = [(2, 4), (book["minimum"], 32), (book["delta"], 32), (bits - 1, 4), (book["sequence"], 1)]
    for e in range(book["entries"]):
        fields += [(book["values"][(e // v ** d) % v], bits) for d in range(dim)]
    n, at = 0, 0
    for value, width in fields:
        n |= value << at
        at += width
    return n, at


def rewrite(setup):
    books = read_books(setup)
    pick = next((i for i, b in enumerate(books) if b["lookup"] == 1 and b["dim"] >= 2), None)
    if pick is None:
        fail("no codebook of lookup type 1 with two or more dimensions")
    book = books[pick]
    old = int.from_bytes(setup, "little")
    fields, width = as_lookup2(book)
    head = old & ((1 << book["lookup_at"]) - 1)
    tail = old >> book["end"]
    new = head | fields << book["lookup_at"] | tail << (book["lookup_at"] + width)
    # The framing bit is the packet's last set bit; what followed it was padding.
    return new.to_bytes((new.bit_length() + 7) // 8, "little"), pick, book


def read_pages(data):
    pages, at = [], 0
    while at < len(data):
        if data[at:at + 4] != b"OggS" or at + 27 > len(data):
            fail(f"no Ogg page at byte {at}")
        _, flags, granule, serial, seq, _, count = struct.unpack_from("<BBqIIIB", data, at + 4)
        lacing = data[at + 27:at + 27 + count]
        body_at = at + 27 + count
        body = data[body_at:body_at + sum(lacing)]
        pages.append({"flags": flags, "granule": granule, "serial": serial, "seq": seq,
                      "lacing": lacing, "body": body})
        at = body_at + sum(lacing)
    if len({p["serial"] for p in pages}) != 1:
        fail("more than one logical stream")
    return pages


def page_bytes(flags, granule, serial, seq, lacing, body):
    head = b"OggS" + struct.pack("<BBqIIIB", 0, flags, granule, serial, seq, 0, len(lacing)) + bytes(lacing)
    c = crc(head + body)
    return head[:22] + struct.pack("<I", c) + head[26:] + body


def header_packets(pages):
    """The first three packets, and the index of the page each ends on."""
    packets, ends, part = [], [], b""
    for i, p in enumerate(pages):
        at = 0
        for k, n in enumerate(p["lacing"]):
            part += p["body"][at:at + n]
            at += n
            if n < 255:
                packets.append(part)
                ends.append(i)
                part = b""
                if len(packets) == 3:
                    if k + 1 != len(p["lacing"]):
                        fail("audio begins on the setup header's last page")
                    return packets, ends
    fail("fewer than three header packets")


def pack(packets, serial, first_seq):
    """Packets laid into pages of at most 255 lacing values; a page on which
    no packet ends carries granule position -1."""
    lacing, body = [], b""
    for p in packets:
        lacing += [255] * (len(p) // 255) + [len(p) % 255]
        body += p
    out, seq, continued = [], first_seq, False
    while lacing:
        take, lacing = lacing[:255], lacing[255:]
        size = sum(take)
        chunk, body = body[:size], body[size:]
        ends = any(n < 255 for n in take)
        out.append(page_bytes(1 if continued else 0, 0 if ends else -1, serial, seq, take, chunk))
        continued = take[-1] == 255
        seq += 1
    return out


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: ogg-lookup2.py IN.ogg OUT.ogg")
    with open(sys.argv[1], "rb") as f:
        pages = read_pages(f.read())
    packets, ends = header_packets(pages)
    ident, comment, setup = packets
    if ident[:7] != b"\x01vorbis" or comment[:7] != b"\x03vorbis" or setup[:7] != b"\x05vorbis":
        fail("not a Vorbis stream")
    if ends[0] != 0 or len(pages[0]["lacing"]) != 1:
        fail("the identification header does not have the first page to itself")
    new_setup, pick, book = rewrite(setup)

    serial = pages[0]["serial"]
    first = pages[0]
    out = [page_bytes(first["flags"], first["granule"], serial, first["seq"], first["lacing"], first["body"])]
    out += pack([comment, new_setup], serial, first["seq"] + 1)
    shift = len(out) - (ends[2] + 1)
    for p in pages[ends[2] + 1:]:
        out.append(page_bytes(p["flags"], p["granule"], serial, (p["seq"] + shift) & 0xFFFFFFFF,
                              p["lacing"], p["body"]))
    data = b"".join(out)
    with open(sys.argv[2], "wb") as f:
        f.write(data)

    # Read the written file back: the book must now be type 2, and reading
    # its multiplicands as just `entries` must lose the way.
    pages = read_pages(data)
    packets, _ = header_packets(pages)
    books = read_books(packets[2])
    again = books[pick]
    assert again["lookup"] == 2 and len(again["values"]) == book["entries"] * book["dim"]
    assert [b["end"] - b["start"] for b in books[pick + 1:]] == \
           [b["end"] - b["start"] for b in read_books(setup)[pick + 1:]]
    r = Reader(packets[2], again["values_at"] + again["bits"] * again["entries"])
    wrong = r.read(24)
    v = len(book["values"])
    print(f"book {pick} of {len(books)}: {book['entries']} entries, {book['dim']} dimensions, "
          f"v = {v}, {book['bits']} value bits: {v} multiplicands -> {len(again['values'])}")
    print(f"setup header {len(setup)} -> {len(packets[2])} bytes, "
          f"header pages {ends[2] + 1} -> {ends[2] + 1 + shift}, {sys.argv[2]}: {len(data)} bytes")
    next_what = "next codebook's sync" if pick + 1 < len(books) else "bits after the last codebook"
    print(f"with only `entries` multiplicands the {next_what} reads 0x{wrong:06x}"
          f"{' (the sync is 0x564342)' if pick + 1 < len(books) else ''}")


main()
