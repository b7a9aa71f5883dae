// ONVIF cameras as rows of lorvex-search's lists: the fields a camera
// fills, one row for a device seen by both protocols, and the endpoint
// column in every output form.
#include <gtest/gtest.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "DeviceFormat.h"
#include "OnvifCommands.h"

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

} // namespace
