// Start-up of the clip mail program.
#include "clipmail/recorder_app.h"

#include "clipmail/clip_file_type.h"
#include "clipmail/destination_folder.h"
#include "clipmail/message_box.h"
#include "clipmail/skin_layout.h"
#include "platform/com/com.h"

#include <QCoreApplication>

#include <memory>

namespace kerris::clipmail {

int RecorderApp::InitInstance(const MainDialogOptions& options) {
    // Controls are hosted by the widget toolkit directly; it needs no switch for them, nor
    // for the three-dimensional look. The component runtime serves this thread.
    CoInitialize(nullptr);
    RegisterClipFileType();
    // The profile key "Veltrane\Murvane"; the program stores no per-user values under it.
    QCoreApplication::setOrganizationName("Veltrane");
    QCoreApplication::setApplicationName("Murvane");
    if (DestinationFolder().empty())
        DestinationFolder() = readDestinationFolder();
    // The skin reads its pictures from DestinationFolder, which is therefore set before it.
    auto skin = std::make_unique<SkinSet>();
    const std::string skinFile = DestinationFolder() + "Panel.ini";
    skin->LoadSkin(skinFile, DestinationFolder());
    // A window the user could neither see nor close is worse than none: say why and end.
    if (std::optional<std::string> problem = skinWindowProblem(*skin, SkinFrame{}.video)) {
        showMessage(kUnusableSkin + std::string("\n") + skinFile + ": " + *problem);
        CoUninitialize();
        return 1;
    }
    {
        MainDialog dialog(*skin, DestinationFolder(), options);
        dialog.exec();
    }
    skin.reset();
    CoUninitialize();
    return 0;
}

} // namespace kerris::clipmail
