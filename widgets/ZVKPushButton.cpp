#include "ZVKPushButton.h"

#include <QKeyEvent>

ZVKPushButton::ZVKPushButton(QWidget* parent) : QPushButton(parent) {}

ZVKPushButton::ZVKPushButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void ZVKPushButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == 0 && isEnabled()) {
        click();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}
