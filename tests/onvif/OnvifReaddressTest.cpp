// Re-addressing one camera through the SOAP seam: the calls in their order,
// RebootNeeded, the failures of each step, a camera out of reach, and the
// verification that ends as "not confirmed" when the camera stays silent
// (the search here is not started, so nothing is ever heard).
#include <gtest/gtest.h>

#include <ctime>
#include <deque>

#include "OnvifMessages.h"
#include "OnvifReaddress.h"
#include "SoapTransport.h"

using namespace onvif;

namespace {

class Camera {
public:
    explicit Camera(std::deque<std::pair<long, std::string>> replies)
        : replies(std::move(replies)) {
        m_previous = SetSoapPostFunction([this](const SoapPostRequest& r, SoapPostReply* out) {
            const size_t slash = r.action.rfind('/');
            actions.push_back(r.action.substr(slash + 1));
            hosts.push_back(r.host);
            bodies.push_back(r.body);
            if (this->replies.empty())
                return SoapPostResult::NoAnswer;
            out->status = this->replies.front().first;
            out->body = this->replies.front().second;
            this->replies.pop_front();
            return SoapPostResult::Answered;
        });
    }
    ~Camera() { SetSoapPostFunction(m_previous); }
    std::deque<std::pair<long, std::string>> replies;
    std::vector<std::string> actions, hosts, bodies;

private:
    SoapPostFunction m_previous;
};

// The camera's clock: this computer's (a clock off would sign no token).
std::pair<long, std::string> ClockNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    return {200, onvif_test::DateAndTime(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                                         utc.tm_hour, utc.tm_min, utc.tm_sec)};
}
const std::pair<long, std::string> kClock = ClockNow();
const std::pair<long, std::string> kInterfaces{
    200, onvif_test::NetworkInterfaces("tok0", "192.168.1.64")};
std::pair<long, std::string> SetAnswer(bool reboot) {
    return {200, onvif_test::Answer(std::string("<tds:SetNetworkInterfacesResponse><tds:"
                                                "RebootNeeded>") +
                                    (reboot ? "true" : "false") +
                                    "</tds:RebootNeeded></tds:SetNetworkInterfacesResponse>")};
}
const std::pair<long, std::string> kGateway{
    200, onvif_test::Answer("<tds:SetNetworkDefaultGatewayResponse/>")};
const std::pair<long, std::string> kReboot{
    200, onvif_test::Answer("<tds:SystemRebootResponse><tds:Message>Rebooting</tds:Message>"
                            "</tds:SystemRebootResponse>")};

CameraRecord OnSubnet() {
    CameraRecord c;
    c.endpoint = "urn:uuid:cam";
    c.xaddrs = {"http://192.168.1.64/onvif/device_service"};
    c.xaddr = c.xaddrs[0];
    c.reach = Reach::Subnet;
    c.ip = "192.168.1.64";
    c.port = 80;
    c.interfaceName = "eth0";
    c.localAddress = "192.168.1.10";
    return c;
}

ReaddressRequest Request() {
    ReaddressRequest r;
    r.ip = "192.168.1.80";
    r.prefixLength = 24;
    r.gateway = "192.168.1.1";
    r.password = MakeSharedSecret("pw", 2);
    return r;
}

const std::chrono::milliseconds kShort(100);

TEST(OnvifReaddressTest, CallsInOrderAndFollowsTheCameraToItsNewAddress) {
    Camera camera({kClock, kInterfaces, SetAnswer(false), kGateway});
    CameraSearch search;
    std::vector<ReaddressStep> steps;
    const ReaddressResult r = Readdress(
        OnSubnet(), Request(), &search, [&](ReaddressStep s) { steps.push_back(s); }, kShort,
        kShort);
    EXPECT_EQ(r.outcome, ReaddressOutcome::NotConfirmed);
    EXPECT_FALSE(r.rebooted);
    EXPECT_EQ(r.mac, "02:4F:4E:00:00:01"); // told by GetNetworkInterfaces
    const std::vector<std::string> expected = {"GetSystemDateAndTime", "GetNetworkInterfaces",
                                               "SetNetworkInterfaces", "SetNetworkDefaultGateway"};
    EXPECT_EQ(camera.actions, expected);
    EXPECT_NE(camera.bodies[2].find("tok0"), std::string::npos);
    EXPECT_NE(camera.bodies[2].find("192.168.1.80"), std::string::npos);
    // Without a reboot the camera moved at once: the gateway goes there.
    EXPECT_EQ(camera.hosts[3], "192.168.1.80");
    const std::vector<ReaddressStep> seen = {ReaddressStep::Token, ReaddressStep::SetInterfaces,
                                             ReaddressStep::SetGateway, ReaddressStep::Verifying};
    EXPECT_EQ(steps, seen);
}

