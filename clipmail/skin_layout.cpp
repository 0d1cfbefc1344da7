// Skin geometry: layout arithmetic, outline tracing, button cells and digit values.
#include "clipmail/skin_layout.h"

#include "clipmail/control_ids.h"

#include <algorithm>
#include <cstdlib>

namespace kerris::clipmail {
namespace {

// The panel controls in placement order, with the slot that gives each its picture.
struct PanelControl {
    int id;
    SkinKey slot;
};
constexpr PanelControl kPanelControls[] = {
    {kIdRecord, SkinKey::Record},  {kIdStop, SkinKey::Stop},     {kIdPlay, SkinKey::Play},
    {kIdMail, SkinKey::Mail},      {kIdConfig, SkinKey::Config}, {kIdAudio, SkinKey::AudioCtrl},
    {kIdAbout, SkinKey::AboutBtm},
};

} // namespace

SkinLayout computeSkinLayout(const SkinSet& skin, const SkinFrame& frame) {
    const SkinMargins& m = skin.margins();
    const int vw = frame.video.width(), vh = frame.video.height();
    const int cw = frame.client.width();
    SkinLayout out;
    out.mainWidth = m.left + vw + m.right;
    out.mainHeight = m.top + vh + m.bottom;
    out.panelSize = skin.bitmapSize(SkinKey::CtrlPanel);
    out.mainUiSize = skin.bitmapSize(SkinKey::MainUi);
    out.borderX = frame.nonClient.width() / 2;
    out.mainLeft = (cw - out.mainWidth) / 2;
    out.panelLeft = cw / 2 - out.panelSize.width() / 2;

    const int mw = out.mainWidth, mh = out.mainHeight, mx = out.mainLeft, px = out.panelLeft;
    const int hw = mw / 2, hh = mh / 2;
    const int uw = out.mainUiSize.width(), uh = out.mainUiSize.height();
    out.mainCorners = {{
        {QRect(mx, 0, hw, hh), QPoint(0, 0)},
        {QRect(mx + hw, 0, hw, hh), QPoint(uw - hw, 0)},
        {QRect(mx, hh, hw, hh), QPoint(0, uh - hh)},
        {QRect(mx + hw, hh, hw, hh), QPoint(uw - hw, uh - hh)},
    }};
    out.mainRect = QRect(mx + out.borderX, frame.nonClient.height(), mw, mh);

    auto cellSize = [&](SkinKey slot) {
        QSize s = skin.bitmapSize(slot);
        return QSize(s.width() / 3, s.height());
    };
    out.controls.push_back({kIdPreview, QRect(QPoint(mx + m.left, m.top), frame.video), false});
    QPoint p3 = skin.position(SkinKey::Close);
    out.controls.push_back(
        {kIdExit, QRect(QPoint(mx + mw + p3.x(), p3.y()), cellSize(SkinKey::Close)), false});
    QPoint p4 = skin.position(SkinKey::Minimize);
    out.controls.push_back(
        {kIdMinimize, QRect(QPoint(mx + mw + p4.x(), p4.y()), cellSize(SkinKey::Minimize)), false});
    QSize web = cellSize(SkinKey::WebLink);
    out.controls.push_back(
        {kIdWebLink,
         QRect(QPoint(mx + (mw - web.width()) / 2, skin.position(SkinKey::WebLink).y()), web),
         false});
    for (const PanelControl& c : kPanelControls) {
        QPoint p = skin.position(c.slot);
        out.controls.push_back(
            {c.id, QRect(QPoint(px + p.x(), mh + p.y()), cellSize(c.slot)), true});
    }
    QSize digit = skin.bitmapSize(SkinKey::Digit);
    const int digitCell = digit.width() / 11;
    QPoint p15 = skin.position(SkinKey::Time);
    out.controls.push_back(
        {kIdTimer, QRect(px + p15.x(), mh + p15.y(), 8 * digitCell, digit.height()), true});
    QPoint p16 = skin.position(SkinKey::FileSize);
    out.controls.push_back(
        {kIdSize, QRect(px + p16.x(), mh + p16.y(), 6 * digitCell, digit.height()), true});
    return out;
}

std::optional<std::string> skinWindowProblem(const SkinSet& skin, QSize video) {
    const SkinMargins& m = skin.margins();
    if (m.left < 0 || m.top < 0 || m.right < 0 || m.bottom < 0)
        return "the MAINUI margins " + std::to_string(m.left) + "," + std::to_string(m.top) + "," +
               std::to_string(m.right) + "," + std::to_string(m.bottom) + " are not all 0 or more";
    const QSize panel = skin.bitmapSize(SkinKey::CtrlPanel);
    // In 64 bits: the margins reach 32767 each.
    const int64_t width =
        std::max<int64_t>(int64_t(m.left) + video.width() + m.right, panel.width());
    const int64_t height = int64_t(m.top) + video.height() + m.bottom + panel.height();
    if (width < 1 || height < 1 || width > kMaxSkinWindowSide || height > kMaxSkinWindowSide)
        return "its window would be " + std::to_string(width) + " x " + std::to_string(height) +
               " (at most " + std::to_string(kMaxSkinWindowSide) + " per side)";
    return std::nullopt;
}

QRect fitWindowRect(const SkinSet& skin, QSize video, QSize nonClient, QRect oldWindow) {
    const SkinMargins& m = skin.margins();
    const int mw = m.left + video.width() + m.right;
    const int mh = m.top + video.height() + m.bottom;
    const QSize panel = skin.bitmapSize(SkinKey::CtrlPanel);
    const int width = std::max(mw, panel.width()) + std::abs(nonClient.width());
    const int height = mh + panel.height() + std::abs(nonClient.height());
    const int oldRight = oldWindow.x() + oldWindow.width();
    const int oldBottom = oldWindow.y() + oldWindow.height();
    const int left = (oldWindow.x() + oldRight) / 2 - width / 2;
    const int top = (oldWindow.y() + oldBottom) / 2 - height / 2;
    return QRect(left, top, width, height);
}

QPolygon TraceOutline(QSize panelSize, const std::function<bool(int x, int y)>& isWhite,
                      int panelLeft, int borderX, int nonClientHeight, int mainHeight) {
    const int pw = panelSize.width(), ph = panelSize.height();
    QPolygon points;
    for (int y = 0; y < ph; ++y) {
        int x = 0;
        while (x < pw && isWhite(x, y))
            ++x;
        if (x < pw)
            points << QPoint(panelLeft + x + borderX + 1, nonClientHeight + mainHeight + y - 2);
    }
    for (int y = ph - 1; y >= 0; --y) {
        int x = pw - 1;
        while (x > 0 && isWhite(x, y))
            --x;
        if (x > 0 && !isWhite(x, y))
            points << QPoint(panelLeft + x + borderX - 1, nonClientHeight + mainHeight + y - 2);
    }
    return points;
}

QPolygon TraceOutline(const QImage& panel, const SkinLayout& layout, int nonClientHeight) {
    auto isWhite = [&](int x, int y) {
        if (!panel.valid(x, y))
            return false;
        return (panel.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
    };
    return TraceOutline(layout.panelSize, isWhite, layout.panelLeft, layout.borderX,
                        nonClientHeight, layout.mainHeight);
}

QRegion skinWindowRegion(const QRect& mainRect, const QPolygon& outline) {
    QRegion region(mainRect);
    if (!outline.isEmpty())
        region = region.united(QRegion(outline, Qt::WindingFill));
    return region;
}

std::optional<SkinKey> buttonSlot(int id) {
    switch (id) {
    case kIdWebLink:
        return SkinKey::WebLink;
    case kIdMinimize:
        return SkinKey::Minimize;
    case kIdExit:
        return SkinKey::Close;
    default:
        for (const PanelControl& c : kPanelControls)
            if (c.id == id)
                return c.slot;
        return std::nullopt;
    }
}

int buttonCellX(int bitmapWidth, bool disabled, bool pressed) {
    const int cell = bitmapWidth / 3;
    if (disabled)
        return 2 * cell;
    return pressed ? cell : 0;
}

std::array<int, 8> timeDisplayCells(int s) {
    return {s / 36000, (s / 3600) % 10, 10,    ((s % 3600) / 60) / 10, ((s % 3600) / 60) % 10,
            10,        (s % 60) / 10,   s % 10};
}

std::array<int, 6> sizeDisplayCells(int k) {
    std::array<int, 6> cells{};
    for (int i = 5; i >= 0; --i) {
        cells[size_t(i)] = k % 10;
        k /= 10;
    }
    return cells;
}

} // namespace kerris::clipmail
