// Lumicart: the picture browser.
#include "browser/desktop_user_interface.h"
#include "browser/tformmain.h"
#include "platform/registry/registry.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <exception>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A termination request (the session ending, kill) closes the window the normal way, so
// the settings are written; the handler only wakes the event loop through a socket.
int g_signalSocket[2] = {-1, -1};

extern "C" void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalSocket[0], &byte, 1);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumicart"));
    kerris::registry::setDamageReporter([](const std::string& message) {
        QMessageBox::warning(nullptr, QStringLiteral("Lumicart"),
                             QStringLiteral("The settings file was damaged and has been set "
                                            "aside; default settings are used.\n\n%1")
                                 .arg(QString::fromStdString(message)));
    });

    lumicart::DesktopUserInterface ui;
    try {
        lumicart::TFormMain form(ui);
        std::unique_ptr<QSocketNotifier> terminate;
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalSocket) == 0) {
            terminate = std::make_unique<QSocketNotifier>(g_signalSocket[1], QSocketNotifier::Read);
            QObject::connect(terminate.get(), &QSocketNotifier::activated, &form, [&form] {
                char byte;
                [[maybe_unused]] const ssize_t got = ::read(g_signalSocket[1], &byte, 1);
                form.close();
            });
            std::signal(SIGTERM, onTerminate);
            std::signal(SIGINT, onTerminate);
        }
        form.show();
        // Without a window manager nobody else hands the new window the keyboard.
        form.activateWindow();
        return app.exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Lumicart"),
                              QString::fromLocal8Bit(error.what()));
    }
    return 0;
}
