#include "ZVKCheckBox.h"

#include <QPainter>
#include <QStyleOptionButton>

ZVKCheckBox::ZVKCheckBox(QWidget* parent) : QCheckBox(parent) {}

ZVKCheckBox::ZVKCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

void ZVKCheckBox::paintEvent(QPaintEvent*) {
    QStyleOptionButton option;
    initStyleOption(&option);
    option.state &= ~QStyle::State_HasFocus;
    QPainter painter(this);
    style()->drawControl(QStyle::CE_CheckBox, &option, &painter, this);
}
