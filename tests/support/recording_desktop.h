// A desktop for tests: records what would be opened and started, answers from a script, and
// keeps its own folder of desktop entries.
#pragma once

#include "platform/desktop/desktop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kerris::desktop::test {

// Installed as the current desktop for its lifetime.
class RecordingDesktop : public Desktop {
public:
    RecordingDesktop() { setCurrent(this); }
    ~RecordingDesktop() override { setCurrent(nullptr); }
    bool openUrl(const QUrl& url) override {
        urls.push_back(url);
        return true;
    }
    bool programExists(const QString& program) override {
        return programsPresent && !missingPrograms.count(program);
    }
    bool startProgram(const QString& program, const QStringList& arguments,
                      const QString& folder) override {
        started.push_back(program);
        runs.push_back({program, arguments, folder});
        return startSucceeds;
    }
    std::optional<QString> programOutput(const QString& program,
                                         const QStringList& arguments) override {
        const auto found = outputs.find((QStringList{program} + arguments).join(' '));
        if (found == outputs.end())
            return std::nullopt;
        return found->second;
    }

    bool programsPresent = true;
    std::set<QString> missingPrograms;
    bool startSucceeds = true;
    // Standard output of a program by its command line ("xdg-mime query default ...").
    std::map<QString, QString> outputs;
    struct Run {
        QString program;
        QStringList arguments;
        QString folder;
    };
    std::vector<Run> runs;
    std::vector<QUrl> urls;
    std::vector<QString> started;
};

// A data home of its own (XDG_DATA_HOME) for the object's lifetime, where desktop entries are
// installed as the default application of a type.
class PrivateApplications {
public:
    explicit PrivateApplications(RecordingDesktop& desktop) : m_desktop(desktop) {
        const char* previous = std::getenv("XDG_DATA_HOME");
        m_hadPrevious = previous != nullptr;
        m_previous = previous ? previous : "";
        ::setenv("XDG_DATA_HOME", m_dir.path().toLocal8Bit().constData(), 1);
        QDir(m_dir.path()).mkpath("applications");
    }
    ~PrivateApplications() {
        if (m_hadPrevious)
            ::setenv("XDG_DATA_HOME", m_previous.c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }
    // Writes the entry id with text and makes xdg-mime name it for mimeType.
    void install(const QString& mimeType, const QString& id, const QByteArray& text) {
        QFile entry(m_dir.path() + "/applications/" + id);
        if (entry.open(QIODevice::WriteOnly))
            entry.write(text);
        nameDefault(mimeType, id + "\n");
    }
    // What xdg-mime answers for mimeType.
    void nameDefault(const QString& mimeType, const QString& answer) {
        m_desktop.outputs["xdg-mime query default " + mimeType] = answer;
    }

private:
    RecordingDesktop& m_desktop;
    QTemporaryDir m_dir;
    std::string m_previous;
    bool m_hadPrevious = false;
};

} // namespace kerris::desktop::test
