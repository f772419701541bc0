// A host that knows Parcelon.dll through its public header and import
// library alone, as a Windows application would: it packs two files with
// ZipFiles, unpacks them with UnzipFile and compares the bytes, once without
// and once with a password. Usage: parcelon_dll_host <work folder>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Parcelon.h"

namespace {

struct Progress : TZipProgressCallback {
    std::vector<int> values;
    void OnProgress(int nValue) override { values.push_back(nValue); }
};

bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool ReadBytes(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

int failures = 0;

void Check(bool condition, const std::string& what) {
    if (!condition) {
        std::fprintf(stdout, "FAILED: %s\n", what.c_str());
        ++failures;
    }
}

// Packs both sources into zip_name, extracts into out_name (which must
// exist) and compares.
void RoundTrip(const std::string& work, const std::string& zip_name, const std::string& out_name,
               const char* password, const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string label = password ? "with a password" : "without a password";
    std::vector<std::wstring> list;
    for (const auto& file : files) list.push_back(Widen(work + "\\" + file.first));

    CParcelon archiver;
    Progress progress;
    archiver.SetCallbacker(&progress);
    const std::string zip = work + "\\" + zip_name;
    Check(archiver.ZipFiles(list, Widen(zip).c_str(), 6, password), "ZipFiles " + label);
    Check(!progress.values.empty() && progress.values.back() == 100,
          "the last progress value is 100 " + label);

    // A copy made through the exported copy constructor works the same.
    CParcelon copy(archiver);
    const std::string out = work + "\\" + out_name;
    // Nothing left from an earlier run may pass for extracted bytes.
    for (const auto& file : files) {
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::u8path(out + "\\" + file.first), ignored);
    }
    Check(copy.UnzipFile(zip.c_str(), out.c_str(), password), "UnzipFile " + label);
    for (const auto& file : files) {
        std::string bytes;
        Check(ReadBytes(out + "\\" + file.first, bytes), file.first + " extracted " + label);
        Check(bytes == file.second, file.first + " has its bytes back " + label);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: parcelon_dll_host <work folder>\n");
        return 2;
    }
    const std::string work = argv[1];

    // UnzipFile creates no folders: the host makes them.
    for (const std::string& folder : {work, work + "\\out-plain", work + "\\out-secret"}) {
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::u8path(folder), error);
        if (error) {
            std::fprintf(stderr, "cannot create %s\n", folder.c_str());
            return 2;
        }
    }

    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7919) % 256);
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + " of the host's text\r\n";
    const std::vector<std::pair<std::string, std::string>> files = {{"first.bin", binary},
                                                                    {"second.txt", text}};
    for (const auto& file : files)
        if (!WriteBytes(work + "\\" + file.first, file.second)) {
            std::fprintf(stderr, "cannot write %s in %s\n", file.first.c_str(), work.c_str());
            return 2;
        }
    RoundTrip(work, "plain.zip", "out-plain", nullptr, files);
    RoundTrip(work, "secret.zip", "out-secret", "host secret", files);

    if (failures != 0) {
        std::fprintf(stdout, "%d check(s) failed\n", failures);
        return 1;
    }
    std::fprintf(stdout, "dll host: packed and unpacked through Parcelon.dll\n");
    return 0;
}
