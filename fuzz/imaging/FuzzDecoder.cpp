// A libFuzzer target for one decoder (ORVANTA_FUZZ_FORMAT is its format
// type) or, with type 0, for detection over every format. A decode may
// fail, but a success must give a whole, consistent picture.

#include "imaging/Image.h"
#include "imaging/ImageCodecs.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void CheckPicture(const CxImage& image) {
    if (!image.IsValid() || image.Width() == 0 || image.Height() == 0) {
        std::abort();
    }
    // Touch the corners of the pixel rows and the alpha plane.
    const std::uint32_t w = image.Width() - 1;
    const std::uint32_t h = image.Height() - 1;
    volatile std::uint32_t sum = 0;
    for (auto [x, y] : {std::pair{0u, 0u}, std::pair{w, 0u}, std::pair{0u, h}, std::pair{w, h}}) {
        const RgbQuad c = image.GetPixelColor(x, y);
        sum = sum + c.red + c.green + c.blue + c.reserved;
    }
    const std::uint8_t* last = image.GetBits(h);
    sum = sum + last[image.GetEffWidth() - 1];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    CxImage image;
#if ORVANTA_FUZZ_FORMAT == 0
    if (image.Decode(bytes)) {
        CheckPicture(image);
    } else if (image.GetLastError().empty()) {
        std::abort();
    }
#else
    const imaging::CodecEntry* codec = imaging::FindCodec(ORVANTA_FUZZ_FORMAT);
    if (!codec) {
        std::abort();
    }
    if (codec->decode(bytes, image)) {
        CheckPicture(image);
    } else if (image.GetLastError().empty() || image.IsValid()) {
        std::abort();
    }
#endif
    return 0;
}
