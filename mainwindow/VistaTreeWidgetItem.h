// One row of the device list.
#pragma once

#include <QTreeWidgetItem>

struct DevInfo;

// VistaTreeWidgetItem sorts the IP address column octet by octet and the
// data port column as numbers; every other column as text. Rows equal in
// the sorted column go by their device's key (the MAC), so that their
// order does not change from one refresh to the next. The row points to
// its device's DevInfo (column 0, Qt::UserRole) without owning it. The
// numbers of the address and the port are read once, when the cell is set:
// a sort of ten thousand rows compares a hundred thousand pairs.
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

    // As QTreeWidgetItem's, and keeps the address and port numbers current.
    void setData(int column, int role, const QVariant& value) override;
    // lessThan by the column the item's tree sorts by (column 0 outside a tree).
    bool operator<(const QTreeWidgetItem& other) const override;
    // The order of rows `a` and `b` by `column` alone, ascending: negative,
    // 0 or positive. The IP column by compareAddresses (as text when that
    // gives -1), the data port column as decimal numbers (0 for a text that
    // is none), every other column as text (QString::localeAwareCompare),
    // as Qt compares texts. Either row may be a plain QTreeWidgetItem.
    static int order(const QTreeWidgetItem& a, const QTreeWidgetItem& b, int column);
    // Whether row `a` sorts before row `b` by `column` in ascending order:
    // by `order`, and rows equal there by their key (rowKey).
    static bool lessThan(const QTreeWidgetItem& a, const QTreeWidgetItem& b, int column);

    // Whether dotted address `a` sorts before `b`, by the first of the four
    // parts in which they differ (as texts), compared as decimal numbers (a
    // part that is no number counts 0): 1 before, 0 not before, -1 when
    // either text has not exactly four parts (compare texts then).
    static int compareAddresses(const QString& a, const QString& b);

private:
    void readNumbers(int column);

    // The address cell's four parts as numbers, valid when each part is the
    // plain decimal text of its number, so that parts equal as texts are
    // equal as numbers and compareAddresses is the comparison of the four.
    quint32 m_address[4] = {};
    bool m_plainAddress = false;
    int m_dataPort = 0;
};

// Where `row` (not in `tree`) goes among the top-level rows of `tree`,
// which are sorted by `column` in `order`: the place Qt's own stable sort
// would give it had it been inserted at the top, that is before the rows it
// equals. O(log n) comparisons.
int SortedRowPosition(const QTreeWidget& tree, const QTreeWidgetItem& row, int column,
                      Qt::SortOrder order);

// The record a device row points to; null for an item that is no row of
// the list.
DevInfo* recordOfRow(const QTreeWidgetItem* item);
// The device's key in the list: its record's mac, which for a camera known
// by its endpoint only is that endpoint while its MAC cell is empty; the
// MAC cell for an item without a record.
QString rowKey(const QTreeWidgetItem* item);
