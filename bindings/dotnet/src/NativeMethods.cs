// The C interface (ParcelonC.h) as P/Invoke declarations: the one file that
// knows the library's names, argument types and calling convention.
//
// Calling convention: Winapi is __stdcall on 32-bit Windows, as the DLL's
// PARCELON_CALL is there, and the platform's own convention elsewhere (the
// only one on x64 and ARM64). The callbacks are declared the same way.
//
// Strings: every path and list goes through the _utf8 functions as
// NUL-terminated UTF-8 bytes (Utf8.cs), so the same declarations hold on
// Windows and on Linux, where wchar_t is 4 bytes. Returned strings are
// const char* read by hand: the library keeps them, nothing is freed here.
//
// The library file: "Parcelon" is Parcelon.dll on Windows; .NET on Linux
// and Mono (with Parcelon.Net.dll.config) look for libParcelon.so.
using System;
using System.Runtime.InteropServices;

namespace Parcelon
{
    internal static class NativeMethods
    {
        internal const string Library = "Parcelon";

        // Options of parcelon_set_option.
        internal const int OptionOverwrite = 1;
        internal const int OptionKeepGoing = 2;
        internal const int OptionMaxTotalBytes = 3;
        internal const int OptionMaxEntries = 4;
        internal const int OptionMaxRatio = 5;
        internal const int OptionRestoreTimes = 6;
        internal const int OptionStderr = 7;
        internal const int OptionEncryption = 9;
        internal const int OptionStyle = 10;

        // (unsigned)-1: the library's default level, 6.
        internal const uint DefaultLevel = uint.MaxValue;

        [UnmanagedFunctionPointer(CallingConvention.Winapi)]
        internal delegate void ProgressCallback(int value, IntPtr userData);

        [UnmanagedFunctionPointer(CallingConvention.Winapi)]
        internal delegate int EntryCallback(IntPtr entry, IntPtr userData);

        [UnmanagedFunctionPointer(CallingConvention.Winapi)]
        internal delegate void ReportCallback(int code, IntPtr path, IntPtr message, IntPtr userData);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern ArchiverHandle parcelon_new();

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern void parcelon_free(IntPtr archiver);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern void parcelon_set_progress(ArchiverHandle archiver, ProgressCallback fn, IntPtr userData);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern void parcelon_set_report(ArchiverHandle archiver, ReportCallback fn, IntPtr userData);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern void parcelon_stop(ArchiverHandle archiver);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern int parcelon_set_threads(ArchiverHandle archiver, uint threads);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern int parcelon_set_option(ArchiverHandle archiver, int option, long value);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern int parcelon_zip_files_utf8(ArchiverHandle archiver, IntPtr[] files, UIntPtr count,
                                                           byte[] zipFile, uint level, byte[] password);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern int parcelon_zip_directory_utf8(ArchiverHandle archiver, byte[] srcDir, byte[] zipFile,
                                                               int recursive, uint level, byte[] password, int minutes,
                                                               IntPtr[] includes, UIntPtr includeCount,
                                                               IntPtr[] excludes, UIntPtr excludeCount);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern int parcelon_list_utf8(ArchiverHandle archiver, byte[] zipFile, EntryCallback fn,
                                                      IntPtr userData);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern int parcelon_test_utf8(ArchiverHandle archiver, byte[] zipFile, byte[] password);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern int parcelon_extract_utf8(ArchiverHandle archiver, byte[] zipFile, byte[] destDir,
                                                         byte[] password, IntPtr[] patterns, UIntPtr patternCount);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern int parcelon_last_error(ArchiverHandle archiver);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern IntPtr parcelon_last_message(ArchiverHandle archiver);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern IntPtr parcelon_error_text(int code);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        internal static extern IntPtr parcelon_version();
    }
}
