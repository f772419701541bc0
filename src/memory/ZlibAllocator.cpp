// zlib's own allocation hook: compiled into the zlib that the library builds
// for itself (with MY_ZCALLOC), so that every z_stream opened without an
// allocator of its own (minizip's among them) draws its state from the
// operation's kept blocks.
#include <cstdint>
#include <cstddef>

#include "memory/OperationMemory.h"

extern "C" {

void* zcalloc(void* opaque, unsigned items, unsigned size);
void zcfree(void* opaque, void* block);

void* zcalloc(void* /*opaque*/, unsigned items, unsigned size) {
    if (items != 0 && size > SIZE_MAX / items) return nullptr;
    return parcelon::AllocateBlock(static_cast<std::size_t>(items) * size);
}

void zcfree(void* /*opaque*/, void* block) { parcelon::ReleaseBlock(block); }

} // extern "C"
