// The start folder split into its volume root and folder names, for the tree's descent.
#pragma once

#include <QString>
#include <QStringList>

namespace lumicart {

// The folder part of a path: everything up to and including its last "/"; empty without one.
QString folderPart(const QString& path);

// Splits a current folder such as "/home/ann/Photos/" into its drive part (the volume root
// driveRoot, which ends in "/"; "/" when driveRoot is empty) followed by its folder names:
// "/", "home", "ann", "Photos". An element that cannot be found again in what is left ends the
// split, so no input can keep it looping.
QStringList pathElements(const QString& currentFolder, const QString& driveRoot);

} // namespace lumicart
