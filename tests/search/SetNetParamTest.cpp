// SetNetParam and RestoreDevicePassword against the recording stand-in for
// the search library, with the probe, the HTTP exchanges and the sleeps
// replaced: what is sent, what is awaited, and when HTTP is used.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "DebugOutput.h"
#include "FreedMemoryScan.h"
#include "LorvexManage.h"
#include "LorvexSearch.h"
#include "LorvexSearchRecorder.h"

namespace {

const char kMac[] = "02:4C:56:00:00:01";
const char kPassword[] = "s3cret\"<&";
const char kCode[] = "0J6H-B7H6-NWGR"; // a setup code (its check characters hold)

struct Stored {
    std::string series = "ZVK_IPC";
    int httpPort = 80, dataPort = 9008, rtspPort = 554;
    std::string software = "2.4.1", build = "230900";
};

std::string Answer(const Stored& s) {
    const std::string version =
        s.software.empty()
            ? ""
            : "<softwareVer>" + s.software + "</softwareVer><build>" + s.build + "</build>";
    return "<multicastSearchResult><productInfo><productSeries>" + s.series + "</productSeries>" +
           version +
           "</productInfo><tcpIp><ipAddr><item><ip>192.168.1.64</ip><mask>255.255.255.0"
           "</mask><route>192.168.1.1</route></item><item><ip>169.254.0.2</ip></item></ipAddr>"
           "<dns1>8.8.8.8</dns1><dns2>114.114.114.114</dns2><encryptType>md5</encryptType>"
           "</tcpIp><port><dataPort>" +
           std::to_string(s.dataPort) + "</dataPort><httpPort>" + std::to_string(s.httpPort) +
           "</httpPort><rtspPort>" + std::to_string(s.rtspPort) +
           "</rtspPort></port></multicastSearchResult>";
}

std::string SetIPAnswer(const std::string& value) {
    return "<multicastSearchResult><setIPResult>" + value +
           "</setIPResult></multicastSearchResult>";
}

struct SetCall {
    std::string host;
    uint16_t port, http, data, rtsp;
};

class SetNetParamTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetDebugSink([](const std::string&) {});
        recorder::Reset();
        manager.Init();
        manager.SetConfigServices(Fakes());
    }
    void TearDown() override { SetDebugSink(nullptr); }
    void Store(const Stored& s = Stored()) {
        ASSERT_TRUE(recorder::Inject(kMac, LORVEX_SEARCH_EVENT_ANSWER, Answer(s).c_str()));
    }
    // The device answers `value` during the poll sleep number `atPoll` (1 based).
    void AnswerAt(int atPoll, const std::string& value) {
        answerAt = atPoll;
        answerValue = value;
    }
    int32_t Set(const char* http = "", const char* data = "", const char* ip = "10.77.0.64") {
        return manager.SetNetParam(kMac, ip, "255.255.255.0", "10.77.0.1", kPassword, http, data,
                                   false);
    }
    std::vector<std::string> ConfigCalls() {
        std::vector<std::string> out;
        for (const std::string& c : recorder::Calls())
            if (c.rfind("SetConfig(", 0) == 0)
                out.push_back(c);
        return out;
    }
    CLorvexManage::ConfigServices Fakes() {
        CLorvexManage::ConfigServices s;
        s.probe = [this](uint32_t address, uint16_t port, int32_t ms) {
            probes.push_back({address, port, ms});
            return probeReaches;
        };
        s.getPortConfig = [this](const char* host, uint16_t port, const char* password,
                                 int32_t* rtsp) {
            gets.push_back(std::string(host) + ":" + std::to_string(port));
            EXPECT_STREQ(password, kPassword);
            const bool ok =
                getsUntilSuccess >= 0 && static_cast<int>(gets.size()) > getsUntilSuccess;
            if (!ok)
                return PortConfigReply::Failed;
            if (replyLacksPort)
                return PortConfigReply::NoPort;
            *rtsp = replyRtsp;
            return PortConfigReply::Port;
        };
        s.setPortConfig = [this](const char* host, uint16_t port, const char* password,
                                 uint16_t http, uint16_t data, uint16_t rtsp) {
            EXPECT_STREQ(password, kPassword);
            sets.push_back({host, port, http, data, rtsp});
            return setSucceeds;
        };
        s.sleep = [this](int32_t ms) {
            sleeps.push_back(ms);
            if (ms == 10 && ++polls == answerAt)
                recorder::Inject(kMac, LORVEX_SEARCH_EVENT_CONFIG,
                                 answerRaw.empty() ? SetIPAnswer(answerValue).c_str()
                                                   : answerRaw.c_str());
        };
        return s;
    }

    CLorvexManage manager;
    struct Probe {
        uint32_t address;
        uint16_t port;
        int32_t ms;
    };
    std::vector<Probe> probes;
    std::vector<std::string> gets;
    std::vector<SetCall> sets;
    std::vector<int32_t> sleeps;
    bool probeReaches = true, setSucceeds = true, replyLacksPort = false;
    int getsUntilSuccess = 0; // failed attempts before one succeeds; -1 never
    int32_t replyRtsp = 7554;
    int polls = 0, answerAt = -1;
    std::string answerValue;
    std::string answerRaw; // a whole result document, when not empty
};

