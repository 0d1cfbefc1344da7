// Lumicart: the picture browser.
#include "browser/desktop_user_interface.h"
#include "browser/termination.h"
#include "platform/registry/registry.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumicart"));
    kerris::registry::setDamageReporter([](const std::string& message) {
        // On stderr too: the message box is gone once answered, the log line stays.
        std::fprintf(stderr, "Lumicart: %s\n", message.c_str());
        std::fflush(stderr);
        QMessageBox::warning(nullptr, QStringLiteral("Lumicart"),
                             QStringLiteral("A settings file cannot be used as it is; default "
                                            "settings are used.\n\n%1")
                                 .arg(QString::fromStdString(message)));
    });

    lumicart::DesktopUserInterface ui;
    return lumicart::runMainWindow(ui);
}
