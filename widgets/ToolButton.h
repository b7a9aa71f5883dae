// A push button with an optional drop-down part at its right end.
#pragma once

#include <QPushButton>

class ZVKMenu;

// ToolButton is a flat text button. Built with a menu it gains a drop-down
// part: the rightmost 22 pixels, behind a separator, with an arrow. A press
// there opens the menu below that part; a press elsewhere is an ordinary
// button press (the toolkit's own pop-up on press is switched off).
class ToolButton : public QPushButton {
    Q_OBJECT
public:
    // Width of the drop-down part at the right end of the button.
    static const int kMenuPartWidth = 22;

    explicit ToolButton(QWidget* parent = nullptr);
    ToolButton(const QString& text, bool hasMenu, QWidget* parent = nullptr);

    // The drop-down menu, or null when built without one.
    ZVKMenu* dropDownMenu() const { return m_menu; }
    // True while the left button holds the button part down.
    bool isPressed() const { return m_pressed; }

    // Whether a press at local x on a button `width` wide hits the
    // drop-down part.
    static bool inMenuPart(int x, int width);
    // Where the menu's top-left corner goes: below the button, its left edge
    // 23 pixels short of the button's right edge.
    static QPoint menuPosition(const QPoint& buttonGlobalTopLeft, const QSize& buttonSize);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void paintMenuPart(QPainter& painter);

    bool m_pressed = false;
    bool m_hasMenu = false;
    ZVKMenu* m_menu = nullptr;
};