// The request document holds the password: no buffer of it is released
// unwiped while it is built, sent and dropped.
TEST_F(SetNetParamTest, TheRequestLeavesNoCopyOfThePasswordInFreedMemory) {
    Store();
    AnswerAt(1, "0");
    {
        test_support::FreedMemoryScan scan("s3cret");
        EXPECT_EQ(Set(), 0);
        EXPECT_EQ(scan.Found(), 0);
    }
    ASSERT_EQ(ConfigCalls().size(), 1u);
    EXPECT_NE(ConfigCalls()[0].find("s3cret"), std::string::npos) << "it went into the request";
}

TEST_F(SetNetParamTest, RefusedParametersSendNothingAndLeaveTheResult) {
    Store();
    struct Row {
        const char *ip, *mask, *gateway, *http, *data;
        int32_t code;
    } rows[] = {
        {"192.168.1.255", "255.255.255.0", "192.168.1.1", "", "", 1},
        {"192.168.1.0", "255.255.255.0", "192.168.1.1", "", "", 2},
        {"127.0.0.5", "255.0.0.0", "127.0.0.1", "", "", 3},
        {"224.0.0.5", "255.255.255.0", "224.0.0.1", "", "", 4},
        {"192.168.1.10", "255.0.255.0", "192.168.1.1", "", "", 5},
        {"192.168.1.10", "255.255.255.0", "192.168.2.1", "", "", 6},
        {"192.168.1.10", "255.255.255.0", "192.168.1.255", "", "", 7},
        {"192.168.1.10", "255.255.255.0", "0.0.0.0", "", "", 8},
        // Texts that are not dotted quads count as all ones, never as 0.
        {"10.77.0.64; reboot", "255.255.255.0", "10.77.0.1", "", "", 1},
        {"10.77.0.64", "255.255.255.0", "10.77.1", "", "", 7},
        // Ports that would have to be cut to 16 bits, or are not numbers.
        {"10.77.0.64", "255.255.255.0", "10.77.0.1", "0", "9008", 10},
        {"10.77.0.64", "255.255.255.0", "10.77.0.1", "8080", "65536", 10},
        {"10.77.0.64", "255.255.255.0", "10.77.0.1", "80a", "", 10},
        {"10.77.0.64", "255.255.255.0", "10.77.0.1", "", "123456", 10},
        {"10.77.0.64", "255.255.255.0", "10.77.0.1", "-80", "", 10},
    };
    ASSERT_TRUE(recorder::Inject(kMac, LORVEX_SEARCH_EVENT_CONFIG, SetIPAnswer("5").c_str()));
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.ip) + " " + r.mask + " " + r.gateway + " " + r.http + "/" +
                     r.data);
        EXPECT_EQ(
            manager.SetNetParam(kMac, r.ip, r.mask, r.gateway, kPassword, r.http, r.data, false),
            r.code);
    }
    EXPECT_TRUE(ConfigCalls().empty());
    EXPECT_EQ(manager.GetSetIPResult(), 5);
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(SetNetParamTest, UnlistedOrMalformedMacGives12AndSendsNothing) {
    Store();
    for (const char* mac : {"02:4C:56:00:00:02", "02:4C:56:00:00", "", "02-4C-56-00-00-01"}) {
        SCOPED_TRACE(mac);
        EXPECT_EQ(manager.SetNetParam(mac, "10.77.0.64", "255.255.255.0", "10.77.0.1", kPassword,
                                      "", "", false),
                  CLorvexManage::SETNET_NO_DEVICE);
    }
    EXPECT_EQ(
        manager.SetNetParam(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, false),
        CLorvexManage::SETNET_NO_DEVICE);
    EXPECT_TRUE(ConfigCalls().empty());
}

