// The actions of an installer's day on one camera, through the SOAP and
// picture seams: a small camera in this process answers each call from
// its state (scopes, host name, media, clock, NTP) and records what it was
// sent, so that each action's calls, refusals, read-back and bounds are
// checked without a network.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "ImageTransport.h"
#include "Jpeg.h"
#include "OnvifActions.h"
#include "OnvifMessages.h"
#include "OnvifXml.h"
#include "SoapTransport.h"

using namespace onvif;

namespace {

const std::time_t kHostNow = 1796821200; // 2026-12-09T13:00:00Z

std::string MediaAnswer(const std::string& body) {
    return "<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" "
           "xmlns:tt=\"http://www.onvif.org/ver10/schema\"><e:Body>" +
           body + "</e:Body></e:Envelope>";
}

std::string Picture(int width, int height) {
    snapshot::Image image{width, height, std::vector<std::uint8_t>(width * height * 3, 90)};
    std::string jpeg;
    snapshot::EncodeJpeg(image, 80, "name=Gate-1", &jpeg);
    return jpeg;
}

// A camera with state, answering through both seams.
class FakeCamera {
public:
    FakeCamera() {
        m_soap = SetSoapPostFunction(
            [this](const SoapPostRequest& r, SoapPostReply* out) { return Soap(r, out); });
        m_image = SetImageGetFunction(
            [this](const ImageGetRequest& r, ImageGetReply* out) { return Image(r, out); });
    }
    ~FakeCamera() {
        SetSoapPostFunction(m_soap);
        SetImageGetFunction(m_image);
    }

    // State.
    std::vector<Scope> scopes = {{true, "onvif://www.onvif.org/type/video_encoder"},
                                 {false, "onvif://www.onvif.org/name/IPC"},
                                 {false, "onvif://www.onvif.org/location/Hall%201"}};
    bool hostnameOffered = true, hostnameRefused = false;
    std::string hostname = "ipc";
    bool servicesOffered = true;
    std::string media = "http://192.168.1.64/onvif/media_service";
    bool videoProfile = true;
    std::string snapshotUri = "http://192.168.1.64/snapshot.jpg?profile=main";
    long imageStatus = 200;
    bool imageBasicOnly = false;
    ImageGetResult imageResult = ImageGetResult::Answered;
    std::string picture = Picture(640, 360);
    long long clockOffset = 0;
    std::string clockType = "Manual", timeZone = "UTC0";
    std::vector<std::string> ntp;
    bool tokenOnly = false; // wants a WS-UsernameToken: refuses Digest
    // Called before each answer with the call's name (may raise a stop flag).
    std::function<void(const std::string&)> onCall;

    // What was sent: each call's local name (GET for the picture), and
    // the bodies of the SOAP calls, and the picture requests.
    std::vector<std::string> calls;
    std::map<std::string, std::vector<std::string>> bodies;
    std::vector<ImageGetRequest> pictures;

private:
    SoapPostResult Soap(const SoapPostRequest& r, SoapPostReply* out) {
        XmlElement root;
        if (ReadXml(r.body.data(), r.body.size(), &root) != XmlRead::Ok)
            return SoapPostResult::NoAnswer;
        const XmlElement* body = root.Child(kNsSoap, "Body");
        const XmlElement& op = body->children.front();
        calls.push_back(op.local);
        bodies[op.local].push_back(r.body);
        if (onCall)
            onCall(op.local);
        const bool token = root.Child(kNsSoap, "Header") != nullptr;
        if (op.local != "GetSystemDateAndTime") {
            if (tokenOnly && !token) {
                out->status = 401; // no Digest offered: the client signs a token
                return SoapPostResult::Answered;
            }
            out->digestAnswered = !tokenOnly;
        }
        out->status = 200;
        out->body = Answer(op);
        if (out->body.empty())
            out->body = onvif_test::Fault("ter:ActionNotSupported", "not here"), out->status = 500;
        return SoapPostResult::Answered;
    }

