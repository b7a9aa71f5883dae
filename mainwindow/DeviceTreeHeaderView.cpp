#include "DeviceTreeHeaderView.h"

#include "DeviceColumns.h"
#include "LanguageSrc.h"
#include "ZVKMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <QTreeWidget>
#include <QtMath>

namespace {

const int kPadding = 6;      // as the skin's header sections
const int kButtonSpace = 33; // a 32-pixel filter button, 1 pixel from the edge
const int kArrowWidth = 11;
const int kArrowHeight = 7;

} // namespace

DeviceTreeHeaderView::DeviceTreeHeaderView(Qt::Orientation orientation, QWidget* parent,
                                           QTreeWidget* tree)
    : CheckBoxHeaderView(orientation, parent, tree) {
    setSectionsMovable(true);
    viewport()->setMouseTracking(true);
    m_columnMenu = new ZVKMenu(this);
    m_columnMenu->setObjectName(QStringLiteral("columnMenu"));
    m_columnGroup = new QActionGroup(this);
    m_columnGroup->setExclusive(false);
    for (int c = 0; c < kDeviceColumnCount; ++c) {
        QAction* action = m_columnMenu->addAction(GetText(kDeviceColumns[c].key));
        action->setCheckable(true);
        action->setChecked(!kDeviceColumns[c].hidden);
        m_columnGroup->addAction(action);
        m_columnActions.insert(c, action);
    }
    connect(m_columnMenu, SIGNAL(triggered(QAction*)), this,
            SLOT(slot_columnMenuTriggered(QAction*)));
    connect(this, SIGNAL(sectionMoved(int, int, int)), this,
            SLOT(slot_sectionMoved(int, int, int)));
}

bool DeviceTreeHeaderView::isSortableColumn(int column) {
    return column == 3 || column == 5 || (column >= 8 && column <= 11);
}

bool DeviceTreeHeaderView::pressSorts(int column, int x, int sectionPos, int sectionSize,
                                      int grip) {
    return isSortableColumn(column) && x >= sectionPos + grip &&
           x <= sectionPos + sectionSize - 1 - grip;
}

DeviceTreeHeaderView::SectionLayout
DeviceTreeHeaderView::sectionLayout(int width, int height, bool hasButton, bool arrow) {
    const int right = width - kPadding - (hasButton ? kButtonSpace : 0);
    SectionLayout layout;
    layout.title = QRect(QPoint(kPadding, 0), QPoint(qMax(kPadding, right - 1), height - 1));
    if (arrow) {
        const int x = layout.title.center().x() - kArrowWidth / 2;
        layout.arrow = QRect(x, 1, kArrowWidth, kArrowHeight);
        layout.title.setTop(kArrowHeight);
    }
    return layout;
}

int DeviceTreeHeaderView::titleFittingSize(int column) const {
    const QString title =
        model() ? model()->headerData(column, orientation()).toString() : QString();
    const int button = sectionWidget(column) ? kButtonSpace : 0;
    QStyleOptionHeader label;
    initStyleOption(&label);
    label.rect = QRect(0, 0, 1000, height());
    const int inset = label.rect.width() - textWidth(label);
    // Rounded up: a text exactly as wide as its room in whole pixels can be
    // a fraction wider and be elided.
    const int text = qCeil(QFontMetricsF(font()).horizontalAdvance(title));
    return text + inset + 2 * kPadding + button;
}

// The style draws a label's text inside the label's rectangle less what
// the style sheet's section padding takes, so that is the room to elide to.
int DeviceTreeHeaderView::textWidth(const QStyleOptionHeader& label) const {
    return style()->subElementRect(QStyle::SE_HeaderLabel, &label, this).width();
}

// The filter menus name their column by its logical index (1, 3, 5), which
// stays the column's whatever the user has moved.
void DeviceTreeHeaderView::slot_hide(int index) {
    const int column = index;
    QWidget* widget = sectionWidget(column);
    const int x = sectionViewportPosition(column);
    const QRect section(x, 0, sectionSize(column), 32);
    if (widget && column != m_activeFilter && !section.contains(mapFromGlobal(QCursor::pos())))
        widget->hide();
    m_menuOpen = false;
}

void DeviceTreeHeaderView::slot_show(int index) {
    if (QWidget* widget = sectionWidget(index))
        widget->show();
    m_menuOpen = true;
}

void DeviceTreeHeaderView::slot_sectionMoved(int, int, int) { placeSectionWidgets(); }

// The entry's check state has already changed when this runs.
void DeviceTreeHeaderView::slot_columnMenuTriggered(QAction* action) {
    const int column = m_columnActions.key(action, -1);
    if (column < 0)
        return;
    int unchecked = 0;
    for (const QAction* entry : m_columnActions)
        unchecked += entry->isChecked() ? 0 : 1;
    if (unchecked == m_columnActions.size()) {
        action->setChecked(true);
        return;
    }
    setSectionHidden(column, !action->isChecked());
}

void DeviceTreeHeaderView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const int x = event->pos().x();
        const int column = logicalIndexAt(x);
        m_pressed = column;
        const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
        if (pressSorts(column, x, sectionViewportPosition(column), sectionSize(column), grip))
            prepareSort(column);
        else
            dropSortIndicator();
    }
    CheckBoxHeaderView::mousePressEvent(event);
}

