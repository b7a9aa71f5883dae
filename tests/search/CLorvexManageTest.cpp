// The search manager against a recording stand-in for the search library:
// library calls are asserted, events are delivered through the registered
// callback as the library's thread would.

#include "LorvexManage.h"
#include "LorvexSearch.h"
#include "LorvexSearchRecorder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

const char kMacA[] = "00:1A:2B:3C:4D:5E";
const char kMacB[] = "00:1A:2B:3C:4D:5F";

std::string Answer(const std::string& name, const std::string& series = "ZVK_IPC") {
    return "<multicastSearchResult><productInfo><productSeries>" + series +
           "</productSeries><devName>" + name +
           "</devName></productInfo><tcpIp><ipAddr><item><ip>192.168.1.64</ip></item>"
           "</ipAddr></tcpIp><port><httpPort>80</httpPort></port></multicastSearchResult>";
}

std::string SetIPAnswer(const std::string& inner) {
    return "<multicastSearchResult>" + inner + "</multicastSearchResult>";
}

// Keeps every record it is given, and writes its id into a shared log so that
// the order among observers can be checked.
class Recorder : public CObserver<SEARCH_INFO> {
public:
    explicit Recorder(int id = 0, std::vector<int>* log = nullptr) : m_id(id), m_log(log) {}
    void Update(SEARCH_INFO info, CObservable<SEARCH_INFO>* sender) override {
        std::lock_guard<std::mutex> hold(m_mutex);
        records.push_back(info);
        senders.push_back(sender);
        if (m_log)
            m_log->push_back(m_id);
    }
    std::vector<SEARCH_INFO> records;
    std::vector<CObservable<SEARCH_INFO>*> senders;

private:
    int m_id;
    std::vector<int>* m_log;
    std::mutex m_mutex;
};

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        recorder::Reset();
        manager.Attach(&observer);
        manager.Init();
    }
    void Event(const char* mac, int code, const std::string& xml = "") {
        ASSERT_TRUE(recorder::Inject(mac, code, xml.c_str()));
    }
    // The library calls made since the mark.
    std::vector<std::string> CallsSince(size_t mark) {
        auto calls = recorder::Calls();
        return std::vector<std::string>(calls.begin() + static_cast<long>(mark), calls.end());
    }
    std::string NameOf(const char* mac) {
        SEARCH_INFO info;
        return manager.FindDevice(mac, &info) ? info.devName : "<none>";
    }
    CLorvexManage manager;
    Recorder observer;
};

TEST_F(ManagerTest, InitRegistersTheManagerWithTheLibrary) {
    EXPECT_EQ(recorder::Calls(), std::vector<std::string>{"Initial(96)"});
    EXPECT_EQ(recorder::User(), &manager);
    Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("cam"));
    ASSERT_EQ(observer.records.size(), 1u);
    EXPECT_EQ(observer.senders[0], &manager);
}

// Interval before, the operation, the library calls it makes, whether the list survives.
struct SearchControlCase {
    int before;
    const char* operation;
    std::vector<std::string> calls;
    bool listKept;
    int after;
};

class SearchControlTest : public ManagerTest,
                          public ::testing::WithParamInterface<SearchControlCase> {};

TEST_P(SearchControlTest, CallsTheLibraryAndEmptiesTheListAsSaid) {
    const SearchControlCase& c = GetParam();
    if (c.before != 0)
        manager.SetAutoSearch(c.before);
    Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("cam"));
    const size_t mark = recorder::Calls().size();
    const std::string op = c.operation;
    if (op == "manual")
        manager.RefreshSearch(true);
    else if (op == "refresh")
        manager.RefreshSearch(false);
    else
        manager.SetAutoSearch(std::stoi(op));
    EXPECT_EQ(CallsSince(mark), c.calls);
    EXPECT_EQ(manager.GetDeviceCount(), c.listKept ? 1u : 0u);
    EXPECT_EQ(manager.GetAutoSearch(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Manager, SearchControlTest,
    ::testing::Values(SearchControlCase{5, "0", {"StopAuto"}, true, 0},
                      SearchControlCase{5, "10", {"StopAuto", "StartAuto(10)"}, true, 10},
                      SearchControlCase{0, "5", {"StopAuto", "StartAuto(5)"}, false, 5},
                      SearchControlCase{0, "0", {"StopAuto"}, true, 0},
                      SearchControlCase{5, "-3", {"StopAuto"}, true, 0},
                      SearchControlCase{5, "manual", {"Manual"}, false, 5},
                      SearchControlCase{0, "manual", {"Manual"}, false, 0},
                      SearchControlCase{5, "refresh", {"StopAuto", "StartAuto(5)"}, false, 5},
                      SearchControlCase{0, "refresh", {"StopAuto", "StartAuto(0)"}, false, 0}));

TEST_F(ManagerTest, RepeatedAnswerChangesNothingAndNotifiesNobody) {
    Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("first"));
    Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("second"));
    ASSERT_EQ(observer.records.size(), 1u);
    EXPECT_EQ(observer.records[0].event, SEARCH_EVENT_NEW);
    EXPECT_STREQ(observer.records[0].mac, kMacA);
    EXPECT_STREQ(observer.records[0].devName, "first");
    EXPECT_EQ(NameOf(kMacA), "first");
}

