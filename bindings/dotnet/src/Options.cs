using System;
using System.Collections.Generic;

namespace Parcelon
{
    /// <summary>What extraction does with a file already where an entry goes.</summary>
    public enum OverwriteMode
    {
        /// <summary>The entry replaces it (the default).</summary>
        Replace = 0,
        /// <summary>The file stays; the entry is passed over and reported with <see cref="ErrorCode.Exists"/>.</summary>
        Skip = 1,
        /// <summary>The file stays; the entry fails with <see cref="ErrorCode.Exists"/>.</summary>
        Fail = 2,
    }

    /// <summary>How a password encrypts the entries a packing call writes.</summary>
    public enum PackEncryption
    {
        /// <summary>The traditional ZIP cipher, which every reader opens (the default; what CParcelon
        /// writes).</summary>
        Traditional = 0,
        /// <summary>WinZip AES-256 (AE-2), a fresh random salt per entry. 7-Zip and WinZip open it; Windows'
        /// own folders do not. Folder entries stay unencrypted.</summary>
        Aes256 = 1,
    }

    /// <summary>How the entries a packing call writes are named and what they record.</summary>
    public enum ArchiveStyle
    {
        /// <summary>What CParcelon writes (the default): names in the code page with backslashes, a folder
        /// entry before every file, fixed dates.</summary>
        Classic = 0,
        /// <summary>What other tools write: names with '/', UTF-8 beyond ASCII, one entry per folder (empty ones
        /// too), each file's time and attributes; every reader unpacks the same tree from it.</summary>
        Portable = 1,
    }

    /// <summary>How <see cref="Archiver.ZipFiles"/> packs.</summary>
    public class PackOptions
    {
        private int? level;

        /// <summary>0 (stored Deflate blocks) to 9 (smallest); null for the library's default, 6.</summary>
        public int? Level
        {
            get { return level; }
            set
            {
                if (value.HasValue && (value.Value < 0 || value.Value > 9))
                    throw new ArgumentOutOfRangeException("value", value, "The level is 0 to 9, or null.");
                level = value;
            }
        }

        /// <summary>Encrypts every entry (as <see cref="Encryption"/> says) when it holds anything but white
        /// space (which is trimmed from its ends). null for none. See <see cref="Archiver.PasswordEncoding"/>.</summary>
        public string Password { get; set; }

        /// <summary>How the password encrypts: <see cref="PackEncryption.Aes256"/> needs a password.</summary>
        public PackEncryption Encryption { get; set; }

        /// <summary>The archive's style: <see cref="ArchiveStyle.Classic"/> (the default) or
        /// <see cref="ArchiveStyle.Portable"/>.</summary>
        public ArchiveStyle Style { get; set; }

        internal uint NativeLevel
        {
            get { return level.HasValue ? (uint)level.Value : NativeMethods.DefaultLevel; }
        }
    }

    /// <summary>How <see cref="Archiver.ZipDirectory"/> chooses and packs the folder's files.</summary>
    public class DirectoryPackOptions : PackOptions
    {
        private int minutes;

        public DirectoryPackOptions()
        {
            Recursive = true;
            Includes = new List<string>();
            Excludes = new List<string>();
        }

        /// <summary>Descend into every subfolder (the default), or pack the folder's own files only.</summary>
        public bool Recursive { get; set; }

        /// <summary>More than 0: only files written within that many minutes.</summary>
        public int Minutes
        {
            get { return minutes; }
            set
            {
                if (value < 0)
                    throw new ArgumentOutOfRangeException("value", value, "Minutes are 0 (every file) or more.");
                minutes = value;
            }
        }

        /// <summary>When not empty, only files whose extension ("*.txt"), suffix ("*.tar.gz") or one of whose
        /// folders ("docs") an entry names.</summary>
        public IList<string> Includes { get; set; }

        /// <summary>Otherwise, files an entry names are left out.</summary>
        public IList<string> Excludes { get; set; }
    }

    /// <summary>How <see cref="Archiver.Extract"/> reads and writes.</summary>
    public sealed class ExtractOptions
    {
        private long maxTotalBytes, maxEntries, maxRatio;

        public ExtractOptions()
        {
            Patterns = new List<string>();
        }

        /// <summary>null for none; see <see cref="Archiver.PasswordEncoding"/>.</summary>
        public string Password { get; set; }

        /// <summary>Only the entries whose name matches one of these ('*' any run of characters, folders included;
        /// '?' any one character; '/' and '\' alike; case counts); every entry when empty.</summary>
        public IList<string> Patterns { get; set; }

        public OverwriteMode Overwrite { get; set; }

        /// <summary>A failed entry is reported and the next one extracted; the call fails at its end if any
        /// failed. False (the default): the first failure ends the call.</summary>
        public bool KeepGoing { get; set; }

        /// <summary>Each file gets its entry's modification time. False (the default): the time of writing.</summary>
        public bool RestoreTimes { get; set; }

        /// <summary>0 (the default) for no limit: else the most bytes all extracted entries may hold together. An
        /// entry that would pass a limit is refused before a byte of it is written (<see cref="ErrorCode.Limit"/>).</summary>
        public long MaxTotalBytes
        {
            get { return maxTotalBytes; }
            set { maxTotalBytes = NotNegative(value); }
        }

        /// <summary>0 for no limit: else the most entries extracted.</summary>
        public long MaxEntries
        {
            get { return maxEntries; }
            set { maxEntries = NotNegative(value); }
        }

        /// <summary>0 for no limit: else the most an entry may expand (its size against its compressed size).</summary>
        public long MaxRatio
        {
            get { return maxRatio; }
            set { maxRatio = NotNegative(value); }
        }

        private static long NotNegative(long value)
        {
            if (value < 0)
                throw new ArgumentOutOfRangeException("value", value, "A limit is 0 (none) or more.");
            return value;
        }
    }
}