TEST(OnvifReaddressTest, RebootsWhenTheCameraNeedsIt) {
    Camera camera({kClock, kInterfaces, SetAnswer(true), kGateway, kReboot});
    CameraSearch search;
    std::vector<ReaddressStep> steps;
    const ReaddressResult r = Readdress(
        OnSubnet(), Request(), &search, [&](ReaddressStep s) { steps.push_back(s); }, kShort,
        kShort);
    EXPECT_EQ(r.outcome, ReaddressOutcome::NotConfirmed);
    EXPECT_TRUE(r.rebooted);
    EXPECT_EQ(camera.actions.back(), "SystemReboot");
    EXPECT_EQ(camera.hosts[3], "192.168.1.64"); // still at the old address until it reboots
    EXPECT_NE(std::find(steps.begin(), steps.end(), ReaddressStep::Rebooting), steps.end());
}

// A closing window stops the wait for the new address (here the whole 90 s
// after a reboot) at the first look instead of waiting it out.
TEST(OnvifReaddressTest, ACancelledWaitEndsAsNotConfirmed) {
    Camera camera({kClock, kInterfaces, SetAnswer(true), kGateway, kReboot});
    CameraSearch search;
    ReaddressRequest request = Request();
    int asked = 0;
    request.cancelled = [&asked] { return ++asked > 0; };
    const ReaddressResult r = Readdress(OnSubnet(), request, &search);
    EXPECT_EQ(r.outcome, ReaddressOutcome::NotConfirmed);
    EXPECT_TRUE(r.rebooted);
    EXPECT_EQ(asked, 1);
}

TEST(OnvifReaddressTest, ALinkLocalCameraIsKeptAtItsLinkLocalAddress) {
    Camera camera({kClock, kInterfaces, SetAnswer(false), kGateway});
    CameraSearch search;
    CameraRecord c = OnSubnet();
    c.xaddr = "http://169.254.3.4/onvif/device_service";
    c.reach = Reach::LinkLocal;
    Readdress(c, Request(), &search, {}, kShort, kShort);
    for (const std::string& host : camera.hosts)
        EXPECT_EQ(host, "169.254.3.4");
}

TEST(OnvifReaddressTest, EachFailingStepSaysWhichAndWhy) {
    const auto locked = std::make_pair(
        403L, onvif_test::Fault("ter:NotAuthorized", "locked after 5 failed logins"));
    struct Case {
        const char* name;
        std::deque<std::pair<long, std::string>> replies;
        ReaddressStep step;
        Outcome call;
    };
    const Case cases[] = {
        {"no answer at all", {}, ReaddressStep::Token, Outcome::NoAnswer},
        {"wrong password",
         {kClock, {401, ""}, {401, ""}},
         ReaddressStep::Token,
         Outcome::WrongCredentials},
        {"locked", {kClock, locked}, ReaddressStep::Token, Outcome::Locked},
        {"set refused",
         {kClock, kInterfaces, {500, onvif_test::Fault("ter:InvalidIPv4Address", "bad")}},
         ReaddressStep::SetInterfaces,
         Outcome::Fault},
        {"gateway unanswered",
         {kClock, kInterfaces, SetAnswer(true)},
         ReaddressStep::SetGateway,
         Outcome::NoAnswer},
    };
    for (const Case& c : cases) {
        Camera camera(c.replies);
        CameraSearch search;
        const ReaddressResult r = Readdress(OnSubnet(), Request(), &search, {}, kShort, kShort);
        EXPECT_EQ(r.outcome, ReaddressOutcome::CallFailed) << c.name;
        EXPECT_EQ(r.step, c.step) << c.name;
        EXPECT_EQ(r.call, c.call) << c.name;
        EXPECT_FALSE(r.detail.empty()) << c.name;
    }
}

TEST(OnvifReaddressTest, OutOfReachAndBadRequestsSendNothing) {
    Camera camera({});
    CameraSearch search;
    CameraRecord foreign = OnSubnet();
    foreign.xaddr.clear();
    foreign.reach = Reach::None;
    foreign.ip = "172.16.5.9";
    ReaddressResult r = Readdress(foreign, Request(), &search, {}, kShort, kShort);
    EXPECT_EQ(r.outcome, ReaddressOutcome::OutOfReach);
    EXPECT_NE(r.detail.find("172.16.5.9"), std::string::npos);
    EXPECT_NE(r.detail.find("eth0"), std::string::npos);
    EXPECT_NE(r.detail.find("169.254"), std::string::npos);
    for (auto change : std::vector<std::function<void(ReaddressRequest*)>>{
             [](ReaddressRequest* q) { q->ip = "192.168.1"; },
             [](ReaddressRequest* q) { q->prefixLength = 0; },
             [](ReaddressRequest* q) { q->prefixLength = 33; },
             [](ReaddressRequest* q) { q->gateway = "gw"; },
             [](ReaddressRequest* q) { q->password = nullptr; }}) {
        ReaddressRequest q = Request();
        change(&q);
        EXPECT_EQ(Readdress(OnSubnet(), q, &search, {}, kShort, kShort).outcome,
                  ReaddressOutcome::BadRequest);
    }
    EXPECT_TRUE(camera.actions.empty());
}

