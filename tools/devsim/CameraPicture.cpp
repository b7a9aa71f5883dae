#include "CameraPicture.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "BitmapFont.h"
#include "Jpeg.h"

namespace devsim::picture {
namespace {

constexpr int kQuality = 90; // glyph edges stay sharp enough to read back

void Fill(snapshot::Image* image, int x0, int y0, int x1, int y1, std::uint8_t r, std::uint8_t g,
          std::uint8_t b) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, image->width), y1 = std::min(y1, image->height);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            std::uint8_t* p =
                image->rgb.data() + (static_cast<std::size_t>(y) * image->width + x) * 3;
            p[0] = r, p[1] = g, p[2] = b;
        }
}

// A scene a camera might look at: sky, ground and a few posts.
void DrawScene(snapshot::Image* image) {
    const int w = image->width, h = image->height;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = image->rgb.data() + (static_cast<std::size_t>(y) * w + x) * 3;
            if (y < h * 3 / 5) {
                p[0] = static_cast<std::uint8_t>(70 + 60 * y / h);
                p[1] = static_cast<std::uint8_t>(110 + 60 * y / h);
                p[2] = static_cast<std::uint8_t>(170 + 40 * y / h);
            } else {
                const bool stripe = ((x + 2 * y) / std::max(8, w / 40)) % 2 == 0;
                p[0] = stripe ? 92 : 80, p[1] = stripe ? 104 : 90, p[2] = stripe ? 70 : 62;
            }
        }
    for (int post = 1; post < 6; ++post) {
        const int x = w * post / 6;
        Fill(image, x - w / 160, h * 2 / 5, x + w / 160, h * 4 / 5, 60, 52, 45);
    }
}

void DrawLine(snapshot::Image* image, const TextLayout& layout, int line,
              const std::vector<char32_t>& text) {
    for (std::size_t i = 0; i < text.size() && static_cast<int>(i) < layout.charsPerLine; ++i) {
        const font::Glyph& g = font::GlyphOf(text[i]);
        for (int row = 0; row < font::kGlyphHeight; ++row)
            for (int col = 0; col < font::kGlyphWidth; ++col) {
                if ((g[static_cast<std::size_t>(row)] & (0x10 >> col)) == 0)
                    continue;
                const int x =
                    layout.left + (static_cast<int>(i) * font::kCellWidth + col) * layout.scale;
                const int y = layout.top + (line * font::kCellHeight + row) * layout.scale;
                Fill(image, x, y, x + layout.scale, y + layout.scale, 245, 245, 245);
            }
    }
}

} // namespace

TextLayout LayoutFor(int width) {
    TextLayout t;
    t.scale = std::max(1, width * 3 / 640);
    t.left = t.top = 8 * t.scale;
    t.charsPerLine = std::max(1, (width - 2 * t.left) / (font::kCellWidth * t.scale));
    return t;
}

std::string TimeText(std::int64_t epoch) {
    const std::time_t t = static_cast<std::time_t>(epoch);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

std::string Render(const std::string& name, const std::string& time, const std::string& profile,
                   int width, int height) {
    snapshot::Image image;
    image.width = std::max(width, 160);
    image.height = std::max(height, 90);
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    DrawScene(&image);
    const TextLayout layout = LayoutFor(image.width);
    const int band = (kTimeLine + 1) * font::kCellHeight * layout.scale;
    Fill(&image, 0, layout.top - 2 * layout.scale, image.width, layout.top + band, 16, 16, 16);
    const std::vector<char32_t> letters = font::CodePoints(name);
    const std::size_t perLine = static_cast<std::size_t>(layout.charsPerLine);
    for (int line = 0; line < kNameLines; ++line) {
        const std::size_t from = std::min(letters.size(), perLine * static_cast<std::size_t>(line));
        const std::size_t to = std::min(letters.size(), from + perLine);
        DrawLine(&image, layout, line,
                 std::vector<char32_t>(letters.begin() + from, letters.begin() + to));
    }
    DrawLine(&image, layout, kTimeLine, font::CodePoints(time));
    std::string jpeg;
    snapshot::EncodeJpeg(image, kQuality,
                         "name=" + name + "\ntime=" + time + "\nprofile=" + profile, &jpeg);
    return jpeg;
}

} // namespace devsim::picture
