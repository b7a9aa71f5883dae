#include "N12_MessageBox.h"
#include "WidgetTestSupport.h"
#include "AdaptImage.h"
#include "ZVKButton.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>

using namespace widgettest;

namespace {
QList<int> idsOf(const N12_MessageBox& box) {
    QList<int> ids;
    for (QAbstractButton* button : box.buttonGroup()->buttons())
        ids.append(box.buttonGroup()->id(button));
    return ids;
}

// Right to left: the identifiers of the box's buttons by x, largest first.
QList<int> idsFromRight(const N12_MessageBox& box) {
    QList<QAbstractButton*> buttons = box.buttonGroup()->buttons();
    std::sort(buttons.begin(), buttons.end(),
              [](QAbstractButton* a, QAbstractButton* b) { return a->x() > b->x(); });
    QList<int> ids;
    for (QAbstractButton* button : buttons)
        ids.append(box.buttonGroup()->id(button));
    return ids;
}

QAbstractButton* buttonWithId(const N12_MessageBox& box, int id) {
    return box.buttonGroup()->button(id);
}
} // namespace

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { openLanguage(); }
    void buttonsAndDefault_data();
    void buttonsAndDefault();
    void placement_data();
    void placement();
    void pressingAButtonSetsResult();
    void escapeResult_data();
    void escapeResult();
    void closeKeepsDefault();
    void types_data();
    void types();
    void textIsPlain();
    void showOperationsRunModally_data();
    void showOperationsRunModally();
    void buttonLabelsFit_data();
    void buttonLabelsFit();
    void fittedWidthWidensOnlyWhatDoesNotFit();
    void rectsWithWidths_data();
    void rectsWithWidths();
    void longTextShowsWhole_data();
    void longTextShowsWhole();
};

void TestMessageBox::initTestCase() {
    // The boxes are checked in the look they have in the program.
    QVERIFY(applyLook());
    openLanguage();
}

void TestMessageBox::buttonsAndDefault_data() {
    QTest::addColumn<int>("mask");
    QTest::addColumn<QList<int>>("created");
    QTest::addColumn<int>("defaultId");
    QTest::newRow("ok") << 16 << QList<int>{16} << 16;
    QTest::newRow("ok cancel") << 48 << QList<int>{16, 32} << 32;
    QTest::newRow("yes no") << 3 << QList<int>{1, 2} << 2;
    QTest::newRow("all six") << 63 << QList<int>{4, 8, 16, 32, 1, 2} << 2;
    QTest::newRow("none") << 0 << QList<int>{} << 0;
    QTest::newRow("unknown bits ignored") << (64 | 16) << QList<int>{16} << 16;
}

void TestMessageBox::buttonsAndDefault() {
    QFETCH(int, mask);
    QFETCH(QList<int>, created);
    QFETCH(int, defaultId);
    N12_MessageBox box("text", mask, 3);
    QCOMPARE(idsOf(box), created);
    QCOMPARE(box.buttonResult(), defaultId);
    if (defaultId == 0)
        return;
    QVERIFY(showActive(&box));
    QPushButton* button = qobject_cast<QPushButton*>(buttonWithId(box, defaultId));
    QVERIFY(button->autoDefault());
    QVERIFY(button->hasFocus());
}

void TestMessageBox::placement_data() {
    QTest::addColumn<int>("mask");
    QTest::addColumn<QList<int>>("fromRight");
    QTest::addColumn<QList<int>>("xs");
    QTest::newRow("ok") << 16 << QList<int>{16} << QList<int>{280};
    QTest::newRow("ok cancel") << 48 << QList<int>{32, 16} << QList<int>{280, 210};
    QTest::newRow("all six") << 63 << QList<int>{2, 1, 32, 16, 8, 4}
                             << QList<int>{280, 210, 140, 70, -20, -90};
    QTest::newRow("all-yes alone gets the gap") << 4 << QList<int>{4} << QList<int>{260};
    QTest::newRow("one gap only") << (4 | 8 | 1) << QList<int>{1, 8, 4}
                                  << QList<int>{280, 190, 120};
}

