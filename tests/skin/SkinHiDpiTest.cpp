// The skin on a screen scaled to 200 % (CTest sets QT_SCALE_FACTOR=2): every
// image has an "@2x" form of twice the size, Qt draws that form where the
// style sheet or the widgets name the image, and what it draws is sharper
// than the 1x image blown up would be, so a blurred 1x image fails.
#include "SkinResources.h"

#include <QApplication>
#include <QDirIterator>
#include <QFrame>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QtTest>

#include <cmath>

namespace {

QString sharpName(const QString& path) {
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    return path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
}

const QColor kDesk(30, 31, 35);

// The image over the desk colour, opaque, pixel for pixel (an "@2x" file
// comes with device pixel ratio 2, which would halve it here).
QImage onDesk(QImage image) {
    image.setDevicePixelRatio(1.0);
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(kDesk);
    QPainter p(&out);
    p.drawImage(0, 0, image);
    return out;
}

// The sum of squared steps between neighbouring pixels, over all channels: a
// sharp edge puts its whole step between two pixels, a blurred one spreads
// it over several, which gives a smaller sum for the same contrast.
double edgeEnergy(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    auto step = [&sum](QRgb a, QRgb b) {
        for (const int shift : {0, 8, 16}) {
            const int d = int((a >> shift) & 0xff) - int((b >> shift) & 0xff);
            sum += double(d) * d;
        }
    };
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            if (x + 1 < rgb.width())
                step(rgb.pixel(x, y), rgb.pixel(x + 1, y));
            if (y + 1 < rgb.height())
                step(rgb.pixel(x, y), rgb.pixel(x, y + 1));
        }
    return sum;
}

// The mean difference per channel of two images of the same size.
double meanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col)
            for (const int shift : {0, 8, 16})
                sum += std::abs(int((x.pixel(col, row) >> shift) & 0xff) -
                                int((y.pixel(col, row) >> shift) & 0xff));
    return sum / (3.0 * x.width() * x.height());
}

} // namespace

class TestSkinHiDpi : public QObject {
    Q_OBJECT
private slots:
    void screenIsScaled();
    void everyImageHasATwiceAsLargeSharpForm();
    void styleSheetDrawsTheSharpForm_data();
    void styleSheetDrawsTheSharpForm();
    void widgetsLoadTheSharpForm();
    void slicesCountInTheDrawnImagesPixels_data();
    void slicesCountInTheDrawnImagesPixels();
};

void TestSkinHiDpi::screenIsScaled() {
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
}

void TestSkinHiDpi::everyImageHasATwiceAsLargeSharpForm() {
    int checked = 0;
    QDirIterator it(QStringLiteral(":/skin"), {QStringLiteral("*.png")});
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.contains(QLatin1String("@2x")))
            continue;
        const QImage plain(path), sharp(sharpName(path));
        QVERIFY2(!sharp.isNull(), qPrintable(sharpName(path) + " is missing"));
        QCOMPARE(sharp.size(), plain.size() * 2);
        ++checked;
    }
    QVERIFY(checked > 40);
}

// A frame showing one cell of a skin image through the style sheet's
// border-image, the way the window's title buttons, frame pieces and check
// boxes are drawn. Slices count in the 1x image's pixels.
void TestSkinHiDpi::styleSheetDrawsTheSharpForm_data() {
    QTest::addColumn<QString>("image");
    QTest::addColumn<QRect>("cell"); // in 1x pixels
    QTest::newRow("close button") << "close.png" << QRect(0, 0, 22, 22);
    QTest::newRow("close button, hover") << "close.png" << QRect(22, 0, 22, 22);
    QTest::newRow("maximise button") << "max.png" << QRect(0, 0, 22, 22);
    QTest::newRow("frame corner") << "left_top.png" << QRect(0, 0, 7, 7);
    QTest::newRow("checked box") << "ckb_checked.png" << QRect(0, 0, 26, 26);
    QTest::newRow("information sign") << "Information.png" << QRect(0, 0, 50, 50);
}

