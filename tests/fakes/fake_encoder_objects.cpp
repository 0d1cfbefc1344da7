// The fake encoder and what it hands out: source groups and sources, the preview collection,
// profiles, broadcast, file and statistics objects; and the view and profile details service.
#include "tests/fakes/fake_encoder_state.h"

#include "platform/fs/safe_file.h"

#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kerris::fakes::encoder {

namespace {

const char* typeName(int32_t type) {
    return type == kSourceTypeVideo ? "video" : "audio";
}

bool validType(int32_t type) {
    return type == kSourceTypeVideo || type == kSourceTypeAudio;
}

// ---- Profiles ---------------------------------------------------------------------------------

class FakeProfile final : public FakeObject<IProfile> {
public:
    explicit FakeProfile(std::string name) : FakeObject("Profile"), m_name(std::move(name)) {}
    const std::string& name() const { return m_name; }

    HRESULT get_Name(BSTR* name) override {
        FAKE_CALL("IProfile::get_Name", m_name);
        if (!name)
            return call.finish(E_POINTER);
        return call.finish(giveText(m_name, name));
    }
    HRESULT get_Description(BSTR* description) override {
        FAKE_CALL("IProfile::get_Description", m_name);
        if (!description)
            return call.finish(E_POINTER);
        return call.finish(giveText("The " + m_name + " profile", description));
    }

private:
    std::string m_name;
};

class FakeProfileCollection final : public FakeObject<IProfileCollection> {
public:
    FakeProfileCollection() : FakeObject("ProfileCollection") {}

    HRESULT get_Count(int32_t* count) override {
        FAKE_CALL("IProfileCollection::get_Count");
        if (!count)
            return call.finish(E_POINTER);
        std::lock_guard lock(state().mutex);
        *count = int32_t(state().profiles.size());
        return call.finish(S_OK);
    }
    HRESULT Item(int32_t index, IProfile** profile) override {
        FAKE_CALL("IProfileCollection::Item", number(index));
        if (!profile)
            return call.finish(E_POINTER);
        std::string name;
        {
            std::lock_guard lock(state().mutex);
            const auto& names = state().profiles;
            if (index < 0 || size_t(index) >= names.size())
                return call.fail(E_INVALIDARG, "No profile has the index " + number(index));
            name = names[size_t(index)];
        }
        *profile = new FakeProfile(name);
        return call.finish(S_OK);
    }
    HRESULT Refresh() override {
        FAKE_CALL("IProfileCollection::Refresh");
        return call.finish(S_OK);
    }
};

// ---- Preview collection -----------------------------------------------------------------------

bool cookieIssued(int32_t cookie) {
    std::lock_guard lock(state().mutex);
    return state().cookies.count(cookie) > 0;
}

class FakePreviewCollection final : public FakeObject<IPreviewCollection> {
public:
    FakePreviewCollection() : FakeObject("PreviewCollection") {}
    ~FakePreviewCollection() override { forgetAll(); }

