// Terminating signals reach the event loop through a socket pair; every modal dialog is ended
// from then on, and the window closes once it has been shown.
#include "browser/termination.h"

#include "browser/tformmain.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <exception>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace lumicart {

namespace {

// The handler only wakes the event loop; everything else happens there.
int g_signalSocket[2] = {-1, -1};

extern "C" void onTerminate(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalSocket[0], &byte, 1);
    errno = saved;
}

// How often dialogs that come up after the request (a second start-up message, the warning
// of a settings write) are ended.
constexpr int kDialogSweepMs = 20;

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

class TerminationWatch {
public:
    TerminationWatch() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalSocket) !=
            0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(g_signalSocket[1], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                         [this] { onRequest(); });
        m_sweep.setInterval(kDialogSweepMs);
        QObject::connect(&m_sweep, &QTimer::timeout, &m_sweep, [] { endModalDialogs(); });
        struct sigaction action = {};
        action.sa_handler = onTerminate;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signal : kSignals)
            ::sigaction(signal, &action, nullptr);
    }
    ~TerminationWatch() {
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        for (const int signal : kSignals)
            ::sigaction(signal, &action, nullptr);
        m_notifier.reset();
        for (int& end : g_signalSocket) {
            if (end >= 0)
                ::close(end);
            end = -1;
        }
    }
    TerminationWatch(const TerminationWatch&) = delete;
    TerminationWatch& operator=(const TerminationWatch&) = delete;

    bool requested() const { return m_requested; }
    // From here on a request closes `form` and ends the main loop at once.
    void mainLoopRuns(TFormMain* form) { m_form = form; }

private:
    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

    // During start-up (the window's construction or first show, either of which may be
    // waiting on a message box) main finishes the start and closes the window; in the main
    // loop the window is closed here, which writes the settings.
    void onRequest() {
        char byte;
        while (::read(g_signalSocket[1], &byte, 1) > 0) {
        }
        m_requested = true;
        endModalDialogs();
        m_sweep.start();
        if (!m_form)
            return;
        m_form->close();
        QCoreApplication::quit();
    }

    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_sweep;
    bool m_requested = false;
    TFormMain* m_form = nullptr;
};

} // namespace

int runMainWindow(UserInterface& ui, const std::function<void(TFormMain&)>& inMainLoop) {
    TerminationWatch watch;
    try {
        TFormMain form(ui);
        // A request during construction still shows and closes the window: the show reads
        // the settings (or makes the defaults), the close writes them.
        form.show();
        if (watch.requested()) {
            form.close();
            return 0;
        }
        // Without a window manager nobody else hands the new window the keyboard.
        form.activateWindow();
        watch.mainLoopRuns(&form);
        if (inMainLoop)
            QTimer::singleShot(0, &form, [&form, &inMainLoop] { inMainLoop(form); });
        const int status = QApplication::exec();
        watch.mainLoopRuns(nullptr);
        return status;
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Lumicart"),
                              QString::fromLocal8Bit(error.what()));
    }
    return 0;
}

} // namespace lumicart
