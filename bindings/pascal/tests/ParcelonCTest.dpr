{ ParcelonC's tests: the record layout against C's, each callback type
  (entries, reports) through the declared calling convention, an option, and
  a failure's code and UTF-8 texts.
    ParcelonCTest <entry layout file> <scratch folder>
  The layout file is what bindings/layout/entry_layout.c prints. Exits 1
  if any check fails. }
program ParcelonCTest;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$IFDEF MSWINDOWS}
  {$APPTYPE CONSOLE}
{$ENDIF}

uses
{$IFDEF FPC}{$IFDEF UNIX}
  cwstring,
{$ENDIF}{$ENDIF}
  Classes, SysUtils, ParcelonC;

type
  TListed = record
    Names: array of UTF8String;
    Entries: array of TParcelonEntry; { name pointers are stale once listed }
    StopAfter: Integer;                { 0, or how many entries to take }
  end;
  PListed = ^TListed;

  TReported = record
    Codes: array of Integer;
    Paths: array of UTF8String;
  end;
  PReported = ^TReported;

var
  Failures: Integer = 0;

procedure Check(Condition: Boolean; const What: string);
begin
  if Condition then
    Exit;
  WriteLn('FAIL  ', What);
  Inc(Failures);
end;

function OnEntry(Entry: PParcelonEntry; UserData: Pointer): Integer;
  {$IFDEF MSWINDOWS}{$IFNDEF WIN64}stdcall{$ELSE}cdecl{$ENDIF}{$ELSE}cdecl{$ENDIF};
var
  Listed: PListed;
  N: Integer;
begin
  Listed := PListed(UserData);
  N := Length(Listed.Names);
  SetLength(Listed.Names, N + 1);
  SetLength(Listed.Entries, N + 1);
  Listed.Names[N] := UTF8String(UTF8Encode(ParcelonString(Entry.name)));
  Listed.Entries[N] := Entry^;
  if (Listed.StopAfter > 0) and (N + 1 >= Listed.StopAfter) then
    Result := 1
  else
    Result := 0;
end;

procedure OnReport(Code: Integer; Path, Message: PAnsiChar; UserData: Pointer);
  {$IFDEF MSWINDOWS}{$IFNDEF WIN64}stdcall{$ELSE}cdecl{$ENDIF}{$ELSE}cdecl{$ENDIF};
var
  Reported: PReported;
  N: Integer;
begin
  Reported := PReported(UserData);
  N := Length(Reported.Codes);
  SetLength(Reported.Codes, N + 1);
  SetLength(Reported.Paths, N + 1);
  Reported.Codes[N] := Code;
  Reported.Paths[N] := UTF8String(UTF8Encode(ParcelonString(Path)));
end;

function CrcOf(const Bytes: RawByteString): Cardinal;
var
  I, K: Integer;
begin
  Result := $FFFFFFFF;
  for I := 1 to Length(Bytes) do
  begin
    Result := Result xor Ord(Bytes[I]);
    for K := 1 to 8 do
      if Result and 1 <> 0 then
        Result := (Result shr 1) xor $EDB88320
      else
        Result := Result shr 1;
  end;
  Result := not Result;
end;

procedure WriteFile(const Path: string; const Bytes: RawByteString);
var
  Stream: TFileStream;
begin
  Stream := TFileStream.Create(Path, fmCreate);
  try
    if Length(Bytes) > 0 then
      Stream.WriteBuffer(Bytes[1], Length(Bytes));
  finally
    Stream.Free;
  end;
end;

function ReadFile(const Path: string): RawByteString;
var
  Stream: TFileStream;
begin
  Stream := TFileStream.Create(Path, fmOpenRead or fmShareDenyNone);
  try
    SetLength(Result, Stream.Size);
    if Stream.Size > 0 then
      Stream.ReadBuffer(Result[1], Stream.Size);
  finally
    Stream.Free;
  end;
end;

procedure EntryLayout(const LayoutFile: string);
var
  Lines: TStringList;
  E: TParcelonEntry;
  I, Space: Integer;
  Field: string;
  CValue, Mine: Int64;
