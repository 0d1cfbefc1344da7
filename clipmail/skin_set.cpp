// LoadSkin and the SkinSet that it fills.
#include "clipmail/skin_set.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace kerris::clipmail {
namespace {

constexpr std::array<std::string_view, kSkinKeyCount> kKeyNames = {
    "LOGO", "MAINUI", "WEBLINK",   "CLOSE", "MINIMIZE",  "CTRLPANEL", "RECORD", "STOP",     "PLAY",
    "MAIL", "CONFIG", "AUDIOCTRL", "DIGIT", "ABOUT_BTM", "PATH",      "TIME",   "FILESIZE",
};

// Window coordinates stay within 16 bits, so sums of margins, sizes and positions never
// overflow; a skin file asking for more is held to the edge.
constexpr int kCoordinateLimit = 32767;
int clampCoordinate(int v) {
    return std::clamp(v, -kCoordinateLimit - 1, kCoordinateLimit);
}

// The skin file is read in pieces of at most 255 characters, as a 256-byte line buffer takes.
constexpr int kLineBuffer = 256;

bool isPictureSlot(SkinKey key) {
    return int(key) >= 0 && int(key) < kSkinBitmapCount;
}

// Splits at the first ':' into file name and number part; a value without ':' has an empty
// file name and is all number part.
void splitFileValue(const std::string& value, std::string& file, std::string& numbers) {
    size_t colon = value.find(':');
    if (colon == std::string::npos) {
        file.clear();
        numbers = value;
    } else {
        file = value.substr(0, colon);
        numbers = value.substr(colon + 1);
    }
}

} // namespace

std::string_view skinKeyName(SkinKey key) {
    return kKeyNames.at(size_t(key));
}

std::optional<SkinKey> skinKeyFromName(std::string_view name) {
    for (size_t i = 0; i < kKeyNames.size(); ++i)
        if (kKeyNames[i] == name)
            return SkinKey(int(i));
    return std::nullopt;
}

int scanIntegers(std::string_view text, int count, int* out) {
    size_t pos = 0;
    int done = 0;
    while (done < count) {
        if (done > 0) {
            if (pos >= text.size() || text[pos] != ',')
                break;
            ++pos;
        }
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n'))
            ++pos;
        bool negative = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            negative = text[pos] == '-';
            ++pos;
        }
        size_t digitsStart = pos;
        long long value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (value <= LLONG_MAX / 10 - 10)
                value = value * 10 + (text[pos] - '0');
            ++pos;
        }
        if (pos == digitsStart)
            break;
        if (negative)
            value = -value;
        if (value > INT_MAX)
            value = INT_MAX;
        if (value < INT_MIN)
            value = INT_MIN;
        out[done++] = int(value);
    }
    return done;
}

std::string normaliseSkinLine(std::string_view raw) {
    std::string line;
    line.reserve(raw.size());
    for (char c : raw) {
        // Carriage returns go too: a text-mode read would have folded CR LF into LF.
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue;
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        line.push_back(c);
    }
    return line;
}

const CDib& SkinSet::bitmap(SkinKey slot) const {
    return m_bitmaps.at(size_t(slot));
}
CDib& SkinSet::bitmap(SkinKey slot) {
    return m_bitmaps.at(size_t(slot));
}

QSize SkinSet::bitmapSize(SkinKey slot) const {
    if (!isPictureSlot(slot))
        return QSize(0, 0);
    return m_bitmaps[size_t(slot)].Size();
}

QPoint SkinSet::position(SkinKey slot) const {
    return m_positions.at(size_t(slot));
}
void SkinSet::setPosition(SkinKey slot, QPoint p) {
    m_positions.at(size_t(slot)) = p;
}

bool SkinSet::LoadSkin(const std::string& skinFile, const std::string& bitmapFolder) {
    m_bitmapFolder = bitmapFolder;
    std::FILE* file = std::fopen(skinFile.c_str(), "re");
    if (!file)
        return false;
    char buffer[kLineBuffer];
    while (std::fgets(buffer, sizeof buffer, file)) {
        // fgets stops at a NUL byte only by accident; take what it returned up to the first NUL.
        applyLine(normaliseSkinLine(std::string_view(buffer)));
    }
    std::fclose(file);
    return true;
}

void SkinSet::applyLine(const std::string& line) {
    if (line.empty() || line[0] == '#')
        return;
    size_t equals = line.find('=');
    std::string keyText = line.substr(0, equals);
    std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
    std::optional<SkinKey> key = skinKeyFromName(keyText);
    if (!key)
        return;
    switch (*key) {
    case SkinKey::Logo:
    case SkinKey::CtrlPanel:
    case SkinKey::Digit:
        bitmap(*key).LoadMapped(m_bitmapFolder + value, true);
        break;
    case SkinKey::MainUi: {
        std::string file, numbers;
        splitFileValue(value, file, numbers);
        bitmap(*key).LoadMapped(m_bitmapFolder + file, true);
        int v[4] = {m_margins.left, m_margins.top, m_margins.right, m_margins.bottom};
        scanIntegers(numbers, 4, v);
        m_margins = SkinMargins{clampCoordinate(v[0]), clampCoordinate(v[1]), clampCoordinate(v[2]),
                                clampCoordinate(v[3])};
        break;
    }
    case SkinKey::Path:
        m_bitmapFolder += value;
        m_bitmapFolder += '/';
        break;
    case SkinKey::Time:
    case SkinKey::FileSize: {
        QPoint p = position(*key);
        int v[2] = {p.x(), p.y()};
        scanIntegers(value, 2, v);
        setPosition(*key, QPoint(clampCoordinate(v[0]), clampCoordinate(v[1])));
        break;
    }
    default: {
        std::string file, numbers;
        splitFileValue(value, file, numbers);
        bitmap(*key).LoadMapped(m_bitmapFolder + file, true);
        QPoint p = position(*key);
        int v[2] = {p.x(), p.y()};
        scanIntegers(numbers, 2, v);
        setPosition(*key, QPoint(clampCoordinate(v[0]), clampCoordinate(v[1])));
        break;
    }
    }
}

} // namespace kerris::clipmail
