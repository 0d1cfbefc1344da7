// langstart: starts the installer of the system's language from the installation medium.
#include "launcher/language_folder.h"
#include "platform/locale/locale.h"

int main() {
    kerris::launcher::LaunchInstaller(kerris::locale::systemDefaultLanguageId());
    return 0; // silent and successful whatever happened: the medium may lack a folder
}
