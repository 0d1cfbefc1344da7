// The program's own resources: strings 101-103, icon 128 and the background texture 137.
#pragma once

#include "clipmail/dib.h"

#include <QIcon>
#include <QImage>

namespace kerris::clipmail {

// String 101: the system menu's About item.
inline constexpr const char* kString101 = "\xE9\x97\x9C\xE6\x96\xBC Murvane(&A)...";
// Strings 102 and 103: encoder failures.
inline constexpr const char* kString102 = "Program fail,please reinstall program";
inline constexpr const char* kString103 = "Preview function fail";

inline constexpr const char* kAboutCaption = "About Murvane";
inline constexpr const char* kAboutVersion = "Murvane Version 1.1";
inline constexpr const char* kAboutCopyright = "Copyright \xC2\xA9 2026 The Kerris developers";

// The media encoder's download page (command 1000).
inline constexpr const char* kEncoderDownloadPage = "https://kerris.example.org/murvane/encoder/";

// Bitmap 137 (48 x 48, 16 colours), attached in place from the program's data.
const CDib& bitmap137();
// Icon 128 as a picture and as a window icon.
QImage icon128Image();
QIcon icon128();

} // namespace kerris::clipmail
