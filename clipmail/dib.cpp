// CDib: file loading, attaching, archive reading and writing, palette and drawable picture,
// over the suite's bitmap codec.
#include "clipmail/dib.h"

#include "clipmail/message_box.h"
#include "platform/bitmap/bitmap_file.h"
#include "platform/bitmap/row_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kerris::clipmail {
namespace {

struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
};
using HeapBlock = std::unique_ptr<uint8_t, FreeDeleter>;

HeapBlock copyBlock(const uint8_t* data, size_t size) {
    HeapBlock block(static_cast<uint8_t*>(std::malloc(size ? size : 1)));
    if (block && size)
        std::memcpy(block.get(), data, size);
    return block;
}

} // namespace

int64_t dibColourCount(const BitmapInfoHeader& h, int64_t previous) {
    const std::optional<uint32_t> count = bitmap::colourCountOf(h);
    return count ? int64_t(*count) : previous;
}

int64_t dibImageSize(const BitmapInfoHeader& h) {
    return int64_t(bitmap::imageBytesOf(h));
}

CDib::~CDib() {
    Clear();
}

BitmapInfoHeader CDib::header() const {
    return m_header ? BitmapInfoHeader::decode(m_header) : BitmapInfoHeader{};
}

void CDib::adopt(const bitmap::BitmapView& view) {
    m_view = view;
    // The codec bounds the sides and the file's size, so both fit the signed 32-bit fields.
    m_colourCount = int32_t(view.colourCount);
    m_imageSize = int32_t(view.imageBytes);
    m_colourTable = const_cast<uint8_t*>(view.colourTable);
    m_bits = const_cast<uint8_t*>(view.pixels);
}

bool CDib::Attach(uint8_t* header, int mode, GlobalBlock* global, size_t available) {
    Clear();
    if (!header)
        return false;
    bitmap::BitmapView view;
    if (bitmap::parsePackedBitmap(header, available, view) != bitmap::BitmapError::None)
        return false; // nothing is taken: the caller keeps its memory
    m_header = header;
    adopt(view);
    if (mode == 0) {
        m_headerOwnership = HeaderOwnership::Borrowed;
    } else if (global) {
        m_headerOwnership = HeaderOwnership::Global;
        m_global = global;
    } else {
        m_headerOwnership = HeaderOwnership::Heap;
    }
    MakePalette();
    return true;
}

bool CDib::LoadMapped(const std::string& path, bool /*shareRead*/) {
    Clear();
    std::vector<uint8_t> bytes;
    const bitmap::BitmapError read = bitmap::readFileBytes(path, bytes);
    if (read == bitmap::BitmapError::CannotOpen ||
        (read == bitmap::BitmapError::None && bytes.empty())) {
        showMessage(kEmptyBitmapFile);
        return false;
    }
    bitmap::BitmapView view;
    if (read != bitmap::BitmapError::None ||
        bitmap::parseBitmapFile(bytes.data(), bytes.size(), view) != bitmap::BitmapError::None) {
        showMessage(kInvalidBitmapFile);
        return false;
    }
    // The vector's buffer moves with it, so the view's pointers stay valid.
    m_file = std::move(bytes);
    m_header = const_cast<uint8_t*>(view.header);
    m_headerOwnership = HeaderOwnership::Borrowed;
    adopt(view);
    MakePalette();
    return true;
}

bool CDib::Serialize(Archive& archive) {
    try {
        archive.flush();
    } catch (const ArchiveException&) {
        showMessage(archive.isLoading() ? kReadErrorFile : kWriteError);
        if (archive.isLoading())
            Clear();
        return false;
    }
    return archive.isLoading() ? readFrom(archive) : writeTo(archive);
}

