// The libraries the Windows DLLs compile from Debian's sources, linked as
// the DLL links them (parcelon::bzip2, parcelon::lzma, parcelon::zstd,
// parcelon::mbedcrypto) and run under Wine: each decodes a stream its own
// Linux tool wrote and round-trips a text through its encoder; mbedcrypto
// gives the published answers for SHA-1, AES-CTR and PBKDF2-HMAC-SHA1, the
// pieces of WinZip AES. A build that compiled a library wrongly (a missing
// filter, a wrong calling convention, Windows' threads in liblzma, the
// assembly of bignum or AES-NI) fails here before any archive is read.
#include <bzlib.h>
#include <lzma.h>
#include <mbedtls/aes.h>
#include <mbedtls/md.h>
#include <mbedtls/pkcs5.h>
#include <mbedtls/sha1.h>
#include <zstd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// 16 lines of "entry NN: Parcelon reads bzip2, xz and Zstandard.\n".
std::string Text() {
    std::string text;
    char line[64];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(line, sizeof line, "entry %02d: Parcelon reads bzip2, xz and Zstandard.\n", i);
        text += line;
    }
    return text;
}

std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Bytes FromHex(const char* hex) {
    Bytes bytes;
    for (std::size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
        unsigned value = 0;
        std::sscanf(hex + i, "%2x", &value);
        bytes.push_back(static_cast<unsigned char>(value));
    }
    return bytes;
}

// Text() as the Linux tools of the same versions wrote it:
//   bzip2 -9c, xz -6c --check=sha256, zstd -19 -c
const unsigned char kBzip2Stream[] = {
    0x42, 0x5a, 0x68, 0x39, 0x31, 0x41, 0x59, 0x26, 0x53, 0x59, 0x2e, 0x6f, 0x2d, 0x01, 0x00, 0x00,
    0xe8, 0x5b, 0x80, 0x00, 0x10, 0x40, 0x05, 0x7f, 0xf0, 0x40, 0x10, 0x3e, 0x25, 0xdc, 0x70, 0x30,
    0x00, 0xdb, 0x40, 0xc6, 0x13, 0x13, 0x26, 0x02, 0x60, 0x00, 0x12, 0x85, 0x01, 0xea, 0x68, 0x34,
    0x00, 0x00, 0x0a, 0xaa, 0x9e, 0x9a, 0x9a, 0x19, 0x34, 0xc2, 0x68, 0x68, 0xc8, 0xde, 0x94, 0x98,
    0x40, 0x60, 0x1e, 0x42, 0x81, 0xb8, 0x6c, 0x16, 0x05, 0xc1, 0x58, 0x54, 0x21, 0x0a, 0xd8, 0x46,
    0x6e, 0xc0, 0x19, 0x95, 0x55, 0x45, 0x42, 0x2a, 0xd3, 0xdd, 0x19, 0xaf, 0xc3, 0x1c, 0x9d, 0xdd,
    0xde, 0x00, 0x07, 0x00, 0x90, 0x40, 0x68, 0x18, 0x04, 0xc2, 0x03, 0xb8, 0x48, 0x24, 0x1a, 0x85,
    0x41, 0xf4, 0x35, 0x0d, 0x02, 0xd0, 0x80, 0xe4, 0x0a, 0x82, 0x02, 0x02, 0x60, 0xb4, 0x3b, 0x05,
    0xc1, 0xb8, 0x6c, 0x17, 0x85, 0x61, 0x78, 0x50, 0x28, 0x1f, 0xc5, 0xdc, 0x91, 0x4e, 0x14, 0x24,
    0x0b, 0x9b, 0xcb, 0x40, 0x40,
};
const unsigned char kXzStream[] = {
    0xfd, 0x37, 0x7a, 0x58, 0x5a, 0x00, 0x00, 0x0a, 0xe1, 0xfb, 0x0c, 0xa1, 0x02, 0x00, 0x21, 0x01,
    0x16, 0x00, 0x00, 0x00, 0x74, 0x2f, 0xe5, 0xa3, 0xe0, 0x03, 0x1f, 0x00, 0x5b, 0x5d, 0x00, 0x32,
    0x9b, 0x8a, 0xef, 0xf2, 0x1b, 0x4e, 0xd2, 0xbb, 0xaf, 0xc4, 0x69, 0x88, 0xf5, 0x6d, 0xc1, 0x3e,
    0x2d, 0x0b, 0xb5, 0x81, 0x92, 0x76, 0x01, 0x1c, 0xad, 0xe9, 0x4c, 0xc3, 0x5b, 0x60, 0x33, 0xb0,
    0xfa, 0xaf, 0x63, 0x54, 0x66, 0x93, 0x3b, 0x09, 0x29, 0xc8, 0x2a, 0x19, 0xb7, 0xc9, 0xb0, 0xbd,
    0xea, 0x66, 0xb3, 0xa1, 0xdb, 0x9c, 0xdb, 0xc8, 0x2c, 0xc4, 0xd7, 0x9a, 0xec, 0xad, 0x60, 0xaf,
    0xb7, 0xd6, 0x24, 0x37, 0x27, 0xa4, 0xc5, 0x9e, 0xd6, 0x52, 0x11, 0xe5, 0x7f, 0x1c, 0x05, 0x20,
    0x2f, 0x51, 0xcd, 0x73, 0x97, 0xaf, 0xd8, 0x6c, 0xa1, 0x5d, 0x00, 0x00, 0xe4, 0x15, 0x3e, 0xe6,
    0x1e, 0x72, 0x4c, 0x33, 0xb7, 0xbb, 0xe9, 0x40, 0x92, 0xe1, 0xe5, 0x91, 0x30, 0x8b, 0x39, 0xb0,
    0x9b, 0x98, 0xdc, 0x7b, 0x4d, 0xf1, 0x83, 0xff, 0x13, 0xd4, 0x0b, 0x19, 0x00, 0x01, 0x8f, 0x01,
    0xa0, 0x06, 0x00, 0x00, 0xd7, 0x3e, 0x35, 0x58, 0xb6, 0xe9, 0xdf, 0x1c, 0x02, 0x00, 0x00, 0x00,
    0x00, 0x0a, 0x59, 0x5a,
};
const unsigned char kZstdStream[] = {
    0x28, 0xb5, 0x2f, 0xfd, 0x64, 0x20, 0x02, 0x05, 0x03, 0x00, 0x24, 0x04, 0x65, 0x6e, 0x74, 0x72,
    0x79, 0x20, 0x30, 0x30, 0x3a, 0x20, 0x50, 0x61, 0x72, 0x63, 0x65, 0x6c, 0x6f, 0x6e, 0x20, 0x72,
    0x65, 0x61, 0x64, 0x73, 0x20, 0x62, 0x7a, 0x69, 0x70, 0x32, 0x2c, 0x20, 0x78, 0x7a, 0x20, 0x61,
    0x6e, 0x64, 0x20, 0x5a, 0x73, 0x74, 0x61, 0x6e, 0x64, 0x61, 0x72, 0x64, 0x2e, 0x0a, 0x31, 0x32,
    0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x31, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x10, 0xa8,
    0x10, 0xe8, 0xeb, 0xff, 0x1d, 0xf0, 0x35, 0x03, 0x10, 0x66, 0x84, 0xff, 0xff, 0x1d, 0xc1, 0x07,
    0x55, 0xa2, 0x53, 0x9a, 0x56, 0xbb, 0x91, 0x0a, 0x92, 0x0c, 0x8b, 0x8d, 0x87, 0x9a,
};
// ---------------------------------------------------------------- bzip2

