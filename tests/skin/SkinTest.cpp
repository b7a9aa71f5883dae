// The compiled skin: every image the windows name is in the resources at
// its size with distinct state frames, every image the style sheet names
// exists, the sheet parses, and the strip-slicing convention picks the
// frame it should.
#include "SkinResources.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QtTest>

namespace {

QString readSheet() {
    QFile file(":/skin/qss/stylesheet.css");
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return QString::fromLatin1(file.readAll());
}

QStringList g_styleWarnings;

void collectStyleWarnings(QtMsgType, const QMessageLogContext&, const QString& message) {
    g_styleWarnings << message;
}

} // namespace

class TestSkin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { InitSkinResources(); }
    void imageSizes_data();
    void imageSizes();
    void sheetIsAsciiAndNamesExistingImages();
    void sheetParsesWithoutWarnings();
    void sliceShowsTheChosenFrame_data();
    void sliceShowsTheChosenFrame();
};

void TestSkin::imageSizes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("frameWidth");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("frames");
    const struct {
        const char* name;
        int frameWidth, height, frames;
    } rows[] = {
        {"min.png", 22, 22, 3},
        {"max.png", 22, 22, 3},
        {"normal.png", 22, 22, 3},
        {"close.png", 22, 22, 3},
        {"collapse.png", 11, 8, 3},
        {"expand.png", 11, 8, 3},
        {"ckb_unchecked.png", 26, 26, 4},
        {"ckb_checked.png", 26, 26, 4},
        {"menu_indicator.png", 32, 33, 3},
        {"scroll_up.png", 18, 18, 4},
        {"scroll_down.png", 18, 18, 4},
        {"scroll_left.png", 18, 18, 4},
        {"scroll_right.png", 18, 18, 4},
        {"top_mid.png", 7, 2, 1},
        {"bottom_mid.png", 7, 2, 1},
        {"left_mid.png", 2, 7, 1},
        {"right_mid.png", 2, 8, 1},
        {"left_top.png", 7, 7, 1},
        {"right_top.png", 7, 7, 1},
        {"left_bottom.png", 3, 3, 1},
        {"right_bottom.png", 3, 3, 1},
        {"info.png", 26, 26, 1},
        {"tree_selected_l.png", 14, 36, 1},
        {"tree_selected_m.png", 14, 36, 1},
        {"tree_selected_r.png", 14, 36, 1},
        {"tree_selected_!active_l.png", 14, 36, 1},
        {"tree_selected_!active_m.png", 14, 36, 1},
        {"tree_selected_!active_r.png", 14, 36, 1},
        {"tree_hover_l.png", 14, 36, 1},
        {"tree_hover_m.png", 14, 36, 1},
        {"tree_hover_r.png", 14, 36, 1},
        {"divide_open.png", 18, 18, 1},
        {"divide_close.png", 18, 18, 1},
        {"menu_check.png", 18, 18, 1},
        {"Warning.png", 50, 50, 1},
        {"Error.png", 50, 50, 1},
        {"Information.png", 50, 50, 1},
        {"Question.png", 50, 50, 1},
        {"Zemtravon_logo.png", 40, 40, 1},
        {"combox_arrow.png", 10, 6, 1},
        {"menu_right_arrow.png", 12, 12, 1},
        {"down_arrow.png", 11, 7, 1},
        {"up_arrow.png", 11, 7, 1},
    };
    for (const auto& row : rows) {
        QTest::newRow(row.name) << QString(row.name) << row.frameWidth << row.height << row.frames;
    }
}

// A strip whose frames were painted alike would show no state change.
void TestSkin::imageSizes() {
    QFETCH(QString, name);
    QFETCH(int, frameWidth);
    QFETCH(int, height);
    QFETCH(int, frames);
    const QImage image(":/skin/" + name);
    QVERIFY2(!image.isNull(), qPrintable(name));
    QCOMPARE(image.size(), QSize(frameWidth * frames, height));
    for (int i = 1; i < frames; ++i) {
        const QImage previous = image.copy((i - 1) * frameWidth, 0, frameWidth, height);
        QVERIFY2(image.copy(i * frameWidth, 0, frameWidth, height) != previous,
                 qPrintable(QString("frame %1 equals frame %2").arg(i).arg(i - 1)));
    }
}

void TestSkin::sheetIsAsciiAndNamesExistingImages() {
    const QString sheet = readSheet();
    QVERIFY(!sheet.isEmpty());
    QVERIFY2(!sheet.contains(QRegularExpression("[^\\x{0}-\\x{7f}]")),
             "the sheet is read as Latin-1 before any codec is set");
    auto urls = QRegularExpression("url\\(([^)]*)\\)").globalMatch(sheet);
    int count = 0;
    while (urls.hasNext()) {
        const QString path = urls.next().captured(1).trimmed();
        QVERIFY2(path.startsWith(":/skin/"), qPrintable(path));
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
        ++count;
    }
    QVERIFY(count > 20);
}

void TestSkin::sheetParsesWithoutWarnings() {
    g_styleWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectStyleWarnings);
    qApp->setStyleSheet(readSheet());
    QCheckBox box("probe");
    box.ensurePolished();
    box.grab();
    qApp->setStyleSheet(QString());
    qInstallMessageHandler(previous);
    QVERIFY2(g_styleWarnings.isEmpty(), qPrintable(g_styleWarnings.join("\n")));
}

// The convention every strip rule relies on: a border-image with slices and
// no border width stretches the middle part, i.e. one frame, over the box.
void TestSkin::sliceShowsTheChosenFrame_data() {
    QTest::addColumn<QString>("slices");
    QTest::addColumn<int>("frame");
    QTest::newRow("first") << "0 78 0 0" << 0;
    QTest::newRow("second") << "0 52 0 26" << 1;
    QTest::newRow("third") << "0 26 0 52" << 2;
    QTest::newRow("fourth") << "0 0 0 78" << 3;
}

void TestSkin::sliceShowsTheChosenFrame() {
    QFETCH(QString, slices);
    QFETCH(int, frame);
    QCheckBox box;
    box.setStyleSheet("QCheckBox { background: black; spacing: 0px; }"
                      "QCheckBox::indicator { width: 26px; height: 26px;"
                      " border-image: url(:/skin/ckb_checked.png) " +
                      slices + "; }");
    box.resize(26, 26);
    const QImage shot = box.grab().toImage();
    const QImage strip(":/skin/ckb_checked.png");
    // The box edge at (6, 13) differs between the frames of the strip.
    const QColor expected = strip.pixelColor(frame * 26 + 6, 13);
    const QColor actual = shot.pixelColor(6, 13);
    QVERIFY2(
        qAbs(actual.red() - expected.red()) <= 2 && qAbs(actual.green() - expected.green()) <= 2 &&
            qAbs(actual.blue() - expected.blue()) <= 2,
        qPrintable(
            QString("got %1, frame %2 has %3").arg(actual.name()).arg(frame).arg(expected.name())));
}

QTEST_MAIN(TestSkin)
#include "SkinTest.moc"
