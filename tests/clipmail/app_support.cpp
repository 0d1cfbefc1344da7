// Helpers of the clip mail window tests.
#include "tests/clipmail/app_support.h"

#include <QApplication>
#include <QLabel>

#include <cstdlib>

namespace kerris::clipmail::test {

void ensureApplication() {
    if (QApplication::instance())
        return;
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
    const char* build = std::getenv("KERRIS_BUILD_DIR");
    return std::string(build ? build : ".") + "/share/kerris/murvane/skin/";
}

} // namespace kerris::clipmail::test
