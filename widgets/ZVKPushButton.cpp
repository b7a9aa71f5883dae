#include "ZVKPushButton.h"

ZVKPushButton::ZVKPushButton(QWidget* parent) : QPushButton(parent) {}

ZVKPushButton::ZVKPushButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}
