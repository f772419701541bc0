// Windows only: the Win32 backend of the platform layer against what the
// system itself says (sizes past 4 GiB, removal, sharing, identities and
// times), and the library's own OLE date arithmetic against the system's
// conversions.
#if defined(_WIN32)

#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <winioctl.h> // FSCTL_SET_SPARSE (not in the lean windows.h the build may ask for)

#include <cstdio>
#include <ctime>
#include <set>
#include <string>

#include "create/OleDate.h"
#include "create/ZipFiles.h"
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

    platform::FileStatus status;
    ASSERT_TRUE(platform::LookUpEntry(dir.W("big.bin"), status));
    EXPECT_FALSE(status.is_directory);
    EXPECT_EQ(status.size, size);
    EXPECT_EQ(parcelon::MakeListItem(L"", dir.W("big.bin")).size, size);

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

    platform::FileStatus status;
    ASSERT_TRUE(platform::LookUpEntry(dir.W("sub"), status));
    EXPECT_TRUE(status.is_directory);
    EXPECT_EQ(status.size, 0u);
    EXPECT_FALSE(platform::LookUpEntry(dir.W("missing"), status));
    EXPECT_FALSE(platform::LookUpEntry(dir.W() + L"\\", status)) << "a path ending in a separator";
    EXPECT_FALSE(platform::LookUpEntry(L"", status));

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

