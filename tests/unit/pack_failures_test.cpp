// Which failure each packing step reports, and about what. The lines these
// become are the table's (messages_test.cpp); here the kinds and subjects.
#include <gtest/gtest.h>

#include "archiver/ObjectAccess.h"
#include "create/ZipDirectory.h"
#include "create/ZipFiles.h"
#include "support/TestSupport.h"

using namespace testing_support;
using parcelon::PackFailure;

namespace {

class PackFailureTest : public ::testing::Test {
protected:
    TempDir dir;
    CParcelon object;
    parcelon::PackingState state = parcelon::ObjectAccess::Packing(object);
    RecordingDiagnostics diagnostics;

    void SetUp() override {
        fs::create_directories(dir / "src/sub");
        WriteFile(dir / "src/a.txt", "alpha");
        WriteFile(dir / "src/sub/b.txt", "beta");
    }
};

} // namespace

TEST_F(PackFailureTest, EachFileThatFailsIsReportedInListOrder) {
    const std::vector<std::wstring> list = {dir.W("src/a.txt"), dir.W("src/sub"), dir.W("src/missing.txt")};
    StderrCapture err;
    EXPECT_TRUE(parcelon::ZipFiles(state, list, dir.W("six.zip").c_str(), 6, nullptr, diagnostics));
    // A folder named in the list cannot be read; a missing path is passed
    // over without a line (the class's way), but reported all the same, for
    // the C interface's hosts.
    EXPECT_EQ(diagnostics.packing, std::vector<PackFailure>({PackFailure::CannotOpenSource, PackFailure::SourceMissing}));
    EXPECT_EQ(diagnostics.subjects, std::vector<std::wstring>({dir.W("src/sub"), dir.W("src/missing.txt")}));
    EXPECT_EQ(err.Text(), MessageLine(PackFailure::CannotOpenSource, dir.A("src/sub")));

    diagnostics = RecordingDiagnostics();
    StderrCapture quiet;
    EXPECT_TRUE(parcelon::ZipFiles(state, list, dir.W("ten.zip").c_str(), 10, nullptr, diagnostics));
    EXPECT_EQ(diagnostics.packing, std::vector<PackFailure>({PackFailure::CannotAddEntry, PackFailure::CannotAddEntry,
                                                             PackFailure::SourceMissing}));
    EXPECT_EQ(diagnostics.subjects,
              std::vector<std::wstring>({dir.W("src/a.txt"), dir.W("src/sub"), dir.W("src/missing.txt")}));
}

TEST_F(PackFailureTest, AFolderEntryThatCannotBeOpenedIsNamedByItsEntry) {
    StderrCapture quiet;
    EXPECT_TRUE(parcelon::ZipDirectory(state, dir.W("src").c_str(), dir.W("d.zip").c_str(), {}, {}, true, 10, nullptr,
                                       0, diagnostics));
    ASSERT_EQ(diagnostics.packing.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        if (diagnostics.packing[i] == PackFailure::CannotAddFolder) {
            EXPECT_EQ(diagnostics.subjects[i], L"sub\\");
        } else {
            EXPECT_EQ(diagnostics.packing[i], PackFailure::CannotAddEntry);
            EXPECT_EQ(diagnostics.subjects[i], dir.W("src") + L"\\a.txt");
        }
    }
}

TEST_F(PackFailureTest, TheArchiveItselfFailsByKindAndAnOldOneThatStaysSaysNothing) {
    EXPECT_FALSE(parcelon::ZipFiles(state, {}, dir.W("no/such.zip").c_str(), 6, nullptr, diagnostics));
    EXPECT_EQ(diagnostics.packing, std::vector<PackFailure>({PackFailure::CannotCreateArchive}));
    EXPECT_EQ(diagnostics.subjects, std::vector<std::wstring>({dir.W("no/such.zip")}));

    diagnostics = RecordingDiagnostics();
    StderrCapture capture;
    EXPECT_FALSE(parcelon::ZipDirectory(state, dir.W("src").c_str(), dir.W("src/sub").c_str(), {}, {}, true, 6,
                                        nullptr, 0, diagnostics));
    EXPECT_EQ(diagnostics.packing, std::vector<PackFailure>({PackFailure::CannotRemoveOldArchive}));
    EXPECT_EQ(capture.Text(), "");
}
