// Pictures of the toolkit encoded as bitmap files through the suite's bitmap codec, and files
// written through the suite's safe file writer.
#include "clipmail/bitmap_writer.h"

#include "platform/bitmap/bitmap_encoder.h"
#include "platform/fs/safe_file.h"

namespace kerris::clipmail {
namespace {

int nearestIndex(const QList<QRgb>& palette, QRgb c) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < palette.size(); ++i) {
        long dr = qRed(c) - qRed(palette[i]), dg = qGreen(c) - qGreen(palette[i]),
             db = qBlue(c) - qBlue(palette[i]);
        long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

} // namespace

std::vector<uint8_t> encodeBitmapFile(const QImage& source, int bitCount,
                                      const QList<QRgb>& palette) {
    if (source.isNull() || !(bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24))
        return {};
    const bool indexed = bitCount != 24;
    std::vector<uint32_t> table;
    if (indexed)
        for (QRgb c : palette)
            table.push_back(c & 0xFFFFFF);
    auto encoder =
        bitmap::BitmapEncoder::create(source.width(), source.height(), uint16_t(bitCount), table);
    if (!encoder)
        return {};
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uint8_t* row = encoder->row(y);
        for (int x = 0; x < image.width(); ++x) {
            if (indexed) {
                encoder->setIndex(x, y, unsigned(nearestIndex(palette, src[x])));
            } else {
                row[3 * x] = uint8_t(qBlue(src[x]));
                row[3 * x + 1] = uint8_t(qGreen(src[x]));
                row[3 * x + 2] = uint8_t(qRed(src[x]));
            }
        }
    }
    return encoder->bytes();
}

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string error;
    return fs::writeFile(path, bytes.data(), bytes.size(), fs::Commit::Replace, error) ==
           fs::CommitResult::Committed;
}

} // namespace kerris::clipmail
