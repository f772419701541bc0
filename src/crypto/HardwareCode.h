// What the files compiled for one instruction set (AesNi.cpp, Sha1Ni.cpp,
// Sha1Lanes*.cpp) share.
#ifndef PARCELON_HARDWARE_CODE_H
#define PARCELON_HARDWARE_CODE_H

// 32-bit Windows hosts may call with the stack aligned to 4 bytes only; the
// entry points realign it for the 16- to 64-byte vectors they keep there.
#if defined(__GNUC__) && defined(__i386__)
#define PARCELON_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define PARCELON_ALIGN_STACK
#endif

// The round helpers must be inlined whatever the compiler thinks of their
// size: called, they pass their vectors through memory, and the rounds'
// chains wait on it (half the speed or less).
#if defined(__GNUC__)
#define PARCELON_FORCE_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define PARCELON_FORCE_INLINE __forceinline
#else
#define PARCELON_FORCE_INLINE inline
#endif

#endif // PARCELON_HARDWARE_CODE_H
