// The smallest useful host: pack two files with progress, then extract them.
#include <Parcelon.h>

#include <cstdio>
#include <string>
#include <vector>

struct PrintProgress : TZipProgressCallback {
    void OnProgress(int nValue) override {
        if (nValue == 999) std::printf("collecting files\n");
        else std::printf("%d%%\n", nValue);
    }
};

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: minimal_host FILE1 FILE2 OUTDIR\n");
        return 2;
    }
    const std::vector<std::wstring> files = {
        std::wstring(argv[1], argv[1] + std::char_traits<char>::length(argv[1])),
        std::wstring(argv[2], argv[2] + std::char_traits<char>::length(argv[2]))};

    PrintProgress progress;
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    if (!zipper.ZipFiles(files, L"example.zip", 6, "secret")) return 1;

    // Extraction needs an existing folder; it reports nothing but its result.
    if (!zipper.UnzipFile("example.zip", argv[3], "secret")) return 1;
    std::printf("Parcelon %s: packed and extracted\n", PARCELON_VERSION_STRING);
    return 0;
}
