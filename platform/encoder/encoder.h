// The encoder object (CLSID_Encoder): its source groups, outputs, profiles and statistics, the
// settings file, and the runs (preview, or recording into the output file) it starts and stops.
#pragma once

#include "platform/encoder/encoder_interfaces.h"
#include "platform/encoder/encoder_settings.h"
#include "platform/encoder/live_session.h"
#include "platform/encoder/outputs.h"
#include "platform/encoder/profiles.h"
#include "platform/encoder/source_groups.h"
#include "platform/encoder/statistics.h"

#include "platform/com/com_object.h"

#include <memory>

namespace kerris::encoder {

class Encoder final : public com::ComObject<IEncoder> {
public:
    Encoder();

    HRESULT Load(BSTR path) override;
    HRESULT Save(BSTR path) override;
    HRESULT Start() override;
    HRESULT Stop() override;
    HRESULT PrepareToEncode(int32_t prepare) override;
    HRESULT get_SourceGroupCollection(ISourceGroupCollection** groups) override;
    HRESULT get_Broadcast(IBroadcast** broadcast) override;
    HRESULT get_File(IFile** file) override;
    HRESULT get_Statistics(IStatistics** statistics) override;
    HRESULT get_ProfileCollection(IProfileCollection** profiles) override;
    HRESULT get_RunState(int32_t* state) override;
    HRESULT get_ErrorState(BSTR* description) override;

    // Everything the settings file holds, as it is now.
    EncoderSettings settings() const;

protected:
    ~Encoder() override;

private:
    // What a start needs from the group in use; false with error set when it is incomplete.
    bool sessionSettings(SessionSettings& settings, std::string& error) const;

    std::shared_ptr<LiveSession> m_live;
    com::ComPtr<SourceGroupCollection> m_groups;
    com::ComPtr<Broadcast> m_broadcast;
    com::ComPtr<OutputFile> m_file;
    com::ComPtr<Statistics> m_statistics;
    com::ComPtr<ProfileCollection> m_profiles;
    int32_t m_prepared = 0;
};

} // namespace kerris::encoder
