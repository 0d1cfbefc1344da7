// The owner-drawn controls of the skinned window: buttons and digit displays that leave their
// drawing to the window that owns them.
#pragma once

#include <QAbstractButton>
#include <QWidget>

namespace kerris::clipmail {

// Draws one owner-drawn control: the control's id, a painter on it, its rectangle and state.
class ItemDrawer {
public:
    virtual ~ItemDrawer() = default;
    virtual void drawItem(int id, QPainter& painter, const QRect& rect, bool disabled,
                          bool pressed) = 0;
};

// Sets the identifier of a control: property "controlId" and the object name.
void setControlId(QWidget* control, int id);
// The identifier of a control, 0 when it has none.
int controlId(const QWidget* control);

class SkinButton final : public QAbstractButton {
    Q_OBJECT
public:
    SkinButton(int id, const QString& text, ItemDrawer& drawer, QWidget* parent);
    QSize sizeHint() const override { return size(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ItemDrawer& m_drawer;
};

class DigitDisplay final : public QWidget {
    Q_OBJECT
public:
    DigitDisplay(int id, const QString& text, ItemDrawer& drawer, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ItemDrawer& m_drawer;
};

} // namespace kerris::clipmail
