// The Cti entry points of a transport library serving the virtual camera. Built twice: as the
// USB library (KERRIS_TRANSPORT_KIND 0) and as the serial-link library (1).
#include "camera/cti.h"
#include "devices/virtualcam/status.h"
#include "devices/virtualcam/transport.h"

#include <new>

#ifndef KERRIS_TRANSPORT_KIND
#error "KERRIS_TRANSPORT_KIND must be 0 (USB) or 1 (serial link)"
#endif

namespace {

using kerris::virtualcam::TransportKind;
using kerris::virtualcam::TransportService;

constexpr TransportKind kKind =
    KERRIS_TRANSPORT_KIND == 0 ? TransportKind::Usb : TransportKind::Serial;

TransportService& service() {
    static TransportService instance(kKind);
    return instance;
}

// No exception crosses the C boundary: anything thrown inside becomes a status.
template <typename F> uint32_t guarded(F&& f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return kerris::virtualcam::kOutOfMemory;
    } catch (...) {
        return kerris::virtualcam::kBadArgument;
    }
}

} // namespace

extern "C" {

// Opens camera number `port` of this transport. `cameraNumber` and `handle` are required.
// Returns 0, 0x2002 (no such camera), 0x2003 (null pointer), 0x2011 (too many handles).
uint32_t CtiHandleOpen(uint32_t port, uint32_t selector, uint8_t* cameraNumber, uint32_t* handle) {
    return guarded([&] { return service().handleOpen(port, selector, cameraNumber, handle); });
}

// Closes a handle, releasing its lock and tasks. 0 or 0x2001 (not open).
uint32_t CtiHandleClose(uint32_t handle) {
    return guarded([&] { return service().handleClose(handle); });
}

// Takes the camera's lock for the calling thread, waiting up to `timeout` ms.
// 0, 0x2001, or 0x2005 (still held by another thread or handle when the time ran out).
uint32_t CtiHandleLockThread(uint32_t handle, uint16_t timeout) {
    return guarded([&] { return service().lockThread(handle, timeout); });
}

// Releases one level of the lock. 0, 0x2001, or 0x2006 (this handle holds no lock).
uint32_t CtiHandleUnLock(uint32_t handle) {
    return guarded([&] { return service().unlock(handle); });
}

// Runs a command, or with `task` starts it. 0 (older cameras: 0x41 for a started task),
// 0x2001, 0x2003, 0x2004 (malformed record), or the camera's refusal (0x2007 to 0x2014).
uint32_t CtiCommand(uint32_t handle, CtiCommandRecord* record, CtiTask* task) {
    return guarded([&] { return service().command(handle, record, task); });
}

// Waits up to `wait` ms for a task. The command's status once complete (the reply is then in
// the record and *task cleared), 0x11 while running, 0x200D (no such task), 0x200E (aborted).
uint32_t CtiTaskWaitComplete(CtiTask* task, uint32_t wait) {
    return guarded([&] { return service().taskWaitComplete(task, wait); });
}

// Cancels a task and clears *task. 0, 0x2003, or 0x200D (no such task).
uint32_t CtiTaskAbort(CtiTask* task) {
    return guarded([&] { return service().taskAbort(task); });
}

// Reads data of the last transfer the camera started; `delivered` (optional) always receives
// the count. 0, 0x1003 (the transfer ended first), 0x1004 (none pending), 0x2001, 0x2003,
// 0x200F (the read failed).
uint32_t CtiDataRead(uint32_t handle, uint8_t* buffer, uint32_t length, uint32_t* delivered,
                     uint32_t) {
    return guarded([&] { return service().dataRead(handle, buffer, length, delivered); });
}

// Resets the link: a pending transfer is dropped. 0 or 0x2001.
uint32_t CtiResetTransport(uint32_t handle) {
    return guarded([&] { return service().resetTransport(handle); });
}

// The transport's version. 0, 0x2001 or 0x2003.
uint32_t CtiGetVersion(uint32_t handle, uint32_t* version) {
    return guarded([&] { return service().getVersion(handle, version); });
}

// Lists the cameras of this transport: numbers 0, 1, ... (at most `capacity` written),
// `*count` = all of them. 0, 0x2003, or on the serial link 0x42 when there is none.
uint32_t CtiCameraEnum(uint32_t, uint32_t, uint8_t capacity, uint8_t* numbers, uint8_t* count) {
    return guarded([&] { return service().cameraEnum(capacity, numbers, count); });
}

// A camera's name into `buffer` of `arg` bytes (0: 32). 0, 0x2002 or 0x2003.
uint32_t CtiCameraNameGet(uint8_t number, uint32_t arg, char* buffer) {
    return guarded([&] { return service().cameraNameGet(number, arg, buffer); });
}

// Renames a camera (at most 31 characters of `buffer`, `arg` its size, 0: 32) in the
// registry. 0, 0x2002, 0x2003 or 0x2013 (the registry refused).
uint32_t CtiCameraNameSet(uint8_t number, uint32_t arg, char* buffer) {
    return guarded([&] { return service().cameraNameSet(number, arg, buffer); });
}

// The text of a status, cut to `size` bytes with its NUL. 0 or 0x2003.
uint32_t CtiGetErrorText(uint32_t, uint32_t code, char* buffer, uint32_t size) {
    return guarded([&] { return service().errorText(code, buffer, size); });
}

} // extern "C"
