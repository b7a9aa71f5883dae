// The device client through the SOAP seam: a scripted camera answers each
// request, so every outcome, the choice of login form, the camera's clock
// and the pinning of its HTTPS key are checked without a network.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <memory>

#include "OnvifClient.h"
#include "OnvifMessages.h"
#include "OnvifPins.h"
#include "OnvifXml.h"
#include "SoapTransport.h"

using namespace onvif;

namespace {

const std::time_t kHostNow = 1796821200; // 2026-12-09T13:00:00Z

struct Reply {
    Reply(SoapPostResult r = SoapPostResult::Answered, long s = 200, std::string b = "",
          bool challenge = false)
        : result(r), status(s), body(std::move(b)), digestChallenge(challenge) {}
    SoapPostResult result = SoapPostResult::Answered;
    long status = 200;
    std::string body;
    bool digestChallenge = false;
    bool digestAnswered = false; // the transport answered a Digest challenge
    std::string peerKey;         // https: the key the handshake met
};

// Answers requests from a queue and keeps every request it saw.
class ScriptedCamera {
public:
    ScriptedCamera() {
        m_previous = SetSoapPostFunction([this](const SoapPostRequest& r, SoapPostReply* out) {
            requests.push_back(r);
            passwords.push_back(r.password != nullptr ? *r.password : std::string());
            if (replies.empty())
                return SoapPostResult::NoAnswer;
            const Reply next = replies.front();
            replies.pop_front();
            out->status = next.status;
            out->body = next.body;
            out->digestChallenge = next.digestChallenge;
            out->digestAnswered = next.digestAnswered;
            out->peerKey = next.peerKey;
            return next.result;
        });
    }
    ~ScriptedCamera() { SetSoapPostFunction(m_previous); }
    std::deque<Reply> replies;
    std::vector<SoapPostRequest> requests;
    std::vector<std::string> passwords;

private:
    SoapPostFunction m_previous;
};

Reply Ok(const std::string& body) { return Reply{SoapPostResult::Answered, 200, body}; }
// The camera's clock, seconds ahead of kHostNow (within one day either way).
Reply ClockAhead(int seconds) {
    const int at = 13 * 3600 + seconds;
    const int day = at < 0 ? 8 : at >= 86400 ? 10 : 9;
    const int in = (at + 86400) % 86400;
    return Ok(onvif_test::DateAndTime(2026, 12, day, in / 3600, in / 60 % 60, in % 60));
}
Reply Clock(int hour) { return ClockAhead((hour - 13) * 3600); }
// The answer to a request sent without login by a camera that wants a
// WS-UsernameToken: refused, no Digest offered.
const Reply kWantsToken{SoapPostResult::Answered, 401, ""};
Reply DigestOk(const std::string& body) {
    Reply r = Ok(body);
    r.digestAnswered = true;
    return r;
}
const std::string kInfo =
    onvif_test::Answer("<tds:GetDeviceInformationResponse><tds:Manufacturer>Acme</tds:Manufacturer>"
                       "<tds:Model>M</tds:Model><tds:FirmwareVersion>F</tds:FirmwareVersion>"
                       "<tds:SerialNumber>S</tds:SerialNumber><tds:HardwareId>H</tds:HardwareId>"
                       "</tds:GetDeviceInformationResponse>");

std::unique_ptr<DeviceClient>
MakeClient(const std::string& xaddr = "http://192.168.1.64:8080/onvif/device_service") {
    auto client = std::make_unique<DeviceClient>(xaddr, "admin", MakeSharedSecret("pw", 2));
    client->SetClock([] { return kHostNow; });
    return client;
}

// The wsu:Created of a request, empty without a token.
std::string CreatedOf(const SoapPostRequest& r) {
    XmlElement root;
    if (ReadXml(r.body.data(), r.body.size(), &root) != XmlRead::Ok)
        return "?";
    const XmlElement* token =
        root.Path({{kNsSoap, "Header"}, {kNsSecurity, "Security"}, {kNsSecurity, "UsernameToken"}});
    return token != nullptr ? token->ChildText(kNsUtility, "Created") : std::string();
}

bool HasToken(const SoapPostRequest& r) { return !CreatedOf(r).empty(); }

// Never both login forms in one request, and no password in any body.
void ExpectOneFormEach(const ScriptedCamera& camera) {
    for (const SoapPostRequest& r : camera.requests) {
        EXPECT_FALSE(r.digest && HasToken(r)) << r.action;
        EXPECT_EQ(r.body.find(">pw<"), std::string::npos) << r.action;
    }
}

TEST(OnvifClientTest, AsksWithoutLoginFirstAndAnswersOnlyADigestChallenge) {
    ScriptedCamera camera;
    camera.replies = {DigestOk(kInfo),
                      DigestOk(onvif_test::Answer("<tds:SystemRebootResponse><tds:Message>bye"
                                                  "</tds:Message></tds:SystemRebootResponse>"))};
    auto client = MakeClient();
    DeviceInformation info;
    ASSERT_EQ(client->GetDeviceInformation(&info), Outcome::Done);
    EXPECT_EQ(info.manufacturer, "Acme");
    EXPECT_TRUE(client->UsesDigest());
    ASSERT_EQ(client->SystemReboot(), Outcome::Done);
    // No clock read, no token: the Digest response is bound to the
    // camera's nonce, whatever its clock.
    ASSERT_EQ(camera.requests.size(), 2u);
    for (size_t i : {0u, 1u}) {
        EXPECT_TRUE(camera.requests[i].digest) << i;
        EXPECT_EQ(*camera.requests[i].user, "admin");
        EXPECT_EQ(camera.passwords[i], "pw");
        EXPECT_FALSE(HasToken(camera.requests[i])) << i;
    }
    EXPECT_EQ(camera.requests[0].host, "192.168.1.64");
    EXPECT_EQ(camera.requests[0].port, 8080);
    EXPECT_EQ(camera.requests[0].path, "/onvif/device_service");
    EXPECT_FALSE(client->ClockKnown());
}

TEST(OnvifClientTest, ATokenOnlyWhereNoDigestIsOfferedSignedWithTheCamerasClock) {
    ScriptedCamera camera;
    camera.replies = {kWantsToken, ClockAhead(240), Ok(kInfo), Ok(kInfo)};
    auto client = MakeClient();
    DeviceInformation info;
    ASSERT_EQ(client->GetDeviceInformation(&info), Outcome::Done);
    EXPECT_TRUE(client->UsesToken());
    EXPECT_EQ(client->ClockOffset(), 240);
    ASSERT_EQ(camera.requests.size(), 3u);
    EXPECT_FALSE(HasToken(camera.requests[0])); // the question: no token, Digest only if asked
    EXPECT_NE(camera.requests[1].action.find("GetSystemDateAndTime"), std::string::npos);
    EXPECT_FALSE(HasToken(camera.requests[1]));
    EXPECT_EQ(CreatedOf(camera.requests[2]), "2026-12-09T13:04:00Z");
    EXPECT_FALSE(camera.requests[2].digest);
    EXPECT_EQ(camera.requests[2].password, nullptr);
    // Later calls sign at once.
    ASSERT_EQ(client->GetDeviceInformation(&info), Outcome::Done);
    ASSERT_EQ(camera.requests.size(), 4u);
    EXPECT_TRUE(HasToken(camera.requests[3]));
    ExpectOneFormEach(camera);
}

// A camera's clock beyond five minutes either way signs no token: one a
// day ahead would stay valid at the real cameras until tomorrow.
TEST(OnvifClientTest, NoTokenIsSignedForAClockOverFiveMinutesOff) {
    struct Case {
        int ahead;
        Outcome expected;
    };
    const Case cases[] = {{300, Outcome::Done},
                          {-300, Outcome::Done},
                          {301, Outcome::ClockOff},
                          {-301, Outcome::ClockOff},
                          {86400, Outcome::ClockOff}};
    for (const Case& c : cases) {
        ScriptedCamera camera;
        camera.replies = {kWantsToken, ClockAhead(c.ahead), Ok(kInfo)};
        auto client = MakeClient();
        DeviceInformation info;
        EXPECT_EQ(client->GetDeviceInformation(&info), c.expected) << c.ahead;
        EXPECT_EQ(client->ClockOffset(), c.ahead);
        EXPECT_EQ(camera.requests.size(), c.expected == Outcome::Done ? 3u : 2u) << c.ahead;
        EXPECT_EQ(std::count_if(camera.requests.begin(), camera.requests.end(), HasToken),
                  c.expected == Outcome::Done ? 1 : 0)
            << c.ahead;
        EXPECT_EQ(ClockIsOff(c.ahead), c.expected == Outcome::ClockOff);
    }
}

TEST(OnvifClientTest, EveryOutcomeIsDistinct) {
    struct Case {
        const char* name;
        Reply reply;
        Outcome expected;
    };
    const std::string notAuthorized =
        onvif_test::Fault("ter:NotAuthorized", "Sender not authorized");
    const std::string locked = onvif_test::Fault("ter:NotAuthorized", "Account locked for 60 s");
    const Case cases[] = {
        {"done", Ok(kInfo), Outcome::Done},
        {"401 with wsse fault", Reply{SoapPostResult::Answered, 401, notAuthorized},
         Outcome::WrongCredentials},
        {"401 bare", Reply{SoapPostResult::Answered, 401, ""}, Outcome::WrongCredentials},
        {"400 NotAuthorized fault", Reply{SoapPostResult::Answered, 400, notAuthorized},
         Outcome::WrongCredentials},
        {"403 locked", Reply{SoapPostResult::Answered, 403, locked}, Outcome::Locked},
        {"500 other fault",
         Reply{SoapPostResult::Answered, 500, onvif_test::Fault("ter:InvalidArgVal", "bad")},
         Outcome::Fault},
        {"no answer", Reply{SoapPostResult::NoAnswer, 0, ""}, Outcome::NoAnswer},
        {"too large", Reply{SoapPostResult::TooLarge, 200, ""}, Outcome::TooLarge},
        {"web page", Ok("<html><body>It works</body></html>"), Outcome::BadReply},
        {"wrong answer", Ok(onvif_test::Answer("<tds:SystemRebootResponse/>")), Outcome::BadReply},
        {"404 page", Reply{SoapPostResult::Answered, 404, "not found"}, Outcome::BadReply},
        {"key changed", Reply{SoapPostResult::KeyMismatch, 0, ""}, Outcome::CertificateChanged},
    };
    for (const Case& c : cases) {
        // As the answer to the signed request of a token camera.
        ScriptedCamera camera;
        camera.replies = {kWantsToken, Clock(13), c.reply};
        auto client = MakeClient();
        DeviceInformation info;
        EXPECT_EQ(client->GetDeviceInformation(&info), c.expected) << c.name;
        // A locked account says so at the first question: no token follows.
        ScriptedCamera first;
        first.replies = {c.reply};
        if (c.expected == Outcome::Locked || c.expected == Outcome::NoAnswer) {
            EXPECT_EQ(MakeClient()->GetDeviceInformation(&info), c.expected) << c.name;
            EXPECT_EQ(first.requests.size(), 1u) << c.name;
        }
    }
}

TEST(OnvifClientTest, ARefusedDigestIsWrongCredentialsAndNoTokenFollows) {
    ScriptedCamera camera;
    Reply refused{SoapPostResult::Answered, 401, "", true};
    refused.digestAnswered = true;
    camera.replies = {refused, refused};
    auto client = MakeClient();
    DeviceInformation info;
    EXPECT_EQ(client->GetDeviceInformation(&info), Outcome::WrongCredentials);
    EXPECT_EQ(camera.requests.size(), 1u); // one Digest attempt, no loop, no token
    EXPECT_TRUE(client->UsesDigest());
    EXPECT_EQ(client->GetDeviceInformation(&info), Outcome::WrongCredentials);
    ExpectOneFormEach(camera);
}

TEST(OnvifClientTest, NoClockIsNoAnswerAndNoTokenIsSent) {
    ScriptedCamera camera;
    camera.replies = {kWantsToken}; // then nothing answers
    auto client = MakeClient();
    DeviceInformation info;
    EXPECT_EQ(client->GetDeviceInformation(&info), Outcome::NoAnswer);
    EXPECT_EQ(camera.requests.size(), 2u);
    EXPECT_FALSE(HasToken(camera.requests[1]));
}

TEST(OnvifClientTest, ACameraWithoutClockIsSignedWithOurs) {
    ScriptedCamera camera;
    camera.replies = {kWantsToken, Ok(onvif_test::Fault("ter:ActionNotSupported", "no")),
                      Ok(kInfo)};
    auto client = MakeClient();
    DeviceInformation info;
    ASSERT_EQ(client->GetDeviceInformation(&info), Outcome::Done);
    EXPECT_EQ(CreatedOf(camera.requests.at(2)), "2026-12-09T13:00:00Z");
}

TEST(OnvifClientTest, UnusableAddressesAreOutOfReach) {
    for (const char* xaddr : {"", "http://cam.example/onvif", "ftp://10.0.0.1/"}) {
        ScriptedCamera camera;
        auto client = MakeClient(xaddr);
        DeviceInformation info;
        EXPECT_EQ(client->GetDeviceInformation(&info), Outcome::OutOfReach) << xaddr;
        EXPECT_TRUE(camera.requests.empty());
    }
}

} // namespace

