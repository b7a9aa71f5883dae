// Language choice from the locale name, and key look-up through the index
// and language file, against language folders built in a temporary dir.
#include "LanguageSrc.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

#include <new>

namespace {

// Writes `content` as UTF-8 into `path`, creating its folder.
void writeFile(const QString& path, const QString& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content.toUtf8());
}

// A language file whose MARKER text names the file, so a test sees which
// file was opened.
void writeLanguage(const QString& appDir, const QString& name) {
    writeFile(appDir + "/language/" + name + ".ini",
              "[text]\nMARKER=" + name + "\nGREETING=Привет, 设备 %1\n");
}

} // namespace

class TestLanguageSrc : public QObject {
    Q_OBJECT

private slots:
    void languageIdFromLocale_data();
    void languageIdFromLocale();
    void fallbackName_data();
    void fallbackName();
    void chosenFile_data();
    void chosenFile();
    void fallbackFollowsSystemLocale();
    void lookups_data();
    void lookups();
    void nonAsciiApplicationFolder();
    void missingLanguageFileGivesEmptyTexts();
    void secondInitReplacesFile();
    void lookupWhileClosedThrows();
};

void TestLanguageSrc::languageIdFromLocale_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<uint>("id");
    QTest::newRow("PRC") << "zh_CN" << 0x804u;
    QTest::newRow("Taiwan") << "zh_TW" << 0x404u;
    QTest::newRow("Hong Kong") << "zh_HK" << 0x404u;
    QTest::newRow("Singapore") << "zh_SG" << 0x404u;
    QTest::newRow("Macau is not listed") << "zh_MO" << 0x409u;
    QTest::newRow("bare zh") << "zh" << 0x409u;
    QTest::newRow("lower-case country") << "zh_cn" << 0x409u;
    QTest::newRow("Russia") << "ru_RU" << 0x419u;
    QTest::newRow("Russian in Ukraine") << "ru_UA" << 0x419u;
    QTest::newRow("ru_ anywhere") << "xx_ru_YY" << 0x419u;
    QTest::newRow("ru_ is case-sensitive") << "RU_RU" << 0x409u;
    QTest::newRow("country RU alone") << "be_RU" << 0x409u;
    QTest::newRow("British English") << "en_GB" << 0x409u;
    QTest::newRow("German") << "de_DE" << 0x409u;
    QTest::newRow("C locale") << "C" << 0x409u;
    QTest::newRow("empty") << "" << 0x409u;
}

void TestLanguageSrc::languageIdFromLocale() {
    QFETCH(QString, locale);
    QFETCH(uint, id);
    QCOMPARE(LanguageIdFromLocaleName(locale), id);
}

void TestLanguageSrc::fallbackName_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("name");
    QTest::newRow("PRC") << "zh_CN"
                         << "Chinese (PRC)";
    QTest::newRow("Taiwan falls back to English") << "zh_TW"
                                                  << "English (United States)";
    QTest::newRow("Russia") << "ru_RU"
                            << "English (United States)";
    QTest::newRow("empty") << ""
                           << "English (United States)";
}

void TestLanguageSrc::fallbackName() {
    QFETCH(QString, locale);
    QFETCH(QString, name);
    QCOMPARE(FallbackLanguageName(locale), name);
}

// Which file InitLanguage opens, by index content and identifier.
void TestLanguageSrc::chosenFile_data() {
    QTest::addColumn<QString>("index");
    QTest::addColumn<uint>("id");
    QTest::addColumn<QString>("expected");
    const QString full = "[languages]\n0x0409=US\n0x0804=PRC\n0x0404=Trad\n0x0419=RU\n";
    QTest::newRow("English") << full << 0x409u << "US";
    QTest::newRow("PRC") << full << 0x804u << "PRC";
    QTest::newRow("traditional") << full << 0x404u << "Trad";
    QTest::newRow("Russian") << full << 0x419u << "RU";
    QTest::newRow("hex digits are lower case and padded")
        << "[languages]\n0x0abc=Lower\n0x0ABC=Upper\n0xabc=Unpadded\n"
        << 0xabcu << "Lower";
    QTest::newRow("other group ignored") << "[text]\n0x0404=Trad\n" << 0x404u << "fallback";
    QTest::newRow("missing key") << "[languages]\n0x0409=US\n" << 0x404u << "fallback";
    QTest::newRow("no index") << QString() << 0x804u << "fallback";
}

