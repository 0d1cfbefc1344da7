// A scriptable transport library for the camera library's tests. Built as libkerrisu.so and
// libkerrissl.so (and a lean variant lacking entry points); a test loads the same file and
// drives it through the FakeCti_ control functions.
//
// Logged arguments per entry point (FakeCall.args):
//   CtiHandleOpen        port, selector            CtiHandleClose   handle
//   CtiHandleLockThread  handle, timeout           CtiHandleUnLock  handle
//   CtiCommand           handle, request, value A, value B, length, task (1 when started as one)
//                        data: the outgoing bytes of requests below 0x80
//   CtiTaskWaitComplete  task id, wait             CtiTaskAbort     task id
//   CtiDataRead          handle, length, reserved, bytes delivered
//   CtiResetTransport    handle                    CtiGetVersion    handle
//   CtiCameraEnum        first, second, capacity   CtiCameraNameGet/Set  number, arg (Set: data =
//   name) CtiGetErrorText      handle, code, size
#include "camera/cti.h"
#include "tests/fakes/fake_support.h"

#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

using kerris::fakes::CallLog;
using kerris::fakes::FailureScript;

namespace {

struct PendingTask {
    CtiCommandRecord* record = nullptr;
    std::vector<uint8_t> reply;
};

struct State {
    CallLog log;
    FailureScript failures;
    // Request code -> status, and how many more times (0 = always).
    std::map<uint8_t, std::pair<uint32_t, uint32_t>> failedRequests;
    std::map<uint8_t, std::vector<uint8_t>> replies;
    std::map<uint8_t, std::deque<std::vector<uint8_t>>> queuedReplies;
    std::deque<uint8_t> data;
    uint32_t readLimit = 0;
    uint32_t openStatus = 0;
    uint8_t cameraNumber = 1;
    uint32_t handle = 0x4D2;
    uint32_t version = 0x00020005;
    std::vector<uint8_t> cameras;
    uint32_t enumStatus = 0;
    std::string name = "FakeCam";
    uint32_t taskStartStatus = 0;
    uint32_t taskWaitStatus = 0;
    bool taskCompletes = true;
    uintptr_t nextTask = 0;
    std::map<uintptr_t, PendingTask> tasks;
    int32_t lockBalance = 0;
    int32_t openHandles = 0;
    uint32_t malformed = 0;
};

State& state() {
    static State s;
    return s;
}

// The reply a command from the camera gets: queued one-shot replies first, then the scripted
// reply (for colour data read at the offset in value A), else the echo of value A and B for
// the echo command, else nothing (the buffer stays zero).
std::vector<uint8_t> replyFor(const CtiCommandRecord& r) {
    State& s = state();
    auto queued = s.queuedReplies.find(r.request);
    if (queued != s.queuedReplies.end() && !queued->second.empty()) {
        std::vector<uint8_t> reply = queued->second.front();
        queued->second.pop_front();
        return reply;
    }
    auto scripted = s.replies.find(r.request);
    if (scripted != s.replies.end()) {
        if (r.request == 0x8B) {
            const auto& all = scripted->second;
            size_t from = r.valueA < all.size() ? r.valueA : all.size();
            return std::vector<uint8_t>(all.begin() + long(from), all.end());
        }
        return scripted->second;
    }
    if (r.request == 0x88)
        return {r.valueA, r.valueB};
    return {};
}

void writeReply(CtiCommandRecord* r, const std::vector<uint8_t>& reply) {
    if (!r->data)
        return;
    size_t n = reply.size() < r->length ? reply.size() : r->length;
    for (size_t i = 0; i < n; ++i)
        r->data[i] = reply[i];
}

bool wellFormed(const CtiCommandRecord* r) {
    return r && r->zero == 0 && r->marker == kCtiRecordMarker && r->reserved1 == 0 &&
           r->reserved2 == 0 && ((r->length == 0) == (r->data == nullptr));
}

uint32_t requestFailure(uint8_t request) {
    State& s = state();
    auto it = s.failedRequests.find(request);
    if (it == s.failedRequests.end())
        return 0;
    uint32_t status = it->second.first;
    if (it->second.second != 0 && --it->second.second == 0)
        s.failedRequests.erase(it);
    return status;
}

} // namespace

