// A host's use of Parcelon from C#: pack a folder with progress, list and
// extract it, then pack again on a worker thread and stop that from the
// main thread, as a Cancel button would.
//   PackExtractExample.exe <work folder>
// Exits 1 when a result is not what it should be.
using System;
using System.IO;
using System.Linq;
using System.Threading;
using System.Threading.Tasks;
using Parcelon;

internal static class PackExtractExample
{
    private static int Main(string[] args)
    {
        if (args.Length != 1)
        {
            Console.Error.WriteLine("usage: PackExtractExample.exe <work folder>");
            return 2;
        }
        var work = Path.GetFullPath(args[0]);
        var source = MakeFiles(Path.Combine(work, "source"));
        var zip = Path.Combine(work, "example.zip");
        var dest = Path.Combine(work, "extracted");
        if (Directory.Exists(dest))
            Directory.Delete(dest, true);

        Console.WriteLine("Parcelon " + Archiver.LibraryVersion);
        using (var archiver = new Archiver { WriteErrorLines = false })
        {
            // Failures that do not end a call (a file left out, an entry passed over) as they happen.
            archiver.EntryFailed += (sender, e) => Console.WriteLine("  reported: {0} {1}", e.Failure.Code, e.Failure.Path);

            var packed = archiver.ZipDirectory(source, zip, new DirectoryPackOptions { Password = "example" },
                                               new ConsoleProgress("packing"));
            Console.WriteLine("packed, {0} file(s) left out", packed.Failures.Count);

            foreach (var entry in archiver.List(zip))
                Console.WriteLine("  {0,-24} {1,8} bytes{2}", entry.Name, entry.Size, entry.IsEncrypted ? ", encrypted" : "");

            try
            {
                archiver.Extract(zip, dest, new ExtractOptions { Password = "wrong" });
                return Fail("a wrong password was taken");
            }
            catch (ParcelonException error)
            {
                Console.WriteLine("a wrong password: {0} ({1}), {2}", error.Code, error.Message, error.LibraryMessage);
            }
            archiver.Extract(zip, dest, new ExtractOptions { Password = "example" }, new ConsoleProgress("extracting"));
            foreach (var file in Directory.GetFiles(source))
                if (!File.ReadAllBytes(file).SequenceEqual(File.ReadAllBytes(Path.Combine(dest, Path.GetFileName(file)))))
                    return Fail(file + " came back different");
            Console.WriteLine("extracted, same bytes");

            // Stop: the packing runs on a worker thread; the main thread cancels it once it is under way.
            using (var cts = new CancellationTokenSource())
            {
                var underWay = new ManualResetEventSlim();
                // Past 10 % the worker waits for the cancel, so that the stop lands
                // inside the packing however fast the machine is.
                var progress = new ConsoleProgress("packing to be stopped", value =>
                {
                    if (value < 10)
                        return;
                    underWay.Set();
                    cts.Token.WaitHandle.WaitOne();
                });
                var packing = Task.Run(() => archiver.ZipDirectory(source, zip, null, progress, cts.Token));
                underWay.Wait();
                cts.Cancel();
                try
                {
                    packing.Wait();
                    return Fail("the stopped packing ran to its end");
                }
                catch (AggregateException error) when (error.InnerException is ParcelonCanceledException)
                {
                    var stopped = (ParcelonCanceledException)error.InnerException;
                    Console.WriteLine("stopped: {0}, archive complete: {1}", stopped.Code, stopped.ArchiveComplete);
                }
            }
            long total = Directory.GetFiles(source).Sum(f => new FileInfo(f).Length);
            long kept = archiver.List(zip).Sum(e => e.Size);
            if (!archiver.Test(zip).IsSound || kept >= total)
                return Fail("the stopped archive should be sound and hold less than " + total + " bytes");
            Console.WriteLine("the stopped archive is sound and holds {0} of {1} bytes", kept, total);
        }
        return 0;
    }

    private static string MakeFiles(string folder)
    {
        Directory.CreateDirectory(folder);
        var random = new Random(1);
        var bytes = new byte[1 << 20];
        for (int i = 0; i < 4; i++)
        {
            random.NextBytes(bytes);
            File.WriteAllBytes(Path.Combine(folder, "data" + i + ".bin"), bytes);
        }
        File.WriteAllText(Path.Combine(folder, "说明.txt"), "Parcelon example\n");
        return folder;
    }

    private static int Fail(string why)
    {
        Console.Error.WriteLine("example failed: " + why);
        return 1;
    }

    // Writes each percentage. Progress<T> would do for a GUI: made on the UI
    // thread, it hands the values to that thread.
    private sealed class ConsoleProgress : IProgress<int>
    {
        private readonly string what;
        private readonly Action<int> also;

        internal ConsoleProgress(string what, Action<int> also = null)
        {
            this.what = what;
            this.also = also;
        }

        public void Report(int value)
        {
            if (value % 25 == 0 || value == 1)
                Console.WriteLine("  {0}: {1}%", what, value);
            if (also != null)
                also(value);
        }
    }
}
