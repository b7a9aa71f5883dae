#include "HeaderButton.h"

HeaderButton::HeaderButton(QWidget* parent) : ZVKButton(parent) { setFixedSize(32, 33); }

HeaderButton::HeaderButton(const QString& text, QWidget* parent) : ZVKButton(text, parent) {
    setFixedSize(32, 33);
}

void HeaderButton::enterEvent(QEvent* event) {
    setCursor(Qt::ArrowCursor);
    ZVKButton::enterEvent(event);
}
