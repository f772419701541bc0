// Entries compressed with Deflate64 (9), bzip2 (12), LZMA (14), Zstandard
// (93) and xz (95): written by 7-Zip, Info-ZIP zip and Python's zipfile, or
// compressed by the bzip2, zstd and xz tools (and liblzma) and stored by
// the test. Each comes out with every byte right; damaged, cut, padded or
// wrongly described, it is refused with nothing left behind; a dictionary
// or window above the library's bound is refused before it is allocated.
// A case whose peer is missing (as under Wine) is skipped with a message.
#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>

#include <cstdio>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Parcelon.h"
#include "extract/Decoder.h"
#include "extract/UnzipFile.h"
#include "support/TestSupport.h"
#include "support/UnzipSupport.h"
#include "support/ZipBuilder.h"

using namespace testing_support;
using parcelon::UnzipFailure;

namespace {

constexpr std::uint16_t kDeflate64 = 9;
constexpr std::uint16_t kBzip2 = 12;
constexpr std::uint16_t kLzma = 14;
constexpr std::uint16_t kZstd = 93;
constexpr std::uint16_t kXz = 95;
constexpr std::uint16_t kEndMarker = 0x0002; // LZMA: an end marker ends the stream

std::uint32_t Crc(const std::string& data) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>(random() & 0xFF);
    return out;
}

// What a compressor makes of data, run as `command -c < in > out`; empty
// (with the failure recorded) when it fails.
std::string Compressed(const std::string& data, const std::string& command) {
    TempDir work;
    WriteFile(work / "in", data);
    std::string output;
    if (RunCommand(command + " -c < " + ShellQuote(Narrow(work / "in")) + " > " + ShellQuote(Narrow(work / "out")),
                   &output) != 0) {
        ADD_FAILURE() << command << ": " << output;
        return std::string();
    }
    return ReadFile(work / "out");
}

// The stored bytes of the only entry of an archive a peer wrote.
std::string OnlyEntryStored(const std::string& archive) {
    if (archive.size() < 30 || archive.compare(0, 4, "PK\x03\x04") != 0) return std::string();
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(archive[i]); };
    const std::size_t size = at(18) | at(19) << 8 | at(20) << 16 | static_cast<std::size_t>(at(21)) << 24;
    const std::size_t data = 30 + (at(26) | at(27) << 8) + (at(28) | at(29) << 8);
    return archive.substr(data, size);
}

// What 7-Zip stores for data under `options` (-mm=Deflate64, say).
std::string SevenZipStored(const std::string& data, const std::string& options) {
    TempDir work;
    WriteFile(work / "d.bin", data);
    std::string output;
    if (RunCommand("cd " + ShellQuote(Narrow(work.path())) + " && 7z a -bd -tzip " + options + " a.zip d.bin",
                   &output) != 0) {
        ADD_FAILURE() << "7z " << options << ": " << output;
        return std::string();
    }
    return OnlyEntryStored(ReadFile(work / "a.zip"));
}

// ZIP's LZMA entry for data: the 4-byte header, the 5 properties, then a
// raw LZMA stream from liblzma, with or without its end marker. The
// properties may name another dictionary than the one encoded with.
std::string LzmaStored(const std::string& data, bool end_marker, std::uint32_t named_dictionary = 0,
                       int lclppb = -1) {
    lzma_options_lzma options{};
    lzma_lzma_preset(&options, 6);
    options.dict_size = 1u << 20;
    options.ext_flags = end_marker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream stream{};
    if (lzma_raw_encoder(&stream, filters) != LZMA_OK) {
        ADD_FAILURE() << "liblzma's LZMA1 encoder";
        return std::string();
    }
    std::string out(data.size() + data.size() / 2 + 4096, '\0');
    stream.next_in = reinterpret_cast<const std::uint8_t*>(data.data());
    stream.avail_in = data.size();
    stream.next_out = reinterpret_cast<std::uint8_t*>(&out[0]);
    stream.avail_out = out.size();
    const lzma_ret result = lzma_code(&stream, LZMA_FINISH);
    out.resize(stream.total_out);
    lzma_end(&stream);
    EXPECT_EQ(result, LZMA_STREAM_END);
    std::uint8_t properties[5];
    lzma_properties_encode(filters, properties);
    if (named_dictionary != 0) {
        for (int i = 0; i < 4; ++i) properties[1 + i] = static_cast<std::uint8_t>(named_dictionary >> (8 * i));
    }
    if (lclppb >= 0) properties[0] = static_cast<std::uint8_t>(lclppb);
    return std::string("\x10\x02\x05\x00", 4) + std::string(reinterpret_cast<char*>(properties), 5) + out;
}

