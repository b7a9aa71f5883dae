// The simulator's device labels: what an installer reads off a device and a
// barcode scanner types from it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "DeviceTrust.h"
#include "Fleet.h"
#include "Labels.h"

namespace {

using namespace devsim;

std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(DevsimLabels, OneLabelPerMakerDeviceAndACodesFile) {
    ASSERT_TRUE(lorvex::trust::InitCrypto());
    FleetPlan plan;
    plan.count = 2;
    plan.onvifCount = 1;
    std::vector<Device> fleet;
    Generate(plan, 1700000000, &fleet);
    fleet[1].productModel = "LV-<b>&\"x\"";
    std::array<unsigned char, 32> seed{};
    for (Device& d : fleet)
        Certify(&d, seed);
    const std::string dir = testing::TempDir() + "labels-" + std::to_string(getpid());
    std::string error;
    ASSERT_TRUE(WriteLabels(fleet, dir, &error)) << error;
    EXPECT_EQ(Read(dir + "/labels.csv"), "mac,setup_code\n02:4C:56:00:00:01," + fleet[0].setupCode +
                                             "\n02:4C:56:00:00:02," + fleet[1].setupCode + "\n")
        << "the standard camera has no code";
    EXPECT_FALSE(std::filesystem::exists(dir + "/02-4F-4E-00-00-01.svg"));
    const std::string svg = Read(dir + "/02-4C-56-00-00-02.svg");
    for (const std::string& shown :
         {std::string("02:4C:56:00:00:02"), fleet[1].setupCode, std::string("LV-&lt;b&gt;&amp;"),
          lorvex::trust::Fingerprint(fleet[1].keys.publicKey).substr(0, 19),
          lorvex::trust::Fingerprint(fleet[1].keys.publicKey).substr(20)})
        EXPECT_NE(svg.find(shown), std::string::npos) << shown;
    EXPECT_EQ(svg.find("<b>"), std::string::npos) << "device text is escaped";
    EXPECT_EQ(LabelQrText(fleet[1]), "02:4C:56:00:00:02," + fleet[1].setupCode);
    EXPECT_NE(svg.find("<path fill=\"#000\" d=\"M"), std::string::npos) << "the QR code's modules";
    EXPECT_FALSE(WriteLabels(fleet, dir + "/labels.csv/x", &error)) << "not a folder";
    std::filesystem::remove_all(dir);
}

} // namespace
