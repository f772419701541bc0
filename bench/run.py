#!/usr/bin/env python3
"""Packs, extracts, tests and lists with the library and with the tools
people use now, side by side, and prints one table. bench/run.sh builds the
programs and the corpus first and then runs this; see there.

Every measurement is one child process: its wall time (monotonic clock
around the process), its CPU time (user + system) and its peak resident
memory come from the kernel's accounting of that child (wait4).

The parts (--parts, comma-separated; run.sh maps its --only-* options here):
    packing     the corpus sets packed, with and without a password
    extraction  the corpus sets extracted (with and without a password) and tested
    listing     a 100,000-entry archive listed
    tiny        the tiny-file set packed and extracted
    memory      peak memory packing and extracting one 1 GiB file
    stop        the time a stop takes, packing and extracting a 2 GiB file
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

PASSWORD = "bench-Pa55word"
PARTS = ("packing", "extraction", "listing", "tiny", "memory", "stop")

PY_PACK = r"""
import os, sys, zipfile
src, archive = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as zf:
    for folder, dirs, files in os.walk(src):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            zf.write(path, os.path.relpath(path, src))
"""

PY_UNPACK = r"""
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as zf:
    zf.extractall(sys.argv[2])
"""

PY_LIST = r"""
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as zf:
    print(len(zf.namelist()))
"""

# The library's AES-256 rows (the traditional cipher's are "C, 1 thread").
AES_ROW = "C, 1 thread, AES-256"

# Per operation: its heading and the tool every other row is divided by.
OPERATIONS = {
    "pack": ("Packing, level 6", "zip -6"),
    "pack, password": ("Packing, level 6, password", "zip -6 -P"),
    "unpack": ("Extracting (the archive zip -6 made)", "unzip"),
    "unpack, password": ("Extracting with a password (the archive zip -6 -P made)", "unzip -P"),
    "test": ("Testing (the archive zip -6 made)", "unzip -t"),
    "list": ("Listing (the archive zip -r -D made)", "unzip -l"),
}

SETS = {
    "full": "Whole corpus",
    "small": "Small files alone (small/)",
    "tiny": "Tiny files (0 to 200 bytes)",
    "list": "A 100,000-entry archive",
}


class Sample:
    def __init__(self, wall, cpu, peak_kib, ok):
        self.wall = wall
        self.cpu = cpu
        self.peak_kib = peak_kib
        self.ok = ok


def run_measured(argv, cwd=None, log=None):
    """Runs argv once under GNU time; returns a Sample. GNU time, a small
    process, is the parent: a child's peak-memory figure starts from its
    parent's size at the fork, and this Python process is several MiB."""
    report = os.path.join(os.path.dirname(log) if log else "/tmp", "time.out")
    stderr = open(log, "ab") if log else subprocess.DEVNULL
    try:
        start = time.perf_counter()
        result = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", report] + argv, cwd=cwd,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr)
        wall = time.perf_counter() - start
    finally:
        if log:
            stderr.close()
    with open(report) as f:
        fields = f.read().split()[-3:]
    user, system, peak = float(fields[0]), float(fields[1]), int(fields[2])
    return Sample(wall, user + system, peak, result.returncode == 0)


def tree_facts(folder):
    """(regular files, bytes) below folder."""
    files = 0
    size = 0
    for root, _, names in os.walk(folder):
        for name in names:
            st = os.lstat(os.path.join(root, name))
            files += 1
            size += st.st_size
    return files, size


def clean(path):
    if os.path.isdir(path):
        # rm is several times faster than shutil.rmtree on 100,000 files.
        subprocess.run(["rm", "-rf", "--", path], check=True)
    elif os.path.exists(path):
        os.remove(path)


def settle():
    """Writes back what the last run left dirty, so that it is not charged
    to the next one."""
    os.sync()


def reading_threads():
    """The threads parcelon_set_threads(0) gives a reading call."""
    return min(os.cpu_count() or 1, 8)


