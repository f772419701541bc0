// Archives written by independent peers, extracted to identical bytes:
// Info-ZIP zip (folders, ZipCrypto with the check byte taken from the time),
// Python's zipfile (Deflate and Store) and 7-Zip (ZipCrypto with the check
// byte taken from the CRC). Each test is skipped where its peer is missing,
// as under Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "Parcelon.h"
#include "messages/Messages.h"
#include "support/TestSupport.h"
#include "support/UnzipSupport.h"

using namespace testing_support;
using unzip_support::Listing;

namespace {

#define REQUIRE_TOOL(tool)                                                                                   \
    do {                                                                                                     \
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";                                   \
    } while (0)

// A tree of files to pack with a peer: empty, small, exactly one block,
// large, in nested folders, and an empty folder.
class UnzipPeerTest : public ::testing::Test {
protected:
    TempDir dir;
    std::map<std::string, std::string> files; // relative path -> content

    void SetUp() override {
        fs::create_directories(dir / "tree/sub/deep");
        fs::create_directories(dir / "tree/hollow");
        fs::create_directories(dir / "out");
        const struct {
            const char* name;
            std::size_t size;
        } samples[] = {{"empty.txt", 0},      {"small.txt", 41},          {"block.bin", 1024},
                       {"sub/text.txt", 250000}, {"sub/deep/last.bin", 3333}};
        unsigned seed = 40;
        for (const auto& s : samples) {
            files[s.name] = PatternBytes(s.size, seed++);
            WriteFile(dir / ("tree/" + std::string(s.name)), files[s.name]);
        }
    }

    // Runs a command inside tree/; fails the test when it fails.
    void InTree(const std::string& command) {
        std::string output;
        ASSERT_EQ(RunCommand("cd " + ShellQuote(Narrow(dir / "tree")) + " && " + command, &output), 0) << output;
    }

    bool Unzip(const fs::path& archive, const char* password, std::string* err) {
        CParcelon unzipper;
        StderrCapture capture;
        const bool result = unzipper.UnzipFile(Narrow(archive).c_str(), dir.A("out").c_str(), password);
        *err = capture.Text();
        return result;
    }

    // Every file came out with its bytes, and every folder, the empty one
    // included (which only a folder entry can bring).
    void ExpectTree() {
        std::set<std::string> expected;
        for (const auto& f : files) {
            expected.insert(f.first);
            EXPECT_TRUE(ReadFile(dir / ("out/" + f.first)) == f.second) << f.first;
        }
        expected.insert({"sub/", "sub/deep/", "hollow/"});
        EXPECT_EQ(Listing(dir / "out"), expected);
    }

    void ExpectFlags(const fs::path& archive, int mask, int value) {
        for (const ZipEntryInfo& e : ReadCentralDirectory(archive)) {
            if (e.name.back() != '/') {
                EXPECT_EQ(e.flags & mask, value) << e.name;
            }
        }
    }
};

} // namespace

TEST_F(UnzipPeerTest, InfoZipArchiveWithFolders) {
    REQUIRE_TOOL("zip");
    InTree("zip -q -r ../a.zip .");
    std::string err;
    EXPECT_TRUE(Unzip(dir / "a.zip", nullptr, &err));
    EXPECT_EQ(err, "");
    ExpectTree();
}

TEST_F(UnzipPeerTest, InfoZipEncryptedDeflateAndStore) {
    REQUIRE_TOOL("zip");
    for (const char* level : {"-6", "-0"}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        fs::remove(dir / "p.zip");
        InTree(std::string("zip -q -r ") + level + " -P 'pa ss' ../p.zip .");
        // Info-ZIP streams encrypted entries with a data descriptor: the
        // check byte is the time's.
        ExpectFlags(dir / "p.zip", 9, 9);
        std::string err;
        EXPECT_TRUE(Unzip(dir / "p.zip", "pa ss", &err)) << level;
        EXPECT_EQ(err, "") << level;
        ExpectTree();
    }
}

TEST_F(UnzipPeerTest, InfoZipStreamedArchivesWithDataDescriptors) {
    // Written to a pipe, every entry has its sizes and CRC after the data
    // and zeros in its local header.
    REQUIRE_TOOL("zip");
    for (const char* password : {static_cast<const char*>(nullptr), "streamed"}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        InTree(std::string("zip -q -r ") + (password ? "-P streamed " : "") + "- . | cat > ../s.zip");
        ExpectFlags(dir / "s.zip", 9, password ? 9 : 8);
        std::string err;
        EXPECT_TRUE(Unzip(dir / "s.zip", password, &err)) << (password ? "encrypted" : "plain");
        EXPECT_EQ(err, "");
        ExpectTree();
    }
}

TEST_F(UnzipPeerTest, StreamingWritersWithAZip64EndRecordTheyDidNotNeed) {
    // zip reading standard input, and bsdtar asked for ZIP64, write a ZIP64
    // end record and locator though the plain end record holds every value.
    struct Writer {
        const char* tool;
        const char* command;
    };
    const Writer writers[] = {{"zip", "cat small.txt | zip -q ../w.zip -"},
                              {"bsdtar", "bsdtar --format zip --options zip:zip64 -cf ../w.zip small.txt"}};
    for (const Writer& writer : writers) {
        if (!HaveTool(writer.tool)) {
            std::printf("skipped %s: not installed\n", writer.tool);
            continue;
        }
        fs::remove(dir / "w.zip");
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        InTree(writer.command);
        ASSERT_NE(ReadFile(dir / "w.zip").find("PK\x06\x07"), std::string::npos) << writer.tool << ": no locator";
        std::string err;
        EXPECT_TRUE(Unzip(dir / "w.zip", nullptr, &err)) << writer.tool << ": " << err;
        const std::string name = writer.tool[0] == 'z' ? "-" : "small.txt";
        EXPECT_TRUE(ReadFile(dir / ("out/" + name)) == files["small.txt"]) << writer.tool;
    }
}

TEST_F(UnzipPeerTest, InfoZipArchiveWithAWrongOrMissingPassword) {
    REQUIRE_TOOL("zip");
    InTree("zip -q -P right ../p.zip small.txt");
    std::string err;
    EXPECT_FALSE(Unzip(dir / "p.zip", nullptr, &err));
    EXPECT_EQ(err, MessageLine(parcelon::UnzipFailure::PasswordRequired));
    EXPECT_EQ(ReadFile(dir / "out/small.txt"), "");
    EXPECT_FALSE(Unzip(dir / "p.zip", "wrong", &err));
    // The check byte fails but for a chance of 1 in 256; the data then do.
    EXPECT_TRUE(err == MessageLine(parcelon::UnzipFailure::WrongPassword) ||
                err == MessageLine(parcelon::UnzipFailure::DataCorrupt))
        << err;
}

TEST_F(UnzipPeerTest, PythonZipfileDeflateAndStore) {
    REQUIRE_TOOL("python3");
    for (const char* method : {"deflate", "store"}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        std::string output;
        ASSERT_EQ(RunPeer("zipfile_write_tree.py", {Narrow(dir / "tree"), Narrow(dir / "py.zip"), method}, &output), 0) << output;
        for (const ZipEntryInfo& e : ReadCentralDirectory(dir / "py.zip")) {
            if (e.name.back() != '/') {
                EXPECT_EQ(e.method, std::string(method) == "deflate" ? 8 : 0) << e.name;
            }
        }
        std::string err;
        EXPECT_TRUE(Unzip(dir / "py.zip", nullptr, &err)) << method;
        EXPECT_EQ(err, "") << method;
        ExpectTree();
    }
}

TEST_F(UnzipPeerTest, SevenZipZipCrypto) {
    REQUIRE_TOOL("7z");
    for (const char* level : {"-mx=5", "-mx=0"}) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        fs::remove(dir / "7.zip");
        InTree(std::string("7z a -bd -tzip ") + level + " -mem=ZipCrypto -psecret ../7.zip . >/dev/null");
        ExpectFlags(dir / "7.zip", 1, 1);
        std::string err;
        EXPECT_TRUE(Unzip(dir / "7.zip", "secret", &err)) << level;
        EXPECT_EQ(err, "") << level;
        ExpectTree();
    }
}

TEST_F(UnzipPeerTest, InfoZipUnzipAgreesOnALibraryRoundTrip) {
    // What the library packs and extracts, Info-ZIP unzip extracts the same.
    REQUIRE_TOOL("unzip");
    std::vector<std::wstring> list;
    for (const auto& f : files)
        if (f.first.find('/') == std::string::npos) list.push_back(dir.W("tree/" + f.first));
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipFiles(list, dir.W("lib.zip").c_str(), 9, "pw"));
    std::string err;
    ASSERT_TRUE(Unzip(dir / "lib.zip", "pw", &err));
    fs::create_directories(dir / "peer");
    std::string output;
    ASSERT_EQ(RunCommand("unzip -q -P pw " + ShellQuote(Narrow(dir / "lib.zip")) + " -d " +
                             ShellQuote(Narrow(dir / "peer")),
                         &output),
              0)
        << output;
    for (const auto& f : files) {
        if (f.first.find('/') != std::string::npos) continue;
        EXPECT_TRUE(ReadFile(dir / ("out/" + f.first)) == ReadFile(dir / ("peer/" + f.first))) << f.first;
        EXPECT_TRUE(ReadFile(dir / ("out/" + f.first)) == f.second) << f.first;
    }
}
