// What the processor offers the ciphers beyond plain instructions: the AES
// and SHA extensions and the vector units of x86 processors (32- and
// 64-bit), asked of the processor itself with CPUID, and, for the wider
// vectors, of the operating system (XGETBV: it must save their registers
// across task switches). Elsewhere, nothing: the portable code runs.
#ifndef PARCELON_CPU_FEATURES_H
#define PARCELON_CPU_FEATURES_H

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define PARCELON_X86 1
#else
#define PARCELON_X86 0
#endif

namespace parcelon {

struct CpuFeatures {
    bool aes = false;    // AES-NI (with the SSSE3 and SSE4.1 its code also uses)
    bool sha = false;    // the SHA extensions (with SSSE3 and SSE4.1)
    bool sse2 = false;   // 128-bit integer vectors
    bool avx2 = false;   // 256-bit integer vectors, saved by the system
    bool avx512 = false; // AVX-512 F, 512-bit vectors, saved by the system
};

// The processor's answer, asked once per process (it cannot change).
const CpuFeatures& ProcessorFeatures();

} // namespace parcelon

#endif // PARCELON_CPU_FEATURES_H
