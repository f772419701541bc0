{ Parcelon's C interface (ParcelonC.h) for Delphi and Free Pascal.

  The functions, constants and callbacks keep the header's names, so that
  the header's comments, which are the whole contract, read for this unit
  too; the records and pointer types follow Delphi's T and P prefixes.

  Calling convention: stdcall on 32-bit Windows, where the DLL's functions
  are __stdcall, and cdecl everywhere else, the platform's own C convention
  (the only one on Win64). Callbacks given to the library must be declared
  with the same directive: write it as the types below do.

  Text: pass paths and lists to the _utf8 functions as UTF-8
  (PAnsiChar(UTF8Encode(Path))); they take any Unicode path on Windows,
  whatever the system code page. Names and messages come back as UTF-8;
  ParcelonString turns them into Unicode text. The wide functions take
  PParcelonWChar text: UTF-16 (PWideChar) on Windows, UTF-32 elsewhere.

  Records are laid out as C lays them out: TParcelonEntry holds a size_t, a
  pointer, two 64-bit integers, an unsigned long (32 bits on Windows and on
  32-bit systems, 64 bits on 64-bit Linux and macOS), three Integers and a
  64-bit time, with C's alignment. }
unit ParcelonC;

{$IFDEF FPC}
  {$MODE DELPHI}
  {$PACKRECORDS C}
{$ELSE}
  {$ALIGN 8}
{$ENDIF}

{$IFDEF MSWINDOWS}
  {$IFNDEF WIN64}
    {$DEFINE PARCELON_STDCALL}
  {$ENDIF}
{$ENDIF}

interface

const
{$IFDEF MSWINDOWS}
  ParcelonLib = 'Parcelon.dll';
{$ELSE}
  {$IFDEF DARWIN}
  ParcelonLib = 'libParcelon.dylib';
  {$ELSE}
  ParcelonLib = 'libParcelon.so';
  {$ENDIF}
{$ENDIF}

  PARCELON_C_VERSION = '1.2.0';

  { Codes: stable numbers, kept in every later version. }
  PARCELON_OK = 0;
  PARCELON_E_INVALID_ARGUMENT = 1;
  PARCELON_E_OUT_OF_MEMORY = 2;
  PARCELON_E_STOPPED = 3;
  PARCELON_STOPPED = PARCELON_E_STOPPED;
  { Packing }
  PARCELON_E_CANNOT_REMOVE_OLD_ARCHIVE = 10;
  PARCELON_E_CANNOT_CREATE_ARCHIVE = 11;
  PARCELON_E_CANNOT_CLOSE_ARCHIVE = 12;
  PARCELON_E_CANNOT_REPLACE_ARCHIVE = 13;
  PARCELON_E_CANNOT_ADD_FOLDER = 14;
  PARCELON_E_CANNOT_ADD_ENTRY = 15;
  PARCELON_E_CANNOT_OPEN_SOURCE = 16;
  PARCELON_E_CANNOT_WRITE_ENTRY = 17;
  PARCELON_E_CANNOT_READ_SOURCE = 18;
  PARCELON_E_SOURCE_MISSING = 19;
  PARCELON_E_SOURCE_IS_ARCHIVE = 20;
  { Extraction }
  PARCELON_E_CANNOT_OPEN_ARCHIVE = 30;
  PARCELON_E_CANNOT_READ_ARCHIVE_INFO = 31;
  PARCELON_E_CANNOT_FIND_FIRST_ENTRY = 32;
  PARCELON_E_CANNOT_READ_ENTRY_INFO = 33;
  PARCELON_E_ENTRY_NAME_UNSAFE = 34;
  PARCELON_E_FOLDER_ENTRY_HAS_DATA = 35;
  PARCELON_E_DESTINATION_MISSING = 36;
  PARCELON_E_CANNOT_CREATE_FOLDER = 37;
  PARCELON_E_CANNOT_CREATE_OUTPUT = 38;
  PARCELON_E_CANNOT_OPEN_ENTRY = 39;
  PARCELON_E_LOCAL_HEADER_MISMATCH = 40;
  PARCELON_E_ENTRY_OVERLAPS = 41;
  PARCELON_E_UNSUPPORTED_METHOD = 42;
  PARCELON_E_UNSUPPORTED_ENCRYPTION = 43;
  PARCELON_E_PASSWORD_REQUIRED = 44;
  PARCELON_E_WRONG_PASSWORD = 45;
  PARCELON_E_DATA_CORRUPT = 46;
  PARCELON_E_CANNOT_WRITE_OUTPUT = 47;
  PARCELON_E_LIMIT = 48;
  PARCELON_E_EXISTS = 49;

  { Options of parcelon_set_option. }
  PARCELON_OPT_OVERWRITE = 1;
  PARCELON_OVERWRITE_REPLACE = 0;
  PARCELON_OVERWRITE_SKIP = 1;
  PARCELON_OVERWRITE_FAIL = 2;
  PARCELON_OPT_KEEP_GOING = 2;
  PARCELON_OPT_MAX_TOTAL_BYTES = 3;
  PARCELON_OPT_MAX_ENTRIES = 4;
  PARCELON_OPT_MAX_RATIO = 5;
  PARCELON_OPT_RESTORE_TIMES = 6;
  PARCELON_OPT_STDERR = 7;
  PARCELON_OPT_THREADS = 8;
  { Packing: how a password encrypts (traditional, as the class; or WinZip
    AES-256, AE-2), and the archive's style (classic, as the class; or
    portable: '/' names, UTF-8 beyond ASCII, a folder entry per folder,
    each file's time and attributes). ParcelonC.h says what each writes. }
  PARCELON_OPT_ENCRYPTION = 9;
  PARCELON_ENCRYPTION_TRADITIONAL = 0;
  PARCELON_ENCRYPTION_AES256 = 1;
  PARCELON_OPT_STYLE = 10;
  PARCELON_STYLE_CLASSIC = 0;
  PARCELON_STYLE_PORTABLE = 1;

  { The level argument's (unsigned)-1: the library's default level, 6. }
  PARCELON_DEFAULT_LEVEL = Cardinal($FFFFFFFF);

type
  TParcelonSizeT = NativeUInt;
{$IFDEF MSWINDOWS}
  TParcelonULong = Cardinal;
{$ELSE}
  TParcelonULong = NativeUInt;
{$ENDIF}
{$IFDEF MSWINDOWS}
  PParcelonWChar = PWideChar;
{$ELSE}
  PParcelonWChar = PUCS4Char;
{$ENDIF}
  PPParcelonWChar = ^PParcelonWChar;

  { Opaque: one archiver of the library. }
  TParcelonArchiver = record
  end;
  PParcelonArchiver = ^TParcelonArchiver;

  { One record of the central directory, as parcelon_list gives it. Name and
    the record itself live until the callback returns. }
  TParcelonEntry = record
    index: TParcelonSizeT;
    name: PAnsiChar;
    size: UInt64;
    compressed_size: UInt64;
    crc32: TParcelonULong;
    method: Integer;
    encrypted: Integer;
    is_folder: Integer;
    mtime: Int64;
  end;
  PParcelonEntry = ^TParcelonEntry;

  TParcelonProgressFn = procedure(Value: Integer; UserData: Pointer);
    {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF};
  TParcelonEntryFn = function(Entry: PParcelonEntry; UserData: Pointer): Integer;
    {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF};
  TParcelonReportFn = procedure(Code: Integer; Path: PAnsiChar; Message: PAnsiChar; UserData: Pointer);
    {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF};

{ Archivers }
function parcelon_new: PParcelonArchiver;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
procedure parcelon_free(A: PParcelonArchiver);
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
procedure parcelon_set_progress(A: PParcelonArchiver; Fn: TParcelonProgressFn; UserData: Pointer);
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
procedure parcelon_stop(A: PParcelonArchiver);
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_set_threads(A: PParcelonArchiver; Threads: Cardinal): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;

{ Packing and CParcelon::UnzipFile, wide text }
function parcelon_zip_files(A: PParcelonArchiver; Files: PPParcelonWChar; Count: TParcelonSizeT;
  ZipFile: PParcelonWChar; Level: Cardinal; Password: PAnsiChar): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_zip_directory(A: PParcelonArchiver; SrcDir, ZipFile: PParcelonWChar; Recursive: Integer;
  Level: Cardinal; Password: PAnsiChar; Minutes: Integer; Includes: PPParcelonWChar; IncludeCount: TParcelonSizeT;
  Excludes: PPParcelonWChar; ExcludeCount: TParcelonSizeT): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
{ Paths in the system ANSI code page. }
function parcelon_unzip_file(A: PParcelonArchiver; ZipFile, DestDir, Password: PAnsiChar): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;

{ The same three, UTF-8 }
function parcelon_zip_files_utf8(A: PParcelonArchiver; Files: PPAnsiChar; Count: TParcelonSizeT;
  ZipFile: PAnsiChar; Level: Cardinal; Password: PAnsiChar): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_zip_directory_utf8(A: PParcelonArchiver; SrcDir, ZipFile: PAnsiChar; Recursive: Integer;
  Level: Cardinal; Password: PAnsiChar; Minutes: Integer; Includes: PPAnsiChar; IncludeCount: TParcelonSizeT;
  Excludes: PPAnsiChar; ExcludeCount: TParcelonSizeT): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_unzip_file_utf8(A: PParcelonArchiver; ZipFile, DestDir, Password: PAnsiChar): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;

{ Reading }
procedure parcelon_set_report(A: PParcelonArchiver; Fn: TParcelonReportFn; UserData: Pointer);
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_set_option(A: PParcelonArchiver; Option: Integer; Value: Int64): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_list(A: PParcelonArchiver; ZipFile: PParcelonWChar; Fn: TParcelonEntryFn;
  UserData: Pointer): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_list_utf8(A: PParcelonArchiver; ZipFile: PAnsiChar; Fn: TParcelonEntryFn;
  UserData: Pointer): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_test(A: PParcelonArchiver; ZipFile: PParcelonWChar; Password: PAnsiChar): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_test_utf8(A: PParcelonArchiver; ZipFile, Password: PAnsiChar): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_extract(A: PParcelonArchiver; ZipFile, DestDir: PParcelonWChar; Password: PAnsiChar;
  Patterns: PPParcelonWChar; PatternCount: TParcelonSizeT): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_extract_utf8(A: PParcelonArchiver; ZipFile, DestDir, Password: PAnsiChar;
  Patterns: PPAnsiChar; PatternCount: TParcelonSizeT): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;

{ Outcome }
function parcelon_last_error(A: PParcelonArchiver): Integer;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_last_message(A: PParcelonArchiver): PAnsiChar;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_error_text(Code: Integer): PAnsiChar;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;
function parcelon_version: PAnsiChar;
  {$IFDEF PARCELON_STDCALL}stdcall{$ELSE}cdecl{$ENDIF}; external ParcelonLib;

{ The library's UTF-8 text (an entry's name, parcelon_last_message,
  parcelon_error_text) as Unicode text, which is Delphi's string; '' for nil.
  (Free Pascal's string is an AnsiString in the system code page unless the
  unicodestrings mode switch is on: assigning to it converts.) }
function ParcelonString(Text: PAnsiChar): UnicodeString;

implementation

function ParcelonString(Text: PAnsiChar): UnicodeString;
begin
  { UTF8ToString reads the bytes as UTF-8, not in the code page a PAnsiChar
    would otherwise be taken in. }
  if Text = nil then
    Result := ''
  else
    Result := UTF8ToString(Text);
end;

end.
