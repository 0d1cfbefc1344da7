// SplashDialog: the start-up picture (the skin's LOGO), centred on the screen, on top.
#pragma once

#include <QImage>
#include <QWidget>

namespace kerris::clipmail {

class SplashDialog final : public QWidget {
    Q_OBJECT
public:
    // Takes the picture's size and centres itself on the screen's work area.
    explicit SplashDialog(const QImage& logo);
    // Shows the window at the top of the window order and paints it at once.
    void showNow();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_logo;
};

// Where a picture of the given size goes: centred on the work area, each half truncated.
QPoint splashPosition(QSize workArea, QSize picture);

} // namespace kerris::clipmail
