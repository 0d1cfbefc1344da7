// Lumicart: the picture browser.
#include "browser/desktop_user_interface.h"
#include "browser/tformmain.h"
#include "platform/registry/registry.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A termination request (the session ending, kill, Ctrl+C, a lost terminal) ends the program
// the normal way, so the settings are written; the handler only wakes the event loop through
// a socket.
int g_signalSocket[2] = {-1, -1};

extern "C" void onTerminate(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalSocket[0], &byte, 1);
    errno = saved;
}

// Where the program stands when a termination request is handled.
struct Termination {
    bool requested = false;
    bool running = false; // the main event loop runs
    lumicart::TFormMain* form = nullptr;
};
Termination g_termination;

// Ends every modal dialog that is up: each runs its own event loop, and a request that only
// closed the window would wait behind it for the user.
void endModalDialogs() {
    for (int guard = 0; guard < 64; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
    }
}

// A request during start-up (the window's construction or first show, which may be waiting on
// a message box) is finished by main once the show is done; in the main loop the window is
// closed, which writes the settings, and the program ends.
void onTerminationRequest() {
    char byte;
    while (::read(g_signalSocket[1], &byte, 1) > 0) {
    }
    g_termination.requested = true;
    endModalDialogs();
    if (!g_termination.running)
        return;
    if (g_termination.form)
        g_termination.form->close();
    QCoreApplication::quit();
}

std::unique_ptr<QSocketNotifier> watchTerminationSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalSocket) != 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(g_signalSocket[1], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [] { onTerminationRequest(); });
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    return notifier;
}

} // namespace

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
    const std::unique_ptr<QSocketNotifier> terminate = watchTerminationSignals();

    lumicart::DesktopUserInterface ui;
    try {
        lumicart::TFormMain form(ui);
        g_termination.form = &form;
        if (g_termination.requested)
            return 0; // nothing read yet, so nothing to write
        form.show();
        if (g_termination.requested) {
            form.close();
            return 0;
        }
        // Without a window manager nobody else hands the new window the keyboard.
        form.activateWindow();
        g_termination.running = true;
        const int status = app.exec();
        g_termination = Termination();
        return status;
    } catch (const std::exception& error) {
        g_termination = Termination();
        QMessageBox::critical(nullptr, QStringLiteral("Lumicart"),
                              QString::fromLocal8Bit(error.what()));
    }
    return 0;
}
