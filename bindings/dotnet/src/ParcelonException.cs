using System;
using System.Collections.Generic;
using System.IO;

namespace Parcelon
{
    /// <summary>A call the library could not carry out: the archive cannot be opened or written, an entry failed,
    /// a password is wrong. An <see cref="IOException"/>, so that code written for the framework's own file calls
    /// catches it.</summary>
    public class ParcelonException : IOException
    {
        public ParcelonException(ErrorCode code, string message)
            : this(code, message, string.Empty, string.Empty, null)
        {
        }

        internal ParcelonException(ErrorCode code, string errorText, string libraryMessage, string path,
                                   IReadOnlyList<EntryFailure> failures)
            : base(string.IsNullOrEmpty(path) ? errorText : errorText + ": " + path)
        {
            Code = code;
            ErrorText = errorText;
            LibraryMessage = libraryMessage ?? string.Empty;
            Path = path ?? string.Empty;
            Failures = failures ?? EntryFailure.None;
        }

        /// <summary>What failed, as the library's code.</summary>
        public ErrorCode Code { get; private set; }

        /// <summary>The library's short English text for the code ("wrong password").</summary>
        public string ErrorText { get; private set; }

        /// <summary>The library's own line for the failure, with its path, as it writes it to the standard error
        /// stream (in Chinese), here as text; empty for a failure that writes no line.</summary>
        public string LibraryMessage { get; private set; }

        /// <summary>The archive, folder, file or entry the failure concerns, where known; else empty.</summary>
        public string Path { get; private set; }

        /// <summary>Every entry or file the call reported before it failed, in order (see
        /// <see cref="OperationResult.Failures"/>).</summary>
        public IReadOnlyList<EntryFailure> Failures { get; private set; }
    }

    /// <summary>A call that its <see cref="System.Threading.CancellationToken"/> stopped.</summary>
    public class ParcelonCanceledException : OperationCanceledException
    {
        internal ParcelonCanceledException(string message, bool archiveComplete, IReadOnlyList<EntryFailure> failures,
                                           System.Threading.CancellationToken token)
            : base(message, token)
        {
            ArchiveComplete = archiveComplete;
            Failures = failures ?? EntryFailure.None;
        }

        /// <summary>Always <see cref="ErrorCode.Stopped"/>.</summary>
        public ErrorCode Code
        {
            get { return ErrorCode.Stopped; }
        }

        /// <summary>True for a packing call: its archive is complete and readable and holds the files packed before
        /// the stop (the last one possibly cut short). False for a reading call: the entries extracted before the
        /// stop stay, the one in progress leaves nothing.</summary>
        public bool ArchiveComplete { get; private set; }

        /// <summary>Every entry or file the call reported before the stop.</summary>
        public IReadOnlyList<EntryFailure> Failures { get; private set; }
    }
}
