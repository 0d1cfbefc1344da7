// Bitmap file encoding for the skin generator and tests.
#include "clipmail/bitmap_writer.h"

#include "clipmail/dib.h"

#include <cstdio>
#include <filesystem>

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

std::vector<uint8_t> encodeBitmapFile(const QImage& source, int bitCount, const QList<QRgb>& palette) {
    if (source.isNull() || !(bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24))
        return {};
    const bool indexed = bitCount != 24;
    if (indexed && (palette.isEmpty() || palette.size() > (1 << bitCount)))
        return {};
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int w = image.width(), h = image.height();
    const size_t stride = ((size_t(w) * bitCount + 31) / 32) * 4;
    const size_t tableBytes = indexed ? 4 * size_t(palette.size()) : 0;
    const size_t offBits = kFileHeaderSize + kInfoHeaderSize + tableBytes;
    std::vector<uint8_t> out(offBits + stride * size_t(h), 0);
    out[0] = 'B';
    out[1] = 'M';
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put32(2, uint32_t(out.size()));
    put32(10, uint32_t(offBits));
    BitmapInfoHeader header;
    header.width = w;
    header.height = h;
    header.bitCount = uint16_t(bitCount);
    header.sizeImage = uint32_t(stride * size_t(h));
    header.xPelsPerMeter = header.yPelsPerMeter = 2835;
    header.clrUsed = indexed ? uint32_t(palette.size()) : 0;
    header.encode(out.data() + kFileHeaderSize);
    for (int i = 0; indexed && i < palette.size(); ++i) {
        uint8_t* q = out.data() + kFileHeaderSize + kInfoHeaderSize + 4 * size_t(i);
        q[0] = uint8_t(qBlue(palette[i]));
        q[1] = uint8_t(qGreen(palette[i]));
        q[2] = uint8_t(qRed(palette[i]));
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* row = out.data() + offBits + size_t(h - 1 - y) * stride;
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if (!indexed) {
                row[3 * x] = uint8_t(qBlue(src[x]));
                row[3 * x + 1] = uint8_t(qGreen(src[x]));
                row[3 * x + 2] = uint8_t(qRed(src[x]));
                continue;
            }
            const int index = nearestIndex(palette, src[x]);
            if (bitCount == 8) {
                row[x] = uint8_t(index);
            } else if (bitCount == 4) {
                row[x / 2] |= uint8_t(x % 2 ? index : index << 4);
            } else {
                row[x / 8] |= uint8_t(index << (7 - x % 8));
            }
        }
    }
    return out;
}

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temporary = path + ".tmp";
    std::FILE* f = std::fopen(temporary.c_str(), "wbe");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fflush(f) == 0) && ok;
    ok = (std::fclose(f) == 0) && ok;
    std::error_code ec;
    if (ok)
        std::filesystem::rename(temporary, path, ec);
    if (!ok || ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

} // namespace kerris::clipmail
