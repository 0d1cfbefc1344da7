// Owner-drawn buttons and displays.
#include "clipmail/skin_widgets.h"

#include <QPainter>
#include <QVariant>

namespace kerris::clipmail {

void setControlId(QWidget* control, int id) {
    control->setProperty("controlId", id);
    control->setObjectName(QString::number(id));
}

int controlId(const QWidget* control) {
    return control->property("controlId").toInt();
}

SkinButton::SkinButton(int id, const QString& text, ItemDrawer& drawer, QWidget* parent)
    : QAbstractButton(parent), m_drawer(drawer) {
    setControlId(this, id);
    setText(text);
    setFocusPolicy(Qt::TabFocus);
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_drawer.drawItem(controlId(this), painter, rect(), !isEnabled(), isDown());
}

DigitDisplay::DigitDisplay(int id, const QString& text, ItemDrawer& drawer, QWidget* parent)
    : QWidget(parent), m_drawer(drawer) {
    setControlId(this, id);
    setAccessibleName(text);
    setFocusPolicy(Qt::NoFocus);
}

void DigitDisplay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_drawer.drawItem(controlId(this), painter, rect(), !isEnabled(), false);
}

} // namespace kerris::clipmail
