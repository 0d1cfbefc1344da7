// RecorderApp: start-up of the clip mail program (file type, folder, skin, main dialog).
#pragma once

#include "clipmail/main_dialog.h"

namespace kerris::clipmail {

class RecorderApp {
public:
    // Runs the program: registers the clip file type, sets the profile key, finds
    // DestinationFolder, loads the skin, runs MainDialog modally. Returns the exit status.
    int InitInstance(const MainDialogOptions& options);
};

} // namespace kerris::clipmail