TEST(WindowsPlatformTest, RemovingAFileSaysWhatBecameOfIt) {
    TempDir dir;
    fs::create_directory(dir / "sub");
    WriteFile(dir / "a.txt", "alpha");
    WriteFile(dir / "locked.txt", "read-only");
    ASSERT_TRUE(SetFileAttributesW(dir.W("locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(platform::RemoveFile(dir.W("a.txt")), platform::Removal::Removed);
    EXPECT_FALSE(platform::PathExists(dir.W("a.txt")));
    EXPECT_EQ(platform::RemoveFile(dir.W("a.txt")), platform::Removal::Missing);
    EXPECT_EQ(platform::RemoveFile(dir.W("nowhere\\a.txt")), platform::Removal::Refused) << "no such folder";
    EXPECT_EQ(platform::RemoveFile(dir.W("sub")), platform::Removal::Refused);
    EXPECT_EQ(platform::RemoveFile(dir.W("locked.txt")), platform::Removal::Refused);
    EXPECT_TRUE(platform::PathExists(dir.W("locked.txt")));
    SetFileAttributesW(dir.W("locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsPlatformTest, ExistenceReadabilityAndDirectories) {
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha");
    EXPECT_TRUE(platform::PathExists(dir.W("a.txt")));
    EXPECT_TRUE(platform::PathExists(dir.W()));
    EXPECT_FALSE(platform::PathExists(dir.W("b.txt")));
    EXPECT_FALSE(platform::PathExists(L""));
    EXPECT_TRUE(platform::IsReadable(dir.W("a.txt")));
    EXPECT_FALSE(platform::IsReadable(dir.W("b.txt")));

    const std::wstring sub = dir.W("sub");
    EXPECT_FALSE(platform::DirectoryExists(sub));
    EXPECT_TRUE(platform::MakeDirectory(sub));
    EXPECT_TRUE(platform::DirectoryExists(sub));
    EXPECT_TRUE(platform::MakeDirectory(sub)) << "an existing directory is fine";
    EXPECT_FALSE(platform::MakeDirectory(dir.W("a.txt"))) << "a file of that name is not";
    EXPECT_FALSE(platform::DirectoryExists(dir.W("a.txt")));
    EXPECT_FALSE(platform::MakeDirectory(dir.W("no\\such")));
}

TEST(WindowsPlatformTest, OpeningForReadRefusesDirectoriesAndDeniesWriters) {
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha");
    EXPECT_EQ(platform::OpenForRead(dir.W()), nullptr);
    EXPECT_EQ(platform::OpenForReadDenyWrite(dir.W()), nullptr);

    {
        platform::FilePtr held(platform::OpenForReadDenyWrite(dir.W("a.txt")));
        ASSERT_TRUE(held);
        std::FILE* writer = _wfopen(dir.W("a.txt").c_str(), L"ab");
        EXPECT_EQ(writer, nullptr) << "another writer got in while the file was held";
        if (writer != nullptr) std::fclose(writer);
        platform::FilePtr reader(platform::OpenForRead(dir.W("a.txt")));
        EXPECT_TRUE(reader) << "readers still share it";
    }
    std::FILE* writer = _wfopen(dir.W("a.txt").c_str(), L"ab");
    EXPECT_NE(writer, nullptr) << "writers are let in once it is closed";
    if (writer != nullptr) std::fclose(writer);

    std::FILE* out = platform::OpenForWrite(dir.W("new.bin"));
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
    ASSERT_TRUE(platform::GetFileIdentity(dir.W("sub\\a.txt"), a));
    ASSERT_TRUE(platform::GetFileIdentity((dir.W() + L"/sub/./A.TXT"), a_again));
    ASSERT_TRUE(platform::GetFileIdentity(dir.W("sub\\b.txt"), b));
    ASSERT_TRUE(platform::GetFileIdentity(dir.W("sub"), sub)) << "directories too";
    ASSERT_TRUE(platform::GetFileIdentity((dir.W("sub\\a.txt") + L"\\.."), sub_again));
    EXPECT_EQ(a, a_again);
    EXPECT_NE(a, b);
    EXPECT_NE(a, sub);
    EXPECT_EQ(sub, sub_again);
    EXPECT_FALSE(platform::GetFileIdentity(dir.W("missing"), a));
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
    ASSERT_EQ(platform::FileLastWriteLocal(dir.W("a.txt"), fields), platform::FileTimeLookup::Found);
    EXPECT_EQ(fields.milliseconds, 789);
    const long long shift = static_cast<long long>(Ticks(ToSystem(fields)) - Ticks(utc)) /
                            static_cast<long long>(kTicksPerSecond);
    EXPECT_EQ(shift, offset_seconds);
    EXPECT_EQ(platform::FileLastWriteLocal(dir.W("missing"), fields), platform::FileTimeLookup::NotFound);
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

// The file age test does its date arithmetic itself; here it meets the
// system's SystemTimeToVariantTime and VariantTimeToSystemTime. A date is
// valid when it converts and converts back to the same fields (so 31
// November and hour 24 are not); both sides must agree on which dates are
// valid, and on their days, for every day of the years a file can carry,
// at several times of day, and at the edges of the range.
TEST(WindowsOleDateTest, TheLibrarysArithmeticAgreesWithTheSystem) {
    int valid = 0;
    auto compare = [&](const platform::SystemTime& fields) {
        SYSTEMTIME st = ToSystem(fields);
        DOUBLE system_days = 0.0;
        SYSTEMTIME back {};
        const bool system_valid = SystemTimeToVariantTime(&st, &system_days) != FALSE &&
                                  VariantTimeToSystemTime(system_days, &back) != FALSE && back.wYear == st.wYear &&
                                  back.wMonth == st.wMonth && back.wDay == st.wDay && back.wHour == st.wHour &&
                                  back.wMinute == st.wMinute && back.wSecond == st.wSecond;
        const parcelon::OleDate own = parcelon::MakeOleDate(fields);
        const std::string shown = std::to_string(fields.year) + "-" + std::to_string(fields.month) + "-" +
                                  std::to_string(fields.day) + " " + std::to_string(fields.hour) + ":" +
                                  std::to_string(fields.minute) + ":" + std::to_string(fields.second);
        ASSERT_EQ(own.status == parcelon::OleDate::Status::Valid, system_valid) << shown;
        if (!system_valid) return;
        ASSERT_DOUBLE_EQ(own.days, system_days) << shown;
        ++valid;
    };
    const int times[][3] = {{0, 0, 0}, {6, 0, 0}, {12, 30, 15}, {18, 0, 0}, {23, 59, 59}};
    for (int year : {100, 1601, 1899, 1900, 1970, 1980, 2000, 2024, 2100, 9999}) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= 31; ++day) {
                for (const auto& t : times) compare(platform::SystemTime{year, month, day, t[0], t[1], t[2], 0});
            }
        }
    }
    for (const platform::SystemTime& fields :
         {platform::SystemTime{99, 12, 31, 23, 59, 59, 0}, platform::SystemTime{2000, 13, 1, 0, 0, 0, 0},
          platform::SystemTime{2000, 1, 32, 0, 0, 0, 0}, platform::SystemTime{2000, 1, 1, 24, 0, 0, 0},
          platform::SystemTime{2023, 2, 29, 0, 0, 0, 0}, platform::SystemTime{2024, 2, 29, 0, 0, 0, 0}})
        compare(fields);
    EXPECT_GE(valid, 10 * 365 * 5) << "every real day of the years above";

    // From days to fields: the same fields wherever the system gives any.
    for (double days : {-657434.0, -657433.5, -1.25, -0.5, 0.0, 0.75, 36526.75, 45000.123456, 2958465.99998843}) {
        SYSTEMTIME system_fields {};
        platform::SystemTime own_fields;
        const bool system_ok = VariantTimeToSystemTime(days, &system_fields) != FALSE;
        ASSERT_EQ(parcelon::OleDaysToFields(days, own_fields), system_ok) << days;
        if (!system_ok) continue;
        const SYSTEMTIME own = ToSystem(own_fields);
        EXPECT_EQ(own.wYear, system_fields.wYear) << days;
        EXPECT_EQ(own.wMonth, system_fields.wMonth) << days;
        EXPECT_EQ(own.wDay, system_fields.wDay) << days;
        EXPECT_EQ(own.wHour, system_fields.wHour) << days;
        EXPECT_EQ(own.wMinute, system_fields.wMinute) << days;
        EXPECT_EQ(own.wSecond, system_fields.wSecond) << days;
    }
}

#endif // _WIN32