TEST_F(SetNetParamTest, RequestCarriesAttributesInOrderWithTheStoredFields) {
    Store();
    AnswerAt(1, "0");
    // A lower-case MAC finds the device; the request goes to its bytes.
    EXPECT_EQ(manager.SetNetParam("02:4c:56:00:00:01", "10.77.0.64", "255.255.255.0", "10.77.0.1",
                                  kPassword, "8080", "9010", true),
              0);
    const std::vector<std::string> expected = {
        "SetConfig(02:4C:56:00:00:01,<searchSetIP password=\"s3cret&quot;&lt;&amp;\" "
        "ipAddr=\"10.77.0.64\" maskAddr=\"255.255.255.0\" route=\"10.77.0.1\" dns1=\"8.8.8.8\" "
        "dns2=\"114.114.114.114\" encryptType=\"md5\" dhcpSwitch=\"true\" httpPort=\"8080\" "
        "dataPort=\"9010\" devtype=\"ZVK_IPC\" software=\"2.4.1(230900)\"/>\r\n)"};
    EXPECT_EQ(ConfigCalls(), expected);
}

// The clock parts travel beside the addresses the search reported; a part
// out of its rule, or no part at all, sends nothing.
TEST_F(SetNetParamTest, SetClockSendsItsPartsOrNothing) {
    Store();
    using lorvex::Outcome;
    EXPECT_EQ(manager.SetClock(kMac, kPassword, {"", "CET 1", false}), Outcome::Refused);
    EXPECT_EQ(manager.SetClock(kMac, kPassword, {"", "", false}), Outcome::Refused);
    EXPECT_EQ(manager.SetClock("02:4C:56:00:00:02", kPassword, {"pool.ntp.org", "", false}),
              Outcome::NoDevice);
    EXPECT_TRUE(ConfigCalls().empty());
    AnswerAt(1, "0");
    const long long before = static_cast<long long>(std::time(nullptr));
    EXPECT_EQ(manager.SetClock(kMac, kPassword, {"pool.ntp.org", "UTC0", true}), Outcome::Done);
    const long long after = static_cast<long long>(std::time(nullptr));
    ASSERT_EQ(ConfigCalls().size(), 1u);
    const std::string sent = ConfigCalls()[0];
    EXPECT_NE(sent.find("ipAddr=\"192.168.1.64\" maskAddr=\"255.255.255.0\" "
                        "route=\"192.168.1.1\""),
              std::string::npos)
        << sent;
    const std::string parts = " ntpServer=\"pool.ntp.org\" timeZone=\"UTC0\" time=\"";
    const size_t at = sent.find(parts);
    ASSERT_NE(at, std::string::npos) << sent;
    const long long sentTime = std::stoll(sent.substr(at + parts.size()));
    EXPECT_TRUE(sentTime >= before && sentTime <= after) << sent;
}