// A zstd frame holding data (at most 128 KiB) as one raw block, its header
// naming a window of 2^window_log bytes and no content size.
std::string ZstdRawFrame(const std::string& data, int window_log) {
    std::string frame("\x28\xB5\x2F\xFD", 4);
    frame += '\0'; // no content size, no checksum, no dictionary, not one segment
    frame += static_cast<char>((window_log - 10) << 3);
    const std::uint32_t header = static_cast<std::uint32_t>(data.size()) << 3 | 1; // raw, last
    for (int i = 0; i < 3; ++i) frame += static_cast<char>(header >> (8 * i));
    return frame + data;
}

// An xz stream whose LZMA2 filter names another dictionary (its one-byte
// code: 28 is 64 MiB, 30 is 128 MiB), with the block header's CRC made
// right again. Fails the test when the stream is not as xz writes it.
std::string WithXzDictionary(std::string xz, unsigned char code, unsigned char expected) {
    const std::size_t header = 12;
    if (xz.size() < header + 8) {
        ADD_FAILURE() << "not an xz stream";
        return xz;
    }
    const std::size_t header_size = (static_cast<unsigned char>(xz[header]) + 1) * 4;
    const std::size_t crc_at = header + header_size - 4;
    const std::size_t filter = xz.find(std::string("\x21\x01", 2), header + 2);
    if (filter == std::string::npos || filter + 2 >= crc_at) {
        ADD_FAILURE() << "no LZMA2 filter in the first block header";
        return xz;
    }
    EXPECT_EQ(static_cast<unsigned char>(xz[filter + 2]), expected);
    xz[filter + 2] = static_cast<char>(code);
    const std::uint32_t crc = Crc(xz.substr(header, crc_at - header));
    for (int i = 0; i < 4; ++i) xz[crc_at + i] = static_cast<char>(crc >> (8 * i));
    return xz;
}

// An entry of the method with these stored bytes, its record right for data.
BuiltEntry Record(const std::string& name, std::uint16_t method, std::uint16_t flags, const std::string& data,
                  const std::string& stored) {
    BuiltEntry e;
    e.name = name;
    e.method = method;
    e.flags = flags;
    e.crc = Crc(data);
    e.compressed_size = static_cast<std::uint32_t>(stored.size());
    e.uncompressed_size = static_cast<std::uint32_t>(data.size());
    return e;
}

std::string OneEntryArchive(const BuiltEntry& record, const std::string& stored) {
    ZipBuilder zip;
    const BuiltEntry placed = zip.AddRaw(record, stored);
    return zip.Archive({placed});
}

