#include "ButtonMenu.h"

ButtonMenu::ButtonMenu(QWidget* parent) : ZVKMenu(parent) {}

ButtonMenu::ButtonMenu(const QString& title, QWidget* parent) : ZVKMenu(title, parent) {}
