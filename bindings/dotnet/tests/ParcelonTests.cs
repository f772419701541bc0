// The C# binding's tests, as a console program (no test framework: only
// Mono's compiler and runtime are at hand). Usage:
//   mono ParcelonTests.exe <entry layout file> <scratch folder>
// The layout file is what bindings/layout/entry_layout.c prints. Exits 1 if
// any check fails.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Text;
using System.Threading;
using Parcelon;

internal static class ParcelonTests
{
    private static string layoutFile;
    private static string scratch;

    private static int Main(string[] args)
    {
        if (args.Length != 2)
        {
            Console.Error.WriteLine("usage: ParcelonTests.exe <entry layout file> <scratch folder>");
            return 2;
        }
        layoutFile = args[0];
        scratch = Path.GetFullPath(args[1]);
        var cases = new List<KeyValuePair<string, Action>>
        {
            Case("entry record laid out as C lays it out", EntryLayout),
            Case("pack and extract trees, compare bytes", RoundTrips),
            Case("progress rises, once per percentage, ends with 100", ProgressValues),
            Case("a token cancelled from another thread stops packing", CancelPacking),
            Case("a token cancelled from another thread stops extraction", CancelExtraction),
            Case("errors carry the library's code, text and line", Errors),
            Case("list gives UTF-8 names, sizes, CRCs, flags", Listing),
            Case("test names the damaged entry; keep going extracts the rest", DamagedArchive),
            Case("overwrite modes and the report function", Overwrite),
            Case("files left out of a packing are reported", FilesLeftOut),
            Case("a handler's exception stops the call and is thrown again", HandlerExceptions),
            Case("arguments refused before the library is called", Arguments),
            Case("AES-256 and the portable style reach the library, each call its own", PackingChoices),
        };
        int failed = 0;
        foreach (var c in cases)
        {
            try
            {
                c.Value();
                Console.WriteLine("ok    " + c.Key);
            }
            catch (Exception error)
            {
                failed++;
                Console.WriteLine("FAIL  " + c.Key + "\n      " + error.ToString().Replace("\n", "\n      "));
            }
        }
        Console.WriteLine(failed == 0 ? "all " + cases.Count + " cases passed"
                                      : failed + " of " + cases.Count + " cases failed");
        return failed == 0 ? 0 : 1;
    }

    private static KeyValuePair<string, Action> Case(string name, Action body)
    {
        return new KeyValuePair<string, Action>(name, body);
    }

    // ------------------------------------------------------------ cases

    private static void EntryLayout()
    {
        var c = File.ReadAllLines(layoutFile).Where(l => l.Trim().Length > 0)
                    .Select(l => l.Split(' ')).ToDictionary(p => p[0], p => long.Parse(p[1]));
        var mine = Parcelon.NativeEntry.Layout();
        Check.Equal(10, c.Count, "lines of the C layout");
        foreach (var field in c)
        {
            Check.True(mine.ContainsKey(field.Key), "the C# record has " + field.Key);
            Check.Equal(field.Value, mine[field.Key], "offset (or size) of " + field.Key);
        }
        Check.Equal(c.Count, mine.Count, "fields of the C# record");
    }

    private static void RoundTrips()
    {
        var source = Tree.Make(Fresh("round-source"));
        var runs = new[]
        {
            new { Name = "no password", Options = new DirectoryPackOptions(), Password = (string)null },
            new { Name = "level 0", Options = new DirectoryPackOptions { Level = 0 }, Password = (string)null },
            new { Name = "password", Options = new DirectoryPackOptions { Level = 9, Password = "s3cret pw" },
                  Password = "s3cret pw" },
        };
        foreach (var run in runs)
        {
            using (var archiver = new Archiver())
            {
                var zip = Path.Combine(scratch, "round.zip");
                var dest = Fresh("round-dest");
                var packed = archiver.ZipDirectory(source, zip, run.Options);
                Check.Equal(0, packed.Failures.Count, run.Name + ": files left out");
                archiver.Extract(zip, dest, new ExtractOptions { Password = run.Password });
                Tree.AssertSame(source, dest, run.Name);
            }
        }

        // A password that is not ASCII, in the encoding the host chose.
        using (var archiver = new Archiver { PasswordEncoding = Encoding.UTF8, WriteErrorLines = false })
        {
            var zip = Path.Combine(scratch, "round-utf8.zip");
            var dest = Fresh("round-utf8-dest");
            archiver.ZipFiles(new[] { Path.Combine(source, "a.txt") }, zip, new PackOptions { Password = "密码パス" });
            var wrong = Check.Throws<ParcelonException>(
                () => archiver.Extract(zip, dest, new ExtractOptions { Password = "密码" }), "wrong password");
            Check.Equal(ErrorCode.WrongPassword, wrong.Code, "code of a wrong password");
            Check.Equal("a.txt", wrong.Path, "the entry a wrong password names");
            archiver.Extract(zip, dest, new ExtractOptions { Password = "密码パス" });
            Check.Bytes(File.ReadAllBytes(Path.Combine(source, "a.txt")), File.ReadAllBytes(Path.Combine(dest, "a.txt")),
                        "a.txt under a UTF-8 password");
        }
    }

