// The open conversion contexts, found by their 32-bit handles.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "devices/kercol/colour_settings.h"
#include "devices/kercol/conversion.h"

namespace kercol {

// One handle's state. Calls on the same handle serialise on `lock`; calls on different handles
// run side by side.
struct Context {
    std::mutex lock;
    ColourSettings settings = deviceDefaults();
    // Derived from `settings` on the first conversion after a change.
    std::unique_ptr<ConversionTables> tables;
    bool tablesCurrent = false;
    std::vector<std::int16_t> scratch;
    std::vector<std::uint8_t> row;
};

// Registers a context and returns its new handle: never 0 and never one issued before in this
// process (until 2^32 handles have been issued). 0 when memory is short.
std::uint32_t addContext(std::shared_ptr<Context> context);

// The context of a handle, or null for 0, closed or unknown handles.
std::shared_ptr<Context> findContext(std::uint32_t handle);

// Forgets a handle; false when it was not open. A call still running on it finishes.
bool removeContext(std::uint32_t handle);

} // namespace kercol
