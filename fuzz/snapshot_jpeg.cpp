// Fuzzes what happens to a picture a camera (or anything answering in its
// place) sends: the marker walk, then the bounded decode and the thumbnail.
// Besides not crashing, the path must keep its promises: nothing the
// marker walk refuses is decoded, and a thumbnail is within its bounds and
// itself a sound JPEG.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace snapshot;
    JpegHeader header;
    const ImageCheck marks = ReadJpegHeader(data, size, &header);
    if (marks == ImageCheck::Ok &&
        (header.width < 1 || header.width > kMaxDimension || header.height < 1 ||
         header.height > kMaxDimension || header.comment.size() > kMaxComment))
        abort();
    Thumbnail thumbnail;
    const ImageCheck check = MakeThumbnail(data, size, DecodeLimits(), &thumbnail);
    if (check != ImageCheck::Ok)
        return thumbnail.jpeg.empty() ? 0 : (abort(), 0);
    if (marks != ImageCheck::Ok || thumbnail.jpeg.size() > kThumbnailMaxBytes ||
        thumbnail.width > kThumbnailWidth || thumbnail.height > kThumbnailHeight)
        abort();
    Image back;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(thumbnail.jpeg.data());
    if (DecodeJpeg(bytes, thumbnail.jpeg.size(), DecodeLimits(), 0, 0, &back) != ImageCheck::Ok ||
        back.width != thumbnail.width || back.height != thumbnail.height)
        abort();
    return 0;
}