class Bench:
    def __init__(self, args):
        self.args = args
        self.parts = set(args.parts.split(","))
        self.host = os.path.join(args.build, "bench", "parcelon_bench_host")
        self.floor = os.path.join(args.build, "bench", "parcelon_floor")
        self.work = args.work
        self.log = os.path.join(self.work, "stderr.log")
        os.makedirs(self.work, exist_ok=True)
        clean(os.path.join(self.work, "out")) # left by an interrupted run
        open(self.log, "wb").close()
        self.python = sys.executable or "python3"
        self.pack_threads = "C, %d threads" % os.cpu_count()
        self.read_threads = "C, %d threads" % reading_threads()
        # results[(set, operation, tool)] = [Sample...]; sizes[(set, operation, tool)] = bytes
        self.results = {}
        self.sizes = {}
        self.checks = {}
        self.facts = {}
        self.sets = []
        self.started = time.time()

    # ------------------------------------------------------------ tools

    def pack_commands(self, set_name, source, password):
        """tool name -> (argv, cwd) for one packing run; "" stands for the
        archive."""
        host = self.host
        if password:
            # The traditional cipher against AES-256, both through the C
            # interface at one thread.
            return {
                "class": ([host, "pack", source, "", PASSWORD], None),
                "C, 1 thread": ([host, "pack-c", "1", source, "", PASSWORD], None),
                AES_ROW: ([host, "pack-c", "1", source, "", PASSWORD, "aes"], None),
                self.pack_threads: ([host, "pack-c", "0", source, "", PASSWORD], None),
                "zip -6 -P": (["zip", "-q", "-r", "-6", "-P", PASSWORD, "", "."], source),
            }
        tools = {
            "class": ([host, "pack", source, ""], None),
            "C, 1 thread": ([host, "pack-c", "1", source, ""], None),
            self.pack_threads: ([host, "pack-c", "0", source, ""], None),
            "zip -6": (["zip", "-q", "-r", "-6", "", "."], source),
            "7z -mx=6 -mmt=1": (["7z", "a", "-tzip", "-mx=6", "-mmt=1", "-bd", "", "."], source),
            "7z -mx=6 -mmt=on": (["7z", "a", "-tzip", "-mx=6", "-mmt=on", "-bd", "", "."], source),
            "Python zipfile": ([self.python, "-c", PY_PACK, source, ""], None),
            "floor": ([self.floor, source], None),
        }
        if set_name == "tiny":
            for tool in ("C, 1 thread", "7z -mx=6 -mmt=1", "Python zipfile", "floor"):
                del tools[tool]
        return tools

    def unpack_commands(self, set_name, archive, password, aes_archive=None):
        """As pack_commands; "" stands for the destination folder and "-o"
        for 7-Zip's -o<folder>. aes_archive: the same files with AES-256,
        read beside the traditional cipher's archive."""
        host = self.host
        pw = [PASSWORD] if password else []
        tools = {
            "class": ([host, "unpack", archive, ""] + pw, None),
            "C, 1 thread": ([host, "extract-c", "1", archive, ""] + pw, None),
            self.read_threads: ([host, "extract-c", "0", archive, ""] + pw, None),
        }
        if password:
            tools["unzip -P"] = (["unzip", "-q", "-P", PASSWORD, archive, "-d", ""], None)
            tools["7z x -p -mmt=on"] = (["7z", "x", "-bd", "-y", "-mmt=on", "-p" + PASSWORD, "-o", archive], None)
            if aes_archive:
                tools[AES_ROW + " archive"] = ([host, "extract-c", "1", aes_archive, "", PASSWORD], None)
                tools["7z x -p, AES-256 archive"] = (["7z", "x", "-bd", "-y", "-mmt=on", "-p" + PASSWORD, "-o",
                                                       aes_archive], None)
        else:
            tools["unzip"] = (["unzip", "-q", archive, "-d", ""], None)
            tools["7z x -mmt=on"] = (["7z", "x", "-bd", "-y", "-mmt=on", "-o", archive], None)
            if set_name != "tiny":
                tools["Python zipfile"] = ([self.python, "-c", PY_UNPACK, archive, ""], None)
        return tools

    def test_commands(self, archive):
        return {
            "C, 1 thread": ([self.host, "test-c", "1", archive], None),
            self.read_threads: ([self.host, "test-c", "0", archive], None),
            "unzip -t": (["unzip", "-q", "-t", archive], None),
            "7z t -mmt=on": (["7z", "t", "-bd", "-mmt=on", archive], None),
        }

    def list_commands(self, archive):
        return {
            "C": ([self.host, "list-c", archive], None),
            "unzip -l": (["unzip", "-l", archive], None),
            "7z l": (["7z", "l", "-bd", archive], None),
            "Python zipfile": ([self.python, "-c", PY_LIST, archive], None),
        }

    # ------------------------------------------------------------ runs

    def record(self, key, sample):
        self.results.setdefault(key, []).append(sample)

    def pack_round(self, set_name, source, password):
        operation = "pack, password" if password else "pack"
        archive = os.path.join(self.work, "out.zip")
        for tool, (argv, cwd) in self.pack_commands(set_name, source, password).items():
            clean(archive)
            argv = [archive if a == "" else a for a in argv]
            settle()
            sample = run_measured(argv, cwd, self.log)
            self.record((set_name, operation, tool), sample)
            if tool != "floor":
                self.sizes[(set_name, operation, tool)] = (
                    os.path.getsize(archive) if os.path.exists(archive) else 0)
            clean(archive)

    def unpack_round(self, set_name, archive, password, rep, aes_archive=None):
        """Each run extracts into a folder of its own, all kept until the
        benchmark ends: when ext4 (without a journal, as here) allocates
        inodes it passes over those freed in the last seconds, or minutes
        while their table block is dirty, so deleting one tool's output would
        charge the next tool seconds of system time."""
        operation = "unpack, password" if password else "unpack"
        for tool, (argv, cwd) in self.unpack_commands(set_name, archive, password, aes_archive).items():
            leaf = ("%s-%s-%s-%d" % (set_name, operation, tool, rep)).replace(" ", "_").replace(",", "")
            dest = os.path.join(self.work, "out", leaf)
            clean(dest)
            os.makedirs(dest)
            argv = [dest if a == "" else ("-o" + dest if a == "-o" else a) for a in argv]
            settle()
            sample = run_measured(argv, cwd, self.log)
            if rep == 0:
                self.checks[(set_name, operation, tool)] = tree_facts(dest) == self.facts[set_name]
            self.record((set_name, operation, tool), sample)
            if self.args.discard_output:
                clean(dest)

    def plain_round(self, set_name, operation, commands):
        """Runs that write nothing: test and list."""
        for tool, (argv, cwd) in commands.items():
            settle()
            self.record((set_name, operation, tool), run_measured(argv, cwd, self.log))

    def reference_archive(self, name, source, password, options=("-r", "-6")):
        """The archive every reader reads: made once by zip -6 (-P)."""
        archive = os.path.join(self.work, "%s%s.zip" % (name, "-pw" if password else ""))
        clean(archive)
        argv = ["zip", "-q"] + list(options) + (["-P", PASSWORD] if password else []) + [archive, "."]
        subprocess.run(argv, cwd=source, check=True)
        return archive

    def aes_archive(self, name, source):
        """The same files with AES-256, made once by the library (no other
        tool here writes AES), in the portable style, whose names 7-Zip on
        Linux unpacks into the same tree."""
        archive = os.path.join(self.work, "%s-aes.zip" % name)
        clean(archive)
        subprocess.run([self.host, "pack-c", "0", source, archive, PASSWORD, "aes-portable"], check=True)
        return archive

    def listing_archive(self):
        """The 100,000 tiny files, without folder entries, in an archive
        kept beside the set and made again only when the set is newer."""
        tiny = self.args.tiny.rstrip("/")
        archive = tiny + "-list.zip"
        stamp = tiny + ".corpus-complete"
        if not os.path.exists(archive) or os.path.getmtime(archive) < os.path.getmtime(stamp):
            print("listing: writing %s" % archive, flush=True)
            partial = archive + ".part.zip"
            clean(partial)
            subprocess.run(["zip", "-q", "-r", "-D", "-0", partial, "."], cwd=tiny, check=True)
            os.replace(partial, archive)
        return archive

    def check_listing(self, archive):
        """The library's listing gives every entry: its last line counts them."""
        expect = subprocess.run([self.python, "-c", PY_LIST, archive], stdout=subprocess.PIPE, text=True,
                                check=True).stdout.strip()
        result = subprocess.run([self.host, "list-c", archive], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True)
        lines = result.stdout.splitlines()
        self.checks[("list", "list", "C")] = (result.returncode == 0 and len(lines) == int(expect) + 1
                                              and lines[-1] == "%s entries" % expect)
        self.facts["list"] = (int(expect), os.path.getsize(archive))

    def run(self):
        corpus = self.args.corpus
        if "packing" in self.parts or "extraction" in self.parts:
            self.sets = [("full", corpus), ("small", os.path.join(corpus, "small"))]
            if self.args.only_small:
                self.sets = self.sets[1:]
        if "tiny" in self.parts:
            self.sets.append(("tiny", self.args.tiny))
        for name, path in self.sets:
            self.facts[name] = tree_facts(path)
        references = {}
        if "extraction" in self.parts:
            for name, path in self.sets:
                if name != "tiny":
                    references[(name, False)] = self.reference_archive(name, path, False)
                    references[(name, True)] = self.reference_archive(name, path, True)
                    references[(name, "aes")] = self.aes_archive(name, path)
        if "tiny" in self.parts:
            references[("tiny", False)] = self.reference_archive("tiny", self.args.tiny, False)
        listing = None
        if "listing" in self.parts:
            listing = self.listing_archive()
            self.check_listing(listing)
        # One untimed read of everything, so that every tool finds the
        # sets in the page cache.
        if self.sets:
            subprocess.run([self.floor] + [path for _, path in self.sets], stdout=subprocess.DEVNULL, check=False)

        for rep in range(self.args.reps):
            print("round %d of %d (load %.2f; %.0f s so far)" %
                  (rep + 1, self.args.reps, os.getloadavg()[0], time.time() - self.started), flush=True)
            for name, path in self.sets:
                if name == "tiny" or "packing" in self.parts:
                    self.pack_round(name, path, False)
                if name != "tiny" and "packing" in self.parts:
                    self.pack_round(name, path, True)
                if name == "tiny" or "extraction" in self.parts:
                    self.unpack_round(name, references[(name, False)], False, rep)
                if name != "tiny" and "extraction" in self.parts:
                    self.unpack_round(name, references[(name, True)], True, rep, references[(name, "aes")])
                    self.plain_round(name, "test", self.test_commands(references[(name, False)]))
            if listing:
                self.plain_round("list", "list", self.list_commands(listing))
        if listing:
            self.sets.append(("list", listing))
        for archive in references.values():
            clean(archive)

    def clean_up(self):
        """Removes the extracted trees: minutes for the million files of
        three rounds, so it comes after the table is out."""
        out = os.path.join(self.work, "out")
        if os.path.exists(out):
            print("removing the extracted files", flush=True)
            clean(out)
            settle()

    # ------------------------------------------------------------ memory

    def memory_check(self):
        """Peak memory packing and extracting one zero-byte file and one
        1 GiB file, through the class and through the C interface with a
        thread per processor."""
        big = self.args.big
        base = os.path.join(self.work, "memory")
        clean(base)
        empty_dir = os.path.join(base, "empty")
        big_dir = os.path.join(base, "big")
        os.makedirs(empty_dir)
        os.makedirs(big_dir)
        open(os.path.join(empty_dir, "big.txt"), "wb").close()
        try:
            os.link(big, os.path.join(big_dir, "big.txt"))
        except OSError:
            shutil.copy(big, os.path.join(big_dir, "big.txt"))
        ways = (("class", [self.host, "pack"], [self.host, "unpack"]),
                ("C, threads 0", [self.host, "pack-c", "0"], [self.host, "extract-c", "0"]))
        out = {}
        for name, folder in (("empty", empty_dir), ("1 GiB", big_dir)):
            for way, pack_argv, unpack_argv in ways:
                archive = os.path.join(base, name.replace(" ", "") + ".zip")
                dest = os.path.join(base, "out")
                settle()
                pack = run_measured(pack_argv + [folder, archive], None, self.log)
                os.makedirs(dest)
                settle()
                unpack = run_measured(unpack_argv + [archive, dest], None, self.log)
                made = os.path.join(dest, "big.txt")
                same = os.path.exists(made) and os.path.getsize(made) == os.path.getsize(os.path.join(folder, "big.txt"))
                out[(name, way)] = (pack, unpack, same)
                clean(dest)
                clean(archive)
        clean(base)
        return out

    def stop_archives(self):
        """One-entry archives of the 2 GiB file, plain and with a password,
        written by the library (level 6, every processor) beside the file
        and kept until the file changes."""
        source = self.args.stop_file
        archives = {}
        for password in (False, True):
            archive = os.path.splitext(source)[0] + ("-pw" if password else "") + ".zip"
            if not os.path.exists(archive) or os.path.getmtime(archive) < os.path.getmtime(source):
                print("stop: writing %s" % archive, flush=True)
                staging = os.path.join(self.work, "stop-source")
                clean(staging)
                os.makedirs(staging)
                os.link(source, os.path.join(staging, os.path.basename(source)))
                partial = archive + ".part.zip"
                argv = [self.host, "pack-c", "0", staging, partial] + ([PASSWORD] if password else [])
                subprocess.run(argv, check=True, stderr=subprocess.DEVNULL)
                os.replace(partial, archive)
                clean(staging)
            archives[password] = archive
        return archives

    def stop_check(self):
        """Milliseconds from parcelon_stop to the call's return, the stop
        coming two seconds into a 2 GiB file, three times each: packing at
        levels 6 and 9, extracting plain and with a password, at one thread
        and at every processor. A run counts only when the call reported the
        stop (it did not end first) and, extracting, left no file."""
        archive = os.path.join(self.work, "stopped.zip")
        dest = os.path.join(self.work, "stopped")
        out = []
        for level in ("6", "9"):
            for threads in ("1", "0"):
                times = []
                for _ in range(3):
                    clean(archive)
                    result = subprocess.run([self.host, "stop", threads, level, "2000", self.args.stop_file, archive],
                                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
                    times.append(float(result.stdout.split()[0]) if result.returncode == 0 else None)
                clean(archive)
                out.append(("packing, level %s" % level, threads, times))
        archives = self.stop_archives()
        for password in (False, True):
            for threads in ("1", "0"):
                times = []
                for _ in range(3):
                    clean(dest)
                    os.makedirs(dest)
                    argv = [self.host, "stop-extract", threads, "2000", archives[password], dest]
                    result = subprocess.run(argv + ([PASSWORD] if password else []),
                                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
                    left = tree_facts(dest)[0]
                    times.append(float(result.stdout.split()[0]) if result.returncode == 0 and not left else None)
                clean(dest)
                out.append(("extracting" + (", password" if password else ""), threads, times))
        return out

    # ------------------------------------------------------------ report

    def median(self, key, field):
        return statistics.median(getattr(s, field) for s in self.results[key])

    def spread(self, key):
        walls = [s.wall for s in self.results[key]]
        return min(walls), max(walls)

    def table(self):
        lines = []
        for name, _ in self.sets:
            if name == "list":
                entries, size = self.facts[name]
                lines.append("")
                lines.append("%s: %d entries, %.1f MiB" % (SETS[name], entries, size / 1048576.0))
            else:
                files, size = self.facts[name]
                lines.append("")
                lines.append("%s: %d files, %.1f MiB" % (SETS[name], files, size / 1048576.0))
            for operation, (title, base) in OPERATIONS.items():
                keys = [k for k in self.results if k[0] == name and k[1] == operation]
                if not keys:
                    continue
                base_key = (name, operation, base)
                base_wall = self.median(base_key, "wall") if base_key in self.results else 0
                lines.append("")
                lines.append("  " + title)
                width = max(16, max(len(k[2]) for k in keys))
                lines.append("  | %-*s | %-24s | %7s | %8s | %11s | %11s |" %
                             (width, "tool", "wall s, median [min-max]", "CPU s", "peak MiB", "archive MiB", "÷ " + base))
                lines.append("  |%s|%s|%s|%s|%s|%s|" % ("-" * (width + 2), "-" * 26, "-" * 9, "-" * 10, "-" * 13,
                                                        "-" * 13))
                for key in keys:
                    wall = self.median(key, "wall")
                    low, high = self.spread(key)
                    size = self.sizes.get(key)
                    flags = ""
                    if not all(s.ok for s in self.results[key]):
                        flags += " (failed)"
                    if self.checks.get(key) is False:
                        flags += " (wrong output)"
                    lines.append("  | %-*s | %6.2f [%6.2f-%6.2f]   | %7.2f | %8.1f | %11s | %11s |%s" %
                                 (width, key[2], wall, low, high, self.median(key, "cpu"),
                                  self.median(key, "peak_kib") / 1024.0,
                                  "%.1f" % (size / 1048576.0) if size is not None else "-",
                                  "%.2f" % (wall / base_wall) if base_wall > 0 else "-", flags))
        return lines

    def targets(self):
        def ratio(set_name, operation, mine, tool, field):
            a = (set_name, operation, mine)
            b = (set_name, operation, tool)
            if a not in self.results or b not in self.results:
                return None
            other = self.median(b, field)
            return self.median(a, field) / other if other > 0 else float("inf")

        packing, reading = self.pack_threads, self.read_threads
        rows = [
            # label, set, operation, the library's row, the tool's, at most
            ("packing: class / zip -6", "full", "pack", "class", "zip -6", 0.70),
            ("packing: C, every CPU / zip -6", "full", "pack", packing, "zip -6", 0.40),
            ("password: class / zip -6 -P", "full", "pack, password", "class", "zip -6 -P", 0.75),
            ("small files: class / zip -6", "small", "pack", "class", "zip -6", 0.80),
            ("extraction: class / unzip", "full", "unpack", "class", "unzip", 0.45),
            ("password: class / unzip -P", "full", "unpack, password", "class", "unzip -P", 0.60),
            ("extraction: C, every CPU / unzip", "full", "unpack", reading, "unzip", 0.30),
            ("password: C, every CPU / unzip -P", "full", "unpack, password", reading, "unzip -P", 0.40),
            ("test: C, every CPU / unzip -t", "full", "test", reading, "unzip -t", 0.25),
            ("small files extraction: class / unzip", "small", "unpack", "class", "unzip", 0.70),
            ("AES-256 packing: C / traditional, 1 thread", "full", "pack, password", AES_ROW, "C, 1 thread", 1.30),
            ("AES-256 extraction: C / traditional, 1 thread", "full", "unpack, password", AES_ROW + " archive",
             "C, 1 thread", 1.30),
            ("tiny files packing: class / zip -6", "tiny", "pack", "class", "zip -6", 0.80),
            ("tiny files packing: C, every CPU / zip -6", "tiny", "pack", packing, "zip -6", 0.80),
            ("tiny files extraction: class / unzip", "tiny", "unpack", "class", "unzip", 0.70),
            ("tiny files extraction: C, every CPU / unzip", "tiny", "unpack", reading, "unzip", 0.70),
        ]
        lines = []
        for label, set_name, operation, mine, tool, limit in rows:
            wall = ratio(set_name, operation, mine, tool, "wall")
            if wall is None:
                continue
            cpu = ratio(set_name, operation, mine, tool, "cpu")
            lines.append("  %-44s wall %5.2f  CPU %5.2f  (at most %.2f: %s)" %
                         (label, wall, cpu, limit, "met" if wall <= limit else "MISSED"))
        for set_name in ("full", "small", "tiny"):
            mine = self.sizes.get((set_name, "pack", "class"))
            theirs = self.sizes.get((set_name, "pack", "zip -6"))
            if mine and theirs:
                lines.append("  %-44s %.4f (at most 1.00: %s)" % (
                    "archive size, %s: class / zip -6" % set_name, mine / theirs,
                    "met" if mine <= theirs else "MISSED"))
        library = ("class", "C, 1 thread", packing, reading)
        for label, keys in (
                ("peak memory, the library's runs", [k for k in self.results if k[2] in library]),
                ("peak memory, extracting with threads",
                 [k for k in self.results if k[1].startswith("unpack") and k[2] == reading])):
            if keys:
                peak = max(self.median(k, "peak_kib") for k in keys) / 1024.0
                lines.append("  %-44s %.1f MiB (at most 64: %s)" % (label, peak, "met" if peak <= 64 else "MISSED"))
        if not lines:
            return []
        return ["", "Targets: median wall time of the library divided by the other's (and the same",
                "for CPU time, which other work on the machine disturbs less)"] + lines


def memory_lines(memory):
    lines = ["", "Peak memory (MiB): one zero-byte file against one 1 GiB file (at most 64)"]
    for way in ("class", "C, threads 0"):
        empty_pack, empty_unpack, _ = memory[("empty", way)]
        big_pack, big_unpack, same = memory[("1 GiB", way)]
        for label, empty, big in (("pack", empty_pack, big_pack), ("extract", empty_unpack, big_unpack)):
            lines.append("  %-13s %-8s empty %6.1f   1 GiB %6.1f (%s)   1 GiB took %.1f s%s" %
                         (way, label, empty.peak_kib / 1024.0, big.peak_kib / 1024.0,
                          "met" if big.peak_kib <= 64 * 1024 and big.ok else "MISSED", big.wall,
                          "" if big.ok else " (failed)"))
        if not same:
            lines.append("  the extracted 1 GiB file has the wrong size (%s)" % way)
    return lines


def stop_lines(stops):
    lines = ["", "Stop: ms from parcelon_stop to the call's return, two seconds into a 2 GiB file (at most 200)"]
    for what, threads, times in stops:
        text = ", ".join("failed" if t is None else "%.0f" % t for t in times)
        met = all(t is not None and t <= 200 for t in times)
        lines.append("  %-22s threads %s: %s (%s)" % (what + ",", threads, text, "met" if met else "MISSED"))
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="build folder with bench/parcelon_bench_host")
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--tiny", help="the tiny-file set (for the parts tiny and listing)")
    parser.add_argument("--work", required=True, help="scratch folder for archives and output")
    parser.add_argument("--reps", type=int, default=3, help="rounds of the timed parts")
    parser.add_argument("--parts", default="packing,extraction", help="comma-separated, of: " + ", ".join(PARTS))
    parser.add_argument("--big", help="the 1 GiB file for the part memory")
    parser.add_argument("--stop-file", help="the 2 GiB file for the part stop")
    parser.add_argument("--only-small", action="store_true", help="of the corpus, the small-file set only")
    parser.add_argument("--discard-output", action="store_true",
                        help="remove each extracted tree after its run (a work folder in memory)")
    args = parser.parse_args()
    unknown = set(args.parts.split(",")) - set(PARTS)
    if unknown:
        parser.error("unknown parts: " + ", ".join(sorted(unknown)))
    parts = set(args.parts.split(","))
    for part, needs in (("tiny", args.tiny), ("listing", args.tiny), ("memory", args.big), ("stop", args.stop_file)):
        if part in parts and not needs:
            parser.error("the part %s needs its file or folder" % part)

    bench = Bench(args)
    started = time.time()
    load_before = os.getloadavg()
    lines = ["Parcelon benchmark: %s; %d rounds, %s, %d CPUs; load average at start %.2f %.2f %.2f" %
             (args.parts, args.reps, time.strftime("%Y-%m-%d %H:%M"), os.cpu_count(), *load_before)]
    if args.reps > 0 and parts & {"packing", "extraction", "listing", "tiny"}:
        bench.run()
        print("\n".join(lines + bench.table() + bench.targets()), flush=True)
        lines = []
        bench.clean_up()
    if "memory" in parts:
        lines += memory_lines(bench.memory_check())
    if "stop" in parts:
        lines += stop_lines(bench.stop_check())
    lines.append("")
    lines.append("load average at end %.2f %.2f %.2f; %.0f s in all" % (*os.getloadavg(), time.time() - started))
    print("\n".join(lines))
    if os.path.getsize(bench.log) > 0:
        print("(the tools' messages are in %s)" % bench.log)


if __name__ == "__main__":
    main()
