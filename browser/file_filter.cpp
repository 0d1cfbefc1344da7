// Which files the list shows, and the checks of an in-place rename.
#include "browser/file_filter.h"

#include "browser/path_elements.h"

namespace lumicart {

QString fileExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype separator =
        std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char(':')));
    if (dot < 0 || dot < separator)
        return QString();
    return name.mid(dot);
}

bool isPictureFile(const QString& name) {
    const QString extension = fileExtension(name);
    for (const char* picture : {".JPG", ".BMP", ".JPEG"}) {
        if (extension.compare(QLatin1String(picture), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool sameExtension(const QString& a, const QString& b) {
    return fileExtension(a).compare(fileExtension(b), Qt::CaseInsensitive) == 0;
}

RenamePlan planRename(const QString& oldPath, const QString& edited) {
    RenamePlan plan;
    plan.newPath = (folderPart(oldPath) + edited).trimmed();
    if (!sameExtension(oldPath, plan.newPath)) {
        plan.verdict = RenameVerdict::ExtensionChanged;
        return plan;
    }
    const QString name = plan.newPath.mid(folderPart(oldPath).size());
    if (edited.contains(QLatin1Char('/')) || name.isEmpty() || name == QLatin1String(".") ||
        name == QLatin1String("..") || !plan.newPath.startsWith(folderPart(oldPath))) {
        plan.verdict = RenameVerdict::InvalidName;
        return plan;
    }
    plan.verdict = plan.newPath == oldPath ? RenameVerdict::Unchanged : RenameVerdict::Rename;
    return plan;
}

} // namespace lumicart
