#!/usr/bin/env python3
"""Encrypts DATA with PASSWORD (both hex) by the traditional PKWARE scheme
and prints the result as hex: the textbook key schedule, written
independently of the library.

    zipcrypto_encrypt.py PASSWORD_HEX DATA_HEX
"""
import sys, zlib
def step(c, b):
    return zlib.crc32(bytes([b]), c ^ 0xFFFFFFFF) ^ 0xFFFFFFFF
k = [0x12345678, 0x23456789, 0x34567890]
def update(b):
    k[0] = step(k[0], b)
    k[1] = ((k[1] + (k[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
    k[2] = step(k[2], k[1] >> 24)
for b in bytes.fromhex(sys.argv[1]):
    update(b)
out = bytearray()
for b in bytes.fromhex(sys.argv[2]):
    t = (k[2] | 2) & 0xFFFF
    out.append(b ^ (((t * (t ^ 1)) >> 8) & 0xFF))
    update(b)
print(out.hex())
