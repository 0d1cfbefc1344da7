// Test-side control of the fake encoder component (build/tests/fakes/encoder/libkerrisenc.so):
// loads the very file CoCreateInstance loads, so both see one instance, and wraps its FakeEnc_
// functions; and registers the fake for every encoder class in the test's registry folder.
// Link kerris_fake_encoder_control and make the test depend on fake_kerrisenc.
//
// What the fake does by default (FakeEnc_Reset restores it):
// - every call succeeds; out-values: profiles "Kerris Broadband (512 Kbps)", "Kerris Dial-up
//   (56 Kbps)", "Murvane" (a new source group takes the first); details of every profile
//   "Kerris profile: [Audio] 32 Kbps, 22 kHz, mono [Video] 320 x 240, 15 frames/s"; video
//   device "Kerris Camera", audio device "Kerris Camera Microphone"; elapsed 0 ms; 0 bytes.
// - the encoder keeps real state: source groups (Add makes the new one active) with sources and
//   a profile; Start fails, with error information, without an active group or when a source's
//   "device://NAME" input names no device of the scripted lists ("No video device named "X" is
//   connected"); with an output file it writes "KERRIS-TEST-CLIP\n" there; the run state is
//   2 after Start and 5 after Stop unless a scripted sequence says otherwise.
// - Save writes the settings (atomically) in the fake's own text (see writeSettingsFile), Load
//   reads them back; a missing or damaged file fails with a description.
// - preview collections hand out cookies 1, 2, 3 ... (never reused in a process) and hold their
//   views; the view checks cookie, size 4 and that the window handle names a live widget.
// - the host's Attach makes a plain child QWidget of the parent; Apply applies every page;
//   get_CurrentPage answers 0 with pages, -1 without, unless scripted.
// - the device enumerator answers S_FALSE and no enumerator for a category without devices;
//   property bags read "FriendlyName" and "DevicePath" ("device://NAME") into an empty or
//   VT_BSTR VARIANT.
//
// Methods are named "Interface::function" as in platform/encoder/encoder_interfaces.h (the
// ISource functions of a video source too), plus "create:<Class>" (Encoder, View,
// ProfileDetailsService, PropertyPageHost, PageMain, Page1..Page4, SystemDeviceEnum) for the
// factory and "query:<Interface>" for the program's QueryInterface calls. A scripted failure
// returns at once without writing out-values; with a description it leaves that error
// information, without one it clears the thread's error information. A scripted success code
// (S_FALSE) replaces the call's S_OK after it did its work.
//
// Logged arguments are texts: numbers in decimal, BSTRs as UTF-8 ("<null>" for null), objects
// "object" / "null", a VARIANT as "vt N". Calls of sources, pages, stream statistics, monikers
// and property bags log their own identity first: "video"/"audio", the page's kind, the device's
// friendly name. IView::SetViewProperties logs cookie, size and the window handle read.
#pragma once

#include "platform/com/com_object.h"
#include "platform/encoder/encoder_interfaces.h"
#include "platform/registry/registry.h"
#include "tests/fakes/fake_control.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kerris::fakes {

inline std::filesystem::path fakeEncoderFolder() {
    return fakeFolder() / "encoder";
}

struct EncoderCall {
    std::string method;
    com::HRESULT result = 0;
    std::vector<std::string> args;
};

// Every class the component serves, with the name the fake logs for it ("create:Encoder").
struct EncoderClass {
    const com::GUID* clsid;
    const char* kind;
};
inline const std::vector<EncoderClass>& encoderClasses() {
    using namespace kerris::encoder;
    static const std::vector<EncoderClass> classes = {
        {&CLSID_Encoder, "Encoder"},
        {&CLSID_View, "View"},
        {&CLSID_ProfileDetailsService, "ProfileDetailsService"},
        {&CLSID_PropertyPageHost, "PropertyPageHost"},
        {&CLSID_PageMain, "PageMain"},
        {&CLSID_Page1, "Page1"},
        {&CLSID_Page2, "Page2"},
        {&CLSID_Page3, "Page3"},
        {&CLSID_Page4, "Page4"},
        {&CLSID_SystemDeviceEnum, "SystemDeviceEnum"},
    };
    return classes;
}