    private static void ProgressValues()
    {
        var source = Tree.Make(Fresh("progress-source"));
        var zip = Path.Combine(scratch, "progress.zip");
        using (var archiver = new Archiver())
        {
            var runs = new Dictionary<string, Action<IProgress<int>>>
            {
                { "ZipDirectory", p => archiver.ZipDirectory(source, zip, null, p) },
                { "ZipFiles", p => archiver.ZipFiles(Directory.GetFiles(source, "*", SearchOption.AllDirectories), zip, null, p) },
                { "Extract", p => archiver.Extract(zip, Fresh("progress-dest"), null, p) },
                { "Test", p => archiver.Test(zip, null, p) },
            };
            foreach (var run in runs)
            {
                var seen = new List<int>();
                run.Value(new Callback(seen.Add));
                var got = run.Key + ": got [" + string.Join(", ", seen) + "]";
                Check.True(seen.Count >= 2, got);
                for (int i = 1; i < seen.Count; i++)
                    Check.True(seen[i] > seen[i - 1], "rising: " + got);
                Check.True(seen.All(v => v >= 0 && v <= 100), "percentages: " + got);
                Check.Equal(100, seen.Last(), "the last value: " + got);
            }
        }
    }

    private static void CancelPacking()
    {
        var source = Big.Make(Fresh("cancel-pack-source"));
        var zip = Path.Combine(scratch, "cancel-pack.zip");
        using (var archiver = new Archiver())
        using (var cts = new CancellationTokenSource())
        {
            var stopped = Check.Throws<ParcelonCanceledException>(
                () => archiver.ZipDirectory(source, zip, new DirectoryPackOptions { Level = 1 },
                                            Big.CancelFromAnotherThread(cts), cts.Token), "cancelled packing");
            Check.Equal(ErrorCode.Stopped, stopped.Code, "code of a stopped packing");
            Check.Equal((int)ErrorCode.Stopped, 3, "PARCELON_STOPPED");
            Check.True(stopped.ArchiveComplete, "a stopped packing leaves a complete archive");
            Check.Equal(cts.Token, stopped.CancellationToken, "the exception's token");
            Check.True(archiver.Test(zip).IsSound, "the stopped archive tests sound");
            long packed = archiver.List(zip).Sum(e => e.Size);
            Check.True(packed < Big.Total, "the stopped archive holds less: " + packed + " of " + Big.Total);

            // The same archiver packs everything once more: the stop was that call's alone.
            archiver.ZipDirectory(source, zip, new DirectoryPackOptions { Level = 1 });
            Check.Equal(Big.Total, archiver.List(zip).Sum(e => e.Size), "bytes packed after the cancelled call");
        }

        // A token cancelled before the call: nothing is written.
        using (var archiver = new Archiver())
        using (var cts = new CancellationTokenSource())
        {
            var untouched = Path.Combine(scratch, "never.zip");
            cts.Cancel();
            Check.Throws<OperationCanceledException>(
                () => archiver.ZipDirectory(source, untouched, null, null, cts.Token), "a cancelled token");
            Check.True(!File.Exists(untouched), "no archive for a call cancelled before it began");
        }
    }