TEST_F(ManagerTest, EveryRefreshReportsAnsweringDevicesAsNewAgain) {
    manager.SetAutoSearch(5);
    Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("cam"));
    for (bool manual : {false, true, false}) {
        manager.RefreshSearch(manual);
        Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("cam"));
        Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("cam"));
    }
    ASSERT_EQ(observer.records.size(), 4u);
    for (const SEARCH_INFO& r : observer.records)
        EXPECT_EQ(r.event, SEARCH_EVENT_NEW);
    EXPECT_EQ(manager.GetDeviceCount(), 1u);
}

TEST_F(ManagerTest, MacIsUpperCasedAndFindDeviceIgnoresCase) {
    Event("00:1a:2b:3c:4d:5e", LORVEX_SEARCH_EVENT_ANSWER, Answer("cam"));
    ASSERT_EQ(observer.records.size(), 1u);
    EXPECT_STREQ(observer.records[0].mac, kMacA);
    EXPECT_EQ(NameOf("00:1a:2B:3c:4D:5e"), "cam");
    SEARCH_INFO untouched;
    std::memset(&untouched, 0x5A, sizeof untouched);
    EXPECT_FALSE(manager.FindDevice(kMacB, &untouched));
    EXPECT_FALSE(manager.FindDevice("00:1A", &untouched));
    EXPECT_EQ(untouched.devName[0], 0x5A);
}

TEST_F(ManagerTest, GoneRemovesTheDeviceAndReportsOnlyItsMac) {
    Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("a"));
    Event(kMacB, LORVEX_SEARCH_EVENT_ANSWER, Answer("b"));
    for (const char* mac : {kMacA, kMacA})
        Event(mac, LORVEX_SEARCH_EVENT_GONE);
    SEARCH_INFO expected;
    std::memset(&expected, 0, sizeof expected);
    expected.event = SEARCH_EVENT_GONE;
    std::strcpy(expected.mac, kMacA);
    // The second gone event is for a MAC no longer held: still reported.
    ASSERT_EQ(observer.records.size(), 4u);
    for (size_t i : {2u, 3u})
        EXPECT_EQ(std::memcmp(&observer.records[i], &expected, sizeof expected), 0) << i;
    EXPECT_EQ(manager.GetDeviceCount(), 1u);
    EXPECT_EQ(NameOf(kMacB), "b");
}

TEST_F(ManagerTest, ChangeReplacesTheDeviceAndMovesItToTheEnd) {
    Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("a"));
    Event(kMacB, LORVEX_SEARCH_EVENT_ANSWER, Answer("b"));
    Event(kMacA, LORVEX_SEARCH_EVENT_CHANGED, Answer("a2"));
    ASSERT_EQ(observer.records.size(), 3u);
    EXPECT_EQ(observer.records[2].event, SEARCH_EVENT_CHANGED);
    EXPECT_STREQ(observer.records[2].devName, "a2");
    auto devices = manager.GetDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_STREQ(devices[0].mac, kMacB);
    EXPECT_STREQ(devices[1].devName, "a2");
    EXPECT_EQ(devices[1].event, SEARCH_EVENT_NEW);
}

TEST_F(ManagerTest, ChangeOfAnUnknownDeviceIsReportedButNotAdded) {
    Event(kMacA, LORVEX_SEARCH_EVENT_CHANGED, Answer("stranger"));
    ASSERT_EQ(observer.records.size(), 1u);
    EXPECT_EQ(observer.records[0].event, SEARCH_EVENT_CHANGED);
    EXPECT_STREQ(observer.records[0].devName, "stranger");
    EXPECT_EQ(manager.GetDeviceCount(), 0u);
    Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("stranger"));
    EXPECT_EQ(observer.records.size(), 2u);
}

