// The pages' calls into the encoder.
#include "platform/encoder/pages/encoder_access.h"

namespace kerris::encoder::pages {

namespace {

constexpr char kDefaultGroupName[] = "Default";

HRESULT groupsOf(IEncoder* encoder, ComPtr<ISourceGroupCollection>& groups) {
    if (!encoder)
        return com::fail(com::E_POINTER, IEncoderPage::kIid,
                         "The property pages have no encoder to work on");
    return encoder->get_SourceGroupCollection(groups.put());
}

HRESULT firstSource(ISourceGroup* group, int32_t type, ComPtr<ISource>& source) {
    int32_t count = 0;
    HRESULT hr = group->get_SourceCount(type, &count);
    if (com::failed(hr))
        return hr;
    if (count <= 0)
        return com::S_OK;
    return group->get_Source(type, 0, source.put());
}

} // namespace

std::string takeText(BSTR text) {
    return com::Bstr::adopt(text).utf8();
}

HRESULT activeGroup(IEncoder* encoder, ComPtr<ISourceGroup>& group) {
    group.reset();
    ComPtr<ISourceGroupCollection> groups;
    HRESULT hr = groupsOf(encoder, groups);
    if (com::failed(hr))
        return hr;
    if (!groups)
        return com::fail(com::E_FAIL, IEncoderPage::kIid, "The encoder has no source groups");
    int32_t count = 0;
    hr = groups->get_Count(&count);
    if (com::failed(hr))
        return hr;
    if (count <= 0)
        return com::S_OK;
    return groups->get_Active(group.put());
}

HRESULT activeOrNewGroup(IEncoder* encoder, const std::string& newName,
                         ComPtr<ISourceGroup>& group) {
    HRESULT hr = activeGroup(encoder, group);
    if (com::failed(hr) || group)
        return hr;
    ComPtr<ISourceGroupCollection> groups;
    hr = groupsOf(encoder, groups);
    if (com::failed(hr))
        return hr;
    com::Bstr name = com::Bstr::fromUtf8(newName.empty() ? kDefaultGroupName : newName);
    hr = groups->Add(name.get(), group.put());
    if (com::succeeded(hr) && !group)
        return com::fail(com::E_FAIL, IEncoderPage::kIid,
                         "The encoder did not make the new source group");
    return hr;
}

HRESULT currentInput(IEncoder* encoder, int32_t type, std::string& input, bool& isDevice) {
    input.clear();
    isDevice = false;
    ComPtr<ISourceGroup> group;
    HRESULT hr = activeGroup(encoder, group);
    if (com::failed(hr) || !group)
        return hr;
    ComPtr<ISource> source;
    hr = firstSource(group.get(), type, source);
    if (com::failed(hr) || !source)
        return hr;
    BSTR text = nullptr, scheme = nullptr, init = nullptr;
    hr = source->GetInput(&text, &scheme, &init);
    if (com::failed(hr))
        return hr;
    input = takeText(text);
    takeText(scheme);
    takeText(init);
    const std::string prefix = kDevicePrefix;
    if (input.compare(0, prefix.size(), prefix) == 0) {
        input.erase(0, prefix.size());
        isDevice = true;
    }
    return com::S_OK;
}

HRESULT setDeviceInput(IEncoder* encoder, int32_t type, const std::string& name) {
    ComPtr<ISourceGroup> group;
    HRESULT hr = activeOrNewGroup(encoder, name, group);
    if (com::failed(hr))
        return hr;
    ComPtr<ISource> source;
    hr = firstSource(group.get(), type, source);
    if (com::failed(hr))
        return hr;
    if (!source) {
        hr = group->AddSource(type, source.put());
        if (com::failed(hr))
            return hr;
        if (!source)
            return com::fail(com::E_FAIL, IEncoderPage::kIid,
                             "The encoder did not make the new source");
    }
    com::Bstr input = com::Bstr::fromUtf8(std::string(kDevicePrefix) + name);
    com::Bstr empty = com::Bstr::fromUtf8("");
    return source->SetInput(input.get(), empty.get(), empty.get());
}

HRESULT listProfiles(IEncoder* encoder, std::vector<ProfileEntry>& profiles) {
    profiles.clear();
    if (!encoder)
        return com::fail(com::E_POINTER, IEncoderPage::kIid,
                         "The property pages have no encoder to work on");
    ComPtr<IProfileCollection> collection;
    HRESULT hr = encoder->get_ProfileCollection(collection.put());
    if (com::failed(hr))
        return hr;
    if (!collection)
        return com::fail(com::E_FAIL, IEncoderPage::kIid, "The encoder has no profiles");
    collection->Refresh(); // as the program does once before reading; a stale list still reads
    int32_t count = 0;
    hr = collection->get_Count(&count);
    if (com::failed(hr))
        return hr;
    for (int32_t i = 0; i < count; ++i) {
        ProfileEntry entry;
        hr = collection->Item(i, entry.profile.put());
        if (com::failed(hr))
            return hr;
        if (!entry.profile)
            continue;
        BSTR name = nullptr;
        hr = entry.profile->get_Name(&name);
        if (com::failed(hr))
            return hr;
        entry.name = takeText(name);
        BSTR description = nullptr;
        if (com::succeeded(entry.profile->get_Description(&description)))
            entry.description = takeText(description);
        profiles.push_back(std::move(entry));
    }
    return com::S_OK;
}

HRESULT currentProfileName(IEncoder* encoder, std::string& name) {
    name.clear();
    ComPtr<ISourceGroup> group;
    HRESULT hr = activeGroup(encoder, group);
    if (com::failed(hr) || !group)
        return hr;
    ComPtr<IProfile> profile;
    hr = group->get_Profile(profile.put());
    if (com::failed(hr) || !profile)
        return hr;
    BSTR text = nullptr;
    hr = profile->get_Name(&text);
    if (com::succeeded(hr))
        name = takeText(text);
    return hr;
}

HRESULT selectProfile(IEncoder* encoder, IProfile* profile) {
    if (!profile)
        return com::fail(com::E_POINTER, IEncoderPage::kIid, "No profile is chosen");
    ComPtr<ISourceGroup> group;
    HRESULT hr = activeOrNewGroup(encoder, kDefaultGroupName, group);
    if (com::failed(hr))
        return hr;
    com::VARIANT value{};
    value.vt = com::VT_DISPATCH;
    value.pdispVal = profile; // by value: the group adds its own reference if it keeps it
    return group->put_Profile(value);
}

} // namespace kerris::encoder::pages
