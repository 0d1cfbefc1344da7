// The camera's memory: a header table and the stored pictures as bunched raw frames.
#pragma once

#include "devices/virtualcam/raw_frame.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace kerris::virtualcam {

// Memory layout. Header i (16 bytes) sits at (i + 16) * 16; frames and thumbnails follow
// from kPictureArea, each aligned to 256 bytes.
inline constexpr uint32_t kMemorySize = 32u << 20;
inline constexpr uint32_t kHeaderTable = 0x100;
inline constexpr uint32_t kHeaderSize = 16;
inline constexpr uint32_t kMaxPictures = 1024;
inline constexpr uint32_t kPictureArea = 0x10000;
inline constexpr FrameSize kThumbnailFrame{kThumbnailWidth + 2 * kFrameBorder,
                                           kThumbnailHeight + 2 * kFrameBorder};

// When a picture was taken, as its header reports it.
struct TakenAt {
    uint16_t year = 2000;
    uint8_t month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Local time of a clock reading; 2000-01-01 00:00:00 when it cannot be converted.
TakenAt takenAt(std::time_t seconds);

struct StoredPicture {
    const ImageFormat* format = nullptr;
    FrameSize frame{0, 0};
    uint32_t frameAddress = 0;
    uint32_t thumbnailAddress = 0;
    TakenAt taken;
    uint8_t flags = 0;
    std::string source; // file name it was made from, or "" for a taken picture
};

// Header layout in memory (big-endian): bytes 0-3 frame address, 4-5 year, 6-7 month << 8 |
// day, 8 hour, 9 minute, 10 second, 11 flags, 12-15 raw frame size. The descriptor commands
// report bytes 4-11 as descriptor words 1-2, bytes 1-3 and the flags.
class PictureStore {
public:
    PictureStore(const ColourModel& model, uint8_t flags);

    // Stores the 24-bit bitmap files of `folder`, sorted by name; files that do not decode are
    // skipped, and so is everything once the memory or the table is full. With
    // `forcedFormat` every picture is made in that format, else each in the format that fits.
    void loadFolder(const std::string& folder, const ImageFormat* forcedFormat);

    // Stores a picture as the next one (or in place of picture `index`); false when the
    // memory or the table is full or the index is out of range.
    bool add(const Picture& picture, const ImageFormat& format, const TakenAt& taken,
             std::string source = {});
    bool replace(size_t index, const Picture& picture, const ImageFormat& format,
                 const TakenAt& taken);
    // Forgets every picture from `count` on.
    void truncate(size_t count);

    size_t count() const { return m_pictures.size(); }
    const StoredPicture& at(size_t index) const { return m_pictures[index]; }

    // Memory access; false when [address, address + length) leaves the memory. Memory that
    // was never written reads as 0.
    bool read(uint32_t address, uint8_t* out, uint32_t length) const;
    bool write(uint32_t address, const uint8_t* in, uint32_t length);

    // The picture frames as the receiving side reproduces them, for checks.
    const ColourModel& colourModel() const { return m_model; }

private:
    bool place(StoredPicture& stored, const Picture& picture, const ImageFormat& format);
    void writeHeader(size_t index);

    ColourModel m_model;
    uint8_t m_flags;
    std::vector<StoredPicture> m_pictures;
    std::vector<uint8_t> m_memory; // grows on demand up to kMemorySize
    uint32_t m_next = kPictureArea;
};

} // namespace kerris::virtualcam
