// The window's own controls.
#include "browser/widgets.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>

namespace lumicart {

namespace {

// Draws the list's grid lines and hands finished caption edits to the list's handler
// instead of writing them into the item.
class GridDelegate : public QStyledItemDelegate {
public:
    GridDelegate(ListView* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(QColor(0xd8, 0xd8, 0xd8));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        auto* line = qobject_cast<QLineEdit*>(editor);
        QTreeWidgetItem* item = m_list->itemFromIndex(index);
        if (line && item && m_list->onEdited)
            m_list->onEdited(item, line->text());
    }

private:
    ListView* m_list;
};

} // namespace

TreeView::TreeView(QWidget* parent) : QTreeWidget(parent) {}

void TreeView::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    if (!currentItem() && topLevelItemCount() > 0)
        setCurrentItem(topLevelItem(0));
}

ListView::ListView(QWidget* parent) : QTreeWidget(parent) {
    setItemDelegate(new GridDelegate(this));
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

void ListView::keyPressEvent(QKeyEvent* event) {
    const bool editing = isEditing();
    QTreeWidget::keyPressEvent(event);
    if (!editing)
        emit keyDown(event->key());
}

PreviewImage::PreviewImage(QWidget* parent) : QWidget(parent) {}

void PreviewImage::paintEvent(QPaintEvent*) {
    if (!hasPicture())
        return;
    if (m_drawn.isNull() || m_drawnSize != size() || m_drawnStretch != m_stretch) {
        m_drawn = QPixmap::fromImage(previewDrawing(m_picture, size(), m_stretch));
        m_drawnSize = size();
        m_drawnStretch = m_stretch;
    }
    // Stretched, the drawing fills the area; otherwise it is the picture at its natural size.
    QPainter painter(this);
    const QRect target((width() - m_drawn.width()) / 2, (height() - m_drawn.height()) / 2,
                       m_drawn.width(), m_drawn.height());
    painter.drawPixmap(target, m_drawn);
}

void PreviewImage::mouseDoubleClickEvent(QMouseEvent* event) {
    QWidget::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

SplitterBar::SplitterBar(Qt::Orientation moves, QWidget* parent) : QWidget(parent), m_moves(moves) {
    setCursor(moves == Qt::Horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor);
}

void SplitterBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setPen(palette().light().color());
    painter.drawLine(rect().topLeft(),
                     m_moves == Qt::Horizontal ? rect().bottomLeft() : rect().topRight());
    painter.setPen(palette().dark().color());
    painter.drawLine(m_moves == Qt::Horizontal ? rect().topRight() : rect().bottomLeft(),
                     rect().bottomRight());
}

void SplitterBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_start = event->globalPosition().toPoint();
}

void SplitterBar::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging)
        return;
    const QPoint delta = event->globalPosition().toPoint() - m_start;
    emit dragged(m_moves == Qt::Horizontal ? delta.x() : delta.y());
}

void SplitterBar::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    emit released();
}

void ClientArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (onResize)
        onResize();
}

} // namespace lumicart