class FakeEncoder : public FakeLibrary {
public:
    FakeEncoder() : FakeLibrary(fakeEncoderFolder() / "libkerrisenc.so") {}

    // Forgets script and log, restores the defaults; live objects stay.
    void reset() const { fn<void()>("FakeEnc_Reset")(); }

    // Every later call of `method` answers hr (0 clears), leaving error information with that
    // description when one is given.
    void setReply(const std::string& method, com::HRESULT hr,
                  std::optional<std::string> description = std::nullopt) const {
        if (!fn<int(const char*, int32_t, const char*)>("FakeEnc_SetReply")(
                method.c_str(), hr, description ? description->c_str() : nullptr))
            throw std::invalid_argument("the fake encoder has no method " + method);
    }
    // The n-th call of `method` from now (1 = the next) answers hr.
    void failNth(const std::string& method, uint32_t n, com::HRESULT hr,
                 std::optional<std::string> description = std::nullopt) const {
        if (!fn<int(const char*, uint32_t, int32_t, const char*)>("FakeEnc_FailNth")(
                method.c_str(), n, hr, description ? description->c_str() : nullptr))
            throw std::invalid_argument("the fake encoder has no method " + method +
                                        " (or n is 0)");
    }
    // What the next get_RunState calls read, in order; afterwards the tracked state.
    void setRunStates(const std::vector<int32_t>& states) const {
        fn<void(const int32_t*, uint32_t)>("FakeEnc_SetRunStates")(states.data(),
                                                                   uint32_t(states.size()));
    }
    // The details text of every profile without one of its own.
    void setDetails(const std::string& details) const {
        fn<void(const char*, const char*)>("FakeEnc_SetDetails")(nullptr, details.c_str());
    }
    void setDetails(const std::string& profile, const std::string& details) const {
        fn<void(const char*, const char*)>("FakeEnc_SetDetails")(profile.c_str(), details.c_str());
    }
    void setElapsed(int64_t milliseconds) const {
        fn<void(int64_t)>("FakeEnc_SetElapsed")(milliseconds);
    }
    // Bytes of the stream of that type (2 video, 1 audio).
    void setByteCount(int32_t type, int64_t bytes) const {
        fn<void(int32_t, int64_t)>("FakeEnc_SetByteCount")(type, bytes);
    }
    void setProfiles(const std::vector<std::string>& names) const {
        auto pointers = cStrings(names);
        fn<void(const char* const*, uint32_t)>("FakeEnc_SetProfiles")(pointers.data(),
                                                                      uint32_t(pointers.size()));
    }
    // The devices of a kind (2 video, 1 audio), in enumeration order; empty: none.
    void setDevices(int32_t type, const std::vector<std::string>& names) const {
        auto pointers = cStrings(names);
        fn<void(int32_t, const char* const*, uint32_t)>("FakeEnc_SetDevices")(
            type, pointers.data(), uint32_t(pointers.size()));
    }
    // What the host answers for its current page; nullopt: the default.
    void setCurrentPage(std::optional<int32_t> index) const {
        fn<void(int32_t)>("FakeEnc_SetCurrentPage")(index ? *index : INT32_MIN);
    }
    void setErrorState(const std::string& description) const {
        fn<void(const char*)>("FakeEnc_SetErrorState")(description.c_str());
    }

    std::vector<EncoderCall> log() const {
        auto count = fn<uint32_t()>("FakeEnc_LogCount");
        auto entry = fn<uint32_t(uint32_t, char*, uint32_t)>("FakeEnc_LogEntry");
        std::vector<EncoderCall> calls;
        for (uint32_t i = 0, n = count(); i < n; ++i) {
            std::string buffer(entry(i, nullptr, 0), '\0');
            if (buffer.empty())
                break;
            entry(i, buffer.data(), uint32_t(buffer.size()));
            buffer.pop_back();
            std::vector<std::string> fields;
            size_t start = 0;
            for (;;) {
                size_t end = buffer.find('\x1F', start);
                fields.push_back(buffer.substr(start, end - start));
                if (end == std::string::npos)
                    break;
                start = end + 1;
            }
            EncoderCall call;
            call.method = fields[0];
            call.result = fields.size() > 1 ? com::HRESULT(std::stol(fields[1])) : 0;
            call.args.assign(fields.begin() + std::min<size_t>(2, fields.size()), fields.end());
            calls.push_back(std::move(call));
        }
        return calls;
    }
    // The logged calls of one method.
    std::vector<EncoderCall> calls(const std::string& method) const {
        std::vector<EncoderCall> out;
        for (auto& call : log())
            if (call.method == method)
                out.push_back(call);
        return out;
    }
    // The methods called, in order.
    std::vector<std::string> methods() const {
        std::vector<std::string> out;
        for (auto& call : log())
            out.push_back(call.method);
        return out;
    }
    void clearLog() const { fn<void()>("FakeEnc_ClearLog")(); }

