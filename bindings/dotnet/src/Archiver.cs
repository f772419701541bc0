using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using System.Threading;

namespace Parcelon
{
    /// <summary>One archiver of the Parcelon library: packs files or a folder into a new ZIP archive, lists, tests
    /// and extracts archives.</summary>
    /// <remarks>
    /// Run one call at a time; a second call while one runs (from another thread, or from a progress or failure
    /// handler) throws <see cref="InvalidOperationException"/>. Separate archivers share nothing and may run at
    /// once. Dispose it to release the library's archiver at a known point.
    /// <para>Progress: each call reports whole percentages through its <see cref="IProgress{T}"/>, rising, each
    /// once, ending with 100, on the thread that runs the call (a <see cref="Progress{T}"/> made on a UI thread
    /// passes them on to that thread).</para>
    /// <para>Cancellation: cancelling a call's token from any thread stops the library within one block. A
    /// stopped call throws <see cref="ParcelonCanceledException"/>; the archiver stays usable (the library's own
    /// stop lasts for good, so the next call gets a fresh library archiver, with this one's settings, and a later
    /// <see cref="ZipFiles"/> no longer names files relative to the folder of an earlier
    /// <see cref="ZipDirectory"/>).</para>
    /// <para>Failures: a call that fails throws <see cref="ParcelonException"/>. Files left out and entries passed
    /// over do not fail the call; they come back in <see cref="OperationResult.Failures"/> and raise
    /// <see cref="EntryFailed"/> as they happen.</para>
    /// </remarks>
    public sealed class Archiver : IDisposable
    {
        // Kept in fields: the library holds pointers to them for as long as
        // the handle lives.
        private readonly NativeMethods.ProgressCallback onProgress;
        private readonly NativeMethods.ReportCallback onReport;
        private ArchiverHandle handle;
        private CallState current; // the running call's progress and failures
        private int busy; // 1 while a call runs
        private volatile bool stopped; // the handle heard parcelon_stop, which nothing clears
        private bool disposed;
        private int threads = 1;
        private bool writeErrorLines = true;

        public Archiver()
        {
            onProgress = OnProgress;
            onReport = OnReport;
            handle = OpenHandle();
        }

        /// <summary>Raised on the call's thread for every file a packing call leaves out and every entry that
        /// fails, is refused or passed over while extracting or testing. An exception thrown by a handler stops
        /// the call and is thrown again by it.</summary>
        public event EventHandler<EntryFailedEventArgs> EntryFailed;

        /// <summary>The library's version, "1.2.0".</summary>
        public static string LibraryVersion
        {
            get { return Utf8.Decode(NativeMethods.parcelon_version()); }
        }

        /// <summary>The library's short English text for a code; "unknown error" for a number that is no
        /// code.</summary>
        public static string GetErrorText(ErrorCode code)
        {
            return Utf8.Decode(NativeMethods.parcelon_error_text((int)code));
        }

        /// <summary>How many threads a packing call may use: 1 (the default) packs on the calling thread alone, 0
        /// lets the library pick (at most 8 are used). The archive is the same whatever the number.</summary>
        public int Threads
        {
            get { return threads; }
            set
            {
                if (value < 0)
                    throw new ArgumentOutOfRangeException("value", value, "Threads are 0 (the library picks) or more.");
                Configure(() => NativeMethods.parcelon_set_threads(handle, (uint)value));
                threads = value;
            }
        }

        /// <summary>Whether failures also go to the standard error stream as the library's lines (the default).
        /// GUI hosts have no such stream; the failures reach <see cref="EntryFailed"/> and the exceptions
        /// anyway.</summary>
        public bool WriteErrorLines
        {
            get { return writeErrorLines; }
            set
            {
                Configure(() => NativeMethods.parcelon_set_option(handle, NativeMethods.OptionStderr, value ? 1 : 0));
                writeErrorLines = value;
            }
        }

        /// <summary>The encoding of passwords that are not ASCII. null (the default): the code page the library's
        /// C++ hosts pass passwords in, the system ANSI code page on Windows, the locale's character set
        /// elsewhere.</summary>
        public Encoding PasswordEncoding { get; set; }

