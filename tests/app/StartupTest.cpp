// The start-up steps main() runs before the main window exists.
#include "Startup.h"

#include "SkinResources.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QMetaType>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <vector>

namespace {

// Carries a tuint_ptr through a queued call, as the window's cross-thread
// calls do.
class Carrier : public QObject {
    Q_OBJECT
signals:
    void sent(tuint_ptr value);
public slots:
    void take(tuint_ptr value) { received = value; }

public:
    tuint_ptr received = 0;
};

const char* const kIntegerNames[] = {"tuint16", "tint16", "tuint32",   "tint32",
                                     "tuint64", "tint64", "tuint_ptr", "tint_ptr"};

// What a shown box looked like, read while it was up.
struct BoxSeen {
    bool found = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title, text;
    QMessageBox::StandardButtons buttons;
    bool hasDefault = true;
    bool hasParent = true;
};

// Reads and closes the modal box as soon as its event loop runs.
void inspectNextBox(BoxSeen& seen) {
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            return;
        }
        seen = {true,
                box->icon(),
                box->windowTitle(),
                box->text(),
                box->standardButtons(),
                box->defaultButton() != nullptr,
                box->parentWidget() != nullptr};
        box->done(QMessageBox::Ok);
    });
}

// Closes whatever box is still up after a time-out, so that a broken hook
// fails the test instead of hanging it. Ends with its scope.
class BoxGuard {
public:
    explicit BoxGuard(int ms) {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                fired = true;
                box->close();
            }
        });
        m_timer.start(ms);
    }
    bool fired = false;

private:
    QTimer m_timer;
};

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void integerNamesUnknownUntilRegistered();
    void integerNamesAliasTheirWidths_data();
    void integerNamesAliasTheirWidths();
    void integerNamesTravelInQueuedCalls();
    void pluginPath_data();
    void pluginPath();
    void pluginPathIsAddedToLibraryPaths();
    void styleSheetReadsAsLatin1_data();
    void styleSheetReadsAsLatin1();
    void skinStyleSheetIsInstalled();
    void alreadyRunningBoxIsStandardCritical();
    void alreadyRunningBoxClosesItselfUnderTestHook();
    void programOptions_data();
    void programOptions();
};

void StartupTest::integerNamesUnknownUntilRegistered() {
    for (const char* name : kIntegerNames) {
        QVERIFY2(QMetaType::type(name) == QMetaType::UnknownType, name);
    }
    RegisterIntegerTypes();
    RegisterIntegerTypes();
    for (const char* name : kIntegerNames) {
        QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);
    }
}

void StartupTest::integerNamesAliasTheirWidths_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::newRow("tuint16") << QByteArray("tuint16") << int(QMetaType::UShort) << 2;
    QTest::newRow("tint16") << QByteArray("tint16") << int(QMetaType::Short) << 2;
    QTest::newRow("tuint32") << QByteArray("tuint32") << int(QMetaType::UInt) << 4;
    QTest::newRow("tint32") << QByteArray("tint32") << int(QMetaType::Int) << 4;
    QTest::newRow("tuint64") << QByteArray("tuint64") << int(QMetaType::ULongLong) << 8;
    QTest::newRow("tint64") << QByteArray("tint64") << int(QMetaType::LongLong) << 8;
    // The 32-bit target's pointer width, also on this 64-bit host.
    QTest::newRow("tuint_ptr") << QByteArray("tuint_ptr") << int(QMetaType::UInt) << 4;
    QTest::newRow("tint_ptr") << QByteArray("tint_ptr") << int(QMetaType::Int) << 4;
}

void StartupTest::integerNamesAliasTheirWidths() {
    QFETCH(QByteArray, name);
    QFETCH(int, type);
    QFETCH(int, size);
    RegisterIntegerTypes();
    QCOMPARE(QMetaType::type(name), type);
    QCOMPARE(QMetaType::sizeOf(QMetaType::type(name)), size);
}

void StartupTest::integerNamesTravelInQueuedCalls() {
    RegisterIntegerTypes();
    Carrier carrier;
    QVERIFY(QObject::connect(&carrier, SIGNAL(sent(tuint_ptr)), &carrier, SLOT(take(tuint_ptr)),
                             Qt::QueuedConnection));
    emit carrier.sent(0xFFFFFFFFu);
    QTRY_COMPARE(carrier.received, tuint_ptr(0xFFFFFFFFu));
}

void StartupTest::pluginPath_data() {
    QTest::addColumn<QStringList>("folders"); // made under a temporary root
    QTest::addColumn<QString>("applicationDir");
    QTest::addColumn<QString>("expected"); // "@" stands for the root
    QTest::newRow("plugins beside the program's folder") << QStringList{"bin", "plugins"} << "@/bin"
                                                         << "@/plugins";
    QTest::newRow("no plugins folder: the parent") << QStringList{"bin"} << "@/bin"
                                                   << "@";
    QTest::newRow("plugins inside the program's folder does not count")
        << QStringList{"bin/plugins"} << "@/bin"
        << "@";
    QTest::newRow("trailing separator") << QStringList{"bin", "plugins"} << "@/bin/"
                                        << "@/plugins";
    QTest::newRow("filesystem root: no parent") << QStringList() << "/"
                                                << "/";
}

