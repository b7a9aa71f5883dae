// The simulated cameras' picture and font: every glyph its own, text
// drawn into a JPEG and read back out of the decoded picture at both
// sizes the cameras serve, names over two lines, characters without a
// glyph as boxes, and name and time in the COM segment.
#include <gtest/gtest.h>

#include "BitmapFont.h"
#include "CameraPicture.h"
#include "Jpeg.h"
#include "PictureText.h"

namespace {

using namespace devsim;

TEST(CameraPictureTest, EveryPrintableCharacterHasAGlyphOfItsOwn) {
    for (char32_t c = 0x20; c <= 0x7E; ++c)
        EXPECT_EQ(font::CharacterOf(font::GlyphOf(c)), static_cast<char>(c)) << static_cast<int>(c);
    EXPECT_EQ(font::CharacterOf(font::GlyphOf(0x5927)), '?'); // 大: no glyph, a box
    EXPECT_EQ(font::CharacterOf(font::Glyph{0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F}), '\0');
    struct Case {
        const char* text;
        std::vector<char32_t> points;
    };
    const Case cases[] = {{"Ab", {'A', 'b'}},
                          {"\xe5\xa4\xa7!", {0x5927, '!'}},
                          {"\xc3\xa9", {0xE9}},
                          {"\xf0\x9f\x93\xb7", {0x1F4F7}},
                          {"\xe5\xa4", {0xFFFD, 0xFFFD}}, // cut short: each byte its own box
                          {"\x80x", {0xFFFD, 'x'}}};
    for (const Case& c : cases)
        EXPECT_EQ(font::CodePoints(c.text), c.points) << c.text;
}

TEST(CameraPictureTest, NameAndTimeReadBackFromTheDecodedPicture) {
    const std::string time = picture::TimeText(1796821230);
    EXPECT_EQ(time, "2026-12-09 13:00:30 UTC");
    struct Case {
        std::string name;
        int width, height;
        std::string shown;
    };
    const std::string longName = "Gate-North-03 car park, level -2 (east ramp)";
    const Case cases[] = {
        {"Gate-North-03", 1280, 720, "Gate-North-03"},
        {"Gate-North-03", 640, 360, "Gate-North-03"},
        {longName, 640, 360, longName},
        {"\xe5\xa4\xa7\xe9\x97\xa8 2", 640, 360, "?? 2"},
        {"a&b<c>\"d'", 1280, 720, "a&b<c>\"d'"},
    };
    for (const Case& c : cases) {
        const std::string jpeg = picture::Render(c.name, time, "Profile_1", c.width, c.height);
        snapshot::JpegHeader header;
        ASSERT_EQ(snapshot::ReadJpegHeader(reinterpret_cast<const std::uint8_t*>(jpeg.data()),
                                           jpeg.size(), &header),
                  snapshot::ImageCheck::Ok);
        EXPECT_EQ(header.comment, "name=" + c.name + "\ntime=" + time + "\nprofile=Profile_1");
        snapshot::Image image;
        ASSERT_EQ(snapshot::DecodeJpeg(reinterpret_cast<const std::uint8_t*>(jpeg.data()),
                                       jpeg.size(), snapshot::DecodeLimits(), 0, 0, &image),
                  snapshot::ImageCheck::Ok);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(test_support::ReadPictureName(image), c.shown) << c.width;
        EXPECT_EQ(test_support::ReadPictureLine(image, picture::kTimeLine), time) << c.width;
    }
}

} // namespace
