// CDib: mapped loading, attaching, archive reading and writing, palette and drawable picture.
#include "clipmail/dib.h"

#include "clipmail/message_box.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace kerris::clipmail {
namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

constexpr uint32_t kCompressionRgb = 0;
constexpr int64_t kMaxBlock = std::numeric_limits<int32_t>::max();

struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
};
using HeapBlock = std::unique_ptr<uint8_t, FreeDeleter>;

} // namespace

BitmapInfoHeader BitmapInfoHeader::decode(const uint8_t* b) {
    BitmapInfoHeader h;
    h.size = le32(b);
    h.width = int32_t(le32(b + 4));
    h.height = int32_t(le32(b + 8));
    h.planes = le16(b + 12);
    h.bitCount = le16(b + 14);
    h.compression = le32(b + 16);
    h.sizeImage = le32(b + 20);
    h.xPelsPerMeter = int32_t(le32(b + 24));
    h.yPelsPerMeter = int32_t(le32(b + 28));
    h.clrUsed = le32(b + 32);
    h.clrImportant = le32(b + 36);
    return h;
}

void BitmapInfoHeader::encode(uint8_t* b) const {
    put32(b, size);
    put32(b + 4, uint32_t(width));
    put32(b + 8, uint32_t(height));
    put16(b + 12, planes);
    put16(b + 14, bitCount);
    put32(b + 16, compression);
    put32(b + 20, sizeImage);
    put32(b + 24, uint32_t(xPelsPerMeter));
    put32(b + 28, uint32_t(yPelsPerMeter));
    put32(b + 32, clrUsed);
    put32(b + 36, clrImportant);
}

int64_t dibColourCount(const BitmapInfoHeader& h, int64_t previous) {
    if (h.clrUsed != 0)
        return h.clrUsed;
    switch (h.bitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    case 16:
    case 24:
    case 32:
        return 0;
    default:
        return previous;
    }
}

int64_t dibImageSize(const BitmapInfoHeader& h) {
    if (h.sizeImage != 0)
        return h.sizeImage;
    // The bit width wraps as an unsigned 32-bit product, as the stored format defines it.
    uint32_t bitWidth = uint32_t(h.width) * uint32_t(h.bitCount);
    int64_t rowBytes = ((int64_t(bitWidth) + 31) / 32) * 4;
    int64_t rows = h.height < 0 ? -int64_t(h.height) : int64_t(h.height);
    return rowBytes * rows;
}

CDib::~CDib() { Clear(); }

BitmapInfoHeader CDib::header() const {
    return m_header ? BitmapInfoHeader::decode(m_header) : BitmapInfoHeader{};
}

bool CDib::computeLayout(size_t available) {
    if (!m_header || available < kInfoHeaderSize)
        return false;
    BitmapInfoHeader h = BitmapInfoHeader::decode(m_header);
    // Older, shorter headers place their fields elsewhere; this layout cannot read them.
    if (h.size < kInfoHeaderSize)
        return false;
    int64_t count = dibColourCount(h, m_colourCount);
    int64_t image = dibImageSize(h);
    if (count < 0 || image < 0 || count > kMaxBlock / 4 || image > kMaxBlock)
        return false;
    int64_t needed = int64_t(kInfoHeaderSize) + 4 * count + image;
    if (uint64_t(needed) > available)
        return false;
    m_colourCount = int32_t(count);
    m_imageSize = int32_t(image);
    m_colourTable = m_header + kInfoHeaderSize;
    m_bits = m_colourTable + 4 * m_colourCount;
    return true;
}

