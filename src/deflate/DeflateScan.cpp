#include "deflate/DeflateScan.h"

#include <array>
#include <cstring>

namespace parcelon {

const unsigned char kEmptyFinalBlock[2] = {0x03, 0x00};

namespace {

constexpr unsigned kMaxCodeBits = 15;
constexpr unsigned kTableBits = 11; // codes up to this long resolve in one look-up

// Bits least significant first, as Deflate packs them, through a 64-bit
// buffer. Past the end the input reads as zeros; overrun() tells once any
// of those were taken.
class BitReader {
public:
    BitReader(const unsigned char* data, std::size_t size) : start_(data), next_(data), end_(data + size) {}

    std::uint64_t position() const { return static_cast<std::uint64_t>(next_ - start_) * 8 + padding_ * 8 - count_; }
    bool overrun() const { return position() > static_cast<std::uint64_t>(end_ - start_) * 8; }

    // At least 56 bits in the buffer.
    void Refill() {
        if (end_ - next_ >= 8) {
            std::uint64_t word;
            std::memcpy(&word, next_, sizeof word);
            word = FromLittleEndian(word);
            buffer_ |= word << count_;
            next_ += (63 - count_) >> 3;
            count_ |= 56;
            return;
        }
        while (count_ <= 56) {
            if (next_ < end_) buffer_ |= static_cast<std::uint64_t>(*next_++) << count_;
            else ++padding_;
            count_ += 8;
        }
    }
    // Count (at most 56) bits after a Refill.
    std::uint32_t Peek(unsigned count) const {
        return static_cast<std::uint32_t>(buffer_ & ((std::uint64_t{1} << count) - 1));
    }
    void Drop(unsigned count) {
        buffer_ >>= count;
        count_ -= count;
    }
    std::uint32_t Take(unsigned count) {
        Refill();
        const std::uint32_t bits = Peek(count);
        Drop(count);
        return bits;
    }
    void AlignToByte() { Drop(count_ & 7); }
    // Skips whole bytes (only right after AlignToByte).
    void SkipBytes(std::uint64_t count) {
        const unsigned buffered = count_ / 8;
        if (count <= buffered) {
            Drop(static_cast<unsigned>(count * 8));
            return;
        }
        count -= buffered;
        buffer_ = 0;
        count_ = 0;
        const std::uint64_t left = static_cast<std::uint64_t>(end_ - next_);
        if (count <= left) {
            next_ += count;
        } else {
            padding_ += count - left;
            next_ = end_;
        }
    }

private:
    static std::uint64_t FromLittleEndian(std::uint64_t word) {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&word);
        std::uint64_t value = 0;
        for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
        return value;
    }

    const unsigned char* start_;
    const unsigned char* next_;
    const unsigned char* end_;
    std::uint64_t buffer_ = 0;
    unsigned count_ = 0;
    std::uint64_t padding_ = 0; // zero bytes read past the end
};

// A canonical Huffman code, read to skip: a look-up table for codes up to
// kTableBits long whose entries hold the symbol and how many bits it takes
// together with the extra bits that follow it, and a bit-by-bit walk for
// longer codes.
class Code {
public:
    // extra[s - extra_base], for symbols from extra_base on, is how many
    // extra bits follow symbol s. False for lengths that over-subscribe the
    // code space.
    bool Build(const unsigned char* lengths, unsigned count, const unsigned char* extra, unsigned extra_base) {
        counts_.fill(0);
        for (unsigned s = 0; s < count; ++s) ++counts_[lengths[s]];
        counts_[0] = 0;
        int left = 1;
        for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
            left = (left << 1) - counts_[len];
            if (left < 0) return false;
        }
        std::array<unsigned, kMaxCodeBits + 2> offsets {};
        for (unsigned len = 1; len <= kMaxCodeBits; ++len) offsets[len + 1] = offsets[len] + counts_[len];
        count_ = count;
        for (unsigned s = 0; s < count; ++s)
            if (lengths[s] != 0) symbols_[offsets[lengths[s]]++] = static_cast<std::uint16_t>(s);
        extra_ = extra;
        extra_base_ = extra_base;

