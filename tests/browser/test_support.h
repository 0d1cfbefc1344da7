// Shared pieces of the browser tests: the application object, temporary folders and files,
// and a user interface that records what would have been shown.
#pragma once

#include "browser/user_interface.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace lumicart::test {

// The one QApplication of the test program (created on first use, offscreen).
void ensureApplication();

// Creates a file of `size` bytes (sparse where the file system allows), creating folders.
void makeFile(const QString& path, int64_t size = 0);
// Writes a picture file in a given format ("BMP", "JPG").
void makePicture(const QString& path, int width, int height, const char* format,
                 Qt::GlobalColor colour = Qt::red);
void makeFolder(const QString& path);
QByteArray readAll(const QString& path);

// A test whose shell namespace holds one temporary volume (m_vol, ending in "/") and no home
// root, in the English locale; all put back when it ends.
class VolumeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QTemporaryDir m_dir;
    QString m_vol;
};

class RecordingUserInterface : public UserInterface {
public:
    void showError(QWidget*, const QString& text) override { errors.append(text); }
    bool confirmDelete(QWidget*, const QStringList& paths) override {
        confirmations.push_back(paths);
        return confirmAnswer;
    }
    void showShellError(QWidget*, const QString& text) override { shellErrors.append(text); }
    QString getSaveFileName(QWidget*, const FileDialogOptions&) override { return saveAnswer; }
    QString getOpenFileName(QWidget*, const FileDialogOptions&) override { return openAnswer; }

    QStringList errors;
    QStringList shellErrors;
    std::vector<QStringList> confirmations;
    bool confirmAnswer = true;
    QString saveAnswer;
    QString openAnswer;
};

} // namespace lumicart::test
