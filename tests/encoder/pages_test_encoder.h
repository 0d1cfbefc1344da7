// A small encoder for the page tests, implementing just the interfaces the pages use. Every
// call that changes something is logged ("Groups.Add(Kerris Camera)", "Source2.SetInput(
// device://X,,)", "Group.put_Profile(9,Murvane)", ...), and any logged call can be made to
// fail with a description, as a real encoder does.
#pragma once

#include "platform/com/com_object.h"
#include "platform/encoder/encoder_interfaces.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pagetest {

using namespace kerris::encoder;
using kerris::com::Bstr;
using kerris::com::ComObject;
using kerris::com::ComPtr;
namespace com = kerris::com;

struct Script {
    std::vector<std::string> log;
    // Call name (the log entry up to "(") -> failure with that description.
    std::map<std::string, std::pair<HRESULT, std::string>> failures;

    HRESULT call(const std::string& entry) {
        log.push_back(entry);
        const auto it = failures.find(entry.substr(0, entry.find('(')));
        if (it == failures.end())
            return com::S_OK;
        return com::fail(it->second.first, IEncoder::kIid, it->second.second);
    }
    bool logged(const std::string& entry) const {
        for (const auto& e : log)
            if (e == entry)
                return true;
        return false;
    }
};
using ScriptPtr = std::shared_ptr<Script>;

inline std::string utf8(BSTR s) {
    return s ? com::utf8FromUtf16(std::u16string_view(s, SysStringLen(s))) : std::string();
}

inline HRESULT give(const std::string& text, BSTR* out) {
    if (!out)
        return com::E_POINTER;
    *out = Bstr::fromUtf8(text).detach();
    return com::S_OK;
}
template <class I, class T> HRESULT give(const ComPtr<T>& object, I** out) {
    if (!out)
        return com::E_POINTER;
    *out = ComPtr<T>(object).detach();
    return com::S_OK;
}

// Count and item of a list, as the collections answer them.
template <class T> HRESULT countOf(const std::vector<T>& list, int32_t* count) {
    if (!count)
        return com::E_POINTER;
    *count = int32_t(list.size());
    return com::S_OK;
}
template <class I, class T>
HRESULT itemOf(const std::vector<ComPtr<T>>& list, int32_t index, I** out) {
    if (index < 0 || size_t(index) >= list.size())
        return com::fail(com::E_INVALIDARG, I::kIid, "No such item");
    return give(list[size_t(index)], out);
}

class TestProfile final : public ComObject<IProfile> {
public:
    TestProfile(std::string name, std::string description)
        : m_name(std::move(name)), m_description(std::move(description)) {}
    HRESULT get_Name(BSTR* name) override { return give(m_name, name); }
    HRESULT get_Description(BSTR* d) override { return give(m_description, d); }
    const std::string& name() const { return m_name; }

private:
    std::string m_name, m_description;
};

class TestProfiles final : public ComObject<IProfileCollection> {
public:
    explicit TestProfiles(std::vector<ComPtr<TestProfile>> profiles)
        : m_profiles(std::move(profiles)) {}
    HRESULT get_Count(int32_t* count) override { return countOf(m_profiles, count); }
    HRESULT Item(int32_t index, IProfile** profile) override {
        return itemOf(m_profiles, index, profile);
    }
    HRESULT Refresh() override { return com::S_OK; }

private:
    std::vector<ComPtr<TestProfile>> m_profiles;
};

class TestSource final : public ComObject<IVideoSource> {
public:
    TestSource(ScriptPtr script, int32_t type, std::string input = "")
        : m_script(std::move(script)), m_type(type), m_input(std::move(input)) {}
    HRESULT get_Type(int32_t* type) override {
        *type = m_type;
        return com::S_OK;
    }
    HRESULT SetInput(BSTR input, BSTR scheme, BSTR init) override {
        const std::string text = utf8(input); // the caller keeps its BSTRs
        const std::string entry = "Source" + std::to_string(m_type) + ".SetInput(" + text + "," +
                                  utf8(scheme) + "," + utf8(init) + ")";
        const HRESULT hr = m_script->call(entry);
        if (com::succeeded(hr))
            m_input = text;
        return hr;
    }
    HRESULT GetInput(BSTR* input, BSTR* scheme, BSTR* init) override {
        if (m_script->failures.count("GetInput"))
            return m_script->call("Source.GetInput()");
        give(m_input, input);
        give("", scheme);
        give("", init);
        return com::S_OK;
    }
    HRESULT get_PreviewCollection(IPreviewCollection**) override { return com::E_NOTIMPL; }
    const std::string& input() const { return m_input; }

private:
    ScriptPtr m_script;
    int32_t m_type;
    std::string m_input;
};

