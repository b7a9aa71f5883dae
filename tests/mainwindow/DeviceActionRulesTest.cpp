// The control bar's form checks and the message for every request outcome.
#include "DeviceActionRules.h"
#include "ActionMessageBox.h"

#include "DevInfo.h"
#include "LanguageSrc.h"

#include <QSet>
#include <QTest>
#include <QTextBoundaryFinder>

Q_DECLARE_METATYPE(BoxKind)

class TestDeviceActionRules : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void dottedQuad_data();
    void dottedQuad();
    void networkForm_data();
    void networkForm();
    void restoreForm();
    void setNetParamMessage_data();
    void setNetParamMessage();
    void outcomeTextsDiffer();
    void readdressOutcome_data();
    void readdressOutcome();
    void wrongPasswordTries_data();
    void wrongPasswordTries();
    void addressWarnings_data();
    void addressWarnings();
    void addressRules();
    void warningTextKeepsMacsWhole();
    void restoreSupport_data();
    void restoreSupport();
    void restoreResult();
};

void TestDeviceActionRules::dottedQuad_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain") << "192.168.1.64" << true;
    QTest::newRow("leading zeros") << "010.001.000.255" << true;
    QTest::newRow("all zero") << "0.0.0.0" << true;
    QTest::newRow("255s") << "255.255.255.255" << true;
    QTest::newRow("octet 256") << "256.1.1.1" << false;
    QTest::newRow("three parts") << "1.2.3" << false;
    QTest::newRow("five parts") << "1.2.3.4.5" << false;
    QTest::newRow("four digits") << "1.2.3.0004" << false;
    QTest::newRow("empty part, as a half-filled field gives") << "192..1.1" << false;
    QTest::newRow("trailing dot") << "1.2.3.4." << false;
    QTest::newRow("blank inside") << "1.2.3. 4" << false;
    QTest::newRow("sign") << "1.2.3.+4" << false;
    QTest::newRow("empty") << "" << false;
}

void TestDeviceActionRules::dottedQuad() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(IsDottedQuad(text), accepted);
}

void TestDeviceActionRules::networkForm_data() {
    QTest::addColumn<QStringList>("fields"); // mac, ip, subnet, gateway
    QTest::addColumn<BoxKind>("kind");
    QTest::addColumn<QString>("key");
    const QString mac = QStringLiteral("02:4C:56:00:00:01");
    QTest::newRow("no device selected, other fields good")
        << QStringList{"", "10.0.0.2", "255.0.0.0", "10.0.0.1"} << BoxKind::Warning
        << "IDCS_NETWORK_PARAM_EMPTY";
    QTest::newRow("no device selected, everything empty")
        << QStringList{"", "", "", ""} << BoxKind::Warning << "IDCS_NETWORK_PARAM_EMPTY";
    QTest::newRow("ip empty") << QStringList{mac, "", "", ""} << BoxKind::Error
                              << "IDCS_PROMPT_IPADDRESS_EMPTY";
    QTest::newRow("ip 256") << QStringList{mac, "256.1.1.1", "x", ""} << BoxKind::Error
                            << "IDCS_PROMPT_IPADDRESS_INVALID";
    QTest::newRow("ip half filled") << QStringList{mac, "10..0.2", "255.0.0.0", "10.0.0.1"}
                                    << BoxKind::Error << "IDCS_PROMPT_IPADDRESS_INVALID";
    QTest::newRow("subnet before gateway: empty gateway, bad subnet")
        << QStringList{mac, "10.0.0.2", "255.0.0", ""} << BoxKind::Error
        << "IDCS_PROMPT_SUBNET_MASK_INVALID";
    QTest::newRow("subnet empty") << QStringList{mac, "10.0.0.2", "", "bad"} << BoxKind::Error
                                  << "IDCS_PROMPT_SUBNET_MASK_EMPTY";
    QTest::newRow("gateway empty") << QStringList{mac, "10.0.0.2", "255.0.0.0", ""}
                                   << BoxKind::Error << "IDCS_PROMPT_GATEWAY_EMPTY";
    QTest::newRow("gateway five parts") << QStringList{mac, "10.0.0.2", "255.0.0.0", "1.2.3.4.5"}
                                        << BoxKind::Error << "IDCS_PROMPT_GATEWAY_INVALID";
    // The form checks only the shape; the subnet rules are the engine's.
    QTest::newRow("well formed, gateway elsewhere")
        << QStringList{mac, "10.0.0.2", "255.255.255.0", "192.168.9.1"} << BoxKind::None << "";
}

