// The image module against hostile JPEGs: pictures made here with
// libjpeg in each form a camera (or a host posing as one) may send, then
// cut, patched and inflated; every one must end as its own check, within
// the bounds, and the good ones must decode to the pixels that went in.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "Jpeg.h"

using namespace snapshot;

namespace {

enum class Form { Baseline, Progressive, Grey, Cmyk };

// A width x height picture of `form`: colour bands (red, green, blue,
// white from top to bottom), grey as a ramp, CMYK the same bands inverted
// as Adobe's writers store them.
std::string Make(int width, int height, Form form, int quality = 90) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = form == Form::Grey ? 1 : form == Form::Cmyk ? 4 : 3;
    c.in_color_space = form == Form::Grey ? JCS_GRAYSCALE : form == Form::Cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    if (form == Form::Progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(width) * 4);
    while (c.next_scanline < c.image_height) {
        const int band = static_cast<int>(c.next_scanline) * 4 / height;
        for (int x = 0; x < width; ++x) {
            unsigned char* p = row.data() + static_cast<size_t>(x) * c.input_components;
            const unsigned char rgb[4][3] = {
                {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
            if (form == Form::Grey) {
                p[0] = static_cast<unsigned char>(x * 255 / std::max(1, width - 1));
            } else if (form == Form::Cmyk) {
                // Inverted CMYK: stored C = 255 - (255 - R) = R, and K = 255 (no black).
                p[0] = rgb[band][0], p[1] = rgb[band][1], p[2] = rgb[band][2], p[3] = 255;
            } else {
                p[0] = rgb[band][0], p[1] = rgb[band][1], p[2] = rgb[band][2];
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string out(reinterpret_cast<char*>(buffer), size);
    free(buffer);
    return out;
}

const std::uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// Where the frame header's segment starts (its length field), or npos.
size_t FrameAt(const std::string& jpeg) {
    for (size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF &&
            (static_cast<unsigned char>(jpeg[i + 1]) == 0xC0 ||
             static_cast<unsigned char>(jpeg[i + 1]) == 0xC2))
            return i + 2;
    return std::string::npos;
}

std::string WithSize(std::string jpeg, int width, int height) {
    const size_t f = FrameAt(jpeg);
    jpeg[f + 3] = static_cast<char>(height >> 8), jpeg[f + 4] = static_cast<char>(height);
    jpeg[f + 5] = static_cast<char>(width >> 8), jpeg[f + 6] = static_cast<char>(width);
    return jpeg;
}

ImageCheck Decode(const std::string& jpeg, DecodeLimits limits = DecodeLimits(), int fit = 0) {
    Image image;
    const ImageCheck c = DecodeJpeg(Bytes(jpeg), jpeg.size(), limits, fit, fit, &image);
    EXPECT_EQ(c == ImageCheck::Ok, !image.rgb.empty());
    return c;
}

// The pixel at (x, y) is near (r, g, b).
void ExpectPixel(const Image& image, int x, int y, int r, int g, int b) {
    const std::uint8_t* p = image.rgb.data() + (static_cast<size_t>(y) * image.width + x) * 3;
    EXPECT_NEAR(p[0], r, 12) << x << "," << y;
    EXPECT_NEAR(p[1], g, 12) << x << "," << y;
    EXPECT_NEAR(p[2], b, 12) << x << "," << y;
}

TEST(JpegTest, EveryFormDecodesToThePixelsThatWentIn) {
    for (Form form : {Form::Baseline, Form::Progressive, Form::Cmyk}) {
        const std::string jpeg = Make(64, 64, form);
        Image image;
        ASSERT_EQ(DecodeJpeg(Bytes(jpeg), jpeg.size(), DecodeLimits(), 0, 0, &image),
                  ImageCheck::Ok)
            << static_cast<int>(form);
        ASSERT_EQ(image.width, 64);
        ASSERT_EQ(image.height, 64);
        ExpectPixel(image, 32, 8, 255, 0, 0);
        ExpectPixel(image, 32, 24, 0, 255, 0);
        ExpectPixel(image, 32, 40, 0, 0, 255);
        ExpectPixel(image, 32, 56, 255, 255, 255);
    }
    const std::string grey = Make(64, 16, Form::Grey);
    Image image;
    ASSERT_EQ(DecodeJpeg(Bytes(grey), grey.size(), DecodeLimits(), 0, 0, &image), ImageCheck::Ok);
    ExpectPixel(image, 0, 8, 0, 0, 0);
    ExpectPixel(image, 63, 8, 255, 255, 255);
}

TEST(JpegTest, HeaderTellsSizeFormAndComment) {
    Image image{48, 32, std::vector<std::uint8_t>(48 * 32 * 3, 128)};
    std::string jpeg;
    ASSERT_TRUE(EncodeJpeg(image, 80, "name=Gate-North-03\ntime=2026-12-09 13:00:00", &jpeg));
    JpegHeader h;
    ASSERT_EQ(ReadJpegHeader(Bytes(jpeg), jpeg.size(), &h), ImageCheck::Ok);
    EXPECT_EQ(h.width, 48);
    EXPECT_EQ(h.height, 32);
    EXPECT_EQ(h.components, 3);
    EXPECT_FALSE(h.progressive);
    EXPECT_EQ(h.comment, "name=Gate-North-03\ntime=2026-12-09 13:00:00");
    const std::string progressive = Make(16, 16, Form::Progressive);
    ASSERT_EQ(ReadJpegHeader(Bytes(progressive), progressive.size(), &h), ImageCheck::Ok);
    EXPECT_TRUE(h.progressive);
    EXPECT_TRUE(h.comment.empty());
}

TEST(JpegTest, HostileBytesEndAsTheirOwnCheck) {
    const std::string good = Make(64, 48, Form::Baseline);
    const size_t frame = FrameAt(good);
    auto patched = [&](size_t at, unsigned char value) {
        std::string s = good;
        s[at] = static_cast<char>(value);
        return s;
    };
    std::string twelveBit = patched(frame + 2, 12);
    std::string lossless = patched(frame - 1, 0xC3);
    std::string hierarchical = patched(frame - 1, 0xC5);
    std::string badSampling = patched(frame + 9, 0x51); // H = 5
    std::string badLength = patched(frame + 1, static_cast<unsigned char>(good[frame + 1] + 3));
    std::string twoComponents = patched(frame + 7, 2);
    struct Case {
        const char* name;
        std::string bytes;
        ImageCheck check;
    };
    const Case cases[] = {
        {"empty", "", ImageCheck::Empty},
        {"web page", "<html><body>401</body></html>", ImageCheck::NotJpeg},
        {"png", std::string("\x89PNG\r\n\x1a\n", 8) + good, ImageCheck::NotJpeg},
        {"one byte", "\xFF", ImageCheck::NotJpeg},
        {"start only", "\xFF\xD8", ImageCheck::Truncated},
        {"cut in the header", good.substr(0, frame + 4), ImageCheck::Truncated},
        {"cut in the scan", good.substr(0, good.size() / 2), ImageCheck::Truncated},
        {"end before image", "\xFF\xD8\xFF\xD9", ImageCheck::Corrupt},
        {"second start", std::string("\xFF\xD8\xFF\xD8", 4) + good.substr(2), ImageCheck::Corrupt},
        {"no marker", std::string("\xFF\xD8\x12\x34", 4) + good.substr(2), ImageCheck::Corrupt},
        {"segment length 1", std::string("\xFF\xD8\xFF\xFE\x00\x01", 6) + good.substr(2),
         ImageCheck::Corrupt},
        {"scan before frame", std::string("\xFF\xD8\xFF\xDA\x00\x02", 6), ImageCheck::Corrupt},
        {"two frames",
         good.substr(0, frame + good[frame + 1]) + good.substr(frame - 2, good[frame + 1] + 2) +
             good.substr(frame + good[frame + 1]),
         ImageCheck::Corrupt},
        {"frame length wrong", badLength, ImageCheck::Corrupt},
        {"sampling factor 5", badSampling, ImageCheck::Corrupt},
        {"12-bit", twelveBit, ImageCheck::Unsupported},
        {"lossless", lossless, ImageCheck::Unsupported},
        {"hierarchical", hierarchical, ImageCheck::Unsupported},
        {"two components", twoComponents, ImageCheck::Corrupt}, // frame length no longer fits
        {"zero width", WithSize(good, 0, 48), ImageCheck::Unsupported},
        {"9000 wide", WithSize(good, 9000, 48), ImageCheck::TooManyPixels},
        {"65535 high", WithSize(good, 64, 65535), ImageCheck::TooManyPixels},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Decode(c.bytes), c.check) << c.name;
        Thumbnail t;
        EXPECT_EQ(MakeThumbnail(Bytes(c.bytes), c.bytes.size(), DecodeLimits(), &t), c.check)
            << c.name;
        EXPECT_TRUE(t.jpeg.empty()) << c.name;
    }
}

TEST(JpegTest, BoundsOnBytesMemoryScansOutputAndTime) {
    const std::string baseline = Make(256, 256, Form::Baseline);
    const std::string progressive = Make(256, 256, Form::Progressive);
    DecodeLimits bytes;
    bytes.maxBytes = baseline.size() - 1;
    // A progressive 256x256 in 4:2:0 keeps 32 x 32 blocks of luma and two
    // of 16 x 16 of chroma, 128 bytes each.
    DecodeLimits memory;
    memory.maxMemory = (32 * 32 + 2 * 16 * 16) * 128 - 1;
    DecodeLimits scans; // a simple progression has ten scans
    scans.maxScans = 3;
    DecodeLimits output;
    output.maxOutputPixels = 256 * 256 - 1;
    DecodeLimits late;
    late.deadline = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    struct Case {
        const char* name;
        const std::string& bytes;
        DecodeLimits limits;
        int fit;
        ImageCheck check;
    };
    const Case cases[] = {
        {"over the byte bound", baseline, bytes, 0, ImageCheck::TooLarge},
        {"coefficients over the memory bound", progressive, memory, 0, ImageCheck::TooManyPixels},
        {"baseline keeps no coefficients", baseline, memory, 0, ImageCheck::Ok},
        {"more scans than allowed", progressive, scans, 0, ImageCheck::Unsupported},
        {"more pixels out than allowed", baseline, output, 0, ImageCheck::TooManyPixels},
        {"scaled down, few enough", baseline, output, 64, ImageCheck::Ok},
        {"deadline passed, baseline", baseline, late, 0, ImageCheck::TimedOut},
        {"deadline passed, progressive", progressive, late, 0, ImageCheck::TimedOut},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Decode(c.bytes, c.limits, c.fit), c.check) << c.name;
    // A header claiming the largest image: progressive, it would need
    // 8192 x 8192 x 3 x 2 bytes of coefficients before the first pixel.
    EXPECT_EQ(Decode(WithSize(Make(16, 16, Form::Progressive), 8192, 8192)),
              ImageCheck::TooManyPixels);
    // Baseline, the same header decodes scaled down with little memory;
    // its coded data ends (at the end marker) long before the last block.
    EXPECT_EQ(Decode(WithSize(Make(16, 16, Form::Baseline), 8192, 8192), DecodeLimits(), 320),
              ImageCheck::Truncated);
}

TEST(JpegTest, ScaledDecodeCoversTheBoxWithFewerPixels) {
    const std::string jpeg = Make(1280, 720, Form::Baseline, 75);
    struct Case {
        int fit;
        int width, height;
    };
    const Case cases[] = {{0, 1280, 720}, {320, 640, 360}, {160, 320, 180},
                          {90, 160, 90},  {1, 160, 90},    {721, 1280, 720}};
    for (const Case& c : cases) {
        Image image;
        ASSERT_EQ(DecodeJpeg(Bytes(jpeg), jpeg.size(), DecodeLimits(), c.fit, c.fit, &image),
                  ImageCheck::Ok);
        EXPECT_EQ(image.width, c.width) << c.fit;
        EXPECT_EQ(image.height, c.height) << c.fit;
    }
}

TEST(JpegTest, ThumbnailFitsItsBoxAndByteBound) {
    // Noise does not compress: the thumbnail must still come within bound.
    Image noise{1280, 720, {}};
    noise.rgb.resize(1280 * 720 * 3);
    unsigned seed = 7;
    for (std::uint8_t& b : noise.rgb)
        b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
    std::string big;
    ASSERT_TRUE(EncodeJpeg(noise, 95, std::string(), &big));
    struct Case {
        const char* name;
        std::string bytes;
        int width, height;
    };
    const Case cases[] = {
        {"noise 16:9", big, -1, -1},
        {"portrait", Make(600, 800, Form::Baseline), 180, 240},
        {"tiny stays", Make(16, 8, Form::Baseline), 16, 8},
        {"cmyk", Make(640, 480, Form::Cmyk), 320, 240},
    };
    for (const Case& c : cases) {
        Thumbnail t;
        ASSERT_EQ(MakeThumbnail(Bytes(c.bytes), c.bytes.size(), DecodeLimits(), &t), ImageCheck::Ok)
            << c.name;
        EXPECT_LE(t.jpeg.size(), kThumbnailMaxBytes) << c.name;
        EXPECT_LE(t.width, kThumbnailWidth) << c.name;
        EXPECT_LE(t.height, kThumbnailHeight) << c.name;
        if (c.width > 0) {
            EXPECT_EQ(t.width, c.width) << c.name;
            EXPECT_EQ(t.height, c.height) << c.name;
        } else {
            EXPECT_NEAR(static_cast<double>(t.width) / t.height, 16.0 / 9, 0.05) << c.name;
        }
        Image back;
        EXPECT_EQ(DecodeJpeg(Bytes(t.jpeg), t.jpeg.size(), DecodeLimits(), 0, 0, &back),
                  ImageCheck::Ok)
            << c.name;
    }
}

TEST(JpegTest, DownscaleAveragesAndFitKeepsTheAspect) {
    Image in{4, 2, {}};
    for (int i = 0; i < 8; ++i)
        for (int c = 0; c < 3; ++c)
            in.rgb.push_back(static_cast<std::uint8_t>(i * 10 + c));
    const Image half = Downscale(in, 2, 1);
    ASSERT_EQ(half.rgb.size(), 6u);
    // (0 + 10 + 40 + 50) / 4 = 25, (20 + 30 + 60 + 70) / 4 = 45, per channel + c.
    EXPECT_EQ(half.rgb[0], 25);
    EXPECT_EQ(half.rgb[2], 27);
    EXPECT_EQ(half.rgb[3], 45);
    EXPECT_EQ(Downscale(in, 8, 8).width, 4); // never larger
    EXPECT_TRUE(Downscale(Image(), 2, 2).rgb.empty());
    struct Case {
        int w, h, bw, bh, ow, oh;
    };
    const Case cases[] = {{1920, 1080, 320, 240, 320, 180}, {1080, 1920, 320, 240, 135, 240},
                          {320, 240, 320, 240, 320, 240},   {8192, 1, 320, 240, 320, 1},
                          {1, 8192, 320, 240, 1, 240},      {0, 0, 320, 240, 240, 240}};
    for (const Case& c : cases) {
        int w = 0, h = 0;
        FitInto(c.w, c.h, c.bw, c.bh, &w, &h);
        EXPECT_EQ(w, c.ow) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.oh) << c.w << "x" << c.h;
    }
}

} // namespace
