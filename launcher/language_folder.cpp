// Choosing and starting the installer of the system's language.
#include "launcher/language_folder.h"

#include "platform/locale/locale.h"
#include "platform/process/process.h"

namespace kerris::launcher {

const char* LanguageFolder(uint16_t languageId) {
    switch (languageId) {
    case locale::kChineseTaiwan:
        return "cht";
    // Hong Kong reads the simplified installer: its traditional one was never made.
    case locale::kChinesePRC:
    case locale::kChineseHongKong:
    case locale::kChineseSingapore:
    case locale::kChineseMacao:
        return "chs";
    default:
        return kFallbackFolder;
    }
}

bool LaunchInstaller(uint16_t languageId) {
    const auto saved = process::currentFolder();
    bool entered = process::setCurrentFolder(LanguageFolder(languageId)) ||
                   process::setCurrentFolder(kFallbackFolder);
    if (!entered)
        return false;
    bool started = process::startDetached("Setup.exe");
    if (saved)
        process::setCurrentFolder(*saved);
    return started;
}

} // namespace kerris::launcher
