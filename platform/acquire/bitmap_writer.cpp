// Acquired images written as 24-bit bitmap files, over the suite's bitmap codec and safe file
// writer.
#include "platform/acquire/acquisition_source.h"

#include "platform/bitmap/bitmap_encoder.h"
#include "platform/fs/safe_file.h"

namespace kerris::acquire {

bool WriteRgbBitmap(const RgbImage& image, const std::string& fileName) {
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() != std::size_t(image.width) * std::size_t(image.height) * 3)
        return false;
    auto encoder = bitmap::BitmapEncoder::create(image.width, image.height, 24);
    if (!encoder)
        return false;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* src = &image.rgb[std::size_t(y) * std::size_t(image.width) * 3];
        uint8_t* dst = encoder->row(y);
        for (int x = 0; x < image.width; ++x, src += 3, dst += 3)
            dst[0] = src[2], dst[1] = src[1], dst[2] = src[0];
    }
    std::string error;
    return fs::writeFile(fileName, encoder->bytes().data(), encoder->bytes().size(),
                         fs::Commit::Replace, error) == fs::CommitResult::Committed;
}

} // namespace kerris::acquire
