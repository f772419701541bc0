// parcelon_entry as C lays it out. Its crc32 is an unsigned long: 32 bits on
// Windows (x86 and x64) and on 32-bit POSIX, 64 bits on 64-bit Linux and
// macOS, so the record has two shapes and the platform picks one when the
// library is first read.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;

namespace Parcelon
{
    [StructLayout(LayoutKind.Sequential)]
    internal struct NativeEntryLong32
    {
        public UIntPtr index;
        public IntPtr name;
        public ulong size;
        public ulong compressed_size;
        public uint crc32;
        public int method;
        public int encrypted;
        public int is_folder;
        public long mtime;
    }

    [StructLayout(LayoutKind.Sequential)]
    internal struct NativeEntryLong64
    {
        public UIntPtr index;
        public IntPtr name;
        public ulong size;
        public ulong compressed_size;
        public ulong crc32;
        public int method;
        public int encrypted;
        public int is_folder;
        public long mtime;
    }

    internal static class NativeEntry
    {
        // C's unsigned long is 64 bits wide on 64-bit POSIX systems only.
        internal static readonly bool LongIs64 = IntPtr.Size == 8 && !IsWindows();

        internal static Type RecordType
        {
            get { return LongIs64 ? typeof(NativeEntryLong64) : typeof(NativeEntryLong32); }
        }

        internal static ArchiveEntry Read(IntPtr record)
        {
            if (LongIs64)
            {
                var e = (NativeEntryLong64)Marshal.PtrToStructure(record, typeof(NativeEntryLong64));
                return new ArchiveEntry((long)e.index.ToUInt64(), Utf8.Decode(e.name), e.size, e.compressed_size,
                                        (uint)e.crc32, e.method, e.encrypted != 0, e.is_folder != 0, e.mtime);
            }
            var f = (NativeEntryLong32)Marshal.PtrToStructure(record, typeof(NativeEntryLong32));
            return new ArchiveEntry((long)f.index.ToUInt64(), Utf8.Decode(f.name), f.size, f.compressed_size,
                                    f.crc32, f.method, f.encrypted != 0, f.is_folder != 0, f.mtime);
        }

        // "sizeof" and every field's offset, in the words of the C layout
        // printer, for the tests that compare the two.
        internal static IDictionary<string, long> Layout()
        {
            var type = RecordType;
            var layout = new Dictionary<string, long>();
            layout["sizeof"] = Marshal.SizeOf(type);
            foreach (var field in type.GetFields())
                layout[field.Name] = Marshal.OffsetOf(type, field.Name).ToInt64();
            return layout;
        }

        private static bool IsWindows()
        {
            switch (Environment.OSVersion.Platform)
            {
                case PlatformID.Win32NT:
                case PlatformID.Win32Windows:
                case PlatformID.Win32S:
                case PlatformID.WinCE:
                    return true;
                default:
                    return false;
            }
        }
    }
}
