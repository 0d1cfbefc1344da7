// Drawing with the skin: the composed background picture, button cells and digit displays.
// Works on any QPainter, so tests draw into pictures without a window.
#pragma once

#include "clipmail/skin_layout.h"
#include "clipmail/skin_set.h"

#include <QImage>
#include <QPainter>

namespace kerris::clipmail {

// The background of a client area: the texture stretched over all of it, the four quarters
// of "MAINUI" making the main area, and "CTRLPANEL" whole below it.
QImage composeBackground(const SkinSet& skin, const QImage& texture, const SkinLayout& layout,
                         QSize client);

// Copies the button cell for the state from a three-cell picture into rect (rect's size, from
// the cell's top-left corner). Draws nothing for an empty picture.
void drawButtonCell(QPainter& painter, const QImage& buttonPicture, const QRect& rect,
                    bool disabled, bool pressed);

// Draws digit cells from the eleven-cell strip left to right starting at (0, 0). A value
// outside the strip draws nothing for its cell.
template <size_t N>
void drawDigitCells(QPainter& painter, const QImage& strip, const std::array<int, N>& cells) {
    const int cw = strip.width() / 11;
    for (size_t i = 0; i < N; ++i) {
        const int v = cells[i];
        if (v < 0 || (v + 1) * cw > strip.width() || cw == 0)
            continue;
        painter.drawImage(QPoint(int(i) * cw, 0), strip, QRect(v * cw, 0, cw, strip.height()));
    }
}

} // namespace kerris::clipmail
