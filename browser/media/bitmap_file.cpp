// Writing picture records as bitmap files, and reading bitmap files back as 24-bit frames.
#include "browser/media/bitmap_file.h"

#include "platform/fs/regular_file.h"
#include "platform/fs/safe_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

namespace lumicart::media {

namespace {

std::atomic<long> g_writeFaultAfter{-1};
std::atomic<int> g_writeFaultFilesFirst{0};

void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

uint16_t get16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

} // namespace

void SetBitmapWriteFaultForTesting(long bytes, int filesFirst) {
    g_writeFaultAfter = bytes;
    g_writeFaultFilesFirst = filesFirst;
}

std::optional<BitmapFileLayout> PictureBitmapLayout(const CpiImage& header) {
    BitmapFileLayout layout;
    if (header.coloursUsed != 0)
        layout.colourCount = header.coloursUsed;
    else if (header.bitsPerPixel <= 8)
        layout.colourCount = 1u << header.bitsPerPixel;
    if (header.compression == kCompressionNone) {
        if (header.width <= 0 || header.height <= 0 || header.bitsPerPixel == 0)
            return std::nullopt;
        const uint64_t rowBytes = (uint64_t(header.width) * header.bitsPerPixel + 31) / 32 * 4;
        const uint64_t size = rowBytes * uint64_t(header.height);
        if (size > std::numeric_limits<uint32_t>::max())
            return std::nullopt;
        layout.imageSize = uint32_t(size);
    } else {
        if (header.imageSize == 0)
            return std::nullopt;
        layout.imageSize = header.imageSize;
    }
    const uint64_t offset = 54 + 4 * uint64_t(layout.colourCount);
    const uint64_t fileSize = offset + layout.imageSize;
    if (fileSize > std::numeric_limits<uint32_t>::max())
        return std::nullopt;
    layout.pixelOffset = uint32_t(offset);
    layout.fileSize = uint32_t(fileSize);
    return layout;
}

PictureWrite WritePictureBitmapFile(void* record, std::size_t recordBytes,
                                    const std::string& fileName, std::string& error) {
    if (!record || recordBytes < kBitmapInfoHeaderSize || fileName.empty()) {
        error = "there is no picture to write";
        return PictureWrite::Failed;
    }
    auto* header = static_cast<CpiImage*>(record);
    const auto layout = PictureBitmapLayout(*header);
    if (!layout) {
        error = "the picture has no valid size";
        return PictureWrite::Failed;
    }
    if (layout->recordBytes() > recordBytes) {
        error = "the picture record is shorter than its header says";
        return PictureWrite::Failed;
    }
    if (header->compression == kCompressionNone)
        header->imageSize = layout->imageSize;

    uint8_t fileHeader[kBitmapFileHeaderSize] = {};
    put16(fileHeader, kBitmapMagic);
    put32(fileHeader + 2, layout->fileSize);
    put32(fileHeader + 10, layout->pixelOffset);

    auto file = kerris::fs::SafeFile::create(fileName, error);
    if (!file)
        return PictureWrite::Failed;
    // The test fault: this file stops after so many bytes, as a full disk would.
    long fault = g_writeFaultAfter.load();
    if (fault >= 0 && g_writeFaultFilesFirst.fetch_sub(1) > 0)
        fault = -1;
    std::size_t budget = fault >= 0 ? std::size_t(fault) : SIZE_MAX;
    auto put = [&](const void* data, std::size_t size) {
        const std::size_t now = std::min(size, budget);
        budget -= now;
        if (!file->write(data, now))
            return false;
        if (now < size) {
            error = "cannot write: no room (test fault)";
            return false;
        }
        return true;
    };
    if (!put(fileHeader, sizeof fileHeader) || !put(record, layout->recordBytes())) {
        if (error.empty())
            error = file->error();
        return PictureWrite::Failed;
    }
    switch (file->commit(kerris::fs::Commit::NoReplace)) {
    case kerris::fs::CommitResult::Committed:
        return PictureWrite::Written;
    case kerris::fs::CommitResult::NameTaken:
        error = "the name is taken";
        return PictureWrite::NameTaken;
    case kerris::fs::CommitResult::Failed:
        break;
    }
    error = file->error();
    return PictureWrite::Failed;
}

bool WritePictureBitmap(void* record, std::size_t recordBytes, const std::string& fileName) {
    std::string error;
    return WritePictureBitmapFile(record, recordBytes, fileName, error) == PictureWrite::Written;
}

Frame::Frame(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    const std::size_t size = strideFor(width) * std::size_t(height);
    m_block.assign(kBitmapInfoHeaderSize + size, 0);
    auto* h = reinterpret_cast<CpiImage*>(m_block.data());
    h->headerSize = kBitmapInfoHeaderSize;
    h->width = width;
    h->height = height;
    h->planes = 1;
    h->bitsPerPixel = 24;
    h->compression = kCompressionNone;
    h->imageSize = uint32_t(size);
}

namespace {

// Largest side accepted; keeps every size computation far from overflow.
constexpr int32_t kMaxSide = 1 << 15;
// Largest bitmap file read into memory.
constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t(1) << 30;

struct MaskChannel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    uint8_t extract(uint32_t value) const {
        if (!mask)
            return 0;
        const uint32_t v = (value & mask) >> shift;
        if (bits >= 8)
            return uint8_t(v >> (bits - 8));
        const uint32_t max = (1u << bits) - 1;
        return uint8_t((v * 255 + max / 2) / max);
    }
};

MaskChannel channelOf(uint32_t mask) {
    MaskChannel c;
    c.mask = mask;
    if (!mask)
        return c;
    while (!(mask & 1)) {
        mask >>= 1;
        ++c.shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++c.bits;
    }
    return c;
}

// Reads exactly `size` bytes; false when the file ends early or a read fails.
bool readAll(int fd, uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

std::optional<Frame> reject(BitmapReadError why, BitmapReadError* error) {
    if (error)
        *error = why;
    return std::nullopt;
}

} // namespace

std::optional<Frame> ReadBitmapFile(const std::string& fileName, BitmapReadError* error) {
    if (error)
        *error = BitmapReadError::None;
    // Only a regular file is opened, and never so that a FIFO of that name could hold us.
    const int fd = kerris::fs::openRegularFileForReading(fileName);
    if (fd < 0)
        return reject(BitmapReadError::CannotOpen, error);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return reject(BitmapReadError::CannotOpen, error);
    }
    const std::uintmax_t fileSize = std::uintmax_t(st.st_size);
    if (fileSize < kBitmapFileHeaderSize || fileSize > kMaxFileBytes) {
        ::close(fd);
        return reject(BitmapReadError::NotBitmap, error);
    }
    std::vector<uint8_t> data(static_cast<std::size_t>(fileSize));
    const bool whole = readAll(fd, data.data(), data.size());
    ::close(fd);
    if (!whole)
        return reject(BitmapReadError::CannotOpen, error);

