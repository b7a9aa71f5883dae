// The small filter button that sits on a header section.
#pragma once

#include "ZVKButton.h"

// HeaderButton is a fixed 32 x 33 ZVKButton drawn from the three-frame strip
// ":/skin/menu_indicator.png" by the skin sheet. The pointer over it is the
// arrow, whatever cursor the header shows around it.
class HeaderButton : public ZVKButton {
    Q_OBJECT
public:
    explicit HeaderButton(QWidget* parent = nullptr);
    explicit HeaderButton(const QString& text, QWidget* parent = nullptr);

protected:
    void enterEvent(QEvent* event) override;
};
