#!/usr/bin/env python3
"""Extracts every entry of an archive with Python's zipfile and prints, one
line each, its name, a tab, and its DOS date and time as zipfile reads it
(year month day hour minute second, in local time). zipfile restores no
times itself; the caller compares them with the files'.

    zipfile_extract_times.py ARCHIVE DEST
"""
import sys, zipfile

sys.stdout.reconfigure(encoding="utf-8", errors="surrogateescape")
with zipfile.ZipFile(sys.argv[1]) as z:
    z.extractall(sys.argv[2])
    for info in z.infolist():
        print(info.filename + "\t" + " ".join(str(v) for v in info.date_time))