std::string Bunzip2(const unsigned char* stream, std::size_t size, std::string& text) {
    std::vector<char> out(4096);
    unsigned int out_size = static_cast<unsigned int>(out.size());
    std::vector<char> in(stream, stream + size);
    const int rc = BZ2_bzBuffToBuffDecompress(out.data(), &out_size, in.data(), static_cast<unsigned int>(size), 0, 0);
    if (rc != BZ_OK) return "BZ2_bzBuffToBuffDecompress returned " + std::to_string(rc);
    text.assign(out.data(), out_size);
    return "";
}

std::string Bzip2Reads() {
    std::string text;
    const std::string failure = Bunzip2(kBzip2Stream, sizeof kBzip2Stream, text);
    if (!failure.empty()) return failure;
    return text == Text() ? "" : "decoded other text";
}

std::string Bzip2RoundTrips() {
    std::string source = Text();
    std::vector<char> packed(4096);
    unsigned int packed_size = static_cast<unsigned int>(packed.size());
    const int rc = BZ2_bzBuffToBuffCompress(packed.data(), &packed_size, &source[0],
                                            static_cast<unsigned int>(source.size()), 9, 0, 0);
    if (rc != BZ_OK) return "BZ2_bzBuffToBuffCompress returned " + std::to_string(rc);
    std::string text;
    const std::string failure =
        Bunzip2(reinterpret_cast<const unsigned char*>(packed.data()), packed_size, text);
    if (!failure.empty()) return failure;
    return text == source ? "" : "decoded other text";
}

// ---------------------------------------------------------------- liblzma

std::string Unxz(const unsigned char* stream, std::size_t size, std::string& text) {
    Bytes out(4096);
    std::uint64_t memory_limit = UINT64_MAX;
    std::size_t in_pos = 0;
    std::size_t out_pos = 0;
    const lzma_ret rc =
        lzma_stream_buffer_decode(&memory_limit, 0, nullptr, stream, &in_pos, size, out.data(), &out_pos, out.size());
    if (rc != LZMA_OK) return "lzma_stream_buffer_decode returned " + std::to_string(rc);
    if (in_pos != size) return "the stream was not read to its end";
    out.resize(out_pos);
    text = AsText(out);
    return "";
}

