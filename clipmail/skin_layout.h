// Window composition of the skin as plain arithmetic: sizes, the main area and panel places,
// the traced outline of the control panel and where every control goes.
#pragma once

#include "clipmail/skin_set.h"

#include <QImage>
#include <QPolygon>
#include <QRect>
#include <QRegion>
#include <QSize>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kerris::clipmail {

// What the composition needs besides the skin: the video size (VW, VH), the client size
// (CW, CH) and the non-client size (NCW, NCH: window minus client).
struct SkinFrame {
    QSize video{320, 240};
    QSize client;
    QSize nonClient{0, 0};
};

// One control's place and whether layout shows it (others keep their visibility).
struct ControlPlacement {
    int id = 0;
    QRect rect;
    bool show = false;
};

struct SkinLayout {
    int mainWidth = 0;  // MW
    int mainHeight = 0; // MH
    int mainLeft = 0;   // MX
    int panelLeft = 0;  // PX
    int borderX = 0;    // BX
    QSize panelSize;    // PW, PH
    QSize mainUiSize;   // UW, UH
    // The four quarters of "MAINUI": destination (client) and source rectangles, each HW x HH.
    struct Copy {
        QRect to;
        QPoint from;
    };
    std::array<Copy, 4> mainCorners{};
    // The main rectangle in window coordinates (the region's first part).
    QRect mainRect;
    std::vector<ControlPlacement> controls;
};

// The largest window side a skin may ask for: the largest picture the bitmap codec reads, far
// past any screen, so a skin that needs more cannot be drawn or used anyway.
inline constexpr int kMaxSkinWindowSide = 16384;

// Why `skin` cannot give a usable window at `video` size (one line of text): a main-area
// margin below 0, or a window (max(MW, PW) x (MH + PH)) of no width or height or with a side
// past kMaxSkinWindowSide. nullopt when the window is usable.
std::optional<std::string> skinWindowProblem(const SkinSet& skin, QSize video);

// The composition for a skin and frame (every quotient truncates toward zero).
SkinLayout computeSkinLayout(const SkinSet& skin, const SkinFrame& frame);

// FitWindowToSkin's new window rectangle: width max(MW, PW) + |NCW|, height MH + PH + |NCH|,
// keeping the centre of oldWindow (given as left, top, right, bottom with right/bottom
// exclusive, as the window system reports them).
QRect fitWindowRect(const SkinSet& skin, QSize video, QSize nonClient, QRect oldWindow);

// Traces the panel's outline from a pixel test (true = pure white = outside): the left edge
// top to bottom, then the right edge bottom to top, in window coordinates.
QPolygon TraceOutline(QSize panelSize, const std::function<bool(int x, int y)>& isWhite,
                      int panelLeft, int borderX, int nonClientHeight, int mainHeight);
// The same over a picture of the panel (pixels outside the picture count as not white).
QPolygon TraceOutline(const QImage& panel, const SkinLayout& layout, int nonClientHeight);

// The window region: the main rectangle united with the outline polygon under the winding
// rule; the main rectangle alone when the polygon has no points.
QRegion skinWindowRegion(const QRect& mainRect, const QPolygon& outline);

// The slot whose picture draws an owner-drawn button (1000-1002, 1007-1013); nullopt for
// other controls.
std::optional<SkinKey> buttonSlot(int controlId);

// Cell source x of a three-cell button picture: the third cell when disabled, the second when
// pressed, else the first.
int buttonCellX(int bitmapWidth, bool disabled, bool pressed);

// Cell values of the Time display (eight cells, 10 = separator) for s elapsed seconds.
std::array<int, 8> timeDisplayCells(int seconds);
// Cell values of the Size display (six cells, leading zeros, low six digits) for k kilobytes.
std::array<int, 6> sizeDisplayCells(int kilobytes);

} // namespace kerris::clipmail
