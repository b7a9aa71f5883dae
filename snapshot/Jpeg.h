// Camera pictures as this tool takes them from the LAN: JPEG only, judged
// by its markers (never by what a Content-Type header claims), read within
// bounds on bytes, dimensions, decoder memory, scans and time, and turned
// into a small thumbnail for the site report. Every image is hostile input:
// a malformed one is an ImageCheck value, never a crash, an exit or a
// message on standard error. No Qt; libjpeg-turbo only here. Thread-safe:
// no state outside each call.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace snapshot {

// The most bytes an image may have.
constexpr std::size_t kMaxImageBytes = 4 * 1024 * 1024;
// The widest and tallest image read.
constexpr int kMaxDimension = 8192;
// What the decoder may hold at once (a progressive image keeps every
// coefficient of the whole image until its last scan).
constexpr std::size_t kMaxDecoderMemory = 64 * 1024 * 1024;
// The most scans an image may have (a baseline image has one per colour
// component at most, a progressive one ten or so; thousands of tiny scans
// only make the decoder spin).
constexpr int kMaxScans = 100;
// The most pixels a decode hands out (a full-size decode of the largest
// image would take 192 MiB).
constexpr std::size_t kMaxOutputPixels = 16 * 1024 * 1024;
// The thumbnail: at most this many bytes, within this box.
constexpr std::size_t kThumbnailMaxBytes = 20 * 1024;
constexpr int kThumbnailWidth = 320;
constexpr int kThumbnailHeight = 240;

enum class ImageCheck {
    Ok,
    Empty,         // no bytes
    TooLarge,      // more than the byte bound
    NotJpeg,       // does not start as a JPEG (a web page, a PNG, a fault...)
    Truncated,     // the data ends before the image does
    TooManyPixels, // wider or taller than the bound, or more to hold or hand out than allowed
    Unsupported,   // a JPEG this tool does not read (12-bit, lossless, 2 components, ...)
    Corrupt,       // the markers or the coded data are broken
    TimedOut,      // the deadline passed while decoding
};

// A short English word for the check ("ok", "not a JPEG", ...).
const char* ImageCheckName(ImageCheck check);

// What the markers before the first scan say.
struct JpegHeader {
    int width = 0, height = 0;
    int components = 0;       // 1 grey, 3 colour, 4 CMYK/YCCK
    bool progressive = false; // SOF2/SOF6/SOF10/SOF14
    std::string comment;      // the first COM segment, at most kMaxComment bytes
};
constexpr std::size_t kMaxComment = 1024;

// Walks the markers from SOI to the first SOS without decoding anything.
// Ok fills *out; NotJpeg without SOI; Truncated when the data ends first;
// TooManyPixels beyond kMaxDimension; Unsupported for precision other than
// 8, lossless coding, a component count other than 1, 3 or 4 or a zero
// width or height; Corrupt for a malformed segment, a second frame header
// or a scan before any frame header. Only the byte bound is not checked.
ImageCheck ReadJpegHeader(const std::uint8_t* data, std::size_t size, JpegHeader* out);

// Pixels, three bytes (R, G, B) each, row after row.
struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

struct DecodeLimits {
    std::size_t maxBytes = kMaxImageBytes;
    int maxDimension = kMaxDimension;
    std::size_t maxMemory = kMaxDecoderMemory;
    int maxScans = kMaxScans;
    std::size_t maxOutputPixels = kMaxOutputPixels;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

// Decodes data to RGB within limits. With fitWidth and fitHeight above
// zero the decoder scales down by eighths (which is cheap: fewer
// coefficients go through the inverse transform) to the smallest size that
// still covers that box; 0 and 0 decode at full size. Ok fills *out;
// anything else leaves it empty. Grey and CMYK images come out as RGB.
ImageCheck DecodeJpeg(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits,
                      int fitWidth, int fitHeight, Image* out);

// The image shrunk to width x height by averaging the pixels each output
// pixel covers (no larger than the input: a larger size is taken as the
// input's own).
Image Downscale(const Image& in, int width, int height);

// The largest width x height within boxWidth x boxHeight with the aspect
// ratio of width x height (each at least 1).
void FitInto(int width, int height, int boxWidth, int boxHeight, int* outWidth, int* outHeight);

// A baseline JPEG of image at quality (1..100), with comment as a COM
// segment when not empty (at most kMaxComment bytes are written). False
// when image holds no pixels or the library failed.
bool EncodeJpeg(const Image& image, int quality, const std::string& comment, std::string* out);

struct Thumbnail {
    std::string jpeg; // at most kThumbnailMaxBytes
    int width = 0, height = 0;
};

// Checks data as DecodeJpeg does and makes a thumbnail of it within
// kThumbnailWidth x kThumbnailHeight and kThumbnailMaxBytes (lower
// quality, then fewer pixels, until it fits). Ok fills *out.
ImageCheck MakeThumbnail(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits,
                         Thumbnail* out);

} // namespace snapshot
