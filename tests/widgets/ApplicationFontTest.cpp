#include "ApplicationFont.h"
#include "WidgetTestSupport.h"

#include <QFontDatabase>
#include <QFontInfo>

using namespace widgettest;

class TestApplicationFont : public QObject {
    Q_OBJECT
private slots:
    void familyResolvesToAStandIn();
    void installingTwiceKeepsOneList();
};

void TestApplicationFont::familyResolvesToAStandIn() {
    const QStringList standIns = ApplicationFontSubstitutes();
    QStringList installed;
    for (const QString& family : standIns) {
        if (QFontDatabase().hasFamily(family))
            installed << family;
    }
    if (installed.isEmpty())
        QSKIP("none of the stand-in faces is installed (fonts-wqy-microhei, fonts-noto-cjk)");
    InstallApplicationFontSubstitutes();
    const QFont font = ApplicationFont();
    QCOMPARE(font.pixelSize(), kApplicationFontPixelSize);
    const QString resolved = QFontInfo(font).family();
    QVERIFY2(standIns.contains(resolved), qPrintable(resolved));
    // The first installed stand-in wins: its widths are the ones looked at.
    QCOMPARE(resolved, installed.first());
}

void TestApplicationFont::installingTwiceKeepsOneList() {
    InstallApplicationFontSubstitutes();
    InstallApplicationFontSubstitutes();
    // Qt keeps the substitutes in lower case.
    QStringList expected;
    for (const QString& family : ApplicationFontSubstitutes())
        expected << family.toLower();
    QCOMPARE(QFont::substitutes(QString::fromLatin1(kApplicationFontFamily)), expected);
}

QTEST_MAIN(TestApplicationFont)
#include "ApplicationFontTest.moc"
