// The fake encoder component's script, call log and control exports (FakeEnc_), and the
// component exports DllGetClassObject / DllCanUnloadNow.
#include "tests/fakes/fake_encoder_state.h"

#include "tests/fakes/fake_call.h"

#include <cstring>
#include <set>

namespace kerris::fakes::encoder {

namespace {

const std::set<std::string>& knownMethods() {
    static const std::set<std::string> methods = {
        "IEncoder::Load",
        "IEncoder::Save",
        "IEncoder::Start",
        "IEncoder::Stop",
        "IEncoder::PrepareToEncode",
        "IEncoder::get_SourceGroupCollection",
        "IEncoder::get_Broadcast",
        "IEncoder::get_File",
        "IEncoder::get_Statistics",
        "IEncoder::get_ProfileCollection",
        "IEncoder::get_RunState",
        "IEncoder::get_ErrorState",
        "ISourceGroupCollection::get_Count",
        "ISourceGroupCollection::Item",
        "ISourceGroupCollection::Remove",
        "ISourceGroupCollection::Add",
        "ISourceGroupCollection::get_Active",
        "ISourceGroupCollection::put_Active",
        "ISourceGroup::get_Name",
        "ISourceGroup::get_SourceCount",
        "ISourceGroup::get_Source",
        "ISourceGroup::AddSource",
        "ISourceGroup::RemoveSource",
        "ISourceGroup::get_Profile",
        "ISourceGroup::put_Profile",
        "ISource::get_Type",
        "ISource::SetInput",
        "ISource::GetInput",
        "IVideoSource::get_PreviewCollection",
        "IPreviewCollection::get_Count",
        "IPreviewCollection::Add",
        "IPreviewCollection::Remove",
        "IPreviewCollection::RemoveAll",
        "IView::SetViewProperties",
        "IView::StartView",
        "IView::StopView",
        "IProfileCollection::get_Count",
        "IProfileCollection::Item",
        "IProfileCollection::Refresh",
        "IProfile::get_Name",
        "IProfile::get_Description",
        "IProfileDetailsService::GetDetails",
        "IBroadcast::get_PortNumber",
        "IBroadcast::put_PortNumber",
        "IFile::get_LocalFileName",
        "IFile::put_LocalFileName",
        "IStatistics::get_EncodingTime",
        "IStatistics::get_StreamOutputStats",
        "IStreamStatistics::get_SampleCount",
        "IStreamStatistics::get_ByteCount",
        "IStreamStatistics::get_DroppedCount",
        "IControlSite::Attach",
        "IControlSite::Detach",
        "IPropertyPageHost::AddPage",
        "IPropertyPageHost::get_PageCount",
        "IPropertyPageHost::put_Object",
        "IPropertyPageHost::Apply",
        "IPropertyPageHost::get_CurrentPage",
        "IPropertyPageHost::put_CurrentPage",
        "IPropertyPageHost::ShowHelp",
        "IEncoderPage::get_Title",
        "IEncoderPage::Activate",
        "IEncoderPage::Deactivate",
        "IEncoderPage::Apply",
        "IEncoderPage::get_HelpText",
        "ICreateDevEnum::CreateClassEnumerator",
        "IEnumMoniker::Next",
        "IEnumMoniker::Skip",
        "IEnumMoniker::Reset",
        "IEnumMoniker::Clone",
        "IMoniker::BindToStorage",
        "IPropertyBag::Read",
        "IPropertyBag::Write",
        "create:Encoder",
        "create:View",
        "create:ProfileDetailsService",
        "create:PropertyPageHost",
        "create:PageMain",
        "create:Page1",
        "create:Page2",
        "create:Page3",
        "create:Page4",
        "create:SystemDeviceEnum",
    };
    return methods;
}

struct NamedInterface {
    const GUID* iid;
    const char* name;
};

const NamedInterface kInterfaces[] = {
    {&IUnknown::kIid, "IUnknown"},
    {&IDispatch::kIid, "IDispatch"},
    {&IEncoder::kIid, "IEncoder"},
    {&ISourceGroupCollection::kIid, "ISourceGroupCollection"},
    {&ISourceGroup::kIid, "ISourceGroup"},
    {&ISource::kIid, "ISource"},
    {&IVideoSource::kIid, "IVideoSource"},
    {&IPreviewCollection::kIid, "IPreviewCollection"},
    {&IView::kIid, "IView"},
    {&IProfileCollection::kIid, "IProfileCollection"},
    {&IProfile::kIid, "IProfile"},
    {&IProfileDetailsService::kIid, "IProfileDetailsService"},
    {&IBroadcast::kIid, "IBroadcast"},
    {&IFile::kIid, "IFile"},
    {&IStatistics::kIid, "IStatistics"},
    {&IStreamStatistics::kIid, "IStreamStatistics"},
    {&IControlSite::kIid, "IControlSite"},
    {&IPropertyPageHost::kIid, "IPropertyPageHost"},
    {&IEncoderPage::kIid, "IEncoderPage"},
    {&ICreateDevEnum::kIid, "ICreateDevEnum"},
    {&IEnumMoniker::kIid, "IEnumMoniker"},
    {&IMoniker::kIid, "IMoniker"},
    {&IPropertyBag::kIid, "IPropertyBag"},
};

thread_local int t_internalQueries = 0;

void setErrorInformation(const ScriptedReply& reply) {
    if (reply.description)
        KerrisSetErrorDescription(&IUnknown::kIid, "Kerris test encoder",
                                  reply.description->c_str());
    else
        SetErrorInfo(0, nullptr);
}

// Copies a text into a caller's buffer; the length the whole text needs, with its NUL.
uint32_t copyText(const std::string& textValue, char* buffer, uint32_t size) {
    if (buffer && size > 0) {
        size_t n = std::min<size_t>(textValue.size(), size - 1);
        std::memcpy(buffer, textValue.data(), n);
        buffer[n] = '\0';
    }
    return uint32_t(textValue.size() + 1);
}

std::vector<std::string> namesOf(const char* const* names, uint32_t count) {
    std::vector<std::string> out;
    for (uint32_t i = 0; names && i < count; ++i)
        out.emplace_back(names[i] ? names[i] : "");
    return out;
}

} // namespace

void State::reset() {
    always.clear();
    nth.clear();
    callCounts.clear();
    log.clear();
    runStates.clear();
    details.clear();
    defaultDetails = "Kerris profile: [Audio] 32 Kbps, 22 kHz, mono [Video] 320 x 240, 15 frames/s";
    elapsedMs = 0;
    videoBytes = 0;
    audioBytes = 0;
    profiles = {"Kerris Broadband (512 Kbps)", "Kerris Dial-up (56 Kbps)", "Murvane"};
    videoDevices = {"Kerris Camera"};
    audioDevices = {"Kerris Camera Microphone"};
    currentPage.reset();
    errorState.clear();
}

namespace {

State* g_state = nullptr;

// Frees the state when the library is unloaded or the process ends, unless an object of the
// fake still lives (it may yet be released during the exit and needs the state then).
struct StateOwner {
    ~StateOwner() {
        if (g_state && g_state->liveTotal == 0) {
            delete g_state;
            g_state = nullptr;
        }
    }
} g_stateOwner;

} // namespace

State& state() {
    static State* s = g_state = new State;
    return *s;
}

bool isKnownMethod(const std::string& method) {
    if (method.rfind("query:", 0) == 0) {
        for (const auto& named : kInterfaces)
            if (method.substr(6) == named.name)
                return true;
        return false;
    }
    return knownMethods().count(method) > 0;
}

const char* interfaceName(const GUID& iid) {
    for (const auto& named : kInterfaces)
        if (*named.iid == iid)
            return named.name;
    return nullptr;
}

Call::Call(const char* method, std::vector<std::string> args) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const uint64_t n = ++s.callCounts[method];
    std::optional<ScriptedReply> reply;
    auto nth = s.nth.find(method);
    if (nth != s.nth.end()) {
        auto hit = nth->second.find(n);
        if (hit != nth->second.end()) {
            reply = hit->second;
            nth->second.erase(hit);
        }
    }
    if (!reply) {
        auto always = s.always.find(method);
        if (always != s.always.end())
            reply = always->second;
    }
    m_index = s.log.size();
    s.log.push_back(LoggedCall{method, std::move(args), S_OK});
    if (reply) {
        if (failed(reply->hr)) {
            setErrorInformation(*reply);
            m_failure = reply->hr;
            s.log[m_index].result = reply->hr;
        } else {
            m_success = reply->hr;
        }
    }
}

