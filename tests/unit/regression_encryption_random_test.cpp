// Found by ThreadSanitizer: minizip's crypt.h drew the random bytes of
// every encryption header from the C runtime's rand(), the host's own
// generator, and seeded it with srand(time) once per process. Two objects
// encrypting on two threads raced on it, packing consumed and reset the
// host's rand() sequence, and a host that seeded rand() decided our
// headers. The library now writes encryption headers itself, from a
// generator of its own seeded once per operation (src/crypto/RandomBytes).
#include <gtest/gtest.h>

#include <cstdlib>

#include "Parcelon.h"
#include "support/TestSupport.h"

using namespace testing_support;

TEST(RegressionEncryptionRandomTest, PackingWithAPasswordLeavesTheHostsRandAlone) {
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha");
    const std::vector<std::wstring> files = {dir.W("a.txt"), dir.W("a.txt")};

    std::srand(7);
    const int first = std::rand();
    const int second = std::rand();
    std::srand(7);
    CParcelon zipper;
    ASSERT_TRUE(zipper.ZipFiles(files, dir.W("one.zip").c_str(), 6, "pw"));
    EXPECT_EQ(std::rand(), first) << "packing drew from or reseeded the host's rand()";
    EXPECT_EQ(std::rand(), second);

    // The host's seeding does not decide the headers: the same seed, the
    // same files and password give other header bytes.
    std::srand(7);
    ASSERT_TRUE(zipper.ZipFiles(files, dir.W("two.zip").c_str(), 6, "pw"));
    const std::string one = ReadFile(dir / "one.zip");
    const std::string two = ReadFile(dir / "two.zip");
    ASSERT_EQ(one.size(), two.size());
    EXPECT_NE(one, two);
}