namespace {

// A deadline lowers each request's time limit to the time left, and after
// it no request goes out at all.
TEST(OnvifClientTest, ADeadlineBoundsEveryRequest) {
    ScriptedCamera camera;
    camera.replies = {Clock(13), DigestOk(kInfo)};
    DeviceClient client("http://192.168.1.64/onvif/device_service", "admin",
                        MakeSharedSecret("pw", 2));
    EXPECT_EQ(camera.requests.size(), 0u);
    client.SetDeadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(1500));
    long long offset = 0;
    ASSERT_EQ(client.GetSystemDateAndTime(&offset), Outcome::Done);
    DeviceInformation info;
    ASSERT_EQ(client.GetDeviceInformation(&info), Outcome::Done);
    ASSERT_EQ(camera.requests.size(), 2u);
    for (const SoapPostRequest& r : camera.requests) {
        EXPECT_GT(r.timeLimitMs, 0);
        EXPECT_LE(r.timeLimitMs, 1500);
    }
    client.SetDeadline(std::chrono::steady_clock::now() - std::chrono::milliseconds(1));
    EXPECT_EQ(client.GetDeviceInformation(&info), Outcome::NoAnswer);
    EXPECT_EQ(camera.requests.size(), 2u);
    // Without a deadline a request has the transport's own limit.
    DeviceClient plain("http://192.168.1.64/onvif/device_service", "admin",
                       MakeSharedSecret("pw", 2));
    plain.GetDeviceInformation(&info);
    ASSERT_GE(camera.requests.size(), 3u);
    EXPECT_EQ(camera.requests[2].timeLimitMs, kSoapDeadlineMs);
}

