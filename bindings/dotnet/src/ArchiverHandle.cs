using System;
using System.Runtime.InteropServices;

namespace Parcelon
{
    // One parcelon_archiver*. The marshaller keeps the handle referenced for
    // the length of every call that takes it, so a Dispose from another
    // thread frees the archiver only once the running call has returned.
    internal sealed class ArchiverHandle : SafeHandle
    {
        // Made by the marshaller from parcelon_new's result.
        private ArchiverHandle() : base(IntPtr.Zero, true)
        {
        }

        public override bool IsInvalid
        {
            get { return handle == IntPtr.Zero; }
        }

        protected override bool ReleaseHandle()
        {
            NativeMethods.parcelon_free(handle);
            return true;
        }
    }
}
