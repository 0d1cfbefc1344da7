// Global memory blocks over the heap.
#include "clipmail/global_memory.h"

#include <new>
#include <vector>

namespace kerris::clipmail {

struct GlobalBlock {
    std::vector<uint8_t> bytes;
    int locks = 0;
};

GlobalBlock* globalAlloc(size_t size) {
    auto* block = new (std::nothrow) GlobalBlock;
    if (!block)
        return nullptr;
    try {
        block->bytes.assign(size, 0);
    } catch (const std::bad_alloc&) {
        delete block;
        return nullptr;
    }
    return block;
}

uint8_t* globalLock(GlobalBlock* block) {
    if (!block)
        return nullptr;
    ++block->locks;
    return block->bytes.data();
}

bool globalUnlock(GlobalBlock* block) {
    if (!block || block->locks == 0)
        return false;
    --block->locks;
    return true;
}

void globalFree(GlobalBlock* block) {
    delete block;
}

int globalLockCount(const GlobalBlock* block) {
    return block ? block->locks : 0;
}

size_t globalSize(const GlobalBlock* block) {
    return block ? block->bytes.size() : 0;
}

} // namespace kerris::clipmail