        /// <summary>Packs the files of the list, in order, into a new archive at <paramref name="zipFile"/> (a file
        /// there is replaced), each entry named by the file's name (or, after <see cref="ZipDirectory"/>, by its
        /// path below that folder).</summary>
        /// <returns>The files left out (missing, unreadable, folders); the others are packed.</returns>
        /// <exception cref="ParcelonException">The archive cannot be written.</exception>
        /// <exception cref="ParcelonCanceledException">The token stopped the call; the archive is complete with
        /// the files packed before.</exception>
        public OperationResult ZipFiles(IEnumerable<string> files, string zipFile, PackOptions options = null,
                                        IProgress<int> progress = null,
                                        CancellationToken cancellationToken = default(CancellationToken))
        {
            if (files == null)
                throw new ArgumentNullException("files");
            options = options ?? new PackOptions();
            var archive = Utf8.Encode(zipFile, "zipFile");
            var password = PasswordText.Encode(options.Password, PasswordEncoding);
            CheckPackingOptions(options);
            using (var list = new Utf8List(files, "files"))
            {
                return Run(h =>
                           {
                               ApplyPackingOptions(h, options);
                               return NativeMethods.parcelon_zip_files_utf8(h, list.Pointers, list.Count, archive,
                                                                            options.NativeLevel, password);
                           },
                           CallKind.Packing, progress, cancellationToken, zipFile, null);
            }
        }

        /// <summary>Packs the files of a folder (and of its subfolders, unless
        /// <see cref="DirectoryPackOptions.Recursive"/> is false) into a new archive at
        /// <paramref name="zipFile"/>, each named by its path below the folder.</summary>
        /// <returns>The files left out; the others are packed.</returns>
        /// <exception cref="ParcelonException">The archive cannot be written, or the file at its path cannot be
        /// removed.</exception>
        /// <exception cref="ParcelonCanceledException">The token stopped the call; the archive is complete with
        /// the files packed before.</exception>
        public OperationResult ZipDirectory(string sourceDirectory, string zipFile, DirectoryPackOptions options = null,
                                            IProgress<int> progress = null,
                                            CancellationToken cancellationToken = default(CancellationToken))
        {
            options = options ?? new DirectoryPackOptions();
            var source = Utf8.Encode(sourceDirectory, "sourceDirectory");
            var archive = Utf8.Encode(zipFile, "zipFile");
            var password = PasswordText.Encode(options.Password, PasswordEncoding);
            CheckPackingOptions(options);
            using (var includes = new Utf8List(options.Includes, "options.Includes"))
            using (var excludes = new Utf8List(options.Excludes, "options.Excludes"))
            {
                return Run(h =>
                           {
                               ApplyPackingOptions(h, options);
                               return NativeMethods.parcelon_zip_directory_utf8(
                                   h, source, archive, options.Recursive ? 1 : 0, options.NativeLevel, password,
                                   options.Minutes, includes.Pointers, includes.Count, excludes.Pointers,
                                   excludes.Count);
                           },
                           CallKind.Packing, progress, cancellationToken, zipFile, sourceDirectory);
            }
        }

        /// <summary>The records of the archive's central directory, in order.</summary>
        /// <exception cref="ParcelonException">The archive is missing, unreadable, or its directory is
        /// damaged.</exception>
        public IReadOnlyList<ArchiveEntry> List(string zipFile)
        {
            var archive = Utf8.Encode(zipFile, "zipFile");
            var entries = new List<ArchiveEntry>();
            Exception failure = null;
            NativeMethods.EntryCallback onEntry = (record, userData) =>
            {
                try
                {
                    entries.Add(NativeEntry.Read(record));
                    return 0;
                }
                catch (Exception error)
                {
                    failure = error;
                    return 1; // ends the listing; the error is thrown once the library has returned
                }
            };
            Run(h =>
                {
                    var result = NativeMethods.parcelon_list_utf8(h, archive, onEntry, IntPtr.Zero);
                    GC.KeepAlive(onEntry);
                    return result;
                },
                CallKind.Reading, null, CancellationToken.None, zipFile, null);
            if (failure != null)
                CallState.Rethrow(failure);
            return entries.AsReadOnly();
        }

        /// <summary>Reads, decrypts, decodes and checks every entry, writing nothing.</summary>
        /// <returns>The damaged entries, each with its failure; <see cref="OperationResult.IsSound"/> when there
        /// are none.</returns>
        /// <exception cref="ParcelonException">The archive cannot be opened, or its directory is damaged.</exception>
        /// <exception cref="ParcelonCanceledException">The token stopped the test.</exception>
        public OperationResult Test(string zipFile, string password = null, IProgress<int> progress = null,
                                    CancellationToken cancellationToken = default(CancellationToken))
        {
            var archive = Utf8.Encode(zipFile, "zipFile");
            var secret = PasswordText.Encode(password, PasswordEncoding);
            return Run(h =>
                       {
                           ApplyReadingOptions(h, new ExtractOptions());
                           return NativeMethods.parcelon_test_utf8(h, archive, secret);
                       },
                       CallKind.Testing, progress, cancellationToken, zipFile, null);
        }

