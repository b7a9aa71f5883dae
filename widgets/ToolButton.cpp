#include "ToolButton.h"

#include "SkinResources.h"
#include "ZVKMenu.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyleOptionButton>

ToolButton::ToolButton(QWidget* parent) : ToolButton(QString(), false, parent) {}

ToolButton::ToolButton(const QString& text, bool hasMenu, QWidget* parent)
    : QPushButton(text, parent), m_hasMenu(hasMenu) {
    if (!m_hasMenu)
        return;
    m_menu = new ZVKMenu(this);
    setMenu(m_menu);
    // The menu opens only from the drop-down part, not on every press.
    disconnect(this, SIGNAL(pressed()), this, SLOT(_q_popupPressed()));
    m_menu->installEventFilter(this);
}

bool ToolButton::inMenuPart(int x, int width) { return x >= width - kMenuPartWidth; }

QPoint ToolButton::menuPosition(const QPoint& buttonGlobalTopLeft, const QSize& buttonSize) {
    return buttonGlobalTopLeft + QPoint(buttonSize.width() - 23, buttonSize.height() + 1);
}

bool ToolButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_menu && event->type() == QEvent::Show) {
        m_menu->move(menuPosition(mapToGlobal(QPoint(0, 0)), size()));
        return true;
    }
    return QPushButton::eventFilter(watched, event);
}

void ToolButton::mousePressEvent(QMouseEvent* event) {
    m_pressed = true;
    QPushButton::mousePressEvent(event);
    if (m_hasMenu && event->button() == Qt::LeftButton && inMenuPart(event->pos().x(), width())) {
        m_pressed = false;
        showMenu();
    }
}

void ToolButton::mouseReleaseEvent(QMouseEvent* event) {
    m_pressed = false;
    QPushButton::mouseReleaseEvent(event);
}

void ToolButton::paintEvent(QPaintEvent*) {
    QStyleOptionButton option;
    initStyleOption(&option);
    option.state &= ~QStyle::State_HasFocus;
    // The drop-down part is ours; the style must not add its own arrow.
    option.features &= ~QStyleOptionButton::HasMenu;
    QPainter painter(this);
    style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
    if (m_hasMenu)
        paintMenuPart(painter);
    // Keyboard focus: the accent line the fields show, in place of the
    // style's dotted frame.
    if (hasFocus()) {
        painter.setPen(QColor(56, 145, 180));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    }
}

void ToolButton::paintMenuPart(QPainter& painter) {
    const int separatorX = width() - 25;
    painter.setPen(QColor(61, 64, 69));
    painter.drawLine(separatorX, 4, separatorX, height() - 5);
    const QPixmap arrow = LoadSkinPixmap(QStringLiteral(":/skin/combox_arrow.png"));
    if (arrow.isNull())
        return;
    const QRect part(width() - kMenuPartWidth, 0, kMenuPartWidth, height());
    const QSize arrowSize = arrow.size() / arrow.devicePixelRatio();
    QRect target(QPoint(0, 0), arrowSize.boundedTo(part.size()));
    target.moveCenter(part.center());
    painter.drawPixmap(target, arrow);
}
