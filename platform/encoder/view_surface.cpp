// The widget a view paints the live video into.
#include "platform/encoder/view_surface.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>

namespace kerris::encoder {

QRect fittedRect(int pictureWidth, int pictureHeight, const QRect& area) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || area.isEmpty())
        return {};
    // In 64 bits: an area's side times a picture's side can exceed 32 bits. Rounded to the
    // nearest pixel, and never less than one.
    auto scaled = [](int64_t side, int64_t numerator, int64_t denominator) {
        return int(std::max<int64_t>(1, (side * numerator + denominator / 2) / denominator));
    };
    int width = area.width();
    int height = scaled(width, pictureHeight, pictureWidth);
    if (height > area.height()) {
        height = area.height();
        width = std::min(area.width(), scaled(height, pictureWidth, pictureHeight));
    }
    return QRect(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2,
                 width, height);
}

ViewSurface::ViewSurface(QWidget* window, std::shared_ptr<LiveSession> live)
    : QWidget(window), m_live(std::move(live)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents); // the program's window keeps its clicks
    setGeometry(window->rect());
    window->installEventFilter(this);
    m_timer.setInterval(kPollMilliseconds);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
    show();
}

void ViewSurface::start() {
    if (!m_timer.isActive())
        m_timer.start();
    poll();
}

void ViewSurface::stop() {
    m_timer.stop();
}

void ViewSurface::poll() {
    int width = 0, height = 0;
    const uint64_t sequence = m_live->latestFrame(m_shown, m_pixels, width, height);
    if (sequence == 0 || sequence == m_shown || width <= 0 || height <= 0 ||
        m_pixels.size() < size_t(width) * size_t(height))
        return;
    // A copy of its own, so the buffer can take the next picture while this one is shown.
    m_picture = QImage(reinterpret_cast<const uchar*>(m_pixels.data()), width, height, width * 4,
                       QImage::Format_RGB32)
                    .copy();
    m_shown = sequence;
    update();
}

void ViewSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_picture.isNull())
        return;
    const QRect target = fittedRect(m_picture.width(), m_picture.height(), rect());
    if (target.isEmpty())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_picture);
}

bool ViewSurface::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return false;
}

} // namespace kerris::encoder
