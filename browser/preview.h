// The preview: decoding a picture file (bitmap first, then JPEG) and fitting it into its panel.
#pragma once

#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace lumicart {

// Loads a file as a Windows bitmap; nullopt when it is not one (whatever its extension).
std::optional<QImage> loadBitmapFile(const QString& path);

// Decodes JPEG data with libjpeg into a 24-bit RGB picture (32-bit for CMYK files). Corrupt or
// truncated data gives nullopt (libjpeg's errors are caught; nothing is printed and the process
// never exits).
std::optional<QImage> decodeJpeg(const uint8_t* data, size_t size, QImage recycled = QImage());
std::optional<QImage> decodeJpegFile(const QString& path, QImage recycled = QImage());

// The preview's decoder: the file as a bitmap first, then as JPEG; nullopt when neither works.
std::optional<QImage> loadPreviewPicture(const QString& path, QImage recycled = QImage());

// Where the preview image goes inside its panel, and whether it stretches its picture.
struct PreviewGeometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool stretch = false; // true when the picture shrinks; otherwise drawn at natural size
    bool operator==(const PreviewGeometry&) const = default;
};

// Scales a picture of w x h to the panel keeping its shape (the smaller of the two scales,
// the vertical one on a tie), centres it, and stretches only when shrinking. A picture without
// pixels (w or h not positive) gets an empty area at (0, 0).
PreviewGeometry fitPreview(int panelWidth, int panelHeight, int w, int h);

} // namespace lumicart
