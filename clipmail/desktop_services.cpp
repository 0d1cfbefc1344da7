// The window-system implementation of the modal boxes.
#include "clipmail/desktop_services.h"

#include <QDialog>
#include <QMessageBox>

namespace kerris::clipmail {
namespace {

class QtDesktopServices final : public DesktopServices {
public:
    void showMessage(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Murvane"), text, QMessageBox::Ok,
                        parent);
        box.exec();
    }
    int runModal(QDialog& dialog) override { return dialog.exec(); }
};

QtDesktopServices g_qt;
DesktopServices* g_current = &g_qt;

} // namespace

DesktopServices& desktopServices() {
    return *g_current;
}

void setDesktopServices(DesktopServices* services) {
    g_current = services ? services : &g_qt;
}

void DesktopMessageBoxes::show(const std::string& text) {
    desktopServices().showMessage(nullptr, QString::fromStdString(text));
}

} // namespace kerris::clipmail