HRESULT Call::finish(HRESULT hr) {
    if (hr == S_OK && m_success)
        hr = *m_success;
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (m_index < s.log.size())
        s.log[m_index].result = hr;
    return hr;
}

HRESULT Call::fail(HRESULT hr, const std::string& description) {
    KerrisSetErrorDescription(&IUnknown::kIid, "Kerris test encoder", description.c_str());
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (m_index < s.log.size())
        s.log[m_index].result = hr;
    return hr;
}

std::string text(BSTR s) {
    if (!s)
        return "<null>";
    return utf8FromUtf16(std::u16string_view(s, SysStringLen(s)));
}

std::string number(int64_t v) {
    return std::to_string(v);
}

std::string object(const void* p) {
    return p ? "object" : "null";
}

InternalQuery::InternalQuery() {
    ++t_internalQueries;
}
InternalQuery::~InternalQuery() {
    --t_internalQueries;
}
bool insideInternalQuery() {
    return t_internalQueries > 0;
}

} // namespace kerris::fakes::encoder

using namespace kerris::fakes::encoder;

// ---- Component exports ------------------------------------------------------------------------

extern "C" FAKE_EXPORT HRESULT DllGetClassObject(const GUID* clsid, const GUID* iid,
                                                 void** factory) {
    if (!clsid || !iid || !factory)
        return E_POINTER;
    IClassFactory* created = createFactory(*clsid);
    if (!created)
        return CLASS_E_CLASSNOTAVAILABLE;
    HRESULT hr = created->QueryInterface(*iid, factory);
    created->Release();
    return hr;
}

