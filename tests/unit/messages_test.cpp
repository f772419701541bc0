// The message table, and the exact bytes a host reads on stderr. Most tests
// compare with the table (MessageLine); these hold the table itself to
// account: its GBK column is its UTF-8 column in code page 936, and a few
// failures through the class give byte for byte the lines hosts expect.
#include <gtest/gtest.h>

#include <string>

#include "Parcelon.h"
#include "messages/Messages.h"
#include "support/TestSupport.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

using namespace testing_support;
using parcelon::PackFailure;
using parcelon::UnzipFailure;

namespace {

// UTF-8 to GBK, by the system's own converter.
std::string ToGbk(const std::string& utf8) {
#if defined(_WIN32)
    const int wide_size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], wide_size);
    const int size = WideCharToMultiByte(936, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
    std::string gbk(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(936, 0, wide.data(), wide_size, &gbk[0], size, nullptr, nullptr);
    return gbk;
#else
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "(no GBK converter)";
    std::string in = utf8;
    std::string out(in.size() * 2 + 8, '\0');
    char* src = &in[0];
    char* dst = &out[0];
    std::size_t left = in.size();
    std::size_t room = out.size();
    const std::size_t rc = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) return "(not convertible)";
    out.resize(out.size() - room);
    return out;
#endif
}

const PackFailure kPackFailures[] = {PackFailure::CannotCreateArchive, PackFailure::CannotReplaceArchive,
                                     PackFailure::CannotCloseArchive,
                                     PackFailure::CannotAddFolder,     PackFailure::CannotAddEntry,
                                     PackFailure::CannotOpenSource,    PackFailure::CannotWriteEntry,
                                     PackFailure::CannotReadSource};
const UnzipFailure kUnzipFailures[] = {
    UnzipFailure::CannotOpenArchive,  UnzipFailure::CannotReadArchiveInfo, UnzipFailure::CannotFindFirstEntry,
    UnzipFailure::CannotReadEntryInfo, UnzipFailure::EntryNameUnsafe,      UnzipFailure::DestinationMissing,
    UnzipFailure::CannotCreateFolder,  UnzipFailure::CannotCreateOutput,   UnzipFailure::CannotOpenEntry,
    UnzipFailure::UnsupportedMethod,   UnzipFailure::UnsupportedEncryption, UnzipFailure::PasswordRequired,
    UnzipFailure::WrongPassword,       UnzipFailure::DataCorrupt,          UnzipFailure::CannotWriteOutput,
    UnzipFailure::LimitExceeded,       UnzipFailure::ExistingFile,         UnzipFailure::ExistingFileKept};

} // namespace

TEST(MessageTableTest, EveryTextIsTheSameInGbkAndUtf8) {
    for (PackFailure failure : kPackFailures) {
        ASSERT_NE(parcelon::messages::Text(failure), nullptr) << static_cast<int>(failure);
        EXPECT_EQ(parcelon::messages::Text(failure), ToGbk(parcelon::messages::TextUtf8(failure)))
            << parcelon::messages::TextUtf8(failure);
    }
    for (UnzipFailure failure : kUnzipFailures) {
        ASSERT_NE(parcelon::messages::Text(failure), nullptr) << static_cast<int>(failure);
        EXPECT_EQ(parcelon::messages::Text(failure), ToGbk(parcelon::messages::TextUtf8(failure)))
            << parcelon::messages::TextUtf8(failure);
    }
    // A refused removal of the old archive writes nothing; nor do the files
    // the class passes over, or a stop; the C interface's reports still
    // have a text for the files.
    EXPECT_EQ(parcelon::messages::Text(PackFailure::CannotRemoveOldArchive), nullptr);
    for (PackFailure failure : {PackFailure::SourceMissing, PackFailure::SourceUnreadable, PackFailure::SourceIsArchive}) {
        EXPECT_EQ(parcelon::messages::Text(failure), nullptr) << static_cast<int>(failure);
        EXPECT_NE(parcelon::messages::TextUtf8(failure), nullptr) << static_cast<int>(failure);
    }
    EXPECT_EQ(parcelon::messages::Text(UnzipFailure::Stopped), nullptr);
    EXPECT_EQ(parcelon::messages::Text(PackFailure::None), nullptr);
    EXPECT_EQ(parcelon::messages::Text(UnzipFailure::None), nullptr);
}

// What hosts read, written out here byte for byte rather than taken from the
// table.
TEST(MessageBytesTest, HostsReadTheseExactLines) {
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha");
    CParcelon zipper;
    {
        StderrCapture capture;
        EXPECT_FALSE(zipper.ZipFiles({dir.W("a.txt")}, dir.W("no/such/folder.zip").c_str(), 6, nullptr));
        // 压缩错误：创建zip文件： (one space) and the path
        EXPECT_EQ(capture.Text(), std::string("\xD1\xB9\xCB\xF5\xB4\xED\xCE\xF3\xA3\xBA\xB4\xB4\xBD\xA8zip"
                                              "\xCE\xC4\xBC\xFE\xA3\xBA ") +
                                      dir.A("no/such/folder.zip") + "\n");
    }
    {
        StderrCapture capture;
        EXPECT_TRUE(zipper.ZipFiles({dir.W("a.txt")}, dir.W("bad.zip").c_str(), 10, nullptr));
        // 压缩错误：正在添加： and the file
        EXPECT_EQ(capture.Text(), std::string("\xD1\xB9\xCB\xF5\xB4\xED\xCE\xF3\xA3\xBA\xD5\xFD\xD4\xDA\xCC\xED"
                                              "\xBC\xD3\xA3\xBA") +
                                      dir.A("a.txt") + "\n");
    }
    {
        StderrCapture capture;
        EXPECT_FALSE(zipper.UnzipFile(dir.A("missing.zip").c_str(), dir.A().c_str(), nullptr));
        // 解压错误：打开zip文件失败, nothing after it
        EXPECT_EQ(capture.Text(), "\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xB4\xF2\xBF\xAAzip"
                                  "\xCE\xC4\xBC\xFE\xCA\xA7\xB0\xDC\n");
    }
    {
        ASSERT_TRUE(zipper.ZipFiles({dir.W("a.txt")}, dir.W("pw.zip").c_str(), 6, "pw"));
        StderrCapture capture;
        EXPECT_FALSE(zipper.UnzipFile(dir.A("pw.zip").c_str(), dir.A().c_str(), nullptr));
        // 解压错误：无法在ZIP中打开当前文件
        EXPECT_EQ(capture.Text(), "\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xCE\xDE\xB7\xA8\xD4\xDAZIP"
                                  "\xD6\xD0\xB4\xF2\xBF\xAA\xB5\xB1\xC7\xB0\xCE\xC4\xBC\xFE\n");
    }
}
