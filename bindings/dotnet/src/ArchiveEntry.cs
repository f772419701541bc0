using System;

namespace Parcelon
{
    /// <summary>How an entry's data are stored, as the archive records it.</summary>
    public enum CompressionMethod
    {
        Store = 0,
        Deflate = 8,
        Deflate64 = 9,
        BZip2 = 12,
        Lzma = 14,
        Zstandard = 93,
        Xz = 95,
        /// <summary>AES encryption, which names the real method in its own record.</summary>
        Aes = 99,
    }

    /// <summary>One record of an archive's central directory, as <see cref="Archiver.List"/> gives it.</summary>
    public sealed class ArchiveEntry
    {
        private static readonly DateTimeOffset Epoch = new DateTimeOffset(1970, 1, 1, 0, 0, 0, TimeSpan.Zero);

        internal ArchiveEntry(long index, string name, ulong size, ulong compressedSize, uint crc32, int method,
                              bool encrypted, bool isFolder, long mtime)
        {
            Index = index;
            Name = name;
            Size = (long)size;
            CompressedSize = (long)compressedSize;
            Crc32 = crc32;
            Method = (CompressionMethod)method;
            IsEncrypted = encrypted;
            IsFolder = isFolder;
            LastWriteTime = FromUnixSeconds(mtime);
        }

        /// <summary>Position in the central directory, from 0.</summary>
        public long Index { get; private set; }

        /// <summary>The name as extraction decodes it (the archive's code page or UTF-8), with the separators the
        /// archive stores.</summary>
        public string Name { get; private set; }

        public long Size { get; private set; }

        /// <summary>The stored size, encryption's bytes included.</summary>
        public long CompressedSize { get; private set; }

        /// <summary>As recorded; 0 for AES entries that record none.</summary>
        public uint Crc32 { get; private set; }

        /// <summary>As stored; a number this enumeration does not name is kept as it is.</summary>
        public CompressionMethod Method { get; private set; }

        public bool IsEncrypted { get; private set; }

        public bool IsFolder { get; private set; }

        /// <summary>From the extended timestamp when the entry has one, else the DOS date and time read as local
        /// time; in UTC.</summary>
        public DateTimeOffset LastWriteTime { get; private set; }

        public override string ToString()
        {
            return Name;
        }

        private static DateTimeOffset FromUnixSeconds(long seconds)
        {
            var min = (long)(DateTimeOffset.MinValue - Epoch).TotalSeconds + 1;
            var max = (long)(DateTimeOffset.MaxValue - Epoch).TotalSeconds - 1;
            return Epoch.AddSeconds(Math.Max(min, Math.Min(max, seconds)));
        }
    }
}