        /// <summary>Extracts the archive's entries (those matching <see cref="ExtractOptions.Patterns"/>, or
        /// every one) into <paramref name="destinationDirectory"/>, which is created when missing. Each file
        /// takes its name only once its size and CRC are checked: a failed or stopped entry leaves
        /// nothing.</summary>
        /// <returns>The entries passed over (<see cref="OverwriteMode.Skip"/>).</returns>
        /// <exception cref="ParcelonException">An entry failed (the first one, or with
        /// <see cref="ExtractOptions.KeepGoing"/> the last of them, all in <see cref="ParcelonException.Failures"/>),
        /// or the archive cannot be read.</exception>
        /// <exception cref="ParcelonCanceledException">The token stopped the extraction; the entries written
        /// before stay.</exception>
        public OperationResult Extract(string zipFile, string destinationDirectory, ExtractOptions options = null,
                                       IProgress<int> progress = null,
                                       CancellationToken cancellationToken = default(CancellationToken))
        {
            options = options ?? new ExtractOptions();
            var archive = Utf8.Encode(zipFile, "zipFile");
            var destination = Utf8.Encode(destinationDirectory, "destinationDirectory");
            var password = PasswordText.Encode(options.Password, PasswordEncoding);
            using (var patterns = new Utf8List(options.Patterns, "options.Patterns"))
            {
                ThrowIfDisposed();
                Directory.CreateDirectory(destinationDirectory);
                return Run(h =>
                           {
                               ApplyReadingOptions(h, options);
                               return NativeMethods.parcelon_extract_utf8(h, archive, destination, password,
                                                                          patterns.Pointers, patterns.Count);
                           },
                           CallKind.Reading, progress, cancellationToken, zipFile, destinationDirectory);
            }
        }

        /// <summary>Releases the library's archiver. A call running on another thread finishes first.</summary>
        public void Dispose()
        {
            if (disposed)
                return;
            disposed = true;
            handle.Dispose();
        }

        // ------------------------------------------------------------ running

        private enum CallKind
        {
            Packing,
            Reading,
            Testing,
        }

        // Runs one call into the library and turns its outcome into a result
        // or an exception: the one place that decides which.
        private OperationResult Run(Func<ArchiverHandle, int> operation, CallKind kind, IProgress<int> progress,
                                    CancellationToken cancellationToken, string archivePath, string folderPath)
        {
            ThrowIfDisposed();
            cancellationToken.ThrowIfCancellationRequested();
            Enter();
            var state = new CallState(progress);
            int result;
            ErrorCode code;
            string message;
            try
            {
                if (stopped)
                    Renew();
                var target = handle;
                current = state;
                using (cancellationToken.Register(() => Stop(target)))
                    result = operation(target);
                code = (ErrorCode)NativeMethods.parcelon_last_error(target);
                message = Utf8.Decode(NativeMethods.parcelon_last_message(target));
            }
            finally
            {
                current = null;
                Leave();
            }

            if (state.HandlerError != null)
                CallState.Rethrow(state.HandlerError);
            var failures = state.Failures.AsReadOnly();
            if (code == ErrorCode.Stopped)
            {
                bool complete = kind == CallKind.Packing && result == 1;
                throw new ParcelonCanceledException(
                    complete ? "The packing was stopped; the archive holds the files packed before the stop."
                             : "The call was stopped.", complete, failures, cancellationToken);
            }
            if (result == 1)
                return new OperationResult(failures);
            var last = LastReported(failures, code, message);
            // A test that found damaged entries has done its work; a test that
            // could not read the archive has not.
            if (kind == CallKind.Testing && last != null)
                return new OperationResult(failures);
            string subject = last != null ? last.Path : SubjectOf(code, archivePath, folderPath);
            throw new ParcelonException(code, GetErrorText(code), message, subject, failures);
        }

        // The reported entry the call's last failure is about, if it was one.
        private static EntryFailure LastReported(IList<EntryFailure> failures, ErrorCode code, string message)
        {
            if (failures.Count == 0)
                return null;
            var last = failures[failures.Count - 1];
            return last.Code == code && last.Message == message ? last : null;
        }

        // Which of the call's paths a failure that names no entry is about.
        private static string SubjectOf(ErrorCode code, string archivePath, string folderPath)
        {
            switch (code)
            {
                case ErrorCode.CannotRemoveOldArchive:
                case ErrorCode.CannotCreateArchive:
                case ErrorCode.CannotCloseArchive:
                case ErrorCode.CannotReplaceArchive:
                case ErrorCode.CannotOpenArchive:
                case ErrorCode.CannotReadArchiveInfo:
                case ErrorCode.CannotFindFirstEntry:
                case ErrorCode.CannotReadEntryInfo:
                    return archivePath;
                case ErrorCode.DestinationMissing:
                    return folderPath;
                default:
                    return string.Empty;
            }
        }

