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

// An independent ZipCrypto encoder and ZIP writer. Manifest lines:
// name_hex|- data_file method p<password_hex>|- descriptor(0|1) header_seed
inline const char* const kCraftScript = R"PY(
import sys, struct, zlib, random
manifest, archive = sys.argv[1], sys.argv[2]

def crc_step(c, b):
    return zlib.crc32(bytes([b]), c ^ 0xFFFFFFFF) ^ 0xFFFFFFFF

class Keys:
    def __init__(self, password):
        self.k = [0x12345678, 0x23456789, 0x34567890]
        for b in password:
            self.update(b)
    def update(self, b):
        k = self.k
        k[0] = crc_step(k[0], b)
        k[1] = ((k[1] + (k[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k[2] = crc_step(k[2], (k[1] >> 24) & 0xFF)
    def encrypt(self, data):
        out = bytearray()
        for b in data:
            t = (self.k[2] | 2) & 0xFFFF
            out.append(b ^ (((t * (t ^ 1)) >> 8) & 0xFF))
            self.update(b)
        return bytes(out)

DOS_TIME, DOS_DATE = 0x6B2A, 0x5A21
local, central = bytearray(), bytearray()
count = 0
for line in open(manifest):
    fields = line.split()
    if not fields:
        continue
    name = bytes.fromhex(fields[0]) if fields[0] != "-" else b""
    data = open(fields[1], "rb").read()
    method, password, descriptor, seed = int(fields[2]), fields[3], fields[4] == "1", int(fields[5])
    crc = zlib.crc32(data) & 0xFFFFFFFF
    if method == 8:
        c = zlib.compressobj(6, zlib.DEFLATED, -15)
        body = c.compress(data) + c.flush()
    else:
        body = data
    flags = 0
    if password != "-":
        flags |= 1
        rnd = random.Random(seed)
        check = (DOS_TIME >> 8) & 0xFF if descriptor else crc >> 24
        header = bytes(rnd.randrange(256) for _ in range(11)) + bytes([check])
        body = Keys(bytes.fromhex(password[1:])).encrypt(header + body)
    if descriptor:
        flags |= 8
    offset = len(local)
    shown = (0, 0, 0) if descriptor else (crc, len(body), len(data))
    local += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, DOS_TIME, DOS_DATE,
                         shown[0], shown[1], shown[2], len(name), 0) + name + body
    if descriptor:
        local += struct.pack("<IIII", 0x08074B50, crc, len(body), len(data))
    central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flags, method, DOS_TIME, DOS_DATE,
                           crc, len(body), len(data), len(name), 0, 0, 0, 0, 0, offset) + name
    count += 1
end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), len(local), 0)
open(archive, "wb").write(bytes(local + central + end))
)PY";

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
    const int status = testing_support::RunPython(
        kCraftScript, {testing_support::Narrow(work / "manifest"), testing_support::Narrow(archive)}, &output);
    if (status != 0) ADD_FAILURE() << "crafting " << archive << " failed: " << output;
    return status == 0;
}

// Python's own zipfile writer, names stored exactly as given (ASCII).
inline const char* const kZipfileScript = R"PY(
import sys, zipfile
archive, method = sys.argv[1], sys.argv[2]
kind = {"deflate": zipfile.ZIP_DEFLATED, "store": zipfile.ZIP_STORED,
        "bzip2": zipfile.ZIP_BZIP2, "lzma": zipfile.ZIP_LZMA}[method]
with zipfile.ZipFile(archive, "w", kind) as z:
    for arg in sys.argv[3:]:
        name_hex, data_path = arg.split(":", 1)
        info = zipfile.ZipInfo(bytes.fromhex(name_hex).decode("ascii"), (2024, 1, 2, 3, 4, 6))
        info.compress_type = kind
        z.writestr(info, open(data_path, "rb").read())
)PY";

struct NamedData {
    std::string name;
    std::string data;
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
    const int status = testing_support::RunPython(kZipfileScript, args, &output);
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
        put16(local, 0); // flags
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
        put16(central, 0);
        put16(central, 0);
        put16(central, 0x6B2A);
        put16(central, 0x5A21);
        put32(central, crc);
        put32(central, static_cast<unsigned long>(e.data.size()));
        put32(central, static_cast<unsigned long>(e.data.size()));
        put16(central, static_cast<unsigned>(e.name.size()));
        for (int i = 0; i < 4; ++i) put16(central, 0); // extra, comment, disk, internal attributes
        put32(central, 0);                             // external attributes
        put32(central, offset);
        central += e.name;
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
