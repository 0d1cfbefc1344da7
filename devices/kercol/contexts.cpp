// Handle table of the colour library.
#include "devices/kercol/contexts.h"

#include <new>
#include <unordered_map>

namespace kercol {

namespace {

struct Table {
    std::mutex lock;
    std::unordered_map<std::uint32_t, std::shared_ptr<Context>> open;
    // Handles start away from small numbers so that a stray integer is unlikely to name one.
    std::uint32_t next = 0x4B430001;
};

// Destroyed when the library is unloaded, so that unloading leaves nothing behind.
Table& table() {
    static Table instance;
    return instance;
}

} // namespace

std::uint32_t addContext(std::shared_ptr<Context> context) {
    Table& t = table();
    std::lock_guard guard(t.lock);
    try {
        std::uint32_t handle = t.next;
        while (handle == 0 || t.open.count(handle) != 0)
            ++handle;
        t.open.emplace(handle, std::move(context));
        t.next = handle + 1;
        return handle;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

std::shared_ptr<Context> findContext(std::uint32_t handle) {
    if (handle == 0)
        return nullptr;
    Table& t = table();
    std::lock_guard guard(t.lock);
    const auto it = t.open.find(handle);
    return it == t.open.end() ? nullptr : it->second;
}

bool removeContext(std::uint32_t handle) {
    Table& t = table();
    std::shared_ptr<Context> closing;
    {
        std::lock_guard guard(t.lock);
        const auto it = t.open.find(handle);
        if (it == t.open.end())
            return false;
        closing = std::move(it->second);
        t.open.erase(it);
    }
    return true; // `closing` is released outside the table's lock
}

} // namespace kercol