    private static void CancelExtraction()
    {
        var source = Big.Make(Fresh("cancel-extract-source"));
        var zip = Path.Combine(scratch, "cancel-extract.zip");
        var dest = Fresh("cancel-extract-dest");
        using (var archiver = new Archiver())
        using (var cts = new CancellationTokenSource())
        {
            archiver.ZipDirectory(source, zip, new DirectoryPackOptions { Level = 0 });
            var stopped = Check.Throws<ParcelonCanceledException>(
                () => archiver.Extract(zip, dest, null, Big.CancelFromAnotherThread(cts), cts.Token),
                "cancelled extraction");
            Check.Equal(ErrorCode.Stopped, stopped.Code, "PARCELON_E_STOPPED");
            Check.True(!stopped.ArchiveComplete, "an extraction has no archive to complete");
            var written = Directory.GetFiles(dest, "*", SearchOption.AllDirectories);
            Check.True(written.Length < Directory.GetFiles(source).Length,
                       "a stopped extraction wrote fewer files: " + written.Length);
            foreach (var file in written) // the entry in progress leaves nothing, not even part of itself
                Check.Bytes(File.ReadAllBytes(Path.Combine(source, Path.GetFileName(file))), File.ReadAllBytes(file),
                            "extracted before the stop: " + file);

            archiver.Extract(zip, dest);
            Tree.AssertSame(source, dest, "extraction after the cancelled one");
        }
    }

    private static void Errors()
    {
        var missing = Path.Combine(scratch, "不存在の.zip");
        using (var archiver = new Archiver { WriteErrorLines = false })
        {
            var calls = new Dictionary<string, Action>
            {
                { "Extract", () => archiver.Extract(missing, Fresh("errors-dest")) },
                { "Test", () => archiver.Test(missing) },
                { "List", () => archiver.List(missing) },
            };
            foreach (var call in calls)
            {
                var error = Check.Throws<ParcelonException>(call.Value, call.Key + " of a missing archive");
                Check.Equal(ErrorCode.CannotOpenArchive, error.Code, call.Key + ": code");
                Check.Equal("the archive cannot be opened, or is no ZIP archive", error.ErrorText, call.Key + ": text");
                Check.Equal(Archiver.GetErrorText(ErrorCode.CannotOpenArchive), error.ErrorText, call.Key);
                Check.Equal(missing, error.Path, call.Key + ": path");
                Check.True(error.Message.StartsWith(error.ErrorText) && error.Message.EndsWith(missing),
                           call.Key + ": message, got " + error.Message);
                // The library's line for an archive it cannot open names no path; the exception does.
                Check.Equal("解压错误：打开zip文件失败", error.LibraryMessage, call.Key + ": the library's line, from UTF-8");
                Check.True(error is IOException, call.Key + ": an IOException");
            }
        }
        Check.Equal("unknown error", Archiver.GetErrorText((ErrorCode)999), "text of a number that is no code");
        Check.Equal("1.2.0", Archiver.LibraryVersion, "the library's version");
    }

    private static void Listing()
    {
        var source = Tree.Make(Fresh("list-source"));
        var zip = Path.Combine(scratch, "list.zip");
        using (var archiver = new Archiver())
        {
            archiver.ZipDirectory(source, zip, new DirectoryPackOptions { Password = "pw" });
            var entries = archiver.List(zip);
            var files = entries.Where(e => !e.IsFolder).ToList();
            Check.Equal(Tree.Files.Length, files.Count, "file entries");
            foreach (var file in Tree.Files)
            {
                var name = file.Replace('/', '\\');
                var entry = files.SingleOrDefault(e => e.Name.Replace('/', '\\') == name);
                if (entry == null && !Tree.RuntimeNamesFilesAsLibrary() && name.Any(c => c > 0x7F))
                    continue; // the library read the runtime's UTF-8 name in the locale's character set
                Check.True(entry != null, "an entry named " + name + " among " + string.Join(", ", entries));
                var bytes = File.ReadAllBytes(Path.Combine(source, file));
                Check.Equal((long)bytes.Length, entry.Size, name + ": size");
                Check.Equal(Crc32.Of(bytes), entry.Crc32, name + ": CRC-32");
                Check.Equal(CompressionMethod.Deflate, entry.Method, name + ": method");
                Check.True(entry.IsEncrypted, name + ": encrypted");
                Check.True(entry.CompressedSize >= 12, name + ": compressed size includes the encryption header");
                // The library packs every file with one fixed date, 1 January 1980 at 00:00 local time.
                var fixedDate = new DateTimeOffset(1980, 1, 1, 0, 0, 0, TimeSpan.Zero);
                Check.True(Math.Abs((entry.LastWriteTime - fixedDate).TotalHours) <= 14,
                           name + ": the packing date, got " + entry.LastWriteTime);
            }
            Check.True(entries.Where(e => e.IsFolder).Any(e => e.Name.TrimEnd('/', '\\') == "sub"), "a folder entry for sub");
            for (int i = 0; i < entries.Count; i++)
                Check.Equal((long)i, entries[i].Index, "index of entry " + i);
        }
    }