void StartupTest::pluginPath() {
    QFETCH(QStringList, folders);
    QFETCH(QString, applicationDir);
    QFETCH(QString, expected);
    QTemporaryDir root;
    for (const QString& folder : folders) {
        QVERIFY(QDir(root.path()).mkpath(folder));
    }
    const QString at = QDir(root.path()).canonicalPath();
    const QString result = PluginPathFor(applicationDir.replace('@', at));
    QVERIFY(QDir::isAbsolutePath(result));
    if (expected == QLatin1String("/") && QFileInfo::exists("/plugins")) {
        QSKIP("this machine has a /plugins folder");
    }
    QCOMPARE(QDir(result).canonicalPath(), QDir(expected.replace('@', at)).canonicalPath());
}

void StartupTest::pluginPathIsAddedToLibraryPaths() {
    const QString expected = PluginPathFor(QCoreApplication::applicationDirPath());
    AddPluginPath();
    QVERIFY2(QCoreApplication::libraryPaths().contains(expected),
             qPrintable(QCoreApplication::libraryPaths().join(' ')));
}

void StartupTest::styleSheetReadsAsLatin1_data() {
    QTest::addColumn<QByteArray>("bytes"); // empty: no file at all
    QTest::addColumn<QString>("expected");
    QTest::newRow("ASCII") << QByteArray("QLabel { color: red; }") << "QLabel { color: red; }";
    QTest::newRow("byte above ASCII in a comment")
        << QByteArray("/* caf\xe9 */ a{}") << QString::fromUtf8("/* café */ a{}");
    QTest::newRow("UTF-8 bytes stay bytes")
        << QByteArray("/* \xc3\xa9 */") << QString::fromUtf8("/* Ã© */");
    QTest::newRow("missing file") << QByteArray() << QString();
}

void StartupTest::styleSheetReadsAsLatin1() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath("sheet.css");
    if (!bytes.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QCOMPARE(ReadStyleSheet(path), expected);
}

void StartupTest::skinStyleSheetIsInstalled() {
    InitSkinResources();
    const QString sheet = ReadStyleSheet(QString::fromLatin1(kStyleSheetResource));
    QVERIFY(sheet.contains("ZVK"));
    InstallStyleSheet();
    QCOMPARE(qApp->styleSheet(), sheet);
}

void StartupTest::alreadyRunningBoxIsStandardCritical() {
    qunsetenv("LORVEX_TEST_CLOSE_BOXES");
    BoxSeen seen;
    BoxGuard guard(10000);
    inspectNextBox(seen);
    ShowAlreadyRunningBox();
    QVERIFY(seen.found);
    QVERIFY(!guard.fired);
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.title, QStringLiteral("error"));
    QCOMPARE(seen.text, QStringLiteral("Lorvex is already running"));
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!seen.hasDefault);
    QVERIFY(!seen.hasParent);
}

void StartupTest::alreadyRunningBoxClosesItselfUnderTestHook() {
    qputenv("LORVEX_TEST_CLOSE_BOXES", "1");
    BoxGuard guard(10000);
    ShowAlreadyRunningBox();
    qunsetenv("LORVEX_TEST_CLOSE_BOXES");
    QVERIFY(!guard.fired);
}

// The program's own options; everything else is left to Qt.
void StartupTest::programOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("version");
    QTest::addColumn<bool>("help");
    QTest::addColumn<QString>("screenshot");
    QTest::addColumn<bool>("error");
    QTest::newRow("none") << QStringList() << false << false << "" << false;
    QTest::newRow("version") << QStringList{"--version"} << true << false << "" << false;
    QTest::newRow("help") << QStringList{"--help"} << false << true << "" << false;
    QTest::newRow("-h") << QStringList{"-h"} << false << true << "" << false;
    QTest::newRow("screenshot") << QStringList{"--screenshot", "/tmp/w.png"} << false << false
                                << "/tmp/w.png" << false;
    QTest::newRow("screenshot among Qt's options")
        << QStringList{"-style", "fusion", "--screenshot", "w.png", "-platform", "offscreen"}
        << false << false << "w.png" << false;
    QTest::newRow("screenshot without a file") << QStringList{"--screenshot"} << false << false
                                               << "" << true;
    QTest::newRow("screenshot with an empty file")
        << QStringList{"--screenshot", ""} << false << false << "" << true;
    QTest::newRow("a value that looks like ours is a value")
        << QStringList{"--screenshot", "--version"} << false << false << "--version" << false;
    QTest::newRow("Qt's options alone") << QStringList{"-platform", "xcb"} << false << false << ""
                                        << false;
}

void StartupTest::programOptions() {
    QFETCH(QStringList, args);
    QFETCH(bool, version);
    QFETCH(bool, help);
    QFETCH(QString, screenshot);
    QFETCH(bool, error);
    std::vector<QByteArray> bytes{QByteArray("lorvex")};
    for (const QString& a : args)
        bytes.push_back(a.toUtf8());
    std::vector<const char*> argv;
    for (const QByteArray& b : bytes)
        argv.push_back(b.constData());
    argv.push_back(nullptr);
    const ProgramOptions o = ParseProgramOptions(int(bytes.size()), argv.data());
    QCOMPARE(o.version, version);
    QCOMPARE(o.help, help);
    QCOMPARE(QString::fromStdString(o.screenshot), screenshot);
    QCOMPARE(!o.error.empty(), error);
}

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
