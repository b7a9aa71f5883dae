// The batch runner against a scripted engine: what each result code of a
// request becomes once the search has (or has not) seen the device move,
// cancelling, and no third request after two password refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>
#include <set>

#include "BatchRunner.h"
#include "LorvexManage.h"
#include "OnvifClient.h"

using namespace commission;
using namespace std::chrono_literals;

namespace {

// Devices by MAC: what a request to each returns, and whether the search
// then reports it at its new address.
class FakeEngine {
public:
    struct Device {
        int32_t code = CLorvexManage::SETNET_DONE;
        bool moves = true;   // the search sees the new address after the request
        bool listed = true;  // present in the search's list
        bool leaves = false; // drops out of the list once the request is made
    };

    void Add(const std::string& mac, Device d) { m_devices[mac] = d; }
    // A device without a password: its activation's result, and whether
    // the search then lists it activated.
    void Fresh(const std::string& mac, int32_t code, bool shows) { m_fresh[mac] = {code, shows}; }
    // A device that keeps its name whatever it is sent.
    void KeepsName(const std::string& mac) { m_keepsName.insert(mac); }

    BatchServices Services() {
        BatchServices s;
        s.send = [this](const PlanEntry& e, const std::string& password) {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_sent.push_back(e.device.mac + "/" + password);
            Device& d = m_devices[e.device.mac];
            if (d.moves)
                m_at[e.device.mac] = e;
            if (d.leaves)
                d.listed = false;
            return d.code;
        };
        s.find = [this](const std::string& mac, SEARCH_INFO* out) {
            std::lock_guard<std::mutex> hold(m_mutex);
            if (!m_devices[mac].listed)
                return false;
            *out = SEARCH_INFO{};
            const auto at = m_at.find(mac);
            const auto fresh = m_fresh.find(mac);
            out->deviceActivated = fresh != m_fresh.end() ? 1 : 0;
            if (at != m_at.end()) {
                if (m_keepsName.count(mac) == 0)
                    std::strcpy(out->devName, at->second.name.c_str());
                std::strcpy(out->ipAddr, at->second.ip.c_str());
                std::strcpy(out->mask, at->second.mask.c_str());
                std::strcpy(out->route, at->second.gateway.c_str());
            }
            return true;
        };
        s.activate = [this](const PlanEntry& e, const std::string& password) {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_sent.push_back(e.device.mac + "/activate " + e.setupCode + "/" + password);
            const auto fresh = m_fresh.find(e.device.mac);
            const int32_t code = fresh->second.first;
            if (fresh->second.second)
                m_fresh.erase(fresh);
            return code;
        };
        s.setClock = [this](const PlanEntry& e, const std::string&, const std::function<bool()>&) {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_sent.push_back(e.device.mac + "/clock " + e.ntp);
            return e.ntp == "ntp.site"
                       ? DeviceStatus{BatchState::Done}
                       : DeviceStatus{BatchState::Refused, RefusalReason::Unsupported};
        };
        s.verifyBound = 300ms;
        s.pollEvery = 5ms;
        return s;
    }

    std::vector<std::string> Sent() {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_sent;
    }

private:
    std::mutex m_mutex;
    std::map<std::string, Device> m_devices;
    std::map<std::string, PlanEntry> m_at;
    std::map<std::string, std::pair<int32_t, bool>> m_fresh;
    std::set<std::string> m_keepsName;
    std::vector<std::string> m_sent;
};

PlanEntry Entry(const std::string& mac, int host, const std::string& password = "") {
    PlanEntry e;
    e.device.mac = mac;
    e.ip = "10.0.0." + std::to_string(host);
    e.mask = "255.255.255.0";
    e.gateway = "10.0.0.1";
    e.password = password;
    return e;
}

struct Outcome {
    std::vector<DeviceStatus> last;
    std::vector<std::vector<BatchState>> seen;
    BatchSummary summary;
};

Outcome RunToEnd(BatchRunner* runner, const std::vector<PlanEntry>& plan,
                 const std::string& password = "common") {
    auto outcome = std::make_shared<Outcome>();
    outcome->last.resize(plan.size());
    outcome->seen.resize(plan.size());
    EXPECT_TRUE(runner->Start(
        plan, password,
        [outcome](size_t i, const DeviceStatus& s) {
            outcome->last[i] = s;
            outcome->seen[i].push_back(s.state);
        },
        [outcome](const BatchSummary& s) { outcome->summary = s; }));
    runner->Wait();
    return *outcome;
}

} // namespace

