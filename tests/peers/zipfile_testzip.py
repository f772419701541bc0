#!/usr/bin/env python3
"""Reads every entry of an archive with Python's zipfile and checks its
CRC-32; exit status 1 and the bad entry's name on failure.

    zipfile_testzip.py ARCHIVE [PASSWORD]
"""
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    if len(sys.argv) > 2:
        z.setpassword(sys.argv[2].encode())
    bad = z.testzip()
    if bad is not None:
        print("bad entry", bad)
        sys.exit(1)
