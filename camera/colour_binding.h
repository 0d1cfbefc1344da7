// The colour library binding: one process-wide table of KERC_ entry points, each resolved by
// name on first use. With no library loaded or a missing entry point a call answers 1.
#pragma once

#include "camera/kerc.h"
#include "platform/module/module.h"

#include <cstdint>

namespace kerris::camera {

inline constexpr char kColourLibraryName[] = "kercol.dll";
// What every KERC_ call answers without a library or entry point.
inline constexpr uint32_t kKercUnavailable = 1;

enum class KercEntry {
    Open,
    Close,
    LoadDeviceDefaults,
    SetParameter,
    QueryParameter,
    BunchedToBayer,
    Colour,
    Count
};

const char* kercEntryName(KercEntry entry) noexcept;

// The process's colour binding. Every connection that loads the library adds a reference;
// the slots are forgotten when the last reference is released.
class ColourBinding {
public:
    // Loads "kercol.dll" (or `name`); false when it cannot be loaded.
    static bool load(const char* name = kColourLibraryName) noexcept;
    // Drops one reference taken by load(); without one this does nothing.
    static void release() noexcept;
    static bool isLoaded() noexcept;
    // The entry point's address or null (the slot then stays unresolved).
    static void* entry(KercEntry which) noexcept;
};

namespace kerc {
// 0 (no handle) when the library or KERC_Open is missing: a call that never ran opened nothing.
uint32_t open() noexcept;
uint32_t close(uint32_t handle) noexcept;
uint32_t loadDeviceDefaults(uint32_t handle) noexcept;
uint32_t setParameter(uint32_t handle, uint32_t number, const void* value, uint32_t size) noexcept;
uint32_t queryParameter(uint32_t handle, uint32_t number, void* buffer, uint32_t size) noexcept;
uint32_t bunchedToBayer(uint32_t handle, uint8_t* bunched, uint8_t* bayer, uint32_t width,
                        uint32_t height) noexcept;
uint32_t colour(uint32_t handle, uint8_t* bayer, uint8_t* rgb, uint32_t width,
                uint32_t height) noexcept;
} // namespace kerc

} // namespace kerris::camera