    private static void DamagedArchive()
    {
        var source = Fresh("damaged-source");
        var marker = Encoding.ASCII.GetBytes("BAD-ENTRY-MARKER-" + new string('x', 200));
        File.WriteAllText(Path.Combine(source, "first.txt"), "first file");
        File.WriteAllBytes(Path.Combine(source, "middle.txt"), marker);
        File.WriteAllText(Path.Combine(source, "last.txt"), "last file");
        var zip = Path.Combine(scratch, "damaged.zip");
        using (var archiver = new Archiver { WriteErrorLines = false })
        {
            var reported = new List<EntryFailure>();
            archiver.EntryFailed += (sender, e) => reported.Add(e.Failure);
            archiver.ZipDirectory(source, zip, new DirectoryPackOptions { Level = 0 });
            Check.True(archiver.Test(zip).IsSound, "sound before the damage");

            var bytes = File.ReadAllBytes(zip); // level 0: the marker is stored as it is
            int at = IndexOf(bytes, marker);
            Check.True(at > 0, "the marker in the stored archive");
            bytes[at + 100] ^= 0x20;
            File.WriteAllBytes(zip, bytes);

            var tested = archiver.Test(zip);
            Check.True(!tested.IsSound, "damaged archive tests unsound");
            Check.Equal(1, tested.Failures.Count, "entries found damaged: " + string.Join(", ", tested.Failures));
            Check.Equal("middle.txt", tested.Failures[0].Path, "the damaged entry");
            Check.Equal(ErrorCode.DataCorrupt, tested.Failures[0].Code, "its code");
            Check.True(tested.Failures[0].Message.EndsWith("middle.txt"), "its line names it");
            Check.Equal(1, reported.Count, "EntryFailed raised for it");

            var dest = Fresh("damaged-dest");
            var failed = Check.Throws<ParcelonException>(
                () => archiver.Extract(zip, dest, new ExtractOptions { KeepGoing = true }), "keep going");
            Check.Equal(ErrorCode.DataCorrupt, failed.Code, "keep going: the failure's code");
            Check.Equal("middle.txt", failed.Path, "keep going: the failed entry");
            Check.Equal(1, failed.Failures.Count, "keep going: failures");
            Check.True(File.Exists(Path.Combine(dest, "first.txt")) && File.Exists(Path.Combine(dest, "last.txt")),
                       "keep going: the sound entries are extracted");
            Check.True(!File.Exists(Path.Combine(dest, "middle.txt")), "keep going: the damaged one leaves nothing");
        }
    }

    private static void Overwrite()
    {
        var source = Tree.Make(Fresh("overwrite-source"));
        var zip = Path.Combine(scratch, "overwrite.zip");
        var dest = Fresh("overwrite-dest");
        var kept = Path.Combine(dest, "a.txt");
        using (var archiver = new Archiver { WriteErrorLines = false })
        {
            archiver.ZipDirectory(source, zip);
            archiver.Extract(zip, dest);
            File.WriteAllText(kept, "changed by the host");
            var events = new List<string>();
            archiver.EntryFailed += (sender, e) => events.Add(e.Failure.Path);

            var skipped = archiver.Extract(zip, dest, new ExtractOptions { Overwrite = OverwriteMode.Skip });
            Check.Equal("changed by the host", File.ReadAllText(kept), "Skip keeps the file");
            Check.Equal(Tree.Files.Length, skipped.Failures.Count, "Skip reports every file entry");
            Check.True(skipped.Failures.All(f => f.Code == ErrorCode.Exists), "Skip reports Exists");
            Check.True(skipped.Failures.Any(f => f.Path == "a.txt"), "Skip names a.txt");
            Check.Sequence(skipped.Failures.Select(f => f.Path).ToList(), events, "EntryFailed for each, in order");

            var refused = Check.Throws<ParcelonException>(
                () => archiver.Extract(zip, dest, new ExtractOptions { Overwrite = OverwriteMode.Fail,
                                                                       Patterns = { "a.*" } }),
                "Fail");
            Check.Equal(ErrorCode.Exists, refused.Code, "Fail: code");
            Check.Equal("a.txt", refused.Path, "Fail: entry");
            Check.Equal("changed by the host", File.ReadAllText(kept), "Fail keeps the file");

            var replaced = archiver.Extract(zip, dest);
            Check.Equal(0, replaced.Failures.Count, "Replace reports nothing");
            Tree.AssertSame(source, dest, "Replace");
        }
    }