    std::string Answer(const XmlElement& op) {
        const std::string& name = op.local;
        if (name == "GetScopes") {
            std::string items;
            for (const Scope& s : scopes)
                items += "<tds:Scopes><tt:ScopeDef>" +
                         std::string(s.fixed ? "Fixed" : "Configurable") +
                         "</tt:ScopeDef><tt:ScopeItem>" + XmlEscape(s.item) +
                         "</tt:ScopeItem></tds:Scopes>";
            return onvif_test::Answer("<tds:GetScopesResponse>" + items +
                                      "</tds:GetScopesResponse>");
        }
        if (name == "SetScopes") {
            std::vector<Scope> kept;
            for (const Scope& s : scopes)
                if (s.fixed)
                    kept.push_back(s);
            for (const XmlElement& e : op.children)
                kept.push_back({false, e.text});
            scopes = kept;
            return onvif_test::Answer("<tds:SetScopesResponse/>");
        }
        if (name == "GetHostname" && hostnameOffered)
            return onvif_test::Answer(
                "<tds:GetHostnameResponse><tds:HostnameInformation><tt:FromDHCP>"
                "false</tt:FromDHCP><tt:Name>" +
                hostname + "</tt:Name></tds:HostnameInformation></tds:GetHostnameResponse>");
        if (name == "SetHostname" && hostnameOffered) {
            if (hostnameRefused)
                return onvif_test::Fault("ter:InvalidHostname", "host name not valid");
            hostname = op.ChildText(kNsDevice, "Name");
            return onvif_test::Answer("<tds:SetHostnameResponse/>");
        }
        if (name == "GetServices" && servicesOffered)
            return onvif_test::Answer("<tds:GetServicesResponse><tds:Service><tds:Namespace>" +
                                      std::string(kNsMedia) + "</tds:Namespace><tds:XAddr>" +
                                      media +
                                      "</tds:XAddr></tds:Service></tds:GetServicesResponse>");
        if (name == "GetCapabilities")
            return onvif_test::Answer("<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Media>"
                                      "<tt:XAddr>" +
                                      media +
                                      "</tt:XAddr></tt:Media></tds:Capabilities>"
                                      "</tds:GetCapabilitiesResponse>");
        if (name == "GetProfiles")
            return MediaAnswer("<trt:GetProfilesResponse><trt:Profiles token=\"audio\"/>"
                               "<trt:Profiles token=\"main\">" +
                               std::string(videoProfile ? "<tt:VideoSourceConfiguration/>" : "") +
                               "</trt:Profiles></trt:GetProfilesResponse>");
        if (name == "GetSnapshotUri")
            return MediaAnswer("<trt:GetSnapshotUriResponse><trt:MediaUri><tt:Uri>" +
                               XmlEscape(snapshotUri) +
                               "</tt:Uri></trt:MediaUri></trt:GetSnapshotUriResponse>");
        if (name == "GetSystemDateAndTime") {
            const std::time_t at = kHostNow + clockOffset;
            std::tm t{};
            gmtime_r(&at, &t);
            return onvif_test::Answer(
                "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:DateTimeType>" +
                clockType + "</tt:DateTimeType><tt:TimeZone><tt:TZ>" + timeZone +
                "</tt:TZ></tt:TimeZone><tt:UTCDateTime><tt:Time><tt:Hour>" +
                std::to_string(t.tm_hour) + "</tt:Hour><tt:Minute>" + std::to_string(t.tm_min) +
                "</tt:Minute><tt:Second>" + std::to_string(t.tm_sec) +
                "</tt:Second></tt:Time><tt:Date><tt:Year>" + std::to_string(t.tm_year + 1900) +
                "</tt:Year><tt:Month>" + std::to_string(t.tm_mon + 1) + "</tt:Month><tt:Day>" +
                std::to_string(t.tm_mday) +
                "</tt:Day></tt:Date></tt:UTCDateTime></tds:SystemDateAndTime>"
                "</tds:GetSystemDateAndTimeResponse>");
        }
        if (name == "SetSystemDateAndTime") {
            clockType = op.ChildText(kNsDevice, "DateTimeType");
            if (const XmlElement* tz = op.Path({{kNsDevice, "TimeZone"}, {kNsSchema, "TZ"}}))
                timeZone = tz->text;
            if (clockType == "Manual")
                clockOffset = 0; // set to this computer's time, as the test's clock says
            return onvif_test::Answer("<tds:SetSystemDateAndTimeResponse/>");
        }
        if (name == "GetNTP") {
            std::string manual;
            for (const std::string& s : ntp)
                manual += "<tt:NTPManual><tt:Type>DNS</tt:Type><tt:DNSname>" + s +
                          "</tt:DNSname></tt:NTPManual>";
            return onvif_test::Answer("<tds:GetNTPResponse><tds:NTPInformation><tt:FromDHCP>false"
                                      "</tt:FromDHCP>" +
                                      manual + "</tds:NTPInformation></tds:GetNTPResponse>");
        }
        if (name == "SetNTP") {
            const XmlElement* m = op.Child(kNsDevice, "NTPManual");
            ntp = {m->children.back().text};
            return onvif_test::Answer("<tds:SetNTPResponse/>");
        }
        return std::string();
    }

