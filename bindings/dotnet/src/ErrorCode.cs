namespace Parcelon
{
    /// <summary>The library's failure codes (PARCELON_E_* in ParcelonC.h). A code keeps its number in every
    /// later version of the library.</summary>
    public enum ErrorCode
    {
        Ok = 0,
        InvalidArgument = 1,
        OutOfMemory = 2,
        /// <summary>A stop (a cancelled token) ended the call. A packing call that was stopped has still written a
        /// complete archive of the files packed before the stop.</summary>
        Stopped = 3,

        // Packing
        CannotRemoveOldArchive = 10,
        CannotCreateArchive = 11,
        CannotCloseArchive = 12,
        CannotReplaceArchive = 13,
        CannotAddFolder = 14,
        CannotAddEntry = 15,
        CannotOpenSource = 16,
        CannotWriteEntry = 17,
        CannotReadSource = 18,
        SourceMissing = 19,
        SourceIsArchive = 20,

        // Reading
        CannotOpenArchive = 30,
        CannotReadArchiveInfo = 31,
        CannotFindFirstEntry = 32,
        CannotReadEntryInfo = 33,
        EntryNameUnsafe = 34,
        FolderEntryHasData = 35,
        DestinationMissing = 36,
        CannotCreateFolder = 37,
        CannotCreateOutput = 38,
        CannotOpenEntry = 39,
        LocalHeaderMismatch = 40,
        EntryOverlaps = 41,
        UnsupportedMethod = 42,
        UnsupportedEncryption = 43,
        PasswordRequired = 44,
        WrongPassword = 45,
        DataCorrupt = 46,
        CannotWriteOutput = 47,
        Limit = 48,
        Exists = 49,
    }
}