// Extracts archive bytes into out/ through the reader, keeping the kind of
// failure.
class MethodTest : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override { fs::create_directories(dir / "out"); }

    UnzipFailure Extract(const std::string& archive) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        WriteFile(dir / "a.zip", archive);
        RecordingDiagnostics diagnostics;
        StderrCapture capture;
        const bool ok = parcelon::UnzipFile(dir.W("a.zip"), dir.W("out"), nullptr, diagnostics);
        capture.Text();
        const UnzipFailure failure = diagnostics.unzipping.empty() ? UnzipFailure::None : diagnostics.unzipping.back();
        EXPECT_EQ(ok, failure == UnzipFailure::None);
        return failure;
    }

    std::set<std::string> Out() const { return unzip_support::Listing(dir / "out"); }

    // The one entry d.bin came out as data, or (expecting a failure) nothing
    // at all did, not even a temporary file.
    void Expect(const char* what, const std::string& archive, UnzipFailure expected, const std::string& data) {
        EXPECT_EQ(Extract(archive), expected) << what;
        if (expected == UnzipFailure::None) {
            EXPECT_EQ(Out(), std::set<std::string>{"d.bin"}) << what;
            EXPECT_TRUE(ReadFile(dir / "out/d.bin") == data) << what << ": the bytes differ";
        } else {
            EXPECT_EQ(Out(), std::set<std::string>{}) << what << ": something was left behind";
        }
    }
};

bool Have(const char* tool) {
    if (tool == nullptr || HaveTool(tool)) return true;
    std::printf("skipped: %s is not installed\n", tool);
    return false;
}

// ---------------------------------------------------------------- archives the peers wrote

// The files every writer packs: empty, small, exactly one decoding block,
// and several MiB (text, then random bytes).
const std::vector<std::pair<std::string, std::string>>& Samples() {
    static const std::vector<std::pair<std::string, std::string>> samples = {
        {"empty.txt", ""},
        {"small.txt", PatternBytes(41, 3)},
        {"block.bin", PatternBytes(parcelon::kDecodeBlock, 4)},
        {"large.txt", PatternBytes(2 * 1024 * 1024, 5) + RandomBytes(200000, 6)},
    };
    return samples;
}

enum class Kind { SevenZip, InfoZip, Zipfile, Compressor };

struct Writer {
    const char* label;
    Kind kind;
    const char* options; // 7z's or zip's options, zipfile's method, the compressor's command
    std::uint16_t method;
};

const Writer kWriters[] = {
    {"SevenZipDeflate64", Kind::SevenZip, "-mm=Deflate64", kDeflate64},
    {"SevenZipDeflate64Ultra", Kind::SevenZip, "-mm=Deflate64 -mx=9", kDeflate64},
    {"SevenZipBzip2", Kind::SevenZip, "-mm=BZip2", kBzip2},
    {"SevenZipBzip2Ultra", Kind::SevenZip, "-mm=BZip2 -mx=9", kBzip2},
    {"SevenZipLzma", Kind::SevenZip, "-mm=LZMA", kLzma},
    {"SevenZipLzmaUltra", Kind::SevenZip, "-mm=LZMA -mx=9", kLzma},
    {"InfoZipBzip2", Kind::InfoZip, "-Z bzip2", kBzip2},
    {"ZipfileBzip2", Kind::Zipfile, "bzip2", kBzip2},
    {"ZipfileLzma", Kind::Zipfile, "lzma", kLzma},
    {"Zstd", Kind::Compressor, "zstd -q", kZstd},
    {"ZstdLevel19", Kind::Compressor, "zstd -q -19", kZstd},
    {"Xz", Kind::Compressor, "xz", kXz},
    {"XzLevel9", Kind::Compressor, "xz -9", kXz},
};

const char* ToolOf(const Writer& w) {
    switch (w.kind) {
    case Kind::SevenZip: return "7z";
    case Kind::InfoZip: return "zip";
    case Kind::Zipfile: return "python3";
    case Kind::Compressor: return w.options[0] == 'z' ? "zstd" : "xz";
    }
    return nullptr;
}

