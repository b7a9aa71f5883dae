#include "Jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <new>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace snapshot {
namespace {

using Clock = std::chrono::steady_clock;

// Warnings (corrupt data the decoder steps over) allowed before an image
// counts as corrupt: each costs a resynchronisation.
constexpr int kMaxWarnings = 64;

// libjpeg's error manager with a way back: every error and too many
// warnings end in longjmp to the call that set `jump`, never in exit().
// Nothing is ever printed.
struct Guard {
    jpeg_error_mgr base; // first: libjpeg hands back a pointer to it
    std::jmp_buf jump;
    ImageCheck failure = ImageCheck::Corrupt;
    bool truncated = false;
    int warnings = 0;
};

Guard* GuardOf(j_common_ptr cinfo) { return reinterpret_cast<Guard*>(cinfo->err); }

ImageCheck CheckOfError(int code) {
    switch (code) {
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW:
        return ImageCheck::TooManyPixels;
    case JERR_BAD_PRECISION:
    case JERR_COMPONENT_COUNT:
    case JERR_CONVERSION_NOTIMPL:
    case JERR_NOT_COMPILED:
    case JERR_SOF_UNSUPPORTED:
        return ImageCheck::Unsupported;
    case JERR_INPUT_EOF:
    case JERR_INPUT_EMPTY:
        return ImageCheck::Truncated;
    default:
        return ImageCheck::Corrupt;
    }
}

// Ends the call with `check`, unless the monitor already chose one.
[[noreturn]] void Fail(j_common_ptr cinfo, ImageCheck check) {
    Guard* g = GuardOf(cinfo);
    if (g->failure == ImageCheck::Corrupt)
        g->failure = check;
    std::longjmp(g->jump, 1);
}

void OnError(j_common_ptr cinfo) { Fail(cinfo, CheckOfError(cinfo->err->msg_code)); }

void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return; // trace messages
    Guard* g = GuardOf(cinfo);
    // The file ended, or the coded data did (a marker came) before the
    // last block: the decoder fills the rest with grey.
    if (cinfo->err->msg_code == JWRN_JPEG_EOF || cinfo->err->msg_code == JWRN_HIT_MARKER)
        g->truncated = true;
    if (++g->warnings > kMaxWarnings)
        Fail(cinfo, ImageCheck::Corrupt);
}

void OnOutput(j_common_ptr) {}

void InstallGuard(Guard* g) {
    jpeg_std_error(&g->base);
    g->base.error_exit = OnError;
    g->base.emit_message = OnMessage;
    g->base.output_message = OnOutput;
}

// Called by the decoder once per row of blocks it reads or writes: the
// place to stop a scan flood or a decode that has run out of time.
struct Monitor {
    jpeg_progress_mgr base; // first
    int maxScans = kMaxScans;
    Clock::time_point deadline = Clock::time_point::max();
};

void OnProgress(j_common_ptr cinfo) {
    const Monitor* m = reinterpret_cast<const Monitor*>(cinfo->progress);
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > m->maxScans) {
        GuardOf(cinfo)->failure = ImageCheck::Unsupported;
        std::longjmp(GuardOf(cinfo)->jump, 1);
    }
    if (m->deadline != Clock::time_point::max() && Clock::now() > m->deadline) {
        GuardOf(cinfo)->failure = ImageCheck::TimedOut;
        std::longjmp(GuardOf(cinfo)->jump, 1);
    }
}