        table_.fill(0);
        unsigned code = 0;
        unsigned index = 0;
        for (unsigned len = 1; len <= kTableBits; ++len) {
            for (unsigned i = 0; i < counts_[len]; ++i, ++code, ++index) {
                const unsigned symbol = symbols_[index];
                const std::uint32_t entry = symbol << 8 | (len + ExtraBits(symbol));
                for (unsigned fill = Reverse(code, len); fill < (1u << kTableBits); fill += 1u << len) table_[fill] = entry;
            }
            code <<= 1;
        }
        return true;
    }

    // Takes the next symbol and its extra bits from bits (refilled), and
    // returns the symbol; -1 for bits that are no code.
    int Skip(BitReader& bits) const {
        const std::uint32_t entry = table_[bits.Peek(kTableBits)];
        if (entry != 0) {
            bits.Drop(entry & 0xFF);
            return static_cast<int>(entry >> 8);
        }
        // Longer codes, bit by bit (most significant first).
        int code = 0;
        int first = 0;
        int index = 0;
        for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
            code |= static_cast<int>(bits.Peek(1));
            bits.Drop(1);
            const int count = static_cast<int>(counts_[len]);
            if (code - count < first) {
                const unsigned symbol = symbols_[static_cast<std::size_t>(index + (code - first))];
                bits.Drop(ExtraBits(symbol));
                return static_cast<int>(symbol);
            }
            index += count;
            first += count;
            first <<= 1;
            code <<= 1;
        }
        return -1;
    }

private:
    unsigned ExtraBits(unsigned symbol) const {
        return extra_ != nullptr && symbol >= extra_base_ && symbol < count_ ? extra_[symbol - extra_base_] : 0;
    }
    static unsigned Reverse(unsigned code, unsigned length) {
        unsigned reversed = 0;
        for (unsigned i = 0; i < length; ++i, code >>= 1) reversed = reversed << 1 | (code & 1);
        return reversed;
    }

    std::array<std::uint16_t, kMaxCodeBits + 1> counts_ {};
    std::array<std::uint16_t, 288> symbols_ {};
    std::array<std::uint32_t, 1u << kTableBits> table_ {}; // symbol << 8 | bits; 0: a longer code
    const unsigned char* extra_ = nullptr;
    unsigned extra_base_ = 0;
    unsigned count_ = 0;
};

constexpr unsigned kLengthBase = 257;
constexpr unsigned char kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                            3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 0, 0};
constexpr unsigned char kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6, 6,
                                              7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 0, 0};

// Walks one block's codes up to its end-of-block code. Each step takes at
// most 15 + 5 + 15 + 13 = 48 bits, within one refill. Past the end the
// input reads as zeros, which decode as some literal or other for ever: a
// cut stream is caught by looking after every refill.
bool SkipCodes(BitReader& bits, const Code& literals, const Code& distances) {
    for (;;) {
        bits.Refill();
        if (bits.overrun()) return false;
        const int symbol = literals.Skip(bits);
        if (symbol < 256) {
            if (symbol < 0) return false;
            continue;
        }
        if (symbol == 256) return !bits.overrun();
        if (symbol > 285) return false;
        const int distance = distances.Skip(bits);
        if (distance < 0 || distance > 29) return false;
        if (bits.overrun()) return false;
    }
}

