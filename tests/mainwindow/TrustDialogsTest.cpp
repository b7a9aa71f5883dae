// The identity dialogs driven through keys and clicks, the messages of the
// new outcomes, the setup code as the activation form reads it, and
// pictures of both dialogs in the language of the run.
#include "LanguageSrc.h"
#include "LorvexManage.h"
#include "MainWindowTestSupport.h"
#include "TrustDialogs.h"
#include "TrustMessages.h"
#include "ZVKPushButton.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using windowtest::applyLook;

namespace {

// A setup code whose check holds.
const char kCode[] = "7QX4-M2RT-VWQP";

// The picture of a dialog as the user sees it, per language, beside the test.
void grabWidget(QWidget* w, const QString& name) {
    const QString dir = QCoreApplication::applicationDirPath();
    const QString file =
        QStringLiteral("%1/trust-%2-%3.png").arg(dir, name, QLocale::system().name());
    QVERIFY(w->grab().save(file));
}

} // namespace

class TestTrustDialogs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void outcomeMessages_data();
    void outcomeMessages();
    void lockedTextNamesTheSeconds();
    void setupCodeEntries_data();
    void setupCodeEntries();
    void activationFormFollowsTheRuleWhileTyping();
    void codeFieldRefusesWhatNoCodeHolds();
    void keyConfirmationNeedsAnExplicitYes();
    void weakPasswordNamesItsRule_data();
    void weakPasswordNamesItsRule();
};

void TestTrustDialogs::initTestCase() {
    applyLook();
    g_languageId = LanguageIdFromLocaleName(QLocale::system().name());
    InitLanguage(QCoreApplication::applicationDirPath().toUtf8(), g_languageId);
}

void TestTrustDialogs::outcomeMessages_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("key");
    QTest::newRow("not verified") << int{CLorvexManage::SETNET_UNVERIFIED}
                                  << "IDCS_IDENTITY_NOT_VERIFIED";
    QTest::newRow("conflict") << int{CLorvexManage::SETNET_CONFLICT} << "IDCS_IDENTITY_CONFLICT";
    QTest::newRow("locked") << int{CLorvexManage::SETNET_LOCKED} << "IDCS_DEVICE_LOCKED_D";
    QTest::newRow("not activated")
        << int{CLorvexManage::SETNET_NOT_ACTIVATED} << "IDCS_DEVICE_NOT_ACTIVATED";
    QTest::newRow("no press") << int{CLorvexManage::SETNET_NO_PRESENCE}
                              << "IDCS_RESET_BUTTON_NOT_PRESSED";
    QTest::newRow("weak") << int{CLorvexManage::SETNET_WEAK_PASSWORD} << "IDCS_PASSWORD_TOO_WEAK";
    QTest::newRow("active") << int{CLorvexManage::SETNET_ALREADY_ACTIVE}
                            << "IDCS_DEVICE_ALREADY_ACTIVATED";
    QTest::newRow("code wrong") << int{CLorvexManage::SETNET_SETUP_CODE_WRONG}
                                << "IDCS_SETUP_CODE_WRONG";
}

// Each outcome has its own text, through the set-ip box as well, and the
// restore refusal for want of the button is not a plain failure.
void TestTrustDialogs::outcomeMessages() {
    QFETCH(int, code);
    QFETCH(QString, key);
    QCOMPARE(QString::fromLatin1(SetNetParamMessage(code).key), key);
    QVERIFY(!GetText(key.toLatin1()).isEmpty());
    QCOMPARE(QString::fromLatin1(ActivateOutcomeMessage(code).key), key);
    QCOMPARE(QString::fromLatin1(RestoreOutcomeMessage(CLorvexManage::SETNET_NO_PRESENCE).key),
             QStringLiteral("IDCS_RESET_BUTTON_NOT_PRESSED"));
    QCOMPARE(QString::fromLatin1(RestoreOutcomeMessage(CLorvexManage::SETNET_NO_ANSWER).key),
             QStringLiteral("IDCS_RESTORE_DEVICE_PASSWORD_ERROR"));
}

void TestTrustDialogs::lockedTextNamesTheSeconds() {
    const QString text = OutcomeText(TrustOutcomeMessage(CLorvexManage::SETNET_LOCKED), 240);
    QVERIFY2(text.contains(QStringLiteral("240")), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("%1")));
}

