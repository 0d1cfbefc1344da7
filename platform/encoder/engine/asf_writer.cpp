// The ASF output file with its wmv2 and wmav2 encoders.
#include "platform/encoder/engine/asf_writer.h"

#include "platform/encoder/engine/inputs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace kerris::encoder::engine {

namespace {

std::string profileFailure(const Profile& profile, const std::string& reason) {
    return "The profile \"" + profile.name + "\" cannot be recorded: " + reason;
}

} // namespace

bool checkProfile(const Profile& profile, std::string& error) {
    if (profile.width < 16 || profile.height < 16 || profile.width > 4096 ||
        profile.height > 4096 || profile.width % 2 || profile.height % 2) {
        error = profileFailure(profile, "the picture size " + std::to_string(profile.width) +
                                            " x " + std::to_string(profile.height) +
                                            " is not an even size from 16 x 16 to 4096 x 4096");
        return false;
    }
    if (profile.framesPerSecond < 1 || profile.framesPerSecond > 60) {
        error = profileFailure(profile, "the frame rate must be 1 to 60 frames per second");
        return false;
    }
    if (profile.videoBitRate < 8000) {
        error = profileFailure(profile, "the video bit rate is below 8000 bits per second");
        return false;
    }
    return true;
}

std::unique_ptr<AsfWriter> AsfWriter::create(const std::string& path, const Profile& profile,
                                             bool withAudio, std::string& error) {
    if (!checkProfile(profile, error))
        return nullptr;
    std::unique_ptr<AsfWriter> writer(new AsfWriter());
    writer->m_path = path;
    writer->m_finished = true; // nothing to finish until the header is written
    if (avformat_alloc_output_context2(&writer->m_format, nullptr, "asf", path.c_str()) < 0) {
        error = "The file \"" + path + "\" cannot be written: no ASF writer in this build";
        return nullptr;
    }
    const bool globalHeader = writer->m_format->oformat->flags & AVFMT_GLOBALHEADER;

    const AVCodec* videoCodec = avcodec_find_encoder(AV_CODEC_ID_WMV2);
    if (!videoCodec || !(writer->m_video = avcodec_alloc_context3(videoCodec))) {
        error = profileFailure(profile, "no Windows Media Video encoder in this build");
        return nullptr;
    }
    AVCodecContext* video = writer->m_video;
    video->width = profile.width;
    video->height = profile.height;
    video->pix_fmt = AV_PIX_FMT_YUV420P;
    video->time_base = AVRational{1, profile.framesPerSecond};
    video->framerate = AVRational{profile.framesPerSecond, 1};
    video->bit_rate = profile.videoBitRate;
    video->gop_size = profile.framesPerSecond; // a key frame every second
    video->max_b_frames = 0;
    if (globalHeader)
        video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int code = avcodec_open2(video, videoCodec, nullptr);
    if (code < 0) {
        error = profileFailure(profile, "the video encoder refuses its settings (" +
                                            avErrorText(code) + ")");
        return nullptr;
    }

    if (withAudio) {
        const AVCodec* audioCodec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
        if (!audioCodec || !(writer->m_audio = avcodec_alloc_context3(audioCodec))) {
            error = profileFailure(profile, "no Windows Media Audio encoder in this build");
            return nullptr;
        }
        AVCodecContext* audio = writer->m_audio;
        audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
        audio->sample_rate = profile.audioSampleRate;
        av_channel_layout_default(&audio->ch_layout, profile.audioChannels);
        audio->bit_rate = profile.audioBitRate;
        audio->time_base = AVRational{1, profile.audioSampleRate};
        if (globalHeader)
            audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (profile.audioChannels < 1 || profile.audioChannels > 2 ||
            profile.audioSampleRate < 8000 || profile.audioSampleRate > 48000 ||
            (code = avcodec_open2(audio, audioCodec, nullptr)) < 0) {
            error = profileFailure(
                profile, "the audio encoder refuses " + std::to_string(profile.audioSampleRate) +
                             " Hz, " + std::to_string(profile.audioChannels) + " channels at " +
                             std::to_string(profile.audioBitRate) + " bits per second");
            return nullptr;
        }
    }

    writer->m_videoStream = avformat_new_stream(writer->m_format, nullptr);
    if (writer->m_audio)
        writer->m_audioStream = avformat_new_stream(writer->m_format, nullptr);
    writer->m_videoPacket = av_packet_alloc();
    writer->m_audioPacket = av_packet_alloc();
    if (!writer->m_videoStream || (writer->m_audio && !writer->m_audioStream) ||
        !writer->m_videoPacket || !writer->m_audioPacket) {
        error = "The file \"" + path + "\" cannot be written: " + std::strerror(ENOMEM);
        return nullptr;
    }
    writer->m_videoStream->time_base = video->time_base;
    writer->m_videoStream->avg_frame_rate = video->framerate;
    writer->m_videoStream->r_frame_rate = video->framerate;
    avcodec_parameters_from_context(writer->m_videoStream->codecpar, video);
    if (writer->m_audio) {
        writer->m_audioStream->time_base = writer->m_audio->time_base;
        avcodec_parameters_from_context(writer->m_audioStream->codecpar, writer->m_audio);
    }

    // The file itself comes last, so that no failure before leaves one behind.
    code = avio_open(&writer->m_format->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (code < 0) {
        error = "The file \"" + path + "\" cannot be written: " + avErrorText(code);
        return nullptr;
    }
    code = avformat_write_header(writer->m_format, nullptr);
    if (code < 0) {
        error = "The file \"" + path + "\" cannot be written: " + avErrorText(code);
        avio_closep(&writer->m_format->pb);
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return nullptr;
    }
    writer->m_finished = false;
    return writer;
}

AsfWriter::~AsfWriter() {
    std::string ignored;
    finish(ignored);
    av_packet_free(&m_videoPacket);
    av_packet_free(&m_audioPacket);
    avcodec_free_context(&m_video);
    avcodec_free_context(&m_audio);
    if (m_format) {
        avio_closep(&m_format->pb);
        avformat_free_context(m_format);
    }
}

int AsfWriter::audioFrameSize() const {
    return m_audio ? m_audio->frame_size : 0;
}

int64_t AsfWriter::audioFirstSample() const {
    return m_audio ? m_audio->initial_padding : 0;
}

std::string AsfWriter::writeFailure(int code) const {
    return "The file \"" + m_path + "\" cannot be written: " + avErrorText(code);
}

bool AsfWriter::drain(AVCodecContext* encoder, AVStream* stream, AVPacket* packet,
                      std::string& error) {
    for (;;) {
        const int received = avcodec_receive_packet(encoder, packet);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return true;
        if (received < 0) {
            error = writeFailure(received);
            return false;
        }
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        const int size = packet->size;
        int written;
        {
            std::lock_guard lock(m_muxLock);
            written = av_interleaved_write_frame(m_format, packet);
        }
        if (written < 0) {
            av_packet_unref(packet);
            error = writeFailure(written);
            return false;
        }
        if (stream == m_videoStream) {
            m_videoBytes += size;
            ++m_videoFrames;
        } else {
            m_audioBytes += size;
            ++m_audioPackets;
        }
    }
}

bool AsfWriter::writeVideo(AVFrame* picture, int64_t slot, std::string& error) {
    picture->pts = slot;
    picture->pict_type = AV_PICTURE_TYPE_NONE; // the encoder places the key frames
    const int code = avcodec_send_frame(m_video, picture);
    if (code < 0) {
        error = writeFailure(code);
        return false;
    }
    return drain(m_video, m_videoStream, m_videoPacket, error);
}

bool AsfWriter::writeAudio(AVFrame* samples, std::string& error) {
    if (!m_audio)
        return true;
    const int code = avcodec_send_frame(m_audio, samples);
    if (code < 0) {
        error = writeFailure(code);
        return false;
    }
    return drain(m_audio, m_audioStream, m_audioPacket, error);
}

bool AsfWriter::finish(std::string& error) {
    if (m_finished)
        return true;
    m_finished = true;
    bool ok = true;
    if (avcodec_send_frame(m_video, nullptr) >= 0)
        ok = drain(m_video, m_videoStream, m_videoPacket, error) && ok;
    if (m_audio && avcodec_send_frame(m_audio, nullptr) >= 0)
        ok = drain(m_audio, m_audioStream, m_audioPacket, error) && ok;
    const int code = av_write_trailer(m_format);
    if (code < 0 && ok) {
        error = writeFailure(code);
        ok = false;
    }
    const int closed = avio_closep(&m_format->pb);
    if (closed < 0 && ok) {
        error = writeFailure(closed);
        ok = false;
    }
    return ok;
}

} // namespace kerris::encoder::engine
