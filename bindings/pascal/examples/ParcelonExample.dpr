{ A Delphi host's use of Parcelon through ParcelonC: pack a folder with
  progress, extract it and compare the bytes, then pack again on a worker
  thread and stop that from the main thread, as a Cancel button would.
    ParcelonExample <work folder>
  Exits 1 when a result is not what it should be. }
program ParcelonExample;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$IFDEF MSWINDOWS}
  {$APPTYPE CONSOLE}
{$ENDIF}

uses
{$IFDEF FPC}{$IFDEF UNIX}
  cthreads, cwstring,
{$ENDIF}{$ENDIF}
  Classes, SysUtils, ParcelonC;

type
  { What the progress callback sees, through its user data: no globals. }
  TProgressState = record
    Last: Integer;        { the last value other than 999, -1 before the first }
    Count: Integer;       { values other than 999 }
    Falls: Integer;       { values below the one before (100 may repeat) }
    StopAt: Integer;      { 0, or the percentage at which to wait for the stop }
    Reached: Boolean;     { StopAt was reached: the main thread may stop }
    StopSent: Boolean;    { the main thread has called parcelon_stop }
  end;
  PProgressState = ^TProgressState;

  { Runs one packing call on its own thread. }
  TPackingThread = class(TThread)
  private
    FArchiver: PParcelonArchiver;
    FSource, FZip: UTF8String;
  protected
    procedure Execute; override;
  public
    Result: Integer;
    constructor Create(Archiver: PParcelonArchiver; const Source, Zip: UTF8String);
  end;

var
  Failures: Integer = 0;

procedure Check(Condition: Boolean; const What: string);
begin
  if Condition then
    Exit;
  WriteLn(ErrOutput, 'example failed: ', What);
  Inc(Failures);
end;

procedure OnProgress(Value: Integer; UserData: Pointer);
  {$IFDEF MSWINDOWS}{$IFNDEF WIN64}stdcall{$ELSE}cdecl{$ENDIF}{$ELSE}cdecl{$ENDIF};
var
  State: PProgressState;
  Prior: Integer;
