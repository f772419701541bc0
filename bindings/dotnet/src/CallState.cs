using System;
using System.Collections.Generic;
using System.Runtime.ExceptionServices;

namespace Parcelon
{
    // What one call gathers while the library runs it: the percentages passed
    // on, the failures reported, and what a host's handler threw.
    internal sealed class CallState
    {
        private readonly IProgress<int> progress;
        private int last = -1;

        internal CallState(IProgress<int> progress)
        {
            this.progress = progress;
            Failures = new List<EntryFailure>();
        }

        internal List<EntryFailure> Failures { get; private set; }

        internal Exception HandlerError { get; set; }

        // The library sends 999 when a folder's packing starts, percentages
        // as they change, and 100 at the end, often twice; a host sees each
        // percentage once, rising, and 100 last.
        internal void Pass(int value)
        {
            if (progress == null || HandlerError != null || value <= last || value > 100)
                return;
            last = value;
            progress.Report(value);
        }

        internal static void Rethrow(Exception error)
        {
            ExceptionDispatchInfo.Capture(error).Throw();
        }
    }
}
