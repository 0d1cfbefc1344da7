// What the clip mail windows show modally: message boxes and dialogs. Behind one replaceable
// interface so tests never wait on a window. (Addresses and other programs are the desktop's:
// platform/desktop.)
#pragma once

#include "clipmail/message_box.h"

#include <QString>

class QDialog;
class QWidget;

namespace kerris::clipmail {

class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    // A modal message box with an OK button and the text alone.
    virtual void showMessage(QWidget* parent, const QString& text) = 0;
    // Runs a dialog modally and returns its result.
    virtual int runModal(QDialog& dialog) = 0;
};

// The current implementation: the window system's until another is installed.
DesktopServices& desktopServices();
// Installs an implementation (kept by the caller); null restores the window system's.
void setDesktopServices(DesktopServices* services);

// The bitmap class's message boxes shown through the desktop services (installed by the
// program at start-up).
class DesktopMessageBoxes final : public MessageBoxes {
public:
    void show(const std::string& text) override;
};

} // namespace kerris::clipmail
