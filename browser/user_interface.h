// Everything the browser shows modally, behind one interface, so that tests replace it and see
// what would have been shown. (Documents and players are the desktop's: platform/desktop.)
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace lumicart {

// A file dialog's settings. The filter is written as pairs "description|patterns|...", as in
// "Audio Video Interleaved Files (*.avi)|*.avi|All Files (*.*)|*.*".
struct FileDialogOptions {
    QString defaultExtension; // ".avi"; appended to a typed name that has no extension
    QString filter;
    QString initialFolder;
    bool promptOverwrite = false;
    bool fileMustExist = false;
    bool pathMustExist = false;
    bool hideReadOnly = false;
    bool resizable = true;
};

// The filter in Qt's form: "Audio Video Interleaved Files (*.avi);;All Files (*.*)". A pattern
// list "*.a;*.b" becomes "*.a *.b"; a description that already names the patterns is kept.
QString qtFileFilter(const QString& pairs);

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // A modal box owned by owner with the text, the system's default title, an OK button and
    // the error icon. Returns when it is closed.
    virtual void showError(QWidget* owner, const QString& text) = 0;

    // The shell's confirmation before files go to the Trash; true to go ahead.
    virtual bool confirmDelete(QWidget* owner, const QStringList& paths) = 0;

    // The shell's own report of a failed file operation (modal, error icon).
    virtual void showShellError(QWidget* owner, const QString& text) = 0;

    // The save and open file dialogs; the chosen file, or empty when cancelled.
    virtual QString getSaveFileName(QWidget* owner, const FileDialogOptions& options) = 0;
    virtual QString getOpenFileName(QWidget* owner, const FileDialogOptions& options) = 0;
};

} // namespace lumicart