class TestGroup final : public ComObject<ISourceGroup> {
public:
    TestGroup(ScriptPtr script, std::string name)
        : m_script(std::move(script)), m_name(std::move(name)) {}
    HRESULT get_Name(BSTR* name) override { return give(m_name, name); }
    HRESULT get_SourceCount(int32_t type, int32_t* count) override {
        return countOf(sources(type), count);
    }
    HRESULT get_Source(int32_t type, int32_t index, ISource** source) override {
        return itemOf(sources(type), index, source);
    }
    HRESULT AddSource(int32_t type, ISource** source) override {
        const HRESULT hr = m_script->call("Group.AddSource(" + std::to_string(type) + ")");
        if (com::failed(hr))
            return hr;
        auto added = ComPtr<TestSource>::adopt(new TestSource(m_script, type));
        sources(type).push_back(added);
        return give(added, source);
    }
    HRESULT RemoveSource(int32_t, int32_t) override { return com::E_NOTIMPL; }
    HRESULT get_Profile(IProfile** profile) override {
        if (!m_profile)
            return com::S_FALSE; // none chosen: nothing written
        return give(m_profile, profile);
    }
    HRESULT put_Profile(VARIANT value) override {
        std::string name = "?";
        ComPtr<IProfile> profile;
        if (value.vt == com::VT_DISPATCH && value.pdispVal &&
            com::succeeded(value.pdispVal->QueryInterface(IProfile::kIid, profile.putVoid()))) {
            BSTR text = nullptr;
            profile->get_Name(&text);
            name = Bstr::adopt(text).utf8();
        }
        const HRESULT hr =
            m_script->call("Group.put_Profile(" + std::to_string(value.vt) + "," + name + ")");
        if (com::succeeded(hr))
            m_profile = profile;
        return hr;
    }

    std::vector<ComPtr<TestSource>>& sources(int32_t type) {
        return type == kSourceTypeVideo ? m_video : m_audio;
    }
    void setProfile(const ComPtr<TestProfile>& profile) {
        m_profile = ComPtr<IProfile>::share(profile.get());
    }
    ComPtr<IProfile> profile() const { return m_profile; }

private:
    ScriptPtr m_script;
    std::string m_name;
    std::vector<ComPtr<TestSource>> m_video, m_audio;
    ComPtr<IProfile> m_profile;
};

class TestGroups final : public ComObject<ISourceGroupCollection> {
public:
    explicit TestGroups(ScriptPtr script) : m_script(std::move(script)) {}
    HRESULT get_Count(int32_t* count) override { return countOf(m_groups, count); }
    HRESULT Item(int32_t index, ISourceGroup** group) override {
        return itemOf(m_groups, index, group);
    }
    HRESULT Remove(int32_t) override { return com::E_NOTIMPL; }
    HRESULT Add(BSTR name, ISourceGroup** group) override {
        const std::string text = utf8(name);
        const HRESULT hr = m_script->call("Groups.Add(" + text + ")");
        if (com::failed(hr))
            return hr;
        auto added = ComPtr<TestGroup>::adopt(new TestGroup(m_script, text));
        m_groups.push_back(added);
        m_active = int(m_groups.size()) - 1;
        return give(added, group);
    }
    HRESULT get_Active(ISourceGroup** group) override {
        if (m_active < 0)
            return com::fail(com::E_FAIL, kIid, "No source group is in use");
        return give(m_groups[size_t(m_active)], group);
    }
    HRESULT put_Active(ISourceGroup*) override { return com::E_NOTIMPL; }
    TestGroup* active() const { return m_active < 0 ? nullptr : m_groups[size_t(m_active)].get(); }
    size_t size() const { return m_groups.size(); }

private:
    ScriptPtr m_script;
    std::vector<ComPtr<TestGroup>> m_groups;
    int m_active = -1;
};

