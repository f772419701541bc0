// A host that sees nothing but the public header and the shared library:
// packs two files, extracts them again and compares the bytes. Run with a
// scratch folder as its only argument.
#include <Parcelon.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Progress : TZipProgressCallback {
    int calls = 0;
    int last = -1;
    void OnProgress(int nValue) override {
        ++calls;
        last = nValue;
    }
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::wstring Wide(const fs::path& path) {
    const std::string text = path.string();
    return std::wstring(text.begin(), text.end());
}

int Fail(const char* what) {
    std::fprintf(stderr, "abi host: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return Fail("usage: abi_host <scratch folder>");
    const fs::path work = argv[1];
    fs::remove_all(work);
    fs::create_directories(work / "in");
    fs::create_directories(work / "out");
    {
        std::ofstream(work / "in" / "a.txt", std::ios::binary) << "hello from the host\n";
        std::ofstream big(work / "in" / "b.bin", std::ios::binary);
        for (int i = 0; i < 100000; ++i) big << i << ' ';
    }

    Progress progress;
    CParcelon zipper;
    zipper.SetCallbacker(&progress);
    const std::vector<std::wstring> files = {Wide(work / "in" / "a.txt"), Wide(work / "in" / "b.bin")};
    if (!zipper.ZipFiles(files, Wide(work / "x.zip").c_str(), 6, "secret")) return Fail("ZipFiles failed");
    if (progress.calls < 2 || progress.last != 100) return Fail("no progress seen");

    CParcelon copy(zipper);
    const std::string archive = (work / "x.zip").string();
    const std::string out = (work / "out").string();
    if (!copy.UnzipFile(archive.c_str(), out.c_str(), "secret")) return Fail("UnzipFile failed");
    for (const char* name : {"a.txt", "b.bin"})
        if (Slurp(work / "in" / name) != Slurp(work / "out" / name)) return Fail("bytes differ");
    std::printf("abi host: packed and extracted through the shared library\n");
    return 0;
}
