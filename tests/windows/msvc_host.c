/* A host as an MSVC project builds it: compiled for the *-pc-windows-msvc
 * targets, linked by an MSVC-compatible linker against Parcelon.lib and
 * ParcelonC.h alone. No C runtime is linked: the entry point calls the C
 * interface, writes through kernel32 and leaves through ExitProcess, so the
 * only imports are kernel32's and Parcelon.dll's.
 *
 * Run in a folder holding one.txt and two.log, it calls every function of
 * the interface: packs both into msvc_host.zip, extracts them into out\
 * (which it expects to exist), packs out\ without two.log into one.zip and
 * with nothing but two.log into two.zip, then stops the archiver and packs
 * stopped.zip, which must have no entry. It prints one line per check; run_msvc_host.cmake
 * checks the files. Exit code: the number of failed checks. */
#include <ParcelonC.h>

#define STD_OUTPUT_HANDLE ((unsigned long)-11)
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);

struct progress_record {
    int calls;
    int last;
};

static void write_text(const char* text) {
    unsigned long size = 0;
    unsigned long written = 0;
    while (text[size] != '\0') ++size;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, size, &written, 0);
}

static int same_text(const char* left, const char* right) {
    while (*left != '\0' && *left == *right) {
        ++left;
        ++right;
    }
    return *left == *right;
}

static unsigned failures;

static void check(int condition, const char* what) {
    write_text(condition ? "ok     " : "FAILED ");
    write_text(what);
    write_text("\r\n");
    if (!condition) ++failures;
}

/* The DLL calls this with PARCELON_CALL, __stdcall on x86: the callee
 * removes the arguments, so host and DLL must agree on it. */
static void PARCELON_CALL on_progress(int value, void* user_data) {
    struct progress_record* record = (struct progress_record*)user_data;
    ++record->calls;
    record->last = value;
}

int host_main(void) {
    const wchar_t* files[2];
    const wchar_t* excludes[1];
    const char* files_utf8[2];
    const char* includes_utf8[1];
    const char* message;
    struct progress_record progress = {0, -1};
    parcelon_archiver* archiver;

    check(same_text(parcelon_version(), PARCELON_C_VERSION), "parcelon_version is the header's version");
    check(parcelon_last_error(0) == PARCELON_E_INVALID_ARGUMENT, "a null archiver is an invalid argument");

    archiver = parcelon_new();
    check(archiver != 0, "parcelon_new");
    if (archiver == 0) ExitProcess(failures);
    parcelon_set_progress(archiver, on_progress, &progress);
    check(parcelon_set_threads(archiver, 2) == 1, "parcelon_set_threads");

    /* UTF-16 paths: an MSVC host's wchar_t is the DLL's. */
    files[0] = L"one.txt";
    files[1] = L"two.log";
    check(parcelon_zip_files(archiver, files, 2, L"msvc_host.zip", 6, "host secret") == 1, "parcelon_zip_files");
    check(parcelon_last_error(archiver) == PARCELON_OK, "no failure after packing");
    check(progress.calls > 0 && progress.last == 100, "the progress callback ended at 100");

    check(parcelon_unzip_file(archiver, "msvc_host.zip", "out", "wrong") == 0, "a wrong password fails");
    /* One wrong password in 256 passes the header's check byte and is
     * caught by the CRC instead. */
    check(parcelon_last_error(archiver) == PARCELON_E_WRONG_PASSWORD ||
              parcelon_last_error(archiver) == PARCELON_E_DATA_CORRUPT,
          "the failure is PARCELON_E_WRONG_PASSWORD (or DATA_CORRUPT)");
    message = parcelon_last_message(archiver);
    check(message != 0 && message[0] != '\0', "parcelon_last_message names it");

    check(parcelon_unzip_file_utf8(archiver, "msvc_host.zip", "out", "host secret") == 1,
          "parcelon_unzip_file_utf8");
    check(parcelon_last_message(archiver)[0] == '\0', "no message after a success");

    /* Eleven arguments, the most any function takes. */
    excludes[0] = L"*.log";
    check(parcelon_zip_directory(archiver, L"out", L"one.zip", 1, 9, 0, 0, 0, 0, excludes, 1) == 1,
          "parcelon_zip_directory");
    includes_utf8[0] = "*.log";
    check(parcelon_zip_directory_utf8(archiver, "out", "two.zip", 0, 1, 0, 0, includes_utf8, 1, 0, 0) == 1,
          "parcelon_zip_directory_utf8");

    /* After a stop, packing writes an archive without entries and returns
     * 1, with PARCELON_STOPPED as the last outcome. */
    parcelon_stop(archiver);
    files_utf8[0] = "one.txt";
    files_utf8[1] = "two.log";
    check(parcelon_zip_files_utf8(archiver, files_utf8, 2, "stopped.zip", 6, 0) == 1, "parcelon_zip_files_utf8");
    check(parcelon_last_error(archiver) == PARCELON_STOPPED, "a stopped packing says so");

    parcelon_free(archiver);
    write_text(failures == 0 ? "msvc host: every check passed\r\n" : "msvc host: some checks failed\r\n");
    ExitProcess(failures);
}