std::string XzReads() {
    std::string text;
    const std::string failure = Unxz(kXzStream, sizeof kXzStream, text);
    if (!failure.empty()) return failure;
    return text == Text() ? "" : "decoded other text";
}

std::string XzRoundTrips() {
    const std::string source = Text();
    Bytes packed(lzma_stream_buffer_bound(source.size()));
    std::size_t packed_size = 0;
    const lzma_ret rc = lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr,
                                                reinterpret_cast<const std::uint8_t*>(source.data()), source.size(),
                                                packed.data(), &packed_size, packed.size());
    if (rc != LZMA_OK) return "lzma_easy_buffer_encode returned " + std::to_string(rc);
    std::string text;
    const std::string failure = Unxz(packed.data(), packed_size, text);
    if (!failure.empty()) return failure;
    return text == source ? "" : "decoded other text";
}

// The raw LZMA1 of a ZIP entry of method 14 (its 9-byte header aside), with
// an end marker, through the raw coders and the x86 branch filter ahead of
// it, as .xz streams of Windows programs often have.
std::string RawLzma1RoundTrips() {
    const std::string source = Text();
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 6)) return "lzma_lzma_preset failed";
    lzma_filter filters[] = {{LZMA_FILTER_X86, nullptr}, {LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes packed(source.size() * 2 + 1024);
    std::size_t packed_size = 0;
    lzma_ret rc = lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const std::uint8_t*>(source.data()),
                                         source.size(), packed.data(), &packed_size, packed.size());
    if (rc != LZMA_OK) return "lzma_raw_buffer_encode returned " + std::to_string(rc);
    Bytes out(4096);
    std::size_t in_pos = 0;
    std::size_t out_pos = 0;
    rc = lzma_raw_buffer_decode(filters, nullptr, packed.data(), &in_pos, packed_size, out.data(), &out_pos,
                                out.size());
    if (rc != LZMA_OK) return "lzma_raw_buffer_decode returned " + std::to_string(rc);
    out.resize(out_pos);
    return AsText(out) == source ? "" : "decoded other text";
}

// Runs a stream coder over in until it ends.
std::string Code(lzma_stream& stream, const Bytes& in, Bytes& out) {
    stream.next_in = in.data();
    stream.avail_in = in.size();
    unsigned char buffer[4096];
    for (;;) {
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        const lzma_ret rc = lzma_code(&stream, LZMA_FINISH);
        out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
        if (rc == LZMA_STREAM_END) return "";
        if (rc != LZMA_OK) return "lzma_code returned " + std::to_string(rc);
    }
}

// Several blocks through the multithreaded encoder and decoder: Windows'
// own threads inside liblzma.
std::string XzThreadsRoundTrip() {
    std::string text;
    for (int i = 0; i < 64; ++i) text += Text();
    const Bytes source(text.begin(), text.end());
    lzma_mt mt{};
    mt.threads = 4;
    mt.block_size = 4096;
    mt.preset = 1;
    mt.check = LZMA_CHECK_CRC32;
    lzma_stream encoder = LZMA_STREAM_INIT;
    lzma_ret rc = lzma_stream_encoder_mt(&encoder, &mt);
    if (rc != LZMA_OK) return "lzma_stream_encoder_mt returned " + std::to_string(rc);
    Bytes packed;
    std::string failure = Code(encoder, source, packed);
    lzma_end(&encoder);
    if (!failure.empty()) return "encoding: " + failure;

    lzma_mt options{};
    options.threads = 4;
    options.memlimit_threading = UINT64_MAX;
    options.memlimit_stop = UINT64_MAX;
    lzma_stream decoder = LZMA_STREAM_INIT;
    rc = lzma_stream_decoder_mt(&decoder, &options);
    if (rc != LZMA_OK) return "lzma_stream_decoder_mt returned " + std::to_string(rc);
    Bytes out;
    failure = Code(decoder, packed, out);
    lzma_end(&decoder);
    if (!failure.empty()) return "decoding: " + failure;
    return out == source ? "" : "decoded other bytes";
}

// ---------------------------------------------------------------- libzstd

std::string Unzstd(const void* stream, std::size_t size, std::string& text) {
    std::vector<char> out(4096);
    const std::size_t rc = ZSTD_decompress(out.data(), out.size(), stream, size);
    if (ZSTD_isError(rc)) return std::string("ZSTD_decompress: ") + ZSTD_getErrorName(rc);
    text.assign(out.data(), rc);
    return "";
}

std::string ZstdReads() {
    std::string text;
    const std::string failure = Unzstd(kZstdStream, sizeof kZstdStream, text);
    if (!failure.empty()) return failure;
    return text == Text() ? "" : "decoded other text";
}

