#include "BaseDialog.h"
#include "WidgetTestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>

using namespace widgettest;

namespace {
// When the window's push buttons come into being, relative to the switch.
enum ButtonTime { BeforeSwitch, AfterSwitch, AfterShow, NestedAfterShow };

// A main-window-like frame: an address field and buttons that must not be
// pressed by Return (Save, a reset), placed in the content area.
struct Window {
    BaseDialog dialog{nullptr, Qt::FramelessWindowHint};
    QLineEdit* field = nullptr;
    QList<QPushButton*> buttons;

    Window() {
        dialog.resize(400, 300);
        field = new QLineEdit(dialog.contentWidget());
        field->setGeometry(10, 10, 150, 24);
    }

    void addButtons(bool nested) {
        QWidget* parent = dialog.contentWidget();
        if (nested) {
            // A bar built with its buttons, then put into the window.
            QWidget* bar = new QWidget;
            bar->setLayout(new QVBoxLayout);
            parent = new QWidget(bar);
            bar->layout()->addWidget(parent);
            addTo(parent);
            bar->setParent(dialog.contentWidget());
            bar->setGeometry(10, 100, 200, 150);
            bar->show();
            return;
        }
        addTo(parent);
    }

    void addTo(QWidget* parent) {
        for (const char* text : {"Save", "Reset", "Refresh"}) {
            QPushButton* button = new QPushButton(QString::fromLatin1(text), parent);
            button->setGeometry(10, 40 + 30 * buttons.size(), 90, 24);
            button->show();
            buttons.append(button);
        }
    }
};

bool anyDefault(const QWidget& window) {
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->isDefault() || button->autoDefault())
            return true;
    }
    return false;
}
} // namespace

class TestBaseDialog : public QObject {
    Q_OBJECT
private slots:
    void keysOnByDefault();
    void keysOffIgnoreDialogKeys_data();
    void keysOffIgnoreDialogKeys();
    void keysOffFocusedButtonIsNoDefault();
    void keysBackOn();
};

void TestBaseDialog::keysOnByDefault() {
    Window window;
    window.addButtons(false);
    QVERIFY(window.dialog.dialogKeys());
    QVERIFY(showActive(&window.dialog));
    window.field->setFocus();
    // Today's QDialog: the first auto-default button became the default.
    QVERIFY(window.buttons.first()->isDefault());
    QSignalSpy clicked(window.buttons.first(), SIGNAL(clicked()));
    QTest::keyClick(window.field, Qt::Key_Return);
    QCOMPARE(clicked.count(), 1);
    QSignalSpy rejected(&window.dialog, SIGNAL(rejected()));
    QTest::keyClick(window.field, Qt::Key_Escape);
    QCOMPARE(rejected.count(), 1);
    QVERIFY(!window.dialog.isVisible());
}

void TestBaseDialog::keysOffIgnoreDialogKeys_data() {
    QTest::addColumn<int>("buttonTime");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    const struct {
        const char* name;
        int key;
        int modifiers;
    } keys[] = {{"Escape", Qt::Key_Escape, Qt::NoModifier},
                {"Return", Qt::Key_Return, Qt::NoModifier},
                {"Enter", Qt::Key_Enter, Qt::NoModifier},
                {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier}};
    const struct {
        const char* name;
        int time;
    } times[] = {{"buttons before switch", BeforeSwitch},
                 {"buttons after switch", AfterSwitch},
                 {"buttons after show", AfterShow},
                 {"nested buttons after show", NestedAfterShow}};
    for (const auto& time : times) {
        for (const auto& key : keys) {
            QTest::addRow("%s, %s", time.name, key.name) << time.time << key.key << key.modifiers;
        }
    }
}

void TestBaseDialog::keysOffIgnoreDialogKeys() {
    QFETCH(int, buttonTime);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    Window window;
    if (buttonTime == BeforeSwitch)
        window.addButtons(false);
    window.dialog.setDialogKeys(false);
    QVERIFY(!window.dialog.dialogKeys());
    if (buttonTime == AfterSwitch)
        window.addButtons(false);
    QVERIFY(showActive(&window.dialog));
    if (buttonTime >= AfterShow)
        window.addButtons(buttonTime == NestedAfterShow);
    window.field->setFocus();
    QVERIFY(window.field->hasFocus());
    QVERIFY(!anyDefault(window.dialog));

    QSignalSpy rejected(&window.dialog, SIGNAL(rejected()));
    QSignalSpy accepted(&window.dialog, SIGNAL(accepted()));
    QList<QSharedPointer<QSignalSpy>> clicks;
    for (QPushButton* button : window.buttons)
        clicks.append(QSharedPointer<QSignalSpy>::create(button, SIGNAL(clicked())));
    QTest::keyClick(window.field, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(rejected.count(), 0);
    QCOMPARE(accepted.count(), 0);
    QVERIFY(window.dialog.isVisible());
    for (const auto& spy : clicks)
        QCOMPARE(spy->count(), 0);
}

void TestBaseDialog::keysOffFocusedButtonIsNoDefault() {
    Window window;
    window.dialog.setDialogKeys(false);
    window.addButtons(false);
    QVERIFY(showActive(&window.dialog));
    QPushButton* reset = window.buttons.at(1);
    reset->setFocus(Qt::TabFocusReason);
    QVERIFY(reset->hasFocus());
    QVERIFY(!anyDefault(window.dialog));
    QSignalSpy clicked(reset, SIGNAL(clicked()));
    QTest::keyClick(reset, Qt::Key_Return);
    QCOMPARE(clicked.count(), 0);
    // The button still answers the key every button answers.
    QTest::keyClick(reset, Qt::Key_Space);
    QCOMPARE(clicked.count(), 1);
}

void TestBaseDialog::keysBackOn() {
    Window window;
    window.addButtons(false);
    window.dialog.setDialogKeys(false);
    window.dialog.setDialogKeys(true);
    QVERIFY(window.dialog.dialogKeys());
    QVERIFY(window.buttons.first()->autoDefault());
    QVERIFY(showActive(&window.dialog));
    QSignalSpy rejected(&window.dialog, SIGNAL(rejected()));
    QTest::keyClick(window.field, Qt::Key_Escape);
    QCOMPARE(rejected.count(), 1);
}

QTEST_MAIN(TestBaseDialog)
#include "BaseDialogTest.moc"
