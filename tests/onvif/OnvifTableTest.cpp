// The camera table: which matches become rows, when a row changes or goes,
// how a camera is found by MAC or endpoint, and which card reaches it.
#include <gtest/gtest.h>

#include "OnvifTable.h"

using namespace onvif;

namespace {

using Clock = std::chrono::steady_clock;
const std::string kNvt = "{http://www.onvif.org/ver10/network/wsdl}NetworkVideoTransmitter";

Card MakeCard(const char* name, const char* ip, const char* mask) {
    Card c;
    c.name = name;
    c.index = 2;
    ParseIPv4(ip, &c.address);
    ParseIPv4(mask, &c.mask);
    return c;
}

DiscoveryMatch Camera(const std::string& endpoint, const std::vector<std::string>& xaddrs,
                      const std::string& mac = "") {
    DiscoveryMatch m;
    m.endpoint = endpoint;
    m.types = {kNvt};
    m.scopes = {"onvif://www.onvif.org/name/Gate", "onvif://www.onvif.org/hardware/X1"};
    if (!mac.empty())
        m.scopes.push_back("onvif://www.onvif.org/MAC/" + mac);
    m.xaddrs = xaddrs;
    return m;
}

const Card kEth0 = MakeCard("eth0", "192.168.1.10", "255.255.255.0");
const Card kEth1 = MakeCard("eth1", "10.9.0.2", "255.255.0.0");

TEST(OnvifTableTest, AddsChangesAndKeepsQuietWhenNothingChanged) {
    CameraTable table;
    CameraEvents events;
    const auto now = Clock::now();
    table.Heard(Camera("urn:uuid:a", {"http://192.168.1.64/onvif/device_service"}), kEth0,
                "192.168.1.64", now, 0, &events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].first, CameraEvent::Added);
    const CameraRecord& r = events[0].second;
    EXPECT_EQ(r.name, "Gate");
    EXPECT_EQ(r.hardware, "X1");
    EXPECT_EQ(r.ip, "192.168.1.64");
    EXPECT_EQ(r.port, 80);
    EXPECT_EQ(r.reach, Reach::Subnet);
    EXPECT_EQ(r.interfaceName, "eth0");
    EXPECT_EQ(r.localAddress, "192.168.1.10");
    events.clear();
    table.Heard(Camera("urn:uuid:a", {"http://192.168.1.64/onvif/device_service"}), kEth0,
                "192.168.1.64", now, 1, &events);
    EXPECT_TRUE(events.empty());
    // From another address while the first still speaks: a second
    // claimant, the row stays as it was; once the first fell silent for two
    // rounds, the camera is listed where it now speaks from.
    table.Heard(Camera("urn:uuid:a", {"http://192.168.1.65/onvif/device_service"}), kEth0,
                "192.168.1.65", now, -1, &events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].first, CameraEvent::Changed);
    EXPECT_EQ(events[0].second.ip, "192.168.1.64");
    EXPECT_TRUE(events[0].second.contested);
    events.clear();
    for (int round = 0; round < 2; ++round) {
        table.BeginRound(false, &events);
        table.Heard(Camera("urn:uuid:a", {"http://192.168.1.65/onvif/device_service"}), kEth0,
                    "192.168.1.65", now, 0, &events);
    }
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().first, CameraEvent::Changed);
    EXPECT_EQ(events.back().second.ip, "192.168.1.65");
    EXPECT_FALSE(events.back().second.contested);
}

TEST(OnvifTableTest, NonCamerasAreNeverListed) {
    CameraTable table;
    CameraEvents events;
    DiscoveryMatch printer;
    printer.endpoint = "urn:uuid:printer";
    printer.types = {"{http://schemas.microsoft.com/windows/2006/08/wdp/print}PrintDeviceType"};
    printer.xaddrs = {"http://192.168.1.20/"};
    table.Heard(printer, kEth0, "192.168.1.20", Clock::now(), 0, &events);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(table.Cameras().empty());
}

