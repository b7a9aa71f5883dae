// The device client through the SOAP seam: a scripted camera answers each
// request, so every outcome, both login forms and the camera's clock are
// checked without a network.
#include <gtest/gtest.h>

#include <deque>
#include <memory>

#include "OnvifClient.h"
#include "OnvifMessages.h"
#include "OnvifXml.h"
#include "SoapTransport.h"

using namespace onvif;

namespace {

const std::time_t kHostNow = 1796821200; // 2026-12-09T13:00:00Z

struct Reply {
    SoapPostResult result = SoapPostResult::Answered;
    long status = 200;
    std::string body;
    bool digestChallenge = false;
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

Reply Ok(const std::string& body) { return Reply{SoapPostResult::Answered, 200, body, false}; }
Reply Clock(int hour) { return Ok(onvif_test::DateAndTime(2026, 12, 9, hour, 0, 0)); }
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

TEST(OnvifClientTest, ReadsTheClockFirstAndSignsWithIt) {
    ScriptedCamera camera;
    camera.replies = {Clock(15), Ok(kInfo)}; // the camera is 7200 s ahead
    auto client = MakeClient();
    DeviceInformation info;
    ASSERT_EQ(client->GetDeviceInformation(&info), Outcome::Done);
    EXPECT_EQ(info.manufacturer, "Acme");
    EXPECT_EQ(client->ClockOffset(), 7200);
    ASSERT_EQ(camera.requests.size(), 2u);
    EXPECT_EQ(CreatedOf(camera.requests[0]), ""); // the clock needs no login
    EXPECT_NE(camera.requests[0].action.find("GetSystemDateAndTime"), std::string::npos);
    EXPECT_EQ(CreatedOf(camera.requests[1]), "2026-12-09T15:00:00Z");
    EXPECT_FALSE(camera.requests[1].digest);
    EXPECT_EQ(camera.requests[1].host, "192.168.1.64");
    EXPECT_EQ(camera.requests[1].port, 8080);
    EXPECT_EQ(camera.requests[1].path, "/onvif/device_service");
    EXPECT_EQ(camera.requests[1].body.find("pw"), std::string::npos); // only the digest travels
}

TEST(OnvifClientTest, TurnsToDigestWhenTheCameraAsksForIt) {
    ScriptedCamera camera;
    camera.replies = {Clock(13), Reply{SoapPostResult::Answered, 401, "", true}, Ok(kInfo),
                      Ok(onvif_test::Answer("<tds:SystemRebootResponse><tds:Message>bye"
                                            "</tds:Message></tds:SystemRebootResponse>"))};
    auto client = MakeClient();
    DeviceInformation info;
    ASSERT_EQ(client->GetDeviceInformation(&info), Outcome::Done);
    EXPECT_TRUE(client->UsesDigest());
    ASSERT_EQ(client->SystemReboot(), Outcome::Done);
    ASSERT_EQ(camera.requests.size(), 4u);
    for (size_t i : {2u, 3u}) {
        EXPECT_TRUE(camera.requests[i].digest) << i;
        EXPECT_EQ(*camera.requests[i].user, "admin");
        EXPECT_EQ(camera.passwords[i], "pw");
        EXPECT_EQ(CreatedOf(camera.requests[i]), "") << i;
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
        {"401 with wsse fault", Reply{SoapPostResult::Answered, 401, notAuthorized, false},
         Outcome::WrongCredentials},
        {"401 bare", Reply{SoapPostResult::Answered, 401, "", false}, Outcome::WrongCredentials},
        {"400 NotAuthorized fault", Reply{SoapPostResult::Answered, 400, notAuthorized, false},
         Outcome::WrongCredentials},
        {"403 locked", Reply{SoapPostResult::Answered, 403, locked, false}, Outcome::Locked},
        {"500 other fault",
         Reply{SoapPostResult::Answered, 500, onvif_test::Fault("ter:InvalidArgVal", "bad"), false},
         Outcome::Fault},
        {"no answer", Reply{SoapPostResult::NoAnswer, 0, "", false}, Outcome::NoAnswer},
        {"too large", Reply{SoapPostResult::TooLarge, 200, "", false}, Outcome::TooLarge},
        {"web page", Ok("<html><body>It works</body></html>"), Outcome::BadReply},
        {"wrong answer", Ok(onvif_test::Answer("<tds:SystemRebootResponse/>")), Outcome::BadReply},
        {"404 page", Reply{SoapPostResult::Answered, 404, "not found", false}, Outcome::BadReply},
    };
    for (const Case& c : cases) {
        ScriptedCamera camera;
        camera.replies = {Clock(13), c.reply};
        auto client = MakeClient();
        DeviceInformation info;
        EXPECT_EQ(client->GetDeviceInformation(&info), c.expected) << c.name;
    }
}

TEST(OnvifClientTest, WrongPasswordOnADigestCameraIsWrongCredentials) {
    ScriptedCamera camera;
    camera.replies = {Clock(13), Reply{SoapPostResult::Answered, 401, "", true},
                      Reply{SoapPostResult::Answered, 401, "", true}};
    auto client = MakeClient();
    DeviceInformation info;
    EXPECT_EQ(client->GetDeviceInformation(&info), Outcome::WrongCredentials);
    EXPECT_EQ(camera.requests.size(), 3u); // one Digest attempt, no loop
}

TEST(OnvifClientTest, NoClockIsNoAnswerAndNothingElseIsSent) {
    ScriptedCamera camera; // nothing queued: every request goes unanswered
    auto client = MakeClient();
    DeviceInformation info;
    EXPECT_EQ(client->GetDeviceInformation(&info), Outcome::NoAnswer);
    EXPECT_EQ(camera.requests.size(), 1u);
}

TEST(OnvifClientTest, ACameraWithoutClockIsSignedWithOurs) {
    ScriptedCamera camera;
    camera.replies = {Ok(onvif_test::Fault("ter:ActionNotSupported", "no")), Ok(kInfo)};
    auto client = MakeClient();
    DeviceInformation info;
    ASSERT_EQ(client->GetDeviceInformation(&info), Outcome::Done);
    EXPECT_EQ(CreatedOf(camera.requests.at(1)), "2026-12-09T13:00:00Z");
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

TEST(OnvifClientTest, HttpsIsKeptWhenOffered) {
    ScriptedCamera camera;
    camera.replies = {Clock(13)};
    auto client = MakeClient("https://10.0.0.9/onvif/device_service");
    long long offset = 1;
    ASSERT_EQ(client->GetSystemDateAndTime(&offset), Outcome::Done);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(camera.requests.at(0).scheme, "https");
    EXPECT_EQ(camera.requests.at(0).port, 443);
}

} // namespace

namespace {

// A deadline lowers each request's time limit to the time left, and after
// it no request goes out at all.
TEST(OnvifClientTest, ADeadlineBoundsEveryRequest) {
    ScriptedCamera camera;
    camera.replies = {Clock(13), Ok(kInfo)};
    DeviceClient client("http://192.168.1.64/onvif/device_service", "admin",
                        MakeSharedSecret("pw", 2));
    EXPECT_EQ(camera.requests.size(), 0u);
    client.SetDeadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(1500));
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

} // namespace