class TestBroadcast final : public ComObject<IBroadcast> {
public:
    explicit TestBroadcast(ScriptPtr script) : m_script(std::move(script)) {}
    HRESULT get_PortNumber(int32_t protocol, int32_t* port) override {
        *port = protocol == 1 ? m_port : 0;
        return com::S_OK;
    }
    HRESULT put_PortNumber(int32_t protocol, int32_t port) override {
        const HRESULT hr = m_script->call("Broadcast.put_PortNumber(" + std::to_string(protocol) +
                                          "," + std::to_string(port) + ")");
        if (com::succeeded(hr) && protocol == 1)
            m_port = port;
        return hr;
    }
    int32_t m_port = 8080;

private:
    ScriptPtr m_script;
};

class TestFile final : public ComObject<IFile> {
public:
    HRESULT get_LocalFileName(BSTR* path) override { return give(m_path, path); }
    HRESULT put_LocalFileName(BSTR) override { return com::E_NOTIMPL; }
    std::string m_path;
};

class TestEncoder final : public ComObject<IEncoder> {
public:
    explicit TestEncoder(ScriptPtr script)
        : script(std::move(script)),
          groups(ComPtr<TestGroups>::adopt(new TestGroups(this->script))),
          broadcast(ComPtr<TestBroadcast>::adopt(new TestBroadcast(this->script))),
          file(ComPtr<TestFile>::adopt(new TestFile())) {}

    HRESULT Load(BSTR) override { return com::E_NOTIMPL; }
    HRESULT Save(BSTR) override { return com::E_NOTIMPL; }
    HRESULT Start() override { return com::E_NOTIMPL; }
    HRESULT Stop() override { return com::E_NOTIMPL; }
    HRESULT PrepareToEncode(int32_t) override { return com::E_NOTIMPL; }
    HRESULT get_SourceGroupCollection(ISourceGroupCollection** out) override {
        return give(groups, out);
    }
    HRESULT get_Broadcast(IBroadcast** out) override { return give(broadcast, out); }
    HRESULT get_File(IFile** out) override { return give(file, out); }
    HRESULT get_Statistics(IStatistics**) override { return com::E_NOTIMPL; }
    HRESULT get_ProfileCollection(IProfileCollection** out) override {
        return give(ComPtr<TestProfiles>::adopt(new TestProfiles(profiles)), out);
    }
    HRESULT get_RunState(int32_t* state) override {
        *state = kRunStateStopped;
        return com::S_OK;
    }
    HRESULT get_ErrorState(BSTR* d) override { return give("", d); }

    // A group made as the program makes it, without logging.
    TestGroup* addGroup(const std::string& name, const std::string& video,
                        const std::string& audio) {
        Bstr text = Bstr::fromUtf8(name);
        ComPtr<ISourceGroup> made;
        const auto failures = std::exchange(script->failures, {});
        groups->Add(text.get(), made.put());
        script->failures = failures;
        script->log.clear();
        TestGroup* group = groups->active();
        if (!video.empty())
            group->sources(kSourceTypeVideo)
                .push_back(
                    ComPtr<TestSource>::adopt(new TestSource(script, kSourceTypeVideo, video)));
        if (!audio.empty())
            group->sources(kSourceTypeAudio)
                .push_back(
                    ComPtr<TestSource>::adopt(new TestSource(script, kSourceTypeAudio, audio)));
        return group;
    }
    ComPtr<TestProfile> addProfile(const std::string& name, const std::string& description) {
        profiles.push_back(ComPtr<TestProfile>::adopt(new TestProfile(name, description)));
        return profiles.back();
    }

    ScriptPtr script;
    ComPtr<TestGroups> groups;
    ComPtr<TestBroadcast> broadcast;
    ComPtr<TestFile> file;
    std::vector<ComPtr<TestProfile>> profiles;
};

} // namespace pagetest
