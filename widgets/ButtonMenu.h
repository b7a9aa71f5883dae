// The menu class the header's filter buttons open.
#pragma once

#include "ZVKMenu.h"

// ButtonMenu is a ZVKMenu under a class name of its own, so the sheet can
// style the filter menus apart; the filter menus derive from it.
class ButtonMenu : public ZVKMenu {
    Q_OBJECT
public:
    explicit ButtonMenu(QWidget* parent = nullptr);
    explicit ButtonMenu(const QString& title, QWidget* parent = nullptr);
};
