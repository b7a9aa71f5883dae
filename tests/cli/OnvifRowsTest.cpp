// ONVIF cameras as rows of lorvex-search's lists: the fields a camera
// fills, one row for a device seen by both protocols, and the endpoint
// column in every output form.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "DeviceFormat.h"
#include "OnvifCommands.h"
#include "OnvifMessages.h"
#include "SoapTransport.h"

namespace {

onvif::CameraRecord Camera(const std::string& endpoint, const std::string& mac) {
    onvif::CameraRecord c;
    c.endpoint = endpoint;
    c.mac = mac;
    c.name = "Gate \"North\"";
    c.hardware = "IPC-2000";
    c.xaddrs = {"https://192.168.1.64:8443/onvif/device_service",
                "http://169.254.3.4/onvif/device_service"};
    c.xaddr = c.xaddrs[0];
    c.reach = onvif::Reach::Subnet;
    c.ip = "192.168.1.64";
    c.port = 8443;
    return c;
}

TEST(OnvifRows, ACameraFillsTheFieldsItHasAndNoOthers) {
    onvif::CameraRecord c = Camera("urn:uuid:a", "02:4F:4E:00:00:01");
    SEARCH_INFO row = onvif_cli::CameraRow(c, SEARCH_EVENT_NEW);
    EXPECT_STREQ(row.productSeries, "ONVIF camera");
    EXPECT_STREQ(row.devName, "Gate \"North\"");
    EXPECT_STREQ(row.ipAddr, "192.168.1.64");
    EXPECT_STREQ(row.ipAddr2, "169.254.3.4");
    EXPECT_EQ(row.httpPort, 8443);
    EXPECT_EQ(row.httpType, 1);
    EXPECT_STREQ(row.productModel, "IPC-2000"); // the scope until the camera tells its model
    EXPECT_STREQ(row.mask, "");
    EXPECT_EQ(row.dataPort, 0);
    c.info.model = "Acme 9000";
    c.info.firmware = "2.1";
    row = onvif_cli::CameraRow(c, SEARCH_EVENT_CHANGED);
    EXPECT_STREQ(row.productModel, "Acme 9000");
    EXPECT_STREQ(row.softwareVer, "2.1");
    EXPECT_EQ(row.event, SEARCH_EVENT_CHANGED);
    c.name = std::string(100, 'n'); // cut to its field
    EXPECT_EQ(std::strlen(onvif_cli::CameraRow(c, 0).devName), sizeof(row.devName) - 1);
}

TEST(OnvifRows, OneMacSeenByBothProtocolsIsOneRow) {
    SEARCH_INFO maker{};
    std::strcpy(maker.mac, "02:4F:4E:00:00:01");
    std::strcpy(maker.productSeries, "ZVK_IPC");
    const onvif_cli::Listing list = onvif_cli::MergeCameras(
        {maker}, {"verified"},
        {Camera("urn:uuid:both", "02:4F:4E:00:00:01"), Camera("urn:uuid:only", ""),
         Camera("urn:uuid:same-serial", "02:4F:4E:00:00:09")});
    ASSERT_EQ(list.rows.size(), 3u);
    EXPECT_STREQ(list.rows[0].productSeries, "ZVK_IPC");
    EXPECT_EQ(list.endpoints[0], "urn:uuid:both");
    EXPECT_EQ(list.identities[0], "verified");
    EXPECT_EQ(list.endpoints[1], "urn:uuid:only");
    EXPECT_EQ(list.identities[1], "none");
    EXPECT_EQ(list.endpoints[2], "urn:uuid:same-serial");
}

// What plan and apply choose from: a camera with a maker's MAC is that
// device (noting its endpoint), a camera without MAC is a device by its
// endpoint, with its own and its link-local address.
TEST(OnvifRows, PlanDevicesKeepOneDevicePerMacAndCamerasWithoutMac) {
    commission::PlanDevice maker;
    maker.mac = "02:4F:4E:00:00:01";
    maker.type = "ZVK_IPC";
    const std::vector<commission::PlanDevice> devices = onvif_cli::PlanDevices(
        {maker}, {Camera("urn:uuid:both", "02:4F:4E:00:00:01"), Camera("urn:uuid:only", "")});
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].type, "ZVK_IPC");
    EXPECT_EQ(devices[0].endpoint, "urn:uuid:both");
    EXPECT_EQ(commission::DeviceKey(devices[0]), "02:4F:4E:00:00:01");
    EXPECT_EQ(devices[1].mac, "");
    EXPECT_EQ(commission::DeviceKey(devices[1]), "urn:uuid:only");
    EXPECT_EQ(devices[1].type, "ONVIF camera");
    EXPECT_EQ(devices[1].ip, "192.168.1.64");
    EXPECT_EQ(devices[1].ip2, "169.254.3.4");
}

