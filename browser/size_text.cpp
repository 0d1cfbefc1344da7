// The size and date cells of the file list.
#include "browser/size_text.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace lumicart {

QString sizeText(int64_t bytes, const QLocale& locale) {
    const double kilobytes = std::round(static_cast<double>(bytes) / 1024.0);
    return locale.toString(static_cast<qlonglong>(kilobytes)) + QStringLiteral("KB");
}

QString dateText(int64_t secondsSinceEpoch) {
    const time_t t = static_cast<time_t>(secondsSinceEpoch);
    struct tm local {};
    if (!localtime_r(&t, &local))
        return QString();
    char text[64];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return QString::fromLatin1(text);
}

} // namespace lumicart
