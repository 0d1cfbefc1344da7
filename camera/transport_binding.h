// The transport library binding: one table of Cti entry points per loaded library, each
// resolved by name on first use, and the process-wide active and last opened bindings.
#pragma once

#include "camera/cti.h"
#include "platform/module/module.h"

#include <array>
#include <cstdint>

namespace kerris::camera {

inline constexpr char kUsbTransportName[] = "kerrisu.dll";
inline constexpr char kSerialTransportName[] = "kerrissl.dll";
inline constexpr char kDefaultTransportName[] = "nodefault.dll";

enum class CtiEntry {
    HandleOpen,
    HandleClose,
    HandleLockThread,
    HandleUnLock,
    Command,
    TaskWaitComplete,
    TaskAbort,
    DataRead,
    ResetTransport,
    GetVersion,
    CameraEnum,
    CameraNameGet,
    CameraNameSet,
    GetErrorText,
    Count
};

// The exported name of an entry point ("CtiHandleOpen").
const char* ctiEntryName(CtiEntry entry) noexcept;

class TransportBinding {
public:
    // How a slot finds its entry point; module::symbol in the library, replaceable in tests.
    using Resolver = void* (*)(module::Handle library, const char* name);

    // Loads a transport library ("kerrisu.dll"; null or empty means "nodefault.dll") and makes
    // the new binding active. Null when the library cannot be loaded or memory is short.
    static TransportBinding* load(const char* name) noexcept;

    // Frees the binding's library and the binding; a binding that was active or last opened
    // stops being so. A null binding is ignored.
    static void release(TransportBinding* binding) noexcept;

    // A binding over an already loaded library (tests hand in their own resolver).
    TransportBinding(module::Handle library, Resolver resolver) noexcept;
    TransportBinding(const TransportBinding&) = delete;
    TransportBinding& operator=(const TransportBinding&) = delete;

    // The entry point's address, resolved now if it was not yet; null when the library lacks
    // it (the slot stays unresolved, so the next call looks again).
    void* entry(CtiEntry which) noexcept;

    module::Handle library() const noexcept { return m_library; }

private:
    module::Handle m_library;
    Resolver m_resolver;
    std::array<void*, size_t(CtiEntry::Count)> m_slots{};
};

// The binding through which every Cti call goes; null when none.
TransportBinding* activeTransport() noexcept;
void setActiveTransport(TransportBinding* binding) noexcept;

// The binding of the most recently opened connection; null when none.
TransportBinding* lastOpenedTransport() noexcept;
void setLastOpenedTransport(TransportBinding* binding) noexcept;

// Makes the last opened binding active again after a temporary load (enumeration, names);
// without one the active binding stays as it is.
void restoreLastOpenedTransport() noexcept;

// Calls through the active binding: 0x3003 (kCpiNoTransport) when no binding is active or the
// library lacks the entry point; otherwise the transport's own result.
namespace cti {
uint32_t handleOpen(uint32_t port, uint32_t selector, uint8_t* cameraNumber,
                    uint32_t* handle) noexcept;
uint32_t handleClose(uint32_t handle) noexcept;
uint32_t handleLockThread(uint32_t handle, uint16_t timeout) noexcept;
uint32_t handleUnLock(uint32_t handle) noexcept;
uint32_t command(uint32_t handle, CtiCommandRecord* record, CtiTask* task) noexcept;
uint32_t taskWaitComplete(CtiTask* task, uint32_t wait) noexcept;
uint32_t taskAbort(CtiTask* task) noexcept;
uint32_t dataRead(uint32_t handle, uint8_t* buffer, uint32_t length, uint32_t* delivered,
                  uint32_t reserved) noexcept;
uint32_t resetTransport(uint32_t handle) noexcept;
uint32_t getVersion(uint32_t handle, uint32_t* version) noexcept;
uint32_t cameraEnum(uint32_t first, uint32_t second, uint8_t capacity, uint8_t* numbers,
                    uint8_t* count) noexcept;
uint32_t cameraNameGet(uint8_t number, uint32_t arg, char* buffer) noexcept;
uint32_t cameraNameSet(uint8_t number, uint32_t arg, char* buffer) noexcept;
uint32_t getErrorText(uint32_t handle, uint32_t code, char* buffer, uint32_t size) noexcept;
} // namespace cti

} // namespace kerris::camera
