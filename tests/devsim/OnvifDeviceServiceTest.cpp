// The simulated camera's device and media service through plain calls:
// answers, both login forms, the lock, the camera clock, re-addressing,
// scopes and host name, time settings, profiles and the picture's log-in.

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
                                const std::string& uri = onvif::kServicePath,
                                const std::string& method = "POST") {
    const std::size_t at = challenge.find("nonce=\"") + 7;
    const std::string nonce = challenge.substr(at, challenge.find('"', at) - at);
    const std::string ha1 = onvif::Md5Hex(user + ":" + onvif::kRealm + ":" + password);
    const std::string ha2 = onvif::Md5Hex(method + ":" + uri);
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

// A media service request: the trt prefix declared on the envelope.
onvif::Request Media(onvif::Request r) {
    r.body.insert(r.body.find("<s:Envelope") + 11,
                  " xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\"");
    return r;
}

std::string SetScopes(std::initializer_list<const char*> scopes) {
    std::string body = "<tds:SetScopes>";
    for (const char* s : scopes)
        body += std::string("<tds:Scopes>") + s + "</tds:Scopes>";
    return body + "</tds:SetScopes>";
}

TEST(OnvifService, ScopesChangeOnlyWhereConfigurableAndTheNameIsAnnounced) {
    Device d = Camera();
    const onvif::Response scopes = Call(&d, Signed(d, "<tds:GetScopes/>"));
    EXPECT_TRUE(Has(scopes.body, "<tt:ScopeDef>Fixed</tt:ScopeDef><tt:ScopeItem>onvif://"
                                 "www.onvif.org/hardware/SC-2040</tt:ScopeItem>"));
    EXPECT_TRUE(Has(scopes.body, "<tt:ScopeDef>Configurable</tt:ScopeDef><tt:ScopeItem>onvif://"
                                 "www.onvif.org/name/SimCam-1</tt:ScopeItem>"));
    const std::uint32_t version = d.onvif.metadataVersion;
    const onvif::Response set =
        Call(&d, Signed(d, SetScopes({"onvif://www.onvif.org/location/Gate",
                                      " onvif://www.onvif.org/name/Gate%20North%2003 "})));
    EXPECT_EQ(set.status, 200) << set.body;
    EXPECT_EQ(set.effect, Effect::Announce);
    EXPECT_EQ(d.devName, "Gate North 03");
    EXPECT_EQ(d.onvif.metadataVersion, version + 1);
    EXPECT_EQ(d.onvif.extraScopes, std::vector<std::string>{"onvif://www.onvif.org/location/Gate"});
    // Refused whole: nothing changes.
    const struct {
        std::string body;
        const char* fault;
    } refusals[] = {
        {SetScopes({"onvif://www.onvif.org/MAC/02:4f:4e:00:00:01"}), "ter:ScopeOverwrite"},
        {SetScopes({"no uri"}), "ter:InvalidArgVal"},
        {SetScopes({"onvif://www.onvif.org/name/a%01b"}), "ter:InvalidArgVal"},
        {SetScopes({"onvif://www.onvif.org/name/a%zz"}), "ter:InvalidArgVal"},
        {SetScopes({"onvif://www.onvif.org/name/"}), "ter:InvalidArgVal"},
    };
    for (const auto& r : refusals) {
        const onvif::Response answer = Call(&d, Signed(d, r.body));
        EXPECT_EQ(answer.status, 400) << r.body;
        EXPECT_TRUE(Has(answer.body, r.fault)) << r.body << "\n" << answer.body;
        EXPECT_EQ(d.devName, "Gate North 03") << r.body;
    }
    std::string many = "<tds:SetScopes>";
    for (int i = 0; i < 33; ++i)
        many += "<tds:Scopes>urn:x:" + std::to_string(i) + "</tds:Scopes>";
    EXPECT_EQ(Call(&d, Signed(d, many + "</tds:SetScopes>")).status, 400);
    // A fixed name is not the client's to set.
    Device fixed = Camera();
    fixed.onvif.nameFixed = true;
    EXPECT_TRUE(Has(Call(&fixed, Signed(fixed, "<tds:GetScopes/>")).body,
                    "<tt:ScopeDef>Fixed</tt:ScopeDef><tt:ScopeItem>onvif://www.onvif.org/name/"));
    EXPECT_TRUE(Has(Call(&fixed, Signed(fixed, SetScopes({"onvif://www.onvif.org/name/X"}))).body,
                    "ter:ScopeOverwrite"));
}

TEST(OnvifService, HostnameFollowsTheRulesWhereOffered) {
    const struct {
        const char* name;
        int status;
    } cases[] = {{"gate-north-03", 200},
                 {"gate.site.example", 200},
                 {"-gate", 400},
                 {"gate north", 400},
                 {"", 400},
                 {"a..b", 400}};
    for (const auto& c : cases) {
        Device d = Camera();
        const onvif::Response r = Call(&d, Signed(d, std::string("<tds:SetHostname><tds:Name>") +
                                                         c.name + "</tds:Name></tds:SetHostname>"));
        EXPECT_EQ(r.status, c.status) << c.name;
        const std::string now = Call(&d, Signed(d, "<tds:GetHostname/>")).body;
        EXPECT_TRUE(Has(now, std::string("<tt:Name>") + (c.status == 200 ? c.name : "simcam-1") +
                                 "</tt:Name>"))
            << c.name << "\n"
            << now;
    }
    Device none = Camera();
    none.onvif.hostnameOffered = false;
    for (const char* op :
         {"<tds:GetHostname/>", "<tds:SetHostname><tds:Name>a</tds:Name></tds:SetHostname>"})
        EXPECT_TRUE(Has(Call(&none, Signed(none, op)).body, "ter:ActionNotSupported")) << op;
}

std::string SetTime(const std::string& type, const std::string& tz, const std::string& date) {
    return "<tds:SetSystemDateAndTime><tds:DateTimeType>" + type +
           "</tds:DateTimeType><tds:DaylightSavings>false</tds:DaylightSavings>" +
           (tz.empty() ? "" : "<tds:TimeZone><tt:TZ>" + tz + "</tt:TZ></tds:TimeZone>") + date +
           "</tds:SetSystemDateAndTime>";
}
std::string Utc(int y, int mo, int d, int h, int mi, int s) {
    auto n = [](int v) { return std::to_string(v); };
    return "<tds:UTCDateTime><tt:Time><tt:Hour>" + n(h) + "</tt:Hour><tt:Minute>" + n(mi) +
           "</tt:Minute><tt:Second>" + n(s) + "</tt:Second></tt:Time><tt:Date><tt:Year>" + n(y) +
           "</tt:Year><tt:Month>" + n(mo) + "</tt:Month><tt:Day>" + n(d) +
           "</tt:Day></tt:Date></tds:UTCDateTime>";
}

TEST(OnvifService, TheClockTakesWhatIsSetAndKeepsTheTimeZone) {
    Device d = Camera();
    d.onvif.clockOffset = -6 * 365 * 86400LL; // years behind, out of the box
    // Set by hand to 08:00:30 on the host's day: the offset becomes 30 s.
    ASSERT_EQ(Call(&d, Signed(d, SetTime("Manual", "CST-8", Utc(2027, 1, 15, 8, 0, 30)))).status,
              200);
    EXPECT_EQ(d.onvif.clockOffset, 30);
    const std::string now = Call(&d, Soap("<tds:GetSystemDateAndTime/>")).body;
    EXPECT_TRUE(Has(now, "<tt:TZ>CST-8</tt:TZ>")) << now;
    EXPECT_TRUE(Has(now, "<tt:DateTimeType>Manual</tt:DateTimeType>"));
    // Local time is eight hours east of UTC.
    EXPECT_TRUE(Has(now, "<tt:LocalDateTime><tt:Time><tt:Hour>16</tt:Hour>")) << now;
    // NTP with a server: the clock follows it at once.
    ASSERT_EQ(Call(&d, Signed(d, "<tds:SetNTP><tds:FromDHCP>false</tds:FromDHCP><tds:NTPManual>"
                                 "<tt:Type>DNS</tt:Type><tt:DNSname>pool.ntp.org</tt:DNSname>"
                                 "</tds:NTPManual></tds:SetNTP>"))
                  .status,
              200);
    ASSERT_EQ(Call(&d, Signed(d, SetTime("NTP", "", ""))).status, 200);
    EXPECT_EQ(d.onvif.clockOffset, 0);
    EXPECT_EQ(d.onvif.timeZone, "CST-8"); // none sent: kept
    EXPECT_TRUE(Has(Call(&d, Signed(d, "<tds:GetNTP/>")).body,
                    "<tt:NTPManual><tt:Type>DNS</tt:Type><tt:DNSname>pool.ntp.org</tt:DNSname>"));
    const struct {
        std::string body;
        const char* fault;
    } refusals[] = {
        {SetTime("Sundial", "", ""), "ter:InvalidArgVal"},
        {SetTime("Manual", "", ""), "ter:InvalidDateTime"},
        {SetTime("Manual", "", Utc(2027, 2, 15, 24, 0, 0)), "ter:InvalidDateTime"},
        {SetTime("Manual", "", Utc(1969, 12, 31, 0, 0, 0)), "ter:InvalidDateTime"},
        {SetTime("Manual", "8 hours east", Utc(2027, 2, 15, 8, 0, 0)), "ter:InvalidTimeZone"},
        {"<tds:SetNTP><tds:NTPManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>224.0.0.1"
         "</tt:IPv4Address></tds:NTPManual></tds:SetNTP>",
         "ter:InvalidArgVal"},
        {"<tds:SetNTP><tds:NTPManual><tt:Type>DNS</tt:Type><tt:DNSname>-bad-</tt:DNSname>"
         "</tds:NTPManual></tds:SetNTP>",
         "ter:InvalidArgVal"},
    };
    for (const auto& r : refusals) {
        const onvif::Response answer = Call(&d, Signed(d, r.body));
        EXPECT_EQ(answer.status, 400) << r.body;
        EXPECT_TRUE(Has(answer.body, r.fault)) << r.body << "\n" << answer.body;
    }
    EXPECT_EQ(d.onvif.timeZone, "CST-8");
    EXPECT_EQ(d.onvif.ntpServer, "pool.ntp.org");
}

TEST(OnvifService, MediaNamesProfilesAndTheSnapshotAddress) {
    const struct {
        int profiles;
        bool audioFirst;
        const char* snapshotHost;
        const char* token;
        int status;
        const char* expected;
    } cases[] = {
        {2, false, "", "Profile_1", 200,
         "<tt:Uri>http://192.168.1.70:80/onvif/snapshot.jpg?profile=Profile_1</tt:Uri>"},
        {2, false, "", "Profile_2", 200, "profile=Profile_2</tt:Uri>"},
        {1, false, "", "Profile_2", 400, "ter:NoProfile"},
        {2, true, "", "Audio_1", 400, "ter:InvalidArgVal"},
        {2, false, "10.77.0.99", "Profile_1", 200, "<tt:Uri>http://10.77.0.99:80/onvif/"},
    };
    for (const auto& c : cases) {
        Device d = Camera();
        d.onvif.mediaProfiles = c.profiles;
        d.onvif.audioFirst = c.audioFirst;
        d.onvif.snapshotHost = c.snapshotHost;
        const std::string profiles = Call(&d, Media(Signed(d, "<trt:GetProfiles/>"))).body;
        EXPECT_EQ(Has(profiles, "token=\"Profile_2\""), c.profiles == 2) << profiles;
        EXPECT_EQ(Has(profiles, "<trt:Profiles token=\"Audio_1\""), c.audioFirst);
        const onvif::Response uri =
            Call(&d, Media(Signed(d, std::string("<trt:GetSnapshotUri><trt:ProfileToken>") +
                                         c.token + "</trt:ProfileToken></trt:GetSnapshotUri>")));
        EXPECT_EQ(uri.status, c.status) << c.token;
        EXPECT_TRUE(Has(uri.body, c.expected)) << uri.body;
    }
    Device d = Camera();
    EXPECT_TRUE(Has(Call(&d, Signed(d, "<tds:GetServices><tds:IncludeCapability>false"
                                       "</tds:IncludeCapability></tds:GetServices>"))
                        .body,
                    "<tds:Namespace>http://www.onvif.org/ver10/media/wsdl</tds:Namespace><tds:"
                    "XAddr>http://192.168.1.70:80/onvif/media_service</tds:XAddr>"));
    EXPECT_TRUE(Has(Call(&d, Signed(d, "<tds:GetCapabilities/>")).body,
                    "<tt:Media><tt:XAddr>http://192.168.1.70:80/onvif/media_service"));
    // The media service's calls need a log-in like every other.
    EXPECT_EQ(Call(&d, Media(Soap("<trt:GetProfiles/>"))).status, 401);
}

TEST(OnvifService, ThePictureTakesDigestOrForAnOldCameraBasic) {
    const std::string uri = std::string(onvif::kSnapshotPath) + "?profile=Profile_1";
    Device d = Camera(OnvifAuth::Wsse); // the picture is HTTP: Digest whatever the SOAP form
    onvif::Request get;
    get.method = "GET";
    get.uri = uri;
    auto refused = onvif::AuthenticatePicture(&d, get, Clock::time_point{});
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->status, 401);
    ASSERT_TRUE(Has(refused->wwwAuthenticate, "Digest realm="));
    get.authorization =
        DigestAuthorization(refused->wwwAuthenticate, "admin", "secret", "00000001", uri, "GET");
    EXPECT_FALSE(onvif::AuthenticatePicture(&d, get, Clock::time_point{}).has_value());
    get.authorization =
        DigestAuthorization(refused->wwwAuthenticate, "admin", "wrong", "00000002", uri, "GET");
    EXPECT_TRUE(onvif::AuthenticatePicture(&d, get, Clock::time_point{}).has_value());
    EXPECT_EQ(d.onvif.wrongLogins, 1);

    Device old = Camera();
    old.onvif.snapshotFault = SnapshotFault::BasicOnly;
    onvif::Request basic;
    basic.method = "GET";
    basic.uri = uri;
    refused = onvif::AuthenticatePicture(&old, basic, Clock::time_point{});
    ASSERT_TRUE(refused.has_value());
    EXPECT_TRUE(Has(refused->wwwAuthenticate, "Basic realm="));
    basic.authorization = "Basic " + ToBase64("admin:secret");
    EXPECT_FALSE(onvif::AuthenticatePicture(&old, basic, Clock::time_point{}).has_value());
}

} // namespace
