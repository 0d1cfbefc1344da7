// What the tests of the encoder component share: objects reached only through their function
// tables, slot by slot, as the clip mail program reaches them; a registry of each test's own
// with the component installed by its setup program; error descriptions; ffprobe's view of a
// recorded file.
#pragma once

#include "platform/com/com_object.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

namespace kerris::encoder::testing {

using com::GUID;
using com::HRESULT;

// An interface pointer used only by slot number. Owns one reference (slot 2 on destruction).
class SlotObject {
public:
    SlotObject() = default;
    explicit SlotObject(void* p) : m_p(p) {}
    SlotObject(const SlotObject&) = delete;
    SlotObject& operator=(const SlotObject&) = delete;
    SlotObject(SlotObject&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    SlotObject& operator=(SlotObject&& o) noexcept {
        std::swap(m_p, o.m_p);
        return *this;
    }
    ~SlotObject() { reset(); }

    void reset() {
        if (void* p = std::exchange(m_p, nullptr))
            call(p, 2);
    }
    void* get() const { return m_p; }
    void** put() {
        reset();
        return &m_p;
    }
    explicit operator bool() const { return m_p != nullptr; }

    // Calls slot n of the table with the arguments (the object itself comes first).
    template <class... Args> HRESULT operator()(int slot, Args... args) const {
        return call(m_p, slot, args...);
    }
    // Calls a slot whose last argument is an out-object; empty when the call failed.
    template <class... Args> SlotObject out(int slot, Args... args) const {
        void* result = nullptr;
        HRESULT hr = call(m_p, slot, args..., &result);
        return SlotObject(com::succeeded(hr) ? result : nullptr);
    }
    // QueryInterface (slot 0).
    SlotObject query(const GUID& iid) const {
        void* result = nullptr;
        HRESULT hr = call(m_p, 0, &iid, &result);
        return SlotObject(com::succeeded(hr) ? result : nullptr);
    }

    template <class... Args> static HRESULT call(void* object, int slot, Args... args) {
        using Function = HRESULT (*)(void*, Args...);
        void** table = *static_cast<void***>(object);
        return reinterpret_cast<Function>(table[slot])(object, args...);
    }

private:
    void* m_p = nullptr;
};

// CoCreateInstance of clsid for interface iid, in-process; empty with hr set on failure.
SlotObject create(const GUID& clsid, const GUID& iid, HRESULT* hr = nullptr);

// Takes the thread's error information: its description, or "" when there is none.
std::string takeErrorDescription();

// A BSTR made from UTF-8 text, freed on destruction.
using Text = com::Bstr;
inline Text text(const std::string& utf8) {
    return com::Bstr::fromUtf8(utf8);
}
// Reads a BSTR out-parameter into UTF-8 text and frees it.
std::string takeText(com::BSTR text);

// A fresh registry and folder per test, the component installed into that registry by
// kerrisenc-setup (as scripts/install.sh does), and the thread prepared for COM.
class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs kerrisenc-setup with arguments; its exit status.
    int runSetup(const std::string& arguments = "");
    // Sets the virtual camera's fault injection (HKLM "SOFTWARE\Kerris\VirtualCamera").
    void setVirtualCameraValue(const std::string& name, uint32_t value);

    std::filesystem::path folder; // the test's own folder, removed afterwards
};

// An encoder with the group the program builds on a first run ("device://Kerris Camera",
// "device://Kerris Camera Microphone") and the profile named `profile` selected through a
// VARIANT of type VT_DISPATCH; the output file set when not empty.
SlotObject readyEncoder(const std::string& outputFile, const std::string& profile = "Murvane",
                        const std::string& video = "device://Kerris Camera",
                        const std::string& audio = "device://Kerris Camera Microphone");

// ffprobe's view of a recording (through the engine tests' reader), and its ASF layout.
struct Probe {
    bool readable = false;
    std::string format;     // format_name
    double duration = 0;    // seconds, of the container
    std::string videoCodec; // codec_name of the first video stream
    int width = 0, height = 0;
    double frameRate = 0;    // frames per second
    int64_t videoFrames = 0; // nb_read_frames
    std::string audioCodec;  // of the first audio stream
    int audioSampleRate = 0;
    int audioChannels = 0;
    bool finished = false; // the header marks it seekable and an index follows the data
};
Probe probe(const std::filesystem::path& file);

// Slot numbers of the call tables.
namespace slot {
inline constexpr int kQueryInterface = 0, kRelease = 2;
// encoder
inline constexpr int kLoad = 8, kSave = 9, kStart = 10, kStop = 11, kPrepareToEncode = 15,
                     kSourceGroupCollection = 26, kBroadcast = 31, kFile = 32, kStatistics = 33,
                     kProfileCollection = 34, kRunState = 35, kErrorState = 36;
// source group collection
inline constexpr int kGroupCount = 7, kGroupItem = 8, kGroupRemove = 10, kGroupAdd = 11,
                     kActiveGroup = 14, kPutActiveGroup = 15;
// source group
inline constexpr int kGroupName = 7, kSourceCount = 8, kSource = 10, kAddSource = 11,
                     kRemoveSource = 12, kProfile = 13, kPutProfile = 14;
// sources
inline constexpr int kSourceType = 7, kSetInput = 8, kGetInput = 9, kPreviewCollection = 19;
// preview collection
inline constexpr int kPreviewCount = 7, kPreviewAdd = 10, kPreviewRemove = 11,
                     kPreviewRemoveAll = 12;
// view
inline constexpr int kSetViewProperties = 3, kStartView = 9, kStopView = 10;
// profiles
inline constexpr int kProfileCount = 8, kProfileItem = 12, kProfileRefresh = 13, kProfileName = 7,
                     kProfileDescription = 8, kGetDetails = 10;
// broadcast, file, statistics
inline constexpr int kGetPort = 7, kPutPort = 8, kGetFileName = 7, kPutFileName = 8,
                     kEncodingTime = 7, kStreamOutputStats = 9, kSampleCount = 7, kByteCount = 8,
                     kDroppedCount = 9;
// device enumerator
inline constexpr int kCreateClassEnumerator = 3, kNext = 3, kSkip = 4, kReset = 5, kClone = 6,
                     kBindToStorage = 9, kRead = 3, kWrite = 4;
} // namespace slot

} // namespace kerris::encoder::testing