bool IsFrame(std::uint8_t code) {
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// Baseline, extended and progressive, Huffman or arithmetic coded; not
// lossless and not hierarchical, which the decoder does not read.
bool IsReadableFrame(std::uint8_t code) {
    return code == 0xC0 || code == 0xC1 || code == 0xC2 || code == 0xC9 || code == 0xCA;
}

ImageCheck ReadFrame(std::uint8_t code, const std::uint8_t* seg, std::size_t length,
                     JpegHeader* h) {
    if (length < 6)
        return ImageCheck::Corrupt;
    const int count = seg[5];
    if (length != 6 + 3 * static_cast<std::size_t>(count))
        return ImageCheck::Corrupt;
    for (int i = 0; i < count; ++i) {
        const int hv = seg[6 + 3 * i + 1];
        if ((hv >> 4) < 1 || (hv >> 4) > 4 || (hv & 15) < 1 || (hv & 15) > 4)
            return ImageCheck::Corrupt;
    }
    h->height = (seg[1] << 8) | seg[2];
    h->width = (seg[3] << 8) | seg[4];
    h->components = count;
    h->progressive = code == 0xC2 || code == 0xCA;
    if (!IsReadableFrame(code) || seg[0] != 8 || h->width == 0 || h->height == 0 ||
        (count != 1 && count != 3 && count != 4))
        return ImageCheck::Unsupported;
    if (h->width > kMaxDimension || h->height > kMaxDimension)
        return ImageCheck::TooManyPixels;
    return ImageCheck::Ok;
}

// ---- decoding ----

struct Decoder {
    jpeg_decompress_struct cinfo;
    Guard guard;
    Monitor monitor;
    bool created = false;
};

// The smallest scale in eighths whose output covers fitWidth x fitHeight.
unsigned int ScaleFor(int width, int height, int fitWidth, int fitHeight) {
    if (fitWidth <= 0 || fitHeight <= 0)
        return 8;
    for (unsigned int m = 1; m < 8; ++m) {
        const long w = (static_cast<long>(width) * m + 7) / 8;
        const long h = (static_cast<long>(height) * m + 7) / 8;
        if (w >= fitWidth && h >= fitHeight)
            return m;
    }
    return 8;
}

// What a decoder that keeps the whole image's coefficients (progressive
// or multi-scan) holds for them: a block of 64 16-bit coefficients per 8x8
// samples of every component.
std::size_t CoefficientBytes(const jpeg_decompress_struct& cinfo) {
    if (!jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&cinfo)))
        return 0;
    std::size_t total = 0;
    for (int i = 0; i < cinfo.num_components; ++i) {
        const jpeg_component_info& c = cinfo.comp_info[i];
        const std::size_t w = (c.width_in_blocks + c.h_samp_factor - 1) / c.h_samp_factor *
                              static_cast<std::size_t>(c.h_samp_factor);
        const std::size_t h = (c.height_in_blocks + c.v_samp_factor - 1) / c.v_samp_factor *
                              static_cast<std::size_t>(c.v_samp_factor);
        total += w * h * sizeof(JBLOCK);
    }
    return total;
}

void CmykRowToRgb(const JSAMPLE* in, std::uint8_t* out, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
        const unsigned k = inverted ? in[3] : 255u - in[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned v = inverted ? in[c] : 255u - in[c];
            out[c] = static_cast<std::uint8_t>(v * k / 255u);
        }
    }
}

