#include "VistaTreeWidget.h"

#include "CheckBoxHeaderView.h"
#include "VistaDelegate.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

namespace {
void setDarkPalette(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::All, QPalette::AlternateBase, QColor(30, 31, 35));
    palette.setColor(QPalette::All, QPalette::Base, QColor(19, 20, 24));
    palette.setColor(QPalette::All, QPalette::Window, QColor(70, 80, 84));
    palette.setColor(QPalette::All, QPalette::Text, QColor(185, 185, 185));
    widget->setPalette(palette);
}
} // namespace

VistaTreeWidget::VistaTreeWidget(QWidget* parent) : QTreeWidget(parent) {
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIconSize(QSize(32, 32));
    setUniformRowHeights(true);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setIndentation(0);
    setDarkPalette(this);
    setFrameStyle(QFrame::StyledPanel);
    // With the keyboard focus the frame takes the accent the fields show.
    setStyleSheet(QStringLiteral("VistaTreeWidget { border: 1px solid rgb(78,83,90); }"
                                 "VistaTreeWidget:focus { border: 1px solid rgb(56,145,180); }"));
    setItemDelegate(new VistaDelegate(this));
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(true);
    header()->setDefaultAlignment(Qt::AlignCenter);
    header()->setTextElideMode(Qt::ElideRight);
}

void VistaTreeWidget::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const bool hasChildren = model()->hasChildren(index.sibling(index.row(), 0));
    if (hasChildren)
        painter->fillRect(option.rect, QColor(19, 20, 24));
    else if (!header()->stretchLastSection() && index.row() % 2 == 1)
        painter->fillRect(option.rect, QColor(30, 31, 35));
    // The item view marks its rows inactive whenever it lacks the keyboard
    // focus; the selected device would then look deselected while the user
    // types in the control bar. The selection look follows the window, and
    // stays active while no window of the program is active: with no window
    // manager nobody hands the activation back after a box closes, though
    // the user goes on working in the window.
    QStyleOptionViewItem rowOption(option);
    if (isActiveWindow() || QApplication::activeWindow() == nullptr)
        rowOption.state |= QStyle::State_Active;
    else
        rowOption.state &= ~QStyle::State_Active;
    QTreeWidget::drawRow(painter, rowOption, index);
}

void VistaTreeWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

void VistaTreeWidget::updateGeometries() {
    QTreeWidget::updateGeometries();
    placeHeaderWidgets();
}

void VistaTreeWidget::scrollContentsBy(int dx, int dy) {
    QTreeWidget::scrollContentsBy(dx, dy);
    if (dx != 0)
        placeHeaderWidgets();
}

void VistaTreeWidget::placeHeaderWidgets() {
    QHeaderView* view = header();
    if (view && view->inherits("CheckBoxHeaderView"))
        static_cast<CheckBoxHeaderView*>(view)->placeSectionWidgets();
}
