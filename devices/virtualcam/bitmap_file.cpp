// The camera's picture files (24 bits per pixel, no compression) over the suite's bitmap codec.
#include "devices/virtualcam/bitmap_file.h"

#include "platform/bitmap/bitmap_encoder.h"
#include "platform/bitmap/bitmap_file.h"
#include "platform/bitmap/row_decoder.h"
#include "platform/fs/safe_file.h"

#include <cstring>

namespace kerris::virtualcam {

namespace {

std::optional<Picture> fail(std::string* error, const char* text) {
    if (error)
        *error = text;
    return std::nullopt;
}

} // namespace

std::optional<Picture> decodeBitmap(const uint8_t* data, size_t size, std::string* error) {
    bitmap::ReadRules rules;
    rules.maxSide = kMaxBitmapSide;
    bitmap::BitmapView view;
    if (bitmap::BitmapError e = bitmap::parseBitmapFile(data, size, view, rules);
        e != bitmap::BitmapError::None)
        return fail(error, bitmap::bitmapErrorText(e));
    if (view.info.planes != 1 || view.info.bitCount != 24 ||
        view.info.compression != bitmap::kCompressionNone)
        return fail(error, "only uncompressed 24-bit bitmaps are served");
    const std::optional<bitmap::RowDecoder> decoder = bitmap::RowDecoder::create(view);
    if (!decoder)
        return fail(error, "bitmap file is shorter than its pixels");
    Picture picture(decoder->width(), decoder->rows());
    for (int y = 0; y < picture.height; ++y)
        decoder->decode(y, picture.pixel(0, y));
    return picture;
}

std::optional<Picture> readBitmapFile(const std::filesystem::path& file, std::string* error) {
    // Anything larger than the largest bitmap we accept is refused before reading it whole.
    const uint64_t maxBytes =
        64 + uint64_t(kMaxBitmapSide) * (uint64_t(kMaxBitmapSide) * 3 + 3) + 4096;
    std::vector<uint8_t> bytes;
    if (bitmap::BitmapError e = bitmap::readFileBytes(file.string(), bytes, maxBytes);
        e != bitmap::BitmapError::None)
        return fail(error, e == bitmap::BitmapError::CannotOpen ? "cannot open file"
                                                                : "file too large or unreadable");
    return decodeBitmap(bytes.data(), bytes.size(), error);
}

std::vector<uint8_t> encodeBitmap(const Picture& picture) {
    auto encoder = bitmap::BitmapEncoder::create(picture.width, picture.height, 24);
    if (!encoder)
        return {};
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(encoder->row(y), picture.pixel(0, y), size_t(picture.width) * 3);
    return encoder->bytes();
}

bool writeBitmapFile(const std::filesystem::path& file, const Picture& picture) {
    const std::vector<uint8_t> bytes = encodeBitmap(picture);
    if (bytes.empty())
        return false;
    std::string error;
    return fs::writeFile(file.string(), bytes.data(), bytes.size(), fs::Commit::Replace, error) ==
           fs::CommitResult::Committed;
}

} // namespace kerris::virtualcam
