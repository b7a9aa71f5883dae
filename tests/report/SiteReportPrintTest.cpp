// The site report as the customer prints it: a page with hostile device
// names and camera thumbnails, printed to PDF by headless Chromium inside
// a private network (so that nothing could be fetched even if the page
// asked), then read back: pages exist, the names come out as the text they
// are. Keeps the PDF and a PNG of each page under shots/ beside the test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Jpeg.h"
#include "PrivateNetwork.h"
#include "SiteReport.h"

namespace {

snapshot::Thumbnail Thumb(std::uint8_t blue) {
    snapshot::Image image;
    image.width = 640, image.height = 360;
    for (int i = 0; i < image.width * image.height; ++i)
        image.rgb.insert(image.rgb.end(), {40, std::uint8_t(i % 640 * 255 / 640), blue});
    std::string jpeg;
    snapshot::Thumbnail out;
    EXPECT_TRUE(snapshot::EncodeJpeg(image, 85, {}, &jpeg));
    EXPECT_EQ(snapshot::MakeThumbnail(reinterpret_cast<const std::uint8_t*>(jpeg.data()),
                                      jpeg.size(), {}, &out),
              snapshot::ImageCheck::Ok);
    return out;
}

const char* const kHostileNames[] = {
    "<script>alert(1)</script>", "\"Gate\" & 'North'", "<img/src=//203.0.113.9/x>",
    "=HYPERLINK(\"x\")",         "Камера у входа",     "门口摄像机",
};

TEST(SiteReportPrint, ChromiumPrintsHostileNamesAsText) {
    REQUIRE_PRIVATE_NETWORK();
    std::vector<report::Row> rows;
    for (std::size_t i = 0; i < 24; ++i) { // enough rows for a second page
        report::Row row;
        row.name = kHostileNames[i % std::size(kHostileNames)];
        row.type = "IP Camera";
        row.model = "LV-IPC4M-B28";
        row.macOrEndpoint = "02:4C:56:00:00:" + std::to_string(10 + i);
        row.address = "10.77.0." + std::to_string(60 + i);
        row.action = i % 2 ? "re-addressed, activated" : "";
        row.verified = i % 2 ? report::Verified::Yes : report::Verified::NotApplicable;
        row.clockKnown = i % 3 != 0;
        row.clockOffset = static_cast<long long>(i) * 37 - 300;
        const snapshot::Thumbnail t = Thumb(std::uint8_t(40 + 8 * i));
        row.thumbnailJpeg = t.jpeg, row.thumbnailWidth = t.width, row.thumbnailHeight = t.height;
        rows.push_back(row);
    }
    const std::string dir = ::testing::internal::GetArgvs()[0].substr(
                                0, ::testing::internal::GetArgvs()[0].rfind('/')) +
                            "/shots";
    mkdir(dir.c_str(), 0755);
    const std::string html = dir + "/site-report-print.html", pdf = dir + "/site-report-print.pdf";
    std::string error;
    ASSERT_TRUE(report::WriteReport(html, {"<Site> & \"Co\"", "2026-12-10 05:00 UTC", "pc", "1.0"},
                                    rows, &error))
        << error;
    // The page asks for nothing outside itself: every source is inline.
    const std::string page = test_support::ReadFile(html);
    for (std::size_t at = page.find("src=\""); at != std::string::npos;
         at = page.find("src=\"", at + 1))
        EXPECT_EQ(page.compare(at + 5, 5, "data:"), 0) << page.substr(at, 40);
    // Programs are looked up on PATH; one that is not there does not start.
    const pid_t chromium = test_support::StartProcess(
        {"chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-pdf-header-footer",
         "--user-data-dir=" + dir + "/chromium-profile", "--print-to-pdf=" + pdf, "file://" + html},
        "/dev/null", dir + "/chromium.out", dir + "/chromium.err");
    if (chromium < 0)
        GTEST_SKIP() << "chromium is not installed (scripts/setup installs it): the report's "
                        "printing is not checked";
    ASSERT_EQ(test_support::FinishProcess(chromium), 0)
        << test_support::ReadFile(dir + "/chromium.err");
    ASSERT_EQ(test_support::ReadFile(pdf).compare(0, 5, "%PDF-"), 0);
    const pid_t pdftotext = test_support::StartProcess(
        {"pdftotext", "-layout", pdf, dir + "/site-report-print.txt"}, "/dev/null", "", "");
    if (pdftotext < 0)
        return; // the PDF is there; its text is not read without poppler
    ASSERT_EQ(test_support::FinishProcess(pdftotext), 0);
    const std::string text = test_support::ReadFile(dir + "/site-report-print.txt");
    const std::size_t pages = std::count(text.begin(), text.end(), '\f');
    EXPECT_GE(pages, 2u) << "24 rows with thumbnails fill more than one page";
    for (const char* name : kHostileNames)
        EXPECT_NE(text.find(name), std::string::npos) << "not printed as text: " << name;
    EXPECT_NE(text.find("<Site> & \"Co\""), std::string::npos);
    test_support::FinishProcess(test_support::StartProcess(
        {"pdftoppm", "-png", "-r", "70", pdf, dir + "/site-report-print"}, "/dev/null", "", ""));
}

} // namespace