TEST(OnvifTableTest, ByeAndSilenceMakeACameraGone) {
    CameraTable table;
    CameraEvents events;
    table.BeginRound(true, &events);
    table.Heard(Camera("urn:uuid:a", {}), kEth0, "192.168.1.64", Clock::now(), 0, &events);
    table.Heard(Camera("urn:uuid:b", {}), kEth0, "192.168.1.65", Clock::now(), 0, &events);
    events.clear();
    table.Bye("urn:uuid:a", &events);
    table.Bye("urn:uuid:unknown", &events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].first, CameraEvent::Gone);
    EXPECT_EQ(events[0].second.endpoint, "urn:uuid:a");
    events.clear();
    // b said nothing in the next two rounds: gone when the third begins.
    table.BeginRound(true, &events);
    table.BeginRound(true, &events);
    EXPECT_TRUE(events.empty());
    table.BeginRound(true, &events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].second.endpoint, "urn:uuid:b");
    // A single search never drops anyone for silence.
    table.Heard(Camera("urn:uuid:c", {}), kEth0, "192.168.1.66", Clock::now(), 0, &events);
    events.clear();
    for (int i = 0; i < 5; ++i)
        table.BeginRound(false, &events);
    EXPECT_TRUE(events.empty());
}

TEST(OnvifTableTest, CountsAnswersToTheFirstTwoProbePairs) {
    CameraTable table;
    CameraEvents events;
    table.BeginRound(false, &events);
    const auto now = Clock::now();
    table.Heard(Camera("urn:uuid:a", {}), kEth0, "1.1.1.1", now, 0, &events);
    table.Heard(Camera("urn:uuid:a", {}), kEth0, "1.1.1.1", now, 1, &events);
    table.Heard(Camera("urn:uuid:b", {}), kEth0, "1.1.1.2", now, 1, &events);
    table.Heard(Camera("urn:uuid:b", {}), kEth0, "1.1.1.2", now, 1, &events);  // other type
    table.Heard(Camera("urn:uuid:c", {}), kEth0, "1.1.1.3", now, -1, &events); // Hello only
    table.Heard(Camera("urn:uuid:d", {}), kEth0, "1.1.1.4", now, 2, &events);  // a later pair
    EXPECT_EQ(table.FirstPairCounts(), std::make_pair(std::size_t{2}, std::size_t{1}));
    table.BeginRound(false, &events);
    EXPECT_EQ(table.FirstPairCounts(), std::make_pair(std::size_t{0}, std::size_t{0}));
}

TEST(OnvifTableTest, FindsByEndpointOrAnyMacFormAndKeepsDuplicateSerialsApart) {
    CameraTable table;
    CameraEvents events;
    table.Heard(Camera("urn:uuid:a", {}, "02-4f-4e-00-00-01"), kEth0, "1.1.1.1", Clock::now(), 0,
                &events);
    table.Heard(Camera("urn:uuid:b", {}), kEth0, "1.1.1.2", Clock::now(), 0, &events);
    DeviceInformation same;
    same.serial = "SN-SHARED";
    ASSERT_TRUE(table.SetInformation("urn:uuid:a", same, &events));
    ASSERT_TRUE(table.SetInformation("urn:uuid:b", same, &events));
    EXPECT_EQ(table.Cameras().size(), 2u);
    CameraRecord r;
    for (const char* key :
         {"urn:uuid:a", "02:4F:4E:00:00:01", "024f4e000001", "02-4F-4E-00-00-01"}) {
        ASSERT_TRUE(table.Find(key, &r)) << key;
        EXPECT_EQ(r.endpoint, "urn:uuid:a") << key;
    }
    EXPECT_FALSE(table.Find("02:4F:4E:00:00:02", &r));
    EXPECT_FALSE(table.Find("SN-SHARED", &r));
    // Information survives the next ProbeMatch.
    table.Heard(Camera("urn:uuid:a", {"http://1.1.1.1/"}, "02-4f-4e-00-00-01"), kEth0, "1.1.1.1",
                Clock::now(), 0, &events);
    ASSERT_TRUE(table.Find("urn:uuid:a", &r));
    EXPECT_EQ(r.info.serial, "SN-SHARED");
}

