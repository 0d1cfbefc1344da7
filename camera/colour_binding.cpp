// The colour library binding: one process-wide table of KERC_ entry points.
#include "camera/colour_binding.h"

#include <array>
#include <iterator>

namespace kerris::camera {

namespace {

constexpr const char* kEntryNames[] = {
    "KERC_Open",         "KERC_Close",          "KERC_LoadDeviceDefaults",
    "KERC_SetParameter", "KERC_QueryParameter", "KERC_BunchedToBayer",
    "KERC_Colour",
};
static_assert(std::size(kEntryNames) == size_t(KercEntry::Count), "one name per entry point");

struct Binding {
    module::Handle library = nullptr;
    unsigned references = 0;
    std::array<void*, size_t(KercEntry::Count)> slots{};
};
Binding g_colour;

template <KercEntry E, typename Fn, typename... Args> uint32_t call(Args... args) noexcept {
    auto fn = reinterpret_cast<Fn*>(ColourBinding::entry(E));
    if (!fn)
        return kKercUnavailable;
    return fn(args...);
}

} // namespace

const char* kercEntryName(KercEntry entry) noexcept {
    size_t i = size_t(entry);
    return i < std::size(kEntryNames) ? kEntryNames[i] : "";
}

bool ColourBinding::load(const char* name) noexcept {
    module::Handle library = nullptr;
    try {
        library = module::load((name && *name) ? name : kColourLibraryName);
    } catch (...) {
        library = nullptr;
    }
    if (!library)
        return false;
    if (g_colour.library && g_colour.library != library) {
        // Another colour library replaces the current one: its slots no longer apply.
        g_colour.slots = {};
    }
    g_colour.library = library;
    ++g_colour.references;
    return true;
}

void ColourBinding::release() noexcept {
    if (!g_colour.library || g_colour.references == 0)
        return;
    module::release(g_colour.library);
    if (--g_colour.references == 0) {
        g_colour.library = nullptr;
        g_colour.slots = {};
    }
}

bool ColourBinding::isLoaded() noexcept {
    return g_colour.library != nullptr;
}

void* ColourBinding::entry(KercEntry which) noexcept {
    size_t i = size_t(which);
    if (!g_colour.library || i >= g_colour.slots.size())
        return nullptr;
    if (!g_colour.slots[i])
        g_colour.slots[i] = module::symbol(g_colour.library, kEntryNames[i]);
    return g_colour.slots[i];
}

namespace kerc {

uint32_t open() noexcept {
    auto fn = reinterpret_cast<decltype(KERC_Open)*>(ColourBinding::entry(KercEntry::Open));
    return fn ? fn(0, 0) : 0;
}
uint32_t close(uint32_t handle) noexcept {
    return call<KercEntry::Close, decltype(KERC_Close)>(handle);
}
uint32_t loadDeviceDefaults(uint32_t handle) noexcept {
    return call<KercEntry::LoadDeviceDefaults, decltype(KERC_LoadDeviceDefaults)>(handle, 0u);
}
uint32_t setParameter(uint32_t handle, uint32_t number, const void* value, uint32_t size) noexcept {
    return call<KercEntry::SetParameter, decltype(KERC_SetParameter)>(
        handle, number, const_cast<void*>(value), size);
}
uint32_t queryParameter(uint32_t handle, uint32_t number, void* buffer, uint32_t size) noexcept {
    return call<KercEntry::QueryParameter, decltype(KERC_QueryParameter)>(handle, number, buffer,
                                                                          size);
}
uint32_t bunchedToBayer(uint32_t handle, uint8_t* bunched, uint8_t* bayer, uint32_t width,
                        uint32_t height) noexcept {
    return call<KercEntry::BunchedToBayer, decltype(KERC_BunchedToBayer)>(handle, bunched, bayer,
                                                                          width, height);
}
uint32_t colour(uint32_t handle, uint8_t* bayer, uint8_t* rgb, uint32_t width,
                uint32_t height) noexcept {
    return call<KercEntry::Colour, decltype(KERC_Colour)>(handle, bayer, rgb, width, height, 0u);
}

} // namespace kerc

} // namespace kerris::camera