        private void ApplyReadingOptions(ArchiverHandle h, ExtractOptions options)
        {
            SetOption(h, NativeMethods.OptionOverwrite, (long)options.Overwrite);
            SetOption(h, NativeMethods.OptionKeepGoing, options.KeepGoing ? 1 : 0);
            SetOption(h, NativeMethods.OptionMaxTotalBytes, options.MaxTotalBytes);
            SetOption(h, NativeMethods.OptionMaxEntries, options.MaxEntries);
            SetOption(h, NativeMethods.OptionMaxRatio, options.MaxRatio);
            SetOption(h, NativeMethods.OptionRestoreTimes, options.RestoreTimes ? 1 : 0);
        }

        // AES without a password would write no encryption at all.
        private static void CheckPackingOptions(PackOptions options)
        {
            if (options.Encryption == PackEncryption.Aes256 && string.IsNullOrWhiteSpace(options.Password))
                throw new ArgumentException("AES-256 encrypts with a password: set options.Password.", "options");
        }

        // Set on every packing call: the library's archiver keeps them.
        private static void ApplyPackingOptions(ArchiverHandle h, PackOptions options)
        {
            SetOption(h, NativeMethods.OptionEncryption, (long)options.Encryption);
            SetOption(h, NativeMethods.OptionStyle, (long)options.Style);
        }

        private static void SetOption(ArchiverHandle h, int option, long value)
        {
            if (NativeMethods.parcelon_set_option(h, option, value) == 0)
                throw new ArgumentException("The library refused option " + option + " = " + value + ".");
        }

        // A setting takes effect on the library's archiver now, and on every
        // fresh one a stop makes necessary.
        private void Configure(Func<int> apply)
        {
            ThrowIfDisposed();
            Enter();
            try
            {
                if (apply() == 0)
                    throw new ArgumentException("The library refused the setting.");
            }
            finally
            {
                Leave();
            }
        }

        private ArchiverHandle OpenHandle()
        {
            var fresh = NativeMethods.parcelon_new();
            if (fresh.IsInvalid)
                throw new OutOfMemoryException("The Parcelon library could not make an archiver.");
            try
            {
                NativeMethods.parcelon_set_progress(fresh, onProgress, IntPtr.Zero);
                NativeMethods.parcelon_set_report(fresh, onReport, IntPtr.Zero);
                if (NativeMethods.parcelon_set_threads(fresh, (uint)threads) == 0 ||
                    NativeMethods.parcelon_set_option(fresh, NativeMethods.OptionStderr, writeErrorLines ? 1 : 0) == 0)
                    throw new InvalidOperationException("The Parcelon library refused the archiver's settings.");
                return fresh;
            }
            catch
            {
                fresh.Dispose();
                throw;
            }
        }

        private void Renew()
        {
            var fresh = OpenHandle();
            handle.Dispose();
            handle = fresh;
            stopped = false;
        }

        // From the token's callback, on whichever thread cancels.
        private void Stop(ArchiverHandle target)
        {
            stopped = true;
            try
            {
                NativeMethods.parcelon_stop(target);
            }
            catch (ObjectDisposedException)
            {
                // Disposed from yet another thread: nothing left to stop.
            }
        }

        private void Enter()
        {
            if (Interlocked.CompareExchange(ref busy, 1, 0) != 0)
                throw new InvalidOperationException("This Archiver is running a call; use one Archiver per thread.");
        }

        private void Leave()
        {
            Interlocked.Exchange(ref busy, 0);
        }

        private void ThrowIfDisposed()
        {
            if (disposed)
                throw new ObjectDisposedException(GetType().FullName);
        }

        // ------------------------------------------------------------ callbacks
        // The library calls these on the call's thread. Nothing may leave them
        // as an exception: what a host's handler throws is kept, the library
        // is stopped, and Run throws it again.

        private void OnProgress(int value, IntPtr userData)
        {
            var state = current;
            if (state == null)
                return;
            try
            {
                state.Pass(value);
            }
            catch (Exception error)
            {
                HandlerFailed(state, error);
            }
        }

        private void OnReport(int code, IntPtr path, IntPtr message, IntPtr userData)
        {
            var state = current;
            if (state == null)
                return;
            try
            {
                var failure = new EntryFailure((ErrorCode)code, Utf8.Decode(path), Utf8.Decode(message));
                state.Failures.Add(failure);
                var handler = EntryFailed;
                if (handler != null && state.HandlerError == null)
                    handler(this, new EntryFailedEventArgs(failure));
            }
            catch (Exception error)
            {
                HandlerFailed(state, error);
            }
        }

        private void HandlerFailed(CallState state, Exception error)
        {
            if (state.HandlerError != null)
                return;
            state.HandlerError = error;
            stopped = true;
            try
            {
                NativeMethods.parcelon_stop(handle);
            }
            catch (ObjectDisposedException)
            {
            }
        }
    }
}