// The decode itself. Every state that must survive a longjmp lives in *d
// and *out, outside this frame; nothing here needs a destructor.
ImageCheck RunDecoder(Decoder* d, const std::uint8_t* data, std::size_t size,
                      const DecodeLimits& limits, int fitWidth, int fitHeight, Image* out) {
    InstallGuard(&d->guard);
    d->cinfo.err = &d->guard.base;
    if (setjmp(d->guard.jump) != 0)
        return d->guard.failure;
    jpeg_create_decompress(&d->cinfo);
    d->created = true;
    d->cinfo.mem->max_memory_to_use = static_cast<long>(limits.maxMemory);
    d->monitor.base.progress_monitor = OnProgress;
    d->monitor.maxScans = limits.maxScans;
    d->monitor.deadline = limits.deadline;
    d->cinfo.progress = &d->monitor.base;
    jpeg_mem_src(&d->cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&d->cinfo, TRUE) != JPEG_HEADER_OK)
        return ImageCheck::Corrupt;
    if (d->guard.truncated)
        return ImageCheck::Truncated;
    jpeg_decompress_struct& c = d->cinfo;
    if (static_cast<int>(c.image_width) > limits.maxDimension ||
        static_cast<int>(c.image_height) > limits.maxDimension)
        return ImageCheck::TooManyPixels;
    if (CoefficientBytes(c) > limits.maxMemory)
        return ImageCheck::TooManyPixels;
    const bool cmyk = c.num_components == 4;
    c.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    c.scale_num = ScaleFor(static_cast<int>(c.image_width), static_cast<int>(c.image_height),
                           fitWidth, fitHeight);
    c.scale_denom = 8;
    jpeg_calc_output_dimensions(&c);
    const std::size_t pixels = static_cast<std::size_t>(c.output_width) * c.output_height;
    if (pixels == 0 || pixels > limits.maxOutputPixels)
        return ImageCheck::TooManyPixels;
    jpeg_start_decompress(&c);
    out->width = static_cast<int>(c.output_width);
    out->height = static_cast<int>(c.output_height);
    out->rgb.assign(pixels * 3, 0);
    JSAMPARRAY cmykRow = cmyk ? (*c.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&c),
                                                       JPOOL_IMAGE, c.output_width * 4, 1)
                              : nullptr;
    while (c.output_scanline < c.output_height) {
        std::uint8_t* row =
            out->rgb.data() + static_cast<std::size_t>(c.output_scanline) * c.output_width * 3;
        JSAMPROW target = cmyk ? cmykRow[0] : row;
        if (jpeg_read_scanlines(&c, &target, 1) != 1)
            return ImageCheck::Corrupt;
        if (cmyk)
            CmykRowToRgb(cmykRow[0], row, c.output_width, c.saw_Adobe_marker != 0);
    }
    jpeg_finish_decompress(&c);
    return d->guard.truncated ? ImageCheck::Truncated : ImageCheck::Ok;
}

// ---- encoding ----

constexpr std::size_t kSinkChunk = 16384;

// A destination that appends to a string; an allocation that fails ends
// the call as an error, not as an exception through the library.
struct Sink {
    jpeg_destination_mgr base; // first
    std::string* out = nullptr;
    JOCTET chunk[kSinkChunk];
};

bool Append(Sink* s, std::size_t n) {
    try {
        s->out->append(reinterpret_cast<const char*>(s->chunk), n);
        return true;
    } catch (...) {
        return false;
    }
}

void SinkInit(j_compress_ptr cinfo) {
    Sink* s = reinterpret_cast<Sink*>(cinfo->dest);
    s->base.next_output_byte = s->chunk;
    s->base.free_in_buffer = kSinkChunk;
}

boolean SinkEmpty(j_compress_ptr cinfo) {
    Sink* s = reinterpret_cast<Sink*>(cinfo->dest);
    if (!Append(s, kSinkChunk))
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    SinkInit(cinfo);
    return TRUE;
}

void SinkTerm(j_compress_ptr cinfo) {
    Sink* s = reinterpret_cast<Sink*>(cinfo->dest);
    if (!Append(s, kSinkChunk - s->base.free_in_buffer))
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
}

struct Encoder {
    jpeg_compress_struct cinfo;
    Guard guard;
    Sink sink;
    bool created = false;
};

bool RunEncoder(Encoder* e, const Image& image, int quality, const std::string& comment) {
    InstallGuard(&e->guard);
    e->cinfo.err = &e->guard.base;
    if (setjmp(e->guard.jump) != 0)
        return false;
    jpeg_create_compress(&e->cinfo);
    e->created = true;
    e->sink.base.init_destination = SinkInit;
    e->sink.base.empty_output_buffer = SinkEmpty;
    e->sink.base.term_destination = SinkTerm;
    e->cinfo.dest = &e->sink.base;
    jpeg_compress_struct& c = e->cinfo;
    c.image_width = static_cast<JDIMENSION>(image.width);
    c.image_height = static_cast<JDIMENSION>(image.height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&c, TRUE);
    if (!comment.empty())
        jpeg_write_marker(&c, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                          static_cast<unsigned int>(std::min(comment.size(), kMaxComment)));
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(
            image.rgb.data() + static_cast<std::size_t>(c.next_scanline) * c.image_width * 3);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    return true;
}

} // namespace

