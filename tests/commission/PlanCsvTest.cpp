// Plan files: importing a plan (or an edited device list) and the faults
// that must stop it, each naming its line; exporting a plan with outcomes
// and never a password.
#include <gtest/gtest.h>

#include "PlanCsv.h"

using namespace commission;

namespace {

std::vector<PlanDevice> Listed() {
    std::vector<PlanDevice> out;
    for (int i = 1; i <= 3; ++i) {
        PlanDevice d;
        d.mac = "02:4C:56:00:00:0" + std::to_string(i);
        d.ip = "192.168.1." + std::to_string(63 + i);
        d.ip2 = "169.254.0." + std::to_string(i);
        d.name = "cam " + std::to_string(i);
        out.push_back(d);
    }
    return out;
}

const char kHeader[] = "mac,newIp,newMask,newGateway,httpPort,dataPort,password\r\n";

} // namespace

TEST(PlanCsvTest, ImportsAPlanInFileOrder) {
    const std::string text = std::string("\xEF\xBB\xBF") + kHeader +
                             "02:4c:56:00:00:02,10.0.0.10,255.255.255.0,10.0.0.1,,,\"p,w\"\r\n"
                             "\r\n"
                             "02:4C:56:00:00:01,10.0.0.11,255.255.255.0,10.0.0.1,8080,0,\r\n";
    std::vector<PlanEntry> plan;
    CsvError error;
    ASSERT_TRUE(ImportPlan(text, Listed(), &plan, &error)) << error.line << error.message;
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].device.mac, "02:4C:56:00:00:02");
    EXPECT_EQ(plan[0].device.name, "cam 2");
    EXPECT_EQ(plan[0].password, "p,w");
    EXPECT_EQ(plan[1].ip, "10.0.0.11");
    EXPECT_EQ(plan[1].httpPort, "8080");
    EXPECT_EQ(plan[1].dataPort, ""); // 0 keeps the port
}

TEST(PlanCsvTest, ReadsAnExportedDeviceListByItsColumnNames) {
    const std::string text =
        "devName,ipAddr,mask,route,mac,productSeries\n"
        "\"'=x\",192.168.1.70,255.255.255.0,192.168.1.1,02:4C:56:00:00:03,ZVK\n";
    std::vector<PlanEntry> plan;
    CsvError error;
    ASSERT_TRUE(ImportPlan(text, Listed(), &plan, &error)) << error.message;
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].ip, "192.168.1.70");
    EXPECT_EQ(plan[0].gateway, "192.168.1.1");
}

TEST(PlanCsvTest, RowsThatChangeNothingAreLeftOut) {
    // Two devices still share their factory address; only the third row
    // asks for a change.
    std::vector<PlanDevice> listed = Listed();
    for (PlanDevice& d : listed) {
        d.ip = "192.168.1.64";
        d.mask = "255.255.255.0";
        d.gateway = "192.168.1.1";
        d.httpPort = 80;
    }
    const std::string text = "mac,ipAddr,mask,route,httpPort\n"
                             "02:4C:56:00:00:01,192.168.1.64,255.255.255.0,192.168.1.1,80\n"
                             "02:4C:56:00:00:02,192.168.1.64,255.255.255.0,192.168.1.1,80\n"
                             "02:4C:56:00:00:03,192.168.1.70,255.255.255.0,192.168.1.1,80\n";
    std::vector<PlanEntry> plan;
    CsvError error;
    ASSERT_TRUE(ImportPlan(text, listed, &plan, &error)) << error.line << error.message;
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].device.mac, "02:4C:56:00:00:03");
    // Taking the shared address is still refused, whoever else holds it.
    const std::string taking = "mac,ipAddr,mask,route\n"
                               "02:4C:56:00:00:03,192.168.1.64,255.255.255.0,192.168.1.1\n";
    listed[2].ip = "192.168.1.99";
    EXPECT_FALSE(ImportPlan(taking, listed, &plan, &error));
    EXPECT_EQ(error.line, 2u);
}

