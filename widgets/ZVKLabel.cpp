#include "ZVKLabel.h"

ZVKLabel::ZVKLabel(QWidget* parent) : QLabel(parent) {}

ZVKLabel::ZVKLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}
