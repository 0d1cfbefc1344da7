// The audio stream's sample timeline.
#include "platform/encoder/engine/audio_timeline.h"

#include "platform/encoder/engine/session_clock.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <new>
#include <vector>

namespace kerris::encoder::engine {

AudioTimeline::AudioTimeline(int sampleRate, int channels, int frameSize, int64_t firstSample)
    : m_rate(std::max(sampleRate, 1)), m_channels(std::max(channels, 1)),
      m_frameSize(std::max(frameSize, 1)),
      m_fifo(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, m_channels, m_frameSize * 4)),
      m_first(std::max<int64_t>(firstSample, 0)), m_end(m_first), m_taken(m_first) {
    if (!m_fifo)
        throw std::bad_alloc();
}

AudioTimeline::~AudioTimeline() {
    av_audio_fifo_free(m_fifo);
}

int64_t AudioTimeline::timeOf(int64_t sample) const {
    return sample * kNanosecondsPerSecond / m_rate;
}

int64_t AudioTimeline::sampleAt(int64_t time) const {
    return time <= 0 ? 0 : time * m_rate / kNanosecondsPerSecond;
}

void AudioTimeline::silence(int64_t count) {
    // In pieces, so a long stall never needs one huge buffer.
    std::vector<float> zeros(static_cast<size_t>(std::min<int64_t>(count, m_rate)), 0.0f);
    std::vector<void*> planes(static_cast<size_t>(m_channels), zeros.data());
    while (count > 0) {
        const int piece = static_cast<int>(std::min<int64_t>(count, m_rate));
        if (av_audio_fifo_write(m_fifo, planes.data(), piece) < piece)
            throw std::bad_alloc();
        m_end += piece;
        m_silent += piece;
        count -= piece;
    }
}

void AudioTimeline::add(const float* const* planes, int count, int64_t time) {
    if (count <= 0)
        return;
    const int64_t tolerance = sampleAt(kToleranceNs);
    int64_t start = sampleAt(std::max<int64_t>(time, 0));
    int skip = 0;
    // Before the stream's first sample nothing is kept, to the sample: the first block that
    // reaches into the stream sets where the sound lies against the pictures.
    if (start < m_first) {
        skip = static_cast<int>(std::min<int64_t>(m_first - start, count));
        start += skip;
        m_dropped += skip;
        if (skip == count)
            return;
    }
    if (start > m_end + tolerance) {
        silence(start - m_end);
    } else if (start + tolerance < m_end) {
        const int64_t overlap = m_end - start;
        const int more = static_cast<int>(std::min<int64_t>(overlap, count - skip));
        skip += more;
        m_dropped += more;
    }
    if (skip == count)
        return;
    std::vector<void*> from(static_cast<size_t>(m_channels));
    for (int c = 0; c < m_channels; ++c)
        from[static_cast<size_t>(c)] = const_cast<float*>(planes[c] + skip);
    if (av_audio_fifo_write(m_fifo, from.data(), count - skip) < count - skip)
        throw std::bad_alloc();
    m_end += count - skip;
}

void AudioTimeline::fillSilenceUntil(int64_t time) {
    const int64_t target = sampleAt(time);
    if (target > m_end)
        silence(target - m_end);
}

void AudioTimeline::padToWholeFrame() {
    const int64_t part = (m_end - m_taken) % m_frameSize;
    if (part != 0)
        silence(m_frameSize - part);
}

bool AudioTimeline::takeFrame(AVFrame* frame) {
    if (av_audio_fifo_size(m_fifo) < m_frameSize)
        return false;
    const int count = m_frameSize;
    av_frame_unref(frame);
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->nb_samples = count;
    frame->sample_rate = m_rate;
    av_channel_layout_default(&frame->ch_layout, m_channels);
    if (av_frame_get_buffer(frame, 0) < 0)
        throw std::bad_alloc();
    if (av_audio_fifo_read(m_fifo, reinterpret_cast<void**>(frame->data), count) < count)
        return false;
    frame->pts = m_taken;
    m_taken += count;
    return true;
}

} // namespace kerris::encoder::engine
