// Movable global memory blocks: the kind of block a bitmap header can be handed over in.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kerris::clipmail {

// An opaque block; its bytes are reached through globalLock.
struct GlobalBlock;

// A zero-filled block of size bytes; null when it cannot be had.
GlobalBlock* globalAlloc(size_t size);
// The block's bytes, counting one more lock; null for a null block.
uint8_t* globalLock(GlobalBlock* block);
// Drops one lock; false when the block was not locked.
bool globalUnlock(GlobalBlock* block);
// Frees the block whatever its lock count. A null block is ignored.
void globalFree(GlobalBlock* block);
// Current lock count (0 for a null block).
int globalLockCount(const GlobalBlock* block);
// Size in bytes (0 for a null block).
size_t globalSize(const GlobalBlock* block);

} // namespace kerris::clipmail
