#!/usr/bin/env python3
"""Prints the names of an archive's entries as Python's zipfile reads them,
one a line, with every character outside ASCII written as a \\u escape.

    zipfile_names.py ARCHIVE
"""
import sys
import zipfile

with zipfile.ZipFile(sys.argv[1]) as z:
    for info in z.infolist():
        print(info.filename.encode("ascii", "backslashreplace").decode("ascii"))
