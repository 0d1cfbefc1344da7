// Background composition and cell drawing of the skin.
#include "clipmail/skin_painter.h"

namespace kerris::clipmail {

QImage composeBackground(const SkinSet& skin, const QImage& texture, const SkinLayout& layout,
                         QSize client) {
    QImage background(client.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    background.fill(Qt::black);
    QPainter painter(&background);
    if (!texture.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(QRect(QPoint(0, 0), client), texture);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    }
    const QImage mainUi = skin.bitmap(SkinKey::MainUi).CreateDeviceBitmap();
    if (!mainUi.isNull()) {
        for (const SkinLayout::Copy& c : layout.mainCorners) {
            // A source outside the picture is clipped to it; a picture smaller than the main
            // area leaves the texture showing in the gap.
            QRect source(c.from, c.to.size());
            QRect clipped = source.intersected(mainUi.rect());
            if (clipped.isEmpty())
                continue;
            painter.drawImage(c.to.topLeft() + (clipped.topLeft() - source.topLeft()), mainUi,
                              clipped);
        }
    }
    const QImage panel = skin.bitmap(SkinKey::CtrlPanel).CreateDeviceBitmap();
    if (!panel.isNull())
        painter.drawImage(QPoint(layout.panelLeft, layout.mainHeight), panel);
    return background;
}

void drawButtonCell(QPainter& painter, const QImage& buttonPicture, const QRect& rect,
                    bool disabled, bool pressed) {
    if (buttonPicture.isNull())
        return;
    const int x = buttonCellX(buttonPicture.width(), disabled, pressed);
    QRect source = QRect(x, 0, rect.width(), rect.height()).intersected(buttonPicture.rect());
    if (source.isEmpty())
        return;
    painter.drawImage(rect.topLeft(), buttonPicture, source);
}

} // namespace kerris::clipmail
