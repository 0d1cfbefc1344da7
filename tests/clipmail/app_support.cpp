// Helpers of the clip mail window tests.
#include "tests/clipmail/app_support.h"

#include <QApplication>
#include <QLabel>

#include <cstdlib>
#include <filesystem>

namespace kerris::clipmail::test {

void ensureApplication() {
    if (QApplication::instance())
        return;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0); // also when run by hand
    static int argc = 1;
    static char name[] = "clipmail_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);
    (void)application;
}

int RecordingDesktop::runModal(QDialog& dialog) {
    Modal m;
    m.title = dialog.windowTitle();
    for (QLabel* label : dialog.findChildren<QLabel*>())
        if (!label->text().isEmpty())
            m.labels << label->text();
    modals.push_back(m);
    if (onModal)
        return onModal(dialog);
    return QDialog::Accepted;
}

PrivateRegistry::PrivateRegistry() {
    if (const char* previous = std::getenv("KERRIS_REGISTRY_DIR")) {
        m_previous = previous;
        m_hadPrevious = true;
    }
    ::setenv("KERRIS_REGISTRY_DIR", m_dir.path().toLocal8Bit().constData(), 1);
}

PrivateRegistry::~PrivateRegistry() {
    if (m_hadPrevious)
        ::setenv("KERRIS_REGISTRY_DIR", m_previous.c_str(), 1);
    else
        ::unsetenv("KERRIS_REGISTRY_DIR");
}

std::string defaultSkinFolder() {
    if (const char* build = std::getenv("KERRIS_BUILD_DIR"))
        return std::string(build) + "/share/kerris/murvane/skin/";
    // Run by hand: the test programs live in build/tests.
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (exe.parent_path() / "../share/kerris/murvane/skin/").lexically_normal().string();
}

} // namespace kerris::clipmail::test
