// Two entries decrypted side by side (DecryptTwo) against each decrypted
// alone: blocks of 1, 7, odd and large sizes, of equal and unequal sizes
// (the longer goes on alone), handed over in turn so that each chain's keys
// carry from one call to the next; and the same cipher given twice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/TraditionalCipher.h"
#include "support/TestSupport.h"

using parcelon::TraditionalCipher;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Encrypted(const char* password, const std::string& plain) {
    Bytes bytes(plain.begin(), plain.end());
    TraditionalCipher keys(password);
    keys.Encrypt(bytes.data(), bytes.size());
    return bytes;
}

Bytes Plain(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct BlockSizes {
    std::size_t first, second;
};

} // namespace

TEST(TraditionalCipherTest, TwoChainsSideBySideDecryptAsEachAlone) {
    const BlockSizes cases[] = {{1, 1}, {7, 7}, {12345, 12345}, {1u << 20, 1u << 20}, {1, 7},
                                {7, 1}, {4097, 12345}, {1u << 20, 3}, {0, 1000}, {1000, 0}};
    // Three of the largest blocks, and 64 bytes after them.
    const std::string first_text = testing_support::PatternBytes((3u << 20) + 64, 1);
    const std::string second_text = testing_support::PatternBytes((3u << 20) + 64, 2);
    const Bytes first_cipher = Encrypted("first", first_text);
    const Bytes second_cipher = Encrypted("2nd password", second_text);
    for (const BlockSizes& sizes : cases) {
        SCOPED_TRACE("blocks of " + std::to_string(sizes.first) + " and " + std::to_string(sizes.second));
        // Three calls' worth of each entry, or as much of it as there is.
        const std::size_t first_total = std::min(first_cipher.size(), 3 * sizes.first);
        const std::size_t second_total = std::min(second_cipher.size(), 3 * sizes.second);
        Bytes first(first_cipher.begin(), first_cipher.begin() + static_cast<std::ptrdiff_t>(first_total));
        Bytes second(second_cipher.begin(), second_cipher.begin() + static_cast<std::ptrdiff_t>(second_total));
        TraditionalCipher first_keys("first");
        TraditionalCipher second_keys("2nd password");
        for (std::size_t a = 0, b = 0; a < first_total || b < second_total;) {
            const std::size_t a_size = std::min(sizes.first, first_total - a);
            const std::size_t b_size = std::min(sizes.second, second_total - b);
            parcelon::DecryptTwo(first_keys, first.data() + a, a_size, second_keys, second.data() + b, b_size);
            a += a_size;
            b += b_size;
        }
        EXPECT_TRUE(first == Bytes(first_text.begin(), first_text.begin() + static_cast<std::ptrdiff_t>(first_total)));
        EXPECT_TRUE(second == Bytes(second_text.begin(), second_text.begin() + static_cast<std::ptrdiff_t>(second_total)));

        // Each chain's keys went on as one cipher's would: the next bytes
        // decrypt the same with either.
        TraditionalCipher alone("first");
        Bytes again(first_cipher.begin(), first_cipher.begin() + static_cast<std::ptrdiff_t>(first_total));
        alone.Decrypt(again.data(), again.size());
        Bytes next_together(first_cipher.begin() + static_cast<std::ptrdiff_t>(first_total),
                            first_cipher.begin() + static_cast<std::ptrdiff_t>(first_total + 64));
        Bytes next_alone = next_together;
        first_keys.Decrypt(next_together.data(), next_together.size());
        alone.Decrypt(next_alone.data(), next_alone.size());
        EXPECT_TRUE(next_together == next_alone);
    }
}

TEST(TraditionalCipherTest, OneCipherGivenTwiceDecryptsTheFirstBlockThenTheSecond) {
    const std::string text = testing_support::PatternBytes(10000, 3);
    const Bytes cipher = Encrypted("pw", text);
    Bytes head(cipher.begin(), cipher.begin() + 4001);
    Bytes tail(cipher.begin() + 4001, cipher.end());
    TraditionalCipher keys("pw");
    parcelon::DecryptTwo(keys, head.data(), head.size(), keys, tail.data(), tail.size());
    head.insert(head.end(), tail.begin(), tail.end());
    EXPECT_TRUE(head == Plain(text));
}
