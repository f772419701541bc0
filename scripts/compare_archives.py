#!/usr/bin/env python3
"""Compares two ZIP archives byte for byte, except for what traditional
encryption makes random.

    compare_archives.py A B [--password P]

Without a password the files must be identical. With one, every byte
outside encrypted entry data must be identical, and each encrypted entry
must decrypt (with P) to the same bytes in both archives, apart from the
eleven random bytes that open its encryption header. Exit status 0 when
they agree, 1 with the first difference on stderr.
"""
import struct
import sys
import zlib


def crc_table():
    table = []
    for n in range(256):
        c = n
        for _ in range(8):
            c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
        table.append(c)
    return table


TABLE = crc_table()


def decrypt(data, password):
    k0, k1, k2 = 0x12345678, 0x23456789, 0x34567890

    def update(k0, k1, k2, b):
        k0 = (k0 >> 8) ^ TABLE[(k0 ^ b) & 0xFF]
        k1 = ((k1 + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k2 = (k2 >> 8) ^ TABLE[(k2 ^ (k1 >> 24)) & 0xFF]
        return k0, k1, k2

    for b in password:
        k0, k1, k2 = update(k0, k1, k2, b)
    out = bytearray()
    for c in data:
        t = (k2 & 0xFFFF) | 2
        p = c ^ (((t * (t ^ 1)) >> 8) & 0xFF)
        k0, k1, k2 = update(k0, k1, k2, p)
        out.append(p)
    return bytes(out)


def entries(blob):
    """(local header offset, data offset, compressed size, flags) per
    central record, from the end record onwards."""
    end = blob.rfind(b"PK\x05\x06")
    if end < 0:
        raise ValueError("no end record")
    count, cd_size, cd_offset = struct.unpack_from("<HII", blob, end + 10)
    pos = cd_offset
    out = []
    for _ in range(count):
        (sig, _vm, _vn, flags, _method, _t, _d, _crc, csize, _usize, nlen, xlen, clen, _disk,
         _ia, _ea, lho) = struct.unpack_from("<IHHHHHHIIIHHHHHII", blob, pos)
        if sig != 0x02014B50:
            raise ValueError("bad central record at %d" % pos)
        extra = blob[pos + 46 + nlen:pos + 46 + nlen + xlen]
        # ZIP64 sizes and offset, when the 32-bit fields are saturated.
        i = 0
        while i + 4 <= len(extra):
            tag, size = struct.unpack_from("<HH", extra, i)
            if tag == 1:
                values = list(struct.unpack_from("<%dQ" % (size // 8), extra, i + 4))
                if _usize == 0xFFFFFFFF:
                    values.pop(0)
                if csize == 0xFFFFFFFF:
                    csize = values.pop(0)
                if lho == 0xFFFFFFFF:
                    lho = values.pop(0)
            i += 4 + size
        lnlen, lxlen = struct.unpack_from("<HH", blob, lho + 26)
        out.append((lho, lho + 30 + lnlen + lxlen, csize, flags))
        pos += 46 + nlen + xlen + clen
    return out


def main():
    args = sys.argv[1:]
    password = None
    if "--password" in args:
        i = args.index("--password")
        password = args[i + 1].encode("latin-1")
        del args[i:i + 2]
    a, b = (open(p, "rb").read() for p in args)
    if password is None:
        if a != b:
            n = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
            print("differ at byte %d (sizes %d, %d)" % (n, len(a), len(b)), file=sys.stderr)
            return 1
        return 0
    if len(a) != len(b):
        print("sizes differ: %d, %d" % (len(a), len(b)), file=sys.stderr)
        return 1
    ea, eb = entries(a), entries(b)
    if [e[:3] for e in ea] != [e[:3] for e in eb]:
        print("entry layout differs", file=sys.stderr)
        return 1
    masked_a, masked_b = bytearray(a), bytearray(b)
    for (lho, data, size, flags), (_, _, _, _) in zip(ea, eb):
        if not flags & 1:
            continue
        pa = decrypt(a[data:data + size], password)
        pb = decrypt(b[data:data + size], password)
        if pa[11:] != pb[11:]:
            print("entry at %d decrypts differently" % lho, file=sys.stderr)
            return 1
        masked_a[data:data + size] = bytes(size)
        masked_b[data:data + size] = bytes(size)
    if masked_a != masked_b:
        n = next(i for i in range(len(a)) if masked_a[i] != masked_b[i])
        print("headers differ at byte %d" % n, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
