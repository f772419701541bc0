// Archives put together record by record, for tests that need a layout no
// writer makes on purpose: records that point at one local header, entries
// that overlap, counts that disagree, local headers that lie. Store and
// Deflate, or bytes some other writer compressed; no encryption.
#ifndef PARCELON_TESTS_ZIP_BUILDER_H
#define PARCELON_TESTS_ZIP_BUILDER_H

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct BuiltEntry {
    std::string name;
    std::uint16_t method = 0; // 0 Store, 8 Deflate
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressed_size = 0;
    std::uint32_t uncompressed_size = 0;
    std::uint32_t offset = 0; // of its local header
    std::string extra;        // the extra field, in both headers
};

class ZipBuilder {
public:
    // Appends a local header and the data (deflated by zlib at level, 6 by
    // default, for method 8), and returns what its central record will say.
    BuiltEntry Add(const std::string& name, const std::string& data, std::uint16_t method = 0, int level = 6) {
        BuiltEntry entry;
        entry.name = name;
        entry.method = method;
        entry.crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                                     static_cast<uInt>(data.size())));
        const std::string stored = method == 8 ? Deflate(data, level) : data;
        entry.compressed_size = static_cast<std::uint32_t>(stored.size());
        entry.uncompressed_size = static_cast<std::uint32_t>(data.size());
        entry.offset = static_cast<std::uint32_t>(body.size());
        body += LocalHeader(entry) + stored;
        return entry;
    }

    // Appends a local header and bytes already compressed (or damaged) as
    // the entry says: its method, flags, CRC and sizes are taken as given,
    // the compressed size included.
    BuiltEntry AddRaw(BuiltEntry entry, const std::string& stored) {
        entry.offset = static_cast<std::uint32_t>(body.size());
        body += LocalHeader(entry) + stored;
        return entry;
    }

    static std::string LocalHeader(const BuiltEntry& e) {
        std::string out;
        Put32(out, 0x04034B50);
        Put16(out, 20);
        Put16(out, e.flags);
        Put16(out, e.method);
        Put16(out, 0);      // time
        Put16(out, 0x0021); // date
        Put32(out, e.crc);
        Put32(out, e.compressed_size);
        Put32(out, e.uncompressed_size);
        Put16(out, static_cast<unsigned>(e.name.size()));
        Put16(out, static_cast<unsigned>(e.extra.size()));
        return out + e.name + e.extra;
    }

    static std::string Central(const BuiltEntry& e) {
        std::string out;
        Put32(out, 0x02014B50);
        Put16(out, 20);
        Put16(out, 20);
        Put16(out, e.flags);
        Put16(out, e.method);
        Put16(out, 0);
        Put16(out, 0x0021);
        Put32(out, e.crc);
        Put32(out, e.compressed_size);
        Put32(out, e.uncompressed_size);
        Put16(out, static_cast<unsigned>(e.name.size()));
        Put16(out, static_cast<unsigned>(e.extra.size()));
        for (int i = 0; i < 3; ++i) Put16(out, 0); // comment, disk, internal attributes
        Put32(out, 0);                             // external attributes
        Put32(out, e.offset);
        return out + e.name + e.extra;
    }

    // The end record for a directory of cd_size bytes at cd_offset.
    static std::string End(unsigned count, std::size_t cd_size, std::size_t cd_offset,
                           const std::string& comment = std::string()) {
        std::string out;
        Put32(out, 0x06054B50);
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, count);
        Put16(out, count);
        Put32(out, static_cast<std::uint32_t>(cd_size));
        Put32(out, static_cast<std::uint32_t>(cd_offset));
        Put16(out, static_cast<unsigned>(comment.size()));
        return out + comment;
    }

    // The whole archive: the local records so far, then these central
    // records and an end record that counts them (or count, when given).
    std::string Archive(const std::vector<BuiltEntry>& records, int count = -1) const {
        std::string central;
        for (const BuiltEntry& e : records) central += Central(e);
        return body + central +
               End(count < 0 ? static_cast<unsigned>(records.size()) : static_cast<unsigned>(count), central.size(),
                   body.size());
    }

    static std::string Deflate(const std::string& data, int level = 6) {
        z_stream stream {};
        deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        stream.avail_in = static_cast<uInt>(data.size());
        stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, Z_FINISH);
        out.resize(stream.total_out);
        deflateEnd(&stream);
        return out;
    }

    static void Put16(std::string& out, unsigned value) {
        out += static_cast<char>(value & 0xFF);
        out += static_cast<char>((value >> 8) & 0xFF);
    }
    static void Put32(std::string& out, std::uint32_t value) {
        Put16(out, value & 0xFFFF);
        Put16(out, (value >> 16) & 0xFFFF);
    }

    std::string body; // the local records, in order
};

} // namespace testing_support

#endif // PARCELON_TESTS_ZIP_BUILDER_H