void TestTrustDialogs::setupCodeEntries_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("canonical");
    const int refused = int(CodeEntry::Refused), partial = int(CodeEntry::Partial),
              mistyped = int(CodeEntry::Mistyped), other = int(CodeEntry::OtherDevice),
              complete = int(CodeEntry::Complete);
    QTest::newRow("empty") << "" << partial << "";
    QTest::newRow("as printed") << "7QX4-M2RT-VWQP" << complete << kCode;
    QTest::newRow("lower case, spaces") << "7qx4 m2rt vwqp" << complete << kCode;
    QTest::newRow("look-alikes") << "oL23-4567-89FD" << complete << "0123-4567-89FD";
    QTest::newRow("partial") << "7QX4-M2" << partial << "";
    QTest::newRow("mistyped") << "7QX4-M2RT-VWQR" << mistyped << "";
    QTest::newRow("thirteen") << "7QX4-M2RT-VWQPA" << refused << "";
    QTest::newRow("letter U") << "7QX4-U" << refused << "";
    QTest::newRow("punctuation") << "7QX4_" << refused << "";
    QTest::newRow("scanned label") << "02:4C:56:00:00:05,7QX4-M2RT-VWQP" << complete << kCode;
    QTest::newRow("scanning") << "02:4C:56:0" << partial << "";
    QTest::newRow("scanned, code partial") << "02:4C:56:00:00:05,7QX4" << partial << "";
    QTest::newRow("another device's label") << "02:4C:56:00:00:06,7QX4-M2RT-VWQP" << other << "";
    QTest::newRow("label MAC cut short") << "02:4C:56:00:00,7QX4-M2RT-VWQP" << mistyped << "";
    QTest::newRow("not hex") << "02:4G" << refused << "";
}

// What the field shows while a code is typed or scanned: only a complete
// code of this device gives one to send.
void TestTrustDialogs::setupCodeEntries() {
    QFETCH(QString, typed);
    QFETCH(int, entry);
    QFETCH(QString, canonical);
    std::string out;
    QCOMPARE(int(ReadCodeEntry(typed, QStringLiteral("02:4C:56:00:00:05"), &out)), entry);
    QCOMPARE(QString::fromStdString(out), canonical);
    const char* key = CodeEntryKey(CodeEntry(entry));
    if (key != nullptr)
        QVERIFY(!GetText(key).isEmpty());
}

