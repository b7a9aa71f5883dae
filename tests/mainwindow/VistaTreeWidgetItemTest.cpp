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
    void equalAddressesAreNotLess();
    void sortedPosition_data();
    void sortedPosition();
};

namespace {

// A row whose `column` shows `text`. The cell is set twice, so that numbers
// read from a cell's earlier text would show.
QTreeWidgetItem* rowWith(int column, const QString& text) {
    QTreeWidgetItem* item = new VistaTreeWidgetItem;
    item->setText(column, QStringLiteral("255.255.255.255"));
    item->setText(column, text);
    return item;
}

} // namespace

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

void TestVistaTreeWidgetItem::equalAddressesAreNotLess() {
    QCOMPARE(VistaTreeWidgetItem::compareAddresses("10.0.0.1", "10.0.0.1"), 0);
    QCOMPARE(VistaTreeWidgetItem::compareAddresses("10.0.0.1", "10.0.0"), -1);
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

// A row put in at SortedRowPosition lands where Qt's own stable sort puts
// it when it goes in on top: the window's merge and the tree's sort agree.
void TestVistaTreeWidgetItem::sortedPosition_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("text");
    const QStringList addresses{"192.168.0.1", "10.0.0.10", "10.0.0.2", "192.168.1.9", "10.0.0.2"};
    QTest::newRow("address between") << int(COL_IP) << true << addresses << "10.0.0.9";
    QTest::newRow("address first") << int(COL_IP) << true << addresses << "1.0.0.0";
    QTest::newRow("address last") << int(COL_IP) << true << addresses << "200.0.0.0";
    QTest::newRow("address before its equals") << int(COL_IP) << true << addresses << "10.0.0.2";
    QTest::newRow("descending, before its equals")
        << int(COL_IP) << false << addresses << "10.0.0.2";
    QTest::newRow("descending between") << int(COL_IP) << false << addresses << "10.0.1.0";
    QTest::newRow("leading zeros: parts unequal as text, equal as numbers")
        << int(COL_IP) << true << QStringList{"10.0.0.9", "10.0.0.010", "10.0.0.11"} << "10.0.0.10";
    QTest::newRow("not four parts: as text")
        << int(COL_IP) << true << QStringList{"b", "10.0.0.9", "a.b", "10.0.0.10", ""} << "a";
    QTest::newRow("empty tree") << int(COL_IP) << true << QStringList{} << "10.0.0.1";
    QTest::newRow("data ports as numbers")
        << int(COL_DATA_PORT) << true << QStringList{"8000", "80", "x", "9008"} << "443";
    QTest::newRow("data port equal to a text that is none")
        << int(COL_DATA_PORT) << false << QStringList{"8000", "0", "x", "9008"} << "";
    QTest::newRow("names descending")
        << int(COL_NAME) << false << QStringList{"b2", "b10", "a", "c"} << "b1";
}

void TestVistaTreeWidgetItem::sortedPosition() {
    QFETCH(int, column);
    QFETCH(bool, ascending);
    QFETCH(QStringList, texts);
    QFETCH(QString, text);
    const Qt::SortOrder order = ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    QTreeWidget ours, qts;
    for (QTreeWidget* tree : {&ours, &qts}) {
        tree->setColumnCount(kDeviceColumnCount);
        for (const QString& t : texts)
            tree->addTopLevelItem(rowWith(column, t));
        tree->sortItems(column, order);
    }
    QTreeWidgetItem* row = rowWith(column, text);
    const int at = SortedRowPosition(ours, *row, column, order);
    delete row;
    QTreeWidgetItem* marked = rowWith(column, text);
    marked->setData(0, Qt::UserRole, true);
    qts.insertTopLevelItem(0, marked);
    qts.sortItems(column, order);
    QCOMPARE(at, qts.indexOfTopLevelItem(marked));
}

QTEST_MAIN(TestVistaTreeWidgetItem)
#include "VistaTreeWidgetItemTest.moc"