class PeerMethodTest : public MethodTest, public ::testing::WithParamInterface<Writer> {
protected:
    // Writes every sample into one archive the writer's way.
    bool WriteArchive(const Writer& w, const fs::path& archive) {
        fs::create_directories(dir / "tree");
        std::string names;
        for (const auto& [name, data] : Samples()) {
            WriteFile(dir / ("tree/" + name), data);
            names += " " + name;
        }
        const std::string in_tree = "cd " + ShellQuote(Narrow(dir / "tree")) + " && ";
        std::string output;
        switch (w.kind) {
        case Kind::SevenZip:
            EXPECT_EQ(RunCommand(in_tree + "7z a -bd -tzip " + w.options + " " + ShellQuote(Narrow(archive)) + names,
                                 &output),
                      0)
                << output;
            return true;
        case Kind::InfoZip:
            EXPECT_EQ(RunCommand(in_tree + "zip -q " + w.options + " " + ShellQuote(Narrow(archive)) + names, &output),
                      0)
                << output;
            return true;
        case Kind::Zipfile: {
            std::vector<unzip_support::NamedData> entries;
            for (const auto& [name, data] : Samples()) entries.emplace_back(name, data);
            return unzip_support::ZipfileArchive(archive, w.options, entries);
        }
        case Kind::Compressor: {
            ZipBuilder zip;
            std::vector<BuiltEntry> records;
            for (const auto& [name, data] : Samples()) {
                const std::string stored = Compressed(data, w.options);
                records.push_back(zip.AddRaw(Record(name, w.method, 0, data, stored), stored));
            }
            WriteFile(archive, zip.Archive(records));
            return true;
        }
        }
        return false;
    }
};

} // namespace

TEST_P(PeerMethodTest, EveryEntryComesOutWhole) {
    const Writer& w = GetParam();
    if (!Have(ToolOf(w))) GTEST_SKIP() << ToolOf(w) << " is not installed";
    ASSERT_TRUE(WriteArchive(w, dir / "peer.zip"));
    bool saw_method = false;
    for (const ZipEntryInfo& e : ReadCentralDirectory(dir / "peer.zip"))
        if (e.name == "large.txt") saw_method = e.method == w.method;
    ASSERT_TRUE(saw_method) << "the writer did not use method " << w.method;

    CParcelon unzipper;
    StderrCapture capture;
    EXPECT_TRUE(unzipper.UnzipFile(Narrow(dir / "peer.zip").c_str(), dir.A("out").c_str(), nullptr));
    EXPECT_EQ(capture.Text(), "");
    std::set<std::string> expected;
    for (const auto& [name, data] : Samples()) {
        expected.insert(name);
        EXPECT_TRUE(ReadFile(dir / ("out/" + name)) == data) << name;
    }
    EXPECT_EQ(Out(), expected) << "every entry, and nothing else";
}

INSTANTIATE_TEST_SUITE_P(Writers, PeerMethodTest, ::testing::ValuesIn(kWriters),
                         [](const ::testing::TestParamInfo<Writer>& info) { return info.param.label; });

// ---------------------------------------------------------------- damaged and misdescribed entries