bool CDib::Attach(uint8_t* header, int mode, GlobalBlock* global, size_t available) {
    Clear();
    if (!header)
        return false;
    m_header = header;
    if (!computeLayout(available)) {
        // Nothing is taken: the caller keeps its memory.
        m_header = nullptr;
        Clear();
        return false;
    }
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

bool CDib::LoadMapped(const std::string& path, bool shareRead) {
    Clear();
    FileMapping mapping;
    if (!mapping.open(path, shareRead)) {
        showMessage(kEmptyBitmapFile);
        return false;
    }
    if (mapping.size() < 2 || le16(mapping.data()) != kBitmapType ||
        mapping.size() < kFileHeaderSize + kInfoHeaderSize) {
        showMessage(kInvalidBitmapFile);
        return false;
    }
    // The view is read-only; the object never writes through a borrowed header.
    auto* header = const_cast<uint8_t*>(mapping.data() + kFileHeaderSize);
    if (!Attach(header, 0, nullptr, mapping.size() - kFileHeaderSize)) {
        showMessage(kInvalidBitmapFile);
        return false;
    }
    m_mapping = std::move(mapping);
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
        uint8_t fileHeader[kFileHeaderSize];
        if (archive.read(fileHeader, sizeof fileHeader) != sizeof fileHeader) {
            failure = kReadErrorShort;
        } else if (le16(fileHeader) != kBitmapType) {
            failure = kInvalidBitmapFile;
        } else {
            uint32_t offBits = le32(fileHeader + 10);
            uint64_t left = archive.remaining();
            // The header and colour table must lie inside the file before anything is
            // allocated for them.
            if (offBits < kFileHeaderSize + kInfoHeaderSize || offBits - kFileHeaderSize > left) {
                failure = kInvalidBitmapFile;
            } else {
                size_t headerBytes = offBits - kFileHeaderSize;
                HeapBlock header(static_cast<uint8_t*>(std::calloc(headerBytes, 1)));
                if (!header)
                    throw ArchiveException("out of memory");
                if (archive.read(header.get(), headerBytes) != headerBytes)
                    throw ArchiveException("short header");
                BitmapInfoHeader h = BitmapInfoHeader::decode(header.get());
                int64_t count = dibColourCount(h, 0);
                int64_t image = dibImageSize(h);
                if (h.size < kInfoHeaderSize || count > kMaxBlock / 4 ||
                    int64_t(kInfoHeaderSize) + 4 * count > int64_t(headerBytes) ||
                    image > kMaxBlock || uint64_t(image) > archive.remaining()) {
                    failure = kInvalidBitmapFile;
                } else {
                    HeapBlock bits(static_cast<uint8_t*>(std::calloc(size_t(image ? image : 1), 1)));
                    if (!bits)
                        throw ArchiveException("out of memory");
                    if (archive.read(bits.get(), size_t(image)) != size_t(image))
                        throw ArchiveException("short bits");
                    m_header = header.release();
                    m_headerOwnership = HeaderOwnership::Heap;
                    m_bits = bits.release();
                    m_ownsBits = true;
                    m_imageSize = int32_t(image);
                    m_colourTable = m_header + kInfoHeaderSize;
                    m_colourCount = int32_t(count);
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
        put16(fileHeader, kBitmapType);
        uint32_t tableBytes = 4 * uint32_t(m_colourCount);
        put32(fileHeader + 2, uint32_t(m_imageSize) + tableBytes + uint32_t(kInfoHeaderSize) +
                                  uint32_t(kFileHeaderSize));
        put32(fileHeader + 10, tableBytes + uint32_t(kFileHeaderSize + kInfoHeaderSize));
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
    BitmapInfoHeader h = BitmapInfoHeader::decode(m_header);
    const int bpp = h.bitCount;
    if (h.compression != kCompressionRgb || h.width <= 0 || h.height == 0 ||
        !(bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32))
        return QImage();
    const int64_t width = h.width;
    const int64_t rows = h.height < 0 ? -int64_t(h.height) : int64_t(h.height);
    // Bound the sides before multiplying: a header may claim sides of 2^31 with a tiny image.
    if (width > 65535 || rows > 65535)
        return QImage();
    const int64_t stride = ((width * bpp + 31) / 32) * 4;
    if (stride * rows > m_imageSize)
        return QImage();
    QImage image(int(width), int(rows), QImage::Format_RGB32);
    if (image.isNull())
        return QImage();
    // Indices past the colour table draw black rather than reading beyond it.
    auto colourAt = [&](uint32_t index) -> QRgb {
        if (index >= uint32_t(m_colourCount))
            return qRgb(0, 0, 0);
        const uint8_t* q = m_colourTable + 4 * index;
        return qRgb(q[2], q[1], q[0]);
    };
    for (int64_t row = 0; row < rows; ++row) {
        // Positive heights store the bottom row first.
        int64_t srcRow = h.height > 0 ? rows - 1 - row : row;
        const uint8_t* src = m_bits + srcRow * stride;
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(int(row)));
        for (int64_t x = 0; x < width; ++x) {
            switch (bpp) {
            case 1:
                dst[x] = colourAt((src[x / 8] >> (7 - x % 8)) & 1);
                break;
            case 4:
                dst[x] = colourAt(x % 2 ? src[x / 2] & 0x0F : src[x / 2] >> 4);
                break;
            case 8:
                dst[x] = colourAt(src[x]);
                break;
            case 16: {
                uint16_t v = le16(src + 2 * x);
                auto five = [](int c) { return (c << 3) | (c >> 2); };
                dst[x] = qRgb(five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31));
                break;
            }
            case 24:
                dst[x] = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
                break;
            case 32:
                dst[x] = qRgb(src[4 * x + 2], src[4 * x + 1], src[4 * x]);
                break;
            }
        }
    }
    return image;
}

void CDib::Clear() {
    m_mapping.close();
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
}

} // namespace kerris::clipmail
