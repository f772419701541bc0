#!/usr/bin/env python3
"""Checks the slow test's archive: one ZIP64 entry "big.bin" (version needed
4.5 or more) of the given size and CRC-32 that inflates whole.

    check_large_entry.py ARCHIVE SIZE CRC
"""
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    infos = z.infolist()
    assert len(infos) == 1, infos
    i = infos[0]
    assert i.filename == "big.bin", i.filename
    assert i.file_size == int(sys.argv[2]), i.file_size
    assert i.CRC == int(sys.argv[3]), i.CRC
    assert i.extract_version >= 45, i.extract_version
    assert z.testzip() is None