TEST(BatchRunnerTest, EachResultBecomesItsStatus) {
    FakeEngine engine;
    const struct {
        const char* mac;
        FakeEngine::Device device;
        BatchState state;
        RefusalReason reason;
    } cases[] = {
        {"A",
         {CLorvexManage::SETNET_DONE, true, true, false},
         BatchState::Done,
         RefusalReason::None},
        {"B",
         {CLorvexManage::SETNET_NOT_IPC, true, true, false},
         BatchState::Done,
         RefusalReason::None},
        {"C",
         {CLorvexManage::SETNET_NO_ANSWER, true, true, false},
         BatchState::Done,
         RefusalReason::None}, // the answer was lost, the move was not
        {"D",
         {CLorvexManage::SETNET_FAILED, false, true, false},
         BatchState::Refused,
         RefusalReason::Password},
        {"E",
         {CLorvexManage::SETNET_NO_ANSWER, false, true, false},
         BatchState::Refused,
         RefusalReason::NoAnswer},
        {"F",
         {CLorvexManage::SETNET_NOT_IPC, false, true, false},
         BatchState::NotConfirmed,
         RefusalReason::None},
        {"G",
         {CLorvexManage::SETNET_DONE, false, false, false},
         BatchState::Gone,
         RefusalReason::None}, // not listed: nothing is sent
        {"H",
         {CLorvexManage::SETNET_NOT_IPC, false, true, true},
         BatchState::Gone,
         RefusalReason::None}, // leaves while it is verified
        {"I", {6, false, true, false}, BatchState::Refused, RefusalReason::Rule},
        {"J", {13, false, true, false}, BatchState::Refused, RefusalReason::Other},
    };
    std::vector<PlanEntry> plan;
    for (const auto& c : cases) {
        engine.Add(c.mac, c.device);
        plan.push_back(Entry(c.mac, static_cast<int>(plan.size()) + 10));
    }
    BatchRunner runner(engine.Services());
    const Outcome outcome = RunToEnd(&runner, plan);
    for (size_t i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(outcome.last[i].state, cases[i].state) << cases[i].mac;
        EXPECT_EQ(outcome.last[i].reason, cases[i].reason) << cases[i].mac;
    }
    EXPECT_EQ(outcome.seen[0], (std::vector<BatchState>{BatchState::Sending, BatchState::Verifying,
                                                        BatchState::Done}));
    EXPECT_EQ(outcome.summary.counts.at(BatchState::Done), 3u);
    EXPECT_EQ(outcome.summary.counts.at(BatchState::Gone), 2u);
    EXPECT_FALSE(outcome.summary.AllDone(plan.size()));
    EXPECT_EQ(engine.Sent().size(), plan.size() - 1); // G was not listed
}

