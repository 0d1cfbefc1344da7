// Shared pieces of the browser tests.
#include "tests/browser/test_support.h"

#include "platform/shell/shell.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

namespace lumicart::test {

void ensureApplication() {
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "browser_test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

void makeFolder(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString();
}

void makeFile(const QString& path, int64_t size) {
    makeFolder(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_TRUE(file.resize(size));
}

void makePicture(const QString& path, int width, int height, const char* format,
                 Qt::GlobalColor colour) {
    makeFolder(QFileInfo(path).absolutePath());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(path, format)) << path.toStdString();
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void VolumeTest::SetUp() {
    ensureApplication();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ASSERT_TRUE(m_dir.isValid());
    m_vol = m_dir.path() + "/vol/";
    makeFolder(m_vol);
    kerris::shell::setVolumes(std::vector<QString>{m_vol});
    kerris::shell::setHomeFolder(QString());
}

void VolumeTest::TearDown() {
    kerris::shell::setVolumes(std::nullopt);
    kerris::shell::setHomeFolder(std::nullopt);
    QLocale::setDefault(QLocale::c());
}

} // namespace lumicart::test