    ImageGetResult Image(const ImageGetRequest& r, ImageGetReply* out) {
        calls.push_back("GET");
        pictures.push_back(r);
        if (imageResult != ImageGetResult::Answered)
            return imageResult;
        out->status = imageStatus;
        out->basicChallenge = imageBasicOnly;
        out->digestAnswered = imageStatus == 200 && !imageBasicOnly;
        out->body = imageStatus == 200 ? picture : "denied";
        out->contentType = "image/jpeg";
        return ImageGetResult::Answered;
    }

    SoapPostFunction m_soap;
    ImageGetFunction m_image;
};

CameraRecord Camera() {
    CameraRecord c;
    c.endpoint = "urn:uuid:cam-1";
    c.source = "192.168.1.64";
    c.ip = "192.168.1.64";
    c.xaddrs = {"http://192.168.1.64/onvif/device_service",
                "http://169.254.3.4/onvif/device_service"};
    c.xaddr = c.xaddrs[0];
    c.reach = Reach::Subnet;
    return c;
}

ActionContext Context(const std::atomic<bool>* stop = nullptr) {
    ActionContext context;
    context.password = MakeSharedSecret("pw", 2);
    context.stop = stop;
    context.clock = [] { return kHostNow; };
    return context;
}

std::vector<std::string> Calls(std::initializer_list<const char*> names) {
    return std::vector<std::string>(names.begin(), names.end());
}

TEST(OnvifActionsTest, AddressesACameraNamesAreHeldToTheCamera) {
    CameraRecord farAway = Camera(); // in a foreign subnet, reached at its link-local address
    farAway.source = "172.16.5.9";
    farAway.ip = "169.254.3.4";
    farAway.xaddrs = {"http://172.16.5.9/onvif/device_service",
                      "http://169.254.3.4/onvif/device_service"};
    farAway.xaddr = farAway.xaddrs[1];
    farAway.reach = Reach::LinkLocal;
    struct Case {
        const CameraRecord camera;
        const char* uri;
        Outcome outcome;
        const char* target;
    };
    const Case cases[] = {
        {Camera(), "http://192.168.1.64/snap.jpg", Outcome::Done,
         "http://192.168.1.64:80/snap.jpg"},
        {Camera(), "http://192.168.1.64:8080/s?p=1&q=2", Outcome::Done,
         "http://192.168.1.64:8080/s?p=1&q=2"},
        {Camera(), "https://192.168.1.64/s", Outcome::Done, "https://192.168.1.64:443/s"},
        {Camera(), "http://169.254.3.4/s", Outcome::Done, "http://192.168.1.64:80/s"},
        {Camera(), "http://192.168.1.99/s", Outcome::OutOfReach, ""},
        {Camera(), "http://169.254.9.9/s", Outcome::OutOfReach, ""},
        {Camera(), "http://[fe80::1]/s", Outcome::OutOfReach, ""},
        {Camera(), "http://camera.local/s", Outcome::BadReply, ""},
        {Camera(), "http://admin:pw@192.168.1.64/s", Outcome::BadReply, ""},
        {Camera(), "rtsp://192.168.1.64/s", Outcome::BadReply, ""},
        {Camera(), "http://192.168.1.64/a b", Outcome::BadReply, ""},
        {farAway, "http://172.16.5.9/snap.jpg", Outcome::Done, "http://169.254.3.4:80/snap.jpg"},
        {farAway, "http://169.254.3.4:81/snap.jpg", Outcome::Done,
         "http://169.254.3.4:81/snap.jpg"},
        {farAway, "http://172.16.5.10/snap.jpg", Outcome::OutOfReach, ""},
    };
    for (const Case& c : cases) {
        std::string target;
        EXPECT_EQ(HoldToCamera(c.camera, c.uri, &target), c.outcome) << c.uri;
        EXPECT_EQ(target, c.target) << c.uri;
    }
}

TEST(OnvifActionsTest, RenameKeepsOtherScopesSetsTheHostnameWhereOfferedAndReadsBack) {
    struct Case {
        const char* name;
        bool offered, refused, fixedName;
        Outcome outcome;
        HostnameStep step;
        bool verified;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"Gate North 03", true, false, false, Outcome::Done, HostnameStep::Set, true,
         Calls(
             {"GetScopes", "SetScopes", "GetHostname", "SetHostname", "GetScopes", "GetHostname"})},
        {"Gate North 03", false, false, false, Outcome::Done, HostnameStep::NotOffered, true,
         Calls({"GetScopes", "SetScopes", "GetHostname", "GetScopes"})},
        {"Gate North 03", true, true, false, Outcome::Done, HostnameStep::Refused, true,
         Calls({"GetScopes", "SetScopes", "GetHostname", "SetHostname", "GetScopes"})},
        {"\xe5\xa4\xa7\xe9\x97\xa8", true, false, false, Outcome::Done, HostnameStep::NoHostname,
         true, Calls({"GetScopes", "SetScopes", "GetScopes"})},
        {"Gate North 03", true, false, true, Outcome::NotSupported, HostnameStep::NotAsked, false,
         Calls({"GetScopes"})},
        {"bad\nname", true, false, false, Outcome::InvalidInput, HostnameStep::NotAsked, false,
         Calls({})},
    };
    for (const Case& c : cases) {
        FakeCamera camera;
        camera.hostnameOffered = c.offered;
        camera.hostnameRefused = c.refused;
        if (c.fixedName)
            camera.scopes[1].fixed = true;
        const RenameResult r = Rename(Camera(), {c.name, true}, Context());
        EXPECT_EQ(r.outcome, c.outcome) << c.name << ": " << r.detail;
        EXPECT_EQ(r.hostname, c.step) << c.name;
        EXPECT_EQ(r.verified, c.verified) << c.name;
        EXPECT_EQ(camera.calls, c.calls) << c.name;
        if (c.outcome != Outcome::Done)
            continue;
        EXPECT_EQ(r.nameBefore, "IPC");
        EXPECT_EQ(r.nameAfter, c.name);
        // The location scope is kept, the fixed one never sent, the old name gone.
        const std::string& sent = camera.bodies["SetScopes"].at(0);
        EXPECT_NE(sent.find("location/Hall%201"), std::string::npos);
        EXPECT_EQ(sent.find("video_encoder"), std::string::npos);
        EXPECT_EQ(sent.find("/name/IPC"), std::string::npos);
        if (c.step == HostnameStep::Set) {
            EXPECT_EQ(r.hostnameBefore, "ipc");
            EXPECT_EQ(r.hostnameAfter, "Gate-North-03");
        }
    }
}

