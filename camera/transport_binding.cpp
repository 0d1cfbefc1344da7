// The transport library binding: entry points resolved by name on first use, and the active
// and last opened bindings through which the library reaches its one camera.
#include "camera/transport_binding.h"

#include "camera/cpi.h"

#include <new>

namespace kerris::camera {

namespace {

constexpr const char* kEntryNames[] = {
    "CtiHandleOpen",     "CtiHandleClose",      "CtiHandleLockThread", "CtiHandleUnLock",
    "CtiCommand",        "CtiTaskWaitComplete", "CtiTaskAbort",        "CtiDataRead",
    "CtiResetTransport", "CtiGetVersion",       "CtiCameraEnum",       "CtiCameraNameGet",
    "CtiCameraNameSet",  "CtiGetErrorText",
};
static_assert(std::size(kEntryNames) == size_t(CtiEntry::Count), "one name per entry point");

// Process-wide: the library serves one camera at a time; callers keep to one thread.
TransportBinding* g_active = nullptr;
TransportBinding* g_lastOpened = nullptr;

// Calls entry point E of the active binding with the given arguments.
template <CtiEntry E, typename Fn, typename... Args> uint32_t callActive(Args... args) noexcept {
    if (!g_active)
        return kCpiNoTransport;
    auto fn = reinterpret_cast<Fn*>(g_active->entry(E));
    if (!fn)
        return kCpiNoTransport;
    return fn(args...);
}

} // namespace

const char* ctiEntryName(CtiEntry entry) noexcept {
    size_t i = size_t(entry);
    return i < std::size(kEntryNames) ? kEntryNames[i] : "";
}

TransportBinding::TransportBinding(module::Handle library, Resolver resolver) noexcept
    : m_library(library), m_resolver(resolver ? resolver : &module::symbol) {}

TransportBinding* TransportBinding::load(const char* name) noexcept {
    const char* file = (name && *name) ? name : kDefaultTransportName;
    module::Handle library = nullptr;
    try {
        library = module::load(file);
    } catch (...) {
        library = nullptr;
    }
    if (!library)
        return nullptr;
    auto* binding = new (std::nothrow) TransportBinding(library, &module::symbol);
    if (!binding) {
        module::release(library);
        return nullptr;
    }
    g_active = binding;
    return binding;
}

void TransportBinding::release(TransportBinding* binding) noexcept {
    if (!binding)
        return;
    if (g_active == binding)
        g_active = nullptr;
    if (g_lastOpened == binding)
        g_lastOpened = nullptr;
    module::release(binding->m_library);
    delete binding;
}

void* TransportBinding::entry(CtiEntry which) noexcept {
    size_t i = size_t(which);
    if (i >= m_slots.size())
        return nullptr;
    if (!m_slots[i])
        m_slots[i] = m_resolver(m_library, kEntryNames[i]);
    return m_slots[i];
}

TransportBinding* activeTransport() noexcept {
    return g_active;
}
void setActiveTransport(TransportBinding* binding) noexcept {
    g_active = binding;
}
TransportBinding* lastOpenedTransport() noexcept {
    return g_lastOpened;
}
void setLastOpenedTransport(TransportBinding* binding) noexcept {
    g_lastOpened = binding;
}

void restoreLastOpenedTransport() noexcept {
    // A last opened binding is owned by an open connection, so its library is still loaded.
    if (g_lastOpened && g_lastOpened->library())
        g_active = g_lastOpened;
}

namespace cti {

uint32_t handleOpen(uint32_t port, uint32_t selector, uint8_t* cameraNumber,
                    uint32_t* handle) noexcept {
    return callActive<CtiEntry::HandleOpen, decltype(CtiHandleOpen)>(port, selector, cameraNumber,
                                                                     handle);
}
uint32_t handleClose(uint32_t handle) noexcept {
    return callActive<CtiEntry::HandleClose, decltype(CtiHandleClose)>(handle);
}
uint32_t handleLockThread(uint32_t handle, uint16_t timeout) noexcept {
    return callActive<CtiEntry::HandleLockThread, decltype(CtiHandleLockThread)>(handle, timeout);
}
uint32_t handleUnLock(uint32_t handle) noexcept {
    return callActive<CtiEntry::HandleUnLock, decltype(CtiHandleUnLock)>(handle);
}
uint32_t command(uint32_t handle, CtiCommandRecord* record, CtiTask* task) noexcept {
    return callActive<CtiEntry::Command, decltype(CtiCommand)>(handle, record, task);
}
uint32_t taskWaitComplete(CtiTask* task, uint32_t wait) noexcept {
    return callActive<CtiEntry::TaskWaitComplete, decltype(CtiTaskWaitComplete)>(task, wait);
}
uint32_t taskAbort(CtiTask* task) noexcept {
    return callActive<CtiEntry::TaskAbort, decltype(CtiTaskAbort)>(task);
}
uint32_t dataRead(uint32_t handle, uint8_t* buffer, uint32_t length, uint32_t* delivered,
                  uint32_t reserved) noexcept {
    return callActive<CtiEntry::DataRead, decltype(CtiDataRead)>(handle, buffer, length, delivered,
                                                                 reserved);
}
uint32_t resetTransport(uint32_t handle) noexcept {
    return callActive<CtiEntry::ResetTransport, decltype(CtiResetTransport)>(handle);
}
uint32_t getVersion(uint32_t handle, uint32_t* version) noexcept {
    return callActive<CtiEntry::GetVersion, decltype(CtiGetVersion)>(handle, version);
}
uint32_t cameraEnum(uint32_t first, uint32_t second, uint8_t capacity, uint8_t* numbers,
                    uint8_t* count) noexcept {
    return callActive<CtiEntry::CameraEnum, decltype(CtiCameraEnum)>(first, second, capacity,
                                                                     numbers, count);
}
uint32_t cameraNameGet(uint8_t number, uint32_t arg, char* buffer) noexcept {
    return callActive<CtiEntry::CameraNameGet, decltype(CtiCameraNameGet)>(number, arg, buffer);
}
uint32_t cameraNameSet(uint8_t number, uint32_t arg, char* buffer) noexcept {
    return callActive<CtiEntry::CameraNameSet, decltype(CtiCameraNameSet)>(number, arg, buffer);
}
uint32_t getErrorText(uint32_t handle, uint32_t code, char* buffer, uint32_t size) noexcept {
    return callActive<CtiEntry::GetErrorText, decltype(CtiGetErrorText)>(handle, code, buffer,
                                                                         size);
}

} // namespace cti

} // namespace kerris::camera
