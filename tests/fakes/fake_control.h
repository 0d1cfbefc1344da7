// Test-side control of the fake transport and colour libraries: loads the very file the camera
// library loads (so both see one instance) and wraps its FakeCti_ / FakeKerc_ functions.
// Link kerris_fake_control and make the test depend on kerris_fakes.
#pragma once

#include "tests/fakes/fake_call.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace kerris::fakes {

// build/tests/fakes/: from KERRIS_BUILD_DIR, which every registered test has, else beside the
// test program (build/tests) when it is run by hand.
inline std::filesystem::path fakeFolder() {
    if (const char* build = std::getenv("KERRIS_BUILD_DIR"))
        return std::filesystem::path(build) / "tests" / "fakes";
    std::error_code ec;
    auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (ec ? std::filesystem::path(".") : program.parent_path()) / "fakes";
}

// The fakes by file: "libkerrisu.so", "lean/libkercol.so", ...
inline std::filesystem::path fakePath(const std::string& file) {
    return fakeFolder() / file;
}

// True while some part of the process holds the library loaded.
inline bool isLoaded(const std::filesystem::path& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

struct Call {
    std::string name;
    std::array<uint32_t, 6> args{};
    std::vector<uint8_t> data;
    uint32_t result = 0;
};

// A loaded fake and its control functions.
class FakeLibrary {
public:
    explicit FakeLibrary(const std::filesystem::path& path) : m_path(path) {
        m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m_handle)
            throw std::runtime_error("cannot load fake " + path.string() + ": " + dlerror());
    }
    FakeLibrary(const FakeLibrary&) = delete;
    FakeLibrary& operator=(const FakeLibrary&) = delete;
    ~FakeLibrary() { unload(); }

    // Drops the test's own reference (isLoaded() then tells whether anybody else holds it).
    void unload() {
        if (m_handle)
            dlclose(m_handle);
        m_handle = nullptr;
    }
    const std::filesystem::path& path() const { return m_path; }

protected:
    template <typename Fn> Fn* fn(const char* name) const {
        void* address = m_handle ? dlsym(m_handle, name) : nullptr;
        if (!address)
            throw std::runtime_error(std::string("fake lacks ") + name);
        return reinterpret_cast<Fn*>(address);
    }
    std::vector<Call> readLog(const char* countName, const char* entryName) const {
        auto count = fn<uint32_t()>(countName);
        auto entry = fn<int(uint32_t, FakeCall*)>(entryName);
        std::vector<Call> calls;
        for (uint32_t i = 0, n = count(); i < n; ++i) {
            FakeCall raw{};
            if (!entry(i, &raw))
                break;
            Call call;
            call.name = raw.name;
            for (size_t a = 0; a < 6; ++a)
                call.args[a] = raw.args[a];
            call.data.assign(raw.data, raw.data + raw.dataLength);
            call.result = raw.result;
            calls.push_back(std::move(call));
        }
        return calls;
    }

private:
    std::filesystem::path m_path;
    void* m_handle = nullptr;
};

// The fake transport. By default every entry point succeeds: CtiHandleOpen gives camera
// number 1 and handle 0x4D2, commands from the camera get zero replies (the echo command echoes
// its value bytes), started tasks complete with 0.
class FakeTransport : public FakeLibrary {
public:
    explicit FakeTransport(const std::string& file = "libkerrisu.so")
        : FakeLibrary(fakePath(file)) {}