TEST(OnvifTableTest, KeepsTheCardThatReachesTheCameraBest) {
    CameraTable table;
    CameraEvents events;
    const std::vector<std::string> xaddrs = {"http://192.168.1.64/", "http://169.254.9.9/"};
    table.Heard(Camera("urn:uuid:a", xaddrs), kEth0, "192.168.1.64", Clock::now(), 0, &events);
    table.Heard(Camera("urn:uuid:a", xaddrs), kEth1, "192.168.1.64", Clock::now(), 0, &events);
    CameraRecord r;
    ASSERT_TRUE(table.Find("urn:uuid:a", &r));
    EXPECT_EQ(r.interfaceName, "eth0");
    EXPECT_EQ(r.reach, Reach::Subnet);
    // The other way round: heard first where only the link-local way works.
    CameraTable other;
    other.Heard(Camera("urn:uuid:a", xaddrs), kEth1, "192.168.1.64", Clock::now(), 0, &events);
    ASSERT_TRUE(other.Find("urn:uuid:a", &r));
    EXPECT_EQ(r.reach, Reach::LinkLocal);
    EXPECT_EQ(r.ip, "169.254.9.9");
    other.Heard(Camera("urn:uuid:a", xaddrs), kEth0, "192.168.1.64", Clock::now(), 0, &events);
    ASSERT_TRUE(other.Find("urn:uuid:a", &r));
    EXPECT_EQ(r.interfaceName, "eth0");
    EXPECT_EQ(r.reach, Reach::Subnet);
}

TEST(OnvifTableTest, RemembersWhereItHeardFrom) {
    CameraTable table;
    CameraEvents events;
    const auto t0 = Clock::now();
    table.Heard(Camera("urn:uuid:a", {"http://10.9.5.5/onvif"}), kEth1, "10.9.0.77", t0, -1,
                &events);
    Clock::time_point when;
    EXPECT_TRUE(table.HeardFrom("urn:uuid:a", "10.9.0.77", &when)); // the datagram's source
    EXPECT_TRUE(table.HeardFrom("urn:uuid:a", "10.9.5.5", &when));  // its XAddr
    EXPECT_EQ(when, t0);
    EXPECT_FALSE(table.HeardFrom("urn:uuid:a", "10.9.5.6", &when));
    EXPECT_FALSE(table.HeardFrom("urn:uuid:b", "10.9.5.5", &when));
}

// A host copying a camera's endpoint or MAC makes the camera contested, so
// that nobody is logged in to; a claimant silent for two rounds, or the
// camera's own move, lifts it.
TEST(OnvifTableTest, TwoHostsClaimingOneCameraContestIt) {
    CameraTable table;
    CameraEvents events;
    const auto now = Clock::now();
    const auto heard = [&](const char* endpoint, const char* ip, const std::string& mac = "") {
        table.Heard(Camera(endpoint, {std::string("http://") + ip + "/onvif/device_service"}, mac),
                    kEth0, ip, now, 0, &events);
    };
    const auto find = [&](const std::string& key) {
        CameraRecord r;
        EXPECT_TRUE(table.Find(key, &r)) << key;
        return r;
    };
    heard("urn:uuid:real", "192.168.1.64", "02:00:00:00:00:01");
    EXPECT_FALSE(find("urn:uuid:real").contested);
    EXPECT_EQ(find("urn:uuid:real").source, "192.168.1.64");
    // The same endpoint from a second host: whichever spoke last, contested.
    heard("urn:uuid:real", "192.168.1.99", "02:00:00:00:00:01");
    CameraRecord r = find("urn:uuid:real");
    EXPECT_TRUE(r.contested);
    EXPECT_EQ(r.claimants, (std::vector<std::string>{"192.168.1.64", "192.168.1.99"}));
    ASSERT_FALSE(events.empty());
    EXPECT_TRUE(events.back().second.contested); // the window hears of it
    // The copier falls silent: two rounds later the contest is over.
    events.clear();
    table.BeginRound(false, &events);
    heard("urn:uuid:real", "192.168.1.64", "02:00:00:00:00:01");
    EXPECT_TRUE(find("urn:uuid:real").contested);
    table.BeginRound(false, &events);
    heard("urn:uuid:real", "192.168.1.64", "02:00:00:00:00:01");
    table.BeginRound(false, &events);
    EXPECT_FALSE(find("urn:uuid:real").contested);
    // Another endpoint with the camera's MAC: contested however it is
    // named (the window keys a row by the MAC whoever came first).
    heard("urn:uuid:copy", "192.168.1.98", "02-00-00-00-00-01");
    for (const char* key : {"02:00:00:00:00:01", "urn:uuid:real", "urn:uuid:copy"}) {
        r = find(key);
        EXPECT_TRUE(r.contested) << key;
        EXPECT_EQ(r.claimants, (std::vector<std::string>{"192.168.1.64", "192.168.1.98"})) << key;
    }
    EXPECT_EQ(find("02:00:00:00:00:01").endpoint, "urn:uuid:real"); // the first heard
    table.Bye("urn:uuid:copy", &events);
    EXPECT_FALSE(find("urn:uuid:real").contested);
    // The camera re-addressed by this tool and heard at its new address.
    heard("urn:uuid:real", "192.168.1.70", "02:00:00:00:00:01");
    EXPECT_TRUE(find("urn:uuid:real").contested);
    events.clear();
    table.Moved("urn:uuid:real", "192.168.1.70", &events);
    EXPECT_FALSE(find("urn:uuid:real").contested);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].first, CameraEvent::Changed);
}