TEST(OnvifRows, EveryFormatCarriesTheEndpoint) {
    const SEARCH_INFO row = onvif_cli::CameraRow(Camera("urn:uuid:a", ""), SEARCH_EVENT_NEW);
    const std::string identity = "none", endpoint = "urn:uuid:a";
    const auto json = nlohmann::json::parse(format::RecordJson(row, false, &identity, &endpoint));
    EXPECT_EQ(json["endpoint"], "urn:uuid:a");
    EXPECT_EQ(json["productSeries"], "ONVIF camera");
    const std::string header = format::CsvHeader(false, true, true);
    EXPECT_EQ(header.substr(header.size() - 18), ",endpoint,identity");
    const std::string csv = format::RecordCsv(row, false, &identity, &endpoint);
    EXPECT_EQ(csv.substr(csv.size() - 16), ",urn:uuid:a,none");
    const std::string table = format::RecordTable({row}, {identity}, {endpoint});
    EXPECT_NE(table.find("endpoint"), std::string::npos);
    EXPECT_NE(table.find("urn:uuid:a"), std::string::npos);
    EXPECT_NE(format::EventLine(row, &identity, &endpoint).find("urn:uuid:a"), std::string::npos);
    SEARCH_INFO gone = row;
    gone.event = SEARCH_EVENT_GONE;
    EXPECT_NE(format::EventLine(gone, &identity, &endpoint).find("urn:uuid:a"), std::string::npos);
}

// Cameras answering GetDeviceInformation through the SOAP seam, each by
// its host: one tells, one refuses the login, one never answers (it holds
// each request as long as the request may take, as a silent camera does).
class InformationCameras {
public:
    InformationCameras() {
        m_previous = SetSoapPostFunction([this](const SoapPostRequest& r, SoapPostReply* out) {
            {
                std::lock_guard<std::mutex> hold(m_mutex);
                hosts.insert(r.host);
            }
            if (r.host == "10.0.0.3") {
                std::this_thread::sleep_for(std::chrono::milliseconds(r.timeLimitMs));
                return SoapPostResult::NoAnswer;
            }
            out->status = 200;
            if (r.action.find("GetSystemDateAndTime") != std::string::npos)
                out->body = onvif_test::DateAndTime(2026, 12, 9, 13, 0, 0);
            else if (r.host == "10.0.0.2")
                out->status = 401;
            else
                out->body = onvif_test::Answer(
                    "<tds:GetDeviceInformationResponse><tds:Manufacturer>Acme</tds:Manufacturer>"
                    "<tds:Model>M-9</tds:Model><tds:FirmwareVersion>2.4</tds:FirmwareVersion>"
                    "<tds:SerialNumber>SN-1</tds:SerialNumber><tds:HardwareId>H1</tds:HardwareId>"
                    "</tds:GetDeviceInformationResponse>");
            return SoapPostResult::Answered;
        });
    }
    ~InformationCameras() { SetSoapPostFunction(m_previous); }
    std::set<std::string> hosts;

private:
    std::mutex m_mutex;
    SoapPostFunction m_previous;
};