// The indicator goes to the pressed column with its current order and the
// base's release turns the order round; the tree then sorts once, on the
// release, instead of once here and again on the release (a sort of ten
// thousand rows is felt).
void DeviceTreeHeaderView::prepareSort(int column) {
    if (tree() != nullptr)
        tree()->setSortingEnabled(false);
    setSortIndicator(column, sortIndicatorOrder());
    setSectionsClickable(true);
    setSortIndicatorShown(true);
    m_sortOnRelease = true;
}

void DeviceTreeHeaderView::dropSortIndicator() {
    setSortIndicatorShown(false);
    // A repaint, not a resize of some section: resizing a hidden section
    // would set the width it comes back with.
    viewport()->update();
}

void DeviceTreeHeaderView::mouseReleaseEvent(QMouseEvent* event) {
    CheckBoxHeaderView::mouseReleaseEvent(event);
    if (m_sortOnRelease && tree() != nullptr)
        tree()->setSortingEnabled(true);
    m_sortOnRelease = false;
    // A later press elsewhere must not sort through the base's click.
    setSectionsClickable(false);
    m_pressed = -1;
    viewport()->update();
}

void DeviceTreeHeaderView::mouseMoveEvent(QMouseEvent* event) {
    CheckBoxHeaderView::mouseMoveEvent(event);
    const int column = logicalIndexAt(event->pos().x());
    if (column != m_hover) {
        m_hover = column;
        viewport()->update();
    }
    showOnlyWidgetOf(column);
}

void DeviceTreeHeaderView::leaveEvent(QEvent* event) {
    CheckBoxHeaderView::leaveEvent(event);
    m_hover = -1;
    viewport()->update();
    if (!m_menuOpen)
        showOnlyWidgetOf(-1);
}

void DeviceTreeHeaderView::contextMenuEvent(QContextMenuEvent* event) {
    CheckBoxHeaderView::contextMenuEvent(event);
    m_columnMenu->exec(event->globalPos());
}

void DeviceTreeHeaderView::showOnlyWidgetOf(int column) {
    for (auto it = sectionWidgets().constBegin(); it != sectionWidgets().constEnd(); ++it)
        it->widget->setVisible(it.key() == column || it.key() == m_activeFilter);
}

void DeviceTreeHeaderView::setActiveFilterColumn(int column) {
    m_activeFilter = column;
    for (auto it = sectionWidgets().constBegin(); it != sectionWidgets().constEnd(); ++it) {
        QWidget* button = it->widget;
        const bool active = it.key() == column;
        if (button->property("active").toBool() != active) {
            button->setProperty("active", active);
            // The sheet reads the property when the widget is polished.
            button->style()->unpolish(button);
            button->style()->polish(button);
        }
    }
    showOnlyWidgetOf(m_menuOpen ? -1 : m_hover);
}

// The position the skin's sheet styles (:first, :last) by visual order of
// the shown sections.
int DeviceTreeHeaderView::sectionPosition(int logical) const {
    const int visual = visualIndex(logical);
    int first = 0, last = count() - 1;
    while (first < count() && isSectionHidden(logicalIndex(first)))
        ++first;
    while (last > 0 && isSectionHidden(logicalIndex(last)))
        --last;
    if (visual == first && visual == last)
        return QStyleOptionHeader::OnlyOneSection;
    if (visual == first)
        return QStyleOptionHeader::Beginning;
    return visual == last ? QStyleOptionHeader::End : QStyleOptionHeader::Middle;
}

void DeviceTreeHeaderView::paintSection(QPainter* painter, const QRect& rect, int logical) const {
    if (!rect.isValid())
        return;
    QStyleOptionHeader section;
    initStyleOption(&section);
    section.rect = rect;
    section.section = logical;
    section.position = QStyleOptionHeader::SectionPosition(sectionPosition(logical));
    if (logical == m_hover)
        section.state |= QStyle::State_MouseOver;
    if (logical == m_pressed)
        section.state |= QStyle::State_Sunken;
    section.sortIndicator = QStyleOptionHeader::None;
    style()->drawControl(QStyle::CE_HeaderSection, &section, painter, this);
    paintLabel(painter, section, logical);
}

void DeviceTreeHeaderView::paintLabel(QPainter* painter, const QStyleOptionHeader& section,
                                      int logical) const {
    const bool arrow = isSortIndicatorShown() && sortIndicatorSection() == logical;
    const SectionLayout layout = sectionLayout(section.rect.width(), section.rect.height(),
                                               sectionWidget(logical) != nullptr, arrow);
    QStyleOptionHeader label = section;
    label.rect = layout.title.translated(section.rect.topLeft());
    const QString text =
        model() ? model()->headerData(logical, orientation()).toString() : QString();
    label.text = fontMetrics().elidedText(text, Qt::ElideRight, textWidth(label));
    label.textAlignment = Qt::AlignCenter;
    style()->drawControl(QStyle::CE_HeaderLabel, &label, painter, this);
    if (!arrow)
        return;
    QStyleOptionHeader indicator = section;
    indicator.rect = layout.arrow.translated(section.rect.topLeft());
    // Qt's convention: an ascending sort shows the downward arrow.
    indicator.sortIndicator = sortIndicatorOrder() == Qt::AscendingOrder
                                  ? QStyleOptionHeader::SortDown
                                  : QStyleOptionHeader::SortUp;
    style()->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &indicator, painter, this);
}
