// LoadSkin under libFuzzer: any skin file over a folder of valid pictures, then the whole
// composition (layout, outline, region, background) of whatever it describes.
#include "clipmail/bitmap_writer.h"
#include "clipmail/skin_layout.h"
#include "clipmail/skin_painter.h"
#include "clipmail/skin_set.h"
#include "fuzz/clipmail/fuzz_files.h"

#include <QPainter>

#include <cstdlib>
#include <sys/stat.h>

using namespace kerris::clipmail;

namespace {

void writePicture(const std::string& name, const QImage& image, int bits,
                  const QList<QRgb>& palette) {
    if (!writeFileAtomically(fuzz::scratchFolder() + name, encodeBitmapFile(image, bits, palette)))
        std::abort();
}

// Pictures the skin file can name: a panel with a white outside, buttons, digits, a frame,
// also under the sub-folder "SUB" for "PATH" lines.
void makePictures() {
    QImage panel(64, 24, QImage::Format_RGB32);
    panel.fill(Qt::white);
    QPainter painter(&panel);
    painter.setBrush(QColor(40, 40, 60));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(2, 0, 60, 30);
    painter.end();
    const QList<QRgb> grey = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(128, 128, 128),
                              qRgb(40, 40, 60)};
    ::mkdir((fuzz::scratchFolder() + "SUB").c_str(), 0700);
    for (const std::string prefix : {"", "SUB/"}) {
        writePicture(prefix + "P.BMP", panel, 24, {});
        writePicture(prefix + "B.BMP", panel.scaled(30, 10), 4, grey);
        writePicture(prefix + "D.BMP", panel.scaled(33, 5), 8, grey);
        writePicture(prefix + "F.BMP", panel.scaled(50, 40), 1,
                     {qRgb(0, 0, 0), qRgb(255, 255, 255)});
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    makePictures();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string ini = fuzz::scratchFolder() + "Panel.ini";
    fuzz::replaceFile(ini, data, size);
    SkinSet skin;
    skin.LoadSkin(ini, fuzz::scratchFolder());
    for (QSize video : {QSize(320, 240), QSize(0, 0)}) {
        QRect window = fitWindowRect(skin, video, QSize(4, 20), QRect(0, 0, 300, 300));
        SkinFrame frame{video, window.size() - QSize(4, 20), QSize(4, 20)};
        SkinLayout layout = computeSkinLayout(skin, frame);
        QPolygon outline =
            TraceOutline(skin.bitmap(SkinKey::CtrlPanel).CreateDeviceBitmap(), layout, 20);
        (void)skinWindowRegion(layout.mainRect, outline).boundingRect();
        if (frame.client.width() > 0 && frame.client.height() > 0 && frame.client.width() <= 1024 &&
            frame.client.height() <= 1024)
            (void)composeBackground(skin, QImage(), layout, frame.client);
    }
    return 0;
}