// A plan's steps go in order over the whole plan (every activation, then
// every name and address, then every clock); a row stops at the step that
// failed, and its status names that step.
TEST(BatchRunnerTest, PlanStepsRunInOrderAndNameTheStepThatFailed) {
    FakeEngine engine;
    const struct {
        const char* mac;
        int32_t activation; // -1: not fresh
        bool showsActivated, keepsName;
        const char *name, *ntp;
        BatchState state;
        RefusalReason reason;
        PlanStep step;
    } cases[] = {
        {"A", 0, true, false, "Gate-1", "ntp.site", BatchState::Done, RefusalReason::None,
         PlanStep::None},
        {"B", CLorvexManage::SETNET_SETUP_CODE_WRONG, false, false, "Gate-2", "",
         BatchState::Refused, RefusalReason::SetupCode, PlanStep::Activation},
        {"C", 0, false, false, "Gate-3", "", BatchState::NotConfirmed, RefusalReason::None,
         PlanStep::Activation}, // accepted, but no answer says activated
        {"D", -1, false, true, "Gate-4", "", BatchState::NotConfirmed, RefusalReason::None,
         PlanStep::Name}, // moved, but kept its name
        {"E", -1, false, false, "", "pool", BatchState::Refused, RefusalReason::Unsupported,
         PlanStep::Clock},
        {"F", -1, false, false, "", "", BatchState::Done, RefusalReason::None, PlanStep::None},
    };
    std::vector<PlanEntry> plan;
    for (const auto& c : cases) {
        engine.Add(c.mac, {});
        if (c.activation >= 0)
            engine.Fresh(c.mac, c.activation, c.showsActivated);
        if (c.keepsName)
            engine.KeepsName(c.mac);
        plan.push_back(Entry(c.mac, static_cast<int>(plan.size()) + 10));
        plan.back().setupCode = c.activation >= 0 ? "CODE" : "";
        plan.back().name = c.name;
        plan.back().ntp = c.ntp;
    }
    BatchRunner runner(engine.Services());
    const Outcome outcome = RunToEnd(&runner, plan);
    for (size_t i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(outcome.last[i].state, cases[i].state) << cases[i].mac;
        EXPECT_EQ(outcome.last[i].reason, cases[i].reason) << cases[i].mac;
        EXPECT_EQ(outcome.last[i].step, cases[i].step) << cases[i].mac;
    }
    EXPECT_EQ(StatusText(outcome.last[1]), "activation: refused (setup code wrong)");
    EXPECT_EQ(engine.Sent(), (std::vector<std::string>{
                                 "A/activate CODE/common", "B/activate CODE/common",
                                 "C/activate CODE/common", "A/common", "D/common", "E/common",
                                 "F/common", "A/clock ntp.site", "E/clock pool"}));
}

TEST(BatchRunnerTest, APlanPasswordWinsOverTheBatchOne) {
    FakeEngine engine;
    engine.Add("A", {});
    engine.Add("B", {});
    BatchRunner runner(engine.Services());
    const Outcome outcome = RunToEnd(&runner, {Entry("A", 10, "own"), Entry("B", 11)});
    EXPECT_EQ(engine.Sent(), (std::vector<std::string>{"A/own", "B/common"}));
    EXPECT_TRUE(outcome.summary.AllDone(2));
}

TEST(BatchRunnerTest, CancelStopsAfterTheDeviceInFlight) {
    FakeEngine engine;
    for (const char* mac : {"A", "B", "C"})
        engine.Add(mac, {CLorvexManage::SETNET_NOT_IPC, false, true, false});
    BatchServices services = engine.Services();
    BatchRunner* self = nullptr;
    const auto send = services.send;
    services.send = [&](const PlanEntry& e, const std::string& p) {
        self->Cancel(); // the user cancels while A's request is out
        return send(e, p);
    };
    BatchRunner runner(services);
    self = &runner;
    const Outcome outcome = RunToEnd(&runner, {Entry("A", 10), Entry("B", 11), Entry("C", 12)});
    EXPECT_EQ(engine.Sent().size(), 1u);
    EXPECT_EQ(outcome.last[0].state, BatchState::NotConfirmed);
    for (size_t i : {1u, 2u}) {
        EXPECT_EQ(outcome.last[i].state, BatchState::Skipped);
        EXPECT_TRUE(outcome.last[i].cancelled);
    }
}

