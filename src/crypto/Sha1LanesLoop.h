// The body of Sha1LanesSse2.cpp, Sha1LanesAvx2.cpp and Sha1LanesAvx512.cpp:
// SHA-1's block function, and PBKDF2's iterations, on every lane of a
// vector at once. Each of those files includes it inside its own unnamed
// namespace, after compiling for its instruction set and defining Ops:
//
//   Ops::Vec                      the vector type
//   Ops::kLanes                   32-bit lanes in it
//   Ops::Set1(word)               every lane word
//   Ops::Load(words), Store       kLanes words to and from memory
//   Ops::Add, Xor                 lane by lane
//   Ops::Xor3(x, y, z)            x ^ y ^ z
//   Ops::Rotl<n>(x)               each lane rotated left by n
//   Ops::Choose, Parity, Majority SHA-1's three round functions of b, c, d
//
// It has no includes of its own (the including file has <cstddef>,
// <cstdint>, <utility>, the intrinsics and crypto/HardwareCode.h) and no guard: it is meant to be
// compiled once per instruction set.

using Vec = typename Ops::Vec;

// Round t of 80. The five working words stay where they are and change
// roles from round to round: in round t, a is state[(0 - t) mod 5], b is
// state[(1 - t) mod 5], and so on to e; the new a goes where e was, and b,
// rotated, becomes the next round's c where it stands.
template <int kRound>
PARCELON_FORCE_INLINE void Round(Vec (&state)[5], Vec (&w)[16]) {
    constexpr int a = (5 - kRound % 5) % 5;
    constexpr int b = (a + 1) % 5;
    constexpr int c = (a + 2) % 5;
    constexpr int d = (a + 3) % 5;
    constexpr int e = (a + 4) % 5;
    if constexpr (kRound >= 16) {
        w[kRound % 16] = Ops::template Rotl<1>(
            Ops::Xor(Ops::Xor3(w[(kRound - 3) % 16], w[(kRound - 8) % 16], w[(kRound - 14) % 16]), w[kRound % 16]));
    }
    Vec f;
    std::uint32_t k;
    if constexpr (kRound < 20) {
        f = Ops::Choose(state[b], state[c], state[d]);
        k = 0x5A827999u;
    } else if constexpr (kRound < 40) {
        f = Ops::Parity(state[b], state[c], state[d]);
        k = 0x6ED9EBA1u;
    } else if constexpr (kRound < 60) {
        f = Ops::Majority(state[b], state[c], state[d]);
        k = 0x8F1BBCDCu;
    } else {
        f = Ops::Parity(state[b], state[c], state[d]);
        k = 0xCA62C1D6u;
    }
    state[e] = Ops::Add(Ops::Add(Ops::template Rotl<5>(state[a]), f),
                        Ops::Add(state[e], Ops::Add(w[kRound % 16], Ops::Set1(k))));
    state[b] = Ops::template Rotl<30>(state[b]);
}

template <int... kRounds>
PARCELON_FORCE_INLINE void Rounds(Vec (&state)[5], Vec (&w)[16], std::integer_sequence<int, kRounds...>) {
    (Round<kRounds>(state, w), ...);
}

// One block, whose words w are used up as its schedule, into chain.
PARCELON_FORCE_INLINE void Compress(Vec (&chain)[5], Vec (&w)[16]) {
    Vec state[5] = {chain[0], chain[1], chain[2], chain[3], chain[4]};
    Rounds(state, w, std::make_integer_sequence<int, 80>());
    for (int i = 0; i < 5; ++i) chain[i] = Ops::Add(chain[i], state[i]);
}

// HMAC's inner or outer hash of a 20-byte message (five words), after the
// key's padded block: one block holding the message, 0x80, zeros and the
// length, 84 * 8 bits.
PARCELON_FORCE_INLINE void HashOfWords(const Vec (&start)[5], const Vec (&message)[5], Vec (&hash)[5]) {
    Vec w[16];
    for (int i = 0; i < 5; ++i) w[i] = message[i];
    w[5] = Ops::Set1(0x80000000u);
    for (int i = 6; i < 15; ++i) w[i] = Ops::Set1(0);
    w[15] = Ops::Set1(84 * 8);
    for (int i = 0; i < 5; ++i) hash[i] = start[i];
    Compress(hash, w);
}

// One 64-byte block in every lane.
inline void CompressBroadcast(Sha1Words& words, const unsigned char* block) {
    Vec chain[5];
    Vec w[16];
    for (int i = 0; i < 5; ++i) chain[i] = Ops::Set1(words.h[i]);
    for (int i = 0; i < 16; ++i) {
        const unsigned char* p = block + 4 * i;
        w[i] = Ops::Set1(static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
                         static_cast<std::uint32_t>(p[2]) << 8 | p[3]);
    }
    Compress(chain, w);
    std::uint32_t lanes[Ops::kLanes];
    for (int i = 0; i < 5; ++i) {
        Ops::Store(lanes, chain[i]);
        words.h[i] = lanes[0];
    }
}

inline void Pbkdf2Lanes(const Sha1Words& inner_words, const Sha1Words& outer_words, Sha1Words* blocks,
                        std::size_t chains, std::uint32_t more) {
    // Chain i in lane i: word j of every chain in vector j.
    std::uint32_t lanes[5][Ops::kLanes] = {};
    for (std::size_t c = 0; c < chains; ++c)
        for (int j = 0; j < 5; ++j) lanes[j][c] = blocks[c].h[j];
    Vec inner[5], outer[5], u[5], sum[5];
    for (int j = 0; j < 5; ++j) {
        inner[j] = Ops::Set1(inner_words.h[j]);
        outer[j] = Ops::Set1(outer_words.h[j]);
        u[j] = sum[j] = Ops::Load(lanes[j]);
    }
    for (std::uint32_t i = 0; i < more; ++i) {
        Vec hash[5];
        HashOfWords(inner, u, hash);
        HashOfWords(outer, hash, u);
        for (int j = 0; j < 5; ++j) sum[j] = Ops::Xor(sum[j], u[j]);
    }
    for (int j = 0; j < 5; ++j) Ops::Store(lanes[j], sum[j]);
    for (std::size_t c = 0; c < chains; ++c)
        for (int j = 0; j < 5; ++j) blocks[c].h[j] = lanes[j][c];
}
