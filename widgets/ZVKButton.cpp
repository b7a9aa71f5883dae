#include "ZVKButton.h"

#include <QPainter>
#include <QStyleOptionButton>

ZVKButton::ZVKButton(QWidget* parent) : QPushButton(parent) {}

ZVKButton::ZVKButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void ZVKButton::paintEvent(QPaintEvent*) {
    QStyleOptionButton option;
    initStyleOption(&option);
    option.state &= ~QStyle::State_HasFocus;
    QPainter painter(this);
    style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
}