// The clock alone: every request first, then the accepted ones read back
// together. Stopped while C's request is out: D is skipped, a clock read
// otherwise (B) or not read by then (C) is not confirmed.
TEST(BatchRunnerTest, ClockBatchReadsBackAfterEveryRequest) {
    FakeEngine engine;
    std::vector<std::string> log;
    BatchServices services = engine.Services();
    services.request = BatchRequest::Clock;
    BatchRunner* self = nullptr;
    services.setClock = [&](const PlanEntry& e, const std::string&, const std::function<bool()>&) {
        log.push_back("set " + e.device.mac);
        if (e.device.mac == "C")
            self->Cancel();
        return DeviceStatus{BatchState::Verifying};
    };
    services.clockRead = [&](const PlanEntry& e) -> std::optional<bool> {
        log.push_back("read " + e.device.mac);
        return e.device.mac == "C" ? std::optional<bool>()
                                   : std::optional<bool>(e.device.mac == "A");
    };
    BatchRunner runner(services);
    self = &runner;
    const Outcome o =
        RunToEnd(&runner, {Entry("A", 10), Entry("B", 11), Entry("C", 12), Entry("D", 13)});
    EXPECT_EQ(log,
              (std::vector<std::string>{"set A", "set B", "set C", "read A", "read B", "read C"}));
    const BatchState want[] = {BatchState::Done, BatchState::NotConfirmed, BatchState::NotConfirmed,
                               BatchState::Skipped};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(o.last[i].state, want[i]) << i;
    EXPECT_TRUE(o.last[3].cancelled);
    EXPECT_EQ(o.seen[0][1], BatchState::Verifying);
    // A password refused twice gets no third clock request.
    services.setClock = [&](const PlanEntry& e, const std::string&, const std::function<bool()>&) {
        log.push_back("set " + e.device.mac);
        return DeviceStatus{BatchState::Refused, RefusalReason::Password};
    };
    BatchRunner refusing(services);
    log.clear();
    for (int run = 0; run < 3; ++run)
        RunToEnd(&refusing, {Entry("A", 10)});
    EXPECT_EQ(log.size(), 2u);
    EXPECT_TRUE(RunToEnd(&refusing, {Entry("A", 10)}).last[0].refusedTwice);
}

TEST(BatchRunnerTest, NoThirdRequestAfterTwoPasswordRefusals) {
    FakeEngine engine;
    engine.Add("A", {CLorvexManage::SETNET_FAILED, false, true, false});
    engine.Add("B", {});
    BatchRunner runner(engine.Services());
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(RunToEnd(&runner, {Entry("A", 10)}).last[0].reason, RefusalReason::Password);
    const Outcome third = RunToEnd(&runner, {Entry("A", 10), Entry("B", 11)});
    EXPECT_EQ(third.last[0].state, BatchState::Skipped);
    EXPECT_TRUE(third.last[0].refusedTwice);
    EXPECT_EQ(third.last[1].state, BatchState::Done);
    EXPECT_EQ(engine.Sent(), (std::vector<std::string>{"A/common", "A/common", "B/common"}));
}

TEST(BatchRunnerTest, StatusTextsAreStable) {
    DeviceStatus s;
    s.state = BatchState::Refused;
    s.reason = RefusalReason::Rule;
    s.code = 6;
    EXPECT_EQ(StatusText(s), "refused (rule 6)");
    s = {BatchState::NotConfirmed, RefusalReason::None, 11, false, false};
    EXPECT_EQ(StatusText(s), "not confirmed");
    // A picture's outcomes, in the words of the outcome CSV.
    EXPECT_EQ(StatusText(RefusalStatus(lorvex::Outcome::CameraPictureTooLarge)),
              "refused (picture unreadable)");
    EXPECT_EQ(StatusText(RefusalStatus(lorvex::Outcome::NoPicture)),
              "refused (not supported by this device)");
    // A camera stopped between its calls refused nothing.
    EXPECT_EQ(StatusText(CameraRefusal(onvif::Outcome::Cancelled)), "not confirmed");
    EXPECT_TRUE(BatchSummary{}.AllDone(0)); // an empty plan leaves nothing undone
    EXPECT_EQ(VerifyBoundFor(5), 25000ms);
    EXPECT_EQ(VerifyBoundFor(0), 25000ms);
}

namespace {

// Devices for an activation batch: the search's activation flag of each and
// what Activate returns; a device that accepts shows as activated after.
class FakeActivation {
public:
    struct Device {
        int32_t code = CLorvexManage::SETNET_DONE;
        int32_t activated = 1; // the search's flag: 1 not activated, 0 activated
        bool listed = true;
        bool showsActivated = true; // the search sees it activated after the request
    };
    void Add(const std::string& mac, Device d) { m_devices[mac] = d; }