TEST(OnvifActionsTest, ARenameThatDoesNotReadBackIsDoneButNotVerified) {
    FakeCamera camera;
    camera.onCall = [&](const std::string& call) {
        if (call == "GetScopes" && camera.calls.size() > 1)
            camera.scopes = {{false, "onvif://www.onvif.org/name/Other"}};
    };
    const RenameResult r = Rename(Camera(), {"Gate-1", false}, Context());
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_FALSE(r.verified);
    EXPECT_EQ(r.nameAfter, "Other");
    EXPECT_NE(r.detail.find("\"Other\""), std::string::npos);
}

TEST(OnvifActionsTest, SnapshotFollowsTheCameraOnlyToItsOwnAddress) {
    const std::string far = "http://10.9.9.9/snapshot.jpg";
    struct Case {
        const char* name;
        bool services;
        std::string media, uri;
        long status;
        bool basicOnly;
        std::string picture;
        Outcome outcome;
        snapshot::ImageCheck image;
        std::vector<std::string> calls;
    };
    const std::string good = Picture(640, 360);
    const std::vector<std::string> all =
        Calls({"GetServices", "GetProfiles", "GetSnapshotUri", "GET"});
    const Case cases[] = {
        {"good", true, "http://192.168.1.64/onvif/media_service",
         "http://192.168.1.64/snapshot.jpg", 200, false, good, Outcome::Done,
         snapshot::ImageCheck::Ok, all},
        {"capabilities when services are not offered", false,
         "http://192.168.1.64/onvif/media_service", "http://169.254.3.4/snapshot.jpg", 200, false,
         good, Outcome::Done, snapshot::ImageCheck::Ok,
         Calls({"GetServices", "GetCapabilities", "GetProfiles", "GetSnapshotUri", "GET"})},
        {"media service elsewhere", true, "http://10.9.9.9/onvif/media_service", far, 200, false,
         good, Outcome::OutOfReach, snapshot::ImageCheck::Ok, Calls({"GetServices"})},
        {"snapshot elsewhere", true, "http://192.168.1.64/onvif/media_service", far, 200, false,
         good, Outcome::OutOfReach, snapshot::ImageCheck::Ok,
         Calls({"GetServices", "GetProfiles", "GetSnapshotUri"})},
        {"snapshot by name", true, "http://192.168.1.64/onvif/media_service",
         "http://cam.example/s.jpg", 200, false, good, Outcome::BadReply, snapshot::ImageCheck::Ok,
         Calls({"GetServices", "GetProfiles", "GetSnapshotUri"})},
        {"basic only", true, "http://192.168.1.64/onvif/media_service", "http://192.168.1.64/s.jpg",
         401, true, good, Outcome::NotSupported, snapshot::ImageCheck::Ok, all},
        {"wrong password", true, "http://192.168.1.64/onvif/media_service",
         "http://192.168.1.64/s.jpg", 401, false, good, Outcome::WrongCredentials,
         snapshot::ImageCheck::Ok, all},
        {"not a jpeg", true, "http://192.168.1.64/onvif/media_service", "http://192.168.1.64/s.jpg",
         200, false, "<html>login</html>", Outcome::BadReply, snapshot::ImageCheck::NotJpeg, all},
        {"cut short", true, "http://192.168.1.64/onvif/media_service", "http://192.168.1.64/s.jpg",
         200, false, good.substr(0, good.size() / 2), Outcome::BadReply,
         snapshot::ImageCheck::Truncated, all},
    };
    for (const Case& c : cases) {
        FakeCamera camera;
        camera.servicesOffered = c.services;
        camera.media = c.media;
        camera.snapshotUri = c.uri;
        camera.imageStatus = c.status;
        camera.imageBasicOnly = c.basicOnly;
        camera.picture = c.picture;
        const SnapshotResult r = TakeSnapshot(Camera(), SnapshotRequest(), Context());
        EXPECT_EQ(r.outcome, c.outcome) << c.name << ": " << r.detail;
        EXPECT_EQ(r.image, c.image) << c.name;
        EXPECT_EQ(camera.calls, c.calls) << c.name;
        EXPECT_EQ(r.verified, c.outcome == Outcome::Done) << c.name;
        // Only the camera's own address is ever asked, with the password
        // only for Digest (the transport's rule) and a bounded body.
        for (const ImageGetRequest& p : camera.pictures) {
            EXPECT_EQ(p.host, "192.168.1.64") << c.name;
            EXPECT_LE(p.maxBytes, snapshot::kMaxImageBytes) << c.name;
            EXPECT_LE(p.timeLimitMs, kImageDeadlineMs) << c.name;
        }
        if (c.outcome == Outcome::OutOfReach) {
            EXPECT_NE(r.detail.find("10.9.9.9"), std::string::npos) << c.name;
        }
        if (c.outcome != Outcome::Done)
            continue;
        EXPECT_EQ(r.profileToken, "main"); // the first profile with video, not "audio"
        EXPECT_EQ(r.jpeg, good);
        EXPECT_EQ(r.width, 640);
        EXPECT_EQ(r.height, 360);
        EXPECT_EQ(r.comment, "name=Gate-1");
        EXPECT_TRUE(r.loggedIn);
        EXPECT_EQ(r.thumbnail.width, 320);
        EXPECT_LE(r.thumbnail.jpeg.size(), snapshot::kThumbnailMaxBytes);
    }
}