bool CDib::readFrom(Archive& archive) {
    Clear();
    const char* failure = nullptr;
    try {
        std::vector<uint8_t> file(kFileHeaderSize);
        if (archive.read(file.data(), kFileHeaderSize) != kFileHeaderSize) {
            failure = kReadErrorShort;
        } else if (bitmap::FileHeader::decode(file.data()).magic != kBitmapType) {
            failure = kInvalidBitmapFile;
        } else {
            // The bitmap takes its header area and its pixels from the archive, no more (other
            // objects may follow it); each part must lie inside the file before anything is
            // allocated for it, and the codec then checks the whole as it checks a file.
            const uint32_t offBits = bitmap::FileHeader::decode(file.data()).pixelOffset;
            const uint64_t left = archive.remaining();
            if (offBits < kFileHeaderSize + kInfoHeaderSize || offBits - kFileHeaderSize > left) {
                failure = kInvalidBitmapFile;
            } else {
                const size_t headerBytes = offBits - kFileHeaderSize;
                file.resize(offBits);
                if (archive.read(file.data() + kFileHeaderSize, headerBytes) != headerBytes)
                    throw ArchiveException("short header");
                const BitmapInfoHeader h = BitmapInfoHeader::decode(file.data() + kFileHeaderSize);
                uint64_t pixels = bitmap::imageBytesOf(h);
                if (h.compression == bitmap::kCompressionNone ||
                    h.compression == bitmap::kCompressionBitfields)
                    pixels = std::max(pixels, bitmap::rowStride(h.width, h.bitCount) *
                                                  bitmap::rowCount(h.height));
                bitmap::BitmapView view;
                if (pixels > archive.remaining() || pixels > bitmap::kMaxBitmapFileBytes) {
                    failure = kInvalidBitmapFile;
                } else {
                    file.resize(offBits + size_t(pixels));
                    if (archive.read(file.data() + offBits, size_t(pixels)) != pixels)
                        throw ArchiveException("short bits");
                    if (bitmap::parseBitmapFile(file.data(), file.size(), view) !=
                        bitmap::BitmapError::None) {
                        failure = kInvalidBitmapFile;
                    } else {
                        HeapBlock header = copyBlock(view.header, headerBytes);
                        HeapBlock bits = copyBlock(view.pixels, size_t(view.pixelBytes));
                        if (!header || !bits)
                            throw ArchiveException("out of memory");
                        bitmap::BitmapView own = view;
                        own.header = header.get();
                        own.colourTable = header.get() + (view.colourTable - view.header);
                        own.pixels = bits.get();
                        m_header = header.release();
                        m_headerOwnership = HeaderOwnership::Heap;
                        adopt(own);
                        m_bits = bits.release();
                        m_ownsBits = true;
                    }
                }
            }
        }
    } catch (const ArchiveException&) {
        failure = kReadErrorFile;
    }
    if (failure) {
        Clear();
        showMessage(failure);
        return false;
    }
    MakePalette();
    return true;
}

bool CDib::writeTo(Archive& archive) {
    if (!m_header) {
        showMessage(kWriteError);
        return false;
    }
    try {
        uint8_t fileHeader[kFileHeaderSize] = {};
        const uint32_t tableBytes = 4 * uint32_t(m_colourCount);
        bitmap::FileHeader file;
        file.fileSize =
            uint32_t(m_imageSize) + tableBytes + uint32_t(kInfoHeaderSize + kFileHeaderSize);
        file.pixelOffset = tableBytes + uint32_t(kFileHeaderSize + kInfoHeaderSize);
        file.encode(fileHeader);
        archive.write(fileHeader, sizeof fileHeader);
        archive.write(m_header, kInfoHeaderSize);
        archive.write(m_colourTable, tableBytes);
        archive.write(m_bits, size_t(m_imageSize));
        // Errors of buffered output surface here rather than after the caller has moved on.
        archive.flush();
    } catch (const ArchiveException&) {
        showMessage(kWriteError);
        return false;
    }
    return true;
}

QSize CDib::Size() const {
    if (!m_header)
        return QSize(0, 0);
    BitmapInfoHeader h = BitmapInfoHeader::decode(m_header);
    return QSize(h.width, h.height);
}

bool CDib::MakePalette() {
    if (m_colourCount == 0)
        return false;
    m_palette.clear();
    m_palette.reserve(m_colourCount);
    for (int32_t i = 0; i < m_colourCount; ++i) {
        const uint8_t* q = m_colourTable + 4 * i; // blue, green, red, reserved
        m_palette.append(qRgb(q[2], q[1], q[0]));
    }
    m_hasPalette = true;
    return true;
}

QImage CDib::CreateDeviceBitmap() const {
    if (!m_header || m_imageSize == 0)
        return QImage();
    // The program draws the bits of the image size alone: rows past it draw nothing.
    bitmap::BitmapView view = m_view;
    view.pixelBytes = uint64_t(m_imageSize);
    const std::optional<bitmap::RowDecoder> decoder = bitmap::RowDecoder::create(view);
    if (!decoder)
        return QImage();
    QImage image(decoder->width(), decoder->rows(), QImage::Format_RGB32);
    if (image.isNull())
        return QImage();
    std::vector<uint8_t> bgr(size_t(decoder->width()) * 3);
    for (int32_t y = 0; y < decoder->rows(); ++y) {
        decoder->decode(y, bgr.data());
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int32_t x = 0; x < decoder->width(); ++x)
            dst[x] = qRgb(bgr[3 * size_t(x) + 2], bgr[3 * size_t(x) + 1], bgr[3 * size_t(x)]);
    }
    return image;
}

void CDib::Clear() {
    m_file = {};
    if (m_header) {
        if (m_headerOwnership == HeaderOwnership::Heap) {
            std::free(m_header);
        } else if (m_headerOwnership == HeaderOwnership::Global) {
            globalUnlock(m_global);
            globalFree(m_global);
        }
    }
    if (m_ownsBits)
        std::free(m_bits);
    m_palette.clear();
    m_hasPalette = false;
    m_colourTable = nullptr;
    m_bits = nullptr;
    m_header = nullptr;
    m_global = nullptr;
    m_headerOwnership = HeaderOwnership::Borrowed;
    m_ownsBits = false;
    m_imageSize = 0;
    m_colourCount = 0;
    m_view = {};
}

} // namespace kerris::clipmail
