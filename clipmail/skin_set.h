// The skin of the clip mail window: the keys of "Panel.ini", the pictures and positions they
// fill, and the reader LoadSkin.
#pragma once

#include "clipmail/dib.h"

#include <QPoint>
#include <QSize>

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kerris::clipmail {

// The 17 keys of "Panel.ini"; the value is the slot of SkinSet that the key fills.
enum class SkinKey : int {
    Logo = 0,
    MainUi = 1,
    WebLink = 2,
    Close = 3,
    Minimize = 4,
    CtrlPanel = 5,
    Record = 6,
    Stop = 7,
    Play = 8,
    Mail = 9,
    Config = 10,
    AudioCtrl = 11,
    Digit = 12,
    AboutBtm = 13,
    Path = 14,
    Time = 15,
    FileSize = 16,
};

inline constexpr int kSkinKeyCount = 17;
inline constexpr int kSkinBitmapCount = 14; // slots 0 to 13 hold pictures

// The key's name as written in "Panel.ini" (upper case).
std::string_view skinKeyName(SkinKey key);
// The key of an upper-case name (exact comparison); nullopt for any other text.
std::optional<SkinKey> skinKeyFromName(std::string_view name);

struct SkinMargins {
    int left = 0;   // L
    int top = 0;    // T
    int right = 0;  // R
    int bottom = 0; // B
};

class SkinSet {
public:
    SkinSet() = default;
    SkinSet(const SkinSet&) = delete;
    SkinSet& operator=(const SkinSet&) = delete;

    // Fills the skin from the skin file at skinFile, resolving picture names under
    // bitmapFolder (a folder text ending in "/"). A file that cannot be opened leaves the skin
    // as it is. Pictures that fail to load show the bitmap class's message and stay empty.
    // Returns whether the skin file could be opened.
    bool LoadSkin(const std::string& skinFile, const std::string& bitmapFolder);

    // The picture of slot 0-13.
    const CDib& bitmap(SkinKey slot) const;
    CDib& bitmap(SkinKey slot);
    // Width and height of the slot's picture; (0, 0) when it holds none or is not a picture slot.
    QSize bitmapSize(SkinKey slot) const;
    // Position of slot 0-16 (0, 0 until set).
    QPoint position(SkinKey slot) const;
    void setPosition(SkinKey slot, QPoint p);
    const SkinMargins& margins() const { return m_margins; }
    void setMargins(const SkinMargins& m) { m_margins = m; }

    // The picture folder in effect after the last LoadSkin (grows with "PATH" lines).
    const std::string& bitmapFolder() const { return m_bitmapFolder; }

private:
    void applyLine(const std::string& line);

    SkinMargins m_margins;
    std::array<CDib, kSkinBitmapCount> m_bitmaps;
    std::array<QPoint, kSkinKeyCount> m_positions{};
    std::string m_bitmapFolder;
};

// Reads up to `count` integers separated by single commas from text, the way "%d,%d" scans:
// leading blanks, an optional sign and digits make a number (values beyond 32 bits saturate);
// scanning stops at the first mismatch. Writes each number read to out[i] and leaves the rest
// alone; returns how many were read.
int scanIntegers(std::string_view text, int count, int* out);

// One line of the skin file as LoadSkin sees it: every blank, tab, carriage return and line
// feed removed, then upper-cased (ASCII letters only, so multibyte characters pass unchanged).
std::string normaliseSkinLine(std::string_view raw);

} // namespace kerris::clipmail
