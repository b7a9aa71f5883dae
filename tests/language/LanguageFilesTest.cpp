// The shipped language files, as copied beside this executable by the
// build: every key the program asks for has a text in every language.
#include "LanguageSrc.h"
#include "RequiredKeys.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTextCodec>
#include <QtTest>

namespace {

const QStringList kLanguageIds = {"0x0409", "0x0804", "0x0404", "0x0419"};

QString languageDir() { return QCoreApplication::applicationDirPath() + "/language"; }

// Every IDCS_ literal in the C++ sources of the tree; build folders and
// hidden folders are skipped. A key that ends in "_" is a prefix the code
// completes at run time, not a key.
QSet<QString> keysInSources() {
    const QString root = QStringLiteral(LORVEX_SOURCE_DIR);
    const QRegularExpression keyPattern("\\bIDCS_[A-Z0-9_]*[A-Z0-9]\\b");
    QSet<QString> keys;
    QDirIterator it(root, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString top = path.mid(root.size() + 1).section('/', 0, 0);
        if (top.startsWith("build") || top.startsWith('.')) {
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        auto matches = keyPattern.globalMatch(QString::fromUtf8(file.readAll()));
        while (matches.hasNext()) {
            keys.insert(matches.next().captured());
        }
    }
    return keys;
}

QStringList requiredKeys() {
    QSet<QString> keys = keysInSources();
    for (const char* key : kRequiredKeys) {
        keys.insert(QString::fromLatin1(key));
    }
    QStringList sorted = keys.values();
    sorted.sort();
    return sorted;
}

QString languageName(const QString& id) {
    QSettings index(languageDir() + "/LanguageIndex.ini", QSettings::IniFormat);
    index.setIniCodec("UTF-8");
    return index.value("languages/" + id).toString();
}

void addLanguageRows() {
    QTest::addColumn<QString>("name");
    for (const QString& id : kLanguageIds) {
        QTest::newRow(qPrintable(id)) << languageName(id);
    }
}

QSettings* openLanguage(const QString& name) {
    auto* settings = new QSettings(languageDir() + "/" + name + ".ini", QSettings::IniFormat);
    settings->setIniCodec("UTF-8");
    settings->beginGroup("text");
    return settings;
}

} // namespace

class TestLanguageFiles : public QObject {
    Q_OBJECT

private slots:
    void indexNamesAnExistingFilePerLanguage_data() { addLanguageRows(); }
    void indexNamesAnExistingFilePerLanguage();
    void fallbackFilesExist();
    void filesAreValidUtf8_data() { addLanguageRows(); }
    void filesAreValidUtf8();
    void everyRequiredKeyHasPlainText_data() { addLanguageRows(); }
    void everyRequiredKeyHasPlainText();
    void placeholderKeysHoldPercentOne_data() { addLanguageRows(); }
    void placeholderKeysHoldPercentOne();
    void languagesHoldTheSameKeys_data() { addLanguageRows(); }
    void languagesHoldTheSameKeys();
    void lookupThroughModule();
};

void TestLanguageFiles::indexNamesAnExistingFilePerLanguage() {
    QFETCH(QString, name);
    QVERIFY2(!name.isEmpty(), "index entry missing");
    QVERIFY2(QFile::exists(languageDir() + "/" + name + ".ini"), qPrintable(name));
}

void TestLanguageFiles::fallbackFilesExist() {
    for (const char* locale : {"zh_CN", "en_US"}) {
        const QString name = FallbackLanguageName(locale);
        QVERIFY2(QFile::exists(languageDir() + "/" + name + ".ini"), qPrintable(name));
    }
}

void TestLanguageFiles::filesAreValidUtf8() {
    QFETCH(QString, name);
    const QStringList files = {name + ".ini", "LanguageIndex.ini"};
    for (const QString& file : files) {
        QFile f(languageDir() + "/" + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QTextCodec::ConverterState state;
        QTextCodec::codecForName("UTF-8")->toUnicode(f.readAll(), int(f.size()), &state);
        QVERIFY2(state.invalidChars == 0, qPrintable(file));
    }
}

// A value with an unquoted comma reads back as a list and would show as
// nothing, so the type is checked as well as the content.
void TestLanguageFiles::everyRequiredKeyHasPlainText() {
    QFETCH(QString, name);
    QScopedPointer<QSettings> settings(openLanguage(name));
    QStringList missing;
    QStringList notText;
    for (const QString& key : requiredKeys()) {
        const QVariant value = settings->value(key);
        if (value.isValid() && value.type() != QVariant::String) {
            notText << key;
        } else if (value.toString().trimmed().isEmpty()) {
            missing << key;
        }
    }
    QVERIFY2(missing.isEmpty(), qPrintable("missing in " + name + ": " + missing.join(", ")));
    QVERIFY2(notText.isEmpty(),
             qPrintable("read as a list in " + name + " (quote it): " + notText.join(", ")));
}

void TestLanguageFiles::placeholderKeysHoldPercentOne() {
    QFETCH(QString, name);
    QScopedPointer<QSettings> settings(openLanguage(name));
    for (const QString& key : settings->childKeys()) {
        const QString text = settings->value(key).toString();
        if (key.endsWith("_D")) {
            QVERIFY2(text.contains("%1"), qPrintable(key));
        } else {
            QVERIFY2(!text.contains(QRegularExpression("%[1-9]")), qPrintable(key));
        }
    }
    for (const char* key : kPlaceholderKeys) {
        QVERIFY2(settings->value(key).toString().contains("%1"), key);
    }
}

void TestLanguageFiles::languagesHoldTheSameKeys() {
    QFETCH(QString, name);
    QScopedPointer<QSettings> english(openLanguage(FallbackLanguageName("en_US")));
    QScopedPointer<QSettings> settings(openLanguage(name));
    QStringList keys = settings->childKeys();
    QStringList reference = english->childKeys();
    keys.sort();
    reference.sort();
    QCOMPARE(keys, reference);
}

// The module itself, reading the copied files the way the program does.
void TestLanguageFiles::lookupThroughModule() {
    const QByteArray appDir = QCoreApplication::applicationDirPath().toUtf8();
    InitLanguage(appDir, 0x409);
    QCOMPARE(GetText("IDCS_OK"), QString("OK"));
    ReleaseLanguage();
    InitLanguage(appDir, 0x804);
    QCOMPARE(GetText("IDCS_CANCEL"), QString::fromUtf8("取消"));
    ReleaseLanguage();
    InitLanguage(appDir, 0x404);
    QCOMPARE(GetText("IDCS_SAVE"), QString::fromUtf8("儲存"));
    ReleaseLanguage();
    InitLanguage(appDir, 0x419);
    QCOMPARE(GetText("IDCS_DEVICE_ONLINE_NUM_D").arg(3), QString::fromUtf8("Устройств в сети: 3"));
    ReleaseLanguage();
}

QTEST_GUILESS_MAIN(TestLanguageFiles)
#include "LanguageFilesTest.moc"
