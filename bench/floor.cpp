// The floor: what packing costs when nothing but the engine's work is done,
// on one thread. Every regular file under the given folders is read once,
// in the library's 1 MiB chunks, through libdeflate's CRC-32 and its raw
// Deflate at level 6 (one compressor, reused); the compressed bytes are
// counted and dropped. No archive, no names, no joining of chunks, no
// encryption.
//
//   parcelon_floor FOLDER...
//
// Prints the files, bytes in and bytes out. Links the same libdeflate as
// the library, so the library's ratio to it shows the library's own cost.
#include <libdeflate.h>

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = 1024 * 1024;

struct Totals {
    unsigned long long files = 0;
    unsigned long long bytes_in = 0;
    unsigned long long bytes_out = 0;
    unsigned long crc_mix = 0; // keeps the CRCs observable
};

bool PackOne(const fs::path& path, libdeflate_compressor* compressor, std::vector<unsigned char>& in,
             std::vector<unsigned char>& out, Totals& totals) {
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr) return false;
    std::uint32_t crc = 0;
    for (;;) {
        const std::size_t count = std::fread(in.data(), 1, in.size(), file);
        crc = libdeflate_crc32(crc, in.data(), count);
        totals.bytes_in += count;
        totals.bytes_out += libdeflate_deflate_compress(compressor, in.data(), count, out.data(), out.size());
        if (count < in.size()) break;
    }
    std::fclose(file);
    totals.crc_mix ^= crc;
    ++totals.files;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
        return 2;
    }
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    if (compressor == nullptr) return 1;
    std::vector<unsigned char> in(kChunk);
    std::vector<unsigned char> out(libdeflate_deflate_compress_bound(compressor, kChunk));
    Totals totals;
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        const fs::path root(argv[i]);
        if (fs::is_regular_file(root, error)) {
            if (!PackOne(root, compressor, in, out, totals)) ++failures;
            continue;
        }
        for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
            if (it->is_regular_file(error) && !PackOne(it->path(), compressor, in, out, totals)) ++failures;
        }
        if (error) ++failures;
    }
    libdeflate_free_compressor(compressor);
    std::printf("files %llu in %llu out %llu crc-mix %08lx\n", totals.files, totals.bytes_in, totals.bytes_out,
                totals.crc_mix);
    return failures == 0 ? 0 : 1;
}
