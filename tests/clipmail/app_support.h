// Helpers of the clip mail window tests: the application object, recorded desktop services,
// a private registry folder and the default skin of the build.
#pragma once

#include "clipmail/desktop_services.h"

#include <QDialog>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kerris::clipmail::test {

// Creates the process's QApplication on first use (offscreen in the test environment).
void ensureApplication();

// Records every request instead of showing or starting anything. Modal dialogs are recorded
// by their title and the texts of their labels, then closed with the given result.
class RecordingDesktop : public DesktopServices {
public:
    RecordingDesktop() { setDesktopServices(this); }
    ~RecordingDesktop() override { setDesktopServices(nullptr); }
    void showMessage(QWidget*, const QString& text) override { messages.push_back(text); }
    int runModal(QDialog& dialog) override;
    bool openUrl(const QUrl& url) override {
        urls.push_back(url);
        return true;
    }
    bool programExists(const QString& program) override {
        asked.push_back(program);
        return programsPresent && !missingPrograms.count(program);
    }
    bool startProgram(const QString& program, const QStringList&) override {
        started.push_back(program);
        return startSucceeds;
    }
    bool startProgramIn(const QString& program, const QStringList& arguments,
                        const QString& folder) override {
        started.push_back(program);
        runs.push_back({program, arguments, folder});
        return startSucceeds;
    }
    std::optional<QString> programOutput(const QString& program,
                                         const QStringList& arguments) override {
        const QString line = (QStringList{program} + arguments).join(' ');
        const auto found = outputs.find(line);
        if (found == outputs.end())
            return std::nullopt;
        return found->second;
    }

    bool programsPresent = true;
    std::set<QString> missingPrograms;
    bool startSucceeds = true;
    // Standard output of a program by its command line ("xdg-mime query default ...").
    std::map<QString, QString> outputs;
    // Runs the modal dialog's own code while it is "open"; its result is returned.
    std::function<int(QDialog&)> onModal;
    struct Run {
        QString program;
        QStringList arguments;
        QString folder;
    };
    std::vector<Run> runs;
    std::vector<QString> messages;
    std::vector<QUrl> urls;
    std::vector<QString> asked;
    std::vector<QString> started;
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
