// The movie writer over FFmpeg: the AVI muxer and the Video 1 encoder, frames turned into
// 15-bit RGB top-down with their size rounded up to whole 4 x 4 blocks.
#include "browser/media/movie_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
}

#include <array>
#include <cstdio>

namespace lumicart::media {

CompressionOptions InitCompressionOptions() {
    CompressionOptions options;
    options.streamType = FourCC('v', 'i', 'd', 's');
    options.handler = FourCC('M', 'S', 'V', 'C');
    options.keyFrameEvery = 7;
    options.quality = 0xFFFFFFFF;
    options.bytesPerSecond = 6500;
    options.flags = 8;
    return options;
}

StreamInfo FillStreamInfo(uint32_t handler, int width, int height) {
    StreamInfo info;
    info.streamType = FourCC('v', 'i', 'd', 's');
    info.handler = handler;
    info.scale = 1;
    info.rate = kMovieFramesPerSecond;
    info.start = 0;
    info.length = 1;
    info.quality = 0xFFFFFFFF;
    info.right = width;
    info.bottom = height;
    info.name = kMovieStreamName;
    return info;
}

FrameView ViewOf(const CpiImage* picture) {
    FrameView view;
    if (!picture)
        return view;
    view.pixels = reinterpret_cast<const uint8_t*>(picture) + sizeof(CpiImage);
    view.width = picture->width;
    view.height = picture->height;
    view.stride = std::size_t(std::max(picture->width, 0)) * 3;
    view.compression = picture->compression;
    return view;
}

FrameView ViewOf(const Frame& frame) {
    FrameView view;
    view.pixels = frame.pixels();
    view.width = frame.width();
    view.height = frame.height();
    view.stride = frame.stride();
    view.compression = frame.header().compression;
    return view;
}

int CodedSide(int side) {
    return (side + 3) & ~3;
}

namespace {

// 8-bit channel to 5 bits, rounded.
const std::array<uint16_t, 256>& fiveBitTable() {
    static const std::array<uint16_t, 256> table = [] {
        std::array<uint16_t, 256> t{};
        for (int v = 0; v < 256; ++v)
            t[std::size_t(v)] = uint16_t((v * 31 + 127) / 255);
        return t;
    }();
    return table;
}

// Fills the codec's RGB555 frame (top-down, coded size) from a bottom-up BGR24 view,
// repeating the last column and row into the padding.
void convertFrame(const FrameView& view, AVFrame* out) {
    const auto& five = fiveBitTable();
    for (int y = 0; y < out->height; ++y) {
        const int sourceRow = view.height - 1 - std::min(y, view.height - 1);
        const uint8_t* src = view.pixels + view.stride * std::size_t(sourceRow);
        auto* dst = reinterpret_cast<uint16_t*>(out->data[0] + std::size_t(out->linesize[0]) * y);
        int x = 0;
        for (; x < view.width; ++x, src += 3)
            dst[x] = uint16_t(five[src[2]] << 10 | five[src[1]] << 5 | five[src[0]]);
        for (; x < out->width; ++x)
            dst[x] = dst[view.width - 1];
    }
}

} // namespace

struct MovieWriter::Codec {
    AVFormatContext* format = nullptr;
    AVCodecContext* encoder = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    bool headerWritten = false;
    int width = 0, height = 0; // the pictures' size

    ~Codec() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&encoder);
        if (format) {
            if (format->pb)
                avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }
};

MovieWriter::MovieWriter(const CompressionOptions& options) : m_options(options) {}

MovieWriter::~MovieWriter() {
    CloseMovieFile();
}

