// The transport side of the virtual camera: handles, per-camera locks, tasks and data reads,
// behind the Cti entry points of the two transport libraries.
#pragma once

#include "camera/cti.h"
#include "devices/virtualcam/camera.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace kerris::virtualcam {

// Version reported by CtiGetVersion (its low 16 bits reach the camera information record).
inline constexpr uint32_t kTransportVersion = 0x00010203;
// Open handles per transport library at most.
inline constexpr size_t kMaxHandles = 64;
// No command carries more than this many bytes; longer records are refused as malformed.
inline constexpr uint32_t kMaxRecordLength = 4096;
// Camera names are at most this long, terminating NUL included.
inline constexpr uint32_t kNameCapacity = 32;

// One transport library's state. Every method is thread-safe and returns a status of status.h.
class TransportService {
public:
    explicit TransportService(TransportKind kind) : m_kind(kind) {}
    ~TransportService();
    TransportService(const TransportService&) = delete;
    TransportService& operator=(const TransportService&) = delete;

    // Opens camera number `port` of this transport (the selector is not used); the camera is
    // built from the registry when no other handle has it open.
    uint32_t handleOpen(uint32_t port, uint32_t selector, uint8_t* cameraNumber, uint32_t* handle);
    // Closes a handle: releases its lock and drops its tasks.
    uint32_t handleClose(uint32_t handle);
    // The camera's lock, shared by its handles: re-entrant for the holding thread and handle;
    // waits up to `timeout` milliseconds for another holder (0: no wait).
    uint32_t lockThread(uint32_t handle, uint16_t timeout);
    uint32_t unlock(uint32_t handle);
    // Runs a command (task null) or starts it as a task that completes after the configured
    // delay; older cameras answer a started task with kTaskStarted.
    uint32_t command(uint32_t handle, CtiCommandRecord* record, CtiTask* task);
    // Waits up to `wait` milliseconds; on completion writes the reply into the record, frees
    // the task, clears *task and returns the command's status; kTaskPending if still running.
    uint32_t taskWaitComplete(CtiTask* task, uint32_t wait);
    uint32_t taskAbort(CtiTask* task);
    uint32_t dataRead(uint32_t handle, uint8_t* buffer, uint32_t length, uint32_t* delivered);
    uint32_t resetTransport(uint32_t handle);
    uint32_t getVersion(uint32_t handle, uint32_t* version);
    uint32_t cameraEnum(uint8_t capacity, uint8_t* numbers, uint8_t* count);
    // `arg` is the buffer's size in bytes; 0 means kNameCapacity.
    uint32_t cameraNameGet(uint8_t number, uint32_t arg, char* buffer);
    uint32_t cameraNameSet(uint8_t number, uint32_t arg, const char* buffer);
    uint32_t errorText(uint32_t code, char* buffer, uint32_t size);

    // The camera behind an open handle, for checks; null when the handle is not open.
    std::shared_ptr<VirtualCamera> cameraOf(uint32_t handle);

private:
    struct Device {
        explicit Device(CameraConfig config) : camera(std::move(config)) {}
        VirtualCamera camera;
        uint32_t lockHandle = 0; // 0: free
        std::thread::id lockThread;
        uint32_t lockDepth = 0;
    };
    struct Handle {
        std::shared_ptr<Device> device;
        uint8_t number = 0;
        uint32_t commands = 0; // counted for fault injection
        uint32_t matchingCommands = 0;
        uint32_t reads = 0;
    };
    struct Task {
        uint32_t handle = 0;
        CtiCommandRecord* record = nullptr;
        std::vector<uint8_t> reply;
        uint32_t status = 0;
        std::chrono::steady_clock::time_point due;
        bool never = false;
    };

    Handle* findHandle(uint32_t handle);
    uint32_t runCommand(Handle& h, const CtiCommandRecord& record, uint8_t* replyBuffer,
                        bool* lost);

    TransportKind m_kind;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<uint32_t, Handle> m_handles;
    std::map<uint8_t, std::weak_ptr<Device>> m_devices;
    std::map<uintptr_t, Task> m_tasks;
    uint32_t m_nextHandle = 1;
    uintptr_t m_nextTask = 1;
};

} // namespace kerris::virtualcam
