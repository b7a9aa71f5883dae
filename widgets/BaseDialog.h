// The main window's frame: a black content area inside a thin skinned border.
#pragma once

#include <QDialog>

class QFrame;

// BaseDialog is a translucent top-level dialog whose border is drawn from
// nine skin images (four edges, four corners) placed at fixed rectangles on
// every resize. The window flags (frameless and so on) are the caller's.
class BaseDialog : public QDialog {
    Q_OBJECT
public:
    explicit BaseDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    // The black area the window's own widgets go into.
    QWidget* contentWidget() const { return m_content; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QFrame* makePiece(const char* image);

    QWidget* m_content = nullptr;
    QFrame* m_topEdge = nullptr;
    QFrame* m_bottomEdge = nullptr;
    QFrame* m_leftEdge = nullptr;
    QFrame* m_rightEdge = nullptr;
    QFrame* m_topLeft = nullptr;
    QFrame* m_topRight = nullptr;
    QFrame* m_bottomLeft = nullptr;
    QFrame* m_bottomRight = nullptr;
};
