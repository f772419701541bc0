// The floor: what packing costs when nothing but the unavoidable work is
// done. Every regular file under the given folders is read once, in large
// blocks, through zlib's crc32 and a raw Deflate stream at level 6 (one
// stream per file, reset rather than re-made); the compressed bytes are
// counted and dropped. No archive, no names, no encryption.
//
//   parcelon_floor FOLDER...
//
// Prints the files, bytes in and bytes out. Links the same zlib as the
// library, so the library's ratio to it shows the library's own cost.
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kReadBlock = 256 * 1024;

struct Totals {
    unsigned long long files = 0;
    unsigned long long bytes_in = 0;
    unsigned long long bytes_out = 0;
    uLong crc_mix = 0; // keeps the CRCs observable
};

bool PackOne(const fs::path& path, z_stream& stream, std::vector<unsigned char>& in,
             std::vector<unsigned char>& out, Totals& totals) {
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr) return false;
    uLong crc = crc32(0, nullptr, 0);
    deflateReset(&stream);
    for (;;) {
        const std::size_t count = std::fread(in.data(), 1, in.size(), file);
        const int flush = count < in.size() ? Z_FINISH : Z_NO_FLUSH;
        crc = crc32(crc, in.data(), static_cast<uInt>(count));
        totals.bytes_in += count;
        stream.next_in = in.data();
        stream.avail_in = static_cast<uInt>(count);
        int result = Z_OK;
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            result = deflate(&stream, flush);
            totals.bytes_out += out.size() - stream.avail_out;
        } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        if (flush == Z_FINISH) break;
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
    z_stream stream{};
    if (deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 1;
    std::vector<unsigned char> in(kReadBlock);
    std::vector<unsigned char> out(kReadBlock + kReadBlock / 8 + 64);
    Totals totals;
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        const fs::path root(argv[i]);
        if (fs::is_regular_file(root, error)) {
            if (!PackOne(root, stream, in, out, totals)) ++failures;
            continue;
        }
        for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
            if (it->is_regular_file(error) && !PackOne(it->path(), stream, in, out, totals)) ++failures;
        }
        if (error) ++failures;
    }
    deflateEnd(&stream);
    std::printf("files %llu in %llu out %llu crc-mix %08lx\n", totals.files, totals.bytes_in,
                totals.bytes_out, static_cast<unsigned long>(totals.crc_mix));
    return failures == 0 ? 0 : 1;
}