TEST(PlanCsvTest, BadFilesAreRefusedNamingTheLine) {
    const std::string ok = "02:4C:56:00:00:01,10.0.0.10,255.255.255.0,10.0.0.1,,,\n";
    const struct {
        const char* name;
        std::string text;
        size_t line;
    } cases[] = {
        {"no mac column", "ip,newIp,newMask,newGateway\n", 1},
        {"a column twice", "mac,newIp,newMask,newGateway,mac\n", 1},
        {"empty file", "", 1},
        {"fields missing", kHeader + ok + "02:4C:56:00:00:02,10.0.0.11\n", 3},
        {"not a MAC", kHeader + std::string("02:4C:56:00:00,10.0.0.10,255.255.255.0,10.0.0.1,,,\n"),
         2},
        {"MAC not listed",
         kHeader + std::string("02:4C:56:00:00:09,10.0.0.10,255.255.255.0,10.0.0.1,,,\n"), 2},
        {"MAC twice", kHeader + ok + "\n" + ok, 4},
        {"bad address",
         kHeader + std::string("02:4C:56:00:00:01,10.0.0.300,255.255.255.0,10.0.0.1,,,\n"), 2},
        {"address rule",
         kHeader + std::string("02:4C:56:00:00:01,10.0.0.10,255.255.255.0,10.0.1.1,,,\n"), 2},
        {"broadcast address",
         kHeader + std::string("02:4C:56:00:00:01,10.0.0.255,255.255.255.0,10.0.0.1,,,\n"), 2},
        {"target twice", kHeader + ok + "02:4C:56:00:00:02,10.0.0.10,255.255.255.0,10.0.0.1,,,\n",
         3},
        {"target held by another device",
         kHeader + std::string("02:4C:56:00:00:01,192.168.1.65,255.255.255.0,192.168.1.1,,,\n"), 2},
        {"bad port",
         kHeader + std::string("02:4C:56:00:00:01,10.0.0.10,255.255.255.0,10.0.0.1,65536,,\n"), 2},
        {"quoted field open", kHeader + ok + "\"02:4C", 3},
        {"over 1 MiB", kHeader + std::string(kMaxCsvBytes, '\n'), 0},
    };
    for (const auto& c : cases) {
        std::vector<PlanEntry> plan;
        CsvError error;
        EXPECT_FALSE(ImportPlan(c.text, Listed(), &plan, &error)) << c.name;
        EXPECT_TRUE(plan.empty()) << c.name;
        EXPECT_EQ(error.line, c.line) << c.name << ": " << error.message;
    }
}

TEST(PlanCsvTest, ExportCarriesOutcomesAndNoPassword) {
    std::vector<PlanEntry> plan;
    CsvError error;
    ASSERT_TRUE(ImportPlan(std::string(kHeader) +
                               "02:4C:56:00:00:01,10.0.0.10,255.255.255.0,10.0.0.1,,,secret1\n"
                               "02:4C:56:00:00:02,10.0.0.11,255.255.255.0,10.0.0.1,,,secret2\n",
                           Listed(), &plan, &error));
    std::vector<DeviceStatus> statuses(1);
    statuses[0].state = BatchState::Refused;
    statuses[0].reason = RefusalReason::Password;
    const std::string text = ExportPlan(plan, statuses);
    EXPECT_EQ(text.find("secret"), std::string::npos);
    EXPECT_EQ(text.find("password"), text.find("refused (password)") + 9);
    // What was exported imports again to the same plan.
    std::vector<PlanEntry> again;
    ASSERT_TRUE(ImportPlan(text, Listed(), &again, &error)) << error.line << error.message;
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1].ip, "10.0.0.11");
    EXPECT_EQ(again[1].device.mac, "02:4C:56:00:00:02");
}

namespace {

// The three devices with MACs and two ONVIF cameras: one without a MAC in
// its scopes, known by its endpoint alone, and one with both.
std::vector<PlanDevice> WithCameras() {
    std::vector<PlanDevice> out = Listed();
    PlanDevice bare;
    bare.endpoint = "urn:uuid:cam-no-mac";
    bare.ip = "192.168.1.80";
    out.push_back(bare);
    PlanDevice both;
    both.mac = "02:4F:4E:00:00:07";
    both.endpoint = "urn:uuid:cam-mac";
    both.ip = "192.168.1.81";
    out.push_back(both);
    return out;
}

} // namespace

TEST(PlanCsvTest, ACameraWithoutMacIsNamedByItsEndpoint) {
    const std::string text =
        "mac,endpoint,newIp,newMask,newGateway\n"
        ",urn:uuid:cam-no-mac,10.0.0.20,255.255.255.0,10.0.0.1\n"
        ",urn:uuid:cam-mac,10.0.0.21,255.255.255.0,10.0.0.1\n"
        "02:4C:56:00:00:01,urn:uuid:ignored,10.0.0.22,255.255.255.0,10.0.0.1\n";
    std::vector<PlanEntry> plan;
    CsvError error;
    ASSERT_TRUE(ImportPlan(text, WithCameras(), &plan, &error)) << error.line << error.message;
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[0].device.endpoint, "urn:uuid:cam-no-mac");
    EXPECT_EQ(DeviceKey(plan[0].device), "urn:uuid:cam-no-mac");
    EXPECT_EQ(DeviceKey(plan[1].device), "02:4F:4E:00:00:07"); // its MAC still names it
    EXPECT_EQ(plan[2].device.mac, "02:4C:56:00:00:01");        // the MAC wins over the endpoint
    // Written with the endpoint column, and read back to the same plan.
    const std::string saved = ExportPlan(plan, {});
    EXPECT_EQ(saved.rfind("mac,devName,", 0), 0u)
        << saved; // the columns of old plans keep their places
    EXPECT_NE(saved.find(",detail,endpoint,name,ntp,timeZone\r\n,"), std::string::npos) << saved;
    EXPECT_NE(saved.find(",urn:uuid:cam-no-mac,,,\r\n"), std::string::npos) << saved;
    std::vector<PlanEntry> again;
    ASSERT_TRUE(ImportPlan(saved, WithCameras(), &again, &error)) << error.line << error.message;
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(DeviceKey(again[0].device), "urn:uuid:cam-no-mac");
    EXPECT_EQ(again[0].ip, "10.0.0.20");
    // A plan of the old form, without the endpoint column, still loads.
    ASSERT_TRUE(
        ImportPlan(std::string(kHeader) + "02:4C:56:00:00:01,10.0.0.10,255.255.255.0,10.0.0.1,,,\n",
                   WithCameras(), &plan, &error))
        << error.message;
    EXPECT_EQ(plan.size(), 1u);
}