    private static void FilesLeftOut()
    {
        var source = Tree.Make(Fresh("left-out-source"));
        var zip = Path.Combine(scratch, "left-out.zip");
        var missing = Path.Combine(source, "没有.txt");
        using (var archiver = new Archiver { WriteErrorLines = false })
        {
            var result = archiver.ZipFiles(new[] { Path.Combine(source, "a.txt"), missing, Path.Combine(source, "sub") },
                                           zip);
            Check.Equal(2, result.Failures.Count, "files left out: " + string.Join(", ", result.Failures));
            Check.Equal(ErrorCode.SourceMissing, result.Failures[0].Code, "a missing file's code");
            Check.Equal(missing, result.Failures[0].Path, "a missing file's path");
            Check.Equal(ErrorCode.CannotOpenSource, result.Failures[1].Code, "a folder in the list");
            // As the class does: the folder, which cannot be opened as a file, leaves an empty entry.
            var entries = archiver.List(zip);
            Check.Sequence(new[] { "a.txt", "sub" }, entries.Select(e => e.Name).ToArray(), "what was packed");
            Check.Equal(0L, entries[1].Size, "the folder's entry is empty");
        }
    }

    private static void HandlerExceptions()
    {
        var source = Big.Make(Fresh("handler-source"));
        var zip = Path.Combine(scratch, "handler.zip");
        using (var archiver = new Archiver())
        {
            var thrown = Check.Throws<HandlerException>(
                () => archiver.ZipDirectory(source, zip, null,
                                                  new Callback(v => { throw new HandlerException("from the handler"); })), "a progress handler's exception");
            Check.Equal("from the handler", thrown.Message, "the handler's own exception");
            Check.True(archiver.Test(zip).IsSound, "the archive after a handler's exception");

            // A second call from inside a handler is refused, and that refusal stops the first.
            Check.Throws<InvalidOperationException>(
                () => archiver.ZipDirectory(source, zip, null, new Callback(v => archiver.List(zip))),
                "a call from inside a call");
            archiver.ZipDirectory(source, zip, new DirectoryPackOptions { Level = 1 });
            Check.Equal(Big.Total, archiver.List(zip).Sum(e => e.Size), "the archiver after handlers threw");
        }
    }

    private static void Arguments()
    {
        var archiver = new Archiver();
        var zip = Path.Combine(scratch, "arguments.zip");
        Check.Throws<ArgumentNullException>(() => archiver.ZipFiles(null, zip), "a null list");
        Check.Throws<ArgumentException>(() => archiver.ZipFiles(new string[] { null }, zip), "a null entry");
        Check.Throws<ArgumentException>(() => archiver.ZipFiles(new[] { "a\0b" }, zip), "a null character");
        Check.Throws<ArgumentException>(() => archiver.ZipFiles(new[] { "\ud800.txt" }, zip), "an unpaired surrogate");
        Check.Throws<ArgumentOutOfRangeException>(() => new PackOptions { Level = 10 }, "level 10");
        Check.Throws<ArgumentOutOfRangeException>(() => archiver.Threads = -1, "threads -1");
        Check.Throws<ArgumentOutOfRangeException>(() => new ExtractOptions { MaxRatio = -1 }, "a negative limit");
        Check.True(!File.Exists(zip), "nothing written for refused arguments");
        archiver.Dispose();
        archiver.Dispose();
        Check.Throws<ObjectDisposedException>(() => archiver.List(zip), "a disposed archiver");
    }

