// Murvane, the clip mail program.
//
//   Murvane [--hold-splash <milliseconds>]
//
// --hold-splash keeps the start-up picture up at least that long (for demonstrations and
// screenshots; normally it shows only while the program starts).
#include "clipmail/desktop_services.h"
#include "clipmail/program_resources.h"
#include "clipmail/recorder_app.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    kerris::clipmail::DesktopMessageBoxes messageBoxes;
    kerris::clipmail::setMessageBoxes(&messageBoxes);
    kerris::clipmail::MainDialogOptions options;
    options.aboutItemText = QString::fromUtf8(kerris::clipmail::kString101);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hold-splash") == 0 && i + 1 < argc)
            options.splashHoldMilliseconds = std::atoi(argv[++i]);
    }
    kerris::clipmail::RecorderApp app;
    const int status = app.InitInstance(options);
    kerris::clipmail::setMessageBoxes(nullptr);
    return status;
}
