// The window's own controls: tree and list views that report the events the window handles,
// the preview image, the splitter bars and the client area that lays them out.
#pragma once

#include "browser/preview.h"

#include <QPixmap>
#include <QTreeWidget>
#include <QWidget>

#include <functional>
#include <utility>

namespace lumicart {

// The folder tree. A tree that receives the focus with no current node selects its first root.
class TreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TreeView(QWidget* parent = nullptr);

protected:
    void focusInEvent(QFocusEvent* event) override;
};

// The file list: reports double-clicks anywhere on it and key presses outside an edit.
class ListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit ListView(QWidget* parent = nullptr);
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }
    // The handler of a finished in-place edit of a caption.
    std::function<void(QTreeWidgetItem* item, const QString& text)> onEdited;

signals:
    void doubleClicked();
    void keyDown(int key);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// The preview: draws its picture centred, stretched to its area when asked to. What it draws is
// made by previewDrawing when the picture, the area or the stretching changed, not at each paint.
class PreviewImage : public QWidget {
    Q_OBJECT
public:
    explicit PreviewImage(QWidget* parent = nullptr);
    void setPicture(PreviewPicture picture) {
        m_picture = std::move(picture);
        m_drawn = QPixmap();
        update();
    }
    void clearPicture() { setPicture(PreviewPicture()); }
    const QImage& picture() const { return m_picture.image; }
    bool hasPicture() const { return !m_picture.image.isNull(); }
    void setStretch(bool stretch) {
        m_stretch = stretch;
        update();
    }
    bool stretch() const { return m_stretch; }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    PreviewPicture m_picture;
    bool m_stretch = false;
    QPixmap m_drawn; // m_picture as drawn for m_drawnSize and m_drawnStretch
    QSize m_drawnSize;
    bool m_drawnStretch = false;
};

// A bevelled splitter bar; dragging it reports the distance moved.
class SplitterBar : public QWidget {
    Q_OBJECT
public:
    SplitterBar(Qt::Orientation moves, QWidget* parent = nullptr);

signals:
    // While dragging: the pointer's distance from where the drag started.
    void dragged(int delta);
    void released();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Qt::Orientation m_moves;
    bool m_dragging = false;
    QPoint m_start;
};

// The window's client area: lays out its docked controls whenever it is resized.
class ClientArea : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    std::function<void()> onResize;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

} // namespace lumicart