    HRESULT get_Count(int32_t* count) override {
        FAKE_CALL("IPreviewCollection::get_Count");
        if (!count)
            return call.finish(E_POINTER);
        *count = int32_t(m_views.size());
        return call.finish(S_OK);
    }
    HRESULT Add(IUnknown* view, int32_t* cookie) override {
        FAKE_CALL("IPreviewCollection::Add", object(view));
        if (!view || !cookie)
            return call.finish(E_POINTER);
        int32_t issued;
        {
            std::lock_guard lock(state().mutex);
            issued = state().nextCookie++;
            state().cookies[issued] = true;
        }
        m_views.emplace(issued, ComPtr<IUnknown>::share(view));
        *cookie = issued;
        return call.finish(S_OK);
    }
    HRESULT Remove(int32_t cookie) override {
        FAKE_CALL("IPreviewCollection::Remove", number(cookie));
        auto it = m_views.find(cookie);
        if (it == m_views.end())
            return call.fail(E_INVALIDARG, "No view has the cookie " + number(cookie));
        forget(cookie);
        m_views.erase(it);
        return call.finish(S_OK);
    }
    HRESULT RemoveAll() override {
        FAKE_CALL("IPreviewCollection::RemoveAll");
        forgetAll();
        return call.finish(S_OK);
    }

private:
    static void forget(int32_t cookie) {
        std::lock_guard lock(state().mutex);
        state().cookies.erase(cookie);
    }
    void forgetAll() {
        for (const auto& entry : m_views)
            forget(entry.first);
        m_views.clear(); // releases the views
    }
    std::map<int32_t, ComPtr<IUnknown>> m_views;
};

// ---- Sources ----------------------------------------------------------------------------------

// ISource of either type. Its calls log the source's type ("video" / "audio") first.
template <class I> class FakeSource : public FakeObject<I> {
public:
    FakeSource(const char* kind, int32_t type) : FakeObject<I>(kind), m_type(type) {}
    int32_t type() const { return m_type; }
    const std::string& input() const { return m_input; }
    void setInput(std::string input) { m_input = std::move(input); }

    HRESULT get_Type(int32_t* type) override {
        FAKE_CALL("ISource::get_Type", typeName(m_type));
        if (!type)
            return call.finish(E_POINTER);
        *type = m_type;
        return call.finish(S_OK);
    }
    HRESULT SetInput(BSTR input, BSTR scheme, BSTR initialisation) override {
        FAKE_CALL("ISource::SetInput", typeName(m_type), text(input), text(scheme),
                  text(initialisation));
        if (!input)
            return call.fail(E_INVALIDARG, "The source needs an input");
        m_input = text(input);
        m_scheme = text(scheme);
        m_initialisation = text(initialisation);
        return call.finish(S_OK);
    }
    HRESULT GetInput(BSTR* input, BSTR* scheme, BSTR* initialisation) override {
        FAKE_CALL("ISource::GetInput", typeName(m_type));
        if (!input || !scheme || !initialisation)
            return call.finish(E_POINTER);
        giveText(m_input, input);
        giveText(m_scheme == "<null>" ? "" : m_scheme, scheme);
        giveText(m_initialisation == "<null>" ? "" : m_initialisation, initialisation);
        return call.finish(S_OK);
    }

private:
    int32_t m_type;
    std::string m_input;
    std::string m_scheme;
    std::string m_initialisation;
};

class FakeAudioSource final : public FakeSource<ISource> {
public:
    FakeAudioSource() : FakeSource("AudioSource", kSourceTypeAudio) {}
};

class FakeVideoSource final : public FakeSource<IVideoSource> {
public:
    FakeVideoSource()
        : FakeSource("VideoSource", kSourceTypeVideo),
          m_previews(ComPtr<FakePreviewCollection>::adopt(new FakePreviewCollection)) {}

    HRESULT get_PreviewCollection(IPreviewCollection** collection) override {
        FAKE_CALL("IVideoSource::get_PreviewCollection");
        if (!collection)
            return call.finish(E_POINTER);
        return call.finish(handOut(m_previews, collection));
    }

private:
    ComPtr<FakePreviewCollection> m_previews;
};

// ---- Source groups ----------------------------------------------------------------------------

class FakeSourceGroup final : public FakeObject<ISourceGroup> {
public:
    explicit FakeSourceGroup(std::string name)
        : FakeObject("SourceGroup"), m_name(std::move(name)) {
        std::lock_guard lock(state().mutex);
        if (!state().profiles.empty())
            m_profile = state().profiles.front();
    }
    const std::string& name() const { return m_name; }
    const std::string& profile() const { return m_profile; }
    void setProfile(std::string profile) { m_profile = std::move(profile); }
    std::vector<ComPtr<FakeVideoSource>>& video() { return m_video; }
    std::vector<ComPtr<FakeAudioSource>>& audio() { return m_audio; }