TEST(OnvifActionsTest, SnapshotRefusalsOfTheCameraAndTheTransport) {
    struct Case {
        const char* name;
        bool video;
        ImageGetResult fetch;
        Outcome outcome;
        snapshot::ImageCheck image;
    };
    const Case cases[] = {
        {"no video profile", false, ImageGetResult::Answered, Outcome::NotSupported,
         snapshot::ImageCheck::Ok},
        {"too large", true, ImageGetResult::TooLarge, Outcome::TooLarge,
         snapshot::ImageCheck::TooLarge},
        {"slow", true, ImageGetResult::NoAnswer, Outcome::NoAnswer, snapshot::ImageCheck::Ok},
        {"certificate changed", true, ImageGetResult::KeyMismatch, Outcome::CertificateChanged,
         snapshot::ImageCheck::Ok},
    };
    for (const Case& c : cases) {
        FakeCamera camera;
        camera.videoProfile = c.video;
        camera.imageResult = c.fetch;
        const SnapshotResult r = TakeSnapshot(Camera(), SnapshotRequest(), Context());
        EXPECT_EQ(r.outcome, c.outcome) << c.name << ": " << r.detail;
        EXPECT_EQ(r.image, c.image) << c.name;
        EXPECT_TRUE(r.jpeg.empty()) << c.name;
    }
}

