// The program's text push button, styled by the skin sheet.
#pragma once

#include <QPushButton>

// ZVKPushButton adds nothing to QPushButton but its class name: the skin
// sheet gives it the grey rounded look with its hover and pressed colours.
class ZVKPushButton : public QPushButton {
    Q_OBJECT
public:
    explicit ZVKPushButton(QWidget* parent = nullptr);
    explicit ZVKPushButton(const QString& text, QWidget* parent = nullptr);
};
