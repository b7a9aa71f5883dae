#include "CustomDialog.h"

#include "SkinResources.h"
#include "ZVKButton.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>

CustomDialog::CustomDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags | Qt::FramelessWindowHint) {
    m_titleBar = new QFrame(this);
    m_title = new QLabel(this);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setAlignment(Qt::AlignCenter);
    m_closeButton = new ZVKButton(this);
    m_bottomStrip = new QFrame(this);

    setMinimumSize(350, 200);
    setStyleSheet(QStringLiteral(
        "CustomDialog{ border: 1px solid rgb(149, 149, 149);  background: rgb(23, 24, 28);}"));
    m_titleBar->setStyleSheet(QStringLiteral("QFrame{ background: rgb(46, 46, 46);}"));
    m_title->setStyleSheet(QStringLiteral(
        "QLabel { font:  15px; border: 0px; background: transparent; color: rgb(232, 232, 232);}"));
    m_bottomStrip->setStyleSheet(QStringLiteral("QFrame { background-color: rgb( 28, 28, 28); } "));
    m_closeButton->setStyleSheet(SkinStyleSheet(
        QStringLiteral("ZVKButton { border-image: url(:/skin/close.png) 0 44 0 0; }"
                       "ZVKButton:hover { border-image: url(:/skin/close.png) 0 22 0 22; }"
                       "ZVKButton:pressed { border-image: url(:/skin/close.png) 0 0 0 44; }")));
    connect(m_closeButton, SIGNAL(clicked()), this, SLOT(close()));
}

void CustomDialog::setTitle(const QString& text) { m_title->setText(text); }

QString CustomDialog::title() const { return m_title->text(); }

void CustomDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int w = width();
    const int h = height();
    m_titleBar->setGeometry(1, 1, w - 2, kTitleHeight);
    m_title->setGeometry(1, 1, w - 2, kTitleHeight);
    // The hovered close image fills its cell but one pixel; keep it as far
    // from the right border as from the top of the title bar.
    m_closeButton->setGeometry(w - kCloseButtonSize - kCloseButtonMargin, kCloseButtonMargin,
                               kCloseButtonSize, kCloseButtonSize);
    m_bottomStrip->setGeometry(1, h - 29, w - 2, 28);
}

void CustomDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && event->pos().y() < kTitleHeight) {
        const QPoint offset = event->globalPos() - frameGeometry().topLeft();
        m_dragOffsetX = offset.x();
        m_dragOffsetY = offset.y();
        m_dragging = true;
        event->accept();
    }
    QDialog::mousePressEvent(event);
}

void CustomDialog::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && event->buttons() == Qt::LeftButton) {
        move(event->globalPos() - QPoint(m_dragOffsetX, m_dragOffsetY));
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CustomDialog::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}
