// Windows only: the Win32 backend of the platform layer against what the
// system itself says (sizes past 4 GiB, error codes, sharing, identities,
// times and OLE dates).
#if defined(_WIN32)

#include <gtest/gtest.h>

#include <windows.h>
// <windows.h> maps DeleteFile to DeleteFileW; the platform layer has its own.
#ifdef DeleteFile
#undef DeleteFile
#endif

#include <cstdio>
#include <ctime>
#include <set>
#include <string>

#include "create/FileLength.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace testing_support;
namespace platform = parcelon::platform;

namespace {

// A sparse file of the given size: nothing is written, the end is set.
bool MakeFileOfSize(const std::wstring& path, std::uint64_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

std::uint64_t Ticks(const SYSTEMTIME& fields) {
    FILETIME time;
    if (!SystemTimeToFileTime(&fields, &time)) return 0;
    return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

SYSTEMTIME ToSystem(const platform::SystemTime& fields) {
    SYSTEMTIME st {};
    st.wYear = static_cast<WORD>(fields.year);
    st.wMonth = static_cast<WORD>(fields.month);
    st.wDay = static_cast<WORD>(fields.day);
    st.wHour = static_cast<WORD>(fields.hour);
    st.wMinute = static_cast<WORD>(fields.minute);
    st.wSecond = static_cast<WORD>(fields.second);
    st.wMilliseconds = static_cast<WORD>(fields.milliseconds);
    return st;
}

constexpr std::uint64_t kTicksPerSecond = 10000000;

} // namespace

TEST(WindowsPlatformTest, SizesPastFourGigabytesKeepTheirHighPart) {
    TempDir dir;
    const std::uint64_t size = (std::uint64_t{5} << 30) + 123; // high part 1, low part 1 GiB + 123
    ASSERT_TRUE(MakeFileOfSize(dir.W("big.bin"), size));

    platform::FileRecord record;
    ASSERT_TRUE(platform::FindFile(dir.W("big.bin").c_str(), record));
    EXPECT_FALSE(record.is_directory);
    EXPECT_EQ(record.size, size);
    EXPECT_EQ(static_cast<std::uint64_t>(parcelon::GetFileLength(dir.W("big.bin").c_str())), size);

    platform::DirectoryListing listing(dir.W() + L"\\");
    ASSERT_TRUE(listing.IsOpen());
    platform::DirectoryEntry entry;
    bool seen = false;
    while (listing.Next(entry)) {
        if (entry.name != L"big.bin") continue;
        seen = true;
        EXPECT_EQ(entry.kind, platform::EntryKind::File);
        EXPECT_EQ(entry.size, size);
    }
    EXPECT_TRUE(seen);
}

TEST(WindowsPlatformTest, FindFileAndListingTellDirectoriesFromFiles) {
    TempDir dir;
    fs::create_directory(dir / "sub");
    WriteFile(dir / "a.txt", "alpha");

    platform::FileRecord record;
    ASSERT_TRUE(platform::FindFile(dir.W("sub").c_str(), record));
    EXPECT_TRUE(record.is_directory);
    EXPECT_EQ(record.size, 0u);
    EXPECT_FALSE(platform::FindFile(dir.W("missing").c_str(), record));
    EXPECT_FALSE(platform::FindFile((dir.W() + L"\\").c_str(), record)) << "a path ending in a separator";
    EXPECT_FALSE(platform::FindFile(nullptr, record));

    platform::DirectoryListing listing(dir.W() + L"\\");
    ASSERT_TRUE(listing.IsOpen());
    std::set<std::wstring> directories, files;
    platform::DirectoryEntry entry;
    while (listing.Next(entry)) (entry.kind == platform::EntryKind::Directory ? directories : files).insert(entry.name);
    EXPECT_EQ(directories, std::set<std::wstring>({L".", L"..", L"sub"}));
    EXPECT_EQ(files, std::set<std::wstring>({L"a.txt"}));

    platform::DirectoryListing missing(dir.W("missing") + L"\\");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(missing.Next(entry));
}

TEST(WindowsPlatformTest, DeleteFileGivesTheSystemsErrorCodes) {
    TempDir dir;
    fs::create_directory(dir / "sub");
    WriteFile(dir / "a.txt", "alpha");
    WriteFile(dir / "locked.txt", "read-only");
    ASSERT_TRUE(SetFileAttributesW(dir.W("locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(platform::DeleteFile(dir.W("a.txt").c_str()), 0u);
    EXPECT_FALSE(platform::PathExists(dir.W("a.txt").c_str()));
    EXPECT_EQ(platform::DeleteFile(dir.W("a.txt").c_str()), platform::kErrorFileNotFound);
    EXPECT_EQ(platform::DeleteFile(dir.W("nowhere\\a.txt").c_str()), platform::kErrorPathNotFound);
    EXPECT_EQ(platform::DeleteFile(dir.W("sub").c_str()), platform::kErrorAccessDenied);
    EXPECT_EQ(platform::DeleteFile(dir.W("locked.txt").c_str()), platform::kErrorAccessDenied);
    EXPECT_TRUE(platform::PathExists(dir.W("locked.txt").c_str()));
    SetFileAttributesW(dir.W("locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsPlatformTest, ExistenceReadabilityAndDirectories) {
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha");
    EXPECT_TRUE(platform::PathExists(dir.W("a.txt").c_str()));
    EXPECT_TRUE(platform::PathExists(dir.W().c_str()));
    EXPECT_FALSE(platform::PathExists(dir.W("b.txt").c_str()));
    EXPECT_FALSE(platform::PathExists(nullptr));
    EXPECT_TRUE(platform::AccessReadable(dir.A("a.txt").c_str()));
    EXPECT_FALSE(platform::AccessReadable(dir.A("b.txt").c_str()));

    const std::string sub = dir.A("sub");
    EXPECT_FALSE(platform::DirectoryExists(sub.c_str()));
    EXPECT_TRUE(platform::MakeDirectory(sub.c_str()));
    EXPECT_TRUE(platform::DirectoryExists(sub.c_str()));
    EXPECT_TRUE(platform::MakeDirectory(sub.c_str())) << "an existing directory is fine";
    EXPECT_FALSE(platform::MakeDirectory(dir.A("a.txt").c_str())) << "a file of that name is not";
    EXPECT_FALSE(platform::DirectoryExists(dir.A("a.txt").c_str()));
    EXPECT_FALSE(platform::MakeDirectory(dir.A("no\\such").c_str()));
}

TEST(WindowsPlatformTest, OpeningForReadRefusesDirectoriesAndDeniesWriters) {
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha");
    EXPECT_EQ(platform::OpenForRead(dir.A().c_str()), nullptr);
    EXPECT_EQ(platform::OpenForReadDenyWrite(dir.A().c_str()), nullptr);

    {
        platform::FilePtr held(platform::OpenForReadDenyWrite(dir.A("a.txt").c_str()));
        ASSERT_TRUE(held);
        std::FILE* writer = _wfopen(dir.W("a.txt").c_str(), L"ab");
        EXPECT_EQ(writer, nullptr) << "another writer got in while the file was held";
        if (writer != nullptr) std::fclose(writer);
        platform::FilePtr reader(platform::OpenForRead(dir.A("a.txt").c_str()));
        EXPECT_TRUE(reader) << "readers still share it";
    }
    std::FILE* writer = _wfopen(dir.W("a.txt").c_str(), L"ab");
    EXPECT_NE(writer, nullptr) << "writers are let in once it is closed";
    if (writer != nullptr) std::fclose(writer);

    std::FILE* out = platform::OpenForWrite(dir.A("new.bin").c_str());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::fwrite("x\ny", 1, 3, out), 3u);
    EXPECT_TRUE(platform::CloseFile(out));
    EXPECT_EQ(ReadFile(dir / "new.bin"), "x\ny") << "binary mode: no CR added";
}

TEST(WindowsPlatformTest, IdentityIsTheSameForEverySpellingOfAPath) {
    TempDir dir;
    fs::create_directory(dir / "sub");
    WriteFile(dir / "sub/a.txt", "alpha");
    WriteFile(dir / "sub/b.txt", "beta");

    platform::FileIdentity a, a_again, b, sub, sub_again;
    ASSERT_TRUE(platform::GetFileIdentity(dir.W("sub\\a.txt").c_str(), a));
    ASSERT_TRUE(platform::GetFileIdentity((dir.W() + L"/sub/./A.TXT").c_str(), a_again));
    ASSERT_TRUE(platform::GetFileIdentity(dir.W("sub\\b.txt").c_str(), b));
    ASSERT_TRUE(platform::GetFileIdentity(dir.W("sub").c_str(), sub)) << "directories too";
    ASSERT_TRUE(platform::GetFileIdentity((dir.W("sub\\a.txt") + L"\\..").c_str(), sub_again));
    EXPECT_EQ(a, a_again);
    EXPECT_NE(a, b);
    EXPECT_NE(a, sub);
    EXPECT_EQ(sub, sub_again);
    EXPECT_FALSE(platform::GetFileIdentity(dir.W("missing").c_str(), a));
}

TEST(WindowsPlatformTest, LastWriteTimeIsLocalWithMilliseconds) {
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha");
    SYSTEMTIME utc {};
    utc.wYear = 2021;
    utc.wMonth = 6;
    utc.wDay = 15;
    utc.wHour = 12;
    utc.wMinute = 34;
    utc.wSecond = 56;
    utc.wMilliseconds = 789;
    FILETIME written;
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &written));
    {
        HANDLE file = CreateFileW(dir.W("a.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
        CloseHandle(file);
    }
    // The offset of local time in force now, from the C runtime.
    const __time64_t now = _time64(nullptr);
    std::tm local {}, universal {};
    ASSERT_EQ(_localtime64_s(&local, &now), 0);
    ASSERT_EQ(_gmtime64_s(&universal, &now), 0);
    const long long offset_seconds = static_cast<long long>(_mkgmtime64(&local) - _mkgmtime64(&universal));

    platform::SystemTime fields;
    ASSERT_EQ(platform::FileLastWriteLocal(dir.W("a.txt").c_str(), fields), platform::FileTimeLookup::Found);
    EXPECT_EQ(fields.milliseconds, 789);
    const long long shift = static_cast<long long>(Ticks(ToSystem(fields)) - Ticks(utc)) /
                            static_cast<long long>(kTicksPerSecond);
    EXPECT_EQ(shift, offset_seconds);
    EXPECT_EQ(platform::FileLastWriteLocal(dir.W("missing").c_str(), fields), platform::FileTimeLookup::NotFound);
}

TEST(WindowsPlatformTest, CurrentLocalTimeAgreesWithTheSystemClock) {
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    platform::SystemTime now;
    ASSERT_TRUE(platform::CurrentLocalTime(now));
    GetLocalTime(&after);
    EXPECT_EQ(now.milliseconds, 0);
    const std::uint64_t ticks = Ticks(ToSystem(now));
    EXPECT_GE(ticks + kTicksPerSecond, Ticks(before));
    EXPECT_LE(ticks, Ticks(after));
}

TEST(WindowsPlatformTest, OleDatesCountDaysFromTheEndOf1899) {
    double days = -1.0;
    platform::SystemTime epoch;
    epoch.year = 1899;
    epoch.month = 12;
    epoch.day = 30;
    ASSERT_TRUE(platform::SystemTimeToVariantTime(epoch, days));
    EXPECT_EQ(days, 0.0);

    platform::SystemTime evening;
    evening.year = 2000;
    evening.month = 1;
    evening.day = 1;
    evening.hour = 18;
    ASSERT_TRUE(platform::SystemTimeToVariantTime(evening, days));
    EXPECT_DOUBLE_EQ(days, 36526.75);

    platform::SystemTime back;
    ASSERT_TRUE(platform::VariantTimeToSystemTime(36526.75, back));
    EXPECT_EQ(back.year, 2000);
    EXPECT_EQ(back.month, 1);
    EXPECT_EQ(back.day, 1);
    EXPECT_EQ(back.hour, 18);
    EXPECT_EQ(back.minute, 0);

    platform::SystemTime bad = evening;
    bad.month = 13;
    EXPECT_FALSE(platform::SystemTimeToVariantTime(bad, days));
    bad = evening;
    bad.hour = -1;
    EXPECT_FALSE(platform::SystemTimeToVariantTime(bad, days));
    EXPECT_FALSE(platform::VariantTimeToSystemTime(1e12, back));
}

#endif // _WIN32
