#!/usr/bin/env python3
"""Writes an archive with Python's zipfile, every entry dated 2024-01-02
03:04:06. Names are given in UTF-8: ASCII ones are stored as given, others
as UTF-8 with flag bit 11, as zipfile does.

    zipfile_write.py ARCHIVE deflate|store|bzip2|lzma NAME_HEX:DATA_FILE...
"""
import sys, zipfile
archive, method = sys.argv[1], sys.argv[2]
kind = {"deflate": zipfile.ZIP_DEFLATED, "store": zipfile.ZIP_STORED,
        "bzip2": zipfile.ZIP_BZIP2, "lzma": zipfile.ZIP_LZMA}[method]
with zipfile.ZipFile(archive, "w", kind) as z:
    for arg in sys.argv[3:]:
        name_hex, data_path = arg.split(":", 1)
        info = zipfile.ZipInfo(bytes.fromhex(name_hex).decode("utf-8"), (2024, 1, 2, 3, 4, 6))
        info.compress_type = kind
        z.writestr(info, open(data_path, "rb").read())