// The pins live in a folder of the test's own (XDG_DATA_HOME).
class PinnedKeys : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/onvif-pins-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        setenv("XDG_DATA_HOME", folder, 1);
    }
    void TearDown() override {
        std::filesystem::remove_all(m_folder);
        unsetenv("XDG_DATA_HOME");
    }
    std::unique_ptr<DeviceClient> Https(const char* endpoint = "urn:uuid:cam") {
        auto client = MakeClient("https://10.0.0.9/onvif/device_service");
        client->SetEndpoint(endpoint);
        return client;
    }
    std::string m_folder;
};

const std::string kKeyA = "sha256//" + std::string(43, 'A') + "=";
const std::string kKeyB = "sha256//" + std::string(43, 'B') + "=";

TEST_F(PinnedKeys, TheFirstKeyMetIsPinnedAndHeldToAfterwards) {
    ScriptedCamera camera;
    Reply first = DigestOk(kInfo);
    first.peerKey = kKeyA;
    camera.replies = {first, DigestOk(kInfo)};
    auto client = Https();
    DeviceInformation info;
    ASSERT_EQ(client->GetDeviceInformation(&info), Outcome::Done);
    EXPECT_EQ(camera.requests.at(0).scheme, "https");
    EXPECT_EQ(camera.requests.at(0).port, 443);
    EXPECT_EQ(camera.requests.at(0).pinnedKey, ""); // first use
    ASSERT_EQ(client->GetDeviceInformation(&info), Outcome::Done);
    EXPECT_EQ(camera.requests.at(1).pinnedKey, kKeyA);
    // Another client, another process alike: the pin is in the file.
    std::string pin;
    ASSERT_TRUE(LookupPin("urn:uuid:cam", &pin));
    EXPECT_EQ(pin, kKeyA);
    camera.replies = {Reply{SoapPostResult::KeyMismatch, 0, ""}};
    auto again = Https();
    EXPECT_EQ(again->GetDeviceInformation(&info), Outcome::CertificateChanged);
    EXPECT_EQ(camera.requests.at(2).pinnedKey, kKeyA);
    EXPECT_EQ(camera.requests.size(), 3u);
    // Forgotten: the next client pins what it meets.
    ASSERT_TRUE(ForgetPin("urn:uuid:cam"));
    Reply replaced = DigestOk(kInfo);
    replaced.peerKey = kKeyB;
    camera.replies = {replaced};
    ASSERT_EQ(Https()->GetDeviceInformation(&info), Outcome::Done);
    EXPECT_EQ(camera.requests.at(3).pinnedKey, "");
    ASSERT_TRUE(LookupPin("urn:uuid:cam", &pin));
    EXPECT_EQ(pin, kKeyB);
}

