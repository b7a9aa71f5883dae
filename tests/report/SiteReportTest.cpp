// The site report's writer: hostile device texts escaped in HTML and CSV,
// nothing that reaches out of the page, the thumbnail carried whole.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SiteReport.h"

namespace {

using report::Row;

TEST(SiteReport, TextsAreEscapedForEachFormat) {
    struct Case {
        const char* in;
        const char* html;
        const char* csv;
    };
    const Case cases[] = {
        {"Gate-North-03", "Gate-North-03", "Gate-North-03"},
        {"<script>x</script>", "&lt;script&gt;x&lt;/script&gt;", "<script>x</script>"},
        {"a&b \"c\" 'd'", "a&amp;b &quot;c&quot; &#39;d&#39;", "\"a&b \"\"c\"\" 'd'\""},
        {"=HYPERLINK(\"x\")", "=HYPERLINK(&quot;x&quot;)", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"+1", "+1", "'+1"},
        {"-2", "-2", "'-2"},
        {"@SUM(A1)", "@SUM(A1)", "'@SUM(A1)"},
        {"\t=1", " =1", " =1"},
        {"a,b", "a,b", "\"a,b\""},
        {"line\r\nbreak\x7f", "linebreak", "linebreak"},
        {"bad \xC0\xAF \xED\xA0\x80",
         "bad \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
         "bad \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xE9\x97\xA8\xE5\x8F\xA3 \xC2\x85", "\xE9\x97\xA8\xE5\x8F\xA3 ",
         "\xE9\x97\xA8\xE5\x8F\xA3 "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(report::HtmlText(c.in), c.html) << c.in;
        EXPECT_EQ(report::CsvField(c.in), c.csv) << c.in;
    }
}

TEST(SiteReport, Base64MatchesKnownVectors) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xff\xfe\x00", "//4A"}};
    for (const auto& v : vectors)
        EXPECT_EQ(
            report::Base64(std::string(v.first, v.first[0] == '\xff' ? 3 : std::strlen(v.first))),
            v.second);
}

Row Hostile() {
    Row row;
    row.name = "<img src=x onerror=alert(1)>";
    row.type = "ZVK_IPC";
    row.model = "\"><a href=\"http://evil.example/\">";
    row.macOrEndpoint = "02:4C:56:00:00:01";
    row.address = "10.0.0.5";
    row.firmware = "=cmd|' /C calc'!A0";
    row.identity = report::Identity::Unverified;
    row.activation = "activated";
    row.clockKnown = true;
    row.clockOffset = -3725;
    row.snapshotNote = "<style>@import url(http://x)</style>";
    return row;
}

// No device text becomes markup, nothing makes the page reach out or run
// code, and the page and CSV carry each row.
TEST(SiteReport, PageHoldsNoMarkupFromDevicesAndNoExternalReference) {
    Row pictured = Hostile();
    pictured.thumbnailJpeg = std::string("\xff\xd8\xff\xe0JFIF\0\xff\xd9", 10);
    pictured.thumbnailWidth = 160;
    pictured.thumbnailHeight = 120;
    pictured.identity = report::Identity::Certified;
    const report::Header header{"Site <b>&", "2026-12-10", "laptop'1", "1.2.3"};
    const std::string html = report::Html(header, {Hostile(), pictured});
    for (const char* banned : {"<script", "<img src=x", "<a ", "<style>@import", "href=\"",
                               "src=\"http", "<link", "onerror=alert(1)>", "<b>"})
        EXPECT_EQ(html.find(banned), std::string::npos) << banned;
    const std::string styles = html.substr(0, html.find("</style>"));
    for (const char* banned : {"url(", "@import", "http"})
        EXPECT_EQ(styles.find(banned), std::string::npos) << banned;
    EXPECT_NE(html.find("Site &lt;b&gt;&amp;"), std::string::npos);
    EXPECT_NE(html.find("laptop&#39;1"), std::string::npos);
    EXPECT_NE(html.find("src=\"data:image/jpeg;base64," + report::Base64(pictured.thumbnailJpeg) +
                        "\" width=\"160\" height=\"120\""),
              std::string::npos);
    EXPECT_NE(html.find("-1 h 2 min"), std::string::npos);
    EXPECT_NE(html.find("break-inside:avoid"), std::string::npos);
    EXPECT_NE(html.find(">certified<"), std::string::npos);
    EXPECT_NE(html.find(">unverified<"), std::string::npos);

    const std::string csv = report::Csv({Hostile(), pictured});
    size_t lines = 0;
    for (char c : csv)
        lines += c == '\n';
    EXPECT_EQ(lines, 3u) << csv;
    EXPECT_NE(csv.find(",'=cmd|' /C calc'!A0,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",nothing,,-3725,yes\r\n"), std::string::npos) << csv;
}

TEST(SiteReport, OffsetsReadAsSpans) {
    const std::pair<long long, const char*> cases[] = {{0, "+0 s"},
                                                       {59, "+59 s"},
                                                       {-61, "-1 min 1 s"},
                                                       {7200, "+2 h 0 min"},
                                                       {-400000000, "-4629 d 15 h"}};
    for (const auto& c : cases)
        EXPECT_EQ(report::OffsetText(c.first), c.second);
}

TEST(SiteReport, CsvGoesBesideThePage) {
    EXPECT_EQ(report::CsvPathFor("/tmp/site.html"), "/tmp/site.csv");
    EXPECT_EQ(report::CsvPathFor("a.htm"), "a.csv");
    EXPECT_EQ(report::CsvPathFor("report"), "report.csv");
    std::string error;
    EXPECT_FALSE(report::WriteReport("/nonexistent-dir/r.html", {}, {}, &error));
    EXPECT_NE(error.find("/nonexistent-dir/r.html"), std::string::npos) << error;
}

} // namespace
