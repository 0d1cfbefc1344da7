// The preview: decoding a picture file (bitmap first, then JPEG) and fitting it into its panel.
#pragma once

#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace lumicart {

// What one preview may cost. A picture over these is refused as an unreadable one would be
// (no message), before anything of its size is allocated.
// The picture as its header states it: 16384 x 16384 (the time its data takes to read).
inline constexpr int64_t kMaxPicturePixels = int64_t(1) << 28;
// The decoded picture itself, as it is held: 64 megapixels at 4 bytes.
inline constexpr int64_t kMaxDecodedBytes = int64_t(256) << 20;
// The JPEG library's own memory, mostly the whole-picture coefficients a progressive file needs.
inline constexpr int64_t kMaxJpegWorkingBytes = int64_t(512) << 20;
// Pictures of up to this many pixels are decoded whole whatever the panel: reducing them would
// save a few milliseconds and lose the detail a larger panel shows later.
inline constexpr int64_t kWholeDecodePixels = int64_t(1) << 20;

// Loads a file as a Windows bitmap; nullopt when it is not one (whatever its extension), when
// it is not a regular file, or when its picture is over the budget above.
std::optional<QImage> loadBitmapFile(const QString& path);

// The scale, in eighths (1..8), at which a JPEG of `picture` is decoded for a panel of `panel`:
// the smallest whose result still covers the area the picture is shown in (see fitPreview),
// 8 when the picture is drawn at its natural size, when the panel is empty, or when the picture
// has no more than kWholeDecodePixels.
int jpegScaleEighths(QSize picture, QSize panel);

// Decodes JPEG data with libjpeg into a 24-bit RGB picture (32-bit for CMYK files), reduced for
// `panel` as jpegScaleEighths says (an empty panel: the whole picture). Corrupt or truncated
// data gives nullopt, and so does a picture over the budget (libjpeg's errors are caught;
// nothing is printed and the process never exits). `recycled` is written over when it has the
// result's size and format and nobody else holds it.
std::optional<QImage> decodeJpeg(const uint8_t* data, size_t size, QImage recycled = QImage(),
                                 QSize panel = QSize());
// The same from a file, read (never mapped: another program may cut it short meanwhile).
std::optional<QImage> decodeJpegFile(const QString& path, QImage recycled = QImage(),
                                     QSize panel = QSize());

// A picture decoded for the preview.
struct PreviewPicture {
    QImage image; // the pixels: the whole picture, or reduced by a JPEG scale
    QSize size;   // the picture's own size, by which the preview is fitted
    // The part of `image`, in its pixels, that the picture covers: all of it, except after a
    // reduced decode of a side that is no multiple of 8, where the last pixel stands for the
    // part block at the edge only (a side of 2001 at 1/8 is 250.125 pixels in 251). Empty: all.
    QSizeF extent;
};

// The preview's decoder: the file as a bitmap first, then as JPEG (reduced for `panel`);
// nullopt when neither works. The file is opened once, and only when it is a regular file.
std::optional<PreviewPicture> decodePreview(const QString& path, QSize panel,
                                            QImage recycled = QImage());
// The same, giving the pixels only.
std::optional<QImage> loadPreviewPicture(const QString& path, QImage recycled = QImage(),
                                         QSize panel = QSize());

// The `extent` of `image` (its pixels from the top left corner, possibly ending inside the last
// one) resampled to `area`: each pixel the average of the part of the picture it covers, so a
// large picture shrinks without aliasing, and enlarged linearly where the picture has fewer
// pixels than the area. RGB888 and RGB32 stay what they are; other formats come out as RGB32,
// or premultiplied ARGB32 when they have alpha. An empty extent, or one past the picture, is
// taken as the whole picture; an empty picture or area gives a null picture.
QImage resamplePicture(const QImage& image, QSizeF extent, QSize area);

// What the preview draws of `picture` in an area of `area`: reduced to the area by averaging when
// `stretch`, otherwise at its natural size (the decoded pixels themselves, unless the decode was
// reduced). Made once for each picture and area, not at each paint.
QImage previewDrawing(const PreviewPicture& picture, QSize area, bool stretch);

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