    HRESULT get_Name(BSTR* name) override {
        FAKE_CALL("ISourceGroup::get_Name");
        if (!name)
            return call.finish(E_POINTER);
        return call.finish(giveText(m_name, name));
    }
    HRESULT get_SourceCount(int32_t type, int32_t* count) override {
        FAKE_CALL("ISourceGroup::get_SourceCount", number(type));
        if (!count)
            return call.finish(E_POINTER);
        if (!validType(type))
            return call.fail(E_INVALIDARG, "There is no source type " + number(type));
        *count = int32_t(type == kSourceTypeVideo ? m_video.size() : m_audio.size());
        return call.finish(S_OK);
    }
    HRESULT get_Source(int32_t type, int32_t index, ISource** source) override {
        FAKE_CALL("ISourceGroup::get_Source", number(type), number(index));
        if (!source)
            return call.finish(E_POINTER);
        if (!validType(type))
            return call.fail(E_INVALIDARG, "There is no source type " + number(type));
        const size_t count = type == kSourceTypeVideo ? m_video.size() : m_audio.size();
        if (index < 0 || size_t(index) >= count)
            return call.fail(E_INVALIDARG, "The source group \"" + m_name + "\" has no " +
                                               typeName(type) + " source " + number(index));
        if (type == kSourceTypeVideo)
            return call.finish(handOut<ISource>(m_video[size_t(index)], source));
        return call.finish(handOut<ISource>(m_audio[size_t(index)], source));
    }
    HRESULT AddSource(int32_t type, ISource** source) override {
        FAKE_CALL("ISourceGroup::AddSource", number(type));
        if (!source)
            return call.finish(E_POINTER);
        if (!validType(type))
            return call.fail(E_INVALIDARG, "There is no source type " + number(type));
        if (type == kSourceTypeVideo) {
            m_video.push_back(ComPtr<FakeVideoSource>::adopt(new FakeVideoSource));
            return call.finish(handOut<ISource>(m_video.back(), source));
        }
        m_audio.push_back(ComPtr<FakeAudioSource>::adopt(new FakeAudioSource));
        return call.finish(handOut<ISource>(m_audio.back(), source));
    }
    HRESULT RemoveSource(int32_t type, int32_t index) override {
        FAKE_CALL("ISourceGroup::RemoveSource", number(type), number(index));
        if (!validType(type))
            return call.fail(E_INVALIDARG, "There is no source type " + number(type));
        const size_t count = type == kSourceTypeVideo ? m_video.size() : m_audio.size();
        if (index < 0 || size_t(index) >= count)
            return call.fail(E_INVALIDARG, "No such source");
        if (type == kSourceTypeVideo)
            m_video.erase(m_video.begin() + index);
        else
            m_audio.erase(m_audio.begin() + index);
        return call.finish(S_OK);
    }
    HRESULT get_Profile(IProfile** profile) override {
        FAKE_CALL("ISourceGroup::get_Profile");
        if (!profile)
            return call.finish(E_POINTER);
        if (m_profile.empty())
            return call.fail(E_FAIL, "The source group \"" + m_name + "\" has no profile");
        *profile = new FakeProfile(m_profile);
        return call.finish(S_OK);
    }
    HRESULT put_Profile(VARIANT profile) override {
        FAKE_CALL("ISourceGroup::put_Profile", "vt " + number(profile.vt));
        if (profile.vt != VT_DISPATCH || !profile.pdispVal)
            return call.fail(E_INVALIDARG, "The profile must be given as an object");
        ComPtr<IProfile> chosen;
        {
            InternalQuery internal;
            profile.pdispVal->QueryInterface(IProfile::kIid, chosen.putVoid());
        }
        if (!chosen)
            return call.fail(E_INVALIDARG, "The object given is not a profile");
        Bstr name;
        if (failed(chosen->get_Name(name.put())))
            return call.fail(E_INVALIDARG, "The profile has no name");
        m_profile = name.utf8();
        return call.finish(S_OK);
    }

private:
    std::string m_name;
    std::string m_profile;
    std::vector<ComPtr<FakeVideoSource>> m_video;
    std::vector<ComPtr<FakeAudioSource>> m_audio;
};

class FakeSourceGroupCollection final : public FakeObject<ISourceGroupCollection> {
public:
    FakeSourceGroupCollection() : FakeObject("SourceGroupCollection") {}
    std::vector<ComPtr<FakeSourceGroup>>& groups() { return m_groups; }
    FakeSourceGroup* active() const {
        return m_active >= 0 && size_t(m_active) < m_groups.size()
                   ? m_groups[size_t(m_active)].get()
                   : nullptr;
    }
    void setActive(int index) { m_active = index; }
    int activeIndex() const { return m_active; }

