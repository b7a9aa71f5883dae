// The simulated camera's device service through plain calls: answers,
// both login forms, the lock, the camera clock and re-addressing.

#include <gtest/gtest.h>

#include <sodium.h>

#include <map>
#include <string>

#include "Fleet.h"
#include "OnvifDeviceService.h"

namespace {

using namespace devsim;
using onvif::Effect;

constexpr std::int64_t kHostEpoch = 1800000000; // 2027-01-15T08:00:00Z

const std::string kSecurityNs =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
const std::string kUtilityNs =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";

Device Camera(OnvifAuth auth = OnvifAuth::Both) {
    Device d = GenerateOnvifCamera(FleetPlan{}, 0, kHostEpoch);
    d.password = "secret";
    d.ip = "192.168.1.70";
    d.mask = "255.255.255.0";
    d.onvif.auth = auth;
    return d;
}

std::string ToBase64(const std::string& bytes) {
    std::string out(sodium_base64_encoded_len(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                      bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    out.resize(out.size() - 1);
    return out;
}

// A WS-UsernameToken header signed the way a client signs it.
std::string Token(const std::string& user, const std::string& password, const std::string& nonce,
                  std::int64_t created) {
    const std::string createdText = onvif::FormatDateTime(created);
    return "<s:Header><wsse:Security xmlns:wsse=\"" + kSecurityNs + "\" xmlns:wsu=\"" + kUtilityNs +
           "\"><wsse:UsernameToken><wsse:Username>" + user +
           "</wsse:Username><wsse:Password "
           "Type=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">" +
           onvif::PasswordDigest(nonce, createdText, password) + "</wsse:Password><wsse:Nonce>" +
           ToBase64(nonce) + "</wsse:Nonce><wsu:Created>" + createdText +
           "</wsu:Created></wsse:UsernameToken></wsse:Security></s:Header>";
}

onvif::Request Soap(const std::string& operation, const std::string& header = "") {
    onvif::Request r;
    r.body =
        "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
        "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" "
        "xmlns:tt=\"http://www.onvif.org/ver10/schema\">" +
        header + "<s:Body>" + operation + "</s:Body></s:Envelope>";
    return r;
}

// A request signed with a fresh nonce at the camera's own clock.
onvif::Request Signed(const Device& d, const std::string& operation,
                      const std::string& password = "secret") {
    static int counter = 0;
    const std::string nonce = "nonce-" + std::to_string(++counter) + "-0123456789";
    return Soap(operation, Token("admin", password, nonce, kHostEpoch + d.onvif.clockOffset));
}

onvif::Response Call(Device* d, const onvif::Request& r,
                     Clock::time_point now = Clock::time_point{}) {
    return onvif::Handle(d, r, kHostEpoch, now);
}

bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

TEST(OnvifHashes, MatchKnownValues) {
    EXPECT_EQ(onvif::Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(onvif::PasswordDigest("0123456789abcdef", "2026-01-01T00:00:00Z", "pw"),
              "IovE0abT/qWNw3g64ns/dpLJPqg=");
}

TEST(OnvifDateTime, ReadsTheFormsClientsSend) {
    const struct {
        const char* text;
        bool ok;
        std::int64_t epoch;
    } cases[] = {
        {"2027-01-15T08:00:00Z", true, kHostEpoch},
        {"2027-01-15T08:00:00.123Z", true, kHostEpoch},
        {"2027-01-15T10:00:00+02:00", true, kHostEpoch},
        {"2027-01-15T07:30:00-00:30", true, kHostEpoch},
        {"2027-01-15T08:00:00", true, kHostEpoch}, // no zone: taken as UTC
        {"2027-01-15 08:00:00Z", false, 0},
        {"2027-13-15T08:00:00Z", false, 0},
        {"2027-01-15T08:00:00.Z", false, 0},
        {"2027-01-15T08:00:00+2:00", false, 0},
        {"2027-01-15T08:00:00Zjunk", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        std::int64_t epoch = 0;
        EXPECT_EQ(onvif::ParseDateTime(c.text, &epoch), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(epoch, c.epoch) << c.text;
        }
    }
    EXPECT_EQ(onvif::FormatDateTime(kHostEpoch), "2027-01-15T08:00:00Z");
}

TEST(OnvifService, AnswersEachOperation) {
    const struct {
        const char* operation;
        int status;
        const char* expected;
    } cases[] = {
        {"<tds:GetDeviceInformation/>", 200, "<tds:SerialNumber>SN024F4E000001</tds:SerialNumber>"},
        {"<tds:GetDeviceInformation/>", 200, "<tds:Model>SC-2040</tds:Model>"},
        {"<tds:GetNetworkInterfaces/>", 200, "<tt:HwAddress>02:4f:4e:00:00:01</tt:HwAddress>"},
        {"<tds:GetNetworkInterfaces/>", 200,
         "<tt:Address>192.168.1.70</tt:Address><tt:PrefixLength>24</tt:PrefixLength>"},
        {"<tds:GetNetworkInterfaces/>", 200, "token=\"eth0\""},
        {"<tds:GetNetworkDefaultGateway/>", 200, "<tt:IPv4Address>192.168.1.1</tt:IPv4Address>"},
        {"<tds:SystemReboot/>", 200, "<tds:Message>Rebooting in 3 seconds</tds:Message>"},
        {"<tds:GetUsers/>", 500, "ter:ActionNotSupported"},
        {"<x:Frob xmlns:x=\"urn:other\"/>", 500, "ter:ActionNotSupported"},
        {"<tds:SetNetworkDefaultGateway><tds:IPv4Address>999.1.1.1</tds:IPv4Address>"
         "</tds:SetNetworkDefaultGateway>",
         400, "ter:InvalidArgVal"},
    };
    for (const auto& c : cases) {
        Device d = Camera();
        const onvif::Response r = Call(&d, Signed(d, c.operation));
        EXPECT_EQ(r.status, c.status) << c.operation;
        EXPECT_TRUE(Has(r.body, c.expected)) << c.operation << "\n" << r.body;
    }
}

TEST(OnvifService, RefusesWhatIsNotARequest) {
    for (const char* body :
         {"", "not xml", "<s:Envelope xmlns:s=\"urn:wrong\"><s:Body/></s:Envelope>",
          "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">"
          "<s:Body></s:Body></s:Envelope>"}) {
        Device d = Camera(OnvifAuth::Wsse);
        onvif::Request r;
        r.body = body;
        const onvif::Response answer = Call(&d, r);
        EXPECT_EQ(answer.status, 400) << body;
        EXPECT_TRUE(Has(answer.body, "ter:WellFormed")) << body;
    }
}

TEST(OnvifService, ChallengesABodilessFirstDigestRequest) {
    Device d = Camera(OnvifAuth::Both);
    onvif::Request r;
    const onvif::Response first = Call(&d, r);
    EXPECT_EQ(first.status, 401);
    EXPECT_TRUE(Has(first.wwwAuthenticate, "Digest realm="));
    EXPECT_EQ(d.onvif.wrongLogins, 0);
    r.authorization = "Digest username=\"admin\"";
    EXPECT_EQ(Call(&d, r).status, 400) << "with credentials, an empty body is just malformed";
}

TEST(OnvifService, ClockNeedsNoLoginAndRunsAtTheOffset) {
    Device d = Camera();
    d.onvif.clockOffset = 7200;
    const onvif::Response r = Call(&d, Soap("<tds:GetSystemDateAndTime/>"));
    EXPECT_EQ(r.status, 200);
    // Host time is 08:00 UTC; the camera says 10:00.
    EXPECT_TRUE(
        Has(r.body, "<tt:UTCDateTime><tt:Time><tt:Hour>10</tt:Hour><tt:Minute>0</tt:Minute>"))
        << r.body;
    EXPECT_TRUE(Has(r.body, "<tt:Year>2027</tt:Year><tt:Month>1</tt:Month><tt:Day>15</tt:Day>"));
}

TEST(OnvifService, UsernameTokenCreatedMustLieNearTheCameraClock) {
    const struct {
        std::int64_t offset;  // camera clock ahead of the host
        std::int64_t created; // relative to the host
        int status;
    } cases[] = {
        {0, 0, 200},    {0, 299, 200},     {0, -299, 200},      {0, 301, 401},   {0, -301, 401},
        {7200, 0, 401}, {7200, 7200, 200}, {-7200, -7190, 200}, {-7200, 0, 401},
    };
    for (const auto& c : cases) {
        Device d = Camera();
        d.onvif.clockOffset = c.offset;
        const auto r =
            Call(&d, Soap("<tds:GetDeviceInformation/>",
                          Token("admin", "secret", "n1-0123456789", kHostEpoch + c.created)));
        EXPECT_EQ(r.status, c.status) << c.offset << " " << c.created;
        EXPECT_EQ(d.onvif.wrongLogins, 0) << "a clock mismatch is no wrong password";
    }
}

TEST(OnvifService, UsernameTokenRefusesWrongUserPasswordAndReplays) {
    Device d = Camera();
    EXPECT_EQ(Call(&d, Soap("<tds:GetDeviceInformation/>",
                            Token("root", "secret", "u1-0123456789", kHostEpoch)))
                  .status,
              401);
    EXPECT_EQ(Call(&d, Soap("<tds:GetDeviceInformation/>",
                            Token("admin", "wrong", "u2-0123456789", kHostEpoch)))
                  .status,
              401);
    EXPECT_EQ(d.onvif.wrongLogins, 2);
    // No user name: asked, not guessed.
    EXPECT_EQ(
        Call(&d, Soap("<tds:GetHostname/>", Token("", "", "u0-0123456789", kHostEpoch))).status,
        401);
    EXPECT_EQ(d.onvif.wrongLogins, 2);
    const onvif::Request once =
        Soap("<tds:GetDeviceInformation/>", Token("admin", "secret", "u3-0123456789", kHostEpoch));
    EXPECT_EQ(Call(&d, once).status, 200);
    EXPECT_EQ(d.onvif.wrongLogins, 0);
    // The same nonce again, even with a new Created, is a replay.
    EXPECT_EQ(Call(&d, once).status, 401);
    EXPECT_EQ(Call(&d, Soap("<tds:GetDeviceInformation/>",
                            Token("admin", "secret", "u3-0123456789", kHostEpoch + 1)))
                  .status,
              401);
    EXPECT_EQ(d.onvif.wrongLogins, 0);
    // Forgotten after five minutes.
    EXPECT_EQ(Call(&d, once, Clock::time_point{} + std::chrono::minutes(6)).status, 200);
}

TEST(OnvifService, MissingLoginIsChallengedPerAuthForm) {
    const struct {
        OnvifAuth auth;
        bool challenge;
    } cases[] = {{OnvifAuth::Both, true}, {OnvifAuth::Digest, true}, {OnvifAuth::Wsse, false}};
    for (const auto& c : cases) {
        Device d = Camera(c.auth);
        const auto r = Call(&d, Soap("<tds:GetDeviceInformation/>"));
        EXPECT_EQ(r.status, 401);
        EXPECT_TRUE(Has(r.body, "ter:NotAuthorized"));
        EXPECT_EQ(Has(r.wwwAuthenticate, "Digest realm="), c.challenge);
        EXPECT_EQ(Has(r.wwwAuthenticate, "qop=\"auth\""), c.challenge);
        EXPECT_EQ(d.onvif.wrongLogins, 0) << "asking is not guessing";
    }
    Device digestOnly = Camera(OnvifAuth::Digest);
    EXPECT_EQ(Call(&digestOnly, Signed(digestOnly, "<tds:GetDeviceInformation/>")).status, 401);
}

// The client side of HTTP Digest, as a client computes it.
std::string DigestAuthorization(const std::string& challenge, const std::string& user,
                                const std::string& password, const std::string& nc,
                                const std::string& uri = onvif::kServicePath) {
    const std::size_t at = challenge.find("nonce=\"") + 7;
    const std::string nonce = challenge.substr(at, challenge.find('"', at) - at);
    const std::string ha1 = onvif::Md5Hex(user + ":" + onvif::kRealm + ":" + password);
    const std::string ha2 = onvif::Md5Hex("POST:" + uri);
    const std::string response =
        onvif::Md5Hex(ha1 + ":" + nonce + ":" + nc + ":c0ffee:auth:" + ha2);
    return "Digest username=\"" + user + "\", realm=\"" + onvif::kRealm + "\", nonce=\"" + nonce +
           "\", uri=\"" + uri + "\", algorithm=MD5, qop=auth, nc=" + nc +
           ", cnonce=\"c0ffee\", response=\"" + response + "\"";
}

TEST(OnvifService, HttpDigestChecksResponseNonceAndCount) {
    Device d = Camera(OnvifAuth::Digest);
    const std::string challenge = Call(&d, Soap("<tds:GetDeviceInformation/>")).wwwAuthenticate;
    ASSERT_FALSE(challenge.empty());
    auto with = [&](const std::string& authorization,
                    const std::string& uri = onvif::kServicePath) {
        onvif::Request r = Soap("<tds:GetDeviceInformation/>");
        r.authorization = authorization;
        r.uri = uri;
        return Call(&d, r);
    };
    EXPECT_EQ(with(DigestAuthorization(challenge, "admin", "secret", "00000001")).status, 200);
    // The same count again is a replay; a higher one is the next request.
    EXPECT_EQ(with(DigestAuthorization(challenge, "admin", "secret", "00000001")).status, 401);
    EXPECT_EQ(with(DigestAuthorization(challenge, "admin", "secret", "00000002")).status, 200);
    EXPECT_EQ(d.onvif.wrongLogins, 0);
    EXPECT_EQ(with(DigestAuthorization(challenge, "admin", "wrong", "00000003")).status, 401);
    EXPECT_EQ(with(DigestAuthorization(challenge, "guest", "secret", "00000004")).status, 401);
    EXPECT_EQ(d.onvif.wrongLogins, 2);
    // Signed for another path than the one asked for.
    EXPECT_EQ(with(DigestAuthorization(challenge, "admin", "secret", "00000005", "/other")).status,
              401);
    // A nonce the camera never issued: a fresh challenge marked stale.
    const auto stale = with(DigestAuthorization("nonce=\"0123\"", "admin", "secret", "00000001"));
    EXPECT_EQ(stale.status, 401);
    EXPECT_TRUE(Has(stale.wwwAuthenticate, "stale=true"));
    // A WS-UsernameToken-only camera ignores a Digest header.
    Device wsse = Camera(OnvifAuth::Wsse);
    onvif::Request r = Soap("<tds:GetDeviceInformation/>");
    r.authorization = DigestAuthorization(challenge, "admin", "secret", "00000001");
    EXPECT_EQ(Call(&wsse, r).status, 401);
}

TEST(OnvifService, KeepsOnlyTheLatestDigestChallenges) {
    Device d = Camera(OnvifAuth::Digest);
    const std::string first = Call(&d, onvif::Request{}).wwwAuthenticate;
    std::string last;
    for (int i = 0; i < 200; ++i)
        last = Call(&d, onvif::Request{}).wwwAuthenticate;
    EXPECT_LE(d.onvif.digestNonces.size(), 64u);
    auto with = [&](const std::string& challenge) {
        onvif::Request r = Soap("<tds:GetDeviceInformation/>");
        r.authorization = DigestAuthorization(challenge, "admin", "secret", "00000001");
        return Call(&d, r).status;
    };
    EXPECT_EQ(with(first), 401) << "pushed out by later challenges";
    EXPECT_EQ(with(last), 200);
}

TEST(OnvifService, LocksForAMinuteAfterFiveWrongLogins) {
    Device d = Camera();
    const Clock::time_point t0{};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Call(&d, Signed(d, "<tds:GetDeviceInformation/>", "wrong"), t0).status, 401);
    const auto locked =
        Call(&d, Signed(d, "<tds:GetDeviceInformation/>"), t0 + std::chrono::seconds(59));
    EXPECT_EQ(locked.status, 403);
    EXPECT_TRUE(Has(locked.body, "ter:NotAuthorized"));
    EXPECT_TRUE(Has(locked.body, "locked"));
    // The clock still answers while locked.
    EXPECT_EQ(Call(&d, Soap("<tds:GetSystemDateAndTime/>"), t0 + std::chrono::seconds(59)).status,
              200);
    EXPECT_EQ(
        Call(&d, Signed(d, "<tds:GetDeviceInformation/>"), t0 + std::chrono::seconds(61)).status,
        200);
    // The count starts afresh: four wrong ones do not lock again.
    for (int i = 0; i < 4; ++i)
        Call(&d, Signed(d, "<tds:GetDeviceInformation/>", "wrong"), t0 + std::chrono::seconds(62));
    EXPECT_EQ(
        Call(&d, Signed(d, "<tds:GetDeviceInformation/>"), t0 + std::chrono::seconds(62)).status,
        200);
}

std::string SetInterfaces(const std::string& ipv4, const std::string& token = "eth0") {
    return "<tds:SetNetworkInterfaces><tds:InterfaceToken>" + token +
           "</tds:InterfaceToken><tds:NetworkInterface><tt:Enabled>true</tt:Enabled><tt:IPv4>" +
           ipv4 + "</tt:IPv4></tds:NetworkInterface></tds:SetNetworkInterfaces>";
}

const std::string kManual = "<tt:Enabled>true</tt:Enabled><tt:Manual><tt:Address>10.1.2.3</"
                            "tt:Address><tt:PrefixLength>16</tt:PrefixLength></tt:Manual>"
                            "<tt:DHCP>false</tt:DHCP>";

TEST(OnvifService, SetNetworkInterfacesMovesAfterTheAnswerOrAfterReboot) {
    for (bool rebootNeeded : {false, true}) {
        Device d = Camera();
        d.onvif.rebootNeeded = rebootNeeded;
        const auto r = Call(&d, Signed(d, SetInterfaces(kManual)));
        EXPECT_EQ(r.status, 200);
        EXPECT_TRUE(Has(r.body, std::string("<tds:RebootNeeded>") +
                                    (rebootNeeded ? "true" : "false") + "</tds:RebootNeeded>"));
        EXPECT_EQ(r.effect, rebootNeeded ? Effect::None : Effect::MoveNow);
        EXPECT_EQ(d.ip, "192.168.1.70") << "nothing moves before the answer is out";
        if (rebootNeeded) {
            EXPECT_EQ(Call(&d, Signed(d, "<tds:SystemReboot/>")).effect, Effect::Reboot);
        }
        ASSERT_TRUE(onvif::ApplyPendingAddress(&d));
        EXPECT_EQ(d.ip, "10.1.2.3");
        EXPECT_EQ(d.mask, "255.255.0.0");
        EXPECT_FALSE(d.dhcp);
        EXPECT_FALSE(onvif::ApplyPendingAddress(&d)) << "applied once";
    }
}

TEST(OnvifService, SetNetworkInterfacesRefusesBadSettings) {
    const struct {
        std::string operation;
    } cases[] = {
        {SetInterfaces(kManual, "eth1")},
        {SetInterfaces("<tt:Manual><tt:Address>10.1.2.300</tt:Address><tt:PrefixLength>16</"
                       "tt:PrefixLength></tt:Manual>")},
        {SetInterfaces("<tt:Manual><tt:Address>224.0.0.1</tt:Address><tt:PrefixLength>16</"
                       "tt:PrefixLength></tt:Manual>")},
        {SetInterfaces("<tt:Manual><tt:Address>10.1.2.3</tt:Address><tt:PrefixLength>33</"
                       "tt:PrefixLength></tt:Manual>")},
        {SetInterfaces("<tt:Manual><tt:Address>10.1.2.3</tt:Address></tt:Manual>")},
        {SetInterfaces("<tt:DHCP>false</tt:DHCP>")},
        {"<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken>"
         "</tds:SetNetworkInterfaces>"},
    };
    for (const auto& c : cases) {
        Device d = Camera();
        const auto r = Call(&d, Signed(d, c.operation));
        EXPECT_EQ(r.status, 400) << c.operation;
        EXPECT_TRUE(Has(r.body, "ter:InvalidArgVal")) << c.operation;
        EXPECT_EQ(r.effect, Effect::None);
        EXPECT_FALSE(onvif::ApplyPendingAddress(&d)) << c.operation;
    }
}

TEST(OnvifService, SetsTheDefaultGatewayAndDhcp) {
    Device d = Camera();
    EXPECT_EQ(Call(&d, Signed(d, "<tds:SetNetworkDefaultGateway><tds:IPv4Address>10.1.0.254</"
                                 "tds:IPv4Address></tds:SetNetworkDefaultGateway>"))
                  .status,
              200);
    EXPECT_EQ(d.gateway, "10.1.0.254");
    EXPECT_EQ(Call(&d, Signed(d, SetInterfaces("<tt:DHCP>true</tt:DHCP>"))).status, 200);
    ASSERT_TRUE(onvif::ApplyPendingAddress(&d));
    EXPECT_TRUE(d.dhcp);
    EXPECT_EQ(d.ip, "192.168.1.70");
}

} // namespace
