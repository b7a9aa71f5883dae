// The device tree's header: a column menu, sorting that only a click well
// inside one of six sections starts, and the filter buttons that appear on
// their section under the pointer or while their menu is open.
#pragma once

#include "CheckBoxHeaderView.h"

#include <QMap>
#include <QRect>

class QAction;
class QActionGroup;
class ZVKMenu;

// DeviceTreeHeaderView is the toolkit's header with movable sections. It
// paints each section itself so that the title, the sort indicator and the
// filter button never cover one another (see sectionLayout).
class DeviceTreeHeaderView : public CheckBoxHeaderView {
    Q_OBJECT
public:
    // Builds the column menu from the device columns' keys: one checked
    // entry per column, those hidden at start unchecked.
    DeviceTreeHeaderView(Qt::Orientation orientation, QWidget* parent, QTreeWidget* tree);

    // True while a filter menu opened from this header is shown.
    bool isMenuOpen() const { return m_menuOpen; }
    ZVKMenu* columnMenu() const { return m_columnMenu; }
    // The column menu's entry of logical `column`, or null.
    QAction* columnAction(int column) const { return m_columnActions.value(column); }

    // Whether the tree sorts by `column` on a header click (3, 5, 8 to 11).
    static bool isSortableColumn(int column);
    // Whether a left press at viewport x `x` on `column`, whose section
    // starts at `sectionPos` and is `sectionSize` wide, starts a sort: a
    // sortable column, and at least `grip` pixels inside both edges, so that
    // a press on the resize grip only resizes.
    static bool pressSorts(int column, int x, int sectionPos, int sectionSize, int grip);

    // Where a section's title and sort indicator go, in section coordinates
    // of a section `width` x `height`: the filter button's place at the
    // right end (when `hasButton`) and the padding are kept free; the title
    // is centred in what remains, the 11 x 7 indicator (when `arrow`) sits
    // above the title's middle and the title moves down beneath it.
    struct SectionLayout {
        QRect title;
        QRect arrow;
    };
    static SectionLayout sectionLayout(int width, int height, bool hasButton, bool arrow);
    // The narrowest width at which logical `column`'s title shows whole in
    // this header's font beside the padding and, when the column has a
    // section widget, the filter button's place (the inverse of
    // sectionLayout).
    int titleFittingSize(int column) const;

public slots:
    // A filter menu closed: hides the widget of logical column `index`
    // unless the pointer is over its section; the menu is no longer open.
    void slot_hide(int index);
    // A filter menu opened: shows the widget of logical column `index`.
    void slot_show(int index);

public:
    // The column whose filter is in force (-1 for none): its button stays
    // shown, whatever the pointer does, and is marked active (the button's
    // "active" property, which the skin sheet draws).
    void setActiveFilterColumn(int column);
    int activeFilterColumn() const { return m_activeFilter; }
public slots:
    // Puts the section widgets back over their sections after a move.
    void slot_sectionMoved(int logicalIndex, int oldVisualIndex, int newVisualIndex);
    // Hides or shows the entry's column; the last shown column stays.
    void slot_columnMenuTriggered(QAction* action);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    void prepareSort(int column);
    void dropSortIndicator();
    void showOnlyWidgetOf(int column);
    void paintLabel(QPainter* painter, const QStyleOptionHeader& section, int logicalIndex) const;
    int textWidth(const QStyleOptionHeader& label) const;
    int sectionPosition(int logicalIndex) const;

    bool m_menuOpen = false;
    ZVKMenu* m_columnMenu = nullptr;
    QActionGroup* m_columnGroup = nullptr;
    QMap<int, QAction*> m_columnActions;
    int m_hover = -1; // logical section under the pointer
    int m_activeFilter = -1;
    int m_pressed = -1; // logical section the left button went down on
    bool m_sortOnRelease = false;
};
