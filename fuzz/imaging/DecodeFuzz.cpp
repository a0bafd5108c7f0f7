// Feeds arbitrary bytes to one decoder of the image object (chosen at build
// time) and, when it accepts them, runs the picture through an encoder and
// a few operations, so that whatever a decoder builds is a sound picture.

#include "imaging/ImageCodecs.h"

#include <cstddef>
#include <cstdint>

namespace {

#if defined(ORVANTA_FUZZ_BMP)
constexpr int kType = imaging::kFormatBmp;
#elif defined(ORVANTA_FUZZ_GIF)
constexpr int kType = imaging::kFormatGif;
#elif defined(ORVANTA_FUZZ_JPEG)
constexpr int kType = imaging::kFormatJpg;
#elif defined(ORVANTA_FUZZ_PNG)
constexpr int kType = imaging::kFormatPng;
#else
constexpr int kType = imaging::kFormatTif;
#endif

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const imaging::CodecEntry* codec = imaging::FindCodec(kType);
    CxImage image;
    if (!codec || !codec->decode(std::span(data, size), image)) {
        return 0;
    }
    if (image.Width() * static_cast<std::uint64_t>(image.Height()) <= 1u << 16) {
        std::vector<std::uint8_t> out;
        image.Encode(out, imaging::kFormatPng);
        image.ToGrayscale();
        image.RotateLeft90();
    }
    return 0;
}
