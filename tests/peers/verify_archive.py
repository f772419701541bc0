#!/usr/bin/env python3
"""Checks every entry of an archive the library wrote against the files of a
folder, by name (backslashes as folder separators) and content, and the
fixed form of its headers.

    verify_archive.py ARCHIVE FOLDER PASSWORD|-
"""
import sys, zipfile, os
archive, folder, password = sys.argv[1], sys.argv[2], sys.argv[3]
pwd = password.encode() if password != "-" else None
with zipfile.ZipFile(archive) as z:
    for info in z.infolist():
        assert info.compress_type == 8, (info.filename, info.compress_type)
        # 1 January 1980 for files; no date (all zero) for folder entries.
        expected = (1980, 0, 0, 0, 0, 0) if info.filename.endswith("\\") else (1980, 1, 1, 0, 0, 0)
        assert info.date_time == expected, (info.filename, info.date_time)
        assert info.create_version == 0 and info.create_system == 0, info.filename
        assert info.extra == b"", info.filename
        assert bool(info.flag_bits & 1) == (pwd is not None), info.filename
        data = z.read(info, pwd=pwd)
        if info.filename.endswith("\\"):
            assert data == b"", info.filename
            continue
        expected = open(os.path.join(folder, info.filename.replace("\\", "/")), "rb").read()
        assert data == expected, info.filename
    print(len(z.infolist()), "entries ok")
