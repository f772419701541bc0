#include "memory/OperationMemory.h"

#include <cstdint>
#include <cstdlib>

namespace parcelon {

namespace {

// Sits before every block; the block itself starts at the next multiple of
// the strictest alignment.
struct alignas(alignof(std::max_align_t)) BlockHeader {
    std::size_t size;
    BlockHeader* next; // while kept
};

// The calling thread's kept blocks. Trivial, so no thread-exit destructor
// is needed: nothing is kept outside a scope, and a scope cannot outlive
// its thread.
struct ThreadBlocks {
    unsigned depth = 0;
    BlockHeader* kept = nullptr;
    std::size_t kept_count = 0;
    std::size_t kept_bytes = 0;
};

thread_local ThreadBlocks t_blocks;

BlockHeader* HeaderOf(void* block) { return static_cast<BlockHeader*>(block) - 1; }

void FreeKept(ThreadBlocks& blocks) {
    while (blocks.kept != nullptr) {
        BlockHeader* next = blocks.kept->next;
        std::free(blocks.kept);
        blocks.kept = next;
    }
    blocks.kept_count = 0;
    blocks.kept_bytes = 0;
}

} // namespace

AllocationScope::AllocationScope() { ++t_blocks.depth; }

AllocationScope::~AllocationScope() {
    ThreadBlocks& blocks = t_blocks;
    if (--blocks.depth == 0) FreeKept(blocks);
}

void* AllocateBlock(std::size_t size) {
    if (size == 0 || size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    ThreadBlocks& blocks = t_blocks;
    for (BlockHeader** link = &blocks.kept; *link != nullptr; link = &(*link)->next) {
        BlockHeader* header = *link;
        if (header->size != size) continue;
        *link = header->next;
        --blocks.kept_count;
        blocks.kept_bytes -= size;
        return header + 1;
    }
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (header == nullptr) return nullptr;
    header->size = size;
    header->next = nullptr;
    return header + 1;
}

void ReleaseBlock(void* block) {
    if (block == nullptr) return;
    BlockHeader* header = HeaderOf(block);
    ThreadBlocks& blocks = t_blocks;
    if (blocks.depth == 0 || header->size > kMaxKeptBytes - blocks.kept_bytes) {
        std::free(header);
        return;
    }
    header->next = blocks.kept;
    blocks.kept = header;
    ++blocks.kept_count;
    blocks.kept_bytes += header->size;
}

std::size_t KeptBlockCount() { return t_blocks.kept_count; }

std::size_t KeptBlockBytes() { return t_blocks.kept_bytes; }

} // namespace parcelon
