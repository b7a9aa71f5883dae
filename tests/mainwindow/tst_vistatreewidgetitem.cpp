#include "DeviceColumns.h"
#include "VistaTreeWidgetItem.h"

#include <QTest>

#include <algorithm>
#include <QTreeWidget>

class TestVistaTreeWidgetItem : public QObject {
    Q_OBJECT
private slots:
    void sortOrder_data();
    void sortOrder();
    void equalKeysGoByMac_data();
    void equalKeysGoByMac();
};

void TestVistaTreeWidgetItem::sortOrder_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("sorted");
    QTest::newRow("addresses by octet")
        << int(COL_IP) << QStringList{"192.168.0.1", "10.0.0.10", "10.0.0.2", "192.168.1.9"}
        << QStringList{"10.0.0.2", "10.0.0.10", "192.168.0.1", "192.168.1.9"};
    QTest::newRow("a later octet decides")
        << int(COL_IP) << QStringList{"10.1.2.30", "10.1.2.4", "10.1.10.1"}
        << QStringList{"10.1.2.4", "10.1.2.30", "10.1.10.1"};
    QTest::newRow("not four parts: as text")
        << int(COL_IP) << QStringList{"b", "10.0.0.9", "a.b", "10.0.0.10"}
        << QStringList{"10.0.0.9", "10.0.0.10", "a.b", "b"};
    QTest::newRow("data ports as numbers")
        << int(COL_DATA_PORT) << QStringList{"8000", "80", "x", "9008"}
        << QStringList{"x", "80", "8000", "9008"};
    QTest::newRow("names as text")
        << int(COL_NAME) << QStringList{"b2", "b10", "a"} << QStringList{"a", "b10", "b2"};
}

void TestVistaTreeWidgetItem::sortOrder() {
    QFETCH(int, column);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, sorted);
    QTreeWidget tree;
    tree.setColumnCount(kDeviceColumnCount);
    for (const QString& text : texts) {
        QTreeWidgetItem* item = new VistaTreeWidgetItem;
        item->setText(column, text);
        tree.addTopLevelItem(item);
    }
    tree.sortItems(column, Qt::AscendingOrder);
    QStringList order;
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        order.append(tree.topLevelItem(i)->text(column));
    QCOMPARE(order, sorted);
}

// Eight cameras at one factory address: whatever order they answered in,
// the MAC orders them, both ways.
void TestVistaTreeWidgetItem::equalKeysGoByMac_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::newRow("address up") << int(COL_IP) << int(Qt::AscendingOrder);
    QTest::newRow("address down") << int(COL_IP) << int(Qt::DescendingOrder);
    QTest::newRow("name up") << int(COL_NAME) << int(Qt::AscendingOrder);
    QTest::newRow("data port down") << int(COL_DATA_PORT) << int(Qt::DescendingOrder);
}

void TestVistaTreeWidgetItem::equalKeysGoByMac() {
    QFETCH(int, column);
    QFETCH(int, order);
    const QStringList macs = {"02:00:00:00:00:03", "02:00:00:00:00:01", "02:00:00:00:00:02"};
    QStringList expected = {"02:00:00:00:00:01", "02:00:00:00:00:02", "02:00:00:00:00:03"};
    if (order == Qt::DescendingOrder)
        std::reverse(expected.begin(), expected.end());
    for (int first = 0; first < macs.size(); ++first) {
        QTreeWidget tree;
        tree.setColumnCount(kDeviceColumnCount);
        for (int i = 0; i < macs.size(); ++i) {
            QTreeWidgetItem* item = new VistaTreeWidgetItem;
            item->setText(column, column == COL_DATA_PORT ? "9008"
                                  : column == COL_IP      ? "192.168.1.64"
                                                          : "IPC");
            item->setText(COL_MAC, macs[(first + i) % macs.size()]);
            tree.addTopLevelItem(item);
        }
        tree.sortItems(column, Qt::SortOrder(order));
        QStringList sorted;
        for (int i = 0; i < tree.topLevelItemCount(); ++i)
            sorted.append(tree.topLevelItem(i)->text(COL_MAC));
        QCOMPARE(sorted, expected);
    }
}

QTEST_MAIN(TestVistaTreeWidgetItem)
#include "tst_vistatreewidgetitem.moc"
