// Memory that lives as long as one operation. zlib's Deflate and Inflate
// state (about 260 KiB for each packed entry, 40 KiB for each extracted
// one) is allocated when an entry opens and freed when it closes; with
// thousands of small entries, the C runtime hands that memory back to the
// system after each entry and faults it in again for the next. Inside an
// AllocationScope freed blocks are kept on the calling thread and handed
// out again to the next request of the same size; when the outermost scope
// on the thread ends, every kept block is freed. Outside any scope the
// blocks go straight back to the C runtime.
//
// The zlib that the library builds itself routes its allocations here; with
// a system zlib the scope simply finds nothing to keep.
#ifndef PARCELON_OPERATION_MEMORY_H
#define PARCELON_OPERATION_MEMORY_H

#include <cstddef>

namespace parcelon {

// The most a thread keeps at once; blocks freed beyond it go straight back.
// Deflate's state for one entry is about 260 KiB.
constexpr std::size_t kMaxKeptBytes = 4u * 1024 * 1024;

// Opens a scope on the calling thread for its lifetime. Scopes nest; only
// the outermost frees the kept blocks.
class AllocationScope {
public:
    AllocationScope();
    ~AllocationScope();
    AllocationScope(const AllocationScope&) = delete;
    AllocationScope& operator=(const AllocationScope&) = delete;
};

// A block of at least size bytes (uninitialised, aligned for any type), or
// nullptr when memory is exhausted or size is 0.
void* AllocateBlock(std::size_t size);

// Returns a block from AllocateBlock, from any thread, inside a scope or
// not. nullptr is ignored.
void ReleaseBlock(void* block);

// Blocks kept for reuse on the calling thread, and their bytes.
std::size_t KeptBlockCount();
std::size_t KeptBlockBytes();

} // namespace parcelon

#endif // PARCELON_OPERATION_MEMORY_H