TEST_F(SetNetParamTest, OptionalAttributesAreLeftOutWhenEmpty) {
    Stored s;
    s.software = "";
    s.build = "";
    Store(s);
    AnswerAt(1, "0");
    EXPECT_EQ(Set("", ""), 0);
    ASSERT_EQ(ConfigCalls().size(), 1u);
    const std::string sent = ConfigCalls()[0];
    EXPECT_NE(sent.find("dhcpSwitch=\"false\" devtype=\"ZVK_IPC\"/>"), std::string::npos) << sent;
    for (const char* absent : {"httpPort", "dataPort", "software"})
        EXPECT_EQ(sent.find(absent), std::string::npos) << absent;
}

// Every type acknowledges: a recorder's answer is its outcome, and its ports
// travel in the request itself. One that stays silent is taken as a device
// that applies requests without a word (11).
TEST_F(SetNetParamTest, OtherTypesAreAwaitedAndNeedNoHttp) {
    for (const char* series : {"ZVK_NVR", "ZVK_DVR", "ZVK_IPC2", "ZVK_IP"}) {
        SCOPED_TRACE(series);
        recorder::Reset();
        manager.Init();
        Stored s;
        s.series = series;
        Store(s);
        AnswerAt(-1, "");
        EXPECT_EQ(Set("8080", "9010"), CLorvexManage::SETNET_NOT_IPC);
        AnswerAt(polls + 2, "0");
        EXPECT_EQ(Set("8080", "9010"), CLorvexManage::SETNET_DONE);
        EXPECT_EQ(ConfigCalls().size(), 2u);
        EXPECT_TRUE(probes.empty() && gets.empty() && sets.empty());
    }
}

TEST_F(SetNetParamTest, TheDevicesOwnRefusalsHaveTheirOwnCodes) {
    struct Row {
        const char* answer;
        int32_t code;
    } rows[] = {
        {"<setIPResult>2</setIPResult>", CLorvexManage::SETNET_NOT_ACTIVATED},
        {"<setIPResult>3</setIPResult><retryAfter>240</retryAfter>", CLorvexManage::SETNET_LOCKED},
        {"<setIPResult>0</setIPResult><portsTaken>1</portsTaken>", CLorvexManage::SETNET_DONE},
    };
    Store();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.answer);
        sleeps.clear();
        polls = 0;
        AnswerAt(1, "");
        answerRaw = std::string("<multicastSearchResult>") + r.answer + "</multicastSearchResult>";
        EXPECT_EQ(Set("8080", "9010"), r.code);
        if (r.code == CLorvexManage::SETNET_LOCKED) {
            EXPECT_EQ(manager.LastLockSeconds(), 240);
        }
    }
    EXPECT_EQ(manager.LastLockSeconds(), 0); // the last answer named no lock
    EXPECT_TRUE(sets.empty()) << "the device took the ports; no HTTP step";
}

TEST_F(SetNetParamTest, NoSecretGoesToAnUnconfirmedOrConflictingKey) {
    Store();
    for (auto [state, code] :
         {std::pair{LORVEX_IDENTITY_UNVERIFIED, CLorvexManage::SETNET_UNVERIFIED},
          std::pair{LORVEX_IDENTITY_UNKNOWN, CLorvexManage::SETNET_UNVERIFIED},
          std::pair{LORVEX_IDENTITY_CONFLICT, CLorvexManage::SETNET_CONFLICT}}) {
        recorder::SetIdentity(state);
        EXPECT_EQ(Set(), code);
        EXPECT_EQ(manager.Activate(kMac, "Camera-Door-7", kCode), code);
    }
    EXPECT_TRUE(ConfigCalls().empty());
    recorder::SetIdentity(LORVEX_IDENTITY_UNVERIFIED);
    std::string fingerprint;
    EXPECT_EQ(manager.GetIdentity(kMac, &fingerprint), LORVEX_IDENTITY_UNVERIFIED);
    EXPECT_TRUE(manager.ConfirmIdentity(kMac, fingerprint.c_str()));
    AnswerAt(1, "0");
    EXPECT_EQ(Set(), CLorvexManage::SETNET_DONE);
}

