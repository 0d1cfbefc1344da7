// The start-up picture window.
#include "clipmail/splash_dialog.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace kerris::clipmail {

QPoint splashPosition(QSize workArea, QSize picture) {
    return QPoint(workArea.width() / 2 - picture.width() / 2,
                  workArea.height() / 2 - picture.height() / 2);
}

SplashDialog::SplashDialog(const QImage& logo)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_logo(logo) {
    setObjectName("SplashDialog");
    setWindowTitle("Murvane");
    // The picture covers the whole window: no background erasing.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    QRect area = QGuiApplication::primaryScreen()
                     ? QGuiApplication::primaryScreen()->availableGeometry()
                     : QRect(0, 0, 640, 480);
    setFixedSize(m_logo.size().expandedTo(QSize(1, 1)));
    move(area.topLeft() + splashPosition(area.size(), m_logo.size()));
}

void SplashDialog::showNow() {
    show();
    raise();
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void SplashDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_logo, QRect(QPoint(0, 0), size()));
}

} // namespace kerris::clipmail
