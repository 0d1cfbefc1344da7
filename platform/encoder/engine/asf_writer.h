// The output file: wmv2 video and wmav2 audio at a profile's settings, muxed into ASF with the
// bit rates in the header and an index, finished (sizes, duration, index) when the run ends.
#pragma once

#include "platform/encoder/capture_session.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

extern "C" {
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
}

namespace kerris::encoder::engine {

// Whether a profile's picture size and frame rate can be recorded; `error` says why not.
bool checkProfile(const Profile& profile, std::string& error);

class AsfWriter {
public:
    // Opens the encoders and then the file, and writes the header. Null with `error` set when
    // a step fails: "The file "PATH" cannot be written: REASON", or the profile's settings
    // the encoders refuse; no file is left behind then.
    static std::unique_ptr<AsfWriter> create(const std::string& path, const Profile& profile,
                                             bool withAudio, std::string& error);
    ~AsfWriter(); // finishes as finish() does
    AsfWriter(const AsfWriter&) = delete;
    AsfWriter& operator=(const AsfWriter&) = delete;

    // Samples per audio frame that writeAudio takes (planar float).
    int audioFrameSize() const;
    // The first sample number writeAudio takes: the encoder's priming stands for the ones
    // before, so the sound's first packet is stamped 0, as the first picture is.
    int64_t audioFirstSample() const;

    // Encodes `picture` (YUV420P at the profile's size) as frame number `slot` (its pts is set
    // here). Called from one thread; false with `error` set when the file cannot be written.
    bool writeVideo(AVFrame* picture, int64_t slot, std::string& error);
    // Encodes one audio frame (pts = its first sample's number). Called from one thread.
    bool writeAudio(AVFrame* samples, std::string& error);
    // Drains the encoders and writes the trailer; the file is then complete. Call once both
    // writers are done. Idempotent.
    bool finish(std::string& error);

    int64_t videoBytes() const { return m_videoBytes; }
    int64_t audioBytes() const { return m_audioBytes; }
    int64_t videoFrames() const { return m_videoFrames; }
    int64_t audioPackets() const { return m_audioPackets; }

private:
    AsfWriter() = default;
    bool drain(AVCodecContext* encoder, AVStream* stream, AVPacket* packet, std::string& error);
    std::string writeFailure(int code) const;

    std::string m_path;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_video = nullptr;
    AVCodecContext* m_audio = nullptr;
    AVStream* m_videoStream = nullptr;
    AVStream* m_audioStream = nullptr;
    AVPacket* m_videoPacket = nullptr;
    AVPacket* m_audioPacket = nullptr;
    std::mutex m_muxLock; // the muxer is shared by the video and the audio thread
    bool m_finished = false;
    std::atomic<int64_t> m_videoBytes{0};
    std::atomic<int64_t> m_audioBytes{0};
    std::atomic<int64_t> m_videoFrames{0};
    std::atomic<int64_t> m_audioPackets{0};
};

} // namespace kerris::encoder::engine
