// Inside the fake encoder component: the script a test sets through the FakeEnc_ exports, the
// log of every call, the live-object counts, and the base of every fake object.
#pragma once

#include "platform/com/com_object.h"
#include "platform/encoder/encoder_interfaces.h"

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace kerris::fakes::encoder {

using namespace kerris::com;
using namespace kerris::encoder;

// One logged call: "IEncoder::Load" with its arguments as texts and what it returned.
struct LoggedCall {
    std::string method;
    std::vector<std::string> args;
    HRESULT result = S_OK;
};

struct ScriptedReply {
    HRESULT hr = S_OK;
    std::optional<std::string> description; // error information to leave, when set
};

// An encoder, as FakeEnc_Settings reads it.
class SettingsSource {
public:
    virtual std::string settingsText() = 0;

protected:
    ~SettingsSource() = default;
};

// What the tests script and what the fake has seen. One per process; guarded by its mutex.
struct State {
    std::recursive_mutex mutex;

    // Replies: on every call of a method, or on its n-th call counted from the scripting.
    std::map<std::string, ScriptedReply> always;
    std::map<std::string, std::map<uint64_t, ScriptedReply>> nth;
    std::map<std::string, uint64_t> callCounts;

    std::vector<LoggedCall> log;
    std::map<std::string, long> live; // by object kind
    long liveTotal = 0;

    // Out-values.
    std::deque<int32_t> runStates; // each get_RunState takes the next; then the tracked state
    std::map<std::string, std::string> details; // by profile name
    std::string defaultDetails;
    int64_t elapsedMs = 0;
    int64_t videoBytes = 0;
    int64_t audioBytes = 0;
    std::vector<std::string> profiles;
    std::vector<std::string> videoDevices;
    std::vector<std::string> audioDevices;
    std::optional<int32_t> currentPage; // the host's answer; none: 0 with pages, -1 without
    std::string errorState;
    // The newest encoder alive (FakeEnc_Settings); it clears this when it goes.
    SettingsSource* newestEncoder = nullptr;
    // View cookies handed out by preview collections and not yet removed.
    std::map<int32_t, bool> cookies;
    int32_t nextCookie = 1;

    State() { reset(); }
    void reset();
};

State& state();

// Canonical method names (those of encoder_interfaces.h, "Interface::function"), plus
// "create:<Class>" and "query:<Interface>". The control refuses any other name.
bool isKnownMethod(const std::string& method);
// The name of an interface the fake knows ("IEncoder"), or null.
const char* interfaceName(const GUID& iid);

// The start of every call: logs it, counts it, and gives the scripted reply. A scripted
// failure sets (or, without description, clears) the thread's error information; the method
// returns it at once. Call finish() with the method's own result.
class Call {
public:
    Call(const char* method, std::vector<std::string> args);
    // A scripted failure to return at once, or nullopt to go on.
    std::optional<HRESULT> scriptedFailure() const { return m_failure; }
    // Records the result; a scripted success code replaces the method's S_OK.
    HRESULT finish(HRESULT hr);
    // Fails with error information of the fake's own.
    HRESULT fail(HRESULT hr, const std::string& description);

private:
    size_t m_index;
    std::optional<HRESULT> m_failure;
    std::optional<HRESULT> m_success;
};

// Argument texts.
std::string text(BSTR s); // UTF-8, "<null>" for a null BSTR
std::string number(int64_t v);
std::string object(const void* p); // "object" or "null"

// Hands a UTF-8 text out as a new BSTR.
inline HRESULT giveText(const std::string& utf8, BSTR* out) {
    *out = Bstr::fromUtf8(utf8).detach();
    return S_OK;
}

// Opens a method's Call named `call` and returns a scripted failure at once.
#define FAKE_CALL(method, ...)                                                                     \
    Call call(method, {__VA_ARGS__});                                                              \
    if (auto failure = call.scriptedFailure())                                                     \
    return *failure

// Marks QueryInterface calls the fake makes on its own objects, which are neither logged nor
// scripted.
class InternalQuery {
public:
    InternalQuery();
    ~InternalQuery();
    InternalQuery(const InternalQuery&) = delete;
    InternalQuery& operator=(const InternalQuery&) = delete;
};
bool insideInternalQuery();

// The base of every fake object: counts it as alive under its kind and logs and scripts the
// program's queries ("query:IVideoSource").
template <class... Interfaces> class FakeObject : public ComObject<Interfaces...> {
public:
    explicit FakeObject(const char* kind) : m_kind(kind) {
        State& s = state();
        std::lock_guard lock(s.mutex);
        ++s.live[m_kind];
        ++s.liveTotal;
    }
    HRESULT QueryInterface(const GUID& iid, void** object) override {
        const char* name = interfaceName(iid);
        if (!name || insideInternalQuery() || iid == IUnknown::kIid || iid == IDispatch::kIid)
            return ComObject<Interfaces...>::QueryInterface(iid, object);
        Call call((std::string("query:") + name).c_str(), {});
        if (auto failure = call.scriptedFailure()) {
            if (object)
                *object = nullptr;
            return *failure;
        }
        return call.finish(ComObject<Interfaces...>::QueryInterface(iid, object));
    }

protected:
    ~FakeObject() override {
        State& s = state();
        std::lock_guard lock(s.mutex);
        --s.live[m_kind];
        --s.liveTotal;
    }

private:
    const char* m_kind;
};

// Hands out an interface of a fake object with one reference for the caller.
template <class I, class T> HRESULT handOut(const ComPtr<T>& object, I** out) {
    I* p = object.get();
    p->AddRef();
    *out = p;
    return S_OK;
}

// The class factories of the component, by class identifier; null for a class it lacks.
IClassFactory* createFactory(const GUID& clsid);

// The objects each class creates (with one reference), by the files that implement them.
IUnknown* newEncoder();
IUnknown* newView();
IUnknown* newProfileDetailsService();
IUnknown* newPropertyPageHost();
IUnknown* newPage(const char* kind);
IUnknown* newSystemDeviceEnum();

// The widget of a window handle, or null when it names no live window.
QWidget* widgetOf(HWND handle);

} // namespace kerris::fakes::encoder
