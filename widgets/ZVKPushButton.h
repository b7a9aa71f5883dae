// The program's text push button, styled by the skin sheet.
#pragma once

#include <QPushButton>

// ZVKPushButton is a QPushButton with the skin sheet's grey rounded look and
// its hover and pressed colours. With the keyboard focus, Return and Enter
// press it as Space does, default button or not: a window without a default
// button (the main window) still answers the key on the button it is on.
class ZVKPushButton : public QPushButton {
    Q_OBJECT
public:
    explicit ZVKPushButton(QWidget* parent = nullptr);
    explicit ZVKPushButton(const QString& text, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
