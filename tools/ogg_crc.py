"""The Ogg page checksum, shared by the tools that write Ogg pages: CRC-32,
polynomial 0x04C11DB7, most significant bit first, from 0, taken over the
whole page with its own checksum field as zeros."""


def crc(data):
    c = 0
    for b in data:
        c ^= b << 24
        for _ in range(8):
            c = ((c << 1) ^ 0x04C11DB7) if c & 0x80000000 else c << 1
            c &= 0xFFFFFFFF
    return c