void TestMessageBox::placement() {
    QFETCH(int, mask);
    QFETCH(QList<int>, fromRight);
    QFETCH(QList<int>, xs);
    N12_MessageBox box("text", mask, 1);
    box.show();
    QCOMPARE(box.size(), QSize(360, 200));
    QCOMPARE(idsFromRight(box), fromRight);
    for (int i = 0; i < fromRight.size(); ++i) {
        QAbstractButton* button = buttonWithId(box, fromRight[i]);
        QCOMPARE(button->geometry(), QRect(xs[i], 173, 70, 23));
    }
}

void TestMessageBox::pressingAButtonSetsResult() {
    N12_MessageBox box("text", 1 | 2 | 16, 4);
    QVERIFY(showActive(&box));
    QTest::mouseClick(buttonWithId(box, 1), Qt::LeftButton);
    QCOMPARE(box.buttonResult(), 1);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Accepted));
}

void TestMessageBox::escapeResult_data() {
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("result");
    QTest::newRow("ok stays ok") << 16 << 16;
    QTest::newRow("ok cancel") << 48 << 32;
    QTest::newRow("yes no") << 3 << 2;
    QTest::newRow("cancel beats no") << (1 | 2 | 32) << 32;
    QTest::newRow("no beats all-not") << (2 | 4 | 8) << 2;
    QTest::newRow("all-not") << (4 | 8) << 8;
    QTest::newRow("yes only stays yes") << 1 << 1;
}

void TestMessageBox::escapeResult() {
    QFETCH(int, mask);
    QFETCH(int, result);
    N12_MessageBox box("text", mask, 1);
    QVERIFY(showActive(&box));
    QTest::keyClick(&box, Qt::Key_Escape);
    QCOMPARE(box.buttonResult(), result);
    QVERIFY(!box.isVisible());
}

void TestMessageBox::closeKeepsDefault() {
    N12_MessageBox box("text", 16, 2);
    QVERIFY(showActive(&box));
    QTest::mouseClick(box.closeButton(), Qt::LeftButton);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.buttonResult(), 16);
}

void TestMessageBox::types_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("titleKey");
    QTest::addColumn<QString>("image");
    QTest::newRow("warning") << 1 << "IDCS_WARNING"
                             << ":/skin/Warning.png";
    QTest::newRow("error") << 2 << "IDCS_ERROR"
                           << ":/skin/Error.png";
    QTest::newRow("information") << 3 << "IDCS_INFORMATION"
                                 << ":/skin/Information.png";
    QTest::newRow("question") << 4 << "IDCS_QUESTION"
                              << ":/skin/Question.png";
    QTest::newRow("other") << 9 << ""
                           << "";
}

void TestMessageBox::types() {
    QFETCH(int, type);
    QFETCH(QString, titleKey);
    QFETCH(QString, image);
    N12_MessageBox box("text", 16, type);
    box.show();
    const QString title = titleKey.isEmpty() ? QString() : GetText(titleKey.toLatin1());
    QCOMPARE(title.isEmpty(), titleKey.isEmpty()); // every type's key has its text
    QCOMPARE(box.title(), title);
    AdaptImage* icon = box.findChild<AdaptImage*>();
    QVERIFY(icon);
    QCOMPARE(icon->geometry(), QRect(20, 70, 50, 50));
    QCOMPARE(icon->styleSheet().contains("image:url"), !image.isEmpty());
    if (!image.isEmpty())
        QVERIFY(icon->styleSheet().contains(image));
}

void TestMessageBox::textIsPlain() {
    N12_MessageBox box("<b>cam</b>", 16, 1);
    box.show();
    bool found = false;
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->text() == "<b>cam</b>") {
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QCOMPARE(label->geometry(), QRect(80, 40, 270, 110));
            found = true;
        }
    }
    QVERIFY(found);
}