bool SkipFixedBlock(BitReader& bits) {
    unsigned char lengths[288 + 32];
    for (unsigned s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    for (unsigned s = 0; s < 32; ++s) lengths[288 + s] = 5;
    Code literals;
    Code distances;
    if (!literals.Build(lengths, 288, kLengthExtra, kLengthBase) || !distances.Build(lengths + 288, 32, kDistanceExtra, 0))
        return false;
    return SkipCodes(bits, literals, distances);
}

bool SkipDynamicBlock(BitReader& bits) {
    const unsigned literal_count = bits.Take(5) + 257;
    const unsigned distance_count = bits.Take(5) + 1;
    const unsigned length_code_count = bits.Take(4) + 4;
    if (literal_count > 286 || distance_count > 30) return false;
    static constexpr unsigned char kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    unsigned char length_lengths[19] = {};
    for (unsigned i = 0; i < length_code_count; ++i) length_lengths[kOrder[i]] = static_cast<unsigned char>(bits.Take(3));
    Code length_code;
    if (!length_code.Build(length_lengths, 19, nullptr, 0)) return false;

    unsigned char lengths[286 + 30] = {};
    const unsigned total = literal_count + distance_count;
    for (unsigned i = 0; i < total;) {
        bits.Refill();
        const int symbol = length_code.Skip(bits);
        if (symbol < 0 || bits.overrun()) return false;
        if (symbol < 16) {
            lengths[i++] = static_cast<unsigned char>(symbol);
            continue;
        }
        unsigned repeat = 0;
        unsigned char value = 0;
        if (symbol == 16) {
            if (i == 0) return false;
            value = lengths[i - 1];
            repeat = 3 + bits.Take(2);
        } else if (symbol == 17) {
            repeat = 3 + bits.Take(3);
        } else {
            repeat = 11 + bits.Take(7);
        }
        if (i + repeat > total) return false;
        while (repeat-- > 0) lengths[i++] = value;
    }
    if (lengths[256] == 0) return false; // no end-of-block code
    Code literals;
    Code distances;
    if (!literals.Build(lengths, literal_count, kLengthExtra, kLengthBase) ||
        !distances.Build(lengths + literal_count, distance_count, kDistanceExtra, 0))
        return false;
    return SkipCodes(bits, literals, distances);
}

} // namespace

bool FindFinalBlock(const unsigned char* data, std::size_t size, FinalBlock& found) {
    BitReader bits(data, size);
    for (;;) {
        const std::uint64_t header = bits.position();
        const bool final = bits.Take(1) != 0;
        const unsigned type = bits.Take(2);
        bool ok = false;
        if (type == 0) {
            bits.AlignToByte();
            const std::uint32_t length = bits.Take(16);
            const std::uint32_t complement = bits.Take(16);
            ok = (length ^ 0xFFFF) == complement;
            bits.SkipBytes(length);
        } else if (type == 1) {
            ok = SkipFixedBlock(bits);
        } else if (type == 2) {
            ok = SkipDynamicBlock(bits);
        }
        if (!ok || bits.overrun()) return false;
        if (final) {
            found.header_bit = header;
            found.end_bit = bits.position();
            return true;
        }
    }
}

bool MakeNonFinal(std::vector<unsigned char>& stream) {
    FinalBlock final;
    if (!FindFinalBlock(stream.data(), stream.size(), final)) return false;
    stream[static_cast<std::size_t>(final.header_bit >> 3)] &=
        static_cast<unsigned char>(~(1u << (final.header_bit & 7)));
    // After the end-of-block code: an empty stored block, header bits 000
    // (zeros where the byte already holds its padding), aligned, then
    // LEN 0000 and NLEN FFFF.
    std::size_t end_byte = static_cast<std::size_t>(final.end_bit >> 3);
    const unsigned used = static_cast<unsigned>(final.end_bit & 7);
    if (used != 0) {
        stream[end_byte] &= static_cast<unsigned char>((1u << used) - 1);
        ++end_byte;
    }
    // The three header bits fit in what is left of the last byte only when
    // it has room for them; otherwise they take a byte of their own.
    const bool header_fits = used != 0 && used <= 5;
    stream.resize(end_byte);
    if (!header_fits) stream.push_back(0x00);
    const unsigned char empty_stored[4] = {0x00, 0x00, 0xFF, 0xFF};
    stream.insert(stream.end(), empty_stored, empty_stored + sizeof empty_stored);
    return true;
}

} // namespace parcelon