bool MovieWriter::open(const std::string& fileName, const FrameView& first) {
    CloseMovieFile();
    m_streamInfo = FillStreamInfo(first.compression, first.width, first.height);
    if (!first.pixels || first.width <= 0 || first.height <= 0 || first.compression != 0 ||
        first.width > 0x7FFC || first.height > 0x7FFC)
        return false;

    auto codec = std::make_unique<Codec>();
    codec->width = first.width;
    codec->height = first.height;
    if (avformat_alloc_output_context2(&codec->format, nullptr, "avi", fileName.c_str()) < 0)
        return false;
    const AVCodec* video1 = avcodec_find_encoder(AV_CODEC_ID_MSVIDEO1);
    if (!video1 || !(codec->encoder = avcodec_alloc_context3(video1)))
        return false;
    AVCodecContext* enc = codec->encoder;
    enc->width = CodedSide(first.width);
    enc->height = CodedSide(first.height);
    enc->pix_fmt = AV_PIX_FMT_RGB555;
    enc->time_base = AVRational{int(m_streamInfo.scale), int(m_streamInfo.rate)};
    enc->framerate = AVRational{int(m_streamInfo.rate), int(m_streamInfo.scale)};
    // The Video 1 encoder codes a key frame once more than keyint_min frames followed the last
    // one, so "every 7 frames" (0, 7, 14, ...) is keyint_min 6.
    enc->gop_size = int(m_options.keyFrameEvery);
    enc->keyint_min = std::max(int(m_options.keyFrameEvery) - 1, 0);
    enc->codec_tag = m_options.handler;
    if (codec->format->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(enc, video1, nullptr) < 0)
        return false;

    codec->stream = avformat_new_stream(codec->format, nullptr);
    if (!codec->stream || avcodec_parameters_from_context(codec->stream->codecpar, enc) < 0)
        return false;
    codec->stream->codecpar->codec_tag = m_options.handler;
    codec->stream->codecpar->bit_rate = int64_t(m_options.bytesPerSecond) * 8;
    codec->stream->time_base = enc->time_base;
    codec->stream->avg_frame_rate = enc->framerate;
    av_dict_set(&codec->stream->metadata, "title", m_streamInfo.name.c_str(), 0);

    codec->frame = av_frame_alloc();
    codec->packet = av_packet_alloc();
    if (!codec->frame || !codec->packet)
        return false;
    codec->frame->format = enc->pix_fmt;
    codec->frame->width = enc->width;
    codec->frame->height = enc->height;
    if (av_frame_get_buffer(codec->frame, 0) < 0)
        return false;

    if (avio_open(&codec->format->pb, fileName.c_str(), AVIO_FLAG_WRITE) < 0)
        return false;
    if (avformat_write_header(codec->format, nullptr) < 0) {
        codec.reset();
        std::remove(fileName.c_str());
        return false;
    }
    codec->headerWritten = true;
    m_codec = std::move(codec);
    m_fileName = fileName;
    m_open = true;
    m_framesWritten = 0;
    return true;
}

bool MovieWriter::drain(bool flushing) {
    for (;;) {
        const int got = avcodec_receive_packet(m_codec->encoder, m_codec->packet);
        if (got == AVERROR(EAGAIN) || (flushing && got == AVERROR_EOF))
            return true;
        if (got < 0)
            return false;
        av_packet_rescale_ts(m_codec->packet, m_codec->encoder->time_base,
                             m_codec->stream->time_base);
        m_codec->packet->stream_index = m_codec->stream->index;
        if (av_interleaved_write_frame(m_codec->format, m_codec->packet) < 0)
            return false;
    }
}

bool MovieWriter::WriteMovieFrame(int index, const FrameView& frame) {
    if (!m_open || !frame.pixels || frame.width != m_codec->width ||
        frame.height != m_codec->height || frame.compression != 0 || index < 0)
        return false;
    AVFrame* out = m_codec->frame;
    if (av_frame_make_writable(out) < 0)
        return false;
    convertFrame(frame, out);
    out->pts = index;
    if (avcodec_send_frame(m_codec->encoder, out) < 0 || !drain(false))
        return false;
    ++m_framesWritten;
    return true;
}

void MovieWriter::CloseMovieFile() {
    if (!m_open)
        return;
    if (avcodec_send_frame(m_codec->encoder, nullptr) >= 0)
        drain(true);
    av_write_trailer(m_codec->format);
    m_codec.reset();
    m_open = false;
}

} // namespace lumicart::media
