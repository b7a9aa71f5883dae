// The site report from the real window, in a private network with six
// simulated devices: the row menu's entry asks the site's name and the
// file, writes the page and the CSV in the window's language with one row
// per device, the site's name escaped, and says where; a file that cannot
// be written is said so. Keeps the page as shots/<locale>/site-report.html
// to look at.
#include "BoxDriver.h"
#include "DevInfo.h"
#include "LanguageSrc.h"
#include "MainWindow.h"
#include "MainWindowTestSupport.h"
#include "VistaTreeWidget.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QInputDialog>
#include <QLocale>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace windowtest;

class TestMainWindowReport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        REQUIRE_PRIVATE_NETWORK();
        applyLook();
    }
    void menuEntryWritesTheReport();
};

namespace {

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Answers the site name box, then the file box, as the installer would.
void answerBoxes(const QString& site, const QString& path) {
    QTimer::singleShot(20, [site, path] {
        auto* ask = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (ask == nullptr)
            return answerBoxes(site, path); // not up yet
        ask->setTextValue(site);
        ask->accept();
        answerFileBox(path);
    });
}

} // namespace

void TestMainWindowReport::menuEntryWritesTheReport() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE_WITH_TIMEOUT(window.onlineCount(), 6, 15000);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("site.html"));
    auto* tree = window.findChild<VistaTreeWidget*>(QStringLiteral("deviceTree"));
    QVERIFY(tree != nullptr);
    std::unique_ptr<QMenu> menu(window.rowMenu(tree->topLevelItem(0)));
    QAction* entry = menu->findChild<QAction*>(QStringLiteral("siteReportAction"));
    QVERIFY(entry != nullptr);
    QCOMPARE(entry->text(), GetText("IDCS_SITE_REPORT_MENU"));
    BoxDriver boxes;
    answerBoxes(QStringLiteral("Depot <7> & \"North\""), path);
    entry->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, 10000);
    const QString csvPath = folder.filePath(QStringLiteral("site.csv"));
    QCOMPARE(boxes.seen().text, GetText("IDCS_SITE_REPORT_WRITTEN_D").arg(path, csvPath));

    const QString page = readAll(path), csv = readAll(csvPath);
    QVERIFY(page.contains(GetText("IDCS_SITE_REPORT_TITLE")));
    QVERIFY(page.contains(QStringLiteral("Depot &lt;7&gt; &amp; &quot;North&quot;")));
    QVERIFY(!page.contains(QStringLiteral("<7>")));
    QVERIFY(csv.startsWith(GetText("IDCS_DEVICE_NAME") + QLatin1Char(',')));
    QCOMPARE(csv.count(QLatin1Char('\n')), 7);
    // Each maker's device's clock offset as its answers tell it; nothing
    // for a camera whose clock the window never read.
    for (const DevInfo* device : window.deviceList()) {
        QVERIFY2(page.contains(device->mac), qPrintable(device->mac));
        const QString line = csv.mid(csv.indexOf(device->mac)).section(QLatin1Char('\n'), 0, 0);
        const QStringList cells = line.trimmed().split(QLatin1Char(','));
        QCOMPARE(cells.size() > 2 && !cells.at(cells.size() - 2).isEmpty(), !device->isCamera());
    }

    const QString shots =
        QCoreApplication::applicationDirPath() + "/shots/" + QLocale::system().name();
    QDir().mkpath(shots);
    QFile::remove(shots + "/site-report.html");
    QVERIFY(QFile::copy(path, shots + "/site-report.html"));

    QString error;
    QVERIFY(!window.writeSiteReport(folder.filePath(QStringLiteral("gone/site.html")),
                                    QStringLiteral("x"), &error));
    QVERIFY(error.contains(QStringLiteral("gone/site.html")));
}

QTEST_MAIN(TestMainWindowReport)
#include "MainWindowReportTest.moc"
