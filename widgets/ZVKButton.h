// A push button that never shows a focus frame.
#pragma once

#include <QPushButton>

// ZVKButton is drawn by the style like any push button, but without the
// focus frame: title-bar buttons and image buttons keep their look when they
// take the keyboard focus. Base of HeaderButton.
class ZVKButton : public QPushButton {
    Q_OBJECT
public:
    explicit ZVKButton(QWidget* parent = nullptr);
    explicit ZVKButton(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
