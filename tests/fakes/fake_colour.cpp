// A scriptable colour library for the camera library's tests, built as libkercol.so (and a
// lean variant lacking entry points). A test loads the same file and drives it through the
// FakeKerc_ control functions.
//
// Logged arguments per entry point (FakeCall.args):
//   KERC_Open                 zero1, zero2          KERC_Close  handle
//   KERC_LoadDeviceDefaults   handle, zero
//   KERC_SetParameter         handle, number, size (data: the value's bytes)
//   KERC_QueryParameter       handle, number, size
//   KERC_BunchedToBayer       handle, width, height
//   KERC_Colour               handle, width, height, zero
// Pixels: the Bayer frame interleaves each bunched row's halves; the colour output of a
// width x height frame is (width - 4) x (height - 4) pixels whose bytes are the Bayer sample
// at (x + 2, y + 2) plus 0, 1 and 2, rows top-down.
#include "camera/kerc.h"
#include "tests/fakes/fake_support.h"

#include <map>
#include <vector>

using kerris::fakes::CallLog;
using kerris::fakes::FailureScript;

namespace {

struct State {
    CallLog log;
    FailureScript failures;
    uint32_t openHandle = 0x5EED;
    int32_t openHandles = 0;
    std::map<uint32_t, std::vector<uint8_t>> parameters;
};

State& state() {
    static State s;
    return s;
}

} // namespace

extern "C" {

uint32_t KERC_Open(uint32_t zero1, uint32_t zero2) {
    State& s = state();
    FakeCall& call = s.log.add("KERC_Open", {zero1, zero2});
    uint32_t status = s.failures.next("KERC_Open");
    uint32_t handle = status ? 0 : s.openHandle;
    if (handle)
        ++s.openHandles;
    return call.result = handle;
}

uint32_t KERC_Close(uint32_t handle) {
    State& s = state();
    FakeCall& call = s.log.add("KERC_Close", {handle});
    uint32_t status = s.failures.next("KERC_Close");
    if (!status && handle == s.openHandle)
        --s.openHandles;
    return call.result = status;
}

uint32_t KERC_LoadDeviceDefaults(uint32_t handle, uint32_t zero) {
    State& s = state();
    FakeCall& call = s.log.add("KERC_LoadDeviceDefaults", {handle, zero});
    return call.result = s.failures.next("KERC_LoadDeviceDefaults");
}

uint32_t KERC_SetParameter(uint32_t handle, uint32_t number, void* value, uint32_t size) {
    State& s = state();
    FakeCall& call = s.log.add("KERC_SetParameter", {handle, number, size});
    CallLog::setData(call, value, size);
    uint32_t status = s.failures.next("KERC_SetParameter");
    if (!status && value) {
        auto* bytes = static_cast<const uint8_t*>(value);
        s.parameters[number].assign(bytes, bytes + size);
    }
    return call.result = status;
}

uint32_t KERC_QueryParameter(uint32_t handle, uint32_t number, void* buffer, uint32_t size) {
    State& s = state();
    FakeCall& call = s.log.add("KERC_QueryParameter", {handle, number, size});
    uint32_t status = s.failures.next("KERC_QueryParameter");
    if (!status) {
        auto it = s.parameters.find(number);
        if (it != s.parameters.end() && buffer) {
            size_t n = it->second.size() < size ? it->second.size() : size;
            std::memcpy(buffer, it->second.data(), n);
        }
    }
    return call.result = status;
}

uint32_t KERC_BunchedToBayer(uint32_t handle, uint8_t* bunched, uint8_t* bayer, uint32_t width,
                             uint32_t height) {
    State& s = state();
    FakeCall& call = s.log.add("KERC_BunchedToBayer", {handle, width, height});
    uint32_t status = s.failures.next("KERC_BunchedToBayer");
    if (status)
        return call.result = status;
    const uint32_t half = width / 2;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = bunched + size_t(y) * width;
        uint8_t* out = bayer + size_t(y) * width;
        for (uint32_t k = 0; k < half; ++k) {
            out[2 * k] = row[k];
            out[2 * k + 1] = row[half + k];
        }
    }
    return call.result = 0;
}

uint32_t KERC_Colour(uint32_t handle, uint8_t* bayer, uint8_t* rgb, uint32_t width, uint32_t height,
                     uint32_t zero) {
    State& s = state();
    FakeCall& call = s.log.add("KERC_Colour", {handle, width, height, zero});
    uint32_t status = s.failures.next("KERC_Colour");
    if (status)
        return call.result = status;
    if (width < 4 || height < 4)
        return call.result = 0;
    const uint32_t w = width - 4, h = height - 4;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t sample = bayer[size_t(y + 2) * width + x + 2];
            uint8_t* pixel = rgb + (size_t(y) * w + x) * 3;
            pixel[0] = sample;
            pixel[1] = uint8_t(sample + 1);
            pixel[2] = uint8_t(sample + 2);
        }
    }
    return call.result = 0;
}

// ---- Control -----------------------------------------------------------------------------

FAKE_EXPORT void FakeKerc_Reset() {
    state() = State{};
}
FAKE_EXPORT void FakeKerc_SetOpenHandle(uint32_t handle) {
    state().openHandle = handle;
}
FAKE_EXPORT void FakeKerc_FailEntry(const char* name, uint32_t status) {
    state().failures.failAlways(name, status);
}
FAKE_EXPORT void FakeKerc_FailNthCall(const char* name, uint32_t n, uint32_t status) {
    state().failures.failNth(name, n, status);
}
FAKE_EXPORT uint32_t FakeKerc_LogCount() {
    return state().log.count();
}
FAKE_EXPORT int FakeKerc_LogEntry(uint32_t i, FakeCall* out) {
    return state().log.entry(i, out);
}
FAKE_EXPORT void FakeKerc_ClearLog() {
    state().log.clear();
}
FAKE_EXPORT int32_t FakeKerc_OpenHandles() {
    return state().openHandles;
}

} // extern "C"