begin
  State := PProgressState(UserData);
  if Value = 999 then { a folder's packing has created its archive }
    Exit;
  Prior := State.Last;
  if Value < Prior then
    Inc(State.Falls);
  State.Last := Value;
  Inc(State.Count);
  if (State.StopAt = 0) and (Value div 25 > Prior div 25) then
    WriteLn('  ', Value, '%'); { each quarter, on the calling thread only }
  if (State.StopAt > 0) and (Value >= State.StopAt) and not State.Reached then
  begin
    { Wait for the main thread's stop, so that it lands inside the packing
      however fast the machine is. }
    State.Reached := True;
    while not State.StopSent do
      Sleep(1);
  end;
end;

constructor TPackingThread.Create(Archiver: PParcelonArchiver; const Source, Zip: UTF8String);
begin
  FArchiver := Archiver;
  FSource := Source;
  FZip := Zip;
  inherited Create(False);
end;

procedure TPackingThread.Execute;
begin
  Result := parcelon_zip_directory_utf8(FArchiver, PAnsiChar(FSource), PAnsiChar(FZip), 1, 1, nil, 0,
    nil, 0, nil, 0);
end;

function FileBytes(const Path: string): RawByteString;
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

procedure WriteBytes(const Path: string; Size: Integer; Seed: Cardinal);
var
  Stream: TFileStream;
  Bytes: RawByteString;
  I: Integer;
begin
  SetLength(Bytes, Size);
  for I := 1 to Size do
  begin
    Seed := Seed * 1103515245 + 12345; { a fixed pseudo-random sequence }
    Bytes[I] := AnsiChar(Seed shr 24);
  end;
  Stream := TFileStream.Create(Path, fmCreate);
  try
    if Size > 0 then
      Stream.WriteBuffer(Bytes[1], Size);
  finally
    Stream.Free;
  end;
end;

function Utf8(const S: string): UTF8String;
begin
  Result := UTF8Encode(S);
end;

const
  FileNames: array[0..3] of string = ('a.txt', 'empty.dat', 'sub' + PathDelim + 'b.bin', 'big.bin');
  FileSizes: array[0..3] of Integer = (5000, 0, 300000, 4 * 1024 * 1024);

var
  Work, Source, Dest, Zip: string;
  A: PParcelonArchiver;
  State: TProgressState;
  Worker: TPackingThread;
  I: Integer;
begin
  if ParamCount <> 1 then
  begin
    WriteLn(ErrOutput, 'usage: ParcelonExample <work folder>');
    Halt(2);
  end;
  Work := ExpandFileName(ParamStr(1));
  Source := Work + PathDelim + 'source';
  Dest := Work + PathDelim + 'extracted';
  Zip := Work + PathDelim + 'example.zip';
  ForceDirectories(Source + PathDelim + 'sub');
  ForceDirectories(Dest);
  for I := Low(FileNames) to High(FileNames) do
    WriteBytes(Source + PathDelim + FileNames[I], FileSizes[I], I + 1);

  WriteLn('Parcelon ', ParcelonString(parcelon_version));
  A := parcelon_new;
  if A = nil then
    Halt(1);
  try
    parcelon_set_progress(A, OnProgress, @State);

    { Pack and extract, with progress. }
    FillChar(State, SizeOf(State), 0);
    State.Last := -1;
    WriteLn('packing');
    Check(parcelon_zip_directory_utf8(A, PAnsiChar(Utf8(Source)), PAnsiChar(Utf8(Zip)), 1, PARCELON_DEFAULT_LEVEL,
      'example', 0, nil, 0, nil, 0) = 1, 'packing: ' + string(ParcelonString(parcelon_last_message(A))));
    Check(parcelon_last_error(A) = PARCELON_OK, 'packing left files out');
    Check((State.Count >= 3) and (State.Falls = 0) and (State.Last = 100),
      Format('packing progress: %d values, %d falls, last %d', [State.Count, State.Falls, State.Last]));

    FillChar(State, SizeOf(State), 0);
    State.Last := -1;
    WriteLn('extracting');
    Check(parcelon_extract_utf8(A, PAnsiChar(Utf8(Zip)), PAnsiChar(Utf8(Dest)), 'example', nil, 0) = 1,
      'extraction: ' + string(ParcelonString(parcelon_last_message(A))));
    Check((State.Count >= 3) and (State.Falls = 0) and (State.Last = 100),
      Format('extraction progress: %d values, %d falls, last %d', [State.Count, State.Falls, State.Last]));
    for I := Low(FileNames) to High(FileNames) do
      Check(FileBytes(Source + PathDelim + FileNames[I]) = FileBytes(Dest + PathDelim + FileNames[I]),
        FileNames[I] + ' came back different');
    WriteLn('extracted, same bytes');

    { A wrong password: the call fails with its code and the library's line. }
    parcelon_set_option(A, PARCELON_OPT_STDERR, 0);
    Check(parcelon_extract_utf8(A, PAnsiChar(Utf8(Zip)), PAnsiChar(Utf8(Dest)), 'wrong', nil, 0) = 0,
      'a wrong password was taken');
    Check(parcelon_last_error(A) = PARCELON_E_WRONG_PASSWORD, 'the code of a wrong password');
    WriteLn('a wrong password: ', ParcelonString(parcelon_error_text(parcelon_last_error(A))), ', ',
      ParcelonString(parcelon_last_message(A)));
  finally
    parcelon_free(A);
  end;

  { Stop: the packing runs on a worker thread, the main thread stops it. A
    fresh archiver, since nothing clears a stop. }
  A := parcelon_new;
  if A = nil then
    Halt(1);
  try
    FillChar(State, SizeOf(State), 0);
    State.Last := -1;
    State.StopAt := 10;
    parcelon_set_progress(A, OnProgress, @State);
    WriteLn('packing, to be stopped');
    Worker := TPackingThread.Create(A, Utf8(Source), Utf8(Zip));
    try
      while not State.Reached and not Worker.Finished do
        Sleep(1);
      parcelon_stop(A);
      State.StopSent := True;
      Worker.WaitFor;
      Check(State.Reached, 'the packing reached 10 % before it ended');
      Check(Worker.Result = 1, 'a stopped packing still completes its archive');
    finally
      Worker.Free;
    end;
    Check(parcelon_last_error(A) = PARCELON_STOPPED, 'a stopped packing says so');
    Check(State.Last = 100, 'a stopped packing ends its progress with 100');
    WriteLn('stopped: ', ParcelonString(parcelon_error_text(parcelon_last_error(A))));
  finally
    parcelon_free(A);
  end;

  A := parcelon_new;
  try
    Check(parcelon_test_utf8(A, PAnsiChar(Utf8(Zip)), nil) = 1, 'the stopped archive tests sound');
    Check(parcelon_extract_utf8(A, PAnsiChar(Utf8(Zip)), PAnsiChar(Utf8(Dest)), nil, nil, 0) = 1,
      'the stopped archive extracts');
  finally
    parcelon_free(A);
  end;

  if Failures > 0 then
    Halt(1);
  WriteLn('example done');
end.