TEST(OnvifActionsTest, ClockIsSetByHandFirstThenHandedToNtpAndReadBack) {
    struct Case {
        const char* name;
        ClockRequest request;
        Outcome outcome;
        bool verified;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"by hand",
         {false, "", "CST-8"},
         Outcome::Done,
         true,
         Calls({"GetSystemDateAndTime", "SetSystemDateAndTime", "GetSystemDateAndTime"})},
        {"ntp",
         {true, "pool.ntp.org", "CET-1CEST,M3.5.0,M10.5.0/3"},
         Outcome::Done,
         true,
         Calls({"GetSystemDateAndTime", "GetNTP", "SetNTP", "SetSystemDateAndTime",
                "GetSystemDateAndTime", "SetSystemDateAndTime", "GetSystemDateAndTime", "GetNTP"})},
        {"bad server", {true, "ntp server", ""}, Outcome::InvalidInput, false, Calls({})},
        {"bad zone", {false, "", "Beijing"}, Outcome::InvalidInput, false, Calls({})},
    };
    for (const Case& c : cases) {
        FakeCamera camera;
        camera.clockOffset = -6 * 365 * 86400LL; // years behind, as out of the box
        const ClockResult r = SetClock(Camera(), c.request, Context());
        EXPECT_EQ(r.outcome, c.outcome) << c.name << ": " << r.detail;
        EXPECT_EQ(r.verified, c.verified) << c.name << ": " << r.detail;
        EXPECT_EQ(camera.calls, c.calls) << c.name;
        if (c.outcome != Outcome::Done)
            continue;
        EXPECT_TRUE(r.beforeKnown);
        EXPECT_EQ(r.before.offset, -6 * 365 * 86400LL);
        EXPECT_EQ(r.after.offset, 0);
        EXPECT_EQ(r.after.timeZone, c.request.timeZone);
        EXPECT_EQ(r.after.type, c.request.ntp ? "NTP" : "Manual");
        // The time sent by hand is this computer's UTC time; the hand-over
        // to NTP carries none.
        const std::vector<std::string>& sets = camera.bodies["SetSystemDateAndTime"];
        EXPECT_NE(sets.at(0).find("<tt:Year>2026</tt:Year><tt:Month>12</tt:Month><tt:Day>9"),
                  std::string::npos);
        EXPECT_EQ(sets.size(), c.request.ntp ? 2u : 1u);
        EXPECT_EQ(sets.back().find("UTCDateTime") == std::string::npos, c.request.ntp);
    }
}

