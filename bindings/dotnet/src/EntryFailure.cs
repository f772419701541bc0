using System;
using System.Collections.Generic;

namespace Parcelon
{
    /// <summary>One file a packing call left out, or one entry that failed, was refused or was passed over while
    /// extracting or testing: what the library's report function hears.</summary>
    public sealed class EntryFailure
    {
        internal static readonly IReadOnlyList<EntryFailure> None = new EntryFailure[0];

        internal EntryFailure(ErrorCode code, string path, string message)
        {
            Code = code;
            Path = path;
            Message = message;
        }

        /// <summary>Why: <see cref="ErrorCode.Exists"/> for an entry passed over because a file of its name
        /// exists, else the failure.</summary>
        public ErrorCode Code { get; private set; }

        /// <summary>The file's path (packing) or the entry's name (reading).</summary>
        public string Path { get; private set; }

        /// <summary>The library's line for it, with the name.</summary>
        public string Message { get; private set; }

        public override string ToString()
        {
            return Code + ": " + Path;
        }
    }

    /// <summary>The data of <see cref="Archiver.EntryFailed"/>.</summary>
    public sealed class EntryFailedEventArgs : EventArgs
    {
        internal EntryFailedEventArgs(EntryFailure failure)
        {
            Failure = failure;
        }

        public EntryFailure Failure { get; private set; }
    }
}
