// Which files the list shows, and the checks of an in-place rename.
#pragma once

#include <QString>

namespace lumicart {

// The extension of a parsing name: from its last "." after the last "/" or ":", the "."
// included; empty when there is none.
QString fileExtension(const QString& name);

// True for the picture extensions ".JPG", ".BMP" and ".JPEG" in any letter case.
bool isPictureFile(const QString& name);

// True when two names have the same extension, letter case aside.
bool sameExtension(const QString& a, const QString& b);

// What an in-place rename of oldPath to the edited caption comes to.
enum class RenameVerdict {
    Rename,           // rename oldPath to newPath
    ExtensionChanged, // refused with the program's message: the extension differs
    Unchanged,        // the name is the same: nothing to do
    InvalidName,      // the name would leave the folder or names nothing: refused silently
};

struct RenamePlan {
    RenameVerdict verdict = RenameVerdict::InvalidName;
    QString newPath; // the folder of oldPath followed by the edited name, blanks trimmed
};

RenamePlan planRename(const QString& oldPath, const QString& edited);

} // namespace lumicart