TEST_F(SetNetParamTest, ActivationChecksTheRuleAndCodeFirstAndMapsTheAnswer) {
    Store();
    EXPECT_EQ(manager.Activate(kMac, "short1", kCode), CLorvexManage::SETNET_WEAK_PASSWORD);
    EXPECT_EQ(manager.Activate("02:4C:56:00:00:99", "Camera-Door-7", kCode),
              CLorvexManage::SETNET_NO_DEVICE);
    for (const char* notACode :
         {"", "0J6H-B7H6-NWGS", "0J6H-B7H6", static_cast<const char*>(nullptr)})
        EXPECT_EQ(manager.Activate(kMac, "Camera-Door-7", notACode),
                  CLorvexManage::SETNET_SETUP_CODE_WRONG)
            << (notACode ? notACode : "null");
    for (auto [value, code] : {std::pair{"0", CLorvexManage::SETNET_DONE},
                               std::pair{"6", CLorvexManage::SETNET_ALREADY_ACTIVE},
                               std::pair{"4", CLorvexManage::SETNET_WEAK_PASSWORD},
                               std::pair{"7", CLorvexManage::SETNET_SETUP_CODE_WRONG}}) {
        polls = 0;
        AnswerAt(1, value);
        EXPECT_EQ(manager.Activate(kMac, "Camera-Door-7", "0j6h b7h6 nwgr"), code) << value;
    }
    std::vector<std::string> activations;
    for (const std::string& c : recorder::Calls())
        if (c.rfind("Activate(", 0) == 0)
            activations.push_back(c);
    ASSERT_EQ(activations.size(), 4u)
        << "a weak password or a text that is no setup code is refused before anything is sent";
    EXPECT_EQ(activations[0], std::string("Activate(") + kMac + ",Camera-Door-7,0J6H-B7H6-NWGR)")
        << "the library gets the canonical code";
}

TEST_F(SetNetParamTest, RestoreOutcomes) {
    for (auto [result, code] :
         {std::pair{0, CLorvexManage::SETNET_DONE}, std::pair{5, CLorvexManage::SETNET_NO_PRESENCE},
          std::pair{-1, CLorvexManage::SETNET_NO_ANSWER},
          std::pair{1, CLorvexManage::SETNET_FAILED}}) {
        recorder::SetTrustRestoreResult(result);
        EXPECT_EQ(manager.RestoreDevice(kMac), code) << result;
    }
    EXPECT_EQ(manager.RestoreDevice("not a mac"), CLorvexManage::SETNET_FAILED);
}

TEST_F(SetNetParamTest, AnswerDecidesOutcome) {
    struct Row {
        int atPoll;
        const char* value;
        int32_t code;
        size_t polls;
    } rows[] = {
        {1, "0", 0, 1},     {1, "1", 10, 1},
        {1, "7", 10, 1},                        // not an acceptance the device can report
        {1, "-3", 10, 1},   {300, "0", 0, 300}, // the last poll still counts
        {301, "0", 9, 300},                     // too late
        {-1, "", 9, 300},                       // silent: 300 polls of 10 ms
    };
    Store();
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.atPoll) + " " + r.value);
        sleeps.clear();
        polls = 0;
        AnswerAt(r.atPoll, r.value);
        EXPECT_EQ(Set(), r.code);
        EXPECT_EQ(sleeps.size(), r.polls);
        EXPECT_EQ(sleeps, std::vector<int32_t>(r.polls, 10));
    }
}

TEST_F(SetNetParamTest, EarlierAnswerDoesNotCountForTheNextRequest) {
    Store();
    ASSERT_TRUE(recorder::Inject(kMac, LORVEX_SEARCH_EVENT_CONFIG, SetIPAnswer("0").c_str()));
    EXPECT_EQ(Set(), CLorvexManage::SETNET_NO_ANSWER);
}

TEST_F(SetNetParamTest, PortsUnchangedOrNotBothGivenNeedNoHttp) {
    Store();
    const char* rows[][2] = {{"", ""}, {"8080", ""}, {"", "9010"}, {"80", "9008"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row[0]) + "/" + row[1]);
        polls = 0;
        AnswerAt(1, "0");
        EXPECT_EQ(Set(row[0], row[1]), 0);
    }
    EXPECT_TRUE(probes.empty());
    EXPECT_TRUE(gets.empty());
    EXPECT_TRUE(sets.empty());
}