void TestSkinHiDpi::styleSheetDrawsTheSharpForm() {
    QFETCH(QString, image);
    QFETCH(QRect, cell);
    const QString path = QStringLiteral(":/skin/") + image;
    const QImage plain(path);
    QWidget window;
    QPalette desk;
    desk.setColor(QPalette::Window, kDesk);
    window.setPalette(desk);
    window.setAutoFillBackground(true);
    auto* frame = new QFrame(&window);
    frame->setStyleSheet(SkinStyleSheet(QStringLiteral("QFrame { border-image: url(%1) %2 %3 %4 %5; }")
                                            .arg(path)
                                            .arg(cell.top())
                                            .arg(plain.width() - cell.right() - 1)
                                            .arg(plain.height() - cell.bottom() - 1)
                                            .arg(cell.left())));
    frame->setFixedSize(cell.size());
    window.resize(cell.size());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage drawn = window.grab().toImage();
    QCOMPARE(drawn.size(), cell.size() * 2);

    const QImage sharp = onDesk(QImage(sharpName(path)).copy(QRect(cell.topLeft() * 2, cell.size() * 2)));
    const QImage blurred = onDesk(plain.copy(cell).scaled(cell.size() * 2, Qt::IgnoreAspectRatio,
                                                          Qt::SmoothTransformation));
    const double drawnEdges = edgeEnergy(drawn), blurredEdges = edgeEnergy(blurred);
    QVERIFY2(meanDifference(drawn, sharp) < 2.0,
             qPrintable(QStringLiteral("drawn differs from %1 by %2 per channel")
                            .arg(sharpName(path))
                            .arg(meanDifference(drawn, sharp))));
    QVERIFY2(drawnEdges > 1.25 * blurredEdges,
             qPrintable(QStringLiteral("edge energy %1 drawn, %2 for the 1x image scaled up")
                            .arg(drawnEdges)
                            .arg(blurredEdges)));
}

void TestSkinHiDpi::widgetsLoadTheSharpForm() {
    const QPixmap info = LoadSkinPixmap(QStringLiteral(":/skin/info.png"));
    QCOMPARE(info.devicePixelRatio(), 2.0);
    QCOMPARE(info.size(), QImage(QStringLiteral(":/skin/info.png")).size() * 2);
    QCOMPARE(info.toImage(), QImage(QStringLiteral(":/skin/info@2x.png")).convertToFormat(info.toImage().format()));
    QVERIFY(LoadSkinPixmap(QStringLiteral(":/skin/no-such-image.png")).isNull());
}

void TestSkinHiDpi::slicesCountInTheDrawnImagesPixels_data() {
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QString>("expected");
    const QString strip = QStringLiteral("A { border-image: url(:/skin/close.png) 0 44 0 0; }");
    QTest::newRow("100 %") << strip << 1.0 << strip;
    QTest::newRow("150 %") << strip << 1.5
                           << "A { border-image: url(:/skin/close.png) 0 88 0 0; }";
    QTest::newRow("200 %") << strip << 2.0
                           << "A { border-image: url(:/skin/close.png) 0 88 0 0; }";
    QTest::newRow("several rules, other properties kept")
        << "A { margin: 3px; border-image: url(:/skin/min.png) 0 22 0 22; } "
           "B:hover { image: url(:/skin/max.png) 1 2 3 4 stretch; padding: 5px 6px; }"
        << 2.0
        << "A { margin: 3px; border-image: url(:/skin/min.png) 0 44 0 44; } "
           "B:hover { image: url(:/skin/max.png) 2 4 6 8 stretch; padding: 5px 6px; }";
    QTest::newRow("no slices") << "A { border-image:url(:/skin/info.png); }" << 2.0
                               << "A { border-image:url(:/skin/info.png); }";
    QTest::newRow("image without a sharp form")
        << "A { border-image: url(:/elsewhere/x.png) 0 44 0 0; }" << 2.0
        << "A { border-image: url(:/elsewhere/x.png) 0 44 0 0; }";
}

void TestSkinHiDpi::slicesCountInTheDrawnImagesPixels() {
    QFETCH(QString, sheet);
    QFETCH(qreal, ratio);
    QFETCH(QString, expected);
    QCOMPARE(ScaleSkinSlices(sheet, ratio), expected);
}

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    InitSkinResources();
    TestSkinHiDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "SkinHiDpiTest.moc"
