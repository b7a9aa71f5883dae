#include "ZVKMenu.h"

ZVKMenu::ZVKMenu(QWidget* parent) : QMenu(parent) { setUp(); }

ZVKMenu::ZVKMenu(const QString& title, QWidget* parent) : QMenu(title, parent) { setUp(); }

void ZVKMenu::setUp() {
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground, true);
}