TEST_F(SetNetParamTest, StoredRtspPortSkipsGetPortConfig) {
    struct Row {
        bool reaches;
        const char* host;
    } rows[] = {{true, "10.77.0.64"}, {false, "169.254.0.2"}};
    Store();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.host);
        probes.clear();
        sets.clear();
        polls = 0;
        AnswerAt(1, "0");
        probeReaches = r.reaches;
        EXPECT_EQ(Set("8080", "9008"), 0);
        ASSERT_EQ(probes.size(), 1u);
        EXPECT_EQ(probes[0].address, inet_addr("10.77.0.64"));
        EXPECT_EQ(probes[0].port, 9008);
        EXPECT_EQ(probes[0].ms, 200);
        ASSERT_EQ(sets.size(), 1u);
        EXPECT_EQ(sets[0].host, r.host);
        EXPECT_EQ(sets[0].port, 80); // the device still listens on its old HTTP port
        EXPECT_EQ(sets[0].http, 8080);
        EXPECT_EQ(sets[0].data, 9008);
        EXPECT_EQ(sets[0].rtsp, 554);
    }
    EXPECT_TRUE(gets.empty());
}

TEST_F(SetNetParamTest, MissingRtspPortIsAskedForWithThreeAttempts) {
    struct Row {
        int failures; // -1: every attempt fails
        int32_t replyRtsp;
        bool setOk;
        int32_t code;
        size_t gets, setCalls;
        std::vector<int32_t> pauses; // sleeps after the answer poll
    } rows[] = {
        {0, 7554, true, 0, 1, 1, {1}},
        {2, 7554, true, 0, 3, 1, {1, 200, 200}},
        {-1, 7554, true, 10, 3, 0, {1, 200, 200, 200}},
        {0, 0, true, 10, 1, 0, {1}}, // a reply that names no usable port
        {0, 70000, true, 10, 1, 0, {1}},
        {0, 7554, false, 10, 1, 1, {1}}, // SetPortConfig refused: no retry
    };
    Stored s;
    s.rtspPort = 0;
    s.httpPort = 8000;
    Store(s);
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.failures) + " " + std::to_string(r.replyRtsp));
        gets.clear(), sets.clear(), sleeps.clear();
        polls = 0;
        AnswerAt(1, "0");
        getsUntilSuccess = r.failures;
        replyRtsp = r.replyRtsp;
        setSucceeds = r.setOk;
        EXPECT_EQ(Set("8080", "9010"), r.code);
        EXPECT_EQ(gets, std::vector<std::string>(r.gets, "10.77.0.64:8000"));
        ASSERT_EQ(sets.size(), r.setCalls);
        if (r.setCalls) {
            EXPECT_EQ(sets[0].rtsp, r.replyRtsp);
        }
        EXPECT_EQ(std::vector<int32_t>(sleeps.begin() + 1, sleeps.end()), r.pauses);
    }
}

// A reply of status 200 without the port would say the same again: no retry.
TEST_F(SetNetParamTest, ReplyWithoutRtspPortFailsAtOnce) {
    Stored s;
    s.rtspPort = 0;
    Store(s);
    AnswerAt(1, "0");
    replyLacksPort = true;
    EXPECT_EQ(Set("8080", "9010"), CLorvexManage::SETNET_FAILED);
    EXPECT_EQ(gets.size(), 1u);
    EXPECT_TRUE(sets.empty());
    EXPECT_EQ(std::vector<int32_t>(sleeps.begin() + 1, sleeps.end()), std::vector<int32_t>{1});
}

// A result whose data is not a number is no acceptance: the ports stay.
TEST_F(SetNetParamTest, ResultWithoutDigitsIsAFailure) {
    Store();
    for (const char* value : {"none", "", " 0", "0;"}) {
        SCOPED_TRACE(value);
        polls = 0;
        AnswerAt(1, value);
        EXPECT_EQ(Set("8080", "9010"), CLorvexManage::SETNET_FAILED);
    }
    EXPECT_TRUE(probes.empty() && gets.empty() && sets.empty());
}