void TestDeviceActionRules::networkForm() {
    QFETCH(QStringList, fields);
    QFETCH(BoxKind, kind);
    QFETCH(QString, key);
    const ActionMessage m = CheckNetworkForm(fields[0], fields[1], fields[2], fields[3]);
    QCOMPARE(m.kind, kind);
    QCOMPARE(QString::fromLatin1(m.key), key);
}

void TestDeviceActionRules::restoreForm() {
    const ActionMessage empty = CheckRestoreForm(QString());
    QCOMPARE(empty.kind, BoxKind::Warning);
    QCOMPARE(QString::fromLatin1(empty.key), QStringLiteral("IDCS_MAC_ADDRESS_EMPTY_ERROR"));
    QCOMPARE(CheckRestoreForm(QStringLiteral("aa:bb:cc:dd:ee:ff")).kind, BoxKind::None);
}

// The box's kind for each result; its key is the outcome table's.
void TestDeviceActionRules::setNetParamMessage_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<BoxKind>("kind");
    QTest::newRow("0 done") << 0 << BoxKind::Information;
    for (int code = 1; code <= 8; ++code)
        QTest::addRow("%d rule", code) << code << BoxKind::Error;
    // No answer is no refusal: the request went out and may have acted.
    QTest::newRow("9 no answer") << 9 << BoxKind::Warning;
    QTest::newRow("10 refused") << 10 << BoxKind::Error;
    QTest::newRow("11 recorder: no box") << 11 << BoxKind::None;
    QTest::newRow("13 too long, not sent") << 13 << BoxKind::Error;
    QTest::newRow("20 already active") << 20 << BoxKind::Information;
    QTest::newRow("22 unknown") << 22 << BoxKind::None;
    QTest::newRow("-1 unknown") << -1 << BoxKind::None;
}

void TestDeviceActionRules::setNetParamMessage() {
    QFETCH(int, code);
    QFETCH(BoxKind, kind);
    const ActionMessage m = SetNetParamMessage(code);
    QCOMPARE(m.kind, kind);
    QCOMPARE(QString::fromLatin1(m.key),
             QString::fromLatin1(
                 kind == BoxKind::None ? "" : lorvex::RowOf(lorvex::OutcomeOfResult(code)).key));
}

void TestDeviceActionRules::initTestCase() {
    InitLanguage(QCoreApplication::applicationDirPath().toUtf8(), 0x409);
}

// Each outcome the window tells has a text of its own in the language file.
void TestDeviceActionRules::outcomeTextsDiffer() {
    QSet<QString> texts;
    for (int code : {9, 10, 12, 13}) {
        const QString text = GetText(SetNetParamMessage(code).key);
        QVERIFY2(!text.isEmpty(), qPrintable(QString::number(code)));
        texts.insert(text);
    }
    QCOMPARE(texts.size(), 4);
}

void TestDeviceActionRules::readdressOutcome_data() {
    using commission::BatchState;
    using commission::RefusalReason;
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("reason");
    QTest::addColumn<BoxKind>("kind");
    QTest::addColumn<QString>("key");
    QTest::newRow("done") << int(BatchState::Done) << int(RefusalReason::None)
                          << BoxKind::Information << "IDCS_SET_NETWORK_DONE_D";
    QTest::newRow("not confirmed") << int(BatchState::NotConfirmed) << int(RefusalReason::None)
                                   << BoxKind::Warning << "IDCS_SET_NETWORK_NOT_CONFIRMED_D";
    QTest::newRow("gone") << int(BatchState::Gone) << int(RefusalReason::None) << BoxKind::Warning
                          << "IDCS_SET_NETWORK_GONE_AFTER_D";
    QTest::newRow("no answer") << int(BatchState::Refused) << int(RefusalReason::NoAnswer)
                               << BoxKind::Error << "IDCS_SET_NETWORK_NO_ANSWER_D";
    QTest::newRow("other refusal: not here")
        << int(BatchState::Refused) << int(RefusalReason::Password) << BoxKind::None << "";
    QTest::newRow("still verifying: nothing")
        << int(BatchState::Verifying) << int(RefusalReason::None) << BoxKind::None << "";
}

