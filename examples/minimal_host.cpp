// The smallest useful host: pack two files with progress, then extract them.
#include <Parcelon.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

struct PrintProgress : TZipProgressCallback {
    void OnProgress(int nValue) override {
        if (nValue == 999) std::printf("collecting files\n");
        else std::printf("%d%%\n", nValue);
    }
};

// A command-line argument as the wide text ZipFiles takes: decoded with the
// character set of the user's locale, as the library encodes it back into
// a file name. Empty when the bytes are no text in that character set.
std::wstring Widen(const char* text) {
    const std::size_t length = std::mbstowcs(nullptr, text, 0);
    if (length == static_cast<std::size_t>(-1)) return std::wstring();
    std::wstring wide(length, L'\0');
    std::mbstowcs(&wide[0], text, length + 1);
    return wide;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: minimal_host FILE1 FILE2 OUTDIR\n");
        return 2;
    }
    std::setlocale(LC_ALL, ""); // the user's character set, not the "C" locale's ASCII

    std::vector<std::wstring> files;
    for (int i = 1; i <= 2; ++i) {
        // ZipFiles passes over a listed path that names no file without a
        // word, so check the list first. (A C host hears of such files from
        // its report function: parcelon_set_report in ParcelonC.h.)
        std::error_code error;
        if (!std::filesystem::is_regular_file(argv[i], error)) {
            std::fprintf(stderr, "minimal_host: no such file: %s\n", argv[i]);
            return 1;
        }
        files.push_back(Widen(argv[i]));
        if (files.back().empty()) {
            std::fprintf(stderr, "minimal_host: %s is no text in this locale's character set\n", argv[i]);
            return 1;
        }
    }

    PrintProgress progress;
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    if (!zipper.ZipFiles(files, L"example.zip", 6, "secret")) return 1;

    // Extraction needs an existing folder; it reports nothing but its result.
    if (!zipper.UnzipFile("example.zip", argv[3], "secret")) return 1;
    std::printf("Parcelon %s: packed and extracted\n", PARCELON_VERSION_STRING);
    return 0;
}
