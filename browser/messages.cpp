// The program's table of user messages.
#include "browser/messages.h"

namespace lumicart {

const QStringList& messageTable() {
    static const QStringList table{
        QStringLiteral("Cannot find device!!"),
        QStringLiteral("DLL Can not found (kerriscp.dll)!!"),
        QStringLiteral("File's extension name error !!"),
        QStringLiteral("Could not open the camera!!"),
        QStringLiteral("No images on camera!!"),
        QStringLiteral("Can not save to file!!"),
        QStringLiteral("No Files selected!!"),
        QStringLiteral("Found different image file(%s)!!"),
        QStringLiteral("Different image size(%s)!!"),
        QStringLiteral("Support Bitmap files only(%s)!!"),
        QStringLiteral("Can not load Bitmap file(%s)!!"),
    };
    return table;
}

std::optional<QString> messageText(const QStringList& table, int entry,
                                   const std::optional<QString>& argument) {
    if (entry < 0 || entry >= table.size())
        return std::nullopt;
    QString text = table.at(entry);
    if (argument) {
        const qsizetype at = text.indexOf(QLatin1String("%s"));
        if (at >= 0)
            text.replace(at, 2, *argument);
    }
    return text;
}

} // namespace lumicart
