// The header strip of one collapsible section of the device control bar.
#pragma once

#include "ZVKLabel.h"

#include <QString>

// ButtonControl shows a section title and an arrow, and opens or closes its
// section on a completed left click: press and release inside the strip.
// The arrow image has three 11-pixel cells side by side (normal, hover,
// pressed); the strip's background follows the same three states.
class ButtonControl : public ZVKLabel {
    Q_OBJECT
public:
    // Open after construction, arrow in its normal cell.
    explicit ButtonControl(const QString& title, QWidget* parent = nullptr);

    // Sets the open state and the arrow that shows it, in the hover cell.
    // Emits nothing.
    void setExpanded(bool expanded);
    bool isExpanded() const { return m_expanded; }

    // The current arrow image and the style sheets now applied, for tests.
    QString arrowImage() const;
    QString arrowSheet() const;
    ZVKLabel* titleLabel() const { return m_text; }

signals:
    // After each completed click, with the new open state.
    void clicked(bool expanded);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum Cell { Normal, Hover, Pressed };
    void showState(Cell cell);
    void showArrow(Cell cell);

    ZVKLabel* m_text = nullptr;
    ZVKLabel* m_arrow = nullptr;
    bool m_expanded = true;
};
