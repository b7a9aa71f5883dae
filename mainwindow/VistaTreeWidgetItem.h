// One row of the device list.
#pragma once

#include <QTreeWidgetItem>

struct DevInfo;

// VistaTreeWidgetItem sorts the IP address column octet by octet and the
// data port column as numbers; every other column as text. Rows equal in
// the sorted column go by their device's key (the MAC), so that their
// order does not change from one refresh to the next. The row points to
// its device's DevInfo (column 0, Qt::UserRole) without owning it.
class VistaTreeWidgetItem : public QTreeWidgetItem {
public:
    explicit VistaTreeWidgetItem(int type = 0) : QTreeWidgetItem(type) {}
    // A copy of `other`'s cells and flags, in no tree.
    VistaTreeWidgetItem(const VistaTreeWidgetItem& other) = default;
    VistaTreeWidgetItem& operator=(const VistaTreeWidgetItem& other) = default;

    // A row for `device` (not null): the sixteen cells centred and filled,
    // the record pointer stored. Built apart from the tree, where setting
    // cells costs no view update.
    static VistaTreeWidgetItem* newDeviceRow(DevInfo* device);
    // Sets the sixteen cells of `item` from `device`; an activation state
    // other than 0 or 1 leaves that cell as it was.
    static void fill(QTreeWidgetItem* item, const DevInfo& device);

    bool operator<(const QTreeWidgetItem& other) const override;

    // The order of two dotted addresses by the first of the four parts in
    // which they differ, compared as decimal numbers (a part that is no
    // number counts 0): negative, 0 or positive; when either text has not
    // exactly four parts, the order of the texts.
    static int orderAddresses(const QString& a, const QString& b);
};

// The record a device row points to; null for an item that is no row of
// the list.
DevInfo* recordOfRow(const QTreeWidgetItem* item);
// The device's key in the list: its record's mac, which for a camera known
// by its endpoint only is that endpoint while its MAC cell is empty; the
// MAC cell for an item without a record.
QString rowKey(const QTreeWidgetItem* item);
