// A photo-like test picture, made the same way by the preview tests and the browser bench, and
// the measure by which they compare two previews.
#pragma once

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace lumicart::test {

// A photo-like picture: soft light, edges of different contrast, fine texture and noise, the
// things a reduced decode could lose; `grain` is the range of the noise in levels.
inline QImage photoLikePicture(int w, int h, int grain = 16) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(70, 110, 190));
    sky.setColorAt(0.6, QColor(210, 190, 160));
    sky.setColorAt(1, QColor(60, 80, 40));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 120; ++i) {
        const int cx = (i * 7919) % w, cy = (i * 104729) % h,
                  r = 20 + (i * 37) % std::max(1, w / 12);
        QRadialGradient blob(cx, cy, r);
        blob.setColorAt(0, QColor::fromHsv((i * 47) % 360, 140, 230));
        blob.setColorAt(1, QColor::fromHsv((i * 47 + 40) % 360, 200, 90));
        painter.setBrush(blob);
        painter.drawEllipse(QPoint(cx, cy), r, r * 2 / 3);
    }
    painter.end();
    uint32_t noise = 2463534242u;
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int n = static_cast<int>(noise % unsigned(grain + 1)) - grain / 2;
            const QRgb p = row[x];
            row[x] = qRgb(std::clamp(qRed(p) + n, 0, 255), std::clamp(qGreen(p) + n, 0, 255),
                          std::clamp(qBlue(p) + n, 0, 255));
        }
    }
    return image;
}

// The peak signal-to-noise ratio of two pictures of one size over their red, green and blue, in
// dB; 99 when they are equal.
inline double psnr(const QImage& first, const QImage& second) {
    const QImage a = first.convertToFormat(QImage::Format_RGB32);
    const QImage b = second.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size() || a.isNull())
        return 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int dr = qRed(ra[x]) - qRed(rb[x]), dg = qGreen(ra[x]) - qGreen(rb[x]),
                      db = qBlue(ra[x]) - qBlue(rb[x]);
            sum += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = sum / (3.0 * a.width() * a.height());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

} // namespace lumicart::test
