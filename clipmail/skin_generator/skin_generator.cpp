// murvane-skingen: draws the default skin of the clip mail program ("Panel.ini" and its
// bitmap files) and the program's own pictures (texture bitmap 137, icon 128) as C++ data.
//
//   murvane-skingen <skin folder> <resource source file>
//
// Everything is drawn with QPainter from shapes, so the skin is reproducible from this file.
#include "clipmail/bitmap_writer.h"

#include <QBuffer>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

using kerris::clipmail::encodeBitmapFile;
using kerris::clipmail::writeFileAtomically;

namespace {

// Layout of the default skin. The panel coordinates are those written into "Panel.ini".
constexpr int kVideoWidth = 320, kVideoHeight = 240;
constexpr int kMarginLeft = 20, kMarginTop = 30, kMarginRight = 20, kMarginBottom = 20;
constexpr int kMainWidth = kMarginLeft + kVideoWidth + kMarginRight;   // 360
constexpr int kMainHeight = kMarginTop + kVideoHeight + kMarginBottom; // 290
constexpr int kPanelWidth = 400, kPanelHeight = 118;
constexpr int kButton = 40; // cell size of the panel buttons
constexpr int kButtonTop = 12;
constexpr int kButtonLeft = 30, kButtonStep = 50;
constexpr int kDigitWidth = 13, kDigitHeight = 22;
constexpr int kDisplayTop = 70;
constexpr int kTimeLeft = 70, kSizeLeft = 250;
constexpr int kCloseCell = 20, kCloseX = -28, kCloseY = 6;
constexpr int kMinimizeX = -52;
constexpr int kWebWidth = 124, kWebHeight = 16, kWebY = 7;

const QColor kInk(232, 238, 245);
const QColor kDim(104, 114, 128);
const QColor kAccent(255, 150, 60);
const QColor kRecordRed(232, 56, 56);
const QColor kLcd(10, 24, 18);
const QColor kLcdLit(98, 255, 160);
const QColor kLcdUnlit(22, 50, 36);

QString g_folder;
bool g_failed = false;

void save(const QString& name, const QImage& image, int bits = 24,
          const QList<QRgb>& palette = {}) {
    const std::string path = (g_folder + name).toStdString();
    if (!writeFileAtomically(path, encodeBitmapFile(image, bits, palette))) {
        std::fprintf(stderr, "murvane-skingen: cannot write %s\n", path.c_str());
        g_failed = true;
    }
}

QImage blank(int w, int h, QColor fill) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

QFont font(int pixels, bool bold = true) {
    QFont f("DejaVu Sans");
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// ---- main area frame -------------------------------------------------------------------

QImage drawMainUi() {
    QImage image = blank(kMainWidth, kMainHeight, QColor(36, 43, 53));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Body: a soft vertical gradient that is the same along every row, so the quarters of a
    // larger or smaller main area still meet cleanly.
    QLinearGradient body(0, 0, 0, kMainHeight);
    body.setColorAt(0, QColor(58, 68, 82));
    body.setColorAt(0.12, QColor(40, 48, 59));
    body.setColorAt(1, QColor(28, 34, 42));
    p.fillRect(image.rect(), body);
    // Outer bevel.
    p.setPen(QColor(96, 110, 128));
    p.drawLine(0, 0, kMainWidth - 1, 0);
    p.drawLine(0, 0, 0, kMainHeight - 1);
    p.drawLine(kMainWidth - 1, 0, kMainWidth - 1, kMainHeight - 1);
    // Title bar line and title.
    p.setPen(QColor(20, 24, 30));
    p.drawLine(1, kMarginTop - 5, kMainWidth - 2, kMarginTop - 5);
    p.setPen(kAccent);
    p.setBrush(kRecordRed);
    p.drawEllipse(QRectF(10, 9, 10, 10));
    p.setFont(font(13));
    p.setPen(kInk);
    p.drawText(QRect(26, 4, 120, 20), Qt::AlignVCenter | Qt::AlignLeft, "Murvane");
    // Recessed well around the preview.
    QRect well(kMarginLeft - 3, kMarginTop - 3, kVideoWidth + 6, kVideoHeight + 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(12, 14, 18));
    p.drawRoundedRect(well, 3, 3);
    p.setPen(QColor(90, 102, 118));
    p.drawLine(well.left() + 2, well.bottom() + 1, well.right() - 2, well.bottom() + 1);
    return image;
}

// A three-cell button picture: normal, pressed, disabled. The background of every cell is
// the piece of `under` it will cover, so the button sits seamlessly on its backdrop.
using SymbolPainter = std::function<void(QPainter&, QRectF box, QColor ink, bool disabled)>;

QImage drawButtonCells(const QImage& under, QPoint at, QSize cell, const SymbolPainter& symbol,
                       bool roundFace = true) {
    QImage image = blank(3 * cell.width(), cell.height(), Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int state = 0; state < 3; ++state) {
        const bool pressed = state == 1, disabled = state == 2;
        const QRectF box(state * cell.width(), 0, cell.width(), cell.height());
        p.drawImage(box.topLeft(), under, QRect(at, cell));
        QRectF face = box.adjusted(1.5, 1.5, -1.5, -1.5);
        if (roundFace) {
            QLinearGradient g(face.topLeft(), face.bottomLeft());
            if (disabled) {
                g.setColorAt(0, QColor(46, 53, 63));
                g.setColorAt(1, QColor(40, 46, 55));
            } else if (pressed) {
                g.setColorAt(0, QColor(26, 31, 38));
                g.setColorAt(1, QColor(44, 52, 63));
            } else {
                g.setColorAt(0, QColor(78, 90, 106));
                g.setColorAt(1, QColor(44, 52, 63));
            }
            p.setPen(QPen(disabled ? QColor(58, 66, 77) : QColor(16, 19, 24), 1));
            p.setBrush(g);
            p.drawRoundedRect(face, 7, 7);
            if (!pressed && !disabled) {
                p.setPen(QPen(QColor(120, 134, 152), 1));
                p.drawLine(QPointF(face.left() + 6, face.top() + 1.5),
                           QPointF(face.right() - 6, face.top() + 1.5));
            }
        }
        QRectF symbolBox = face.adjusted(9, 9, -9, -9);
        if (pressed)
            symbolBox.translate(1, 1);
        symbol(p, symbolBox, disabled ? kDim : kInk, disabled);
    }
    return image;
}

// ---- symbols ---------------------------------------------------------------------------

void recordSymbol(QPainter& p, QRectF b, QColor, bool disabled) {
    p.setPen(Qt::NoPen);
    QRadialGradient g(b.center() - QPointF(3, 3), b.width() / 1.4);
    g.setColorAt(0, disabled ? QColor(120, 110, 110) : QColor(255, 130, 120));
    g.setColorAt(1, disabled ? QColor(86, 80, 82) : kRecordRed);
    p.setBrush(g);
    p.drawEllipse(b.adjusted(1, 1, -1, -1));
}

void stopSymbol(QPainter& p, QRectF b, QColor ink, bool) {
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(b.adjusted(2, 2, -2, -2), 2, 2);
}

void playSymbol(QPainter& p, QRectF b, QColor ink, bool disabled) {
    QPainterPath path;
    path.moveTo(b.left() + 3, b.top() + 1);
    path.lineTo(b.right() - 1, b.center().y());
    path.lineTo(b.left() + 3, b.bottom() - 1);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(disabled ? ink : QColor(110, 230, 140));
    p.drawPath(path);
}

void mailSymbol(QPainter& p, QRectF b, QColor ink, bool) {
    QRectF env = b.adjusted(-2, 3, 2, -3);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawRoundedRect(env, 2, 2);
    QPainterPath flap;
    flap.moveTo(env.topLeft() + QPointF(1, 1));
    flap.lineTo(env.center().x(), env.center().y() + 1);
    flap.lineTo(env.topRight() + QPointF(-1, 1));
    p.drawPath(flap);
}

void configSymbol(QPainter& p, QRectF b, QColor ink, bool) {
    // A gear: eight teeth around a ring.
    const QPointF c = b.center();
    const double outer = b.width() / 2 + 1, inner = outer - 3.5;
    QPainterPath gear;
    for (int i = 0; i < 16; ++i) {
        const double a0 = (i * 22.5 - 6) * M_PI / 180, a1 = (i * 22.5 + 6) * M_PI / 180;
        const double r = i % 2 ? inner : outer;
        QPointF p0 = c + QPointF(std::cos(a0) * r, std::sin(a0) * r);
        QPointF p1 = c + QPointF(std::cos(a1) * r, std::sin(a1) * r);
        if (i == 0)
            gear.moveTo(p0);
        else
            gear.lineTo(p0);
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    gear.addEllipse(c, 3, 3);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(gear);
}

void audioSymbol(QPainter& p, QRectF b, QColor ink, bool) {
    QPainterPath speaker;
    const double cy = b.center().y();
    speaker.moveTo(b.left(), cy - 4);
    speaker.lineTo(b.left() + 5, cy - 4);
    speaker.lineTo(b.left() + 11, cy - 10);
    speaker.lineTo(b.left() + 11, cy + 10);
    speaker.lineTo(b.left() + 5, cy + 4);
    speaker.lineTo(b.left(), cy + 4);
    speaker.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(speaker);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
    for (int r : {6, 11})
        p.drawArc(QRectF(b.left() + 9 - r, cy - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
}

void aboutSymbol(QPainter& p, QRectF b, QColor ink, bool) {
    p.setPen(QPen(ink, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(b.adjusted(-1, -1, 1, 1));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(b.center().x(), b.top() + 5), 1.8, 1.8);
    p.drawRoundedRect(QRectF(b.center().x() - 1.6, b.top() + 9, 3.2, b.height() - 12), 1, 1);
}

void closeSymbol(QPainter& p, QRectF b, QColor, bool disabled) {
    // On the title bar: a small red disc with a cross, no raised face.
    QRectF disc(b.center() - QPointF(7, 7), QSizeF(14, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(disabled ? kDim : QColor(214, 64, 58));
    p.drawEllipse(disc);
    p.setPen(QPen(kInk, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(disc.center() + QPointF(-3, -3), disc.center() + QPointF(3, 3));
    p.drawLine(disc.center() + QPointF(3, -3), disc.center() + QPointF(-3, 3));
}

void minimizeSymbol(QPainter& p, QRectF b, QColor, bool disabled) {
    QRectF disc(b.center() - QPointF(7, 7), QSizeF(14, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(disabled ? kDim : QColor(90, 104, 122));
    p.drawEllipse(disc);
    p.setPen(QPen(kInk, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(disc.center() + QPointF(-3.5, 0), disc.center() + QPointF(3.5, 0));
}

// ---- control panel ---------------------------------------------------------------------

QPainterPath panelOutline() {
    // Full width where it meets the main area, sweeping in to a rounded tray below.
    const double w = kPanelWidth, h = kPanelHeight - 3; // bottom rows stay white
    QPainterPath path;
    path.moveTo(0, 0);
    path.lineTo(w, 0);
    path.cubicTo(w - 4, 30, w - 18, 40, w - 22, 62);
    path.lineTo(w - 22, h - 18);
    path.quadTo(w - 22, h, w - 40, h);
    path.lineTo(40, h);
    path.quadTo(22, h, 22, h - 18);
    path.lineTo(22, 62);
    path.cubicTo(18, 40, 4, 30, 0, 0);
    path.closeSubpath();
    return path;
}

void lcdWell(QPainter& p, QRect r) {
    p.setPen(QPen(QColor(70, 82, 96), 1));
    p.setBrush(kLcd);
    p.drawRoundedRect(QRectF(r).adjusted(-4.5, -3.5, 4.5, 3.5), 4, 4);
}

QImage drawPanel() {
    QImage image = blank(kPanelWidth, kPanelHeight, Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, kPanelHeight);
    g.setColorAt(0, QColor(30, 36, 45));
    g.setColorAt(0.5, QColor(40, 48, 59));
    g.setColorAt(1, QColor(26, 31, 39));
    p.setPen(QPen(QColor(88, 102, 120), 1.2));
    p.setBrush(g);
    p.drawPath(panelOutline());
    // A thin accent groove under the buttons.
    p.setPen(QPen(QColor(255, 150, 60, 90), 1));
    p.drawLine(QPointF(40, kButtonTop + kButton + 6.5),
               QPointF(kPanelWidth - 40, kButtonTop + kButton + 6.5));
    lcdWell(p, QRect(kTimeLeft, kDisplayTop, 8 * kDigitWidth, kDigitHeight));
    lcdWell(p, QRect(kSizeLeft, kDisplayTop, 6 * kDigitWidth, kDigitHeight));
    p.setFont(font(10));
    p.setPen(kDim);
    p.drawText(QRect(kTimeLeft - 44, kDisplayTop, 36, kDigitHeight),
               Qt::AlignRight | Qt::AlignVCenter, "TIME");
    p.drawText(QRect(kSizeLeft + 6 * kDigitWidth + 8, kDisplayTop, 30, kDigitHeight),
               Qt::AlignLeft | Qt::AlignVCenter, "KB");
    p.end();
    // Anti-aliased edge pixels may come out pure white only where the outside is; make sure
    // no pixel inside the outline is pure white, or it would be cut out of the window.
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == qRgb(255, 255, 255) &&
                panelOutline().contains(QPointF(x + 0.5, y + 0.5)))
                image.setPixel(x, y, qRgb(254, 254, 254));
    return image;
}

// ---- digits ----------------------------------------------------------------------------

QImage drawDigits() {
    // Seven segments: a top, b upper right, c lower right, d bottom, e lower left, f upper left, g
    // middle.
    static const char* lit[10] = {"abcdef", "bc",     "abdeg", "abcdg",   "bcfg",
                                  "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};
    QImage image = blank(11 * kDigitWidth, kDigitHeight, kLcd);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int cell = 0; cell < 11; ++cell) {
        const double x0 = cell * kDigitWidth + 2.5, x1 = x0 + kDigitWidth - 5;
        const double y0 = 3, y1 = kDigitHeight / 2.0, y2 = kDigitHeight - 3;
        if (cell == 10) {
            p.setPen(Qt::NoPen);
            p.setBrush(kLcdLit);
            p.drawEllipse(QPointF((x0 + x1) / 2, y1 - 4), 1.6, 1.6);
            p.drawEllipse(QPointF((x0 + x1) / 2, y1 + 4), 1.6, 1.6);
            continue;
        }
        struct Seg {
            char name;
            QPointF a, b;
        };
        const Seg segs[] = {
            {'a', {x0 + 1, y0}, {x1 - 1, y0}}, {'b', {x1, y0 + 1}, {x1, y1 - 1}},
            {'c', {x1, y1 + 1}, {x1, y2 - 1}}, {'d', {x0 + 1, y2}, {x1 - 1, y2}},
            {'e', {x0, y1 + 1}, {x0, y2 - 1}}, {'f', {x0, y0 + 1}, {x0, y1 - 1}},
            {'g', {x0 + 1, y1}, {x1 - 1, y1}},
        };
        for (const Seg& s : segs) {
            const bool on = std::string(lit[cell]).find(s.name) != std::string::npos;
            p.setPen(QPen(on ? kLcdLit : kLcdUnlit, 2.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(s.a, s.b);
        }
    }
    return image;
}

// ---- splash ----------------------------------------------------------------------------

void envelope(QPainter& p, QRectF r, QColor ink, double width) {
    p.setPen(QPen(ink, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, width * 1.5, width * 1.5);
    QPainterPath flap;
    flap.moveTo(r.topLeft() + QPointF(width, width));
    flap.lineTo(r.center().x(), r.center().y() + width);
    flap.lineTo(r.topRight() + QPointF(-width, width));
    p.drawPath(flap);
}

QImage drawLogo() {
    QImage image = blank(400, 240, Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 400, 240);
    g.setColorAt(0, QColor(44, 54, 70));
    g.setColorAt(1, QColor(18, 22, 29));
    p.fillRect(image.rect(), g);
    p.setPen(QPen(QColor(96, 110, 128), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 399, 239));
    // Emblem: a film frame with an envelope and a record dot.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 36, 46));
    p.drawRoundedRect(QRectF(36, 60, 120, 96), 12, 12);
    p.setBrush(QColor(70, 82, 98));
    for (int i = 0; i < 5; ++i) {
        p.drawRect(QRectF(44 + i * 22, 66, 10, 6));
        p.drawRect(QRectF(44 + i * 22, 144, 10, 6));
    }
    envelope(p, QRectF(56, 84, 80, 52), kInk, 4);
    p.setBrush(kRecordRed);
    p.setPen(QPen(QColor(30, 36, 46), 3));
    p.drawEllipse(QPointF(140, 72), 16, 16);
    // Name and line.
    p.setPen(kInk);
    p.setFont(font(40));
    p.drawText(QRect(170, 66, 220, 50), Qt::AlignLeft | Qt::AlignVCenter, "Murvane");
    p.setPen(kAccent);
    p.setFont(font(14, false));
    p.drawText(QRect(172, 116, 220, 24), Qt::AlignLeft | Qt::AlignVCenter,
               "record \u00b7 play \u00b7 mail");
    p.setPen(kDim);
    p.setFont(font(11, false));
    p.drawText(QRect(0, 200, 400, 24), Qt::AlignCenter, "Version 1.1 \u2014 starting\u2026");
    return image;
}

// ---- program pictures --------------------------------------------------------------------

QList<QRgb> texturePalette() {
    QList<QRgb> palette;
    for (int i = 0; i < 16; ++i)
        palette << qRgb(22 + i * 3, 27 + i * 4, 34 + i * 5);
    return palette;
}

QImage drawTexture() {
    // A gentle woven diagonal in sixteen slate shades; it stays soft when stretched.
    const QList<QRgb> palette = texturePalette();
    QImage image(48, 48, QImage::Format_RGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            const double v =
                7.5 + 4 * std::sin((x + y) * M_PI / 12) + 3 * std::cos((x - y) * M_PI / 24);
            image.setPixel(x, y, palette[std::clamp(int(v), 0, 15)]);
        }
    return image;
}

QImage drawIcon() {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 32);
    g.setColorAt(0, QColor(78, 90, 106));
    g.setColorAt(1, QColor(36, 43, 53));
    p.setPen(QPen(QColor(20, 24, 30), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 6, 6);
    envelope(p, QRectF(6, 11, 20, 14), kInk, 2);
    p.setPen(QPen(QColor(36, 43, 53), 1.5));
    p.setBrush(kRecordRed);
    p.drawEllipse(QPointF(24, 9), 5, 5);
    return image;
}

void appendArray(std::string& out, const char* name, const QByteArray& bytes) {
    out += "extern const unsigned char " + std::string(name) + "[] = {";
    for (int i = 0; i < bytes.size(); ++i) {
        if (i % 20 == 0)
            out += "\n   ";
        out += " " + std::to_string(uint8_t(bytes[i])) + ",";
    }
    out += "\n};\nextern const unsigned long " + std::string(name) +
           "Size = " + std::to_string(bytes.size()) + ";\n";
}

bool writeResources(const QString& path) {
    const std::vector<uint8_t> texture = encodeBitmapFile(drawTexture(), 4, texturePalette());
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (texture.empty() || !drawIcon().save(&buffer, "PNG"))
        return false;
    std::string out = "// Generated by murvane-skingen: the program's bitmap 137 and icon 128.\n"
                      "namespace kerris::clipmail::resources {\n";
    appendArray(
        out, "kBitmap137",
        QByteArray(reinterpret_cast<const char*>(texture.data()), qsizetype(texture.size())));
    appendArray(out, "kIcon128", png);
    out += "} // namespace kerris::clipmail::resources\n";
    const std::vector<uint8_t> bytes(out.begin(), out.end());
    return writeFileAtomically(path.toStdString(), bytes);
}

QString panelIni() {
    QString ini;
    ini += "# Default skin of Murvane. Keys and file names are read in upper case.\n";
    ini += "# MAINUI = frame : left, top, right, bottom margins around the video.\n";
    ini += QString("LOGO      = LOGO.BMP\n");
    ini += QString("MAINUI    = MAINUI.BMP : %1, %2, %3, %4\n")
               .arg(kMarginLeft)
               .arg(kMarginTop)
               .arg(kMarginRight)
               .arg(kMarginBottom);
    ini += "# Title bar buttons, placed from the right edge of the main area.\n";
    ini += QString("CLOSE     = CLOSE.BMP : %1, %2\n").arg(kCloseX).arg(kCloseY);
    ini += QString("MINIMIZE  = MINIMIZE.BMP : %1, %2\n").arg(kMinimizeX).arg(kCloseY);
    ini += QString("WEBLINK   = WEBLINK.BMP : 0, %1\n").arg(kWebY);
    ini += "# The panel below the main area; pure white is outside the window.\n";
    ini += "CTRLPANEL = CTRLPANEL.BMP\n";
    const char* buttons[] = {"RECORD", "STOP", "PLAY", "MAIL", "CONFIG", "AUDIOCTRL", "ABOUT_BTM"};
    const char* files[] = {"RECORD", "STOP", "PLAY", "MAIL", "CONFIG", "AUDIO", "ABOUT"};
    for (int i = 0; i < 7; ++i)
        ini += QString("%1 = %2.BMP : %3, %4\n")
                   .arg(buttons[i], -9)
                   .arg(files[i])
                   .arg(kButtonLeft + i * kButtonStep)
                   .arg(kButtonTop);
    ini += "DIGIT     = DIGIT.BMP\n";
    ini += QString("TIME      = %1, %2\n").arg(kTimeLeft).arg(kDisplayTop);
    ini += QString("FILESIZE  = %1, %2\n").arg(kSizeLeft).arg(kDisplayTop);
    return ini;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv); // fonts for the few words drawn
    if (argc != 3) {
        std::fprintf(stderr, "usage: murvane-skingen <skin folder> <resource source file>\n");
        return 2;
    }
    g_folder = QString::fromLocal8Bit(argv[1]);
    if (!g_folder.endsWith('/'))
        g_folder += '/';
    if (!QDir().mkpath(g_folder)) {
        std::fprintf(stderr, "murvane-skingen: cannot create %s\n", argv[1]);
        return 1;
    }
    const QImage mainUi = drawMainUi();
    const QImage panel = drawPanel();
    save("MAINUI.BMP", mainUi);
    save("CTRLPANEL.BMP", panel);
    save("LOGO.BMP", drawLogo());
    // The digit strip needs few colours: keep it an 8-bit picture with a colour table.
    QImage digits = drawDigits();
    QList<QRgb> digitPalette;
    for (int i = 0; i < 256; ++i) {
        const double t = i / 255.0;
        digitPalette << qRgb(int(kLcd.red() + t * (kLcdLit.red() - kLcd.red())),
                             int(kLcd.green() + t * (kLcdLit.green() - kLcd.green())),
                             int(kLcd.blue() + t * (kLcdLit.blue() - kLcd.blue())));
    }
    save("DIGIT.BMP", digits, 8, digitPalette);

    const SymbolPainter symbols[] = {recordSymbol, stopSymbol,  playSymbol, mailSymbol,
                                     configSymbol, audioSymbol, aboutSymbol};
    const char* files[] = {"RECORD", "STOP", "PLAY", "MAIL", "CONFIG", "AUDIO", "ABOUT"};
    for (int i = 0; i < 7; ++i)
        save(QString("%1.BMP").arg(files[i]),
             drawButtonCells(panel, QPoint(kButtonLeft + i * kButtonStep, kButtonTop),
                             QSize(kButton, kButton), symbols[i]));
    const QSize small(kCloseCell, kCloseCell);
    save("CLOSE.BMP",
         drawButtonCells(mainUi, QPoint(kMainWidth + kCloseX, kCloseY), small, closeSymbol, false));
    save("MINIMIZE.BMP", drawButtonCells(mainUi, QPoint(kMainWidth + kMinimizeX, kCloseY), small,
                                         minimizeSymbol, false));
    save("WEBLINK.BMP",
         drawButtonCells(
             mainUi, QPoint((kMainWidth - kWebWidth) / 2, kWebY), QSize(kWebWidth, kWebHeight),
             [](QPainter& p, QRectF b, QColor ink, bool) {
                 p.setFont(font(10, false));
                 p.setPen(ink);
                 p.drawText(b.adjusted(-12, -12, 12, 12), Qt::AlignCenter, "get the encoder");
             },
             false));

    const std::string ini = panelIni().toStdString();
    if (!writeFileAtomically((g_folder + "Panel.ini").toStdString(),
                             std::vector<uint8_t>(ini.begin(), ini.end())))
        g_failed = true;
    if (!writeResources(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "murvane-skingen: cannot write %s\n", argv[2]);
        g_failed = true;
    }
    return g_failed ? 1 : 0;
}
