// Lumicart's window run as the program runs it, for the signal tests: every dialog that comes up
// is announced on stderr ("dialog up: <class>: <text>"), and the first argument picks a dialog to
// open once the main loop runs: "message" (a message box), "file" (the open-file dialog) or "idle"
// (none; "main loop runs" is announced instead).
#include "browser/desktop_user_interface.h"
#include "browser/termination.h"
#include "browser/tformmain.h"
#include "browser/user_interface.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMessageBox>

#include <cstdio>
#include <cstring>

namespace {

void announce(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

// Announces each dialog as it is shown, which is when its own event loop is about to run.
class DialogAnnouncer : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            const QString kind = QString::fromLatin1(watched->metaObject()->className());
            if (auto* box = qobject_cast<QMessageBox*>(watched))
                announce(QStringLiteral("dialog up: %1: %2").arg(kind, box->text()));
            else if (auto* dialog = qobject_cast<QDialog*>(watched))
                announce(QStringLiteral("dialog up: %1: %2").arg(kind, dialog->windowTitle()));
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumicart"));
    DialogAnnouncer announcer;
    app.installEventFilter(&announcer);
    const char* mode = argc > 1 ? argv[1] : "idle";

    lumicart::DesktopUserInterface ui;
    return lumicart::runMainWindow(ui, [&ui, mode](lumicart::TFormMain& form) {
        if (std::strcmp(mode, "message") == 0) {
            ui.showError(&form, QStringLiteral("A message in the main loop"));
        } else if (std::strcmp(mode, "file") == 0) {
            lumicart::FileDialogOptions options;
            options.filter = QStringLiteral("Bitmap|*.bmp");
            ui.getOpenFileName(&form, options);
        } else {
            announce(QStringLiteral("main loop runs"));
        }
    });
}