    // Live objects of a kind ("Encoder", "SourceGroupCollection", "SourceGroup", "VideoSource",
    // "AudioSource", "PreviewCollection", "View", "ProfileCollection", "Profile", "Broadcast",
    // "File", "Statistics", "StreamStatistics", "ProfileDetailsService", "PropertyPageHost",
    // "PageMain", "Page1".."Page4", "SystemDeviceEnum", "EnumMoniker", "Moniker",
    // "PropertyBag"); empty: all. An encoder holds its collections, groups, sources, broadcast,
    // file, statistics and profile collection itself.
    long live(const std::string& kind = {}) const {
        return fn<long(const char*)>("FakeEnc_Live")(kind.empty() ? nullptr : kind.c_str());
    }
    // The newest live encoder's settings, in the settings file's text.
    std::string settings() const {
        auto get = fn<uint32_t(char*, uint32_t)>("FakeEnc_Settings");
        std::string buffer(get(nullptr, 0), '\0');
        get(buffer.data(), uint32_t(buffer.size()));
        buffer.pop_back();
        return buffer;
    }

private:
    static std::vector<const char*> cStrings(const std::vector<std::string>& names) {
        std::vector<const char*> out;
        for (const auto& name : names)
            out.push_back(name.c_str());
        return out;
    }
};

// A settings file the fake's Load reads: one source group with a video and an audio input and
// its profile, in use.
inline void writeSettingsFile(const std::filesystem::path& path, const std::string& group,
                              const std::string& videoInput, const std::string& audioInput,
                              const std::string& profile) {
    std::ofstream out(path, std::ios::trunc);
    out << "KerrisTestEncoderSettings 1\n"
        << "group " << group << "\n"
        << "video " << videoInput << "\n"
        << "audio " << audioInput << "\n"
        << "profile " << profile << "\n"
        << "active 0\n";
}

// Registers the fake for the encoder classes in the current registry folder
// (KERRIS_REGISTRY_DIR) as "kerrisenc.dll", and puts the fake's folder first in
// KERRIS_MODULE_PATH; restores KERRIS_MODULE_PATH when it goes. Classes in `leaveOut` stay
// unregistered (a component missing).
class FakeEncoderRegistration {
public:
    explicit FakeEncoderRegistration(const std::vector<com::GUID>& leaveOut = {}) {
        for (const auto& c : encoderClasses()) {
            bool skip = false;
            for (const auto& left : leaveOut)
                skip = skip || left == *c.clsid;
            if (skip)
                continue;
            auto key =
                registry::Key::create(registry::Hive::ClassesRoot,
                                      "CLSID\\" + com::guidText(*c.clsid) + "\\InprocServer32");
            if (!key || !key->writeString("", "kerrisenc.dll"))
                throw std::runtime_error("cannot register the fake encoder");
        }
        if (const char* previous = std::getenv("KERRIS_MODULE_PATH"))
            m_previous = previous;
        std::string path = fakeEncoderFolder().string();
        if (m_previous && !m_previous->empty())
            path += ":" + *m_previous;
        setenv("KERRIS_MODULE_PATH", path.c_str(), 1);
    }
    FakeEncoderRegistration(const FakeEncoderRegistration&) = delete;
    FakeEncoderRegistration& operator=(const FakeEncoderRegistration&) = delete;
    ~FakeEncoderRegistration() {
        if (m_previous)
            setenv("KERRIS_MODULE_PATH", m_previous->c_str(), 1);
        else
            unsetenv("KERRIS_MODULE_PATH");
    }

private:
    std::optional<std::string> m_previous;
};

} // namespace kerris::fakes
