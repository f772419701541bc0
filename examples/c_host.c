/* The smallest C host: pack two files with progress, then extract them,
 * through the C interface alone (ParcelonC.h). Plain C89.
 *
 *   c_host FILE1 FILE2 OUTDIR        (ASCII or UTF-8 paths) */
#include <ParcelonC.h>

#include <stdio.h>

/* Each file packing leaves out (missing, unreadable, a folder) and each
 * entry that fails: its code, its path or name and the library's line, all
 * UTF-8. */
static void PARCELON_CALL show_report(int code, const char* path, const char* message, void* user_data) {
    int* reports = (int*)user_data;
    ++*reports;
    fprintf(stderr, "%s: %s (%d)\n", path, message, code);
}

static void PARCELON_CALL show_progress(int value, void* user_data) {
    int* calls = (int*)user_data;
    ++*calls;
    if (value == 999) printf("collecting files\n");
    else printf("%d%%\n", value);
}

int main(int argc, char** argv) {
    parcelon_archiver* archiver;
    const char* files[2];
    int calls = 0;
    int reports = 0;
    int ok;
    if (argc != 4) {
        fprintf(stderr, "usage: c_host FILE1 FILE2 OUTDIR\n");
        return 2;
    }
    archiver = parcelon_new();
    if (archiver == NULL) return 1;
    parcelon_set_progress(archiver, show_progress, &calls);
    parcelon_set_report(archiver, show_report, &reports);
    /* The report function says each failure, in UTF-8: no second line, in
     * the ANSI code page, on the standard error stream. */
    parcelon_set_option(archiver, PARCELON_OPT_STDERR, 0);

    files[0] = argv[1];
    files[1] = argv[2];
    /* A packing call succeeds with files left out; the reports tell. */
    ok = parcelon_zip_files_utf8(archiver, files, 2, "c_host.zip", 6, "secret") && reports == 0 &&
         parcelon_unzip_file_utf8(archiver, "c_host.zip", argv[3], "secret");
    if (!ok) {
        /* The library's own line, in UTF-8, and its code. */
        fprintf(stderr, "failed (%d): %s\n", parcelon_last_error(archiver), parcelon_last_message(archiver));
    } else {
        printf("Parcelon %s: packed and extracted, %d progress calls\n", parcelon_version(), calls);
    }
    parcelon_free(archiver);
    return ok ? 0 : 1;
}
