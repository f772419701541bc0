using System.Collections.Generic;

namespace Parcelon
{
    /// <summary>The outcome of a call that ran to its end.</summary>
    public sealed class OperationResult
    {
        internal OperationResult(IReadOnlyList<EntryFailure> failures)
        {
            Failures = failures;
        }

        /// <summary>In order, every file a packing call left out (missing, unreadable, a folder in a file list,
        /// the archive itself); every entry an extraction passed over (<see cref="ErrorCode.Exists"/> with
        /// <see cref="OverwriteMode.Skip"/>); every entry a test found damaged. Empty when there was none.</summary>
        public IReadOnlyList<EntryFailure> Failures { get; private set; }

        /// <summary>For <see cref="Archiver.Test"/>: every entry is sound.</summary>
        public bool IsSound
        {
            get { return Failures.Count == 0; }
        }
    }
}
