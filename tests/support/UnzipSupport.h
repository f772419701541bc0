// Helpers for the extraction tests: archives crafted byte for byte by a
// small Python writer (any name, Store or Deflate, ZipCrypto with a fixed
// header so that a wrong password fails the same way on every run, the
// sizes and CRC in a data descriptor or in the local header), archives
// written by Python's zipfile, a peer-free writer of stored entries, and a
// look at a folder's contents.
#ifndef PARCELON_TESTS_UNZIP_SUPPORT_H
#define PARCELON_TESTS_UNZIP_SUPPORT_H

#include <gtest/gtest.h>
#include <zlib.h>

#include <set>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace unzip_support {

namespace fs = std::filesystem;


struct CraftedEntry {
    std::string name;               // bytes as stored
    std::string data;
    int method = 8;                 // 0 Store, 8 Deflate
    const char* password = nullptr; // ZipCrypto when set
    bool descriptor = false;        // flag bit 3, sizes after the data
    unsigned seed = 7;              // the encryption header's random bytes
};

inline std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Writes the archive; false when it could not (no python3, for instance).
inline bool CraftArchive(const fs::path& archive, const std::vector<CraftedEntry>& entries) {
    testing_support::TempDir work;
    std::string manifest;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const CraftedEntry& e = entries[i];
        const fs::path data = work / ("data" + std::to_string(i));
        testing_support::WriteFile(data, e.data);
        manifest += (e.name.empty() ? std::string("-") : Hex(e.name)) + " " + testing_support::Narrow(data) +
                    " " + std::to_string(e.method) + " " +
                    (e.password != nullptr ? "p" + Hex(e.password) : std::string("-")) +
                    " " + (e.descriptor ? "1" : "0") + " " + std::to_string(e.seed) + "\n";
    }
    testing_support::WriteFile(work / "manifest", manifest);
    std::string output;
    const int status = testing_support::RunPeer("craft_zip.py", {testing_support::Narrow(work / "manifest"), testing_support::Narrow(archive)}, &output);
    if (status != 0) ADD_FAILURE() << "crafting " << archive << " failed: " << output;
    return status == 0;
}


struct NamedData {
    NamedData(std::string name_bytes, std::string data_bytes, std::uint16_t flag_bits = 0,
              std::string extra_field = std::string())
        : name(std::move(name_bytes)), data(std::move(data_bytes)), flags(flag_bits), extra(std::move(extra_field)) {}

    std::string name;
    std::string data;
    std::uint16_t flags; // 0x0800: the name is UTF-8 (the stored writer only)
    std::string extra;   // the central record's extra field (the stored writer only)
};

// Writes the archive with zipfile ("deflate", "store", "bzip2", "lzma").
inline bool ZipfileArchive(const fs::path& archive, const std::string& method,
                           const std::vector<NamedData>& entries) {
    testing_support::TempDir work;
    std::vector<std::string> args = {testing_support::Narrow(archive), method};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const fs::path data = work / ("data" + std::to_string(i));
        testing_support::WriteFile(data, entries[i].data);
        args.push_back(Hex(entries[i].name) + ":" + testing_support::Narrow(data));
    }
    std::string output;
    const int status = testing_support::RunPeer("zipfile_write.py", args, &output);
    if (status != 0) ADD_FAILURE() << "zipfile could not write " << archive << ": " << output;
    return status == 0;
}

// The suite's own minimal writer: stored entries under any name, no peer
// needed, so name handling is tested under Wine too.
inline void StoredArchive(const fs::path& archive, const std::vector<NamedData>& entries) {
    std::string local;
    std::string central;
    const auto put16 = [](std::string& out, unsigned value) {
        out += static_cast<char>(value & 0xFF);
        out += static_cast<char>((value >> 8) & 0xFF);
    };
    const auto put32 = [&](std::string& out, unsigned long value) {
        put16(out, static_cast<unsigned>(value & 0xFFFF));
        put16(out, static_cast<unsigned>((value >> 16) & 0xFFFF));
    };
    for (const NamedData& e : entries) {
        const unsigned long crc =
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
        const unsigned long offset = static_cast<unsigned long>(local.size());
        put32(local, 0x04034B50);
        put16(local, 10);
        put16(local, e.flags);
        put16(local, 0); // Store
        put16(local, 0x6B2A);
        put16(local, 0x5A21);
        put32(local, crc);
        put32(local, static_cast<unsigned long>(e.data.size()));
        put32(local, static_cast<unsigned long>(e.data.size()));
        put16(local, static_cast<unsigned>(e.name.size()));
        put16(local, 0);
        local += e.name + e.data;

        put32(central, 0x02014B50);
        put16(central, 10);
        put16(central, 10);
        put16(central, e.flags);
        put16(central, 0);
        put16(central, 0x6B2A);
        put16(central, 0x5A21);
        put32(central, crc);
        put32(central, static_cast<unsigned long>(e.data.size()));
        put32(central, static_cast<unsigned long>(e.data.size()));
        put16(central, static_cast<unsigned>(e.name.size()));
        put16(central, static_cast<unsigned>(e.extra.size()));
        for (int i = 0; i < 3; ++i) put16(central, 0); // comment, disk, internal attributes
        put32(central, 0);                             // external attributes
        put32(central, offset);
        central += e.name + e.extra;
    }
    std::string end;
    put32(end, 0x06054B50);
    put16(end, 0);
    put16(end, 0);
    put16(end, static_cast<unsigned>(entries.size()));
    put16(end, static_cast<unsigned>(entries.size()));
    put32(end, static_cast<unsigned long>(central.size()));
    put32(end, static_cast<unsigned long>(local.size()));
    put16(end, 0);
    testing_support::WriteFile(archive, local + central + end);
}

// Every path below root, relative, with "/" separators; folders end in "/".
inline std::set<std::string> Listing(const fs::path& root) {
    std::set<std::string> paths;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string relative = it->path().lexically_relative(root).generic_u8string();
        if (it->is_directory(ec) && !it->is_symlink(ec)) relative += "/";
        paths.insert(relative);
    }
    return paths;
}

} // namespace unzip_support

#endif // PARCELON_TESTS_UNZIP_SUPPORT_H