TEST(OnvifTableTest, XAddrsOfAnotherHostLeaveTheCameraOutOfReach) {
    CameraTable table;
    CameraEvents events;
    table.Heard(Camera("urn:uuid:r", {"http://192.168.1.64/onvif/device_service"}), kEth0,
                "192.168.1.99", Clock::now(), 0, &events);
    CameraRecord r;
    ASSERT_TRUE(table.Find("urn:uuid:r", &r));
    EXPECT_EQ(r.reach, Reach::None);
    EXPECT_TRUE(r.xaddr.empty());
    EXPECT_TRUE(r.pointsElsewhere);
    EXPECT_EQ(r.source, "192.168.1.99");
}

} // namespace

// The MAC a camera tells once logged in fills only an empty one, survives
// the next match without a MAC scope, and makes the camera findable by it.
TEST(OnvifTableTest, AMacLearntAfterLoginIsKept) {
    CameraTable table;
    CameraEvents events;
    table.Heard(Camera("urn:uuid:a", {}), kEth0, "1.1.1.1", Clock::now(), 0, &events);
    table.Heard(Camera("urn:uuid:b", {}, "02:4F:4E:00:00:0B"), kEth0, "1.1.1.2", Clock::now(), 0,
                &events);
    events.clear();
    EXPECT_FALSE(table.SetMac("urn:uuid:a", "not a mac", &events));
    EXPECT_FALSE(table.SetMac("urn:uuid:unknown", "02:4F:4E:00:00:0A", &events));
    EXPECT_FALSE(table.SetMac("urn:uuid:b", "02:4F:4E:00:00:99", &events)); // the scopes' stays
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(table.SetMac("urn:uuid:a", "02-4f-4e-00-00-0a", &events));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].first, CameraEvent::Changed);
    EXPECT_EQ(events[0].second.mac, "02:4F:4E:00:00:0A");
    events.clear();
    table.Heard(Camera("urn:uuid:a", {}), kEth0, "1.1.1.1", Clock::now(), 1, &events);
    EXPECT_TRUE(events.empty()); // nothing changed: the learnt MAC stays
    CameraRecord r;
    ASSERT_TRUE(table.Find("02:4F:4E:00:00:0A", &r));
    EXPECT_EQ(r.endpoint, "urn:uuid:a");
    CameraRecord b;
    ASSERT_TRUE(table.Find("urn:uuid:b", &b));
    EXPECT_EQ(b.mac, "02:4F:4E:00:00:0B");
}