extern "C" FAKE_EXPORT HRESULT DllCanUnloadNow() {
    return g_moduleReferences == 0 ? S_OK : S_FALSE;
}

// ---- Control exports (tests/fakes/fake_encoder_control.h) -------------------------------------

// Forgets the script and the log and restores the default out-values. Live objects stay.
extern "C" FAKE_EXPORT void FakeEnc_Reset() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.reset();
}

// Every later call of `method` answers hr (0 clears), with error information when
// description is not null. 0 for an unknown method name.
extern "C" FAKE_EXPORT int FakeEnc_SetReply(const char* method, int32_t hr,
                                            const char* description) {
    if (!method || !isKnownMethod(method))
        return 0;
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (hr == S_OK) {
        s.always.erase(method);
        return 1;
    }
    ScriptedReply reply{hr, {}};
    if (description)
        reply.description = description;
    s.always[method] = reply;
    return 1;
}

// The n-th call of `method` from now (1 = the next) answers hr. 0 for an unknown method or n 0.
extern "C" FAKE_EXPORT int FakeEnc_FailNth(const char* method, uint32_t n, int32_t hr,
                                           const char* description) {
    if (!method || !isKnownMethod(method) || n == 0)
        return 0;
    State& s = state();
    std::lock_guard lock(s.mutex);
    ScriptedReply reply{hr, {}};
    if (description)
        reply.description = description;
    s.nth[method][s.callCounts[method] + n] = reply;
    return 1;
}

extern "C" FAKE_EXPORT void FakeEnc_SetRunStates(const int32_t* states, uint32_t count) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.runStates.assign(states, states + (states ? count : 0));
}

// The details text of one profile; profile null: of every profile without its own.
extern "C" FAKE_EXPORT void FakeEnc_SetDetails(const char* profile, const char* details) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (profile)
        s.details[profile] = details ? details : "";
    else
        s.defaultDetails = details ? details : "";
}

extern "C" FAKE_EXPORT void FakeEnc_SetElapsed(int64_t milliseconds) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.elapsedMs = milliseconds;
}

// Bytes written for the stream of that type (2 video, 1 audio).
extern "C" FAKE_EXPORT void FakeEnc_SetByteCount(int32_t type, int64_t bytes) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    (type == kSourceTypeVideo ? s.videoBytes : s.audioBytes) = bytes;
}

extern "C" FAKE_EXPORT void FakeEnc_SetProfiles(const char* const* names, uint32_t count) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.profiles = namesOf(names, count);
}

// The friendly names of the devices of a kind (2 video, 1 audio), in enumeration order.
extern "C" FAKE_EXPORT void FakeEnc_SetDevices(int32_t type, const char* const* names,
                                               uint32_t count) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    (type == kSourceTypeVideo ? s.videoDevices : s.audioDevices) = namesOf(names, count);
}

// What the host answers for its current page; INT32_MIN restores the default.
extern "C" FAKE_EXPORT void FakeEnc_SetCurrentPage(int32_t index) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (index == INT32_MIN)
        s.currentPage.reset();
    else
        s.currentPage = index;
}

extern "C" FAKE_EXPORT void FakeEnc_SetErrorState(const char* description) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.errorState = description ? description : "";
}

extern "C" FAKE_EXPORT uint32_t FakeEnc_LogCount() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return uint32_t(s.log.size());
}

// Entry i as "method\x1Fresult\x1Farg\x1Farg..."; the length it needs with its NUL, 0 when i is
// beyond the log.
extern "C" FAKE_EXPORT uint32_t FakeEnc_LogEntry(uint32_t i, char* buffer, uint32_t size) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (i >= s.log.size())
        return 0;
    const LoggedCall& call = s.log[i];
    std::string entry = call.method + '\x1F' + std::to_string(call.result);
    for (const auto& arg : call.args)
        entry += '\x1F' + arg;
    return copyText(entry, buffer, size);
}

extern "C" FAKE_EXPORT void FakeEnc_ClearLog() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.log.clear();
}

// Live objects of a kind ("Encoder", "SourceGroup", "View", ...); kind null: all of them.
extern "C" FAKE_EXPORT long FakeEnc_Live(const char* kind) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!kind)
        return s.liveTotal;
    auto it = s.live.find(kind);
    return it == s.live.end() ? 0 : it->second;
}

// The newest live encoder's settings in the settings file's text; the length it needs.
extern "C" FAKE_EXPORT uint32_t FakeEnc_Settings(char* buffer, uint32_t size) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return copyText(s.newestEncoder ? s.newestEncoder->settingsText() : std::string(), buffer,
                    size);
}
