// The program's table of user messages (the hidden list box ListBoxSWMsg holds these items).
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace lumicart {

// Entry numbers of the message table.
enum MessageEntry : int {
    kMsgNoDevice = 0,           // no video capture driver at all
    kMsgNoCameraLibrary = 1,    // the camera library failed to load
    kMsgExtensionError = 2,     // in-place rename that changes the extension
    kMsgCannotOpenCamera = 3,   // camera commands
    kMsgNoImages = 4,           // camera commands
    kMsgCannotSave = 5,         // download
    kMsgNoFilesSelected = 6,    // movie from files
    kMsgDifferentImageFile = 7, // kept for its number; no command shows it
    kMsgDifferentSize = 8,      // movie from files
    kMsgBitmapOnly = 9,         // movie from files
    kMsgCannotLoadBitmap = 10,  // movie from files
};

// The items of the table, entry 0 first.
const QStringList& messageTable();

// The text of an entry; with an argument the entry is a format whose "%s" is replaced by the
// argument (the argument itself is not scanned for formats). nullopt for a number outside the
// table.
std::optional<QString> messageText(const QStringList& table, int entry,
                                   const std::optional<QString>& argument = std::nullopt);

} // namespace lumicart
