// ffprobe and libavcodec readers for the movie tests.
#include "tests/browser_media/movie_probe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cmath>
#include <cstdio>
#include <memory>

namespace lumicart::media::testing {

namespace {

std::vector<std::string> runLines(const std::string& command) {
    std::vector<std::string> lines;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        lines.push_back(line);
    }
    ::pclose(pipe);
    return lines;
}

std::string quoted(const std::string& path) {
    std::string q = "'";
    for (char c : path)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

std::map<std::string, std::string> ProbeMovieStream(const std::string& path) {
    std::map<std::string, std::string> values;
    for (const auto& line :
         runLines("ffprobe -v error -select_streams v:0 -count_frames -show_streams "
                  "-of default=noprint_wrappers=1 " +
                  quoted(path) + " 2>/dev/null")) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

std::vector<bool> ProbeKeyFrames(const std::string& path) {
    std::vector<bool> keys;
    for (const auto& line :
         runLines("ffprobe -v error -select_streams v:0 -show_entries packet=flags "
                  "-of csv=p=0 " +
                  quoted(path) + " 2>/dev/null"))
        if (!line.empty())
            keys.push_back(line[0] == 'K');
    return keys;
}

std::vector<DecodedFrame> DecodeMovie(const std::string& path) {
    std::vector<DecodedFrame> frames;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return {};
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> formatGuard(
        format, [](AVFormatContext* f) { avformat_close_input(&f); });
    if (avformat_find_stream_info(format, nullptr) < 0)
        return {};
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0)
        return {};
    const AVCodec* decoder = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
    AVCodecContext* context = avcodec_alloc_context3(decoder);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> contextGuard(
        context, [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (!decoder || !context ||
        avcodec_parameters_to_context(context, format->streams[index]->codecpar) < 0 ||
        avcodec_open2(context, decoder, nullptr) < 0)
        return {};
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool ok = true;
    auto receive = [&] {
        while (avcodec_receive_frame(context, frame) == 0) {
            if (frame->format != AV_PIX_FMT_RGB555) {
                ok = false;
                return;
            }
            DecodedFrame out;
            out.width = frame->width;
            out.height = frame->height;
            out.rgb.resize(std::size_t(frame->width) * frame->height * 3);
            for (int y = 0; y < frame->height; ++y) {
                const auto* row =
                    reinterpret_cast<const uint16_t*>(frame->data[0] + frame->linesize[0] * y);
                for (int x = 0; x < frame->width; ++x) {
                    const uint16_t v = row[x];
                    uint8_t* p = &out.rgb[(std::size_t(y) * frame->width + x) * 3];
                    const int r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                    p[0] = uint8_t(r << 3 | r >> 2);
                    p[1] = uint8_t(g << 3 | g >> 2);
                    p[2] = uint8_t(b << 3 | b >> 2);
                }
            }
            frames.push_back(std::move(out));
        }
    };
    while (ok && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(context, packet) >= 0)
            receive();
        av_packet_unref(packet);
    }
    avcodec_send_packet(context, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    return ok ? frames : std::vector<DecodedFrame>{};
}

double FramePsnr(const DecodedFrame& decoded, const uint8_t* bgrBottomUp, int width, int height,
                 std::size_t stride) {
    if (decoded.width < width || decoded.height < height)
        return 0;
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = bgrBottomUp + stride * std::size_t(height - 1 - y);
        const uint8_t* dec = &decoded.rgb[std::size_t(y) * decoded.width * 3];
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = double(dec[3 * x + c]) - double(src[3 * x + (2 - c)]);
                sum += d * d;
            }
    }
    const double mse = sum / (double(width) * height * 3);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

} // namespace lumicart::media::testing