    private static void PackingChoices()
    {
        var source = Tree.Make(Fresh("choices-source"));
        Directory.CreateDirectory(Path.Combine(source, "empty"));
        var zip = Path.Combine(scratch, "choices.zip");
        using (var archiver = new Archiver())
        {
            // Portable: '/' names, a folder entry for each folder, empty ones too; the same tree back.
            archiver.ZipDirectory(source, zip, new DirectoryPackOptions { Style = ArchiveStyle.Portable });
            var entries = archiver.List(zip);
            Check.True(entries.Any(e => e.IsFolder && e.Name == "empty/"), "the empty folder's entry");
            Check.True(entries.Any(e => !e.IsFolder && e.Name == "sub/b.bin"), "sub/b.bin with '/'");
            Check.True(entries.All(e => e.LastWriteTime.Year > 1980), "each entry's own time");
            var dest = Fresh("choices-dest");
            archiver.Extract(zip, dest);
            Tree.AssertSame(source, dest, "portable");
            Check.True(Directory.Exists(Path.Combine(dest, "empty")), "the empty folder extracted");

            // AES-256: method 99 and encrypted for files, folders in plain.
            archiver.ZipDirectory(source, zip,
                                  new DirectoryPackOptions { Password = "pw", Encryption = PackEncryption.Aes256 });
            foreach (var entry in archiver.List(zip))
            {
                Check.Equal(!entry.IsFolder, entry.IsEncrypted, entry.Name + ": encrypted");
                Check.Equal(entry.IsFolder ? CompressionMethod.Deflate : CompressionMethod.Aes, entry.Method,
                            entry.Name + ": method");
            }

            // The next call with the defaults writes the classic archive again.
            archiver.ZipDirectory(source, zip);
            Check.True(archiver.List(zip).Any(e => e.Name == "sub\\b.bin"), "classic backslash names again");
            Check.Throws<ArgumentException>(
                () => archiver.ZipFiles(new[] { Path.Combine(source, "a.txt") }, Path.Combine(scratch, "never.zip"),
                                        new PackOptions { Encryption = PackEncryption.Aes256 }),
                "AES without a password");
            Check.True(!File.Exists(Path.Combine(scratch, "never.zip")), "nothing written for AES without a password");
        }
    }

    // ------------------------------------------------------------ helpers

    private static string Fresh(string name)
    {
        var path = Path.Combine(scratch, name);
        if (Directory.Exists(path))
            Directory.Delete(path, true);
        Directory.CreateDirectory(path);
        return path;
    }

    private static int IndexOf(byte[] haystack, byte[] needle)
    {
        for (int i = 0; i + needle.Length <= haystack.Length; i++)
        {
            int j = 0;
            while (j < needle.Length && haystack[i + j] == needle[j])
                j++;
            if (j == needle.Length)
                return i;
        }
        return -1;
    }

    // A small tree with names in Chinese and Japanese.
    private static class Tree
    {
        internal static readonly string[] Files =
        {
            "a.txt", "empty.dat", "sub/b.bin", "sub/深/数据.txt", "日本語/ファイル.txt",
        };

        // .NET and Mono name files in UTF-8 on every POSIX system; the
        // library names them in the locale's character set (as C++ hosts
        // do). The two agree on Windows and under UTF-8 and C locales.
        internal static bool RuntimeNamesFilesAsLibrary()
        {
            if (Path.DirectorySeparatorChar == '\\')
                return true;
            foreach (var variable in new[] { "LC_ALL", "LC_CTYPE", "LANG" })
            {
                var locale = Environment.GetEnvironmentVariable(variable);
                if (!string.IsNullOrEmpty(locale))
                    return !locale.Contains(".") || locale.ToLowerInvariant().Replace("-", "").Contains(".utf8");
            }
            return true;
        }

        internal static string Make(string root)
        {
            var random = new Random(7);
            foreach (var file in Files)
            {
                var path = Path.Combine(root, file);
                Directory.CreateDirectory(Path.GetDirectoryName(path));
                var bytes = new byte[file == "empty.dat" ? 0 : file.EndsWith(".bin") ? 300000 : 5000];
                random.NextBytes(bytes);
                if (file.EndsWith(".txt"))
                    for (int i = 0; i < bytes.Length; i++)
                        bytes[i] = (byte)('a' + bytes[i] % 7);
                File.WriteAllBytes(path, bytes);
            }
            return root;
        }

