// The encoder's profiles: the built-in ones, those the install step (or a user) added under
// HKEY_LOCAL_MACHINE "SOFTWARE\Kerris\Encoder\Profiles", their details texts, and the profile
// and profile collection objects the program reads them through.
#pragma once

#include "platform/encoder/capture_session.h"
#include "platform/encoder/encoder_interfaces.h"

#include "platform/com/com_object.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kerris::encoder {

// Where installed profiles live: one sub-key per profile, named after it, with the values
// Description (REG_SZ), Width, Height, FramesPerSecond, VideoBitRate, AudioBitRate (bits/s),
// AudioSampleRate and AudioChannels (REG_DWORD).
inline constexpr char kProfilesKey[] = "SOFTWARE\\Kerris\\Encoder\\Profiles";

// The profiles every installation has, in the order the collection lists them.
const std::vector<Profile>& builtInProfiles();

// A profile's settings within what the recording engine can make; empty when they are, else
// a sentence saying what is wrong.
std::string profileProblem(const Profile& profile);

// The built-in profiles, then the valid installed ones in the registry's order. An installed
// profile with a missing or out-of-range value is left out, as is one that takes the name of
// a built-in profile.
std::vector<Profile> availableProfiles();

// The profile of that name (compared ignoring ASCII case) among the available ones.
std::optional<Profile> findProfile(std::string_view name);

// "[Audio] 32 kbps mono 22 kHz [Video] 320 x 240 15 fps 300 kbps": the audio and video
// settings, the video size after "Video]" as the program reads it.
std::string profileDetails(const Profile& profile);

// Our own interface of a profile object, so a source group takes over the settings of the
// very profile it is given rather than looking its name up again.
class IProfileSettings : public IUnknown {
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x0101, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    virtual const Profile& settings() const = 0; // 3
};

class ProfileObject final : public com::ComObject<IProfile, IProfileSettings> {
public:
    explicit ProfileObject(Profile profile) : m_profile(std::move(profile)) {}

    HRESULT get_Name(BSTR* name) override;
    HRESULT get_Description(BSTR* description) override;
    const Profile& settings() const override { return m_profile; }

private:
    Profile m_profile;
};

class ProfileCollection final : public com::ComObject<IProfileCollection> {
public:
    ProfileCollection();

    HRESULT get_Count(int32_t* count) override;
    HRESULT Item(int32_t index, IProfile** profile) override;
    // Reads the installed profiles again.
    HRESULT Refresh() override;

private:
    std::vector<com::ComPtr<ProfileObject>> m_profiles;
};

// CLSID_ProfileDetailsService.
class ProfileDetailsService final : public com::ComObject<IProfileDetailsService> {
public:
    HRESULT GetDetails(BSTR profileName, int32_t reserved, BSTR* details) override;
};

} // namespace kerris::encoder