std::string ZstdRoundTrips() {
    const std::string source = Text();
    std::vector<char> packed(ZSTD_compressBound(source.size()));
    const std::size_t packed_size = ZSTD_compress(packed.data(), packed.size(), source.data(), source.size(), 19);
    if (ZSTD_isError(packed_size)) return std::string("ZSTD_compress: ") + ZSTD_getErrorName(packed_size);
    std::string text;
    const std::string failure = Unzstd(packed.data(), packed_size, text);
    if (!failure.empty()) return failure;
    return text == source ? "" : "decoded other text";
}

// ---------------------------------------------------------------- mbedcrypto

std::string Compare(const unsigned char* got, const Bytes& expected) {
    return std::memcmp(got, expected.data(), expected.size()) == 0 ? "" : "another result than the published one";
}

// FIPS 180-2, appendix A.1: SHA-1 of "abc".
std::string Sha1KnownAnswer() {
    unsigned char digest[20];
    const unsigned char abc[] = {'a', 'b', 'c'};
    const int rc = mbedtls_sha1_ret(abc, sizeof abc, digest);
    if (rc != 0) return "mbedtls_sha1_ret returned " + std::to_string(rc);
    return Compare(digest, FromHex("a9993e364706816aba3e25717850c26c9cd0d89d"));
}

// NIST SP 800-38A, F.5.1 (CTR-AES128.Encrypt), its first two blocks.
std::string AesCtrKnownAnswer() {
    const Bytes key = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
    Bytes counter = FromHex("f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff");
    const Bytes plain = FromHex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
    mbedtls_aes_context aes;
    mbedtls_aes_init(&aes);
    int rc = mbedtls_aes_setkey_enc(&aes, key.data(), 128);
    unsigned char cipher[32];
    unsigned char stream_block[16];
    std::size_t offset = 0;
    if (rc == 0)
        rc = mbedtls_aes_crypt_ctr(&aes, plain.size(), &offset, counter.data(), stream_block, plain.data(), cipher);
    mbedtls_aes_free(&aes);
    if (rc != 0) return "mbedtls_aes_crypt_ctr returned " + std::to_string(rc);
    return Compare(cipher, FromHex("874d6191b620e3261bef6864990db6ce9806f66b7970fdff8617187bb9fffdff"));
}

// RFC 6070: PBKDF2-HMAC-SHA1 of "password" with "salt", 4096 rounds.
std::string Pbkdf2KnownAnswer() {
    mbedtls_md_context_t md;
    mbedtls_md_init(&md);
    int rc = mbedtls_md_setup(&md, mbedtls_md_info_from_type(MBEDTLS_MD_SHA1), 1);
    unsigned char key[20];
    const unsigned char password[] = {'p', 'a', 's', 's', 'w', 'o', 'r', 'd'};
    const unsigned char salt[] = {'s', 'a', 'l', 't'};
    if (rc == 0) rc = mbedtls_pkcs5_pbkdf2_hmac(&md, password, sizeof password, salt, sizeof salt, 4096, sizeof key, key);
    mbedtls_md_free(&md);
    if (rc != 0) return "mbedtls_pkcs5_pbkdf2_hmac returned " + std::to_string(rc);
    return Compare(key, FromHex("4b007901b765489abead49d926f721d065a429c1"));
}

struct Check {
    const char* name;
    std::function<std::string()> run;
};

} // namespace

int main() {
    const Check checks[] = {
        {"bzip2 reads what bzip2 -9 wrote", Bzip2Reads},
        {"bzip2 round trip", Bzip2RoundTrips},
        {"liblzma reads what xz -6 --check=sha256 wrote", XzReads},
        {"liblzma .xz round trip", XzRoundTrips},
        {"liblzma raw LZMA1 with the x86 filter, round trip", RawLzma1RoundTrips},
        {"liblzma multithreaded .xz round trip", XzThreadsRoundTrip},
        {"libzstd reads what zstd -19 wrote", ZstdReads},
        {"libzstd round trip", ZstdRoundTrips},
        {"mbedcrypto SHA-1 of \"abc\"", Sha1KnownAnswer},
        {"mbedcrypto AES-128-CTR, NIST SP 800-38A", AesCtrKnownAnswer},
        {"mbedcrypto PBKDF2-HMAC-SHA1, RFC 6070", Pbkdf2KnownAnswer},
    };
    int passed = 0;
    int failed = 0;
    for (const Check& check : checks) {
        const std::string failure = check.run();
        if (failure.empty()) {
            ++passed;
            std::printf("ok      %s\n", check.name);
        } else {
            ++failed;
            std::printf("FAILED  %s: %s\n", check.name, failure.c_str());
        }
    }
    std::printf("codecs: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
