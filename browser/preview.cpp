// The preview: decoding a picture file (bitmap first, then JPEG) and fitting it into its panel.
#include "browser/preview.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace lumicart {

std::optional<QImage> loadBitmapFile(const QString& path) {
    QImageReader reader(path, "bmp");
    reader.setDecideFormatFromContent(false);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return std::nullopt;
    return image;
}

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: we jump back to
// the decoder's frame instead of letting the library end the process.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

extern "C" void jpegErrorExit(j_common_ptr info) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
    longjmp(manager->jump, 1);
}

extern "C" void jpegSilentMessage(j_common_ptr) {}

// CMYK as Adobe writes it (inverted) to RGB.
void convertCmykRow(const uint8_t* cmyk, QRgb* out, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x) {
        int c = cmyk[4 * x], m = cmyk[4 * x + 1], y = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

// The decoding proper; everything it allocates lives in objects that are safe to abandon
// by longjmp (the QImage is created before setjmp and only filled after it).
bool decodeInto(jpeg_decompress_struct& cinfo, JpegErrorManager& errors, const uint8_t* data,
                size_t size, QImage& image, std::vector<uint8_t>& row) {
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    // A 24-bit picture, as the bitmap behind the preview holds it; Qt's RGB888 is the byte
    // order libjpeg writes for JCS_RGB, so rows go straight into the picture.
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const QSize pictureSize(static_cast<int>(cinfo.output_width),
                            static_cast<int>(cinfo.output_height));
    const QImage::Format format = cmyk ? QImage::Format_RGB32 : QImage::Format_RGB888;
    // A picture of the same size and format that nobody else holds is written over: the
    // pictures of one camera all have one size, and a fresh buffer of tens of megabytes
    // costs more in page faults than the decoding of many of its rows.
    if (image.size() != pictureSize || image.format() != format || !image.isDetached())
        image = QImage(pictureSize, format);
    if (image.isNull())
        return false;
    if (cmyk)
        row.resize(static_cast<size_t>(cinfo.output_width) * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        uchar* line = image.scanLine(static_cast<int>(cinfo.output_scanline));
        JSAMPROW target = cmyk ? row.data() : line;
        if (jpeg_read_scanlines(&cinfo, &target, 1) != 1)
            return false;
        if (cmyk)
            convertCmykRow(row.data(), reinterpret_cast<QRgb*>(line), cinfo.output_width,
                           cinfo.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

} // namespace

std::optional<QImage> decodeJpeg(const uint8_t* data, size_t size, QImage recycled) {
    if (!data || size == 0)
        return std::nullopt;
    jpeg_decompress_struct cinfo{};
    JpegErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jpegErrorExit;
    errors.pub.output_message = jpegSilentMessage;
    QImage image = std::move(recycled);
    std::vector<uint8_t> row;
    const bool ok = decodeInto(cinfo, errors, data, size, image, row);
    jpeg_destroy_decompress(&cinfo);
    if (!ok)
        return std::nullopt;
    return image;
}

std::optional<QImage> decodeJpegFile(const QString& path, QImage recycled) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const qint64 size = file.size();
    if (size <= 0)
        return std::nullopt;
    // Mapping spares a copy of the whole file; a file that cannot be mapped is read.
    if (const uchar* mapped = file.map(0, size))
        return decodeJpeg(mapped, static_cast<size_t>(size), std::move(recycled));
    const QByteArray bytes = file.readAll();
    return decodeJpeg(reinterpret_cast<const uint8_t*>(bytes.constData()),
                      static_cast<size_t>(bytes.size()), std::move(recycled));
}

std::optional<QImage> loadPreviewPicture(const QString& path, QImage recycled) {
    if (std::optional<QImage> bitmap = loadBitmapFile(path))
        return bitmap;
    return decodeJpegFile(path, std::move(recycled));
}

PreviewGeometry fitPreview(int panelWidth, int panelHeight, int w, int h) {
    PreviewGeometry g;
    if (w <= 0 || h <= 0)
        return g;
    const double sx = static_cast<double>(panelWidth) / w;
    const double sy = static_cast<double>(panelHeight) / h;
    const double s = sx < sy ? sx : sy;
    g.width = static_cast<int>(w * s);
    g.height = static_cast<int>(h * s);
    g.left = std::max(0, static_cast<int>((panelWidth - g.width) * 0.5));
    g.top = std::max(0, static_cast<int>((panelHeight - g.height) * 0.5));
    g.stretch = s < 1.0;
    return g;
}

} // namespace lumicart
