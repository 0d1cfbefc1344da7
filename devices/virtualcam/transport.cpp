// Handles, locks, tasks and data reads of the transport libraries, over the virtual camera.
#include "devices/virtualcam/transport.h"

#include "devices/virtualcam/status.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace kerris::virtualcam {

namespace {

using Clock = std::chrono::steady_clock;

// Whether call number n (from 1) falls in the injected range [at, at + count).
bool injected(uint32_t n, uint32_t at, uint32_t count) {
    return at != 0 && n >= at && uint64_t(n) < uint64_t(at) + std::max<uint32_t>(count, 1);
}

uintptr_t tokenOf(CtiTask task) {
    return reinterpret_cast<uintptr_t>(task);
}

} // namespace

TransportService::~TransportService() = default;

TransportService::Handle* TransportService::findHandle(uint32_t handle) {
    auto it = m_handles.find(handle);
    return it == m_handles.end() ? nullptr : &it->second;
}

std::shared_ptr<VirtualCamera> TransportService::cameraOf(uint32_t handle) {
    std::lock_guard lock(m_mutex);
    Handle* h = findHandle(handle);
    if (!h)
        return nullptr;
    return std::shared_ptr<VirtualCamera>(h->device, &h->device->camera);
}

uint32_t TransportService::handleOpen(uint32_t port, uint32_t, uint8_t* cameraNumber,
                                      uint32_t* handle) {
    if (!cameraNumber || !handle)
        return kBadArgument;
    try {
        std::lock_guard lock(m_mutex);
        if (port >= readCameraCount(m_kind))
            return kNoCamera;
        if (m_handles.size() >= kMaxHandles)
            return kTooManyHandles;
        const uint8_t number = uint8_t(port);
        std::shared_ptr<Device> device = m_devices[number].lock();
        if (!device) {
            device = std::make_shared<Device>(readCameraConfig(m_kind, number));
            m_devices[number] = device;
        }
        // Handles carry the transport in their top byte so that the two libraries' handles
        // never look alike.
        uint32_t id;
        do {
            id = (m_kind == TransportKind::Usb ? 0x55000000u : 0x53000000u) |
                 (m_nextHandle++ & 0x00FFFFFFu);
        } while ((id & 0x00FFFFFFu) == 0 || m_handles.count(id));
        Handle& h = m_handles[id];
        h.device = std::move(device);
        h.number = number;
        *cameraNumber = number;
        *handle = id;
        return kOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

uint32_t TransportService::handleClose(uint32_t handle) {
    std::lock_guard lock(m_mutex);
    Handle* h = findHandle(handle);
    if (!h)
        return kBadHandle;
    if (h->device->lockHandle == handle) {
        h->device->lockHandle = 0;
        h->device->lockDepth = 0;
    }
    std::erase_if(m_tasks, [&](const auto& entry) { return entry.second.handle == handle; });
    m_handles.erase(handle);
    m_changed.notify_all();
    return kOk;
}

uint32_t TransportService::lockThread(uint32_t handle, uint16_t timeout) {
    std::unique_lock lock(m_mutex);
    Handle* h = findHandle(handle);
    if (!h)
        return kBadHandle;
    std::shared_ptr<Device> device = h->device;
    const auto self = std::this_thread::get_id();
    if (device->lockHandle == handle && device->lockThread == self) {
        ++device->lockDepth;
        return kOk;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
    while (device->lockHandle != 0) {
        if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout &&
            device->lockHandle != 0)
            return kLockTimeout;
        if (!findHandle(handle))
            return kBadHandle; // closed by another thread meanwhile
    }
    device->lockHandle = handle;
    device->lockThread = self;
    device->lockDepth = 1;
    return kOk;
}

uint32_t TransportService::unlock(uint32_t handle) {
    std::lock_guard lock(m_mutex);
    Handle* h = findHandle(handle);
    if (!h)
        return kBadHandle;
    Device& device = *h->device;
    if (device.lockHandle != handle || device.lockDepth == 0)
        return kNotLocked;
    if (--device.lockDepth == 0) {
        device.lockHandle = 0;
        m_changed.notify_all();
    }
    return kOk;
}

uint32_t TransportService::runCommand(Handle& h, const CtiCommandRecord& record,
                                      uint8_t* replyBuffer, bool* lost) {
    const FaultPlan& f = h.device->camera.config().faults;
    ++h.commands;
    const bool counts = f.failCommandCode < 0 || f.failCommandCode == record.request;
    if (counts && injected(++h.matchingCommands, f.failCommandAt, f.failCommandCount)) {
        h.device->camera.noteLostCommand();
        *lost = true;
        return f.failCommandStatus ? f.failCommandStatus : kCommandFailed;
    }
    uint8_t* data = record.request >= 0x80 ? replyBuffer : record.data;
    return h.device->camera.command(record.request, record.valueA, record.valueB, data,
                                    record.length);
}

uint32_t TransportService::command(uint32_t handle, CtiCommandRecord* record, CtiTask* task) {
    try {
        std::lock_guard lock(m_mutex);
        Handle* h = findHandle(handle);
        if (!h)
            return kBadHandle;
        if (!record)
            return kBadArgument;
        if (record->marker != kCtiRecordMarker || (record->length > 0 && !record->data) ||
            record->length > kMaxRecordLength)
            return kBadRecord;
        bool lost = false;
        if (!task)
            return runCommand(*h, *record, record->data, &lost);

        Task t;
        t.handle = handle;
        t.record = record;
        // The reply waits in the task until it completes; the record is written only then.
        if (record->request >= 0x80)
            t.reply.assign(record->length, 0);
        const FaultPlan& f = h->device->camera.config().faults;
        const uint32_t status = runCommand(*h, *record, t.reply.data(), &lost);
        if (lost)
            return status; // the command never reached the camera: no task
        t.status = status;
        t.never = f.taskDelay == ~0u;
        t.due = Clock::now() + std::chrono::milliseconds(t.never ? 0 : f.taskDelay);
        const uintptr_t token = m_nextTask++;
        m_tasks.emplace(token, std::move(t));
        *task = reinterpret_cast<CtiTask>(token);
        return h->device->camera.extended() ? kOk : kTaskStarted;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

uint32_t TransportService::taskWaitComplete(CtiTask* task, uint32_t wait) {
    if (!task)
        return kBadArgument;
    std::unique_lock lock(m_mutex);
    const uintptr_t token = tokenOf(*task);
    if (!m_tasks.count(token))
        return kBadTask;
    const auto deadline = Clock::now() + std::chrono::milliseconds(wait);
    for (;;) {
        auto it = m_tasks.find(token);
        if (it == m_tasks.end())
            return kTaskAborted;
        Task& t = it->second;
        const auto now = Clock::now();
        if (!t.never && now >= t.due) {
            if (t.status == kOk && !t.reply.empty())
                std::memcpy(t.record->data, t.reply.data(),
                            std::min<size_t>(t.reply.size(), t.record->length));
            const uint32_t status = t.status;
            m_tasks.erase(it);
            *task = nullptr;
            return status;
        }
        if (now >= deadline)
            return kTaskPending;
        m_changed.wait_until(lock, t.never ? deadline : std::min(deadline, t.due));
    }
}

uint32_t TransportService::taskAbort(CtiTask* task) {
    if (!task)
        return kBadArgument;
    std::lock_guard lock(m_mutex);
    if (m_tasks.erase(tokenOf(*task)) == 0)
        return kBadTask;
    *task = nullptr;
    m_changed.notify_all();
    return kOk;
}

uint32_t TransportService::dataRead(uint32_t handle, uint8_t* buffer, uint32_t length,
                                    uint32_t* delivered) {
    std::lock_guard lock(m_mutex);
    Handle* h = findHandle(handle);
    if (!h)
        return kBadHandle;
    if (!buffer && length > 0)
        return kBadArgument;
    VirtualCamera& camera = h->device->camera;
    const FaultPlan& f = camera.config().faults;
    const uint32_t n = ++h->reads;
    if (injected(n, f.failReadAt, f.failReadCount)) {
        camera.dropTransfer();
        if (delivered)
            *delivered = 0;
        return f.failReadStatus ? f.failReadStatus : kReadFailed;
    }
    const bool shortened = injected(n, f.shortReadAt, f.shortReadCount);
    const uint32_t limit =
        shortened ? (f.shortReadBytes ? std::min(f.shortReadBytes, length) : length / 2) : length;
    uint32_t got = 0;
    uint32_t status = camera.read(buffer, length, limit, &got);
    if (shortened && status == kOk)
        status = f.shortReadStatus;
    if (delivered)
        *delivered = got;
    return status;
}

uint32_t TransportService::resetTransport(uint32_t handle) {
    std::lock_guard lock(m_mutex);
    Handle* h = findHandle(handle);
    if (!h)
        return kBadHandle;
    h->device->camera.dropTransfer();
    return kOk;
}

uint32_t TransportService::getVersion(uint32_t handle, uint32_t* version) {
    std::lock_guard lock(m_mutex);
    if (!findHandle(handle))
        return kBadHandle;
    if (!version)
        return kBadArgument;
    *version = kTransportVersion;
    return kOk;
}

uint32_t TransportService::cameraEnum(uint8_t capacity, uint8_t* numbers, uint8_t* count) {
    if (!count || (capacity > 0 && !numbers))
        return kBadArgument;
    const uint32_t cameras = readCameraCount(m_kind);
    if (cameras == 0 && m_kind == TransportKind::Serial) {
        *count = 0;
        return kNoSerialCamera;
    }
    for (uint32_t k = 0; k < cameras && k < capacity; ++k)
        numbers[k] = uint8_t(k);
    *count = uint8_t(cameras);
    return kOk;
}

uint32_t TransportService::cameraNameGet(uint8_t number, uint32_t arg, char* buffer) {
    if (!buffer)
        return kBadArgument;
    if (number >= readCameraCount(m_kind))
        return kNoCamera;
    const uint32_t capacity = arg ? arg : kNameCapacity;
    const std::string name = readCameraConfig(m_kind, number).name;
    const size_t n = std::min<size_t>(name.size(), capacity - 1);
    std::memcpy(buffer, name.data(), n);
    buffer[n] = '\0';
    return kOk;
}

uint32_t TransportService::cameraNameSet(uint8_t number, uint32_t arg, const char* buffer) {
    if (!buffer)
        return kBadArgument;
    if (number >= readCameraCount(m_kind))
        return kNoCamera;
    // Never read past the caller's buffer or past the longest name.
    const uint32_t capacity = std::min(arg ? arg : kNameCapacity, kNameCapacity);
    const size_t n = std::min<size_t>(strnlen(buffer, capacity), kNameCapacity - 1);
    try {
        if (!writeCameraName(m_kind, number, std::string(buffer, n)))
            return kSettingsFailed;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
    return kOk;
}

uint32_t TransportService::errorText(uint32_t code, char* buffer, uint32_t size) {
    if (!buffer || size == 0)
        return kBadArgument;
    if (const char* text = statusText(code))
        std::snprintf(buffer, size, "%s", text);
    else
        std::snprintf(buffer, size, "Unknown error 0x%04X", unsigned(code));
    return kOk;
}

} // namespace kerris::virtualcam
