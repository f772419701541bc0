// CodePageScope: within it the conversions keep the character set that was
// in force when it opened; outside, and on other threads, they read the
// environment's locale afresh.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "text/TextHelpers.h"

#if !defined(_WIN32)

using parcelon::ToAnsi;
using parcelon::platform::CodePageScope;
using testing_support::ScopedEnv;

namespace {

const wchar_t* const kName = L"\u6570\u636E-\u00E9.txt";
const char* const kUtf8 = "\xE6\x95\xB0\xE6\x8D\xAE-\xC3\xA9.txt";
const char* const kAscii = "?" "?-?.txt";

} // namespace

TEST(CodePageScopeTest, KeepsTheCharsetItOpenedWithAndLetsGoAtItsEnd) {
    ScopedEnv utf8("LC_ALL", "C.UTF-8");
    {
        CodePageScope scope;
        ScopedEnv ascii("LC_ALL", "C");
        EXPECT_EQ(ToAnsi(kName), kUtf8);
        EXPECT_EQ(ToAnsi(L"a\\\u00E9"), "a\\\xC3\xA9");
    }
    EXPECT_EQ(ToAnsi(kName), kUtf8);
    ScopedEnv ascii("LC_ALL", "C");
    EXPECT_EQ(ToAnsi(kName), kAscii); // read afresh once the scope is gone
}

TEST(CodePageScopeTest, AnInnerScopeKeepsWhatTheOutermostRead) {
    ScopedEnv utf8("LC_ALL", "C.UTF-8");
    {
        CodePageScope outer;
        ScopedEnv ascii("LC_ALL", "C");
        {
            CodePageScope inner;
            EXPECT_EQ(ToAnsi(kName), kUtf8);
        }
        EXPECT_EQ(ToAnsi(kName), kUtf8);
    }
    ScopedEnv ascii("LC_ALL", "C");
    EXPECT_EQ(ToAnsi(kName), kAscii);
}

TEST(CodePageScopeTest, AScopeOnOneThreadLeavesOthersReadingTheEnvironment) {
    ScopedEnv ascii("LC_ALL", "C");
    CodePageScope scope; // ASCII on this thread
    std::string other_thread;
    {
        ScopedEnv utf8("LC_ALL", "C.UTF-8");
        std::thread other([&] { other_thread = ToAnsi(kName); });
        other.join();
        EXPECT_EQ(ToAnsi(kName), kAscii);
    }
    EXPECT_EQ(other_thread, kUtf8);
}

#endif // !_WIN32