    const uint8_t* p = data.data();
    if (get16(p) != kBitmapMagic)
        return reject(BitmapReadError::NotBitmap, error);
    const uint32_t pixelOffset = get32(p + 10);
    if (pixelOffset > data.size())
        return reject(BitmapReadError::OffsetPastEnd, error);
    if (pixelOffset < kBitmapFileHeaderSize + kBitmapInfoHeaderSize)
        return reject(BitmapReadError::HeaderTooShort, error);
    const uint32_t infoSize = get32(p + 14);
    if (infoSize < kBitmapInfoHeaderSize || infoSize > pixelOffset - kBitmapFileHeaderSize)
        return reject(BitmapReadError::HeaderTooShort, error);

    const int32_t width = int32_t(get32(p + 18));
    const int32_t rawHeight = int32_t(get32(p + 22));
    const uint16_t bits = get16(p + 28);
    const uint32_t compression = get32(p + 30);
    uint32_t imageSize = get32(p + 34);
    const uint32_t coloursUsed = get32(p + 46);
    if (width <= 0 || rawHeight == 0 || width > kMaxSide || rawHeight > kMaxSide ||
        rawHeight < -kMaxSide)
        return reject(BitmapReadError::BadDimensions, error);
    const bool topDown = rawHeight < 0;
    const int32_t height = topDown ? -rawHeight : rawHeight;

    const bool bitfields = compression == kCompressionBitfields && (bits == 16 || bits == 32);
    if (!(compression == kCompressionNone || bitfields))
        return reject(BitmapReadError::Unsupported, error);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return reject(BitmapReadError::Unsupported, error);

    const std::size_t rowBytes = (std::size_t(width) * bits + 31) / 32 * 4;
    const std::size_t needed = rowBytes * std::size_t(height);
    if (imageSize == 0)
        imageSize = uint32_t(std::min<std::size_t>(needed, std::numeric_limits<uint32_t>::max()));
    const std::size_t available = data.size() - pixelOffset;
    if (available < imageSize || available < needed)
        return reject(BitmapReadError::PixelsShort, error);

    // Colour table, or the channel masks of 16- and 32-bit pixels.
    std::vector<uint8_t> palette; // B G R per entry
    MaskChannel red, green, blue;
    const std::size_t tableStart = kBitmapFileHeaderSize + infoSize;
    if (bits <= 8) {
        std::size_t count = coloursUsed ? coloursUsed : (std::size_t(1) << bits);
        if (count > 256 || tableStart + 4 * count > pixelOffset)
            return reject(BitmapReadError::PaletteOutside, error);
        palette.assign(3 * 256, 0);
        for (std::size_t i = 0; i < count; ++i)
            std::memcpy(&palette[3 * i], p + tableStart + 4 * i, 3);
    } else if (bits == 16 || bits == 32) {
        uint32_t masks[3];
        if (bitfields) {
            // The masks follow a 40-byte header, or lie inside a larger one at the same place.
            const std::size_t at = kBitmapFileHeaderSize + kBitmapInfoHeaderSize;
            if (at + 12 > pixelOffset)
                return reject(BitmapReadError::PaletteOutside, error);
            for (int i = 0; i < 3; ++i)
                masks[i] = get32(p + at + 4 * i);
        } else if (bits == 16) {
            masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
        } else {
            masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
        }
        red = channelOf(masks[0]);
        green = channelOf(masks[1]);
        blue = channelOf(masks[2]);
    }

    Frame frame(width, height);
    const uint8_t* pixels = p + pixelOffset;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = pixels + rowBytes * std::size_t(y);
        uint8_t* dst = frame.row(topDown ? height - 1 - y : y);
        for (int32_t x = 0; x < width; ++x, dst += 3) {
            switch (bits) {
            case 24:
                std::memcpy(dst, src + 3 * x, 3);
                break;
            case 1:
            case 4:
            case 8: {
                const std::size_t bit = std::size_t(x) * bits;
                const unsigned shift = 8 - bits - unsigned(bit % 8);
                const unsigned index = (src[bit / 8] >> shift) & ((1u << bits) - 1);
                std::memcpy(dst, &palette[3 * index], 3);
                break;
            }
            case 16:
            case 32: {
                const uint32_t v = bits == 16 ? get16(src + 2 * x) : get32(src + 4 * x);
                dst[0] = blue.extract(v);
                dst[1] = green.extract(v);
                dst[2] = red.extract(v);
                break;
            }
            }
        }
    }
    return frame;
}

} // namespace lumicart::media
