// A frameless, translucent menu whose only frame is the one the sheet draws.
#pragma once

#include <QMenu>

// ZVKMenu is a QMenu without the window system's frame and with a
// translucent background, so the skin sheet's border and background (and
// their rounded corners) are all that shows. Base of ButtonMenu.
class ZVKMenu : public QMenu {
    Q_OBJECT
public:
    explicit ZVKMenu(QWidget* parent = nullptr);
    explicit ZVKMenu(const QString& title, QWidget* parent = nullptr);

private:
    void setUp();
};