TEST(PlanCsvTest, EndpointFaultsAreRefusedNamingTheLine) {
    const std::string header = "mac,endpoint,newIp,newMask,newGateway\n";
    const std::string tail = ",10.0.0.20,255.255.255.0,10.0.0.1\n";
    const struct {
        const char* name;
        std::string text;
        size_t line;
        const char* says;
    } cases[] = {
        {"endpoint not listed", header + ",urn:uuid:other" + tail, 2, "not in the device list"},
        {"neither MAC nor endpoint", header + "," + tail, 2, "names no device"},
        {"control character", header + ",\"urn:uuid:a\x1b[2J\"" + tail, 2, "control"},
        {"over long", header + ",urn:" + std::string(kMaxPlanEndpointBytes, 'x') + tail, 2,
         "longer"},
        // One camera named by its MAC, then by its endpoint.
        {"one camera twice",
         header + "02:4F:4E:00:00:07," + tail +
             ",urn:uuid:cam-mac,10.0.0.21,255.255.255.0,10.0.0.1\n",
         3, "twice"},
        {"an endpoint-only file still needs the addresses", "endpoint,newIp\n", 1, "header"},
    };
    for (const auto& c : cases) {
        std::vector<PlanEntry> plan;
        CsvError error;
        EXPECT_FALSE(ImportPlan(c.text, WithCameras(), &plan, &error)) << c.name;
        EXPECT_TRUE(plan.empty()) << c.name;
        EXPECT_EQ(error.line, c.line) << c.name << ": " << error.message;
        EXPECT_NE(error.message.find(c.says), std::string::npos) << c.name << ": " << error.message;
        EXPECT_EQ(error.message.find('\x1b'), std::string::npos) << c.name;
    }
}

// The name, setup code, generated password and clock columns: read and
// checked, a row asking only them kept, the secrets never written back.
TEST(PlanCsvTest, StepColumnsAreCheckedAndSecretsNeverWritten) {
    const std::string header =
        "mac,newIp,newMask,newGateway,password,setupCode,name,ntp,timeZone\n";
    const std::string same = ",192.168.1.64,255.255.255.0,192.168.1.1,"; // device 1's own
    std::vector<PlanEntry> plan;
    CsvError error;
    ASSERT_TRUE(
        ImportPlan(header + "02:4C:56:00:00:01" + same +
                       "(generate),abcd efgh jkd2,Gate-North-01,10.0.0.1,\"CET-1CEST,M3.5.0\"\n",
                   Listed(), &plan, &error))
        << error.message;
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_TRUE(plan[0].generatePassword);
    EXPECT_TRUE(plan[0].password.empty());
    EXPECT_EQ(plan[0].setupCode, "ABCD-EFGH-JKD2");
    EXPECT_EQ(plan[0].name, "Gate-North-01");
    EXPECT_EQ(plan[0].timeZone, "CET-1CEST,M3.5.0");
    const std::string text = ExportPlan(plan, {});
    EXPECT_NE(text.find(",Gate-North-01,10.0.0.1,\"CET-1CEST,M3.5.0\""), std::string::npos) << text;
    EXPECT_EQ(text.find("JKD2"), std::string::npos);
    EXPECT_EQ(text.find("generate"), std::string::npos);
    const std::string row = "02:4C:56:00:00:01" + same + ",";
    const struct {
        const char* name;
        std::string cells; // setupCode,name,ntp,timeZone
    } bad[] = {
        {"mistyped code", "ABCD-EFGH-JKD3,,,"},
        {"name too long", "," + std::string(32, 'n') + ",,"},
        {"name with a control character", ",Gate\t1,,"},
        {"server with a space", ",,ntp site,"},
        {"time zone with a quote", ",,,UTC'0"},
    };
    for (const auto& c : bad) {
        EXPECT_FALSE(ImportPlan(header + row + c.cells + "\n", Listed(), &plan, &error)) << c.name;
        EXPECT_EQ(error.line, 2u) << c.name;
        EXPECT_EQ(error.message.find("JKD3"), std::string::npos) << c.name;
    }
}