    BatchServices Services() {
        BatchServices s;
        s.request = BatchRequest::Activation;
        s.send = [this](const PlanEntry& e, const std::string& password) {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_sent.push_back(e.device.mac + "/" + password);
            m_codes.push_back(e.setupCode);
            Device& d = m_devices[e.device.mac];
            if (d.showsActivated)
                d.activated = 0;
            return d.code;
        };
        s.find = [this](const std::string& mac, SEARCH_INFO* out) {
            std::lock_guard<std::mutex> hold(m_mutex);
            const Device& d = m_devices[mac];
            *out = SEARCH_INFO{};
            out->deviceActivated = d.activated;
            return d.listed;
        };
        s.verifyBound = 200ms;
        s.pollEvery = 5ms;
        return s;
    }
    std::vector<std::string> Sent() {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_sent;
    }
    // The setup code each request carried, in the order of Sent().
    std::vector<std::string> Codes() {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_codes;
    }

private:
    std::mutex m_mutex;
    std::map<std::string, Device> m_devices;
    std::vector<std::string> m_sent;
    std::vector<std::string> m_codes;
};

// An activation entry with the device's setup code (a stand-in: the
// runner only passes it on).
PlanEntry CodedEntry(const std::string& mac, const std::string& password = "") {
    PlanEntry e = Entry(mac, 10, password);
    e.setupCode = "code-of-" + mac;
    return e;
}

} // namespace

TEST(BatchRunnerTest, ActivationOutcomes) {
    using C = CLorvexManage;
    const struct {
        const char* mac;
        FakeActivation::Device device;
        BatchState state;
        RefusalReason reason;
        bool sent;
    } cases[] = {
        {"00:00:00:00:00:01", {}, BatchState::Done, RefusalReason::None, true},
        // Active before the batch reached it: skipped without a request.
        {"00:00:00:00:00:02",
         {C::SETNET_DONE, 0, true, true},
         BatchState::Skipped,
         RefusalReason::AlreadyActive,
         false},
        // Activated by someone else between the search and the request.
        {"00:00:00:00:00:03",
         {C::SETNET_ALREADY_ACTIVE, 1, true, false},
         BatchState::Refused,
         RefusalReason::AlreadyActive,
         true},
        {"00:00:00:00:00:04",
         {C::SETNET_WEAK_PASSWORD, 1, true, false},
         BatchState::Refused,
         RefusalReason::WeakPassword,
         true},
        {"00:00:00:00:00:05",
         {C::SETNET_UNVERIFIED, 1, true, false},
         BatchState::Refused,
         RefusalReason::Identity,
         true},
        {"00:00:00:00:00:06",
         {C::SETNET_LOCKED, 1, true, false},
         BatchState::Refused,
         RefusalReason::Locked,
         true},
        // The acceptance was lost, but the search sees the device activated.
        {"00:00:00:00:00:07",
         {C::SETNET_NO_ANSWER, 1, true, true},
         BatchState::Done,
         RefusalReason::None,
         true},
        // Silent, and still not activated when the bound ends.
        {"00:00:00:00:00:08",
         {C::SETNET_NO_ANSWER, 1, true, false},
         BatchState::Refused,
         RefusalReason::NoAnswer,
         true},
        {"00:00:00:00:00:09",
         {C::SETNET_FAILED, 1, true, false},
         BatchState::Refused,
         RefusalReason::Other,
         true},
        {"00:00:00:00:00:0A",
         {C::SETNET_DONE, 1, false, false},
         BatchState::Gone,
         RefusalReason::None,
         false},
        {"00:00:00:00:00:0B",
         {C::SETNET_SETUP_CODE_WRONG, 1, true, false},
         BatchState::Refused,
         RefusalReason::SetupCode,
         true},
        // No code for it: a request would only count a wrong try.
        {"00:00:00:00:00:0C",
         {C::SETNET_DONE, 1, true, true},
         BatchState::Skipped,
         RefusalReason::NoSetupCode,
         false},
    };
    FakeActivation engine;
    std::vector<PlanEntry> plan;
    for (const auto& c : cases) {
        engine.Add(c.mac, c.device);
        plan.push_back(CodedEntry(c.mac));
    }
    plan.back().setupCode.clear();
    BatchRunner runner(engine.Services());
    const Outcome outcome = RunToEnd(&runner, plan, "Start1234x");
    const std::vector<std::string> sent = engine.Sent();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].mac);
        EXPECT_EQ(outcome.last[i].state, cases[i].state);
        EXPECT_EQ(outcome.last[i].reason, cases[i].reason);
        const bool wasSent = std::find(sent.begin(), sent.end(),
                                       std::string(cases[i].mac) + "/Start1234x") != sent.end();
        EXPECT_EQ(wasSent, cases[i].sent);
    }
    EXPECT_EQ(StatusText(outcome.last[1]), "skipped (already active)");
    EXPECT_EQ(StatusText(outcome.last[3]), "refused (weak password)");
    EXPECT_EQ(StatusText(outcome.last[10]), "refused (setup code wrong)");
    EXPECT_EQ(StatusText(outcome.last[11]), "skipped (no setup code)");
    EXPECT_FALSE(outcome.summary.AllDone(plan.size()));
    // Each request carried its own device's code.
    for (size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(engine.Codes()[i], "code-of-" + sent[i].substr(0, 17));
}