// The box names the device and its new address in the batch's words; a
// device name that holds "%2" stays as the device sent it.
void TestDeviceActionRules::readdressOutcome() {
    QFETCH(int, state);
    QFETCH(int, reason);
    QFETCH(BoxKind, kind);
    QFETCH(QString, key);
    const QString device = DeviceNaming("02:4C:56:00:10:01", "Lobby %2");
    QCOMPARE(device, QStringLiteral("Lobby %2 (02:4C:56:00:10:01)"));
    const OutcomeBox box = ReaddressOutcome(
        commission::BatchState(state), commission::RefusalReason(reason), device, "10.77.0.50", 25);
    QCOMPARE(box.kind, kind);
    if (kind == BoxKind::None) {
        QVERIFY(box.text.isEmpty());
        return;
    }
    QCOMPARE(box.text, GetText(key.toLatin1().constData()).arg(device, "10.77.0.50", "25"));
    QVERIFY(box.text.contains(device) && box.text.contains("10.77.0.50"));
}

void TestDeviceActionRules::wrongPasswordTries_data() {
    QTest::addColumn<int>("refused");
    QTest::addColumn<QString>("tries");
    QTest::newRow("first refusal") << 1 << GetText("IDCS_PASSWORD_TRIES_LEFT_D").arg(4);
    QTest::newRow("third") << 3 << GetText("IDCS_PASSWORD_TRIES_LEFT_D").arg(2);
    QTest::newRow("fourth: the next may lock") << 4 << GetText("IDCS_PASSWORD_LAST_TRY");
    QTest::newRow("more than the device takes") << 9 << GetText("IDCS_PASSWORD_LAST_TRY");
}

// The device locks at its fifth wrong password in a row; the box says what
// is left at most, counting the refusals this window saw.
void TestDeviceActionRules::wrongPasswordTries() {
    QFETCH(int, refused);
    QFETCH(QString, tries);
    QCOMPARE(WrongPasswordText(refused),
             GetText("IDCS_IDCS_CHANGE_NETWORK_PARAM_ERROR") + "\n\n" + tries);
}

void TestDeviceActionRules::addressWarnings_data() {
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("holders");
    const QString pc = "IDCS_ADDRESS_HELD_BY_PC_D";
    const QString held = "IDCS_ADDRESS_HELD_BY_DEVICE_D";
    const QString outside = "IDCS_ADDRESS_OUTSIDE_SUBNETS";
    QTest::newRow("free in the PC's subnet") << "10.77.0.50" << QStringList() << QStringList();
    QTest::newRow("the PC's own") << "10.77.0.2" << QStringList{pc} << QStringList{"veth0"};
    QTest::newRow("the PC's own, leading zeros")
        << "010.077.000.002" << QStringList{pc} << QStringList{"veth0"};
    QTest::newRow("the PC's second card") << "172.16.5.9" << QStringList{pc} << QStringList{"eth1"};
    QTest::newRow("another device's address")
        << "10.77.0.20" << QStringList{held} << QStringList{"Door (02:00:00:00:00:02)"};
    QTest::newRow("another device's second address, outside")
        << "169.254.7.7" << QStringList{held, outside}
        << QStringList{"Door (02:00:00:00:00:02)", ""};
    QTest::newRow("its own current address") << "10.77.0.10" << QStringList() << QStringList();
    QTest::newRow("outside every subnet")
        << "192.168.1.64" << QStringList{outside} << QStringList{""};
    QTest::newRow("no address") << "10.77.0" << QStringList() << QStringList();
}

