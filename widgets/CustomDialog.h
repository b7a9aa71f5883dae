// The frame of the small dialogs: title bar, close button, bottom strip.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class ZVKButton;

// CustomDialog is a frameless dialog, at least 350 x 200, with its own
// 28-pixel title bar (centred title, close button at the right) and a
// 28-pixel bottom strip for the buttons. Dragging the title bar with the
// left button moves the dialog. The close button closes (rejects) it.
class CustomDialog : public QDialog {
    Q_OBJECT
public:
    // Height of the title bar; a left press above it starts a drag.
    static const int kTitleHeight = 28;
    // The close button: a square cell of the close image, this far from the
    // top edge and from the right edge (the border's column included).
    static const int kCloseButtonSize = 22;
    static const int kCloseButtonMargin = 3;

    // The frameless-window flag is always added to `flags`.
    explicit CustomDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    // Sets the title shown centred in the title bar (plain text).
    void setTitle(const QString& text);
    QString title() const;
    ZVKButton* closeButton() const { return m_closeButton; }
    bool isDragging() const { return m_dragging; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QFrame* m_titleBar = nullptr;
    QLabel* m_title = nullptr;
    ZVKButton* m_closeButton = nullptr;
    QFrame* m_bottomStrip = nullptr;
    bool m_dragging = false;
    int m_dragOffsetX = 0;
    int m_dragOffsetY = 0;
};
