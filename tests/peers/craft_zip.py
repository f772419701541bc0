#!/usr/bin/env python3
"""Writes a ZIP archive byte for byte from a manifest: any name, Store or
Deflate, traditional encryption with a header drawn from a fixed seed (so
a wrong password fails the same way on every run), the sizes and CRC in a
data descriptor or in the local header.

    craft_zip.py MANIFEST ARCHIVE

Manifest lines: name_hex|- data_file method p<password_hex>|- descriptor(0|1) seed
"""
import sys, struct, zlib, random
manifest, archive = sys.argv[1], sys.argv[2]

def crc_step(c, b):
    return zlib.crc32(bytes([b]), c ^ 0xFFFFFFFF) ^ 0xFFFFFFFF

class Keys:
    def __init__(self, password):
        self.k = [0x12345678, 0x23456789, 0x34567890]
        for b in password:
            self.update(b)
    def update(self, b):
        k = self.k
        k[0] = crc_step(k[0], b)
        k[1] = ((k[1] + (k[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k[2] = crc_step(k[2], (k[1] >> 24) & 0xFF)
    def encrypt(self, data):
        out = bytearray()
        for b in data:
            t = (self.k[2] | 2) & 0xFFFF
            out.append(b ^ (((t * (t ^ 1)) >> 8) & 0xFF))
            self.update(b)
        return bytes(out)

DOS_TIME, DOS_DATE = 0x6B2A, 0x5A21
local, central = bytearray(), bytearray()
count = 0
for line in open(manifest):
    fields = line.split()
    if not fields:
        continue
    name = bytes.fromhex(fields[0]) if fields[0] != "-" else b""
    data = open(fields[1], "rb").read()
    method, password, descriptor, seed = int(fields[2]), fields[3], fields[4] == "1", int(fields[5])
    crc = zlib.crc32(data) & 0xFFFFFFFF
    if method == 8:
        c = zlib.compressobj(6, zlib.DEFLATED, -15)
        body = c.compress(data) + c.flush()
    else:
        body = data
    flags = 0
    if password != "-":
        flags |= 1
        rnd = random.Random(seed)
        check = (DOS_TIME >> 8) & 0xFF if descriptor else crc >> 24
        header = bytes(rnd.randrange(256) for _ in range(11)) + bytes([check])
        body = Keys(bytes.fromhex(password[1:])).encrypt(header + body)
    if descriptor:
        flags |= 8
    offset = len(local)
    shown = (0, 0, 0) if descriptor else (crc, len(body), len(data))
    local += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, DOS_TIME, DOS_DATE,
                         shown[0], shown[1], shown[2], len(name), 0) + name + body
    if descriptor:
        local += struct.pack("<IIII", 0x08074B50, crc, len(body), len(data))
    central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flags, method, DOS_TIME, DOS_DATE,
                           crc, len(body), len(data), len(name), 0, 0, 0, 0, 0, offset) + name
    count += 1
end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), len(local), 0)
open(archive, "wb").write(bytes(local + central + end))
