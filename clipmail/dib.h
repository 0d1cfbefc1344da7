// CDib: one device-independent bitmap (information header, colour table, pixel bits), loaded
// from a bitmap file or read from / written to an archive, and turned into the pictures and
// palette that drawing needs. The file format and its checks are the suite's bitmap codec
// (platform/bitmap); this class keeps the program's own fields, ownership rules and messages.
#pragma once

#include "clipmail/archive.h"
#include "clipmail/global_memory.h"
#include "platform/bitmap/bitmap_format.h"
#include "platform/bitmap/bitmap_reader.h"

#include <QImage>
#include <QList>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kerris::clipmail {

using bitmap::kFileHeaderSize;
using bitmap::kInfoHeaderSize;
inline constexpr uint16_t kBitmapType = bitmap::kBitmapMagic; // "BM" read as little-endian

// The fields of the 40-byte bitmap information header, decoded from little-endian bytes.
using BitmapInfoHeader = bitmap::BitmapInfo;

// The message texts of the bitmap class, exactly as the user sees them.
inline constexpr const char* kEmptyBitmapFile = "Empty bitmap file";
inline constexpr const char* kInvalidBitmapFile = "Invalid bitmap file";
inline constexpr const char* kReadErrorShort = "read error 1";
inline constexpr const char* kReadErrorFile = "Read error 1";
inline constexpr const char* kWriteError = "write error";

class CDib {
public:
    // Who frees the header handed to Attach.
    enum class HeaderOwnership : int32_t { Borrowed = 0, Heap = 1, Global = 2 };

    CDib() = default;
    CDib(const CDib&) = delete;
    CDib& operator=(const CDib&) = delete;
    ~CDib();

    // Run-time class name for the serialisation frame.
    static constexpr const char* kClassName = "CDib";

    // Reads the whole bitmap file at path into a block of the object's own and uses header,
    // colour table and bits in place there. The file is read once and never mapped: a file
    // that another program rewrites or truncates later (a skin being installed again) cannot
    // touch the loaded picture. Failures show one message: "Empty bitmap file" (missing,
    // unreadable, not a regular file, or empty) or "Invalid bitmap file" (no "BM" type, a
    // header, colour table or bits that do not fit in the file, rows that claim more pixels
    // than the file holds, or a side past bitmap::kMaxBitmapSide); the object is then empty.
    // shareRead is kept for the callers' sake: files read here are always shared.
    bool LoadMapped(const std::string& path, bool shareRead);

    // Clears the object, then takes the header at `header`, of which `available` bytes are
    // readable (header, colour table and bits, in this order). mode 0 borrows the memory;
    // any other mode takes ownership: of `global` when given (the header must then be that
    // block's locked bytes), else of a std::malloc'ed block. False, with the object empty and
    // the memory still the caller's, when the header, colour table or bits would reach past
    // `available` bytes or a side lies past bitmap::kMaxBitmapSide.
    bool Attach(uint8_t* header, int mode, GlobalBlock* global, size_t available);

    // Reads (archive loading) or writes (archive storing) the bitmap as a bitmap file.
    // Messages: "read error 1" (fewer than 14 bytes), "Invalid bitmap file" (no "BM" type, or
    // parts reaching past the end of the file), "Read error 1" (the file failed),
    // "write error". The object is empty after a failed read.
    bool Serialize(Archive& archive);

    // (width, height) from the header, or (0, 0) without one.
    QSize Size() const;

    // The bitmap as a 32-bit picture, top row first; a null image when the object is empty,
    // the image size is 0, or the format is one the program does not draw (compressed, or a
    // bit count other than 1, 4, 8, 16, 24 and 32), or the bits are too few for the rows.
    QImage CreateDeviceBitmap() const;

    // Builds the palette from the colour table; false, changing nothing, when there is no
    // colour table.
    bool MakePalette();

    // Unmaps a mapped file, frees owned memory, drops the palette and empties every field.
    void Clear();

    bool isEmpty() const { return m_header == nullptr; }
    BitmapInfoHeader header() const;
    const uint8_t* colourTable() const { return m_colourTable; }
    const uint8_t* bits() const { return m_bits; }
    int32_t imageSize() const { return m_imageSize; }
    int32_t colourCount() const { return m_colourCount; }
    HeaderOwnership headerOwnership() const { return m_headerOwnership; }
    bool ownsBits() const { return m_ownsBits; }
    // True while the object holds a file read by LoadMapped.
    bool isMapped() const { return !m_file.empty(); }
    bool hasPalette() const { return m_hasPalette; }
    // One entry per colour-table entry, as 0xffRRGGBB.
    const QList<QRgb>& palette() const { return m_palette; }

private:
    bool readFrom(Archive& archive);
    bool writeTo(Archive& archive);
    // Takes colour count, image size, colour table and bits from a checked bitmap.
    void adopt(const bitmap::BitmapView& view);

    uint8_t* m_colourTable = nullptr;
    uint8_t* m_bits = nullptr;
    uint8_t* m_header = nullptr;
    GlobalBlock* m_global = nullptr;
    HeaderOwnership m_headerOwnership = HeaderOwnership::Borrowed;
    bool m_ownsBits = false;
    int32_t m_imageSize = 0;
    int32_t m_colourCount = 0;
    std::vector<uint8_t> m_file; // the bytes of a file read by LoadMapped
    bitmap::BitmapView m_view;   // the checked layout the pointers above were taken from
    bool m_hasPalette = false;
    QList<QRgb> m_palette;
};

// Colour count for a header: used-colours when non-zero, else 2 / 16 / 256 for 1 / 4 / 8 bits
// per pixel, 0 for 16, 24 and 32; `previous` for any other bit count.
int64_t dibColourCount(const BitmapInfoHeader& header, int64_t previous);
// Image size for a header: the image-size field when non-zero, else
// ceil(width x bits per pixel / 32) x 4 x |height|.
int64_t dibImageSize(const BitmapInfoHeader& header);

} // namespace kerris::clipmail