TEST_F(MethodTest, DamagedCutPaddedOrMisdescribedStreamsAreRefusedWhole) {
    // More stored bytes than one input block, so that cuts and flips fall
    // after a block boundary too.
    const std::string data = PatternBytes(500000, 9) + RandomBytes(400000, 10);
    const struct {
        const char* label;
        const char* tool;
        std::uint16_t method;
        std::uint16_t flags;
        std::function<std::string()> stored;
    } streams[] = {
        {"Deflate64", "7z", kDeflate64, 0, [&] { return SevenZipStored(data, "-mm=Deflate64"); }},
        {"bzip2", "bzip2", kBzip2, 0, [&] { return Compressed(data, "bzip2"); }},
        {"LZMA with an end marker", nullptr, kLzma, kEndMarker, [&] { return LzmaStored(data, true); }},
        {"LZMA of a known size", nullptr, kLzma, 0, [&] { return LzmaStored(data, false); }},
        {"Zstandard", "zstd", kZstd, 0, [&] { return Compressed(data, "zstd -q"); }},
        {"xz", "xz", kXz, 0, [&] { return Compressed(data, "xz"); }},
    };
    const struct {
        const char* what;
        std::function<void(BuiltEntry&, std::string&)> change;
        UnzipFailure expected;
    } variants[] = {
        {"intact", [](BuiltEntry&, std::string&) {}, UnzipFailure::None},
        {"a flipped byte in the middle", [](BuiltEntry&, std::string& s) { s[s.size() / 2] ^= 0x55; },
         UnzipFailure::DataCorrupt},
        {"cut by its last byte", [](BuiltEntry&, std::string& s) { s.pop_back(); }, UnzipFailure::DataCorrupt},
        {"cut in half", [](BuiltEntry&, std::string& s) { s.resize(s.size() / 2); }, UnzipFailure::DataCorrupt},
        {"bytes after its end", [](BuiltEntry&, std::string& s) { s += "junk\x01\x02"; }, UnzipFailure::DataCorrupt},
        {"a size one byte larger", [](BuiltEntry& e, std::string&) { ++e.uncompressed_size; },
         UnzipFailure::DataCorrupt},
        {"a size one byte smaller", [](BuiltEntry& e, std::string&) { --e.uncompressed_size; },
         UnzipFailure::DataCorrupt},
        {"a CRC that disagrees", [](BuiltEntry& e, std::string&) { e.crc ^= 1; }, UnzipFailure::DataCorrupt},
    };
    for (const auto& s : streams) {
        if (!Have(s.tool)) continue;
        const std::string stored = s.stored();
        ASSERT_GT(stored.size(), parcelon::kDecodeBlock) << s.label;
        for (const auto& v : variants) {
            BuiltEntry record = Record("d.bin", s.method, s.flags, data, stored);
            std::string changed = stored;
            v.change(record, changed);
            record.compressed_size = static_cast<std::uint32_t>(changed.size());
            Expect((std::string(s.label) + ", " + v.what).c_str(), OneEntryArchive(record, changed), v.expected,
                   data);
        }
    }
}

// ---------------------------------------------------------------- what each method's own tool accepts, and not

TEST_F(MethodTest, StreamsJoinedAsTheToolsJoinThemAndTheEndsTheyMustHave) {
    const std::string a = PatternBytes(70000, 11);
    const std::string b = PatternBytes(50000, 12) + RandomBytes(20000, 13);
    const std::string skippable("\x50\x2A\x4D\x18\x04\x00\x00\x00skip", 12);
    const struct {
        const char* what;
        const char* tool;
        std::uint16_t method;
        std::uint16_t flags;
        std::function<std::string()> stored;
        std::string data;
        UnzipFailure expected;
    } cases[] = {
        {"two bzip2 streams", "bzip2", kBzip2, 0, [&] { return Compressed(a, "bzip2") + Compressed(b, "bzip2"); },
         a + b, UnzipFailure::None},
        {"two zstd frames around a skippable one", "zstd", kZstd, 0,
         [&] { return Compressed(a, "zstd -q") + skippable + Compressed(b, "zstd -q"); }, a + b, UnzipFailure::None},
        {"two xz streams with padding between", "xz", kXz, 0,
         [&] { return Compressed(a, "xz") + std::string(4, '\0') + Compressed(b, "xz"); }, a + b, UnzipFailure::None},
        {"xz padding that is not a multiple of four", "xz", kXz, 0,
         [&] { return Compressed(a, "xz") + std::string(3, '\0'); }, a, UnzipFailure::DataCorrupt},
        {"a bzip2 stream, then the start of another", "bzip2", kBzip2, 0,
         [&] { return Compressed(a, "bzip2") + Compressed(b, "bzip2").substr(0, 100); }, a + b,
         UnzipFailure::DataCorrupt},
        {"LZMA with an end marker, flag bit 1 clear", nullptr, kLzma, 0, [&] { return LzmaStored(a, true); }, a,
         UnzipFailure::None},
        {"LZMA without an end marker, flag bit 1 set", nullptr, kLzma, kEndMarker,
         [&] { return LzmaStored(a, false); }, a, UnzipFailure::DataCorrupt},
        {"LZMA with a header only", nullptr, kLzma, 0, [&] { return LzmaStored(a, false).substr(0, 9); }, a,
         UnzipFailure::DataCorrupt},
        {"LZMA whose properties are not 5 bytes", nullptr, kLzma, kEndMarker,
         [&] { return std::string("\x10\x02\x04\x00", 4) + LzmaStored(a, true).substr(4); }, a,
         UnzipFailure::DataCorrupt},
        {"no Deflate64 stream at all", nullptr, kDeflate64, 0, [] { return std::string(); }, "",
         UnzipFailure::DataCorrupt},
        {"no bzip2 stream at all", nullptr, kBzip2, 0, [] { return std::string(); }, "", UnzipFailure::DataCorrupt},
        {"no LZMA stream at all", nullptr, kLzma, kEndMarker, [] { return std::string(); }, "",
         UnzipFailure::DataCorrupt},
        {"no zstd frame at all", nullptr, kZstd, 0, [] { return std::string(); }, "", UnzipFailure::DataCorrupt},
        {"no xz stream at all", nullptr, kXz, 0, [] { return std::string(); }, "", UnzipFailure::DataCorrupt},
    };
    for (const auto& c : cases) {
        if (!Have(c.tool)) continue;
        const std::string stored = c.stored();
        Expect(c.what, OneEntryArchive(Record("d.bin", c.method, c.flags, c.data, stored), stored), c.expected,
               c.data);
    }
}

