// The user interface of the running program: Qt message boxes and file dialogs.
#pragma once

#include "browser/user_interface.h"

namespace lumicart {

class DesktopUserInterface : public UserInterface {
public:
    void showError(QWidget* owner, const QString& text) override;
    bool confirmDelete(QWidget* owner, const QStringList& paths) override;
    void showShellError(QWidget* owner, const QString& text) override;
    QString getSaveFileName(QWidget* owner, const FileDialogOptions& options) override;
    QString getOpenFileName(QWidget* owner, const FileDialogOptions& options) override;
};

} // namespace lumicart
