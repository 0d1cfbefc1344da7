// The size and date cells of the file list.
#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>

namespace lumicart {

// A file size in whole kilobytes, rounded to the nearest (halves away from zero), in the
// locale's number format with thousands separators, followed directly by "KB": "1,234KB".
QString sizeText(int64_t bytes, const QLocale& locale = QLocale());

// A time (seconds since the epoch) in local time as "YYYY/MM/DD hh:mm:ss".
QString dateText(int64_t secondsSinceEpoch);

} // namespace lumicart
