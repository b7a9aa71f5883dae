#include "CheckBoxHeaderView.h"
#include "HeaderButton.h"
#include "VistaTreeWidget.h"
#include "WidgetTestSupport.h"

#include <QScrollBar>
#include <QSignalSpy>

using namespace widgettest;

namespace {
// A 300-pixel tree with five 120-pixel columns, so it scrolls sideways.
struct Tree {
    VistaTreeWidget tree;
    CheckBoxHeaderView* header;

    Tree() {
        header = new CheckBoxHeaderView(Qt::Horizontal, &tree, &tree);
        tree.setHeader(header);
        tree.setHeaderLabels({"A", "B", "C", "D", "E"});
        header->setStretchLastSection(false);
        for (int i = 0; i < 5; ++i)
            header->resizeSection(i, 120);
        tree.resize(300, 200);
    }
    int expectedX(int section, QWidget* w, int placement) const {
        return CheckBoxHeaderView::sectionWidgetX(header->sectionViewportPosition(section),
                                                  header->sectionSize(section), w->width(),
                                                  placement);
    }
};
} // namespace

class TestHeaderView : public QObject {
    Q_OBJECT
private slots:
    void placementX_data();
    void placementX();
    void setSectionWidgetRules();
    void widgetsPlacedWhenShown();
    void widgetsFollowResize();
    void widgetsFollowHorizontalScroll();
    void rightDoubleClickIgnored();
};

void TestHeaderView::placementX_data() {
    QTest::addColumn<int>("placement");
    QTest::addColumn<int>("x");
    QTest::newRow("left") << 0 << 121;
    QTest::newRow("centre") << 1 << 144;
    QTest::newRow("right") << 2 << 187;
}

void TestHeaderView::placementX() {
    QFETCH(int, placement);
    QFETCH(int, x);
    QCOMPARE(CheckBoxHeaderView::sectionWidgetX(100, 120, 32, placement), x);
}

void TestHeaderView::setSectionWidgetRules() {
    Tree t;
    HeaderButton* a = new HeaderButton;
    HeaderButton* b = new HeaderButton(t.header);
    QVERIFY(!t.header->setSectionWidget(1, nullptr, 2));
    QVERIFY(!t.header->setSectionWidget(-1, a, 2));
    QVERIFY(!t.header->setSectionWidget(5, a, 2));
    QVERIFY(t.header->setSectionWidget(1, a, 2));
    QVERIFY(!t.header->setSectionWidget(1, b, 2));
    QCOMPARE(t.header->sectionWidget(1), a);
    QCOMPARE(a->parentWidget(), t.header);
    QVERIFY(a->isHidden());
    QCOMPARE(a->size(), QSize(32, 33));
    QVERIFY(!t.header->sectionWidget(2));
}

void TestHeaderView::widgetsPlacedWhenShown() {
    Tree t;
    HeaderButton* button = new HeaderButton(t.header);
    t.header->setSectionWidget(1, button, 2);
    t.tree.show();
    QCOMPARE(button->x(), t.expectedX(1, button, 2));
    QCOMPARE(button->x(), 120 + 120 - 32 - 1);
    QCOMPARE(button->y(), (t.header->height() - 33) / 2);
}

void TestHeaderView::widgetsFollowResize() {
    Tree t;
    HeaderButton* first = new HeaderButton(t.header);
    HeaderButton* later = new HeaderButton(t.header);
    HeaderButton* earlier = new HeaderButton(t.header);
    t.header->setSectionWidget(1, first, 2);
    t.header->setSectionWidget(3, later, 0);
    t.header->setSectionWidget(0, earlier, 1);
    t.tree.show();
    const int earlierX = earlier->x();
    t.header->resizeSection(1, 200);
    QCOMPARE(first->x(), 120 + 200 - 33);
    QCOMPARE(later->x(), t.expectedX(3, later, 0));
    QCOMPARE(later->x(), 120 + 200 + 120 + 21);
    QCOMPARE(earlier->x(), earlierX);
}

void TestHeaderView::widgetsFollowHorizontalScroll() {
    Tree t;
    t.tree.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    HeaderButton* button = new HeaderButton(t.header);
    t.header->setSectionWidget(2, button, 1);
    QVERIFY(showActive(&t.tree));
    const int before = button->x();
    t.tree.horizontalScrollBar()->setValue(50);
    QCOMPARE(t.header->offset(), 50);
    QCOMPARE(button->x(), before - 50);
    QCOMPARE(button->x(), t.expectedX(2, button, 1));
}

void TestHeaderView::rightDoubleClickIgnored() {
    Tree t;
    QTreeWidgetItem* item = new QTreeWidgetItem(&t.tree, QStringList{"1", "2"});
    QVERIFY(showActive(&t.tree));
    QSignalSpy doubleClicked(&t.tree, SIGNAL(doubleClicked(QModelIndex)));
    const QPoint where = t.tree.visualItemRect(item).topLeft() + QPoint(20, 5);
    // A double click is a click followed by the double-click event.
    QTest::mouseClick(t.tree.viewport(), Qt::RightButton, Qt::NoModifier, where);
    QTest::mouseDClick(t.tree.viewport(), Qt::RightButton, Qt::NoModifier, where);
    QCOMPARE(doubleClicked.count(), 0);
    QTest::mouseClick(t.tree.viewport(), Qt::LeftButton, Qt::NoModifier, where);
    QTest::mouseDClick(t.tree.viewport(), Qt::LeftButton, Qt::NoModifier, where);
    QCOMPARE(doubleClicked.count(), 1);
}

QTEST_MAIN(TestHeaderView)
#include "HeaderViewTest.moc"
