// The entry numbers of the browser's message table, one list for the window (browser/messages.h
// holds the texts) and the toolkit-free commands that ask for a message by number.
#pragma once

namespace lumicart {

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

} // namespace lumicart
