#include "crypto/CpuFeatures.h"

#if PARCELON_X86
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace parcelon {

namespace {

#if PARCELON_X86
struct CpuidResult {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};

CpuidResult Cpuid(unsigned leaf, unsigned subleaf) {
    CpuidResult r;
#if defined(_MSC_VER)
    int regs[4];
    __cpuidex(regs, static_cast<int>(leaf), static_cast<int>(subleaf));
    r.eax = static_cast<unsigned>(regs[0]);
    r.ebx = static_cast<unsigned>(regs[1]);
    r.ecx = static_cast<unsigned>(regs[2]);
    r.edx = static_cast<unsigned>(regs[3]);
#else
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
    return r;
}

// The register states the operating system saves (XCR0).
unsigned long long SavedStates() {
#if defined(_MSC_VER)
    return _xgetbv(0);
#else
    unsigned eax = 0, edx = 0;
    __asm__("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return static_cast<unsigned long long>(edx) << 32 | eax;
#endif
}

CpuFeatures Detect() {
    CpuFeatures features;
    const unsigned highest = Cpuid(0, 0).eax;
    if (highest < 1) return features;
    const CpuidResult basic = Cpuid(1, 0);
    const bool ssse3 = (basic.ecx & (1u << 9)) != 0;
    const bool sse41 = (basic.ecx & (1u << 19)) != 0;
    const bool aesni = (basic.ecx & (1u << 25)) != 0;
    const bool osxsave = (basic.ecx & (1u << 27)) != 0;
    features.sse2 = (basic.edx & (1u << 26)) != 0;
    features.aes = aesni && ssse3 && sse41;
    if (highest < 7) return features;
    const CpuidResult extended = Cpuid(7, 0);
    features.sha = (extended.ebx & (1u << 29)) != 0 && ssse3 && sse41;
    // SSE, AVX and, for AVX-512, its mask and upper registers.
    const unsigned long long states = osxsave ? SavedStates() : 0;
    const bool ymm_saved = (states & 0x6u) == 0x6u;
    const bool zmm_saved = (states & 0xE6u) == 0xE6u;
    features.avx2 = ymm_saved && (extended.ebx & (1u << 5)) != 0;
    features.avx512 = features.avx2 && zmm_saved && (extended.ebx & (1u << 16)) != 0;
    return features;
}
#else
CpuFeatures Detect() { return CpuFeatures(); }
#endif

} // namespace

const CpuFeatures& ProcessorFeatures() {
    // A fact about the machine, set once (thread-safe) and never changed.
    static const CpuFeatures features = Detect();
    return features;
}

} // namespace parcelon