// The library cannot send what does not fit one datagram; it is refused
// before anything is sent or awaited.
TEST_F(SetNetParamTest, RequestTooLongForADatagramIsRefusedAtOnce) {
    Store();
    const std::string fits(3600, 'p'), tooLong(LORVEX_SEARCH_MAX_CONFIG_BYTES, 'p');
    AnswerAt(1, "0");
    EXPECT_EQ(manager.SetNetParam(kMac, "10.77.0.64", "255.255.255.0", "10.77.0.1", fits.c_str(),
                                  "", "", false),
              CLorvexManage::SETNET_DONE);
    ASSERT_EQ(ConfigCalls().size(), 1u);
    sleeps.clear();
    EXPECT_EQ(manager.SetNetParam(kMac, "10.77.0.64", "255.255.255.0", "10.77.0.1", tooLong.c_str(),
                                  "", "", false),
              CLorvexManage::SETNET_TOO_LONG);
    EXPECT_EQ(ConfigCalls().size(), 1u);
    EXPECT_TRUE(sleeps.empty());
}

// After Shutdown nothing can carry a request or its answer.
TEST_F(SetNetParamTest, NothingIsSentOrAwaitedAfterShutdown) {
    Store();
    manager.Shutdown();
    AnswerAt(1, "0");
    EXPECT_EQ(Set(), CLorvexManage::SETNET_FAILED);
    EXPECT_FALSE(manager.RestoreDevicePassword(kMac));
    EXPECT_TRUE(ConfigCalls().empty());
    EXPECT_TRUE(sleeps.empty());
    EXPECT_EQ(recorder::Calls().back(), "Quit");
}

TEST_F(SetNetParamTest, DeviceWithoutUsableHttpPortFailsThePortStep) {
    Stored s;
    s.httpPort = 0;
    Store(s);
    AnswerAt(1, "0");
    EXPECT_EQ(Set("8080", "9010"), CLorvexManage::SETNET_FAILED);
    EXPECT_TRUE(gets.empty() && sets.empty());
}

TEST_F(SetNetParamTest, TraceNamesAddressAndMacButNeverThePassword) {
    std::string trace;
    SetDebugSink([&](const std::string& line) { trace += line; });
    Store();
    AnswerAt(1, "0");
    EXPECT_EQ(manager.SetNetParam("02:4c:56:00:00:01", "10.77.0.64", "255.255.255.0", "10.77.0.1",
                                  kPassword, "", "", false),
              0);
    EXPECT_EQ(manager.SetNetParam("02:4C:56:00:00:09", "10.77.0.65", "255.255.255.0", "10.77.0.1",
                                  kPassword, "", "", false),
              12);
    EXPECT_EQ(trace, "10.77.0.64\n02:4C:56:00:00:01\nsend.....\n10.77.0.65\n");
}

TEST(RestoreDevicePassword, AsksTheLibraryForValidMacsOnly) {
    struct Row {
        const char* mac;
        int libraryResult;
        bool expected;
        const char* call; // null: nothing reaches the library
    } rows[] = {
        {"02:4c:56:00:00:01", 1, true, "Restore(02:4C:56:00:00:01)"},
        {"AA:BB:CC:DD:EE:FF", 0, false, "Restore(AA:BB:CC:DD:EE:FF)"},
        {"AA:BB:CC:DD:EE:F", 1, false, nullptr},
        {"AA:BB:CC:DD:EE:FF:00", 1, false, nullptr},
        {nullptr, 1, false, nullptr},
    };
    CLorvexManage manager;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.mac ? r.mac : "null");
        recorder::Reset();
        recorder::SetRestoreResult(r.libraryResult);
        EXPECT_EQ(manager.RestoreDevicePassword(r.mac), r.expected);
        const std::vector<std::string> none;
        EXPECT_EQ(recorder::Calls(), r.call ? std::vector<std::string>{r.call} : none);
    }
}

} // namespace
