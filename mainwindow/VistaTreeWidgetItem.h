// One row of the device list.
#pragma once

#include <QTreeWidgetItem>

// VistaTreeWidgetItem sorts the IP address column octet by octet and the
// data port column as numbers; every other column as text. The row points
// to its device's DevInfo (column 0, Qt::UserRole) without owning it.
class VistaTreeWidgetItem : public QTreeWidgetItem {
public:
    explicit VistaTreeWidgetItem(int type = 0) : QTreeWidgetItem(type) {}

    bool operator<(const QTreeWidgetItem& other) const override;

    // Whether dotted address `a` sorts before `b`, by the first of the four
    // parts in which they differ, as numbers: 1 before, 0 not before, -1
    // when either text has not exactly four parts (compare texts then).
    static int compareAddresses(const QString& a, const QString& b);
};
