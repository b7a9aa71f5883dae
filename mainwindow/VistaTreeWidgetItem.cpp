#include "VistaTreeWidgetItem.h"

#include "DeviceColumns.h"

#include <QStringList>
#include <QTreeWidget>

int VistaTreeWidgetItem::compareAddresses(const QString& a, const QString& b) {
    const QStringList left = a.split(QLatin1Char('.'));
    const QStringList right = b.split(QLatin1Char('.'));
    if (left.size() != 4 || right.size() != 4)
        return -1;
    int at = 0;
    while (at < 3 && left[at] == right[at])
        ++at;
    // Four equal parts compare the first pair: not less.
    return left[at].toInt(nullptr, 10) < right[at].toInt(nullptr, 10) ? 1 : 0;
}

bool VistaTreeWidgetItem::operator<(const QTreeWidgetItem& other) const {
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    if (column == COL_DATA_PORT)
        return text(column).toInt(nullptr, 10) < other.text(column).toInt(nullptr, 10);
    if (column == COL_IP) {
        const int less = compareAddresses(text(column), other.text(column));
        if (less >= 0)
            return less == 1;
    }
    return QTreeWidgetItem::operator<(other);
}
