// An image list: icons of one size addressed by their position.
#include "browser/image_list.h"

#include <QPainter>

namespace lumicart {

int ImageList::add(const QPixmap& source) {
    QPixmap pixmap = source;
    if (!pixmap.isNull() && (pixmap.width() != m_size || pixmap.height() != m_size))
        pixmap = pixmap.scaled(m_size, m_size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (!m_masked && !pixmap.isNull() && pixmap.hasAlpha()) {
        // A list without mask keeps no transparency: icons sit on the window colour.
        QPixmap opaque(pixmap.size());
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawPixmap(0, 0, pixmap);
        painter.end();
        pixmap = opaque;
    }
    m_icons.emplace_back(pixmap, QIcon(pixmap));
    return count() - 1;
}

QIcon ImageList::icon(int position) const {
    if (position < 0 || position >= count())
        return QIcon();
    return m_icons[static_cast<size_t>(position)].second;
}

QPixmap ImageList::pixmap(int position) const {
    if (position < 0 || position >= count())
        return QPixmap();
    return m_icons[static_cast<size_t>(position)].first;
}

} // namespace lumicart
