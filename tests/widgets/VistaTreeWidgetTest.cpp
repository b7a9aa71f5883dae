#include "VistaDelegate.h"
#include "VistaTreeWidget.h"
#include "WidgetTestSupport.h"
#include "SkinResources.h"

#include <QLineEdit>

using namespace widgettest;

namespace {
// Records whether the selected row reached the delegate as active, then
// paints as VistaDelegate does.
class RecordingDelegate : public VistaDelegate {
public:
    explicit RecordingDelegate(QTreeView* view) : VistaDelegate(view) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (option.state & QStyle::State_Selected)
            selectedActive = (option.state & QStyle::State_Active) ? 1 : 0;
        VistaDelegate::paint(painter, option, index);
    }
    mutable int selectedActive = -1;
};

enum Focus { FocusInTree, FocusInField, OtherWindowActive };

// A device list beside an address field in one window, the second row
// selected.
struct Window {
    QWidget window;
    VistaTreeWidget* tree = new VistaTreeWidget(&window);
    QLineEdit* field = new QLineEdit(&window);
    RecordingDelegate* delegate = new RecordingDelegate(tree);

    Window() {
        window.resize(420, 240);
        tree->setGeometry(0, 0, 420, 200);
        field->setGeometry(0, 205, 200, 24);
        tree->setItemDelegate(delegate);
        tree->setHeaderLabels({"Name", "Address", "Port"});
        for (const char* name : {"Gate camera", "Yard recorder", "Lobby dome"})
            new QTreeWidgetItem(tree, {name, "192.168.1.20", "9008"});
        tree->setCurrentItem(tree->topLevelItem(1));
    }

    QImage selectedRow() const {
        const QRect rect = tree->visualItemRect(tree->topLevelItem(1));
        return tree->viewport()
            ->grab(QRect(0, rect.y(), tree->viewport()->width(), rect.height()))
            .toImage();
    }
};

// Puts the focus or the activation where `focus` says and repaints.
bool place(Window& w, QWidget& other, int focus) {
    if (!showActive(&w.window))
        return false;
    if (focus == OtherWindowActive && !showActive(&other))
        return false;
    if (focus == FocusInTree)
        w.tree->setFocus();
    else if (focus == FocusInField)
        w.field->setFocus();
    w.delegate->selectedActive = -1;
    w.tree->viewport()->repaint();
    return w.delegate->selectedActive != -1;
}
} // namespace

class TestVistaTreeWidget : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InitSkinResources(); }
    void selectionFollowsWindowActivation_data();
    void selectionFollowsWindowActivation();
    void selectionLooksAlikeWhereverFocusIs();
};

void TestVistaTreeWidget::selectionFollowsWindowActivation_data() {
    QTest::addColumn<int>("focus");
    QTest::addColumn<int>("active");
    QTest::newRow("focus in the tree") << int(FocusInTree) << 1;
    QTest::newRow("focus in a field beside it") << int(FocusInField) << 1;
    QTest::newRow("another window active") << int(OtherWindowActive) << 0;
}

void TestVistaTreeWidget::selectionFollowsWindowActivation() {
    QFETCH(int, focus);
    QFETCH(int, active);
    Window w;
    QWidget other;
    other.setGeometry(500, 0, 100, 100);
    QVERIFY(place(w, other, focus));
    QCOMPARE(w.delegate->selectedActive, active);
}

void TestVistaTreeWidget::selectionLooksAlikeWhereverFocusIs() {
    Window w;
    QWidget other;
    other.setGeometry(500, 0, 100, 100);
    QVERIFY(place(w, other, FocusInTree));
    const QImage inTree = w.selectedRow();
    QVERIFY(place(w, other, FocusInField));
    QCOMPARE(w.selectedRow(), inTree);
    QVERIFY(place(w, other, OtherWindowActive));
    // The inactive images are a different look, so the check above means
    // something.
    QVERIFY(w.selectedRow() != inTree);
}

QTEST_MAIN(TestVistaTreeWidget)
#include "VistaTreeWidgetTest.moc"