const char* ImageCheckName(ImageCheck check) {
    switch (check) {
    case ImageCheck::Ok:
        return "ok";
    case ImageCheck::Empty:
        return "empty";
    case ImageCheck::TooLarge:
        return "image too large";
    case ImageCheck::NotJpeg:
        return "not a JPEG";
    case ImageCheck::Truncated:
        return "image cut short";
    case ImageCheck::TooManyPixels:
        return "too many pixels";
    case ImageCheck::Unsupported:
        return "JPEG of a kind not read";
    case ImageCheck::Corrupt:
        return "corrupt JPEG";
    case ImageCheck::TimedOut:
        return "image took too long";
    }
    return "unknown";
}

ImageCheck ReadJpegHeader(const std::uint8_t* p, std::size_t n, JpegHeader* out) {
    if (n == 0)
        return ImageCheck::Empty;
    if (n < 2 || p[0] != 0xFF || p[1] != 0xD8)
        return ImageCheck::NotJpeg;
    JpegHeader h;
    bool frame = false, comment = false;
    std::size_t at = 2;
    for (;;) {
        if (at >= n)
            return ImageCheck::Truncated;
        if (p[at] != 0xFF)
            return ImageCheck::Corrupt;
        while (at < n && p[at] == 0xFF) // fill bytes before a marker
            ++at;
        if (at >= n)
            return ImageCheck::Truncated;
        const std::uint8_t code = p[at++];
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7))
            continue; // markers without a segment
        if (code == 0x00 || code == 0xD8 || code == 0xD9)
            return ImageCheck::Corrupt; // no image before the end, or a second start
        if (n - at < 2)
            return ImageCheck::Truncated;
        const std::size_t length = (static_cast<std::size_t>(p[at]) << 8) | p[at + 1];
        if (length < 2)
            return ImageCheck::Corrupt;
        if (n - at < length)
            return ImageCheck::Truncated;
        const std::uint8_t* seg = p + at + 2;
        if (IsFrame(code)) {
            if (frame)
                return ImageCheck::Corrupt;
            frame = true;
            const ImageCheck c = ReadFrame(code, seg, length - 2, &h);
            if (c != ImageCheck::Ok)
                return c;
        } else if (code == 0xDA) {
            if (!frame)
                return ImageCheck::Corrupt;
            *out = h;
            return ImageCheck::Ok;
        } else if (code == 0xFE && !comment) {
            comment = true;
            h.comment.assign(reinterpret_cast<const char*>(seg), std::min(length - 2, kMaxComment));
        }
        at += length;
    }
}

ImageCheck DecodeJpeg(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits,
                      int fitWidth, int fitHeight, Image* out) {
    *out = Image();
    if (size == 0)
        return ImageCheck::Empty;
    if (size > limits.maxBytes)
        return ImageCheck::TooLarge;
    JpegHeader header;
    const ImageCheck marks = ReadJpegHeader(data, size, &header);
    if (marks != ImageCheck::Ok)
        return marks;
    if (header.width > limits.maxDimension || header.height > limits.maxDimension)
        return ImageCheck::TooManyPixels;
    Decoder d{};
    Image image;
    ImageCheck result;
    try {
        result = RunDecoder(&d, data, size, limits, fitWidth, fitHeight, &image);
    } catch (const std::bad_alloc&) {
        result = ImageCheck::TooManyPixels;
    }
    if (d.created)
        jpeg_destroy_decompress(&d.cinfo);
    if (result == ImageCheck::Ok)
        *out = std::move(image);
    return result;
}

