// The statistics object of the encoder and the per-stream statistics it hands out, both
// reading the encoder's current run (or the run that ended last).
#pragma once

#include "platform/encoder/encoder_interfaces.h"
#include "platform/encoder/live_session.h"

#include "platform/com/com_object.h"

#include <memory>

namespace kerris::encoder {

class Statistics final : public com::ComObject<IStatistics> {
public:
    explicit Statistics(std::shared_ptr<LiveSession> live) : m_live(std::move(live)) {}

    HRESULT get_EncodingTime(int64_t* milliseconds) override;
    // Type 2 video, 1 audio; the reserved arguments must be 0.
    HRESULT get_StreamOutputStats(int32_t type, int32_t reserved1, int32_t reserved2,
                                  IUnknown** statistics) override;

private:
    std::shared_ptr<LiveSession> m_live;
};

class StreamStatistics final : public com::ComObject<IStreamStatistics> {
public:
    StreamStatistics(std::shared_ptr<LiveSession> live, int32_t type)
        : m_live(std::move(live)), m_type(type) {}

    HRESULT get_SampleCount(int64_t* samples) override;
    HRESULT get_ByteCount(int64_t* bytes) override;
    HRESULT get_DroppedCount(int64_t* dropped) override;

private:
    std::shared_ptr<LiveSession> m_live;
    int32_t m_type;
};

} // namespace kerris::encoder