onvif::CameraRecord At(const std::string& host) {
    onvif::CameraRecord c = Camera("urn:uuid:" + host, "");
    c.xaddr = "http://" + host + "/onvif/device_service";
    c.xaddrs = {c.xaddr};
    return c;
}

TEST(OnvifRows, InformationReplacesTheScopeNamesWithinTheBound) {
    InformationCameras cameras;
    std::vector<onvif::CameraRecord> list = {At("10.0.0.1"), At("10.0.0.2"), At("10.0.0.3"),
                                             At("10.0.0.4")};
    list[3].reach = onvif::Reach::None; // out of reach: never asked
    list[3].xaddr.clear();
    // Named: only that camera hears of the login.
    onvif_cli::ReadInformation(&list, "admin", MakeSharedSecret("pw", 2),
                               std::chrono::steady_clock::now() + std::chrono::milliseconds(400),
                               {"urn:uuid:10.0.0.1"}, false);
    EXPECT_EQ(cameras.hosts, (std::set<std::string>{"10.0.0.1"}));
    cameras.hosts.clear();
    const auto start = std::chrono::steady_clock::now();
    const std::vector<onvif_cli::LoginNote> notes =
        onvif_cli::ReadInformation(&list, "admin", MakeSharedSecret("pw", 2),
                                   start + std::chrono::milliseconds(400), {}, true);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(cameras.hosts, (std::set<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    // The cameras' clocks say 2026-12-09 13:00 UTC: far off this computer's,
    // so the one that wants a token (10.0.0.2) is refused one, and said.
    bool clockSaid = false;
    for (const onvif_cli::LoginNote& n : notes)
        clockSaid = clockSaid || (n.endpoint == "urn:uuid:10.0.0.2" &&
                                  n.outcome == onvif::Outcome::ClockOff && n.clockOff);
    EXPECT_TRUE(clockSaid || !onvif::ClockIsOff(1796821200 - std::time(nullptr)));
    EXPECT_EQ(list[0].info.serial, "SN-1");
    EXPECT_TRUE(list[1].info.model.empty()); // refused: its scope names stay
    EXPECT_TRUE(list[2].info.model.empty()); // silent
    const onvif_cli::Listing listing = onvif_cli::MergeCameras({}, {}, list, true);
    ASSERT_EQ(listing.extras.size(), 4u);
    EXPECT_STREQ(listing.rows[0].productModel, "M-9");
    EXPECT_STREQ(listing.rows[0].softwareVer, "2.4");
    EXPECT_STREQ(listing.rows[0].devName, "Gate \"North\"");
    EXPECT_EQ(listing.extras[0], (format::Extras{{"manufacturer", "Acme"}, {"serial", "SN-1"}}));
    EXPECT_STREQ(listing.rows[1].productModel, "IPC-2000");
    EXPECT_EQ(listing.extras[1], (format::Extras{{"manufacturer", ""}, {"serial", ""}}));
    // The columns in every form, before the endpoint.
    const std::string csv = format::RecordCsv(listing.rows[0], false, &listing.identities[0],
                                              &listing.endpoints[0], &listing.extras[0]);
    EXPECT_NE(csv.find(",Acme,SN-1,urn:uuid:10.0.0.1,none"), std::string::npos) << csv;
    EXPECT_NE(format::CsvHeader(false, true, true, {"manufacturer", "serial"})
                  .find(",manufacturer,serial,endpoint,identity"),
              std::string::npos);
    const auto json = nlohmann::json::parse(format::RecordJson(
        listing.rows[0], false, &listing.identities[0], &listing.endpoints[0], &listing.extras[0]));
    EXPECT_EQ(json["manufacturer"], "Acme");
    const std::string table =
        format::RecordTable(listing.rows, listing.identities, listing.endpoints, listing.extras);
    EXPECT_NE(table.find("manufacturer"), std::string::npos);
    EXPECT_NE(table.find("SN-1"), std::string::npos);
    // Without information nothing changes.
    EXPECT_TRUE(onvif_cli::MergeCameras({}, {}, list).extras.empty());
}

} // namespace
