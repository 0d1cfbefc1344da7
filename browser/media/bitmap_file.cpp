// Writing picture records as bitmap files, and reading bitmap files back as 24-bit frames.
#include "browser/media/bitmap_file.h"

#include "platform/fs/safe_file.h"

#include "platform/bitmap/bitmap_file.h"
#include "platform/bitmap/row_decoder.h"

#include <algorithm>
#include <atomic>
#include <limits>

namespace lumicart::media {

namespace {

std::atomic<long> g_writeFaultAfter{-1};
std::atomic<int> g_writeFaultFilesFirst{0};

} // namespace

void SetBitmapWriteFaultForTesting(long bytes, int filesFirst) {
    g_writeFaultAfter = bytes;
    g_writeFaultFilesFirst = filesFirst;
}

std::optional<BitmapFileLayout> PictureBitmapLayout(const CpiImage& header) {
    using namespace kerris::bitmap;
    BitmapFileLayout layout;
    if (header.coloursUsed != 0)
        layout.colourCount = header.coloursUsed;
    else if (header.bitsPerPixel <= 8)
        layout.colourCount = 1u << header.bitsPerPixel;
    if (header.compression == kCompressionNone) {
        if (header.width <= 0 || header.height <= 0 || header.bitsPerPixel == 0)
            return std::nullopt;
        const uint64_t size =
            rowStride(header.width, header.bitsPerPixel) * uint64_t(header.height);
        if (size > std::numeric_limits<uint32_t>::max())
            return std::nullopt;
        layout.imageSize = uint32_t(size);
    } else {
        if (header.imageSize == 0)
            return std::nullopt;
        layout.imageSize = header.imageSize;
    }
    const uint64_t offset = kFileHeaderSize + kInfoHeaderSize + 4 * uint64_t(layout.colourCount);
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
    if (header->compression == kerris::bitmap::kCompressionNone)
        header->imageSize = layout->imageSize;

    uint8_t fileHeader[kBitmapFileHeaderSize] = {};
    kerris::bitmap::FileHeader{kerris::bitmap::kBitmapMagic, layout->fileSize, layout->pixelOffset}
        .encode(fileHeader);

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
    h->compression = kerris::bitmap::kCompressionNone;
    h->imageSize = uint32_t(size);
}

std::optional<Frame> ReadBitmapFile(const std::string& fileName, BitmapReadError* error) {
    using namespace kerris::bitmap;
    if (error)
        *error = BitmapReadError::None;
    LoadedBitmap bitmap;
    ReadRules rules;
    rules.decodableOnly = true;
    if (BitmapError e = loadBitmapFile(fileName, bitmap, rules); e != BitmapError::None) {
        if (error)
            *error = e;
        return std::nullopt;
    }
    const std::optional<RowDecoder> decoder = RowDecoder::create(bitmap.view);
    if (!decoder) { // every decodable layout the reader accepts has a decoder: a safety net
        if (error)
            *error = BitmapError::Unsupported;
        return std::nullopt;
    }
    Frame frame(decoder->width(), decoder->rows());
    for (int32_t y = 0; y < decoder->rows(); ++y)
        decoder->decode(y, frame.row(decoder->rows() - 1 - y));
    return frame;
}

} // namespace lumicart::media