// ---------------------------------------------------------------- the memory bound

TEST_F(MethodTest, DictionariesAndWindowsAboveTheBoundAreRefusedAsUnsupported) {
    const std::string small = PatternBytes(5000, 14);
    const std::uint32_t k64MiB = 64u << 20;
    const std::uint32_t k128MiB = 128u << 20;
    const struct {
        const char* what;
        const char* tool;
        std::uint16_t method;
        std::uint16_t flags;
        std::function<std::string()> stored;
        std::uint32_t recorded_size; // 0: the data's
        UnzipFailure expected;
    } cases[] = {
        {"a zstd window of 64 MiB", nullptr, kZstd, 0, [&] { return ZstdRawFrame(small, 26); }, 0,
         UnzipFailure::None},
        {"a zstd window of 128 MiB", nullptr, kZstd, 0, [&] { return ZstdRawFrame(small, 27); }, 0,
         UnzipFailure::UnsupportedMethod},
        {"xz -9, a dictionary of 64 MiB", "xz", kXz, 0, [&] { return Compressed(small, "xz -9"); }, 0,
         UnzipFailure::None},
        {"an xz dictionary of 128 MiB", "xz", kXz, 0,
         [&] { return WithXzDictionary(Compressed(small, "xz -9"), 30, 28); }, 0, UnzipFailure::UnsupportedMethod},
        {"an LZMA dictionary of 64 MiB for 64 MiB of data", nullptr, kLzma, kEndMarker,
         [&] { return LzmaStored(small, true, k64MiB); }, k64MiB, UnzipFailure::DataCorrupt},
        {"an LZMA dictionary of 128 MiB for 64 MiB and a byte", nullptr, kLzma, kEndMarker,
         [&] { return LzmaStored(small, true, k128MiB); }, k64MiB + 1, UnzipFailure::UnsupportedMethod},
        {"an LZMA dictionary of 128 MiB for a small entry (it needs no more than its size)", nullptr, kLzma,
         kEndMarker, [&] { return LzmaStored(small, true, k128MiB); }, 0, UnzipFailure::None},
        {"LZMA with lc + lp above 4", nullptr, kLzma, kEndMarker,
         [&] { return LzmaStored(small, true, 0, (0 * 5 + 1) * 9 + 4); }, 0, UnzipFailure::UnsupportedMethod},
    };
    for (const auto& c : cases) {
        if (!Have(c.tool)) continue;
        const std::string stored = c.stored();
        BuiltEntry record = Record("d.bin", c.method, c.flags, small, stored);
        if (c.recorded_size != 0) record.uncompressed_size = c.recorded_size;
        Expect(c.what, OneEntryArchive(record, stored), c.expected, small);
    }
}
