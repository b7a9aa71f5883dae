// The picture a simulated camera serves at its snapshot address: a scene
// with a black band that holds the camera's name (on up to two lines) and
// the time of its clock, drawn in the built-in font (BitmapFont.h), as a
// JPEG whose COM segment says the same ("name=...\ntime=...\nprofile=...").
// The layout follows from the width alone, so that a test finds the text
// again in the decoded picture.

#pragma once

#include <cstdint>
#include <string>

namespace devsim::picture {

// Where the text lies: font pixels are scale x scale picture pixels; the
// first character cell's top left corner is at (left, top); lines are
// font::kCellHeight font pixels apart.
struct TextLayout {
    int scale = 3;
    int left = 24, top = 24;
    int charsPerLine = 32;
};
TextLayout LayoutFor(int width);

// Lines of the band: the name on the first two, the time on the third.
inline constexpr int kNameLines = 2;
inline constexpr int kTimeLine = 2;

// "YYYY-MM-DD HH:MM:SS UTC".
std::string TimeText(std::int64_t epoch);

// The JPEG of a width x height picture (at least 160 x 90); empty when it
// cannot be made.
std::string Render(const std::string& name, const std::string& time, const std::string& profile,
                   int width, int height);

} // namespace devsim::picture
