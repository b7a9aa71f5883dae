#include "CheckBoxHeaderView.h"

#include <QShowEvent>

CheckBoxHeaderView::CheckBoxHeaderView(Qt::Orientation orientation, QWidget* parent,
                                       QTreeWidget* tree)
    : QHeaderView(orientation, parent), m_tree(tree) {
    setStretchLastSection(true);
    setDefaultAlignment(Qt::AlignCenter);
    setTextElideMode(Qt::ElideRight);
    setMinimumSectionSize(52);
    setSectionsMovable(false);
    connect(this, SIGNAL(sectionResized(int, int, int)), this, SLOT(handleSectionResized(int)));
}

bool CheckBoxHeaderView::setSectionWidget(int section, QWidget* widget, int placement) {
    if (!widget || section < 0 || section >= count() || m_widgets.contains(section))
        return false;
    if (widget->parentWidget() != this)
        widget->setParent(this);
    widget->hide();
    m_widgets.insert(section, Entry{widget, placement});
    return true;
}

QWidget* CheckBoxHeaderView::sectionWidget(int section) const {
    return m_widgets.value(section, Entry{nullptr, 0}).widget;
}

int CheckBoxHeaderView::sectionWidgetX(int sectionPos, int sectionSize, int widgetWidth,
                                       int placement) {
    switch (placement) {
    case PlaceLeft:
        return sectionPos + 21;
    case PlaceCenter:
        return sectionPos + (sectionSize - widgetWidth) / 2;
    default:
        return sectionPos + sectionSize - widgetWidth - 1;
    }
}

void CheckBoxHeaderView::placeSectionWidget(int logicalIndex) {
    const auto it = m_widgets.constFind(logicalIndex);
    if (it == m_widgets.constEnd())
        return;
    QWidget* widget = it->widget;
    const int x = sectionWidgetX(sectionViewportPosition(logicalIndex), sectionSize(logicalIndex),
                                 widget->width(), it->placement);
    widget->move(x, (height() - widget->height()) / 2);
}

void CheckBoxHeaderView::placeSectionWidgets() {
    for (auto it = m_widgets.constBegin(); it != m_widgets.constEnd(); ++it)
        placeSectionWidget(it.key());
}

void CheckBoxHeaderView::handleSectionResized(int section) {
    for (int visual = visualIndex(section); visual >= 0 && visual < count(); ++visual)
        placeSectionWidget(logicalIndex(visual));
}

void CheckBoxHeaderView::showEvent(QShowEvent* event) {
    QHeaderView::showEvent(event);
    placeSectionWidgets();
}
