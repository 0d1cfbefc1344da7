// The encoder's profiles: built-in ones, installed ones from the registry, details texts, and
// the profile and profile collection objects.
#include "platform/encoder/profiles.h"

#include "platform/encoder/slot_support.h"
#include "platform/registry/registry.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace kerris::encoder {

namespace {

using registry::Hive;
using registry::Key;

// Reads one installed profile; nullopt when a value is missing or of the wrong type.
std::optional<Profile> readInstalledProfile(const std::string& name) {
    auto key = Key::open(Hive::LocalMachine, std::string(kProfilesKey) + "\\" + name);
    if (!key)
        return std::nullopt;
    Profile p;
    p.name = name;
    auto description = key->readString("Description");
    if (!description)
        return std::nullopt;
    p.description = *description;
    struct Field {
        const char* value;
        int* target;
    };
    const std::array<Field, 7> fields = {{{"Width", &p.width},
                                          {"Height", &p.height},
                                          {"FramesPerSecond", &p.framesPerSecond},
                                          {"VideoBitRate", &p.videoBitRate},
                                          {"AudioBitRate", &p.audioBitRate},
                                          {"AudioSampleRate", &p.audioSampleRate},
                                          {"AudioChannels", &p.audioChannels}}};
    for (const Field& f : fields) {
        auto v = key->readDword(f.value);
        if (!v || *v > 0x7fffffffu)
            return std::nullopt;
        *f.target = int(*v);
    }
    return p;
}

} // namespace

const std::vector<Profile>& builtInProfiles() {
    static const std::vector<Profile> profiles = {
        {"Video for LAN (640 x 480, 30 fps)", "Video for local area networks, stereo audio", 640,
         480, 30, 1000000, 64000, 44100, 2},
        {"Video for broadband (320 x 240, 30 fps)", "Video for cable and DSL lines, stereo audio",
         320, 240, 30, 350000, 48000, 44100, 2},
        {"Video for e-mail (320 x 240, 15 fps)", "Small clips to send by mail, mono audio", 320,
         240, 15, 250000, 32000, 22050, 1},
        {"Video for dial-up modems (176 x 144, 15 fps)", "Video for 56 kbps modems, mono audio",
         176, 144, 15, 40000, 24000, 22050, 1},
    };
    return profiles;
}

std::string profileProblem(const Profile& p) {
    constexpr std::array<int, 7> kSampleRates = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
    if (p.name.empty())
        return "The profile has no name";
    if (p.width < 16 || p.width > 640 || p.width % 2 || p.height < 16 || p.height > 480 ||
        p.height % 2)
        return "The picture size " + std::to_string(p.width) + " x " + std::to_string(p.height) +
               " is not an even size up to 640 x 480";
    if (p.framesPerSecond < 1 || p.framesPerSecond > 30)
        return "The frame rate " + std::to_string(p.framesPerSecond) +
               " is not between 1 and 30 frames per second";
    if (p.videoBitRate < 10000 || p.videoBitRate > 20000000)
        return "The video bit rate " + std::to_string(p.videoBitRate) +
               " is not between 10 kbps and 20 Mbps";
    if (p.audioBitRate < 24000 || p.audioBitRate > 320000)
        return "The audio bit rate " + std::to_string(p.audioBitRate) +
               " is not between 24 and 320 kbps";
    if (std::find(kSampleRates.begin(), kSampleRates.end(), p.audioSampleRate) ==
        kSampleRates.end())
        return "The audio sample rate " + std::to_string(p.audioSampleRate) + " is not supported";
    if (p.audioChannels != 1 && p.audioChannels != 2)
        return "The audio must have one or two channels";
    return {};
}

std::vector<Profile> availableProfiles() {
    std::vector<Profile> profiles = builtInProfiles();
    auto key = Key::open(Hive::LocalMachine, kProfilesKey);
    if (!key)
        return profiles;
    for (const std::string& name : key->subKeyNames()) {
        auto taken = std::any_of(profiles.begin(), profiles.end(), [&](const Profile& p) {
            return sameNameIgnoringCase(p.name, name);
        });
        if (taken)
            continue;
        if (auto p = readInstalledProfile(name); p && profileProblem(*p).empty())
            profiles.push_back(std::move(*p));
    }
    return profiles;
}

std::optional<Profile> findProfile(std::string_view name) {
    for (Profile& p : availableProfiles())
        if (sameNameIgnoringCase(p.name, name))
            return std::move(p);
    return std::nullopt;
}

std::string profileDetails(const Profile& p) {
    char text[160];
    std::snprintf(text, sizeof text, "[Audio] %d kbps %s %d kHz [Video] %d x %d %d fps %d kbps",
                  p.audioBitRate / 1000, p.audioChannels == 1 ? "mono" : "stereo",
                  p.audioSampleRate / 1000, p.width, p.height, p.framesPerSecond,
                  p.videoBitRate / 1000);
    return text;
}

// ---- ProfileObject ----

HRESULT ProfileObject::get_Name(BSTR* name) {
    return guardedSlot(IProfile::kIid, [&] {
        return name ? putText(IProfile::kIid, name, m_profile.name) : missingResult(IProfile::kIid);
    });
}

HRESULT ProfileObject::get_Description(BSTR* description) {
    return guardedSlot(IProfile::kIid, [&] {
        return description ? putText(IProfile::kIid, description, m_profile.description)
                           : missingResult(IProfile::kIid);
    });
}

// ---- ProfileCollection ----

ProfileCollection::ProfileCollection() {
    Refresh();
}

HRESULT ProfileCollection::get_Count(int32_t* count) {
    if (!count)
        return missingResult(IProfileCollection::kIid);
    *count = int32_t(m_profiles.size());
    return com::S_OK;
}

HRESULT ProfileCollection::Item(int32_t index, IProfile** profile) {
    if (!profile)
        return missingResult(IProfileCollection::kIid);
    if (index < 0 || size_t(index) >= m_profiles.size())
        return com::fail(com::E_INVALIDARG, IProfileCollection::kIid,
                         "There is no profile number " + std::to_string(index) + " (there are " +
                             std::to_string(m_profiles.size()) + ")");
    *profile = handOut<IProfile>(m_profiles[size_t(index)]);
    return com::S_OK;
}

HRESULT ProfileCollection::Refresh() {
    return guardedSlot(IProfileCollection::kIid, [&] {
        std::vector<com::ComPtr<ProfileObject>> fresh;
        for (Profile& p : availableProfiles())
            fresh.push_back(com::ComPtr<ProfileObject>::adopt(new ProfileObject(std::move(p))));
        m_profiles = std::move(fresh);
        return com::S_OK;
    });
}

// ---- ProfileDetailsService ----

HRESULT ProfileDetailsService::GetDetails(BSTR profileName, int32_t, BSTR* details) {
    const GUID& iid = IProfileDetailsService::kIid;
    return guardedSlot(iid, [&] {
        if (!details)
            return missingResult(iid);
        const std::string name = textOf(profileName);
        auto profile = findProfile(name);
        if (!profile)
            return com::fail(com::E_INVALIDARG, iid,
                             "No profile named \"" + name + "\" is installed");
        return putText(iid, details, profileDetails(*profile));
    });
}

} // namespace kerris::encoder