    void reset() const { fn<void()>("FakeCti_Reset")(); }
    void setOpen(uint32_t status, uint8_t cameraNumber = 1, uint32_t handle = 0x4D2) const {
        fn<void(uint32_t, uint8_t, uint32_t)>("FakeCti_SetOpen")(status, cameraNumber, handle);
    }
    void setCameras(const std::vector<uint8_t>& numbers, uint32_t status = 0) const {
        fn<void(const uint8_t*, uint32_t, uint32_t)>("FakeCti_SetCameras")(
            numbers.data(), uint32_t(numbers.size()), status);
    }
    void setVersion(uint32_t version) const { fn<void(uint32_t)>("FakeCti_SetVersion")(version); }
    void setName(const char* name) const { fn<void(const char*)>("FakeCti_SetName")(name); }
    // The reply of every later command `request` (0x8B: read from the offset in value A).
    void setReply(uint8_t request, const std::vector<uint8_t>& bytes) const {
        fn<void(uint8_t, const uint8_t*, uint32_t)>("FakeCti_SetReply")(request, bytes.data(),
                                                                        uint32_t(bytes.size()));
    }
    void clearReply(uint8_t request) const { fn<void(uint8_t)>("FakeCti_ClearReply")(request); }
    // A reply for the next command `request` only, ahead of the scripted one.
    void queueReply(uint8_t request, const std::vector<uint8_t>& bytes) const {
        fn<void(uint8_t, const uint8_t*, uint32_t)>("FakeCti_QueueReply")(request, bytes.data(),
                                                                          uint32_t(bytes.size()));
    }
    // Bytes CtiDataRead delivers, in order.
    void queueData(const std::vector<uint8_t>& bytes) const {
        fn<void(const uint8_t*, uint32_t)>("FakeCti_QueueData")(bytes.data(),
                                                                uint32_t(bytes.size()));
    }
    uint32_t pendingData() const { return fn<uint32_t()>("FakeCti_PendingData")(); }
    // At most this many bytes per CtiDataRead (0: no limit).
    void setReadLimit(uint32_t bytes) const { fn<void(uint32_t)>("FakeCti_SetReadLimit")(bytes); }
    // What CtiCommand answers when it starts a task (0x41: an older camera's echo task).
    void setTaskStart(uint32_t status) const { fn<void(uint32_t)>("FakeCti_SetTaskStart")(status); }
    // What CtiTaskWaitComplete answers and whether the reply is written by then.
    void setTaskWait(uint32_t status, bool completes) const {
        fn<void(uint32_t, int)>("FakeCti_SetTaskWait")(status, completes ? 1 : 0);
    }
    // Every call of `entry` fails with `status` (0 clears).
    void failEntry(const char* entry, uint32_t status) const {
        fn<void(const char*, uint32_t)>("FakeCti_FailEntry")(entry, status);
    }
    // The n-th call of `entry` from now (1 = the next) fails with `status`.
    void failNthCall(const char* entry, uint32_t n, uint32_t status) const {
        fn<void(const char*, uint32_t, uint32_t)>("FakeCti_FailNthCall")(entry, n, status);
    }
    // Commands `request` fail with `status`, the next `times` ones (0: every one; status 0 clears).
    void failRequest(uint8_t request, uint32_t status, uint32_t times = 0) const {
        fn<void(uint8_t, uint32_t, uint32_t)>("FakeCti_FailRequest")(request, status, times);
    }
    std::vector<Call> log() const { return readLog("FakeCti_LogCount", "FakeCti_LogEntry"); }
    // The logged calls of one entry point.
    std::vector<Call> calls(const std::string& entry) const {
        std::vector<Call> out;
        for (auto& call : log())
            if (call.name == entry)
                out.push_back(call);
        return out;
    }
    // The request codes of the commands sent, in order.
    std::vector<uint8_t> requests() const {
        std::vector<uint8_t> out;
        for (auto& call : calls("CtiCommand"))
            out.push_back(uint8_t(call.args[1]));
        return out;
    }
    void clearLog() const { fn<void()>("FakeCti_ClearLog")(); }
    int32_t lockBalance() const { return fn<int32_t()>("FakeCti_LockBalance")(); }
    int32_t openHandles() const { return fn<int32_t()>("FakeCti_OpenHandles")(); }
    uint32_t malformedRecords() const { return fn<uint32_t()>("FakeCti_MalformedRecords")(); }
    uint32_t pendingTasks() const { return fn<uint32_t()>("FakeCti_PendingTasks")(); }
};

// The fake colour library. KERC_Open hands out 0x5EED; parameters set are kept and queried back.
class FakeColour : public FakeLibrary {
public:
    explicit FakeColour(const std::string& file = "libkercol.so") : FakeLibrary(fakePath(file)) {}

    void reset() const { fn<void()>("FakeKerc_Reset")(); }
    // The handle KERC_Open gives (0: it refuses).
    void setOpenHandle(uint32_t handle) const {
        fn<void(uint32_t)>("FakeKerc_SetOpenHandle")(handle);
    }
    void failEntry(const char* entry, uint32_t status) const {
        fn<void(const char*, uint32_t)>("FakeKerc_FailEntry")(entry, status);
    }
    void failNthCall(const char* entry, uint32_t n, uint32_t status) const {
        fn<void(const char*, uint32_t, uint32_t)>("FakeKerc_FailNthCall")(entry, n, status);
    }
    std::vector<Call> log() const { return readLog("FakeKerc_LogCount", "FakeKerc_LogEntry"); }
    std::vector<Call> calls(const std::string& entry) const {
        std::vector<Call> out;
        for (auto& call : log())
            if (call.name == entry)
                out.push_back(call);
        return out;
    }
    // The KERC_SetParameter calls for parameter `number`, in order.
    std::vector<Call> parameterSets(uint32_t number) const {
        std::vector<Call> out;
        for (auto& call : calls("KERC_SetParameter"))
            if (call.args[1] == number)
                out.push_back(call);
        return out;
    }
    void clearLog() const { fn<void()>("FakeKerc_ClearLog")(); }
    int32_t openHandles() const { return fn<int32_t()>("FakeKerc_OpenHandles")(); }
};

// A temporary folder of links to chosen fakes, made the only place libraries are searched
// (KERRIS_MODULE_PATH with KERRIS_MODULE_PATH_ONLY=1), so a library left out is truly missing
// even when the build tree holds the real one. Restores the environment when it goes.
class ModuleFolder {
public:
    // files: fake files relative to the fake folder ("libkerrissl.so", "lean/libkerrisu.so").
    explicit ModuleFolder(std::initializer_list<std::string> files) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kerris-modules-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a module folder");
        m_folder = pattern;
        for (const auto& file : files) {
            auto target = fakePath(file);
            std::filesystem::create_symlink(target, m_folder / target.filename());
        }
        setenv("KERRIS_MODULE_PATH", m_folder.c_str(), 1);
        setenv("KERRIS_MODULE_PATH_ONLY", "1", 1);
    }
    ModuleFolder(const ModuleFolder&) = delete;
    ModuleFolder& operator=(const ModuleFolder&) = delete;
    ~ModuleFolder() {
        unsetenv("KERRIS_MODULE_PATH");
        unsetenv("KERRIS_MODULE_PATH_ONLY");
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    const std::filesystem::path& path() const { return m_folder; }

private:
    std::filesystem::path m_folder;
};

} // namespace kerris::fakes
