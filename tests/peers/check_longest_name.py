#!/usr/bin/env python3
"""Reads an archive whose first entry has the longest name the format holds
(65,535 times "m") and whose second is "after.txt", with Python's zipfile.

    check_longest_name.py ARCHIVE PASSWORD   (an empty password: none)
"""
import sys, zipfile
try:
    with zipfile.ZipFile(sys.argv[1]) as z:
        if sys.argv[2]:
            z.setpassword(sys.argv[2].encode())
        names = [(len(i.filename), i.filename[:1]) for i in z.infolist()]
        if names != [(65535, "m"), (9, "a")]:
            sys.exit("names: %r" % names)
        if z.read(z.infolist()[0]) != b"data after the longest name":
            sys.exit("the data differ")
except Exception as e:
    sys.exit("%s: %s" % (type(e).__name__, str(e)[:200]))