TEST_F(ManagerTest, RejectedAnswersChangeNothingAndNotifyNobody) {
    Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("a"));
    for (int code : {LORVEX_SEARCH_EVENT_ANSWER, LORVEX_SEARCH_EVENT_CHANGED}) {
        for (const std::string& xml : {Answer("x", "OTHER_IPC"), Answer("x", "zvk_ipc"),
                                       std::string("<notTheRoot/>"), std::string()}) {
            Event(kMacB, code, xml);
            Event(kMacA, code, xml);
        }
    }
    EXPECT_EQ(observer.records.size(), 1u);
    EXPECT_EQ(manager.GetDeviceCount(), 1u);
    EXPECT_EQ(NameOf(kMacA), "a");
}

// A MAC text that is not six hex pairs would, by prefix, match another
// device; such events must leave the list alone and reach nobody.
TEST_F(ManagerTest, EventsWithMalformedMacTextsAreIgnored) {
    Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("a"));
    const char* bad[] = {"",
                         "0",
                         "00:1A",
                         "00:1A:2B:3C:4D",
                         "00:1A:2B:3C:4D:5",
                         "00:1A:2B:3C:4D:5E:",
                         "00:1A:2B:3C:4D:5E:6F",
                         "001A2B3C4D5E",
                         "00-1A-2B-3C-4D-5E",
                         "0G:1A:2B:3C:4D:5E",
                         " 0:1A:2B:3C:4D:5E",
                         "00:1A:2B:3C:4D:5\xC3"};
    for (const char* mac : bad)
        for (int code : {LORVEX_SEARCH_EVENT_ANSWER, LORVEX_SEARCH_EVENT_GONE,
                          LORVEX_SEARCH_EVENT_CHANGED, LORVEX_SEARCH_EVENT_CONFIG})
            Event(mac, code,
                  code == LORVEX_SEARCH_EVENT_CONFIG ? SetIPAnswer("<setIPResult>0</setIPResult>")
                                                     : Answer("x"));
    ASSERT_TRUE(recorder::Inject(nullptr, LORVEX_SEARCH_EVENT_GONE, ""));
    EXPECT_EQ(observer.records.size(), 1u);
    EXPECT_EQ(NameOf(kMacA), "a");
    EXPECT_EQ(manager.GetSetIPResult(), -1);
}

TEST_F(ManagerTest, OtherEventCodesAreIgnored) {
    for (int code : {0, 4, -1, 9999, 10001, 2147483647})
        Event(kMacA, code, Answer("a"));
    EXPECT_TRUE(observer.records.empty());
    EXPECT_EQ(manager.GetDeviceCount(), 0u);
}

// Each text in turn, starting from -1; the value the set-IP result holds after it.
TEST_F(ManagerTest, SetIPAnswerStoresTheResultAndNotifiesNobody) {
    const std::pair<std::string, int> steps[] = {
        {SetIPAnswer("<other>3</other>"), -1},
        {SetIPAnswer("<setIPResult>0</setIPResult>"), 0},
        {SetIPAnswer(""), 0},
        {SetIPAnswer("<setIPResult>1</setIPResult>"), 1},
        {"<setIPResult>0</setIPResult>", 1},
        {"garbage", 1},
        {SetIPAnswer("<a><setIPResult>0</setIPResult></a>"), 1},
        {SetIPAnswer("<setIPResult>12</setIPResult>"), 12},
        {SetIPAnswer("<setIPResult>0</setIPResult>"), 0},
        // Only data of decimal digits is a number; nothing else reads as 0.
        {SetIPAnswer("<setIPResult> 12abc</setIPResult>"), 1},
        {SetIPAnswer("<setIPResult>0</setIPResult>"), 0},
        {SetIPAnswer("<setIPResult>none</setIPResult>"), 1},
        {SetIPAnswer("<setIPResult>0</setIPResult>"), 0},
        {SetIPAnswer("<setIPResult></setIPResult>"), 1},
        {SetIPAnswer("<setIPResult>0</setIPResult>"), 0},
        {SetIPAnswer("<setIPResult/>"), 1},
        {SetIPAnswer("<setIPResult>0</setIPResult>"), 0},
        {SetIPAnswer("<setIPResult>-0</setIPResult>"), 1},
        {SetIPAnswer("<setIPResult>99999999999</setIPResult>"), 2147483647},
    };
    for (const auto& step : steps) {
        Event(kMacA, LORVEX_SEARCH_EVENT_CONFIG, step.first);
        EXPECT_EQ(manager.GetSetIPResult(), step.second) << step.first;
    }
    EXPECT_TRUE(observer.records.empty());
    manager.ResetSetIPResult();
    EXPECT_EQ(manager.GetSetIPResult(), -1);
}

