// The device tree's header: filter buttons on three sections and the
// sections the user may move.
#pragma once

#include "CheckBoxHeaderView.h"

// DeviceTreeHeaderView is the toolkit's header with movable sections whose
// section widgets (the filter buttons) stay shown while their menu is open.
class DeviceTreeHeaderView : public CheckBoxHeaderView {
    Q_OBJECT
public:
    DeviceTreeHeaderView(Qt::Orientation orientation, QWidget* parent, QTreeWidget* tree);

    // True while a filter menu opened from this header is shown.
    bool isMenuOpen() const { return m_menuOpen; }

public slots:
    // A filter menu closed: hides the widget of the column at visual `index`
    // unless the pointer is over its section; the menu is no longer open.
    void slot_hide(int index);
    // A filter menu opened: shows the widget of the column at visual `index`.
    void slot_show(int index);
    // Puts the section widgets back over their sections after a move.
    void slot_sectionMoved(int logicalIndex, int oldVisualIndex, int newVisualIndex);

private:
    bool m_menuOpen = false;
};
