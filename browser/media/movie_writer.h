// AVI movies: one video stream of Video 1 frames at 15 frames per second, written with FFmpeg.
#pragma once

#include "browser/media/bitmap_file.h"
#include "camera/cpi.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace lumicart::media {

constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

// The compression settings every movie uses, filled once by InitCompressionOptions.
struct CompressionOptions {
    uint32_t streamType = 0;
    uint32_t handler = 0;
    uint32_t keyFrameEvery = 0;
    uint32_t quality = 0;
    uint32_t bytesPerSecond = 0;
    uint32_t flags = 0;
};

// "vids", "MSVC", a key frame every 7 frames, the codec's default quality (-1), 6500 bytes per
// second, flags 8 (options valid).
CompressionOptions InitCompressionOptions();

// The stream header of a new movie.
struct StreamInfo {
    uint32_t streamType = 0;
    uint32_t handler = 0;
    uint32_t scale = 0, rate = 0; // frames per second = rate / scale
    uint32_t start = 0, length = 0;
    uint32_t quality = 0;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::string name;
};

inline constexpr const char* kMovieStreamName = "OVIK Animation";
inline constexpr uint32_t kMovieFramesPerSecond = 15;

// "vids", `handler`, 1 / 15, start 0, length 1, quality -1, the frame rectangle 0, 0, width,
// height and the name "OVIK Animation".
StreamInfo FillStreamInfo(uint32_t handler, int width, int height);

// A frame as the writer takes it: 24-bit pixels, B G R, rows bottom-up, `stride` bytes apart.
struct FrameView {
    const uint8_t* pixels = nullptr;
    int width = 0, height = 0;
    std::size_t stride = 0;
    uint32_t compression = 0;
};

// A camera picture record: rows of exactly width * 3 bytes.
FrameView ViewOf(const CpiImage* picture);
// A frame read from a bitmap file.
FrameView ViewOf(const Frame& frame);

// The codec's frame size for a picture: Video 1 codes blocks of 4 x 4 pixels, so each side is
// rounded up to a multiple of 4 (the extra pixels repeat the picture's last column and row).
int CodedSide(int side);

// One movie being written. Not copyable; the destructor closes a movie still open.
class MovieWriter {
public:
    explicit MovieWriter(const CompressionOptions& options = InitCompressionOptions());
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;
    ~MovieWriter();

    // Creates `fileName` (replacing a file of that name) with one video stream for frames of
    // the first frame's size and writes the container's header. False when the frame cannot
    // start a movie (no pixels, a size of 0, a compressed frame) or the file or codec cannot
    // be set up; a file that was created is then removed again.
    bool open(const std::string& fileName, const FrameView& first);
    // Encodes `frame` as frame `index`. False when no movie is open, the frame's size differs
    // from the first frame's, or the codec or file refuses it.
    bool WriteMovieFrame(int index, const FrameView& frame);
    // Finishes the file (the frames written so far stay) and releases everything; harmless
    // when nothing is open.
    void CloseMovieFile();

    bool isOpen() const { return m_open; }
    const std::string& fileName() const { return m_fileName; }
    const StreamInfo& streamInfo() const { return m_streamInfo; }
    int framesWritten() const { return m_framesWritten; }

private:
    struct Codec;
    bool drain(bool flushing);

    CompressionOptions m_options;
    StreamInfo m_streamInfo;
    std::unique_ptr<Codec> m_codec;
    std::string m_fileName;
    bool m_open = false;
    int m_framesWritten = 0;
};

} // namespace lumicart::media
