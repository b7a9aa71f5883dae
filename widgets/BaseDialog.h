// The main window's frame: a black content area inside a thin skinned border.
#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>

class QFrame;
class QPushButton;

// BaseDialog is a translucent top-level dialog whose border is drawn from
// nine skin images (four edges, four corners) placed at fixed rectangles on
// every resize. The window flags (frameless and so on) are the caller's.
class BaseDialog : public QDialog {
    Q_OBJECT
public:
    explicit BaseDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    // The black area the window's own widgets go into.
    QWidget* contentWidget() const { return m_content; }

    // Whether the window answers the dialog keys as a QDialog does: Escape
    // rejects (hides) it, Return and Enter press the default push button,
    // and push buttons inside it are auto-default (the first one in the
    // focus chain becomes the default at show, a focused one the temporary
    // default). On by default.
    //
    // Off suits a main window built on this frame, where Escape in a field
    // must not close the program and Return in a field must not press Save
    // or a device reset: Escape, Return and Enter (also on the keypad) then
    // do nothing to the window, and no push button inside it is auto-default
    // or default, whether it exists now or is added later, before or after
    // the window is shown. A button the caller makes default explicitly
    // after it has been shown is the caller's choice and left so.
    // Turning it on again restores the key handling and the auto-default of
    // the buttons this switch took it from.
    void setDialogKeys(bool enabled);
    bool dialogKeys() const { return m_dialogKeys; }

    void setVisible(bool visible) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void childEvent(QChildEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QFrame* makePiece(const char* image);
    void watchTree(QWidget* root);
    void unwatchTree(QWidget* root);
    void noteChild(QChildEvent* event);
    void stripDefault(QPushButton* button);
    void stripAllDefaults();

    QWidget* m_content = nullptr;
    QFrame* m_topEdge = nullptr;
    QFrame* m_bottomEdge = nullptr;
    QFrame* m_leftEdge = nullptr;
    QFrame* m_rightEdge = nullptr;
    QFrame* m_topLeft = nullptr;
    QFrame* m_topRight = nullptr;
    QFrame* m_bottomLeft = nullptr;
    QFrame* m_bottomRight = nullptr;
    bool m_dialogKeys = true;
    // Buttons that were auto-default when the switch went off.
    QList<QPointer<QPushButton>> m_wereAutoDefault;
};