void TestDeviceActionRules::addressWarnings() {
    QFETCH(QString, ip);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, holders);
    const QList<HostAddress> host{{"veth0", "10.77.0.2", "255.255.255.0"},
                                  {"eth1", "172.16.5.9", "255.255.0.0"}};
    DevInfo self, other;
    self.mac = "02:00:00:00:00:01";
    self.ipAddr = "10.77.0.10";
    other.mac = "02:00:00:00:00:02";
    other.devName = "Door";
    other.ipAddr = "10.77.0.20";
    other.ipAddr2 = "169.254.7.7";
    const QList<DevInfo*> devices{&self, &other};
    // The selected device's MAC as the form gives it, in another case.
    const QList<AddressWarning> warnings = AddressWarnings("02:00:00:00:00:01", ip, host, devices);
    QStringList gotKeys, gotHolders;
    for (const AddressWarning& w : warnings) {
        gotKeys.append(QString::fromLatin1(w.key));
        gotHolders.append(w.holder);
    }
    QCOMPARE(gotKeys, keys);
    QCOMPARE(gotHolders, holders);
    // Without a known PC address no subnet can be judged.
    for (const AddressWarning& w : AddressWarnings(self.mac, ip, {}, devices))
        QVERIFY(QByteArray(w.key) != "IDCS_ADDRESS_OUTSIDE_SUBNETS");
}

// The warnings are asked only for addresses the engine would send.
void TestDeviceActionRules::addressRules() {
    QVERIFY(PassesAddressRules("10.77.0.50", "255.255.255.0", "10.77.0.1"));
    QVERIFY(PassesAddressRules("010.77.0.50", "255.255.255.0", "10.77.0.1"));
    QVERIFY(!PassesAddressRules("192.168.1.255", "255.255.255.0", "192.168.1.1"));
    QVERIFY(!PassesAddressRules("192.168.1.70", "255.255.255.0", "192.168.2.1"));
    QVERIFY(!PassesAddressRules("10.77.0", "255.255.255.0", "10.77.0.1"));
}

void TestDeviceActionRules::restoreSupport_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("supported");
    QTest::newRow("camera") << "ZVK_IPC" << true;
    QTest::newRow("keyboard") << "ZVK_NETKEYBOARD" << true;
    QTest::newRow("nvr") << "ZVK_NVR" << false;
    QTest::newRow("dvr") << "ZVK_DVR" << false;
    QTest::newRow("lower case") << "zvk_ipc" << false;
    QTest::newRow("prefix only") << "ZVK_IPC2" << false;
    QTest::newRow("empty") << "" << false;
}

void TestDeviceActionRules::restoreSupport() {
    QFETCH(QString, type);
    QFETCH(bool, supported);
    QCOMPARE(SupportsPasswordRestore(type), supported);
}

void TestDeviceActionRules::restoreResult() {
    QCOMPARE(RestoreResultMessage(true).kind, BoxKind::Information);
    QCOMPARE(QString::fromLatin1(RestoreResultMessage(true).key),
             QStringLiteral("IDCS_RESTORE_DEVICE_PASSWORD_SUCCESS"));
    QCOMPARE(RestoreResultMessage(false).kind, BoxKind::Error);
    QCOMPARE(QString::fromLatin1(RestoreResultMessage(false).key),
             QStringLiteral("IDCS_RESTORE_DEVICE_PASSWORD_ERROR"));
}

// The box's words are those of the language texts; no line may break
// inside a MAC it names, whatever the width of the box.
void TestDeviceActionRules::warningTextKeepsMacsWhole() {
    const QString mac = "02:4C:56:00:10:04";
    const QList<AddressWarning> warnings{
        {"IDCS_ADDRESS_HELD_BY_DEVICE_D", "Desk keyboard (" + mac + ")"},
        {"IDCS_ADDRESS_OUTSIDE_SUBNETS", QString()}};
    const QString text = AddressWarningText(warnings);
    const QString plain =
        GetText("IDCS_ADDRESS_HELD_BY_DEVICE_D").arg("Desk keyboard (" + mac + ")") + "\n\n" +
        GetText("IDCS_ADDRESS_OUTSIDE_SUBNETS") + "\n\n" + GetText("IDCS_ADDRESS_SEND_ANYWAY");
    QCOMPARE(QString(text).remove(QChar(0x2060)), plain);
    const int start = text.indexOf("02:");
    QVERIFY(start >= 0);
    const int end = text.indexOf(')', start);
    QTextBoundaryFinder lines(QTextBoundaryFinder::Line, text);
    for (int at = start + 1; at < end; ++at) {
        lines.setPosition(at);
        QVERIFY2(!lines.isAtBoundary(), qPrintable(text.mid(start, at - start)));
    }
}

QTEST_GUILESS_MAIN(TestDeviceActionRules)
#include "DeviceActionRulesTest.moc"