// A wrong code counts toward the device's lock-out like a wrong password:
// after two, no run sends it a third.
TEST(BatchRunnerTest, NoThirdActivationAfterTwoCodeRefusals) {
    FakeActivation engine;
    engine.Add("00:00:00:00:00:01", {CLorvexManage::SETNET_SETUP_CODE_WRONG, 1, true, false});
    engine.Add("00:00:00:00:00:02", {});
    BatchRunner runner(engine.Services());
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(RunToEnd(&runner, {CodedEntry("00:00:00:00:00:01")}, "Start1234x").last[0].reason,
                  RefusalReason::SetupCode);
    const Outcome third = RunToEnd(
        &runner, {CodedEntry("00:00:00:00:00:01"), CodedEntry("00:00:00:00:00:02")}, "Start1234x");
    EXPECT_EQ(third.last[0].state, BatchState::Skipped);
    EXPECT_TRUE(third.last[0].refusedTwice);
    EXPECT_EQ(StatusText(third.last[0]), "skipped (setup code refused twice)");
    EXPECT_EQ(third.last[1].state, BatchState::Done);
    EXPECT_EQ(engine.Sent().size(), 3u);
}

TEST(BatchRunnerTest, ActivationSendsEachDeviceItsOwnPassword) {
    FakeActivation engine;
    std::vector<PlanEntry> plan;
    for (const char* mac : {"00:00:00:00:00:01", "00:00:00:00:00:02"}) {
        engine.Add(mac, {});
        plan.push_back(CodedEntry(mac, std::string("own-") + mac));
    }
    BatchRunner runner(engine.Services());
    const Outcome outcome = RunToEnd(&runner, plan, "");
    EXPECT_TRUE(outcome.summary.AllDone(plan.size()));
    EXPECT_EQ(engine.Sent(), (std::vector<std::string>{"00:00:00:00:00:01/own-00:00:00:00:00:01",
                                                       "00:00:00:00:00:02/own-00:00:00:00:00:02"}));
}