void TestMessageBox::showOperationsRunModally_data() {
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("titleKey");
    QTest::newRow("warning") << 1 << "IDCS_WARNING";
    QTest::newRow("error") << 2 << "IDCS_ERROR";
    QTest::newRow("information") << 3 << "IDCS_INFORMATION";
}

void TestMessageBox::showOperationsRunModally() {
    QFETCH(int, operation);
    QFETCH(QString, titleKey);
    QString seenTitle;
    bool seenModal = false;
    // Answer the box from inside its event loop, as soon as it is up.
    QTimer::singleShot(0, [&]() {
        N12_MessageBox* box = qobject_cast<N12_MessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seenTitle = box->title();
        seenModal = box->isModal();
        QTest::keyClick(box, Qt::Key_Return);
    });
    int result = 0;
    if (operation == 1)
        result = N12_MessageBox::warning("w");
    else if (operation == 2)
        result = N12_MessageBox::error("e");
    else
        result = N12_MessageBox::information("i");
    QCOMPARE(result, 16);
    QVERIFY(seenModal);
    QCOMPARE(seenTitle, GetText(titleKey.toLatin1()));
    QVERIFY(!QApplication::activeModalWidget());
}

void TestMessageBox::buttonLabelsFit_data() {
    QTest::addColumn<unsigned int>("language");
    QTest::addColumn<int>("mask");
    const struct {
        const char* name;
        unsigned int id;
    } languages[] = {{"English", 0x409},
                     {"Chinese (PRC)", 0x804},
                     {"Chinese (Taiwan)", 0x404},
                     {"Russian", 0x419}};
    const struct {
        const char* name;
        int mask;
    } masks[] = {{"ok", 16}, {"ok cancel", 48}, {"yes no", 3}, {"all six", 63}};
    for (const auto& language : languages) {
        for (const auto& mask : masks)
            QTest::addRow("%s, %s", language.name, mask.name) << language.id << mask.mask;
    }
}

// Every label shows whole inside what the style leaves of its button, in
// the look with the most frame (focused default), and neighbours keep a
// visible strip between them.
void TestMessageBox::buttonLabelsFit() {
    QFETCH(unsigned int, language);
    QFETCH(int, mask);
    openLanguage(language);
    N12_MessageBox box("text", mask, 4);
    box.resize(600, 200);
    QVERIFY(showActive(&box));
    QList<QAbstractButton*> buttons = box.buttonGroup()->buttons();
    std::sort(buttons.begin(), buttons.end(),
              [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
    const QImage image = box.grab().toImage();
    const int middle = box.height() - 27 + 11;
    const QColor strip = image.pixelColor(5, middle);
    for (int i = 0; i < buttons.size(); ++i) {
        QPushButton* button = qobject_cast<QPushButton*>(buttons[i]);
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.state |= QStyle::State_HasFocus;
        option.features |= QStyleOptionButton::DefaultButton;
        const QRect contents =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        QVERIFY(!button->text().isEmpty());
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) <= contents.width(),
                 qPrintable(button->text()));
        QVERIFY(button->width() >= N12_MessageBox::kButtonWidth);
        QVERIFY(button->geometry().right() <= box.width() - 10);
        if (i == 0)
            continue;
        const QRect left = buttons[i - 1]->geometry();
        QVERIFY(left.right() < button->x());
        QCOMPARE(image.pixelColor(button->x(), middle), strip);
        QCOMPARE(image.pixelColor(left.right(), middle), strip);
    }
}

namespace {
QRect contentsAt(QPushButton* button, int width) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = QRect(0, 0, width, N12_MessageBox::kButtonHeight);
    option.text = button->text();
    option.state |= QStyle::State_HasFocus;
    option.features |= QStyleOptionButton::DefaultButton;
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
}
} // namespace