TEST_F(ManagerTest, ObserversAreCalledInListOrderAndAttachMovesToTheEnd) {
    std::vector<int> log;
    Recorder one(1, &log), two(2, &log), three(3, &log);
    manager.Detach(&observer);
    manager.Attach(nullptr);
    for (Recorder* r : {&one, &two, &three, &one})
        manager.Attach(r);
    Event(kMacA, LORVEX_SEARCH_EVENT_GONE);
    EXPECT_EQ(log, (std::vector<int>{2, 3, 1}));
    manager.Detach(&three);
    manager.Detach(&three);
    Event(kMacA, LORVEX_SEARCH_EVENT_GONE);
    EXPECT_EQ(log, (std::vector<int>{2, 3, 1, 2, 1}));
    EXPECT_TRUE(observer.records.empty());
}

TEST_F(ManagerTest, EachObserverGetsItsOwnCopy) {
    class Scribbler : public CObserver<SEARCH_INFO> {
        void Update(SEARCH_INFO info, CObservable<SEARCH_INFO>*) override {
            std::memset(&info, 0x7F, sizeof info);
        }
    } scribbler;
    manager.Attach(&scribbler);
    manager.Attach(&observer);
    Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("a"));
    ASSERT_EQ(observer.records.size(), 1u);
    EXPECT_STREQ(observer.records[0].devName, "a");
}

TEST_F(ManagerTest, NoLibraryCallAfterShutdown) {
    manager.Shutdown();
    manager.Shutdown();
    manager.Init();
    manager.SetAutoSearch(5);
    manager.RefreshSearch(true);
    manager.RefreshSearch(false);
    EXPECT_EQ(recorder::Calls(), (std::vector<std::string>{"Initial(96)", "Quit"}));
}

// The library's thread must never call into a manager that is gone.
TEST(ManagerLifetime, DestroyingARunningManagerShutsTheLibraryDown) {
    recorder::Reset();
    {
        CLorvexManage manager;
        manager.Init();
    }
    EXPECT_EQ(recorder::Calls(), (std::vector<std::string>{"Initial(96)", "Quit"}));
    EXPECT_FALSE(recorder::Inject(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("a").c_str()))
        << "callback still registered";
    recorder::Reset();
    {
        CLorvexManage never; // not started: nothing to stop
        CLorvexManage stopped;
        stopped.Init();
        stopped.Shutdown();
    }
    EXPECT_EQ(recorder::Calls(), (std::vector<std::string>{"Initial(96)", "Quit"}));
}

TEST_F(ManagerTest, InitEmptiesTheList) {
    Event(kMacA, LORVEX_SEARCH_EVENT_ANSWER, Answer("a"));
    manager.Init();
    EXPECT_EQ(manager.GetDeviceCount(), 0u);
}

TEST(ManagerLookup, ManyDevicesAreFoundAndRemovedByExactMac) {
    recorder::Reset();
    CLorvexManage manager;
    manager.Init();
    char mac[18];
    for (int i = 0; i < 3000; ++i) {
        std::snprintf(mac, sizeof mac, "02:00:00:00:%02X:%02X", i >> 8, i & 0xFF);
        recorder::Inject(mac, LORVEX_SEARCH_EVENT_ANSWER, Answer("d" + std::to_string(i)).c_str());
    }
    for (int i = 0; i < 3000; i += 2) {
        std::snprintf(mac, sizeof mac, "02:00:00:00:%02X:%02X", i >> 8, i & 0xFF);
        recorder::Inject(mac, LORVEX_SEARCH_EVENT_GONE, "");
    }
    auto devices = manager.GetDevices();
    ASSERT_EQ(devices.size(), 1500u);
    for (size_t k = 0; k < devices.size(); ++k)
        EXPECT_STREQ(devices[k].devName, ("d" + std::to_string(2 * k + 1)).c_str());
}

} // namespace
