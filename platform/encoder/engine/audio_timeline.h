// The audio stream's sample timeline: sample n is heard at n / rate seconds of the session
// clock. Blocks from a source are placed where their capture time says; a gap before a block
// is filled with silence, and samples that would overlap what is placed already are left out,
// so the sound stays in step with the pictures whatever the source's own clock does.
#pragma once

#include <cstdint>

extern "C" {
struct AVAudioFifo;
struct AVFrame;
}

namespace kerris::encoder::engine {

class AudioTimeline {
public:
    // Planar float samples (the encoders' format) at `sampleRate` with `channels` channels,
    // taken in frames of `frameSize` samples. The timeline starts at sample `firstSample`:
    // the encoder's priming takes the place of the samples before it, so that the first
    // packet is stamped 0 and sound and pictures start together.
    AudioTimeline(int sampleRate, int channels, int frameSize, int64_t firstSample = 0);
    ~AudioTimeline();
    AudioTimeline(const AudioTimeline&) = delete;
    AudioTimeline& operator=(const AudioTimeline&) = delete;

    // Differences between a block's stamp and the end of the timeline up to this are the
    // jitter of the sound server's stamps and are not corrected.
    static constexpr int64_t kToleranceNs = 30000000;

    // Places `count` samples (one plane per channel) whose first was captured at `time`.
    void add(const float* const* planes, int count, int64_t time);
    // Fills silence up to `time`: a stalled source still gives the muxer sound to wait for.
    void fillSilenceUntil(int64_t time);

    // Completes the last frame with silence (the encoders take whole frames only).
    void padToWholeFrame();
    // Takes the next frameSize samples into `frame` (allocated here; pts = the first sample's
    // number). False when fewer are placed.
    bool takeFrame(AVFrame* frame);

    int64_t end() const { return m_end; } // samples placed so far
    int64_t timeOf(int64_t sample) const;
    int64_t sampleAt(int64_t time) const;
    int64_t silentSamples() const { return m_silent; }
    int64_t droppedSamples() const { return m_dropped; }

private:
    void silence(int64_t count);

    int m_rate;
    int m_channels;
    int m_frameSize;
    AVAudioFifo* m_fifo = nullptr;
    int64_t m_first = 0; // the first sample of the stream
    int64_t m_end = 0;   // samples placed
    int64_t m_taken = 0; // samples handed out in frames
    int64_t m_silent = 0;
    int64_t m_dropped = 0;
};

} // namespace kerris::encoder::engine