    HRESULT get_Count(int32_t* count) override {
        FAKE_CALL("ISourceGroupCollection::get_Count");
        if (!count)
            return call.finish(E_POINTER);
        *count = int32_t(m_groups.size());
        return call.finish(S_OK);
    }
    HRESULT Item(int32_t index, ISourceGroup** group) override {
        FAKE_CALL("ISourceGroupCollection::Item", number(index));
        if (!group)
            return call.finish(E_POINTER);
        if (index < 0 || size_t(index) >= m_groups.size())
            return call.fail(E_INVALIDARG, "No source group has the index " + number(index));
        return call.finish(handOut(m_groups[size_t(index)], group));
    }
    HRESULT Remove(int32_t index) override {
        FAKE_CALL("ISourceGroupCollection::Remove", number(index));
        if (index < 0 || size_t(index) >= m_groups.size())
            return call.fail(E_INVALIDARG, "No source group has the index " + number(index));
        m_groups.erase(m_groups.begin() + index);
        if (m_active == index)
            m_active = -1;
        else if (m_active > index)
            --m_active;
        return call.finish(S_OK);
    }
    HRESULT Add(BSTR name, ISourceGroup** group) override {
        FAKE_CALL("ISourceGroupCollection::Add", text(name));
        if (!group)
            return call.finish(E_POINTER);
        if (!name || SysStringLen(name) == 0)
            return call.fail(E_INVALIDARG, "A source group needs a name");
        m_groups.push_back(ComPtr<FakeSourceGroup>::adopt(new FakeSourceGroup(text(name))));
        m_active = int(m_groups.size()) - 1;
        return call.finish(handOut(m_groups.back(), group));
    }
    HRESULT get_Active(ISourceGroup** group) override {
        FAKE_CALL("ISourceGroupCollection::get_Active");
        if (!group)
            return call.finish(E_POINTER);
        if (!active())
            return call.fail(E_FAIL, "The encoder has no source group in use");
        return call.finish(handOut(m_groups[size_t(m_active)], group));
    }
    HRESULT put_Active(ISourceGroup* group) override {
        FAKE_CALL("ISourceGroupCollection::put_Active", object(group));
        for (size_t i = 0; i < m_groups.size(); ++i) {
            if (static_cast<ISourceGroup*>(m_groups[i].get()) == group) {
                m_active = int(i);
                return call.finish(S_OK);
            }
        }
        return call.fail(E_INVALIDARG, "The source group is not one of this encoder's");
    }

private:
    std::vector<ComPtr<FakeSourceGroup>> m_groups;
    int m_active = -1;
};

// ---- Broadcast, file, statistics --------------------------------------------------------------

class FakeBroadcast final : public FakeObject<IBroadcast> {
public:
    FakeBroadcast() : FakeObject("Broadcast") {}
    const std::map<int32_t, int32_t>& ports() const { return m_ports; }

    HRESULT get_PortNumber(int32_t protocol, int32_t* port) override {
        FAKE_CALL("IBroadcast::get_PortNumber", number(protocol));
        if (!port)
            return call.finish(E_POINTER);
        auto it = m_ports.find(protocol);
        *port = it == m_ports.end() ? 0 : it->second;
        return call.finish(S_OK);
    }
    HRESULT put_PortNumber(int32_t protocol, int32_t port) override {
        FAKE_CALL("IBroadcast::put_PortNumber", number(protocol), number(port));
        if (port < 0 || port > 65535)
            return call.fail(E_INVALIDARG, "The port number " + number(port) + " is not valid");
        m_ports[protocol] = port;
        return call.finish(S_OK);
    }

private:
    std::map<int32_t, int32_t> m_ports;
};

class FakeFile final : public FakeObject<IFile> {
public:
    FakeFile() : FakeObject("File") {}
    const std::string& path() const { return m_path; }

    HRESULT get_LocalFileName(BSTR* path) override {
        FAKE_CALL("IFile::get_LocalFileName");
        if (!path)
            return call.finish(E_POINTER);
        return call.finish(giveText(m_path, path));
    }
    HRESULT put_LocalFileName(BSTR path) override {
        FAKE_CALL("IFile::put_LocalFileName", text(path));
        m_path = path ? text(path) : std::string();
        return call.finish(S_OK);
    }

private:
    std::string m_path;
};

class FakeStreamStatistics final : public FakeObject<IStreamStatistics> {
public:
    explicit FakeStreamStatistics(int32_t type) : FakeObject("StreamStatistics"), m_type(type) {}

