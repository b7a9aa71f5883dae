#include "ZVKLineEdit.h"

ZVKLineEdit::ZVKLineEdit(QWidget* parent) : QLineEdit(parent) { setUp(); }

ZVKLineEdit::ZVKLineEdit(const QString& text, QWidget* parent) : QLineEdit(text, parent) {
    setUp();
}

void ZVKLineEdit::setUp() {
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setContextMenuPolicy(Qt::NoContextMenu);
}