void TestLanguageSrc::chosenFile() {
    QFETCH(QString, index);
    QFETCH(uint, id);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString fallback = FallbackLanguageName(QLocale::system().name());
    for (const char* name : {"US", "PRC", "Trad", "RU", "Lower", "Upper", "Unpadded"}) {
        writeLanguage(dir.path(), name);
    }
    writeLanguage(dir.path(), fallback);
    if (!index.isNull()) {
        writeFile(dir.path() + "/language/LanguageIndex.ini", index);
    }
    QVERIFY(InitLanguage(dir.path().toUtf8(), id));
    QCOMPARE(GetText("MARKER"), expected == "fallback" ? fallback : expected);
    ReleaseLanguage();
}

// CTest runs this binary under several LC_ALL values and names the file the
// fallback must pick in LORVEX_EXPECT_FALLBACK (the traditional-Chinese run
// expects English: only zh_CN falls back to Chinese).
void TestLanguageSrc::fallbackFollowsSystemLocale() {
    const QString expected = qEnvironmentVariable("LORVEX_EXPECT_FALLBACK");
    if (expected.isEmpty()) {
        QSKIP("LORVEX_EXPECT_FALLBACK not set");
    }
    QTemporaryDir dir;
    writeLanguage(dir.path(), "Chinese (PRC)");
    writeLanguage(dir.path(), "English (United States)");
    writeFile(dir.path() + "/language/LanguageIndex.ini", "[languages]\n");
    QVERIFY(InitLanguage(dir.path().toUtf8(), LanguageIdFromLocaleName(QLocale::system().name())));
    QCOMPARE(GetText("MARKER"), expected);
    ReleaseLanguage();
}

void TestLanguageSrc::lookups_data() {
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("null");
    QTest::addColumn<QString>("text");
    QTest::newRow("UTF-8 text with comma and placeholder")
        << QByteArray("GREETING") << false << QString::fromUtf8("Привет, 设备 %1");
    QTest::newRow("missing key") << QByteArray("ABSENT") << false << QString();
    QTest::newRow("empty key") << QByteArray("") << false << QString();
    QTest::newRow("null key") << QByteArray() << true << QString();
    QTest::newRow("group prefix is not part of the key")
        << QByteArray("text/MARKER") << false << QString();
}

void TestLanguageSrc::lookups() {
    QFETCH(QByteArray, key);
    QFETCH(bool, null);
    QFETCH(QString, text);
    QTemporaryDir dir;
    writeFile(dir.path() + "/language/LanguageIndex.ini", "[languages]\n0x0409=Quoted\n");
    writeFile(dir.path() + "/language/Quoted.ini",
              QString::fromUtf8("[text]\nMARKER=Quoted\nGREETING=\"Привет, 设备 %1\"\n"));
    InitLanguage(dir.path().toUtf8(), 0x409);
    QCOMPARE(GetText(null ? nullptr : key.constData()), text);
    ReleaseLanguage();
}

void TestLanguageSrc::nonAsciiApplicationFolder() {
    QTemporaryDir dir;
    const QString appDir = dir.path() + QString::fromUtf8("/Программы 设备/Lorvex");
    writeLanguage(appDir, "US");
    writeFile(appDir + "/language/LanguageIndex.ini", "[languages]\n0x0409=US\n");
    InitLanguage(appDir.toUtf8(), 0x409);
    QCOMPARE(GetText("MARKER"), QString("US"));
    ReleaseLanguage();
}

void TestLanguageSrc::missingLanguageFileGivesEmptyTexts() {
    QTemporaryDir dir;
    writeFile(dir.path() + "/language/LanguageIndex.ini", "[languages]\n0x0409=Gone\n");
    QVERIFY(InitLanguage(dir.path().toUtf8(), 0x409));
    QCOMPARE(GetText("MARKER"), QString());
    ReleaseLanguage();
}

void TestLanguageSrc::secondInitReplacesFile() {
    QTemporaryDir dir;
    writeLanguage(dir.path(), "US");
    writeLanguage(dir.path(), "RU");
    writeFile(dir.path() + "/language/LanguageIndex.ini", "[languages]\n0x0409=US\n0x0419=RU\n");
    InitLanguage(dir.path().toUtf8(), 0x409);
    InitLanguage(dir.path().toUtf8(), 0x419);
    QCOMPARE(GetText("MARKER"), QString("RU"));
    ReleaseLanguage();
}

void TestLanguageSrc::lookupWhileClosedThrows() {
    QVERIFY_EXCEPTION_THROWN(GetText("MARKER"), std::bad_alloc);
    QCOMPARE(GetText(""), QString());
}

QTEST_GUILESS_MAIN(TestLanguageSrc)
#include "LanguageSrcTest.moc"
