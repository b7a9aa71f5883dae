#include "VistaTreeWidgetItem.h"

#include "DevInfo.h"
#include "DeviceColumns.h"

#include <QStringRef>
#include <QTreeWidget>

#include <algorithm>
#include <iterator>

namespace {

// The four dot-separated parts of `text`, empty parts kept; false when there
// are not exactly four. Sorting ten thousand rows compares some hundred
// thousand pairs, so the parts are views into the text, not copies.
bool splitAddress(const QString& text, QStringRef (&parts)[4]) {
    int start = 0;
    for (int i = 0; i < 3; ++i) {
        const int dot = text.indexOf(QLatin1Char('.'), start);
        if (dot < 0)
            return false;
        parts[i] = text.midRef(start, dot - start);
        start = dot + 1;
    }
    if (text.indexOf(QLatin1Char('.'), start) >= 0)
        return false;
    parts[3] = text.midRef(start);
    return true;
}

// The four parts of a dotted address as numbers when each is the plain
// decimal text of its number (no sign, no leading zero, at most nine
// digits); false otherwise.
bool plainAddress(const QString& text, quint32 (&numbers)[4]) {
    QStringRef parts[4];
    if (!splitAddress(text, parts))
        return false;
    for (int i = 0; i < 4; ++i) {
        const QStringRef& part = parts[i];
        if (part.isEmpty() || part.size() > 9 ||
            (part.size() > 1 && part.at(0) == QLatin1Char('0')))
            return false;
        quint32 value = 0;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            value = value * 10 + quint32(c.unicode() - '0');
        }
        numbers[i] = value;
    }
    return true;
}

const VistaTreeWidgetItem* asRow(const QTreeWidgetItem& item) {
    return dynamic_cast<const VistaTreeWidgetItem*>(&item);
}

} // namespace

// Every row starts as a copy of one row with its sixteen cells centred: the
// copies share the alignment values until a cell's are changed, which saves
// sixteen allocations per row when ten thousand rows are built at once.
// Rows say they never have children: the tree's layout, which visits every
// row after rows went in, then skips asking for them.
VistaTreeWidgetItem* VistaTreeWidgetItem::newDeviceRow(DevInfo* device) {
    static const VistaTreeWidgetItem* const centred = [] {
        VistaTreeWidgetItem* item = new VistaTreeWidgetItem;
        item->setFlags(item->flags() | Qt::ItemNeverHasChildren);
        for (int c = 0; c < kDeviceColumnCount; ++c)
            item->setTextAlignment(c, Qt::AlignCenter);
        return item;
    }();
    VistaTreeWidgetItem* item = new VistaTreeWidgetItem(*centred);
    fill(item, *device);
    item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(device)));
    return item;
}

void VistaTreeWidgetItem::fill(QTreeWidgetItem* item, const DevInfo& device) {
    for (int c = 0; c < kDeviceColumnCount; ++c) {
        const QString text = deviceColumnText(device, c);
        if (c != COL_ACTIVATION || !text.isNull())
            item->setText(c, text);
    }
}

int VistaTreeWidgetItem::compareAddresses(const QString& a, const QString& b) {
    QStringRef left[4], right[4];
    if (!splitAddress(a, left) || !splitAddress(b, right))
        return -1;
    int at = 0;
    while (at < 3 && left[at] == right[at])
        ++at;
    // Four equal parts compare the first pair: not less.
    return left[at].toInt(nullptr, 10) < right[at].toInt(nullptr, 10) ? 1 : 0;
}

void VistaTreeWidgetItem::setData(int column, int role, const QVariant& value) {
    QTreeWidgetItem::setData(column, role, value);
    if ((column == COL_IP || column == COL_DATA_PORT) &&
        (role == Qt::DisplayRole || role == Qt::EditRole))
        readNumbers(column);
}

void VistaTreeWidgetItem::readNumbers(int column) {
    const QString cell = text(column);
    if (column == COL_DATA_PORT)
        m_dataPort = cell.toInt(nullptr, 10);
    else
        m_plainAddress = plainAddress(cell, m_address);
}

bool VistaTreeWidgetItem::operator<(const QTreeWidgetItem& other) const {
    return lessThan(*this, other, treeWidget() ? treeWidget()->sortColumn() : 0);
}

namespace {

int threeWay(bool less, bool greater) { return less ? -1 : greater ? 1 : 0; }

} // namespace

int VistaTreeWidgetItem::order(const QTreeWidgetItem& a, const QTreeWidgetItem& b, int column) {
    const VistaTreeWidgetItem* rowA =
        column == COL_IP || column == COL_DATA_PORT ? asRow(a) : nullptr;
    const VistaTreeWidgetItem* rowB = rowA != nullptr ? asRow(b) : nullptr;
    if (column == COL_DATA_PORT) {
        const int l = rowB ? rowA->m_dataPort : a.text(column).toInt(nullptr, 10);
        const int r = rowB ? rowB->m_dataPort : b.text(column).toInt(nullptr, 10);
        return threeWay(l < r, r < l);
    }
    if (column == COL_IP) {
        if (rowB != nullptr && rowA->m_plainAddress && rowB->m_plainAddress) {
            const auto first = std::mismatch(std::begin(rowA->m_address), std::end(rowA->m_address),
                                             std::begin(rowB->m_address));
            return first.first == std::end(rowA->m_address)
                       ? 0
                       : threeWay(*first.first < *first.second, *first.second < *first.first);
        }
        const QString left = a.text(column), right = b.text(column);
        const int less = compareAddresses(left, right);
        if (less >= 0)
            return threeWay(less == 1, compareAddresses(right, left) == 1);
    }
    return a.text(column).localeAwareCompare(b.text(column));
}

// Rows equal in the column (eight new cameras at one factory address) keep
// one order from refresh to refresh: the device's key (its MAC) decides.
bool VistaTreeWidgetItem::lessThan(const QTreeWidgetItem& a, const QTreeWidgetItem& b, int column) {
    const int byColumn = order(a, b, column);
    if (byColumn != 0)
        return byColumn < 0;
    return QString::compare(rowKey(&a), rowKey(&b)) < 0;
}

int SortedRowPosition(const QTreeWidget& tree, const QTreeWidgetItem& row, int column,
                      Qt::SortOrder order) {
    int first = 0, count = tree.topLevelItemCount();
    // The first row that `row` sorts before or equals: rows equal to it
    // follow it, as after a stable sort of the list with `row` on top.
    while (count > 0) {
        const int step = count / 2;
        const QTreeWidgetItem& at = *tree.topLevelItem(first + step);
        const bool before = order == Qt::AscendingOrder
                                ? VistaTreeWidgetItem::lessThan(at, row, column)
                                : VistaTreeWidgetItem::lessThan(row, at, column);
        if (before) {
            first += step + 1;
            count -= step + 1;
        } else {
            count = step;
        }
    }
    return first;
}

DevInfo* recordOfRow(const QTreeWidgetItem* item) {
    return static_cast<DevInfo*>(item->data(0, Qt::UserRole).value<void*>());
}

QString rowKey(const QTreeWidgetItem* item) {
    const DevInfo* record = recordOfRow(item);
    return record != nullptr ? record->mac : item->text(COL_MAC);
}