extern "C" {

// ---- Entry points ------------------------------------------------------------------------

uint32_t CtiHandleOpen(uint32_t port, uint32_t selector, uint8_t* cameraNumber, uint32_t* handle) {
    State& s = state();
    FakeCall& call = s.log.add("CtiHandleOpen", {port, selector});
    uint32_t status = s.failures.next("CtiHandleOpen");
    if (!status)
        status = s.openStatus;
    if (!status) {
        *cameraNumber = s.cameraNumber;
        *handle = s.handle;
        ++s.openHandles;
    }
    return call.result = status;
}

uint32_t CtiHandleClose(uint32_t handle) {
    State& s = state();
    FakeCall& call = s.log.add("CtiHandleClose", {handle});
    uint32_t status = s.failures.next("CtiHandleClose");
    if (!status)
        --s.openHandles;
    return call.result = status;
}

uint32_t CtiHandleLockThread(uint32_t handle, uint16_t timeout) {
    State& s = state();
    FakeCall& call = s.log.add("CtiHandleLockThread", {handle, timeout});
    uint32_t status = s.failures.next("CtiHandleLockThread");
    if (!status)
        ++s.lockBalance;
    return call.result = status;
}

uint32_t CtiHandleUnLock(uint32_t handle) {
    State& s = state();
    FakeCall& call = s.log.add("CtiHandleUnLock", {handle});
    uint32_t status = s.failures.next("CtiHandleUnLock");
    if (!status)
        --s.lockBalance;
    return call.result = status;
}

uint32_t CtiCommand(uint32_t handle, CtiCommandRecord* record, CtiTask* task) {
    State& s = state();
    if (!wellFormed(record)) {
        ++s.malformed;
        FakeCall& call = s.log.add("CtiCommand", {handle, 0xFFFFFFFF});
        return call.result = 0xBAD;
    }
    FakeCall& call = s.log.add("CtiCommand", {handle, record->request, record->valueA,
                                              record->valueB, record->length, task ? 1u : 0u});
    if (record->request < 0x80)
        CallLog::setData(call, record->data, record->length);
    uint32_t status = s.failures.next("CtiCommand");
    if (!status)
        status = requestFailure(record->request);
    if (status)
        return call.result = status;
    if (task) {
        uintptr_t id = ++s.nextTask;
        s.tasks[id] = PendingTask{record, record->request >= 0x80 ? replyFor(*record)
                                                                  : std::vector<uint8_t>{}};
        *task = reinterpret_cast<CtiTask>(id);
        return call.result = s.taskStartStatus;
    }
    if (record->request >= 0x80)
        writeReply(record, replyFor(*record));
    return call.result = 0;
}

uint32_t CtiTaskWaitComplete(CtiTask* task, uint32_t wait) {
    State& s = state();
    uintptr_t id = task ? reinterpret_cast<uintptr_t>(*task) : 0;
    FakeCall& call = s.log.add("CtiTaskWaitComplete", {uint32_t(id), wait});
    uint32_t status = s.failures.next("CtiTaskWaitComplete");
    if (status)
        return call.result = status;
    auto it = s.tasks.find(id);
    if (it != s.tasks.end() && s.taskCompletes) {
        // The caller must keep the record alive until here: the reply lands in its buffer.
        writeReply(it->second.record, it->second.reply);
        s.tasks.erase(it);
    }
    return call.result = s.taskWaitStatus;
}

uint32_t CtiTaskAbort(CtiTask* task) {
    State& s = state();
    uintptr_t id = task ? reinterpret_cast<uintptr_t>(*task) : 0;
    FakeCall& call = s.log.add("CtiTaskAbort", {uint32_t(id)});
    s.tasks.erase(id);
    return call.result = s.failures.next("CtiTaskAbort");
}

uint32_t CtiDataRead(uint32_t handle, uint8_t* buffer, uint32_t length, uint32_t* delivered,
                     uint32_t reserved) {
    State& s = state();
    FakeCall& call = s.log.add("CtiDataRead", {handle, length, reserved, 0});
    uint32_t status = s.failures.next("CtiDataRead");
    if (status) {
        if (delivered)
            *delivered = 0;
        return call.result = status;
    }
    uint32_t n = length;
    if (s.readLimit && n > s.readLimit)
        n = s.readLimit;
    if (n > s.data.size())
        n = uint32_t(s.data.size());
    for (uint32_t i = 0; i < n; ++i) {
        buffer[i] = s.data.front();
        s.data.pop_front();
    }
    if (delivered)
        *delivered = n;
    call.args[3] = n;
    return call.result = 0;
}

uint32_t CtiResetTransport(uint32_t handle) {
    State& s = state();
    FakeCall& call = s.log.add("CtiResetTransport", {handle});
    return call.result = s.failures.next("CtiResetTransport");
}

uint32_t CtiGetVersion(uint32_t handle, uint32_t* version) {
    State& s = state();
    FakeCall& call = s.log.add("CtiGetVersion", {handle});
    uint32_t status = s.failures.next("CtiGetVersion");
    if (!status)
        *version = s.version;
    return call.result = status;
}

uint32_t CtiCameraEnum(uint32_t first, uint32_t second, uint8_t capacity, uint8_t* numbers,
                       uint8_t* count) {
    State& s = state();
    FakeCall& call = s.log.add("CtiCameraEnum", {first, second, capacity});
    uint32_t status = s.failures.next("CtiCameraEnum");
    if (!status)
        status = s.enumStatus;
    if (status)
        return call.result = status;
    for (size_t k = 0; k < s.cameras.size() && k < capacity; ++k)
        numbers[k] = s.cameras[k];
    *count = uint8_t(s.cameras.size());
    return call.result = 0;
}

uint32_t CtiCameraNameGet(uint8_t number, uint32_t arg, char* buffer) {
    State& s = state();
    FakeCall& call = s.log.add("CtiCameraNameGet", {number, arg});
    uint32_t status = s.failures.next("CtiCameraNameGet");
    if (!status)
        std::snprintf(buffer, 32, "%s", s.name.c_str());
    return call.result = status;
}

uint32_t CtiCameraNameSet(uint8_t number, uint32_t arg, char* buffer) {
    State& s = state();
    FakeCall& call = s.log.add("CtiCameraNameSet", {number, arg});
    CallLog::setData(call, buffer, uint32_t(std::strlen(buffer)));
    uint32_t status = s.failures.next("CtiCameraNameSet");
    if (!status)
        s.name = buffer;
    return call.result = status;
}

uint32_t CtiGetErrorText(uint32_t handle, uint32_t code, char* buffer, uint32_t size) {
    State& s = state();
    FakeCall& call = s.log.add("CtiGetErrorText", {handle, code, size});
    uint32_t status = s.failures.next("CtiGetErrorText");
    if (!status)
        std::snprintf(buffer, size, "fake error 0x%X", code);
    return call.result = status;
}

// ---- Control -----------------------------------------------------------------------------

FAKE_EXPORT void FakeCti_Reset() {
    state() = State{};
}

FAKE_EXPORT void FakeCti_SetOpen(uint32_t status, uint8_t cameraNumber, uint32_t handle) {
    state().openStatus = status;
    state().cameraNumber = cameraNumber;
    state().handle = handle;
}

FAKE_EXPORT void FakeCti_SetCameras(const uint8_t* numbers, uint32_t count, uint32_t status) {
    state().cameras.assign(numbers, numbers + count);
    state().enumStatus = status;
}

FAKE_EXPORT void FakeCti_SetVersion(uint32_t version) {
    state().version = version;
}

FAKE_EXPORT void FakeCti_SetName(const char* name) {
    state().name = name;
}

FAKE_EXPORT void FakeCti_SetReply(uint8_t request, const uint8_t* bytes, uint32_t length) {
    state().replies[request].assign(bytes, bytes + length);
}

FAKE_EXPORT void FakeCti_ClearReply(uint8_t request) {
    state().replies.erase(request);
}

FAKE_EXPORT void FakeCti_QueueReply(uint8_t request, const uint8_t* bytes, uint32_t length) {
    state().queuedReplies[request].emplace_back(bytes, bytes + length);
}

FAKE_EXPORT void FakeCti_QueueData(const uint8_t* bytes, uint32_t length) {
    state().data.insert(state().data.end(), bytes, bytes + length);
}

FAKE_EXPORT uint32_t FakeCti_PendingData() {
    return uint32_t(state().data.size());
}

FAKE_EXPORT void FakeCti_SetReadLimit(uint32_t maxBytesPerRead) {
    state().readLimit = maxBytesPerRead;
}

FAKE_EXPORT void FakeCti_SetTaskStart(uint32_t status) {
    state().taskStartStatus = status;
}

FAKE_EXPORT void FakeCti_SetTaskWait(uint32_t status, int completes) {
    state().taskWaitStatus = status;
    state().taskCompletes = completes != 0;
}

FAKE_EXPORT void FakeCti_FailEntry(const char* name, uint32_t status) {
    state().failures.failAlways(name, status);
}

FAKE_EXPORT void FakeCti_FailNthCall(const char* name, uint32_t n, uint32_t status) {
    state().failures.failNth(name, n, status);
}

FAKE_EXPORT void FakeCti_FailRequest(uint8_t request, uint32_t status, uint32_t times) {
    if (status)
        state().failedRequests[request] = {status, times};
    else
        state().failedRequests.erase(request);
}

FAKE_EXPORT uint32_t FakeCti_LogCount() {
    return state().log.count();
}
FAKE_EXPORT int FakeCti_LogEntry(uint32_t i, FakeCall* out) {
    return state().log.entry(i, out);
}
FAKE_EXPORT void FakeCti_ClearLog() {
    state().log.clear();
}
FAKE_EXPORT int32_t FakeCti_LockBalance() {
    return state().lockBalance;
}
FAKE_EXPORT int32_t FakeCti_OpenHandles() {
    return state().openHandles;
}
FAKE_EXPORT uint32_t FakeCti_MalformedRecords() {
    return state().malformed;
}
FAKE_EXPORT uint32_t FakeCti_PendingTasks() {
    return uint32_t(state().tasks.size());
}

} // extern "C"
