// Helpers of the clip mail window tests: the application object, recorded desktop services,
// a private registry folder and the default skin of the build.
#pragma once

#include "clipmail/desktop_services.h"
#include "tests/support/recording_desktop.h"

#include <QDialog>
#include <QTemporaryDir>

#include <functional>
#include <string>
#include <vector>

namespace kerris::clipmail::test {

// Creates the process's QApplication on first use (offscreen in the test environment).
void ensureApplication();

// Records every request instead of showing or starting anything. Modal dialogs are recorded
// by their title and the texts of their labels, then closed with the given result; the
// desktop's side (addresses, programs) is the shared recording desktop's.
class RecordingDesktop : public DesktopServices, public desktop::test::RecordingDesktop {
public:
    RecordingDesktop() { setDesktopServices(this); }
    ~RecordingDesktop() override { setDesktopServices(nullptr); }
    void showMessage(QWidget*, const QString& text) override { messages.push_back(text); }
    int runModal(QDialog& dialog) override;

    // Runs the modal dialog's own code while it is "open"; its result is returned.
    std::function<int(QDialog&)> onModal;
    std::vector<QString> messages;
    struct Modal {
        QString title;
        QStringList labels;
    };
    std::vector<Modal> modals;
};

// Points the registry at a fresh folder for the object's lifetime.
class PrivateRegistry {
public:
    PrivateRegistry();
    ~PrivateRegistry();
    std::string folder() const { return m_dir.path().toStdString(); }

private:
    QTemporaryDir m_dir;
    std::string m_previous;
    bool m_hadPrevious = false;
};

// The default skin drawn by the build ($KERRIS_BUILD_DIR/share/kerris/murvane/skin/, or
// beside the test program's folder when run by hand).
std::string defaultSkinFolder();

} // namespace kerris::clipmail::test
