// The widget a view paints into: a child that fills the program's window and shows the newest
// picture of the encoder's run, scaled to fit with its proportions kept, polled by a timer on
// the window's (the GUI) thread.
#pragma once

#include "platform/encoder/live_session.h"

#include <QImage>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

namespace kerris::encoder {

// The largest rectangle of the picture's proportions centred in area; empty for an empty
// picture or area.
QRect fittedRect(int pictureWidth, int pictureHeight, const QRect& area);

class ViewSurface final : public QWidget {
public:
    // How often the surface looks for a new picture: faster than the fastest profile's rate.
    static constexpr int kPollMilliseconds = 20;

    ViewSurface(QWidget* window, std::shared_ptr<LiveSession> live);

    void start();
    void stop();
    bool started() const { return m_timer.isActive(); }
    // The sequence number of the picture shown (0: none yet).
    uint64_t shownFrame() const { return m_shown; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void poll();

    std::shared_ptr<LiveSession> m_live;
    QTimer m_timer;
    QImage m_picture;
    std::vector<uint32_t> m_pixels;
    uint64_t m_shown = 0;
};

} // namespace kerris::encoder
