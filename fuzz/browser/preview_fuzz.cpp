// The preview's decoders under libFuzzer: any bytes as a file, read as the browser reads every
// file a user browses (bitmap first, then JPEG; whole, and reduced for a panel), from memory as
// JPEG, and as a frame of a movie. Whatever decodes is read back at its corners.
#include "browser/media/bitmap_file.h"
#include "browser/preview.h"
#include "fuzz/clipmail/fuzz_files.h"

#include <QImage>

namespace {

void touch(const QImage& image) {
    if (image.isNull())
        return;
    (void)image.pixel(0, 0);
    (void)image.pixel(image.width() - 1, image.height() - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = kerris::clipmail::fuzz::scratchFolder() + "input.jpg";
    kerris::clipmail::fuzz::replaceFile(path, data, size);
    const QString name = QString::fromStdString(path);
    QImage recycled;
    for (const QSize panel : {QSize(), QSize(300, 225), QSize(7, 3)}) {
        if (std::optional<lumicart::PreviewPicture> picture =
                lumicart::decodePreview(name, panel, std::move(recycled))) {
            touch(picture->image);
            if (picture->size.isEmpty() || picture->image.width() > picture->size.width() ||
                picture->image.height() > picture->size.height())
                __builtin_trap();
            recycled = std::move(picture->image);
        }
    }
    if (std::optional<QImage> image = lumicart::decodeJpeg(data, size, QImage(), QSize(64, 48)))
        touch(*image);
    if (std::optional<lumicart::media::Frame> frame = lumicart::media::ReadBitmapFile(path))
        (void)frame->block().back();
    return 0;
}