TEST(OnvifReaddressTest, PrefixLengthOfMasks) {
    const std::pair<const char*, int> cases[] = {
        {"255.255.255.0", 24},   {"255.255.0.0", 16}, {"255.255.255.255", 32},
        {"255.255.255.128", 25}, {"0.0.0.0", 0},      {"255.0.255.0", -1},
        {"255.255.255", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PrefixLength(c.first), c.second) << c.first;
        if (c.second >= 0) {
            EXPECT_EQ(MaskOfPrefix(c.second), c.first);
        }
    }
}

// The mask is only ever the prefix of the interface carrying the camera's
// address; a refused or missing call leaves its field empty.
TEST(OnvifReaddressTest, ACameraTellsItsMaskAndGatewayOnlyWhenItKnowsThem) {
    const std::pair<long, std::string> gateway{
        200, onvif_test::Answer("<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway>"
                                "<tt:IPv6Address>fe80::1</tt:IPv6Address><tt:IPv4Address>"
                                "192.168.1.1</tt:IPv4Address></tds:NetworkGateway>"
                                "</tds:GetNetworkDefaultGatewayResponse>")};
    const std::pair<long, std::string> refused{
        500, onvif_test::Fault("ter:ActionNotSupported", "not offered")};
    const std::pair<long, std::string> locked{
        403, onvif_test::Fault("ter:NotAuthorized", "account locked")};
    struct Case {
        std::pair<long, std::string> interfaces, gateway;
        const char *ip, *mask, *gateway_;
        Outcome outcome;
    } cases[] = {
        {kInterfaces, gateway, "192.168.1.64", "255.255.255.0", "192.168.1.1", Outcome::Done},
        {kInterfaces, gateway, "192.168.1.99", "", "192.168.1.1", Outcome::Done},
        {refused, refused, "192.168.1.64", "", "", Outcome::Fault},
        {kInterfaces, refused, "192.168.1.64", "255.255.255.0", "", Outcome::NotSupported},
        // A refused log-in is not tried again: the gateway's answer stays unasked.
        {locked, gateway, "192.168.1.64", "", "", Outcome::Locked},
    };
    for (const Case& c : cases) {
        Camera camera({c.interfaces, c.gateway});
        DeviceClient client(OnSubnet().xaddr, "admin", MakeSharedSecret("pw", 2));
        DeviceInformation info;
        EXPECT_EQ(ReadCameraNetwork(&client, c.ip, &info), c.outcome) << c.ip;
        EXPECT_EQ(info.mask, c.mask) << c.ip;
        EXPECT_EQ(info.gateway, c.gateway_) << c.ip;
    }
}

// A camera two hosts claim gets nothing; one whose clock is a day ahead
// gets no token, and the result says by how much its clock is off.
TEST(OnvifReaddressTest, NothingGoesToAContestedCameraNorATokenOnAClockADayAhead) {
    {
        Camera camera({kClock, kInterfaces});
        CameraSearch search;
        CameraRecord contested = OnSubnet();
        contested.contested = true;
        contested.claimants = {"192.168.1.64", "192.168.1.99"};
        const ReaddressResult r = Readdress(contested, Request(), &search, {}, kShort, kShort);
        EXPECT_EQ(r.outcome, ReaddressOutcome::CallFailed);
        EXPECT_EQ(r.call, Outcome::Conflict);
        EXPECT_NE(r.detail.find("192.168.1.99"), std::string::npos);
        EXPECT_TRUE(camera.actions.empty());
    }
    const std::time_t tomorrow = std::time(nullptr) + 86400;
    std::tm utc{};
    gmtime_r(&tomorrow, &utc);
    const std::pair<long, std::string> ahead{
        200, onvif_test::DateAndTime(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                                     utc.tm_min, utc.tm_sec)};
    Camera camera({ahead, {401, ""}, kInterfaces});
    CameraSearch search;
    const ReaddressResult r = Readdress(OnSubnet(), Request(), &search, {}, kShort, kShort);
    EXPECT_EQ(r.call, Outcome::ClockOff);
    EXPECT_TRUE(r.clockOff);
    EXPECT_NEAR(static_cast<double>(r.clockOffset), 86400.0, 5.0);
    ASSERT_EQ(camera.bodies.size(), 2u); // the clock and the question, nothing signed
    for (const std::string& body : camera.bodies)
        EXPECT_EQ(body.find("UsernameToken"), std::string::npos);
}

} // namespace
