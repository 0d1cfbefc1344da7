// The statistics objects: elapsed time of the file, bytes and samples per stream.
#include "platform/encoder/statistics.h"

#include "platform/encoder/slot_support.h"

namespace kerris::encoder {

HRESULT Statistics::get_EncodingTime(int64_t* milliseconds) {
    if (!milliseconds)
        return missingResult(IStatistics::kIid);
    *milliseconds = m_live->statistics().elapsedMilliseconds;
    return com::S_OK;
}

HRESULT Statistics::get_StreamOutputStats(int32_t type, int32_t reserved1, int32_t reserved2,
                                          IUnknown** statistics) {
    return guardedSlot(IStatistics::kIid, [&] {
        if (!statistics)
            return missingResult(IStatistics::kIid);
        if (type != kSourceTypeAudio && type != kSourceTypeVideo)
            return com::fail(com::E_INVALIDARG, IStatistics::kIid,
                             "There are statistics for audio (1) and video (2) streams, not for "
                             "type " +
                                 std::to_string(type));
        if (reserved1 != 0 || reserved2 != 0)
            return com::fail(com::E_INVALIDARG, IStatistics::kIid,
                             "The encoder has one output, so the stream statistics take 0, 0");
        *statistics = static_cast<IStreamStatistics*>(new StreamStatistics(m_live, type));
        return com::S_OK;
    });
}

HRESULT StreamStatistics::get_SampleCount(int64_t* samples) {
    if (!samples)
        return missingResult(IStreamStatistics::kIid);
    const SessionStatistics s = m_live->statistics();
    *samples = m_type == kSourceTypeVideo ? s.videoFrames : s.audioPackets;
    return com::S_OK;
}

HRESULT StreamStatistics::get_ByteCount(int64_t* bytes) {
    if (!bytes)
        return missingResult(IStreamStatistics::kIid);
    const SessionStatistics s = m_live->statistics();
    *bytes = m_type == kSourceTypeVideo ? s.videoBytes : s.audioBytes;
    return com::S_OK;
}

HRESULT StreamStatistics::get_DroppedCount(int64_t* dropped) {
    if (!dropped)
        return missingResult(IStreamStatistics::kIid);
    *dropped = m_type == kSourceTypeVideo ? m_live->statistics().droppedFrames : 0;
    return com::S_OK;
}

} // namespace kerris::encoder
