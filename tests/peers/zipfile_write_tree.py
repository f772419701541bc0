#!/usr/bin/env python3
"""Packs a folder tree with Python's zipfile, folders and files in sorted
order, as a peer writes archives for the library to read.

    zipfile_write_tree.py ROOT ARCHIVE deflate|store
"""
import sys, os, zipfile
root, archive, method = sys.argv[1], sys.argv[2], sys.argv[3]
kind = zipfile.ZIP_DEFLATED if method == "deflate" else zipfile.ZIP_STORED
with zipfile.ZipFile(archive, "w", kind) as z:
    for folder, dirs, names in os.walk(root):
        for d in sorted(dirs):
            z.write(os.path.join(folder, d), os.path.relpath(os.path.join(folder, d), root))
        for n in sorted(names):
            z.write(os.path.join(folder, n), os.path.relpath(os.path.join(folder, n), root))
