// Lumicart: the picture browser.
#include "browser/desktop_user_interface.h"
#include "browser/tformmain.h"
#include "platform/registry/registry.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

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
        form.show();
        return app.exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Lumicart"),
                              QString::fromLocal8Bit(error.what()));
    }
    return 0;
}
