#include "BaseDialog.h"

#include <QFrame>
#include <QResizeEvent>

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