void FitInto(int width, int height, int boxWidth, int boxHeight, int* outWidth, int* outHeight) {
    width = std::max(width, 1), height = std::max(height, 1);
    boxWidth = std::max(boxWidth, 1), boxHeight = std::max(boxHeight, 1);
    if (static_cast<long long>(width) * boxHeight >= static_cast<long long>(height) * boxWidth) {
        *outWidth = boxWidth;
        *outHeight = static_cast<int>(std::max<long long>(
            1, (static_cast<long long>(height) * boxWidth + width / 2) / width));
    } else {
        *outHeight = boxHeight;
        *outWidth = static_cast<int>(std::max<long long>(
            1, (static_cast<long long>(width) * boxHeight + height / 2) / height));
    }
}

Image Downscale(const Image& in, int width, int height) {
    Image out;
    if (in.width <= 0 || in.height <= 0 ||
        in.rgb.size() < static_cast<std::size_t>(in.width) * in.height * 3)
        return out;
    out.width = std::clamp(width, 1, in.width);
    out.height = std::clamp(height, 1, in.height);
    out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    for (int oy = 0; oy < out.height; ++oy) {
        const int y0 = static_cast<int>(static_cast<long long>(oy) * in.height / out.height);
        const int y1 = std::max(
            y0 + 1, static_cast<int>(static_cast<long long>(oy + 1) * in.height / out.height));
        for (int ox = 0; ox < out.width; ++ox) {
            const int x0 = static_cast<int>(static_cast<long long>(ox) * in.width / out.width);
            const int x1 = std::max(
                x0 + 1, static_cast<int>(static_cast<long long>(ox + 1) * in.width / out.width));
            unsigned long long sum[3] = {0, 0, 0};
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* px =
                    in.rgb.data() + (static_cast<std::size_t>(y) * in.width + x0) * 3;
                for (int x = x0; x < x1; ++x, px += 3)
                    sum[0] += px[0], sum[1] += px[1], sum[2] += px[2];
            }
            const unsigned long long count = static_cast<unsigned long long>(y1 - y0) * (x1 - x0);
            std::uint8_t* o = out.rgb.data() + (static_cast<std::size_t>(oy) * out.width + ox) * 3;
            for (int c = 0; c < 3; ++c)
                o[c] = static_cast<std::uint8_t>((sum[c] + count / 2) / count);
        }
    }
    return out;
}

bool EncodeJpeg(const Image& image, int quality, const std::string& comment, std::string* out) {
    out->clear();
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() < static_cast<std::size_t>(image.width) * image.height * 3)
        return false;
    Encoder e{};
    std::string bytes;
    e.sink.out = &bytes;
    bool ok = false;
    try {
        ok = RunEncoder(&e, image, quality, comment);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (e.created)
        jpeg_destroy_compress(&e.cinfo);
    if (ok)
        *out = std::move(bytes);
    return ok;
}

ImageCheck MakeThumbnail(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits,
                         Thumbnail* out) {
    *out = Thumbnail();
    Image full;
    const ImageCheck check =
        DecodeJpeg(data, size, limits, kThumbnailWidth, kThumbnailHeight, &full);
    if (check != ImageCheck::Ok)
        return check;
    int width = full.width, height = full.height;
    if (width > kThumbnailWidth || height > kThumbnailHeight)
        FitInto(full.width, full.height, kThumbnailWidth, kThumbnailHeight, &width, &height);
    static const int kQualities[] = {75, 60, 45, 30};
    for (int round = 0; round < 8; ++round) {
        const Image small = Downscale(full, width, height);
        for (int quality : kQualities) {
            if (Clock::now() > limits.deadline)
                return ImageCheck::TimedOut;
            std::string jpeg;
            if (!EncodeJpeg(small, quality, std::string(), &jpeg))
                return ImageCheck::Corrupt;
            if (jpeg.size() <= kThumbnailMaxBytes) {
                out->jpeg = std::move(jpeg);
                out->width = small.width;
                out->height = small.height;
                return ImageCheck::Ok;
            }
        }
        width = std::max(1, width * 3 / 4);
        height = std::max(1, height * 3 / 4);
    }
    return ImageCheck::Corrupt; // a tiny image always fits; kept for the contract
}

} // namespace snapshot
