// Source groups (a name, video and audio sources, a profile) and the encoder's collection of
// them, one of which is the group in use.
#pragma once

#include "platform/encoder/capture_session.h"
#include "platform/encoder/encoder_interfaces.h"
#include "platform/encoder/encoder_settings.h"
#include "platform/encoder/live_session.h"
#include "platform/encoder/sources.h"

#include "platform/com/com_object.h"

#include <memory>
#include <string>
#include <vector>

namespace kerris::encoder {

// How many sources of one type a group takes, and how many groups the encoder takes.
inline constexpr size_t kMaxSourcesPerType = 16;
inline constexpr size_t kMaxSourceGroups = 64;

class SourceGroup final : public com::ComObject<ISourceGroup> {
public:
    // A group with the default profile and no sources.
    SourceGroup(std::string name, std::shared_ptr<LiveSession> live);

    HRESULT get_Name(BSTR* name) override;
    HRESULT get_SourceCount(int32_t type, int32_t* count) override;
    HRESULT get_Source(int32_t type, int32_t index, ISource** source) override;
    HRESULT AddSource(int32_t type, ISource** source) override;
    HRESULT RemoveSource(int32_t type, int32_t index) override;
    HRESULT get_Profile(IProfile** profile) override;
    HRESULT put_Profile(VARIANT profile) override;

    const std::string& name() const { return m_name; }
    const Profile& profile() const { return m_profile; }
    // The inputs of its sources of a type, in order.
    std::vector<std::string> inputs(int32_t type) const;

    GroupSettings settings() const;
    // A group as the settings describe it; the profile already looked up.
    static com::ComPtr<SourceGroup> fromSettings(const GroupSettings& settings,
                                                 const Profile& profile,
                                                 std::shared_ptr<LiveSession> live);

private:
    size_t sourceCount(int32_t type) const;
    // S_OK for a source of that type and index, else the failure with its description.
    HRESULT checkSource(int32_t type, int32_t index) const;

    std::string m_name;
    std::shared_ptr<LiveSession> m_live;
    std::vector<com::ComPtr<VideoSource>> m_video;
    std::vector<com::ComPtr<AudioSource>> m_audio;
    Profile m_profile;
};

class SourceGroupCollection final : public com::ComObject<ISourceGroupCollection> {
public:
    explicit SourceGroupCollection(std::shared_ptr<LiveSession> live) : m_live(std::move(live)) {}

    HRESULT get_Count(int32_t* count) override;
    HRESULT Item(int32_t index, ISourceGroup** group) override;
    HRESULT Remove(int32_t index) override;
    HRESULT Add(BSTR name, ISourceGroup** group) override;
    HRESULT get_Active(ISourceGroup** group) override;
    HRESULT put_Active(ISourceGroup* group) override;

    // The group in use; null when none.
    SourceGroup* active() const;
    const std::vector<com::ComPtr<SourceGroup>>& groups() const { return m_groups; }
    // Replaces every group at once (a loaded settings file).
    void replace(std::vector<com::ComPtr<SourceGroup>> groups, int activeIndex);
    int activeIndex() const { return m_active; }

private:
    std::shared_ptr<LiveSession> m_live;
    std::vector<com::ComPtr<SourceGroup>> m_groups;
    int m_active = -1;
};

} // namespace kerris::encoder