    HRESULT get_SampleCount(int64_t* samples) override {
        FAKE_CALL("IStreamStatistics::get_SampleCount", typeName(m_type));
        if (!samples)
            return call.finish(E_POINTER);
        *samples = 0;
        return call.finish(S_OK);
    }
    HRESULT get_ByteCount(int64_t* bytes) override {
        FAKE_CALL("IStreamStatistics::get_ByteCount", typeName(m_type));
        if (!bytes)
            return call.finish(E_POINTER);
        std::lock_guard lock(state().mutex);
        *bytes = m_type == kSourceTypeVideo ? state().videoBytes : state().audioBytes;
        return call.finish(S_OK);
    }
    HRESULT get_DroppedCount(int64_t* dropped) override {
        FAKE_CALL("IStreamStatistics::get_DroppedCount", typeName(m_type));
        if (!dropped)
            return call.finish(E_POINTER);
        *dropped = 0;
        return call.finish(S_OK);
    }

private:
    int32_t m_type;
};

class FakeStatistics final : public FakeObject<IStatistics> {
public:
    FakeStatistics() : FakeObject("Statistics") {}

    HRESULT get_EncodingTime(int64_t* milliseconds) override {
        FAKE_CALL("IStatistics::get_EncodingTime");
        if (!milliseconds)
            return call.finish(E_POINTER);
        std::lock_guard lock(state().mutex);
        *milliseconds = state().elapsedMs;
        return call.finish(S_OK);
    }
    HRESULT get_StreamOutputStats(int32_t type, int32_t reserved1, int32_t reserved2,
                                  IUnknown** statistics) override {
        FAKE_CALL("IStatistics::get_StreamOutputStats", number(type), number(reserved1),
                  number(reserved2));
        if (!statistics)
            return call.finish(E_POINTER);
        if (!validType(type))
            return call.fail(E_INVALIDARG, "There is no stream type " + number(type));
        *statistics = static_cast<IStreamStatistics*>(new FakeStreamStatistics(type));
        return call.finish(S_OK);
    }
};

// ---- The encoder ------------------------------------------------------------------------------

constexpr const char* kSettingsHeader = "KerrisTestEncoderSettings 1";

// The device list of a source's type holds the device its "device://" input names.
std::optional<std::string> missingDevice(int32_t type, const std::string& input) {
    const std::string scheme = "device://";
    const std::string kind = typeName(type);
    if (input.empty())
        return "The " + kind + " source has no input";
    if (input.rfind(scheme, 0) != 0)
        return "The " + kind + " source input \"" + input + "\" names no device";
    const std::string name = input.substr(scheme.size());
    std::lock_guard lock(state().mutex);
    const auto& devices = type == kSourceTypeVideo ? state().videoDevices : state().audioDevices;
    for (const auto& device : devices)
        if (device == name)
            return std::nullopt;
    return "No " + kind + " device named \"" + name + "\" is connected";
}

class FakeEncoder final : public FakeObject<IEncoder>, public SettingsSource {
public:
    FakeEncoder()
        : FakeObject("Encoder"),
          m_groups(ComPtr<FakeSourceGroupCollection>::adopt(new FakeSourceGroupCollection)),
          m_broadcast(ComPtr<FakeBroadcast>::adopt(new FakeBroadcast)),
          m_file(ComPtr<FakeFile>::adopt(new FakeFile)),
          m_statistics(ComPtr<FakeStatistics>::adopt(new FakeStatistics)),
          m_profiles(ComPtr<FakeProfileCollection>::adopt(new FakeProfileCollection)) {
        std::lock_guard lock(state().mutex);
        state().newestEncoder = this;
    }
    ~FakeEncoder() override {
        std::lock_guard lock(state().mutex);
        if (state().newestEncoder == this)
            state().newestEncoder = nullptr;
    }

    std::string settingsText() override {
        std::ostringstream out;
        out << kSettingsHeader << "\n";
        for (auto& group : m_groups->groups()) {
            out << "group " << group->name() << "\n";
            for (auto& v : group->video())
                out << "video " << v->input() << "\n";
            for (auto& a : group->audio())
                out << "audio " << a->input() << "\n";
            out << "profile " << group->profile() << "\n";
        }
        out << "active " << m_groups->activeIndex() << "\n";
        out << "file " << m_file->path() << "\n";
        for (const auto& [protocol, port] : m_broadcast->ports())
            out << "port " << protocol << " " << port << "\n";
        out << "running " << (m_running ? 1 : 0) << "\n";
        return out.str();
    }