TEST(OnvifActionsTest, ATokenCameraWithItsClockOffGetsNoToken) {
    FakeCamera camera;
    camera.tokenOnly = true;
    camera.clockOffset = -3 * 3600;
    const ClockResult r = SetClock(Camera(), {false, "", "UTC0"}, Context());
    EXPECT_EQ(r.outcome, Outcome::ClockOff) << r.detail;
    EXPECT_EQ(r.before.offset, -3 * 3600);
    EXPECT_EQ(camera.calls, Calls({"GetSystemDateAndTime", "SetSystemDateAndTime"}));
    EXPECT_EQ(camera.bodies["SetSystemDateAndTime"].at(0).find("UsernameToken"), std::string::npos);
    // Within the bound the same camera is set with a token.
    FakeCamera near;
    near.tokenOnly = true;
    near.clockOffset = 100;
    const ClockResult set = SetClock(Camera(), {false, "", "UTC0"}, Context());
    EXPECT_EQ(set.outcome, Outcome::Done) << set.detail;
    EXPECT_TRUE(set.verified);
}

TEST(OnvifActionsTest, NothingIsSentToACameraThatMayNotBeLoggedInToOrPastTheDeadline) {
    CameraRecord contested = Camera();
    contested.contested = true;
    contested.claimants = {"192.168.1.64", "192.168.1.66"};
    CameraRecord unreachable = Camera();
    unreachable.reach = Reach::None;
    unreachable.xaddr.clear();
    ActionContext late = Context();
    late.deadline = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    ActionContext noPassword = Context();
    noPassword.password = nullptr;
    struct Case {
        const char* name;
        CameraRecord camera;
        ActionContext context;
        Outcome outcome;
    };
    const Case cases[] = {
        {"contested", contested, Context(), Outcome::Conflict},
        {"out of reach", unreachable, Context(), Outcome::OutOfReach},
        {"deadline passed", Camera(), late, Outcome::NoAnswer},
        {"no password", Camera(), noPassword, Outcome::InvalidInput},
    };
    for (const Case& c : cases) {
        FakeCamera camera;
        EXPECT_EQ(Rename(c.camera, {"Gate-1", true}, c.context).outcome, c.outcome) << c.name;
        EXPECT_EQ(TakeSnapshot(c.camera, SnapshotRequest(), c.context).outcome, c.outcome)
            << c.name;
        EXPECT_EQ(SetClock(c.camera, {false, "", ""}, c.context).outcome, c.outcome) << c.name;
        EXPECT_TRUE(camera.calls.empty()) << c.name;
    }
    const RenameResult r = Rename(contested, {"Gate-1", true}, Context());
    EXPECT_NE(r.detail.find("192.168.1.66"), std::string::npos);
}

TEST(OnvifActionsTest, AStopFlagEndsEachActionBeforeItsNextCall) {
    for (const char* action : {"rename", "snapshot", "clock", "clock, by a batch's cancel"}) {
        FakeCamera camera;
        std::atomic<bool> stop{false};
        camera.onCall = [&](const std::string&) { stop = true; };
        Outcome outcome = Outcome::Done;
        if (std::string(action) == "rename")
            outcome = Rename(Camera(), {"Gate-1", true}, Context(&stop)).outcome;
        else if (std::string(action) == "snapshot")
            outcome = TakeSnapshot(Camera(), SnapshotRequest(), Context(&stop)).outcome;
        else if (std::string(action) == "clock")
            outcome = SetClock(Camera(), {true, "10.0.0.1", "UTC0"}, Context(&stop)).outcome;
        else {
            ActionContext context = Context();
            context.cancelled = [&] { return stop.load(); };
            outcome = SetClock(Camera(), {true, "10.0.0.1", "UTC0"}, context).outcome;
        }
        EXPECT_EQ(outcome, Outcome::Cancelled) << action;
        EXPECT_EQ(camera.calls.size(), 1u) << action;
    }
}

} // namespace
