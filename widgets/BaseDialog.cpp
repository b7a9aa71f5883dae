#include "BaseDialog.h"

#include <QChildEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QPushButton>
#include <QResizeEvent>

namespace {
bool isDialogKey(int key) {
    return key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter;
}
} // namespace

BaseDialog::BaseDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags) {
    m_content = new QWidget(this);
    m_content->setStyleSheet(QStringLiteral(" .QWidget { background-color: rgb(0, 0, 0); }"));
    m_topEdge = makePiece("top_mid.png");
    m_bottomEdge = makePiece("bottom_mid.png");
    m_leftEdge = makePiece("left_mid.png");
    m_rightEdge = makePiece("right_mid.png");
    m_topLeft = makePiece("left_top.png");
    m_topRight = makePiece("right_top.png");
    m_bottomLeft = makePiece("left_bottom.png");
    m_bottomRight = makePiece("right_bottom.png");
    setAttribute(Qt::WA_TranslucentBackground, true);
}

QFrame* BaseDialog::makePiece(const char* image) {
    QFrame* piece = new QFrame(this);
    piece->setStyleSheet(QStringLiteral("border-image:url(:/skin/%1);").arg(QLatin1String(image)));
    return piece;
}

void BaseDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int w = width();
    const int h = height();
    m_content->setGeometry(2, 2, w - 4, h - 2);
    m_topEdge->setGeometry(7, 0, w - 14, 2);
    m_bottomEdge->setGeometry(3, h - 2, w - 6, 2);
    m_leftEdge->setGeometry(0, 7, 2, h - 10);
    m_rightEdge->setGeometry(w - 2, 7, 2, h - 10);
    m_topLeft->setGeometry(0, 0, 7, 7);
    m_topRight->setGeometry(w - 7, 0, 7, 7);
    m_bottomLeft->setGeometry(0, h - 3, 3, 3);
    m_bottomRight->setGeometry(w - 3, h - 3, 3, 3);
}

void BaseDialog::setDialogKeys(bool enabled) {
    if (enabled == m_dialogKeys)
        return;
    m_dialogKeys = enabled;
    if (!enabled) {
        watchTree(this);
        return;
    }
    unwatchTree(this);
    for (const QPointer<QPushButton>& button : qAsConst(m_wereAutoDefault)) {
        if (button)
            button->setAutoDefault(true);
    }
    m_wereAutoDefault.clear();
}

void BaseDialog::setVisible(bool visible) {
    if (!m_dialogKeys && visible)
        stripAllDefaults();
    QDialog::setVisible(visible);
    // QDialog picks a main default after the window is shown; take it back.
    if (!m_dialogKeys && visible)
        stripAllDefaults();
}

void BaseDialog::keyPressEvent(QKeyEvent* event) {
    if (!m_dialogKeys && isDialogKey(event->key())) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void BaseDialog::childEvent(QChildEvent* event) {
    QDialog::childEvent(event);
    if (!m_dialogKeys)
        noteChild(event);
}

bool BaseDialog::eventFilter(QObject* watched, QEvent* event) {
    // Only widgets inside this window are watched, and only while the
    // dialog keys are off.
    if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished)
        noteChild(static_cast<QChildEvent*>(event));
    return QDialog::eventFilter(watched, event);
}

// A child arrives while still being constructed (ChildAdded: only its
// QWidget part exists) and is complete when polished (ChildPolished); the
// first starts watching it for its own children, the second sees what
// kind of widget it is.
// A removed child may be half destroyed (ChildRemoved comes from ~QObject):
// it is not looked at.
void BaseDialog::noteChild(QChildEvent* event) {
    if (!event->added() && !event->polished())
        return;
    QWidget* child = qobject_cast<QWidget*>(event->child());
    if (!child || child->isWindow())
        return;
    if (event->added())
        watchTree(child);
    else if (event->polished())
        stripDefault(qobject_cast<QPushButton*>(child));
}

void BaseDialog::watchTree(QWidget* root) {
    if (root != this)
        root->installEventFilter(this);
    stripDefault(qobject_cast<QPushButton*>(root));
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (widget->window() != this)
            continue;
        widget->installEventFilter(this);
        stripDefault(qobject_cast<QPushButton*>(widget));
    }
}

void BaseDialog::unwatchTree(QWidget* root) {
    for (QWidget* widget : root->findChildren<QWidget*>())
        widget->removeEventFilter(this);
}

void BaseDialog::stripDefault(QPushButton* button) {
    if (!button || button->window() != this)
        return;
    if (button->autoDefault()) {
        m_wereAutoDefault.append(button);
        button->setAutoDefault(false);
    }
    button->setDefault(false);
}

void BaseDialog::stripAllDefaults() {
    for (QPushButton* button : findChildren<QPushButton*>())
        stripDefault(button);
}
