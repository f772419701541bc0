// archive_sampler: runs a fixed sequence of operations through the public
// API and records what a host can observe: the archives, every progress
// value and every result. scripts/compare-with-revision.sh builds it against
// two revisions of the library and compares the records, so a change meant
// to keep behaviour can show that it did.
//
//   archive_sampler TREE OUTDIR
//
// TREE is the sample tree (made by the script), OUTDIR receives one archive
// per case and log.txt; the library's own messages go to stderr.
#include <Parcelon.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

struct Log : TZipProgressCallback {
    std::FILE* out = nullptr;
    void OnProgress(int nValue) override { std::fprintf(out, " %d", nValue); }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: archive_sampler TREE OUTDIR\n");
        return 2;
    }
    const std::string tree = argv[1];
    const std::string out = argv[2];
    Log log;
    log.out = std::fopen((out + "/log.txt").c_str(), "w");
    if (log.out == nullptr) return 1;

    auto begin = [&](const char* name) {
        std::fprintf(log.out, "%s:", name);
        std::fflush(log.out);
        std::fprintf(stderr, "[%s]\n", name);
        std::fflush(stderr);
    };
    auto end = [&](bool result) { std::fprintf(log.out, " -> %d\n", result ? 1 : 0); };
    auto zip = [&](const char* name) { return W(out + "/" + name + ".zip"); };
    const std::vector<std::wstring> none;

    struct DirCase {
        const char* name;
        std::string dir;
        bool recursive;
        unsigned level;
        const char* password;
        std::vector<std::wstring> includes, excludes;
    };
    const std::vector<DirCase> dir_cases = {
        {"dir-recursive-6", tree, true, 6, nullptr, {}, {}},
        {"dir-flat-9", tree, false, 9, nullptr, {}, {}},
        {"dir-slash-1", tree + "/", true, 1, nullptr, {}, {}},
        {"dir-level0", tree, true, 0, nullptr, {}, {}},
        {"dir-default", tree, true, static_cast<unsigned>(-1), nullptr, {}, {}},
        {"dir-level2", tree, true, 2, nullptr, {}, {}},
        {"dir-level8", tree, true, 8, nullptr, {}, {}},
        {"dir-include-txt", tree, true, 6, nullptr, {L"*.txt", L"deep"}, {}},
        {"dir-exclude-deep", tree, true, 6, nullptr, {}, {L"deep", L".log"}},
        {"dir-password", tree, true, 6, " s3cret ", {}, {}},
        {"dir-password-store", tree, true, 0, "pw", {}, {}},
        {"dir-blank-password", tree, true, 6, " \t ", {}, {}},
        {"dir-bad-level", tree, true, 12, nullptr, {}, {}},
        {"dir-missing-source", tree + "/nothing-here", true, 6, nullptr, {}, {}},
    };
    for (const DirCase& c : dir_cases) {
        CParcelon zipper;
        zipper.SetCallbacker(&log);
        begin(c.name);
        const bool ok = c.includes.empty() && c.excludes.empty()
                            ? zipper.ZipDirectory(W(c.dir).c_str(), zip(c.name).c_str(), c.recursive, c.level,
                                                  c.password, 0)
                            : zipper.ZipDirectory(W(c.dir).c_str(), zip(c.name).c_str(), c.includes, c.excludes,
                                                  c.recursive, c.level, c.password, 0);
        end(ok);
    }

    const std::vector<std::wstring> list = {
        W(tree + "/a.txt"),           W(tree + "/sub/c.txt"),     W(tree + "/missing.txt"),
        W(tree + "/sub"),             W(tree + "/sub/deep/d.txt"), W(tree + "/a.txt"),
        W(tree + "/empty.txt"),       W(tree + "/big.bin"),        W(tree + "/other/f.log"),
    };
    {
        CParcelon zipper;
        zipper.SetCallbacker(&log);
        begin("files-new-object");
        end(zipper.ZipFiles(list, zip("files-new-object").c_str(), 6, nullptr));
        begin("files-password");
        end(zipper.ZipFiles(list, zip("files-password").c_str(), 9, "pw"));
        begin("files-bad-level");
        end(zipper.ZipFiles(list, zip("files-bad-level").c_str(), 10, nullptr));
        begin("files-uncreatable");
        end(zipper.ZipFiles(list, W(out + "/no/such/folder.zip").c_str(), 6, nullptr));
        begin("dir-then-files: dir");
        end(zipper.ZipDirectory(W(tree + "/sub").c_str(), zip("dir-then-files-dir").c_str(), true, 6, nullptr, 0));
        begin("dir-then-files: files");
        end(zipper.ZipFiles(list, zip("dir-then-files").c_str(), 6, nullptr));
        CParcelon moved(std::move(zipper));
        begin("files-after-move");
        end(moved.ZipFiles(list, zip("files-after-move").c_str(), 6, nullptr));
        moved.Stop();
        begin("files-stopped");
        end(moved.ZipFiles(list, zip("files-stopped").c_str(), 6, nullptr));
        begin("dir-stopped");
        end(moved.ZipDirectory(W(tree).c_str(), zip("dir-stopped").c_str(), true, 6, nullptr, 0));
    }

    struct UnzipCase {
        const char* name;
        std::string archive;
        std::string dest;
        const char* password;
    };
    const std::string dest = out + "/unzipped";
    const std::vector<UnzipCase> unzip_cases = {
        {"unzip-recursive", out + "/dir-recursive-6.zip", dest + "/1", nullptr},
        {"unzip-password", out + "/dir-password.zip", dest + "/2", "s3cret"},
        {"unzip-wrong-password", out + "/dir-password.zip", dest + "/3", "nope"},
        {"unzip-no-password", out + "/dir-password.zip", dest + "/4", nullptr},
        {"unzip-missing-dest", out + "/dir-recursive-6.zip", dest + "/none/deeper", nullptr},
        {"unzip-missing-archive", out + "/nothing.zip", dest + "/5", nullptr},
        {"unzip-empty-archive", out + "/dir-missing-source.zip", dest + "/6", nullptr},
        {"unzip-not-a-zip", tree + "/a.txt", dest + "/7", nullptr},
    };
    for (const UnzipCase& c : unzip_cases) {
        begin(c.name);
        CParcelon unzipper;
        end(unzipper.UnzipFile(c.archive.c_str(), c.dest.c_str(), c.password));
    }
    std::fclose(log.out);
    return 0;
}