        internal static void AssertSame(string expected, string actual, string what)
        {
            var want = Relative(expected);
            var got = Relative(actual);
            Check.Equal(string.Join(", ", want), string.Join(", ", got), what + ": files");
            foreach (var file in want)
                Check.Bytes(File.ReadAllBytes(Path.Combine(expected, file)), File.ReadAllBytes(Path.Combine(actual, file)),
                            what + ": " + file);
        }

        private static List<string> Relative(string root)
        {
            return Directory.GetFiles(root, "*", SearchOption.AllDirectories)
                            .Select(f => f.Substring(root.Length + 1)).OrderBy(f => f, StringComparer.Ordinal).ToList();
        }
    }

    // Files large enough for a stop to land inside them.
    private static class Big
    {
        internal const int Files = 4;
        internal const int FileSize = 1 << 20;
        internal const long Total = (long)Files * FileSize;

        internal static string Make(string root)
        {
            var random = new Random(11);
            var bytes = new byte[FileSize];
            for (int i = 0; i < Files; i++)
            {
                random.NextBytes(bytes);
                File.WriteAllBytes(Path.Combine(root, "big" + i + ".bin"), bytes);
            }
            return root;
        }

        // A progress that, at the first percentage of 5 or more, has another
        // thread cancel the token and waits until it has: the stop lands in
        // the middle of the call, however fast the machine.
        internal static IProgress<int> CancelFromAnotherThread(CancellationTokenSource cts)
        {
            var reached = new ManualResetEventSlim();
            var canceller = new Thread(() =>
            {
                reached.Wait();
                cts.Cancel();
            });
            canceller.Start();
            return new Callback(value =>
            {
                if (value < 5 || reached.IsSet)
                    return;
                reached.Set();
                Check.True(cts.Token.WaitHandle.WaitOne(TimeSpan.FromSeconds(30)), "the other thread cancelled");
                canceller.Join();
            });
        }
    }

    // Progress that runs on the call's thread, as the library calls it
    // (Progress<T> would post to the thread pool).
    private sealed class Callback : IProgress<int>
    {
        private readonly Action<int> action;

        internal Callback(Action<int> action)
        {
            this.action = action;
        }

        public void Report(int value)
        {
            action(value);
        }
    }

    private sealed class HandlerException : Exception
    {
        internal HandlerException(string message) : base(message)
        {
        }
    }

    private static class Crc32
    {
        internal static uint Of(byte[] bytes)
        {
            uint crc = 0xFFFFFFFF;
            foreach (var b in bytes)
            {
                crc ^= b;
                for (int k = 0; k < 8; k++)
                    crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
            }
            return ~crc;
        }
    }

    private static class Check
    {
        internal static void True(bool condition, string what)
        {
            if (!condition)
                throw new Exception("check failed: " + what);
        }

        internal static void Equal<T>(T expected, T actual, string what)
        {
            if (!EqualityComparer<T>.Default.Equals(expected, actual))
                throw new Exception("check failed: " + what + ": expected " + expected + ", got " + actual);
        }

        internal static void Sequence<T>(IList<T> expected, IList<T> actual, string what)
        {
            if (!expected.SequenceEqual(actual))
                throw new Exception("check failed: " + what + ": expected [" + string.Join(", ", expected) +
                                    "], got [" + string.Join(", ", actual) + "]");
        }

        internal static void Bytes(byte[] expected, byte[] actual, string what)
        {
            True(expected.SequenceEqual(actual), what + ": bytes differ (" + expected.Length + " and " +
                                                 actual.Length + " bytes)");
        }

        internal static T Throws<T>(Action action, string what) where T : Exception
        {
            try
            {
                action();
            }
            catch (T expected)
            {
                return expected;
            }
            catch (Exception other)
            {
                throw new Exception("check failed: " + what + ": expected " + typeof(T).Name + ", got " + other);
            }
            throw new Exception("check failed: " + what + ": expected " + typeof(T).Name + ", nothing was thrown");
        }
    }
}
