// Source groups and the encoder's collection of them.
#include "platform/encoder/source_groups.h"

#include "platform/encoder/profiles.h"
#include "platform/encoder/slot_support.h"

#include <algorithm>

namespace kerris::encoder {

namespace {

bool validType(int32_t type) {
    return type == kSourceTypeAudio || type == kSourceTypeVideo;
}

std::string typeWord(int32_t type) {
    return type == kSourceTypeVideo ? "video" : "audio";
}

HRESULT badType(int32_t type) {
    return com::fail(com::E_INVALIDARG, ISourceGroup::kIid,
                     "The source type " + std::to_string(type) +
                         " is neither audio (1) nor video (2)");
}

} // namespace

// ---- SourceGroup ----

SourceGroup::SourceGroup(std::string name, std::shared_ptr<LiveSession> live)
    : m_name(std::move(name)), m_live(std::move(live)), m_profile(builtInProfiles().front()) {}

HRESULT SourceGroup::get_Name(BSTR* name) {
    return guardedSlot(ISourceGroup::kIid, [&] {
        return name ? putText(ISourceGroup::kIid, name, m_name) : missingResult(ISourceGroup::kIid);
    });
}

size_t SourceGroup::sourceCount(int32_t type) const {
    return type == kSourceTypeVideo ? m_video.size() : m_audio.size();
}

HRESULT SourceGroup::checkSource(int32_t type, int32_t index) const {
    if (!validType(type))
        return badType(type);
    if (index < 0 || size_t(index) >= sourceCount(type))
        return com::fail(com::E_INVALIDARG, ISourceGroup::kIid,
                         "The source group \"" + m_name + "\" has no " + typeWord(type) +
                             " source number " + std::to_string(index));
    return com::S_OK;
}

HRESULT SourceGroup::get_SourceCount(int32_t type, int32_t* count) {
    if (!count)
        return missingResult(ISourceGroup::kIid);
    if (!validType(type))
        return badType(type);
    *count = int32_t(sourceCount(type));
    return com::S_OK;
}

HRESULT SourceGroup::get_Source(int32_t type, int32_t index, ISource** source) {
    return guardedSlot(ISourceGroup::kIid, [&] {
        if (!source)
            return missingResult(ISourceGroup::kIid);
        if (HRESULT hr = checkSource(type, index); com::failed(hr))
            return hr;
        // A video source goes out through its IVideoSource table, whose first slots are
        // ISource's.
        *source = type == kSourceTypeVideo
                      ? static_cast<ISource*>(handOut<IVideoSource>(m_video[size_t(index)]))
                      : handOut<ISource>(m_audio[size_t(index)]);
        return com::S_OK;
    });
}

HRESULT SourceGroup::AddSource(int32_t type, ISource** source) {
    return guardedSlot(ISourceGroup::kIid, [&] {
        if (!source)
            return missingResult(ISourceGroup::kIid);
        if (!validType(type))
            return badType(type);
        if (sourceCount(type) >= kMaxSourcesPerType)
            return com::fail(com::E_FAIL, ISourceGroup::kIid,
                             "The source group \"" + m_name + "\" cannot take more " +
                                 typeWord(type) + " sources");
        if (type == kSourceTypeVideo) {
            m_video.push_back(com::ComPtr<VideoSource>::adopt(new VideoSource(m_live)));
            *source = static_cast<ISource*>(handOut<IVideoSource>(m_video.back()));
        } else {
            m_audio.push_back(com::ComPtr<AudioSource>::adopt(new AudioSource()));
            *source = handOut<ISource>(m_audio.back());
        }
        return com::S_OK;
    });
}

HRESULT SourceGroup::RemoveSource(int32_t type, int32_t index) {
    return guardedSlot(ISourceGroup::kIid, [&] {
        if (HRESULT hr = checkSource(type, index); com::failed(hr))
            return hr;
        if (type == kSourceTypeVideo)
            m_video.erase(m_video.begin() + index);
        else
            m_audio.erase(m_audio.begin() + index);
        return com::S_OK;
    });
}

HRESULT SourceGroup::get_Profile(IProfile** profile) {
    return guardedSlot(ISourceGroup::kIid, [&] {
        if (!profile)
            return missingResult(ISourceGroup::kIid);
        *profile = static_cast<IProfile*>(new ProfileObject(m_profile));
        return com::S_OK;
    });
}

HRESULT SourceGroup::put_Profile(VARIANT profile) {
    const GUID& iid = ISourceGroup::kIid;
    return guardedSlot(iid, [&] {
        IUnknown* given = nullptr;
        if (profile.vt == com::VT_DISPATCH)
            given = profile.pdispVal;
        else if (profile.vt == com::VT_UNKNOWN)
            given = profile.punkVal;
        else
            return com::fail(com::E_INVALIDARG, iid,
                             "The profile must be given as a profile object (VT_DISPATCH), not "
                             "as a value of type " +
                                 std::to_string(profile.vt));
        if (!given)
            return com::fail(com::E_INVALIDARG, iid, "No profile was given");
        // One of ours carries its settings; another object's profile is found by its name.
        if (auto ours = com::ComPtr<IUnknown>::share(given).as<IProfileSettings>()) {
            m_profile = ours->settings();
            return com::S_OK;
        }
        auto named = com::ComPtr<IUnknown>::share(given).as<IProfile>();
        if (!named)
            return com::fail(com::E_INVALIDARG, iid, "The object given is not a profile");
        com::Bstr name;
        if (com::failed(named->get_Name(name.put())))
            return com::fail(com::E_INVALIDARG, iid, "The profile given has no name");
        auto found = findProfile(name.utf8());
        if (!found)
            return com::fail(com::E_INVALIDARG, iid,
                             "No profile named \"" + name.utf8() + "\" is installed");
        m_profile = std::move(*found);
        return com::S_OK;
    });
}

std::vector<std::string> SourceGroup::inputs(int32_t type) const {
    std::vector<std::string> result;
    if (type == kSourceTypeVideo)
        for (const auto& s : m_video)
            result.push_back(s->input().input);
    else
        for (const auto& s : m_audio)
            result.push_back(s->input().input);
    return result;
}

GroupSettings SourceGroup::settings() const {
    return {m_name, m_profile.name, inputs(kSourceTypeVideo), inputs(kSourceTypeAudio)};
}

com::ComPtr<SourceGroup> SourceGroup::fromSettings(const GroupSettings& settings,
                                                   const Profile& profile,
                                                   std::shared_ptr<LiveSession> live) {
    auto group = com::ComPtr<SourceGroup>::adopt(new SourceGroup(settings.name, live));
    group->m_profile = profile;
    for (const std::string& input : settings.videoInputs) {
        group->m_video.push_back(com::ComPtr<VideoSource>::adopt(new VideoSource(live)));
        group->m_video.back()->setInput({input, {}, {}});
    }
    for (const std::string& input : settings.audioInputs) {
        group->m_audio.push_back(com::ComPtr<AudioSource>::adopt(new AudioSource()));
        group->m_audio.back()->setInput({input, {}, {}});
    }
    return group;
}

// ---- SourceGroupCollection ----

HRESULT SourceGroupCollection::get_Count(int32_t* count) {
    if (!count)
        return missingResult(ISourceGroupCollection::kIid);
    *count = int32_t(m_groups.size());
    return com::S_OK;
}

HRESULT SourceGroupCollection::Item(int32_t index, ISourceGroup** group) {
    if (!group)
        return missingResult(ISourceGroupCollection::kIid);
    if (index < 0 || size_t(index) >= m_groups.size())
        return com::fail(com::E_INVALIDARG, ISourceGroupCollection::kIid,
                         "There is no source group number " + std::to_string(index));
    *group = handOut<ISourceGroup>(m_groups[size_t(index)]);
    return com::S_OK;
}

HRESULT SourceGroupCollection::Remove(int32_t index) {
    if (index < 0 || size_t(index) >= m_groups.size())
        return com::fail(com::E_INVALIDARG, ISourceGroupCollection::kIid,
                         "There is no source group number " + std::to_string(index));
    m_groups.erase(m_groups.begin() + index);
    if (m_active == index)
        m_active = -1;
    else if (m_active > index)
        --m_active;
    return com::S_OK;
}

HRESULT SourceGroupCollection::Add(BSTR name, ISourceGroup** group) {
    const GUID& iid = ISourceGroupCollection::kIid;
    return guardedSlot(iid, [&] {
        if (!group)
            return missingResult(iid);
        const std::string text = textOf(name);
        if (text.empty())
            return com::fail(com::E_INVALIDARG, iid, "A source group needs a name");
        for (const auto& g : m_groups)
            if (sameNameIgnoringCase(g->name(), text))
                return com::fail(com::E_INVALIDARG, iid,
                                 "There is already a source group named \"" + text + "\"");
        if (m_groups.size() >= kMaxSourceGroups)
            return com::fail(com::E_FAIL, iid, "The encoder cannot take more source groups");
        m_groups.push_back(com::ComPtr<SourceGroup>::adopt(new SourceGroup(text, m_live)));
        m_active = int(m_groups.size()) - 1;
        *group = handOut<ISourceGroup>(m_groups.back());
        return com::S_OK;
    });
}

HRESULT SourceGroupCollection::get_Active(ISourceGroup** group) {
    if (!group)
        return missingResult(ISourceGroupCollection::kIid);
    SourceGroup* in = active();
    if (!in)
        return com::fail(com::E_FAIL, ISourceGroupCollection::kIid,
                         "No source group is in use: the encoder has not been set up yet");
    in->AddRef();
    *group = in;
    return com::S_OK;
}

HRESULT SourceGroupCollection::put_Active(ISourceGroup* group) {
    if (!group)
        return com::fail(com::E_INVALIDARG, ISourceGroupCollection::kIid,
                         "No source group was given");
    for (size_t i = 0; i < m_groups.size(); ++i)
        if (static_cast<ISourceGroup*>(m_groups[i].get()) == group) {
            m_active = int(i);
            return com::S_OK;
        }
    return com::fail(com::E_INVALIDARG, ISourceGroupCollection::kIid,
                     "The source group given is not one of this encoder's");
}

SourceGroup* SourceGroupCollection::active() const {
    return m_active >= 0 && size_t(m_active) < m_groups.size() ? m_groups[size_t(m_active)].get()
                                                               : nullptr;
}

void SourceGroupCollection::replace(std::vector<com::ComPtr<SourceGroup>> groups, int activeIndex) {
    m_groups = std::move(groups);
    m_active = activeIndex >= 0 && size_t(activeIndex) < m_groups.size() ? activeIndex : -1;
}

} // namespace kerris::encoder