void TestMessageBox::fittedWidthWidensOnlyWhatDoesNotFit() {
    N12_MessageBox box("text", 16, 1);
    QPushButton* ok = qobject_cast<QPushButton*>(box.buttonGroup()->button(16));
    QCOMPARE(N12_MessageBox::fittedWidth(ok), N12_MessageBox::kButtonWidth);
    ok->setText(QStringLiteral("A label no slot can hold"));
    const int wide = N12_MessageBox::fittedWidth(ok);
    const int label = ok->fontMetrics().horizontalAdvance(ok->text());
    QVERIFY(wide > N12_MessageBox::kButtonWidth);
    // Just wide enough: one pixel less and the label is cut.
    QVERIFY(contentsAt(ok, wide).width() >= label);
    QVERIFY(contentsAt(ok, wide - 1).width() < label);
}

void TestMessageBox::rectsWithWidths_data() {
    QTest::addColumn<QVector<int>>("ids");
    QTest::addColumn<QVector<int>>("widths");
    QTest::addColumn<QVector<int>>("xs");
    QTest::newRow("all at 70 as the plain walk")
        << QVector<int>{16, 32} << QVector<int>{70, 70} << QVector<int>{210, 280};
    QTest::newRow("a wide right button pushes the rest left")
        << QVector<int>{1, 2} << QVector<int>{70, 90} << QVector<int>{190, 260};
    QTest::newRow("wide all-buttons keep the gap")
        << QVector<int>{4, 8, 1, 2} << QVector<int>{88, 94, 70, 70}
        << QVector<int>{8, 96, 210, 280};
}

void TestMessageBox::rectsWithWidths() {
    QFETCH(QVector<int>, ids);
    QFETCH(QVector<int>, widths);
    QFETCH(QVector<int>, xs);
    const QVector<QRect> rects = N12_MessageBox::buttonRects(ids, widths, 360, 200);
    QCOMPARE(rects.size(), ids.size());
    for (int i = 0; i < rects.size(); ++i)
        QCOMPARE(rects[i], QRect(xs[i], 173, widths[i], 23));
    QCOMPARE(N12_MessageBox::buttonRects(ids, QVector<int>(ids.size(), 70), 360, 200),
             N12_MessageBox::buttonRects(ids, 360, 200));
}

void TestMessageBox::longTextShowsWhole_data() {
    QTest::addColumn<int>("paragraphs");
    QTest::newRow("one line") << 0;
    QTest::newRow("three paragraphs") << 3;
    QTest::newRow("six paragraphs") << 6;
}

// Every line of the message lies between the title bar and the buttons,
// whatever its length.
void TestMessageBox::longTextShowsWhole() {
    QFETCH(int, paragraphs);
    QStringList text{QStringLiteral("Send the new address anyway?")};
    for (int i = 0; i < paragraphs; ++i)
        text.prepend(QStringLiteral("The device Desk keyboard (02:4C:56:00:10:04) in the list "
                                    "already uses this address, number %1.")
                         .arg(i));
    N12_MessageBox box(text.join(QStringLiteral("\n\n")), N12_MessageBox::Yes | N12_MessageBox::No,
                       N12_MessageBox::Warning);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QLabel* label = nullptr;
    for (QLabel* l : box.findChildren<QLabel*>())
        if (l->wordWrap())
            label = l;
    QVERIFY(label != nullptr);
    QVERIFY(label->heightForWidth(label->width()) <= label->height());
    QVERIFY(label->geometry().top() >= CustomDialog::kTitleHeight);
    for (QAbstractButton* button : box.buttonGroup()->buttons())
        QVERIFY(label->geometry().bottom() < button->geometry().top());
    QCOMPARE(box.size() == QSize(360, 200), paragraphs == 0);
}

QTEST_MAIN(TestMessageBox)
#include "MessageBoxTest.moc"
