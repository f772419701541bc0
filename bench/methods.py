#!/usr/bin/env python3
"""Reading the other methods: the library's extraction of a one-entry
archive against each method's own command-line tool on the same
compressed data (bench/run.sh --methods runs it).

    methods.py --build BUILD --data FILE --work FOLDER [--reps N]

For each method the data are compressed once: Deflate64 by 7-Zip into an
archive that `7z x` extracts; bzip2, LZMA (.lzma), Zstandard and xz by
their own tools, whose output `bunzip2`, `xz -d`, `zstd -d` and `xz -d`
read, while the archive stores the very same stream (method 12, 14 with
ZIP's LZMA header, 93, 95). Every run writes its output to a file in the
work folder; the medians of N runs (wall and CPU time) are printed, with
the library's time over the tool's.
"""
import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run import run_measured, settle  # noqa: E402


def crc_of(path):
    crc = 0
    with open(path, "rb") as f:
        while True:
            chunk = f.read(1 << 20)
            if not chunk:
                return crc
            crc = zlib.crc32(chunk, crc)


def one_entry_archive(archive, name, method, flags, crc, size, stored_parts):
    """Writes an archive of one entry whose stored bytes are the files
    stored_parts (and bytes objects), in order."""
    stored_size = sum(os.path.getsize(p) if isinstance(p, str) else len(p) for p in stored_parts)
    name = name.encode()
    with open(archive, "wb") as out:
        out.write(struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, 0, 0x21,
                              crc, stored_size, size, len(name), 0) + name)
        for part in stored_parts:
            if isinstance(part, bytes):
                out.write(part)
            else:
                with open(part, "rb") as f:
                    shutil.copyfileobj(f, out, 1 << 20)
        central_at = out.tell()
        central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flags, method, 0, 0x21,
                              crc, stored_size, size, len(name), 0, 0, 0, 0, 0, 0) + name
        out.write(central)
        out.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), central_at, 0))


def compress(command, source, target):
    with open(source, "rb") as f, open(target, "wb") as out:
        subprocess.run(command, stdin=f, stdout=out, check=True)


def prepare(data, work):
    """The archives and the tools' commands, one per method."""
    size = os.path.getsize(data)
    crc = crc_of(data)
    name = "data.bin"
    cases = []

    d64 = os.path.join(work, "deflate64.zip")
    if not os.path.exists(d64):
        staged = os.path.join(work, name)
        if not os.path.exists(staged):
            os.link(data, staged)
        subprocess.run(["7z", "a", "-bd", "-tzip", "-mm=Deflate64", d64, name], cwd=work, check=True,
                       stdout=subprocess.DEVNULL)
        os.remove(staged)
    cases.append(("Deflate64", d64, ["7z", "x", "-bd", "-y", "-o{out}", d64], None))

    streams = [
        ("bzip2", 12, 0, ["bzip2", "-c"], "bz2", ["bunzip2", "-c"]),
        ("LZMA", 14, 2, ["xz", "--format=lzma", "-c"], "lzma", ["xz", "-d", "-c"]),
        ("Zstandard", 93, 0, ["zstd", "-q", "-c"], "zst", ["zstd", "-q", "-d", "-c"]),
        ("xz", 95, 0, ["xz", "-c"], "xz", ["xz", "-d", "-c"]),
    ]
    for label, method, flags, packer, suffix, unpacker in streams:
        stream = os.path.join(work, "data." + suffix)
        archive = os.path.join(work, label.lower() + ".zip")
        if not os.path.exists(archive):
            compress(packer, data, stream)
            if method == 14:
                # .lzma: properties (5 bytes), size (8), stream; ZIP keeps
                # the properties behind its own 4-byte header. xz writes the
                # end marker (flag bit 1).
                with open(stream, "rb") as f:
                    lead = f.read(13)
                body = stream + ".body"
                with open(stream, "rb") as f, open(body, "wb") as out:
                    f.seek(13)
                    shutil.copyfileobj(f, out, 1 << 20)
                parts = [b"\x10\x02\x05\x00" + lead[:5], body]
            else:
                parts = [stream]
            one_entry_archive(archive, name, method, flags, crc, size, parts)
            if method == 14:
                os.remove(body)
        cases.append((label, archive, unpacker + [stream], os.path.join(work, "out", name)))
    return cases


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--reps", type=int, default=3)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    host = os.path.join(args.build, "bench", "parcelon_bench_host")
    out = os.path.join(args.work, "out")
    log = os.path.join(args.work, "methods.log")
    size = os.path.getsize(args.data)
    print("methods: %s, %.0f MiB; %d runs each" % (args.data, size / 1048576, args.reps), flush=True)

    rows = []
    for label, archive, tool, tool_output in prepare(args.data, args.work):
        times = {"library": [], "tool": []}
        for _ in range(args.reps):
            for who in ("tool", "library"):
                shutil.rmtree(out, ignore_errors=True)
                os.makedirs(out)
                settle()
                if who == "library":
                    sample = run_measured([host, "unpack", archive, out], log=log)
                elif tool_output is None:
                    sample = run_measured([a.replace("{out}", out) for a in tool], log=log)
                else:
                    # The tool writes to standard output: a shell sends it to
                    # the file, as the library writes its own.
                    sample = run_measured(["sh", "-c", '"$@" > "%s"' % tool_output, "sh"] + tool, log=log)
                if not sample.ok or os.path.getsize(os.path.join(out, "data.bin")) != size:
                    sys.exit("methods: %s by the %s failed (see %s)" % (label, who, log))
                times[who].append(sample)
        lib_wall = statistics.median(s.wall for s in times["library"])
        tool_wall = statistics.median(s.wall for s in times["tool"])
        lib_cpu = statistics.median(s.cpu for s in times["library"])
        tool_cpu = statistics.median(s.cpu for s in times["tool"])
        rows.append((label, os.path.getsize(archive), lib_wall, tool_wall, lib_cpu, tool_cpu))
    shutil.rmtree(out, ignore_errors=True)

    print("\n%-10s %9s  %9s %9s %6s  %9s %9s %6s" % ("method", "archive", "lib wall", "tool wall", "ratio",
                                                  "lib cpu", "tool cpu", "ratio"))
    for label, archive_size, lw, tw, lc, tc in rows:
        print("%-10s %7.1fMB  %8.2fs %8.2fs %6.2f  %8.2fs %8.2fs %6.2f" % (
            label, archive_size / 1e6, lw, tw, lw / tw, lc, tc, lc / tc))


if __name__ == "__main__":
    main()