    HRESULT Load(BSTR path) override {
        FAKE_CALL("IEncoder::Load", text(path));
        const std::string file = text(path);
        std::ifstream in(file);
        if (!path || !in)
            return call.fail(E_FAIL, "The settings file \"" + file +
                                         "\" cannot be read: " + std::strerror(ENOENT));
        std::string line;
        if (!std::getline(in, line) || line != kSettingsHeader)
            return call.fail(E_FAIL, "The settings file \"" + file +
                                         "\" is damaged: it is not an encoder settings file");
        std::vector<ComPtr<FakeSourceGroup>> groups;
        int active = -1;
        while (std::getline(in, line)) {
            const size_t space = line.find(' ');
            const std::string word = line.substr(0, space);
            const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
            if (word == "group") {
                groups.push_back(ComPtr<FakeSourceGroup>::adopt(new FakeSourceGroup(rest)));
            } else if (word == "video" || word == "audio" || word == "profile") {
                if (groups.empty())
                    return call.fail(E_FAIL, "The settings file \"" + file +
                                                 "\" is damaged: a source outside a group");
                auto& group = groups.back();
                if (word == "video") {
                    group->video().push_back(ComPtr<FakeVideoSource>::adopt(new FakeVideoSource));
                    group->video().back()->setInput(rest);
                } else if (word == "audio") {
                    group->audio().push_back(ComPtr<FakeAudioSource>::adopt(new FakeAudioSource));
                    group->audio().back()->setInput(rest);
                } else {
                    group->setProfile(rest);
                }
            } else if (word == "active") {
                active = std::atoi(rest.c_str());
            } else if (word != "file" && word != "port" && word != "running" && !word.empty()) {
                return call.fail(E_FAIL, "The settings file \"" + file +
                                             "\" is damaged: unknown line \"" + line + "\"");
            }
        }
        m_groups->groups() = std::move(groups);
        m_groups->setActive(active);
        return call.finish(S_OK);
    }
    HRESULT Save(BSTR path) override {
        FAKE_CALL("IEncoder::Save", text(path));
        const std::string file = text(path);
        if (!path || file.empty())
            return call.fail(E_INVALIDARG, "The settings need a file name");
        std::string reason;
        if (kerris::fs::writeFile(file, settingsText(), kerris::fs::Commit::Replace, reason) !=
            kerris::fs::CommitResult::Committed)
            return call.fail(E_FAIL, "The file \"" + file + "\" cannot be written: " + reason);
        return call.finish(S_OK);
    }
    HRESULT Start() override {
        FAKE_CALL("IEncoder::Start", m_file->path());
        FakeSourceGroup* group = m_groups->active();
        if (!group)
            return call.fail(E_FAIL, "The encoder has no source group to encode from");
        for (auto& v : group->video())
            if (auto problem = missingDevice(kSourceTypeVideo, v->input()))
                return call.fail(E_FAIL, *problem);
        for (auto& a : group->audio())
            if (auto problem = missingDevice(kSourceTypeAudio, a->input()))
                return call.fail(E_FAIL, *problem);
        if (m_running)
            return call.finish(S_OK);
        if (!m_file->path().empty()) {
            // The clip the program copies afterwards; rewritten by every recording.
            std::ofstream out(m_file->path(), std::ios::binary | std::ios::trunc);
            out << "KERRIS-TEST-CLIP\n";
            out.close();
            if (!out)
                return call.fail(E_FAIL, "The file \"" + m_file->path() +
                                             "\" cannot be written: " + std::strerror(errno));
        }
        m_running = true;
        return call.finish(S_OK);
    }
    HRESULT Stop() override {
        FAKE_CALL("IEncoder::Stop");
        m_running = false;
        return call.finish(S_OK);
    }
    HRESULT PrepareToEncode(int32_t prepare) override {
        FAKE_CALL("IEncoder::PrepareToEncode", number(prepare));
        if (prepare < -1 || prepare > 1)
            return call.fail(E_INVALIDARG, "PrepareToEncode takes 1, 0 or -1");
        return call.finish(S_OK);
    }
    HRESULT get_SourceGroupCollection(ISourceGroupCollection** groups) override {
        FAKE_CALL("IEncoder::get_SourceGroupCollection");
        if (!groups)
            return call.finish(E_POINTER);
        return call.finish(handOut(m_groups, groups));
    }
    HRESULT get_Broadcast(IBroadcast** broadcast) override {
        FAKE_CALL("IEncoder::get_Broadcast");
        if (!broadcast)
            return call.finish(E_POINTER);
        return call.finish(handOut(m_broadcast, broadcast));
    }
    HRESULT get_File(IFile** file) override {
        FAKE_CALL("IEncoder::get_File");
        if (!file)
            return call.finish(E_POINTER);
        return call.finish(handOut(m_file, file));
    }
    HRESULT get_Statistics(IStatistics** statistics) override {
        FAKE_CALL("IEncoder::get_Statistics");
        if (!statistics)
            return call.finish(E_POINTER);
        return call.finish(handOut(m_statistics, statistics));
    }
    HRESULT get_ProfileCollection(IProfileCollection** profiles) override {
        FAKE_CALL("IEncoder::get_ProfileCollection");
        if (!profiles)
            return call.finish(E_POINTER);
        return call.finish(handOut(m_profiles, profiles));
    }
    HRESULT get_RunState(int32_t* runState) override {
        FAKE_CALL("IEncoder::get_RunState");
        if (!runState)
            return call.finish(E_POINTER);
        std::lock_guard lock(state().mutex);
        auto& scripted = state().runStates;
        if (!scripted.empty()) {
            *runState = scripted.front();
            scripted.pop_front();
        } else {
            *runState = m_running ? kRunStateRunning : kRunStateStopped;
        }
        return call.finish(S_OK);
    }
    HRESULT get_ErrorState(BSTR* description) override {
        FAKE_CALL("IEncoder::get_ErrorState");
        if (!description)
            return call.finish(E_POINTER);
        std::lock_guard lock(state().mutex);
        return call.finish(giveText(state().errorState, description));
    }

private:
    ComPtr<FakeSourceGroupCollection> m_groups;
    ComPtr<FakeBroadcast> m_broadcast;
    ComPtr<FakeFile> m_file;
    ComPtr<FakeStatistics> m_statistics;
    ComPtr<FakeProfileCollection> m_profiles;
    bool m_running = false;
};

// ---- View and profile details -----------------------------------------------------------------

class FakeView final : public FakeObject<IView> {
public:
    FakeView() : FakeObject("View") {}

