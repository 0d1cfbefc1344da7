// ffprobe's report and the decoded sync marks of a recorded file.
#include "tests/encoder/engine_media_probe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cmath>
#include <fstream>
#include <iterator>

namespace kerris::encoder::test {

const ProbedStream* ProbedFile::stream(const std::string& type) const {
    for (const ProbedStream& s : streams)
        if (s.codecType == type)
            return &s;
    return nullptr;
}

namespace {

double rate(const QString& text) {
    const QStringList parts = text.split('/');
    if (parts.size() != 2 || parts[1].toDouble() == 0)
        return 0;
    return parts[0].toDouble() / parts[1].toDouble();
}

} // namespace

ProbedFile probeFile(const std::string& path) {
    ProbedFile file;
    QProcess ffprobe;
    ffprobe.start("ffprobe", {"-v", "error", "-count_frames", "-show_format", "-show_streams",
                              "-of", "json", QString::fromStdString(path)});
    if (!ffprobe.waitForFinished(60000)) {
        ffprobe.kill();
        ffprobe.waitForFinished();
        file.error = "ffprobe did not finish";
        return file;
    }
    if (ffprobe.exitCode() != 0) {
        file.error = ffprobe.readAllStandardError().toStdString();
        return file;
    }
    const QJsonObject root = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    const QJsonObject format = root["format"].toObject();
    file.format = format["format_name"].toString().toStdString();
    file.duration = format["duration"].toString().toDouble();
    file.bitRate = format["bit_rate"].toString().toLong();
    for (const QJsonValue& value : root["streams"].toArray()) {
        const QJsonObject s = value.toObject();
        ProbedStream stream;
        stream.codecType = s["codec_type"].toString().toStdString();
        stream.codecName = s["codec_name"].toString().toStdString();
        stream.width = s["width"].toInt();
        stream.height = s["height"].toInt();
        stream.frameRate = rate(s["avg_frame_rate"].toString());
        if (stream.frameRate == 0)
            stream.frameRate = rate(s["r_frame_rate"].toString());
        stream.frames = s.contains("nb_read_frames") ? s["nb_read_frames"].toString().toLong() : -1;
        stream.sampleRate = s["sample_rate"].toString().toInt();
        stream.channels = s["channels"].toInt();
        stream.bitRate = s["bit_rate"].toString().toLong();
        file.streams.push_back(stream);
    }
    file.ok = !file.format.empty();
    if (!file.ok)
        file.error = "ffprobe gave no format";
    return file;
}

namespace {

struct Decoder {
    AVCodecContext* context = nullptr;
    ~Decoder() { avcodec_free_context(&context); }
};

// Decodes the first video and audio stream of `path`, handing each frame and its start time
// (seconds) to `onVideo` / `onAudio`. False with `error` set when the file has not both.
template <class OnVideo, class OnAudio>
bool decodeFile(const std::string& path, OnVideo onVideo, OnAudio onAudio, std::string& error) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        error = "cannot open " + path;
        return false;
    }
    avformat_find_stream_info(format, nullptr);
    Decoder decoders[2];
    int videoIndex = -1, audioIndex = -1;
    for (unsigned i = 0; i < format->nb_streams && i < 2; ++i) {
        const AVCodecParameters* parameters = format->streams[i]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
        if (!codec)
            continue;
        decoders[i].context = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoders[i].context, parameters);
        decoders[i].context->pkt_timebase = format->streams[i]->time_base;
        if (avcodec_open2(decoders[i].context, codec, nullptr) < 0)
            continue;
        if (parameters->codec_type == AVMEDIA_TYPE_VIDEO)
            videoIndex = static_cast<int>(i);
        else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO)
            audioIndex = static_cast<int>(i);
    }
    if (videoIndex < 0 || audioIndex < 0) {
        error = "no video and audio stream to decode";
        avformat_close_input(&format);
        return false;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    double nextStart[2] = {0, 0}; // where a frame without a stamp starts: after the one before
    const auto handle = [&](int index) {
        AVCodecContext* context = decoders[index].context;
        const AVRational base = format->streams[index]->time_base;
        double& next = nextStart[index];
        while (avcodec_receive_frame(context, frame) == 0) {
            const double start =
                frame->best_effort_timestamp == AV_NOPTS_VALUE
                    ? next
                    : static_cast<double>(frame->best_effort_timestamp) * av_q2d(base);
            next = start + (frame->sample_rate > 0
                                ? static_cast<double>(frame->nb_samples) / frame->sample_rate
                                : 0);
            if (index == videoIndex)
                onVideo(frame, start);
            else
                onAudio(frame, start);
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        const int index = packet->stream_index;
        if (index == videoIndex || index == audioIndex) {
            avcodec_send_packet(decoders[index].context, packet);
            handle(index);
        }
        av_packet_unref(packet);
    }
    for (int index : {videoIndex, audioIndex}) {
        avcodec_send_packet(decoders[index].context, nullptr);
        handle(index);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return true;
}

} // namespace

SyncMarks findSyncMarks(const std::string& path, double toneAmplitude) {
    SyncMarks marks;
    bool wasWhite = false;
    // The sound's level in 2 ms windows; quiet counts the seconds below the threshold.
    const double threshold = toneAmplitude / std::sqrt(2.0) / 2.0;
    double quiet = 1.0;
    double windowSum = 0;
    int windowCount = 0;
    double windowStart = 0;
    const auto onVideo = [&](const AVFrame* frame, double start) {
        double sum = 0;
        for (int y = 0; y < frame->height; ++y) {
            const uint8_t* row = frame->data[0] + y * frame->linesize[0];
            for (int x = 0; x < frame->width; ++x)
                sum += row[x];
        }
        const bool white = sum / (frame->width * frame->height) > 200;
        if (white && !wasWhite)
            marks.whiteFrames.push_back(start);
        wasWhite = white;
    };
    const auto onAudio = [&](const AVFrame* frame, double start) {
        const int rateHz = frame->sample_rate;
        marks.soundEnd = std::max(marks.soundEnd, start + double(frame->nb_samples) / rateHz);
        const int window = std::max(1, rateHz / 500);
        const auto* samples = reinterpret_cast<const float*>(frame->extended_data[0]);
        for (int i = 0; i < frame->nb_samples; ++i) {
            if (windowCount == 0)
                windowStart = start + static_cast<double>(i) / rateHz;
            windowSum += static_cast<double>(samples[i]) * samples[i];
            if (++windowCount < window)
                continue;
            const double level = std::sqrt(windowSum / windowCount);
            if (level >= threshold) {
                if (quiet >= 0.3)
                    marks.toneStarts.push_back(windowStart);
                quiet = 0;
            } else {
                quiet += static_cast<double>(windowCount) / rateHz;
            }
            windowSum = 0;
            windowCount = 0;
        }
    };
    decodeFile(path, onVideo, onAudio, marks.error);
    return marks;
}

double soundLevel(const std::string& path) {
    double sum = 0;
    long count = 0;
    std::string error;
    const bool ok = decodeFile(
        path, [](const AVFrame*, double) {},
        [&](const AVFrame* frame, double) {
            const auto* samples = reinterpret_cast<const float*>(frame->extended_data[0]);
            for (int i = 0; i < frame->nb_samples; ++i)
                sum += static_cast<double>(samples[i]) * samples[i];
            count += frame->nb_samples;
        },
        error);
    return ok && count > 0 ? std::sqrt(sum / static_cast<double>(count)) : -1;
}

AsfLayout readAsfLayout(const std::string& path) {
    AsfLayout layout;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Object GUIDs as they lie in the file (the first three fields little-endian).
    static const unsigned char kFileProperties[16] = {0xa1, 0xdc, 0xab, 0x8c, 0x47, 0xa9,
                                                      0xcf, 0x11, 0x8e, 0xe4, 0x00, 0xc0,
                                                      0x0c, 0x20, 0x53, 0x65};
    static const unsigned char kSimpleIndex[16] = {0x90, 0x08, 0x00, 0x33, 0xb1, 0xe5, 0xcf, 0x11,
                                                   0x89, 0xf4, 0x00, 0xa0, 0xc9, 0x03, 0x49, 0xcb};
    const size_t at = bytes.find(std::string(reinterpret_cast<const char*>(kFileProperties), 16));
    // GUID, size, file id, file size, creation, packets, play, send, preroll: 88 bytes, then
    // flags, minimum and maximum packet size, maximum bit rate.
    if (at == std::string::npos || bytes.size() < at + 104)
        return layout;
    const auto dword = [&](size_t offset) {
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(bytes[at + offset + size_t(i)]);
        return value;
    };
    layout.seekable = dword(88) & 2;
    layout.maxBitRate = dword(100);
    layout.indexed = bytes.find(std::string(reinterpret_cast<const char*>(kSimpleIndex), 16)) !=
                     std::string::npos;
    layout.ok = true;
    return layout;
}

SyncReport compareMarks(const SyncMarks& marks, double window) {
    SyncReport report;
    for (double white : marks.whiteFrames) {
        if (white < 0.2 || white > marks.soundEnd - 0.2)
            continue;
        double nearest = 1e9;
        for (double tone : marks.toneStarts)
            if (std::fabs(tone - white) < std::fabs(nearest))
                nearest = tone - white;
        if (std::fabs(nearest) > window)
            ++report.unmatched;
        else
            report.worstOffset = std::max(report.worstOffset, std::fabs(nearest));
    }
    return report;
}

} // namespace kerris::encoder::test