begin
  Lines := TStringList.Create;
  try
    Lines.LoadFromFile(LayoutFile);
    Check(Lines.Count = 10, 'lines of the C layout: ' + IntToStr(Lines.Count));
    for I := 0 to Lines.Count - 1 do
    begin
      Space := Pos(' ', Lines[I]);
      Field := Copy(Lines[I], 1, Space - 1);
      CValue := StrToInt64(Copy(Lines[I], Space + 1, MaxInt));
      if Field = 'sizeof' then Mine := SizeOf(TParcelonEntry)
      else if Field = 'index' then Mine := NativeUInt(@E.index) - NativeUInt(@E)
      else if Field = 'name' then Mine := NativeUInt(@E.name) - NativeUInt(@E)
      else if Field = 'size' then Mine := NativeUInt(@E.size) - NativeUInt(@E)
      else if Field = 'compressed_size' then Mine := NativeUInt(@E.compressed_size) - NativeUInt(@E)
      else if Field = 'crc32' then Mine := NativeUInt(@E.crc32) - NativeUInt(@E)
      else if Field = 'method' then Mine := NativeUInt(@E.method) - NativeUInt(@E)
      else if Field = 'encrypted' then Mine := NativeUInt(@E.encrypted) - NativeUInt(@E)
      else if Field = 'is_folder' then Mine := NativeUInt(@E.is_folder) - NativeUInt(@E)
      else if Field = 'mtime' then Mine := NativeUInt(@E.mtime) - NativeUInt(@E)
      else Mine := -1;
      Check(Mine = CValue, Format('%s: C says %d, TParcelonEntry has %d', [Field, CValue, Mine]));
    end;
    { crc32 is as wide as C's unsigned long: the next field starts right after it }
    Check(NativeUInt(@E.method) - NativeUInt(@E.crc32) = SizeOf(TParcelonULong), 'width of crc32');
  finally
    Lines.Free;
  end;
end;

const
  Names: array[0..2] of string = ('a.txt', 'empty.dat', 'b.bin');

var
  Scratch, Source, Zip, Dest: string;
  Contents: array[0..2] of RawByteString;
  A: PParcelonArchiver;
  Listed: TListed;
  Reported: TReported;
  I, J, Found: Integer;
  Name: UTF8String;
  Raw: PAnsiChar;
begin
  if ParamCount <> 2 then
  begin
    WriteLn('usage: ParcelonCTest <entry layout file> <scratch folder>');
    Halt(2);
  end;
  EntryLayout(ParamStr(1));

  Scratch := ExpandFileName(ParamStr(2));
  Source := Scratch + PathDelim + 'source';
  Dest := Scratch + PathDelim + 'dest';
  Zip := Scratch + PathDelim + 'test.zip';
  ForceDirectories(Source + PathDelim + 'sub');
  ForceDirectories(Dest);
  Contents[0] := 'hello, Parcelon';
  Contents[1] := '';
  SetLength(Contents[2], 3000);
  for I := 1 to Length(Contents[2]) do
    Contents[2][I] := AnsiChar(I * 7 mod 251);
  for I := 0 to 1 do
    WriteFile(Source + PathDelim + Names[I], Contents[I]);
  WriteFile(Source + PathDelim + 'sub' + PathDelim + Names[2], Contents[2]);

  A := parcelon_new;
  Check(A <> nil, 'parcelon_new');
  try
    parcelon_set_option(A, PARCELON_OPT_STDERR, 0);
    Check(parcelon_zip_directory_utf8(A, PAnsiChar(UTF8Encode(Source)), PAnsiChar(UTF8Encode(Zip)), 1,
      PARCELON_DEFAULT_LEVEL, 'pw', 0, nil, 0, nil, 0) = 1, 'packing');

    { Listing: every field of every record, through TParcelonEntryFn. }
    Check(parcelon_list_utf8(A, PAnsiChar(UTF8Encode(Zip)), OnEntry, @Listed) = 1, 'listing');
    Check(Length(Listed.Names) = 4, 'entries listed: ' + IntToStr(Length(Listed.Names)));
    for I := 0 to High(Listed.Entries) do
      Check(Listed.Entries[I].index = NativeUInt(I), 'index of entry ' + IntToStr(I));
    for I := 0 to 2 do
    begin
      Found := -1;
      for J := 0 to High(Listed.Names) do
        if (Listed.Names[J] = UTF8String(Names[I])) or (Listed.Names[J] = UTF8String('sub\' + Names[I])) or
           (Listed.Names[J] = UTF8String('sub/' + Names[I])) then
          Found := J;
      Check(Found >= 0, 'an entry for ' + Names[I]);
      if Found < 0 then
        Continue;
      with Listed.Entries[Found] do
      begin
        Check(size = UInt64(Length(Contents[I])), Names[I] + ': size ' + IntToStr(size));
        Check(compressed_size >= 12, Names[I] + ': compressed size with the encryption header');
        Check(crc32 = CrcOf(Contents[I]), Names[I] + ': crc32');
        Check(method = 8, Names[I] + ': method');
        Check(encrypted = 1, Names[I] + ': encrypted');
        Check(is_folder = 0, Names[I] + ': not a folder');
        { the library's fixed date, 1 January 1980 at 00:00 local time }
        Check(Abs(mtime - 315532800) <= 14 * 3600, Names[I] + ': mtime ' + IntToStr(mtime));
      end;
    end;
    Found := 0;
    for J := 0 to High(Listed.Entries) do
      if Listed.Entries[J].is_folder = 1 then
        Inc(Found);
    Check(Found = 1, 'one folder entry');

    { A non-zero result ends the listing, which still succeeds. }
    Listed.Names := nil;
    Listed.Entries := nil;
    Listed.StopAfter := 2;
    Check(parcelon_list_utf8(A, PAnsiChar(UTF8Encode(Zip)), OnEntry, @Listed) = 1, 'a listing ended early');
    Check(Length(Listed.Names) = 2, 'entries of a listing ended after two');

    { Overwrite skip: each existing file stays and reaches the report function. }
    parcelon_set_report(A, OnReport, @Reported);
    Check(parcelon_extract_utf8(A, PAnsiChar(UTF8Encode(Zip)), PAnsiChar(UTF8Encode(Dest)), 'pw', nil, 0) = 1,
      'extraction');
    Check(Length(Reported.Codes) = 0, 'nothing reported by a first extraction');
    WriteFile(Dest + PathDelim + Names[0], 'kept');
    Check(parcelon_set_option(A, PARCELON_OPT_OVERWRITE, PARCELON_OVERWRITE_SKIP) = 1, 'overwrite skip');
    Check(parcelon_set_option(A, PARCELON_OPT_OVERWRITE, 3) = 0, 'an overwrite mode that does not exist');
    Check(parcelon_extract_utf8(A, PAnsiChar(UTF8Encode(Zip)), PAnsiChar(UTF8Encode(Dest)), 'pw', nil, 0) = 1,
      'extraction that skips');
    Check(Length(Reported.Codes) = 3, 'reports of skipped files: ' + IntToStr(Length(Reported.Codes)));
    Found := 0;
    for I := 0 to High(Reported.Codes) do
    begin
      Check(Reported.Codes[I] = PARCELON_E_EXISTS, 'code of a skipped file');
      if Reported.Paths[I] = UTF8String(Names[0]) then
        Inc(Found);
    end;
    Check(Found = 1, 'a.txt reported');
    Check(ReadFile(Dest + PathDelim + Names[0]) = 'kept', 'a skipped file stays');

    { A failure's code and texts, in UTF-8 and back without loss. }
    Check(parcelon_test_utf8(A, PAnsiChar(UTF8Encode(Scratch + PathDelim + 'missing.zip')), nil) = 0,
      'testing a missing archive');
    Check(parcelon_last_error(A) = PARCELON_E_CANNOT_OPEN_ARCHIVE, 'code of a missing archive');
    Check(ParcelonString(parcelon_error_text(PARCELON_E_CANNOT_OPEN_ARCHIVE)) =
      'the archive cannot be opened, or is no ZIP archive', 'text of the code');
    Raw := parcelon_last_message(A);
    Name := UTF8Encode(ParcelonString(Raw));
    Check((Length(Name) > 0) and (Name = UTF8String(Raw)) and (Length(ParcelonString(Raw)) < Length(Name)),
      'the library''s line decoded from UTF-8');
    Check(ParcelonString(parcelon_version) = PARCELON_C_VERSION, 'the version');

    { AES-256 and the portable style: files method 99 and encrypted, the
      folder sub/ in plain, names with '/'. }
    Check(parcelon_set_option(A, PARCELON_OPT_ENCRYPTION, 2) = 0, 'an encryption that does not exist');
    Check(parcelon_set_option(A, PARCELON_OPT_STYLE, 2) = 0, 'a style that does not exist');
    Check(parcelon_set_option(A, PARCELON_OPT_ENCRYPTION, PARCELON_ENCRYPTION_AES256) = 1, 'AES-256');
    Check(parcelon_set_option(A, PARCELON_OPT_STYLE, PARCELON_STYLE_PORTABLE) = 1, 'the portable style');
    Check(parcelon_zip_directory_utf8(A, PAnsiChar(UTF8Encode(Source)), PAnsiChar(UTF8Encode(Zip)), 1,
      PARCELON_DEFAULT_LEVEL, 'pw', 0, nil, 0, nil, 0) = 1, 'packing with AES in the portable style');
    Listed.Names := nil;
    Listed.Entries := nil;
    Listed.StopAfter := 0;
    Check(parcelon_list_utf8(A, PAnsiChar(UTF8Encode(Zip)), OnEntry, @Listed) = 1, 'listing the AES archive');
    Check(Length(Listed.Names) = 4, 'AES entries listed: ' + IntToStr(Length(Listed.Names)));
    for J := 0 to High(Listed.Entries) do
      with Listed.Entries[J] do
        if is_folder = 1 then
          Check((Listed.Names[J] = 'sub/') and (encrypted = 0), 'the folder in plain: ' + string(Listed.Names[J]))
        else
          Check((method = 99) and (encrypted = 1) and (crc32 = 0), 'an AES entry: ' + string(Listed.Names[J]));
  finally
    parcelon_free(A);
  end;

  if Failures > 0 then
  begin
    WriteLn(Failures, ' check(s) failed');
    Halt(1);
  end;
  WriteLn('ParcelonC tests passed');
end.
