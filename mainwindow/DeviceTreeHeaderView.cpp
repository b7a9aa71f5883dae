#include "DeviceTreeHeaderView.h"

#include <QCursor>

DeviceTreeHeaderView::DeviceTreeHeaderView(Qt::Orientation orientation, QWidget* parent,
                                           QTreeWidget* tree)
    : CheckBoxHeaderView(orientation, parent, tree) {
    setSectionsMovable(true);
    connect(this, SIGNAL(sectionMoved(int, int, int)), this,
            SLOT(slot_sectionMoved(int, int, int)));
}

void DeviceTreeHeaderView::slot_hide(int index) {
    const int column = logicalIndex(index);
    QWidget* widget = sectionWidget(column);
    const int x = sectionViewportPosition(column);
    const QRect section(x, 0, sectionSize(column), 32);
    if (widget && !section.contains(mapFromGlobal(QCursor::pos())))
        widget->hide();
    m_menuOpen = false;
}

void DeviceTreeHeaderView::slot_show(int index) {
    if (QWidget* widget = sectionWidget(logicalIndex(index)))
        widget->show();
    m_menuOpen = true;
}

void DeviceTreeHeaderView::slot_sectionMoved(int, int, int) { placeSectionWidgets(); }