namespace {

// Cameras ("cam..." keys) go through readdressOther with a scripted final
// status; their progress is Verifying, and Rebooting for "cam-reboot".
BatchServices MixedServices(FakeEngine* engine, std::map<std::string, DeviceStatus> finals,
                            std::vector<std::string>* cameraCalls) {
    BatchServices s = engine->Services();
    s.readdressOther = [finals,
                        cameraCalls](const PlanEntry& e, const BatchServices::ProgressFn& progress,
                                     const std::function<bool()>& cancelled, DeviceStatus* out) {
        if (e.device.mac.rfind("cam", 0) != 0)
            return false;
        cameraCalls->push_back(e.device.mac + "->" + e.ip);
        if (e.device.mac == "cam-reboot")
            progress({BatchState::Rebooting, RefusalReason::None, 0, false, false});
        progress({BatchState::Verifying, RefusalReason::None, 0, false, false});
        *out = cancelled()
                   ? DeviceStatus{BatchState::NotConfirmed, RefusalReason::None, 0, false, false}
                   : finals.at(e.device.mac);
        return true;
    };
    return s;
}

} // namespace

// A mixed plan: the maker's devices through send and find, cameras through
// their own workflow, in plan order, each camera's progress on show.
TEST(BatchRunnerTest, CamerasOfAMixedPlanGoTheirOwnWay) {
    FakeEngine engine;
    engine.Add("A", {});
    engine.Add("B", {CLorvexManage::SETNET_FAILED, false, true, false});
    const DeviceStatus done{BatchState::Done, RefusalReason::None, 0, false, false};
    const DeviceStatus refused{BatchState::Refused, RefusalReason::Credentials, 0, false, false};
    std::vector<std::string> cameraCalls;
    BatchRunner runner(
        MixedServices(&engine, {{"cam-reboot", done}, {"cam-wrong", refused}}, &cameraCalls));
    const Outcome outcome = RunToEnd(
        &runner, {Entry("A", 10), Entry("cam-reboot", 11), Entry("cam-wrong", 12), Entry("B", 13)});
    EXPECT_EQ(engine.Sent(), (std::vector<std::string>{"A/common", "B/common"}));
    EXPECT_EQ(cameraCalls,
              (std::vector<std::string>{"cam-reboot->10.0.0.11", "cam-wrong->10.0.0.12"}));
    EXPECT_EQ(outcome.last[0].state, BatchState::Done);
    EXPECT_EQ(outcome.seen[1], (std::vector<BatchState>{BatchState::Sending, BatchState::Rebooting,
                                                        BatchState::Verifying, BatchState::Done}));
    EXPECT_EQ(outcome.last[2].reason, RefusalReason::Credentials);
    EXPECT_EQ(StatusText(outcome.last[2]), "refused (wrong credentials)");
    EXPECT_EQ(outcome.last[3].reason, RefusalReason::Password);
    EXPECT_EQ(outcome.summary.counts.at(BatchState::Done), 2u);
    EXPECT_EQ(outcome.summary.counts.at(BatchState::Refused), 2u);
}

// A camera login refused twice is not tried a third time (a lock-out guard,
// as for the maker's passwords); a cancelled batch ends a camera's wait.
TEST(BatchRunnerTest, CameraLoginRefusedTwiceAndCancel) {
    FakeEngine engine;
    const DeviceStatus refused{BatchState::Refused, RefusalReason::Credentials, 0, false, false};
    std::vector<std::string> cameraCalls;
    BatchServices services = MixedServices(&engine, {{"cam-wrong", refused}}, &cameraCalls);
    BatchRunner runner(services);
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(RunToEnd(&runner, {Entry("cam-wrong", 10)}).last[0].state, BatchState::Refused);
    const Outcome third = RunToEnd(&runner, {Entry("cam-wrong", 10)});
    EXPECT_TRUE(third.last[0].refusedTwice);
    EXPECT_EQ(cameraCalls.size(), 2u);

    BatchRunner* self = nullptr;
    const auto other = services.readdressOther;
    services.readdressOther = [&](const PlanEntry& e, const BatchServices::ProgressFn& p,
                                  const std::function<bool()>& c, DeviceStatus* out) {
        self->Cancel();
        return other(e, p, c, out);
    };
    BatchRunner cancelling(services);
    self = &cancelling;
    const Outcome cancelled =
        RunToEnd(&cancelling, {Entry("cam-wrong", 10), Entry("cam-other", 11)});
    EXPECT_EQ(cancelled.last[0].state, BatchState::NotConfirmed);
    EXPECT_TRUE(cancelled.last[1].cancelled);
}