    HRESULT SetViewProperties(int32_t cookie, uint32_t size, void* data) override {
        HWND window = 0;
        if (size == sizeof(HWND) && data)
            std::memcpy(&window, data, sizeof window);
        FAKE_CALL("IView::SetViewProperties", number(cookie), number(size), number(window));
        if (!cookieIssued(cookie))
            return call.fail(E_INVALIDARG, "No view has the cookie " + number(cookie));
        if (size != sizeof(HWND) || !data)
            return call.fail(E_INVALIDARG, "The view properties must be a window handle");
        if (!widgetOf(window))
            return call.fail(E_INVALIDARG,
                             "The window handle " + number(window) + " names no window");
        m_window = window;
        return call.finish(S_OK);
    }
    HRESULT StartView(int32_t cookie) override {
        FAKE_CALL("IView::StartView", number(cookie));
        if (!cookieIssued(cookie))
            return call.fail(E_INVALIDARG, "No view has the cookie " + number(cookie));
        return call.finish(S_OK);
    }
    HRESULT StopView(int32_t cookie) override {
        FAKE_CALL("IView::StopView", number(cookie));
        if (!cookieIssued(cookie))
            return call.fail(E_INVALIDARG, "No view has the cookie " + number(cookie));
        return call.finish(S_OK);
    }

private:
    HWND m_window = 0;
};

class FakeProfileDetailsService final : public FakeObject<IProfileDetailsService> {
public:
    FakeProfileDetailsService() : FakeObject("ProfileDetailsService") {}

    HRESULT GetDetails(BSTR profileName, int32_t reserved, BSTR* details) override {
        FAKE_CALL("IProfileDetailsService::GetDetails", text(profileName), number(reserved));
        if (!details)
            return call.finish(E_POINTER);
        const std::string name = text(profileName);
        std::string result;
        {
            std::lock_guard lock(state().mutex);
            const auto& names = state().profiles;
            if (std::find(names.begin(), names.end(), name) == names.end())
                return call.fail(E_INVALIDARG, "No profile is named \"" + name + "\"");
            auto it = state().details.find(name);
            result = it == state().details.end() ? state().defaultDetails : it->second;
        }
        return call.finish(giveText(result, details));
    }
};

} // namespace

IUnknown* newEncoder() {
    return static_cast<IEncoder*>(new FakeEncoder);
}
IUnknown* newView() {
    return new FakeView;
}
IUnknown* newProfileDetailsService() {
    return new FakeProfileDetailsService;
}

QWidget* widgetOf(HWND handle) {
    return static_cast<QWidget*>(KerrisWindowFromHandle(handle));
}

} // namespace kerris::fakes::encoder
