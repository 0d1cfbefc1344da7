// An image list: icons of one size addressed by their position, as tree and list items use them.
#pragma once

#include <QIcon>
#include <QPixmap>

#include <vector>

namespace lumicart {

class ImageList {
public:
    explicit ImageList(int size, bool masked = true) : m_size(size), m_masked(masked) {}

    // Adds an icon, scaled to the list's size; returns its position.
    int add(const QPixmap& pixmap);
    void clear() { m_icons.clear(); }
    int count() const { return static_cast<int>(m_icons.size()); }
    int size() const { return m_size; }
    // The icon at a position; a null icon for a position outside the list.
    QIcon icon(int position) const;
    QPixmap pixmap(int position) const;

private:
    int m_size;
    bool m_masked;
    std::vector<std::pair<QPixmap, QIcon>> m_icons;
};

} // namespace lumicart
