#include "VistaTreeWidgetItem.h"

#include "DevInfo.h"
#include "DeviceColumns.h"

#include <QStringRef>
#include <QTreeWidget>

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

} // namespace

// Every row starts as a copy of one row with its sixteen cells centred: the
// copies share the alignment values until a cell's are changed, which saves
// sixteen allocations per row when ten thousand rows are built at once.
VistaTreeWidgetItem* VistaTreeWidgetItem::newDeviceRow(DevInfo* device) {
    static const VistaTreeWidgetItem* const centred = [] {
        VistaTreeWidgetItem* item = new VistaTreeWidgetItem;
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

int VistaTreeWidgetItem::orderAddresses(const QString& a, const QString& b) {
    QStringRef left[4], right[4];
    if (!splitAddress(a, left) || !splitAddress(b, right))
        return QString::compare(a, b);
    // Equal parts are passed over as texts, which is cheaper than numbers
    // when ten thousand rows are sorted.
    int at = 0;
    while (at < 4 && left[at] == right[at])
        ++at;
    if (at == 4)
        return 0;
    const int l = left[at].toInt(nullptr, 10), r = right[at].toInt(nullptr, 10);
    return l < r ? -1 : l > r ? 1 : QStringRef::compare(left[at], right[at]);
}

// Rows whose keys are equal (eight new cameras at one factory address) keep
// one order from refresh to refresh: the device's key (its MAC) decides.
bool VistaTreeWidgetItem::operator<(const QTreeWidgetItem& other) const {
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    int order = 0;
    if (column == COL_DATA_PORT) {
        const int l = text(column).toInt(nullptr, 10), r = other.text(column).toInt(nullptr, 10);
        order = l < r ? -1 : l > r ? 1 : 0;
    } else if (column == COL_IP) {
        order = orderAddresses(text(column), other.text(column));
    } else {
        order = QString::compare(text(column), other.text(column));
    }
    if (order != 0)
        return order < 0;
    return QString::compare(rowKey(this), rowKey(&other)) < 0;
}

DevInfo* recordOfRow(const QTreeWidgetItem* item) {
    return static_cast<DevInfo*>(item->data(0, Qt::UserRole).value<void*>());
}

QString rowKey(const QTreeWidgetItem* item) {
    const DevInfo* record = recordOfRow(item);
    return record != nullptr ? record->mac : item->text(COL_MAC);
}