void TestTrustDialogs::activationFormFollowsTheRuleWhileTyping() {
    ActivateDialog form(QStringLiteral("02:4C:56:00:00:05"), QStringLiteral("DEC16-5"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* code = form.findChild<QLineEdit*>(QStringLiteral("setupCodeField"));
    QVERIFY(code);
    QCOMPARE(code->placeholderText(), QStringLiteral("XXXX-XXXX-XXXX"));
    auto* password = form.findChild<QLineEdit*>(QStringLiteral("passwordField"));
    auto* repeat = form.findChild<QLineEdit*>(QStringLiteral("repeatField"));
    auto* verdict = form.findChild<QLabel*>(QStringLiteral("verdict"));
    auto* ok = form.findChild<ZVKPushButton*>(QStringLiteral("okButton"));
    QVERIFY(password && repeat && verdict && ok);
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    auto* rule = form.findChild<QLabel*>(QStringLiteral("rule"));
    QVERIFY(rule && rule->isVisible());
    QCOMPARE(rule->text(), GetText("IDCS_PASSWORD_RULE"));
    QVERIFY(verdict->text().isEmpty());
    QVERIFY(!ok->isEnabled());
    QTest::keyClicks(password, QStringLiteral("camera"));
    QCOMPARE(verdict->text(), GetText("IDCS_PASSWORD_WEAK_LENGTH"));
    QTest::keyClicks(password, QStringLiteral("-Door7"));
    QCOMPARE(verdict->text(), GetText("IDCS_PASSWORD_MISMATCH"));
    QVERIFY(!ok->isEnabled());
    grabWidget(&form, QStringLiteral("activate-typing"));
    QTest::keyClicks(repeat, QStringLiteral("camera-Door7"));
    QCOMPARE(verdict->text(), GetText("IDCS_PASSWORD_RULE_MET"));
    // The password alone is not enough: the device needs its code.
    QVERIFY(!ok->isEnabled());
    QTest::keyClicks(code, QStringLiteral("7qx4 m2rt vwqr"));
    QCOMPARE(code->text(), QStringLiteral("7QX4 M2RT VWQR")); // shown as the label prints it
    QCOMPARE(form.findChild<QLabel*>(QStringLiteral("codeVerdict"))->text(),
             GetText("IDCS_SETUP_CODE_MISTYPED"));
    QVERIFY(!ok->isEnabled());
    grabWidget(&form, QStringLiteral("activate-mistyped"));
    QTest::keyClick(code, Qt::Key_Backspace);
    QTest::keyClick(code, Qt::Key_P);
    QVERIFY(form.findChild<QLabel*>(QStringLiteral("codeVerdict"))->text().isEmpty());
    QVERIFY(ok->isEnabled());
    grabWidget(&form, QStringLiteral("activate-ready"));
    QSignalSpy accepted(&form, SIGNAL(accepted()));
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(form.password(), QStringLiteral("camera-Door7"));
    QCOMPARE(QString::fromStdString(form.setupCode()), QLatin1String(kCode));
    form.clearPassword();
    QVERIFY(form.password().isEmpty());
    QVERIFY(form.setupCode().empty());
    QVERIFY(code->text().isEmpty());
}

// Keys no code holds change nothing, and the field says why; a scanner's
// label text of another device is refused by name.
void TestTrustDialogs::codeFieldRefusesWhatNoCodeHolds() {
    ActivateDialog form(QStringLiteral("02:4C:56:00:00:05"), QStringLiteral("DEC16-5"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* code = form.findChild<QLineEdit*>(QStringLiteral("setupCodeField"));
    auto* codeVerdict = form.findChild<QLabel*>(QStringLiteral("codeVerdict"));
    QTest::keyClicks(code, QStringLiteral("7QX4"));
    const QString sheet = code->styleSheet();
    QTest::keyClicks(code, QStringLiteral("U!"));
    QCOMPARE(code->text(), QStringLiteral("7QX4"));
    QCOMPARE(codeVerdict->text(), GetText("IDCS_SETUP_CODE_KEY_REFUSED"));
    QVERIFY(code->styleSheet() != sheet);
    grabWidget(&form, QStringLiteral("activate-refused"));
    code->clear();
    QTest::keyClicks(code, QStringLiteral("02:4C:56:00:00:06,7QX4-M2RT-VWQP"));
    QCOMPARE(codeVerdict->text(), GetText("IDCS_SETUP_CODE_OTHER_DEVICE"));
    QVERIFY(form.setupCode().empty());
}

void TestTrustDialogs::keyConfirmationNeedsAnExplicitYes() {
    const QString fingerprint = QStringLiteral("A768:A7AE:E291:D471:49C5:0DAD:9CC9:B45F");
    KeyConfirmDialog box(QStringLiteral("02:4C:56:00:00:05"), fingerprint);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    auto* shown = box.findChild<QLabel*>(QStringLiteral("fingerprint"));
    QVERIFY(shown);
    QCOMPARE(shown->text(), fingerprint);
    QCOMPARE(shown->textFormat(), Qt::PlainText);
    grabWidget(&box, QStringLiteral("key-confirm"));
    QSignalSpy rejected(&box, SIGNAL(rejected()));
    QTest::keyClick(&box, Qt::Key_Return); // the default is No
    QCOMPARE(rejected.count(), 1);
    box.show();
    QSignalSpy accepted(&box, SIGNAL(accepted()));
    QTest::mouseClick(box.findChild<ZVKPushButton*>(QStringLiteral("yesButton")), Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);
}

void TestTrustDialogs::weakPasswordNamesItsRule_data() {
    const QString device = QStringLiteral("Gate-North1 (02:4C:56:00:00:05)");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("digits only") << "12345678" << GetText("IDCS_PASSWORD_WEAK_CLASSES");
    QTest::newRow("too short") << "Ab1-x" << GetText("IDCS_PASSWORD_WEAK_LENGTH");
    QTest::newRow("too long") << QString(65, QLatin1Char('a')) + "1"
                              << GetText("IDCS_PASSWORD_WEAK_LENGTH");
    QTest::newRow("the MAC") << "024c56000005" << GetText("IDCS_PASSWORD_WEAK_MAC_D").arg(device);
    QTest::newRow("the name") << "gate-north1" << GetText("IDCS_PASSWORD_WEAK_NAME_D").arg(device);
    QTest::newRow("good, not repeated") << "Gate-2026a" << GetText("IDCS_PASSWORD_MISMATCH");
}

// "Too weak" says which rule the password breaks, for the device the form
// is for, and for the one device of a batch whose MAC or name it is.
void TestTrustDialogs::weakPasswordNamesItsRule() {
    QFETCH(QString, password);
    QFETCH(QString, verdict);
    ActivateDialog form(QStringLiteral("02:4C:56:00:00:05"), QStringLiteral("Gate-North1"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::keyClicks(form.findChild<QLineEdit*>(QStringLiteral("passwordField")), password);
    QCOMPARE(form.findChild<QLabel*>(QStringLiteral("verdict"))->text(), verdict);
    SEARCH_INFO other = windowtest::record(SEARCH_EVENT_NEW, "02:4C:56:00:00:09", "10.0.0.9");
    SEARCH_INFO gate = windowtest::record(SEARCH_EVENT_NEW, "02:4C:56:00:00:05", "10.0.0.5");
    windowtest::put(gate.devName, "Gate-North1");
    other.deviceActivated = gate.deviceActivated = 1;
    if (verdict != GetText("IDCS_PASSWORD_MISMATCH"))
        QCOMPARE(ActivationVerdictText("IDCS_PASSWORD_TOO_WEAK", password, {other, gate}), verdict);
}

QTEST_MAIN(TestTrustDialogs)
#include "TrustDialogsTest.moc"
