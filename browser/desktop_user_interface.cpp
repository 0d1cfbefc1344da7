// The user interface of the running program.
#include "browser/desktop_user_interface.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace lumicart {

QString qtFileFilter(const QString& pairs) {
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString& description = parts.at(i);
        filters.append(description.contains(QLatin1Char('('))
                           ? description
                           : QStringLiteral("%1 (%2)").arg(description, patterns));
    }
    return filters.join(QLatin1String(";;"));
}

namespace {

QString runFileDialog(QWidget* owner, const FileDialogOptions& options,
                      QFileDialog::AcceptMode mode) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    dialog.setNameFilter(qtFileFilter(options.filter));
    QString suffix = options.defaultExtension;
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!options.initialFolder.isEmpty())
        dialog.setDirectory(options.initialFolder);
    QFileDialog::Options flags;
    if (!options.promptOverwrite)
        flags |= QFileDialog::DontConfirmOverwrite;
    if (options.hideReadOnly)
        flags |= QFileDialog::ReadOnly;
    dialog.setOptions(flags);
    dialog.setSizeGripEnabled(options.resizable);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

} // namespace

void DesktopUserInterface::showError(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QString(), text, QMessageBox::Ok, owner);
    box.exec();
}

bool DesktopUserInterface::confirmDelete(QWidget* owner, const QStringList& paths) {
    const QString text =
        paths.size() == 1
            ? QStringLiteral("Are you sure you want to move '%1' to the Trash?")
                  .arg(QFileInfo(paths.constFirst()).fileName())
            : QStringLiteral("Are you sure you want to move these %1 items to the Trash?")
                  .arg(paths.size());
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm File Delete"), text,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void DesktopUserInterface::showShellError(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok, owner);
    box.exec();
}

QString DesktopUserInterface::getSaveFileName(QWidget* owner, const FileDialogOptions& options) {
    return runFileDialog(owner, options, QFileDialog::AcceptSave);
}

QString DesktopUserInterface::getOpenFileName(QWidget* owner, const FileDialogOptions& options) {
    return runFileDialog(owner, options, QFileDialog::AcceptOpen);
}

} // namespace lumicart
