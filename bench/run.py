#!/usr/bin/env python3
"""Packs and unpacks the benchmark corpus with the library and with the
tools people use now, side by side, and prints one table. bench/run.sh
builds the programs and the corpus first and then runs this; see there.

Every measurement is one child process: its wall time (monotonic clock
around the process), its CPU time (user + system) and its peak resident
memory come from the kernel's accounting of that child (wait4).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

PASSWORD = "bench-Pa55word"

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
        shutil.rmtree(path)
    elif os.path.exists(path):
        os.remove(path)


def settle():
    """Writes back what the last run left dirty, so that it is not charged
    to the next one."""
    os.sync()


class Bench:
    def __init__(self, args):
        self.args = args
        self.host = os.path.join(args.build, "bench", "parcelon_bench_host")
        self.floor = os.path.join(args.build, "bench", "parcelon_floor")
        self.work = args.work
        self.log = os.path.join(self.work, "stderr.log")
        os.makedirs(self.work, exist_ok=True)
        clean(os.path.join(self.work, "out")) # left by an interrupted run
        open(self.log, "wb").close()
        self.python = sys.executable or "python3"
        # results[(set, operation, tool)] = [Sample...]; sizes[(set, operation, tool)] = bytes
        self.results = {}
        self.sizes = {}
        self.checks = {}

    # ------------------------------------------------------------ tools

    def pack_commands(self, source, archive, password):
        """tool name -> (argv, cwd) for one packing run."""
        tools = {}
        threads = "C, %d threads" % os.cpu_count()
        if password:
            tools["Parcelon"] = ([self.host, "pack", source, archive, PASSWORD], None)
            tools[threads] = ([self.host, "pack-c", "0", source, archive, PASSWORD], None)
            tools["zip -6 -P"] = (["zip", "-q", "-r", "-6", "-P", PASSWORD, archive, "."], source)
        else:
            tools["Parcelon"] = ([self.host, "pack", source, archive], None)
            tools["C, 1 thread"] = ([self.host, "pack-c", "1", source, archive], None)
            tools[threads] = ([self.host, "pack-c", "0", source, archive], None)
            tools["zip -6"] = (["zip", "-q", "-r", "-6", archive, "."], source)
            tools["7z -mx=6 -mmt=1"] = (["7z", "a", "-tzip", "-mx=6", "-mmt=1", "-bd", archive, "."], source)
            tools["7z -mx=6 -mmt=on"] = (["7z", "a", "-tzip", "-mx=6", "-mmt=on", "-bd", archive, "."], source)
            tools["Python zipfile"] = ([self.python, "-c", PY_PACK, source, archive], None)
            tools["floor"] = ([self.floor, source], None)
        return tools

    def unpack_commands(self, archive, dest, password):
        """As pack_commands; "" stands for the destination folder and "-o"
        for 7-Zip's -o<folder>."""
        tools = {}
        if password:
            tools["Parcelon"] = ([self.host, "unpack", archive, dest, PASSWORD], None)
            tools["unzip -P"] = (["unzip", "-q", "-P", PASSWORD, archive, "-d", dest], None)
            tools["7z x -p"] = (["7z", "x", "-bd", "-y", "-p" + PASSWORD, "-o", archive], None)
        else:
            tools["Parcelon"] = ([self.host, "unpack", archive, dest], None)
            tools["unzip"] = (["unzip", "-q", archive, "-d", dest], None)
            tools["7z x"] = (["7z", "x", "-bd", "-y", "-o", archive], None)
            tools["Python zipfile"] = ([self.python, "-c", PY_UNPACK, archive, dest], None)
        return tools

    # ------------------------------------------------------------ runs

    def record(self, key, sample):
        self.results.setdefault(key, []).append(sample)

    def pack_round(self, set_name, source, password):
        operation = "pack, password" if password else "pack"
        for tool, (argv, cwd) in self.pack_commands(source, "", password).items():
            archive = os.path.join(self.work, "out.zip")
            clean(archive)
            argv = [archive if a == "" else a for a in argv]
            settle()
            sample = run_measured(argv, cwd, self.log)
            self.record((set_name, operation, tool), sample)
            if tool != "floor":
                self.sizes[(set_name, operation, tool)] = (
                    os.path.getsize(archive) if os.path.exists(archive) else 0)
            clean(archive)

    def unpack_round(self, set_name, archive, expect, password, rep):
        """Each run unpacks into a folder of its own, all kept until the
        benchmark ends: when ext4 (without a journal, as here) allocates
        inodes it passes over those freed in the last seconds, or minutes
        while their table block is dirty, so deleting one tool's output would
        charge the next tool seconds of system time."""
        operation = "unpack, password" if password else "unpack"
        check = rep == 0
        for tool, (argv, cwd) in self.unpack_commands(archive, "", password).items():
            leaf = ("%s-%s-%s-%d" % (set_name, operation, tool, rep)).replace(" ", "_").replace(",", "")
            dest = os.path.join(self.work, "out", leaf)
            clean(dest)
            os.makedirs(dest)
            argv = [dest if a == "" else ("-o" + dest if a == "-o" else a) for a in argv]
            settle()
            sample = run_measured(argv, cwd, self.log)
            if check:
                got = tree_facts(dest)
                self.checks[(set_name, operation, tool)] = got == expect
            self.record((set_name, operation, tool), sample)

    def clean_unpacked(self):
        clean(os.path.join(self.work, "out"))
        settle()

    def reference_archive(self, set_name, source, password):
        """The archive every unpacker reads: made once by zip -6 (-P)."""
        archive = os.path.join(self.work, "%s%s.zip" % (set_name, "-pw" if password else ""))
        clean(archive)
        argv = ["zip", "-q", "-r", "-6"] + (["-P", PASSWORD] if password else []) + [archive, "."]
        subprocess.run(argv, cwd=source, check=True)
        return archive

    def run(self):
        corpus = self.args.corpus
        sets = [("full", corpus), ("small", os.path.join(corpus, "small"))]
        if self.args.only_small:
            sets = sets[1:]
        facts = {name: tree_facts(path) for name, path in sets}
        self.facts = facts
        references = {}
        for name, path in sets:
            references[(name, False)] = self.reference_archive(name, path, False)
            references[(name, True)] = self.reference_archive(name, path, True)
        # One untimed read of everything, so that every tool finds the
        # corpus in the page cache.
        subprocess.run([self.floor, corpus], stdout=subprocess.DEVNULL, check=False)

        for rep in range(self.args.reps):
            print("round %d of %d (load %.2f)" % (rep + 1, self.args.reps, os.getloadavg()[0]),
                  flush=True)
            for name, path in sets:
                self.pack_round(name, path, False)
                self.pack_round(name, path, True)
                self.unpack_round(name, references[(name, False)], facts[name], False, rep)
                self.unpack_round(name, references[(name, True)], facts[name], True, rep)
        for archive in references.values():
            clean(archive)
        self.clean_unpacked()
        self.sets = sets

    # ------------------------------------------------------------ memory

    def memory_check(self):
        """Peak memory packing and unpacking one zero-byte file and one
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
        out = {}
        for name, folder in (("empty", empty_dir), ("1 GiB", big_dir)):
            for way, pack_argv in (("class", [self.host, "pack"]), ("C, threads 0", [self.host, "pack-c", "0"])):
                archive = os.path.join(base, name.replace(" ", "") + ".zip")
                dest = os.path.join(base, "out")
                settle()
                pack = run_measured(pack_argv + [folder, archive], None, self.log)
                os.makedirs(dest)
                settle()
                unpack = run_measured([self.host, "unpack", archive, dest], None, self.log)
                same = os.path.getsize(os.path.join(dest, "big.txt")) == os.path.getsize(os.path.join(folder, "big.txt"))
                out[(name, way)] = (pack, unpack, same)
                clean(dest)
                clean(archive)
        clean(base)
        return out

    def stop_check(self):
        """Milliseconds from parcelon_stop to the packing call's return,
        the stop coming two seconds into a 2 GiB file, three times each."""
        archive = os.path.join(self.work, "stopped.zip")
        out = []
        for level in ("6", "9"):
            for threads in ("1", "0"):
                times = []
                for _ in range(3):
                    clean(archive)
                    result = subprocess.run([self.host, "stop", threads, level, "2000", self.args.stop_file, archive],
                                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
                    if result.returncode == 0:
                        times.append(float(result.stdout.split()[0]))
                clean(archive)
                out.append((level, threads, times))
        return out

    # ------------------------------------------------------------ report

    def median(self, key, field):
        return statistics.median(getattr(s, field) for s in self.results[key])

    def spread(self, key):
        walls = [s.wall for s in self.results[key]]
        return min(walls), max(walls)

    def table(self):
        lines = []
        described = {
            "full": "Whole corpus",
            "small": "Small files alone (small/)",
        }
        for name, _ in self.sets:
            files, size = self.facts[name]
            lines.append("")
            lines.append("%s: %d files, %.1f MiB" % (described[name], files, size / 1048576.0))
            for operation in ("pack", "pack, password", "unpack", "unpack, password"):
                keys = [k for k in self.results if k[0] == name and k[1] == operation]
                if not keys:
                    continue
                library = self.median((name, operation, "Parcelon"), "wall")
                lines.append("")
                title = {"pack": "Packing, level 6", "pack, password": "Packing, level 6, password",
                         "unpack": "Unpacking (the archive zip -6 made)",
                         "unpack, password": "Unpacking with password (the archive zip -6 -P made)"}[operation]
                lines.append("  " + title)
                lines.append("  | %-16s | %-22s | %7s | %8s | %11s | %9s |" %
                             ("tool", "wall s, median [min-max]", "CPU s", "peak MiB", "archive MiB", "× library"))
                lines.append("  |%s|%s|%s|%s|%s|%s|" % ("-" * 18, "-" * 24, "-" * 9, "-" * 10, "-" * 13, "-" * 11))
                for key in keys:
                    tool = key[2]
                    wall = self.median(key, "wall")
                    low, high = self.spread(key)
                    cpu = self.median(key, "cpu")
                    peak = self.median(key, "peak_kib") / 1024.0
                    size = self.sizes.get(key)
                    size_text = "%.1f" % (size / 1048576.0) if size is not None else "-"
                    flags = ""
                    if not all(s.ok for s in self.results[key]):
                        flags += " (failed)"
                    if self.checks.get(key) is False:
                        flags += " (wrong output)"
                    lines.append("  | %-16s | %6.2f [%5.2f-%6.2f]   | %7.2f | %8.1f | %11s | %8.2f× |%s" %
                                 (tool, wall, low, high, cpu, peak, size_text,
                                  wall / library if library > 0 else float("inf"), flags))
        return lines

    def targets(self):
        def ratio(set_name, operation, tool, field, mine="Parcelon"):
            a = (set_name, operation, mine)
            b = (set_name, operation, tool)
            if a not in self.results or b not in self.results:
                return None
            other = self.median(b, field)
            return self.median(a, field) / other if other > 0 else float("inf")

        threads = "C, %d threads" % os.cpu_count()
        rows = [
            ("packing: library / zip -6", "full", "pack", "zip -6", 0.70),
            ("small files: library / zip -6", "small", "pack", "zip -6", 0.80),
            ("packing, C threads 0 / zip -6", "full", "pack", "zip -6", 0.40, threads),
            ("password: library / zip -6 -P", "full", "pack, password", "zip -6 -P", 0.75),
            ("unpacking: library / unzip", "full", "unpack", "unzip", 0.70),
            ("password: library / unzip -P", "full", "unpack, password", "unzip -P", 0.55),
            ("small files unpacking: library / unzip", "small", "unpack", "unzip", 0.70),
        ]
        lines = ["", "Targets: median wall time of the library divided by the other's (and the same",
                 "for CPU time, which other work on the machine disturbs less)"]
        for row in rows:
            label, set_name, operation, tool, limit = row[:5]
            mine = row[5] if len(row) > 5 else "Parcelon"
            wall = ratio(set_name, operation, tool, "wall", mine)
            cpu = ratio(set_name, operation, tool, "cpu", mine)
            if wall is None:
                continue
            lines.append("  %-40s wall %5.2f  CPU %5.2f  (at most %.2f: %s)" %
                         (label, wall, cpu, limit, "met" if wall <= limit else "MISSED"))
        for set_name in ("full", "small"):
            mine = self.sizes.get((set_name, "pack", "Parcelon"))
            theirs = self.sizes.get((set_name, "pack", "zip -6"))
            if mine and theirs:
                lines.append("  %-40s %.4f (at most 1.00: %s)" % (
                    "archive size, %s: library / zip -6" % set_name, mine / theirs,
                    "met" if mine <= theirs else "MISSED"))
        peaks = [self.median(k, "peak_kib") / 1024.0 for k in self.results
                 if k[2] in ("Parcelon", "C, 1 thread", threads)]
        if peaks:
            lines.append("  %-40s %.1f MiB (at most 64: %s)" % (
                "peak memory, the library's runs", max(peaks), "met" if max(peaks) <= 64 else "MISSED"))
        return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="build folder with bench/parcelon_bench_host")
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--work", required=True, help="scratch folder for archives and output")
    parser.add_argument("--reps", type=int, default=3, help="rounds (0: the memory check alone)")
    parser.add_argument("--big", help="the 1 GiB file for the peak-memory check (skipped without)")
    parser.add_argument("--only-small", action="store_true", help="run the small-file set only")
    parser.add_argument("--stop-file", help="the 2 GiB file for the stop check (skipped without)")
    args = parser.parse_args()

    bench = Bench(args)
    started = time.time()
    load_before = os.getloadavg()
    lines = ["Parcelon benchmark: %d rounds, %s, %d CPUs; load average at start %.2f %.2f %.2f" %
             (args.reps, time.strftime("%Y-%m-%d %H:%M"), os.cpu_count(), *load_before)]
    if args.reps > 0:
        bench.run()
        lines += bench.table()
        lines += bench.targets()
    if args.big:
        memory = bench.memory_check()
        lines.append("")
        lines.append("Peak memory (MiB): one zero-byte file against one 1 GiB file (at most 64)")
        for way in ("class", "C, threads 0"):
            empty_pack, empty_unpack, _ = memory[("empty", way)]
            big_pack, big_unpack, same = memory[("1 GiB", way)]
            for label, empty, big in (("pack", empty_pack, big_pack), ("unpack", empty_unpack, big_unpack)):
                lines.append("  %-13s %-7s empty %6.1f   1 GiB %6.1f (%s)   1 GiB took %.1f s%s" %
                             (way, label, empty.peak_kib / 1024.0, big.peak_kib / 1024.0,
                              "met" if big.peak_kib <= 64 * 1024 and big.ok else "MISSED", big.wall,
                              "" if big.ok else " (failed)"))
            if not same:
                lines.append("  the unpacked 1 GiB file has the wrong size (%s)" % way)
    if args.stop_file:
        lines.append("")
        lines.append("Stop: ms from parcelon_stop to the call's return, two seconds into a 2 GiB file (at most 200)")
        for level, threads, times in bench.stop_check():
            text = ", ".join("%.0f" % t for t in times) if times else "failed"
            worst = max(times) if times else float("inf")
            lines.append("  level %s, threads %s: %s (%s)" % (level, threads, text, "met" if worst <= 200 else "MISSED"))
    lines.append("")
    lines.append("load average at end %.2f %.2f %.2f; %.0f s in all" %
                 (*os.getloadavg(), time.time() - started))
    print("\n".join(lines))
    if args.reps and os.path.getsize(bench.log) > 0:
        print("(the tools' messages are in %s)" % bench.log)


if __name__ == "__main__":
    main()
