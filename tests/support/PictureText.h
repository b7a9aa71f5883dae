// Reads the text of a simulated camera's picture back (CameraPicture.h):
// each character cell of a line is sampled at the middle of each font
// pixel and matched against the built-in font. For tests only.
#pragma once

#include <string>

#include "BitmapFont.h"
#include "CameraPicture.h"
#include "Jpeg.h"

namespace test_support {

// Line `line` of the picture's text band, trailing blanks dropped; '?' for
// a box (a character without a glyph), '#' for a cell that matches none.
inline std::string ReadPictureLine(const snapshot::Image& image, int line) {
    const devsim::picture::TextLayout layout = devsim::picture::LayoutFor(image.width);
    std::string out;
    for (int cell = 0; cell < layout.charsPerLine; ++cell) {
        devsim::font::Glyph bits{};
        for (int row = 0; row < devsim::font::kGlyphHeight; ++row)
            for (int col = 0; col < devsim::font::kGlyphWidth; ++col) {
                const int x = layout.left + (cell * devsim::font::kCellWidth + col) * layout.scale +
                              layout.scale / 2;
                const int y = layout.top + (line * devsim::font::kCellHeight + row) * layout.scale +
                              layout.scale / 2;
                if (x >= image.width || y >= image.height)
                    continue;
                const std::uint8_t* p =
                    image.rgb.data() + (static_cast<std::size_t>(y) * image.width + x) * 3;
                if ((p[0] * 3 + p[1] * 6 + p[2]) / 10 > 128)
                    bits[static_cast<std::size_t>(row)] |= static_cast<std::uint8_t>(0x10 >> col);
            }
        const char c = devsim::font::CharacterOf(bits);
        out += c == '\0' ? '#' : c;
    }
    return out.substr(0, out.find_last_not_of(' ') + 1);
}

// The name the picture shows: its first two lines joined.
inline std::string ReadPictureName(const snapshot::Image& image) {
    const devsim::picture::TextLayout layout = devsim::picture::LayoutFor(image.width);
    const std::string first = ReadPictureLine(image, 0);
    if (static_cast<int>(first.size()) < layout.charsPerLine)
        return first;
    return first + ReadPictureLine(image, 1);
}

} // namespace test_support