// A token goes only over a connection held to the key met by the question
// before it, which carried no login.
TEST_F(PinnedKeys, ATokenGoesOnlyToTheKeyTheQuestionMet) {
    ScriptedCamera camera;
    Reply question = kWantsToken;
    question.peerKey = kKeyA;
    camera.replies = {question, Clock(13), Ok(kInfo)};
    DeviceInformation info;
    ASSERT_EQ(Https()->GetDeviceInformation(&info), Outcome::Done);
    ASSERT_EQ(camera.requests.size(), 3u);
    EXPECT_EQ(camera.requests[0].pinnedKey, "");
    EXPECT_FALSE(HasToken(camera.requests[0]));
    EXPECT_EQ(camera.requests[1].pinnedKey, kKeyA);
    EXPECT_EQ(camera.requests[2].pinnedKey, kKeyA);
    EXPECT_TRUE(HasToken(camera.requests[2]));
    // A key pinned meanwhile by another client wins over the one met.
    ASSERT_TRUE(ForgetPin("urn:uuid:cam"));
    ASSERT_EQ(RememberPin("urn:uuid:cam", kKeyB), kKeyB);
    ScriptedCamera other;
    Reply met = DigestOk(kInfo);
    met.peerKey = kKeyA;
    other.replies = {met};
    auto client = MakeClient("https://10.0.0.9/onvif/device_service");
    client->SetEndpoint("urn:uuid:cam");
    EXPECT_EQ(other.requests.size(), 0u);
    EXPECT_EQ(client->GetDeviceInformation(&info), Outcome::Done); // held to kKeyB by the file
    EXPECT_EQ(other.requests.at(0).pinnedKey, kKeyB);
}

} // namespace
